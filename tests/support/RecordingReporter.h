// A reporter that records everything a job reports, with a fixed "now".
#pragma once

#include "core/jobs/JobReporter.h"

#include <QStringList>

namespace zb32::test {

class RecordingReporter : public JobReporter
{
public:
    explicit RecordingReporter(const QDateTime& now = QDateTime(QDate(2026, 12, 7), QTime(10, 0)))
        : m_now(now)
    { }

    void setCounter(Counter box, const QString& text) override { (box == Clienti ? clienti : fatture) = text; }
    void setProgressMaximum(qint64 maximum) override { progressMaximum = maximum; }
    void setProgress(qint64 value) override { progressValues << value; }
    void clearLog() override
    {
        log.clear();
        ++logClears;
    }
    void Addlist(const QString& line) override { log << line; }
    void message(const QString& text) override { messages << text; }
    void error(const QString& text) override { errors << text; }
    void setCaption(const QString& text) override { captions << text; }
    QDateTime now() const override { return m_now; }

    QString clienti;
    QString fatture;
    qint64 progressMaximum = -1;
    QList<qint64> progressValues;
    QStringList log;
    int logClears = 0;
    QStringList messages;
    QStringList errors;
    QStringList captions;

private:
    QDateTime m_now;
};

} // namespace zb32::test
