// What the fuzz targets share: a quiet reporter and a workspace with an in-memory database.
#pragma once

#include "desk/BatchData.h"
#include "desk/CaseDatabase.h"
#include "desk/Job.h"

#include <QByteArray>
#include <QString>

namespace zb32::fuzz {

class QuietReporter : public JobReporter
{
public:
    void setCounter(Counter, const QString&) override {}
    void setProgressMaximum(qint64) override {}
    void setProgress(qint64) override {}
    void clearLog() override {}
    void Addlist(const QString&) override {}
    void message(const QString&) override {}
    void error(const QString&) override {}
    void setCaption(const QString&) override {}
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 7), QTime(10, 0)); }
};

// Sets up (once) temporary drive folders whose configuration file names an in-memory SQLite
// database, writes `bytes` as the import file `name`, and runs the job on it.
JobResult runJobOn(JobId id, const QString& name, const QByteArray& bytes, BatchData batch = {});

} // namespace zb32::fuzz
