// How a job tells the operator what it does: counters, progress, log, messages, caption. Every
// report does nothing unless a reporter wants it, so a reporter overrides only what it shows.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace zb32 {

class JobReporter
{
public:
    // The two counters a job keeps: cases ("clienti") and invoices ("fatture"). Where they are
    // shown is the reporter's business.
    enum Counter { Clienti, Fatture };

    virtual ~JobReporter() = default;

    virtual void setCounter(Counter, const QString&) { }
    virtual void setProgressMaximum(qint64) { }
    virtual void setProgress(qint64) { }
    virtual void clearLog() { }
    virtual void Addlist(const QString&) { }
    // A message box with an OK button only.
    virtual void message(const QString&) { }
    // The error that stopped a run: file, line and reason.
    virtual void error(const QString&) { }
    virtual void setCaption(const QString&) { }
    // A question for the operator: the index of the choice picked, `defaultChoice` being the
    // one a plain Enter picks. No choices: "Sì" (0) and "No" (1). -1 when there is nobody to
    // ask; the job then does what its context says.
    virtual int ask(const QString& /*text*/, const QStringList& /*choices*/, int /*defaultChoice*/) { return -1; }
    // The date and time the job takes as now (tests fix them).
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    QDate today() const { return now().date(); }
};

} // namespace zb32
