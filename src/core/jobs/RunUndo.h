// Taking an import run back: the records it created are deleted and the fields it changed get
// their values before, from the register, in one transaction; refused as a whole, changing
// nothing, when something it would touch has been changed since by someone else.
#pragma once

#include "core/jobs/Job.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace zb32 {

class CaseDatabase;
class JobReporter;

class RunUndo
{
public:
    struct Outcome
    {
        bool undone = false;
        QString message; // the closing message, or why nothing was taken back
        QList<qint64> runs; // the runs taken back as one (a run and the runs that resume it, or it resumes)
        qint64 cases = 0; // records deleted
        qint64 invoices = 0;
        qint64 payments = 0;
        qint64 restored = 0; // records whose fields got their values back
    };

    explicit RunUndo(CaseDatabase& db, JobReporter* report = nullptr);

    // Takes back `run`. A run resumed by a later run, or resuming an earlier one, goes with
    // them: one import of one file. False with `error` when the database failed (nothing is
    // changed then either); true otherwise, `outcome->undone` saying whether it was taken back.
    bool undo(qint64 run, const QDateTime& now, Outcome* outcome, QString* error);

private:
    CaseDatabase& m_db;
    JobReporter* m_report;
};

// The command line's and the desk's undo of run `run`: the outcome as a message.
JobResult annullaImportazione(JobContext& ctx, qint64 run);

} // namespace zb32
