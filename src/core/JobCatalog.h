// The job catalog: every job of the desk and the command line, in one table. Adding a job is a
// row here and the job's own folder.
#pragma once

#include "core/jobs/Job.h"

#include <QList>
#include <QString>

namespace zb32 {

enum class JobId { Orb, Incassi, Spese, ViDiru, Postel };

struct JobEntry
{
    JobId id;
    QString name; // on the command line: "zb32 run NAME"
    QString caption; // on the desk's button
    JobResult (*run)(JobContext& ctx);
    bool checks; // reads an input file that `zb32 check` and the desk's "Verifica file" can check
};

// Every job, in the order the command line's usage lists them.
const QList<JobEntry>& jobCatalog();
// The entry of a job, and the job of a command-line name (nullptr when no job has it).
const JobEntry& jobEntry(JobId id);
const JobEntry* findJob(const QString& name);
// Runs a job to its end. Errors are reported through the context's reporter as well.
JobResult runJob(JobId id, JobContext& ctx);

} // namespace zb32
