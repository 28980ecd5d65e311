// How a job tells the operator what it does: counters, progress, log, messages, caption.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace zb32 {

class JobReporter
{
public:
    enum Counter { Clienti = 4, Fatture = 0 }; // the indexes of the desk's Scheda boxes

    virtual ~JobReporter() = default;

    virtual void setCounter(Counter box, const QString& text) = 0;
    virtual void setProgressMaximum(qint64 maximum) = 0;
    virtual void setProgress(qint64 value) = 0;
    virtual void clearLog() = 0;
    virtual void Addlist(const QString& line) = 0;
    // A message box with an OK button only.
    virtual void message(const QString& text) = 0;
    // The error that stopped a run: file, line and reason.
    virtual void error(const QString& text) = 0;
    virtual void setCaption(const QString& text) = 0;
    // The date and time the job takes as now (tests fix them).
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    QDate today() const { return now().date(); }
};

} // namespace zb32
