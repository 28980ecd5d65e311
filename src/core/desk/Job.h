// A job: one synchronous function of the core that reads the batch data and reports.
#pragma once

#include "core/desk/BatchData.h"
#include "core/desk/JobReporter.h"

#include <QString>

namespace zb32 {

class CaseDatabase;

struct JobContext
{
    CaseDatabase& db;
    const BatchData& batch;
    JobReporter& report;
};

enum class JobStatus {
    Completed, // reached its closing message
    Condition, // ended on a condition the job names ("FILE MANCANTE", "Manca lotto")
    Failed, // an error stopped the run
    Unavailable, // the job is not part of this build yet
};

struct JobResult
{
    JobStatus status = JobStatus::Completed;
    QString error;

    static JobResult completed() { return {}; }
    static JobResult condition() { return { JobStatus::Condition, {} }; }
    static JobResult failed(const QString& why) { return { JobStatus::Failed, why }; }
};

enum class JobId { Orb, Incassi, Spese, ViDiru, Postel };

// The command-line name of a job ("orb", "incassi", "spese", "vidiru", "postel").
QString jobName(JobId id);
bool jobFromName(const QString& name, JobId* id);
// Runs a job to its end. Errors are reported through the context's reporter as well.
JobResult runJob(JobId id, JobContext& ctx);

// Shared opening of every job: ApriDB, reported as the run's error when it fails.
bool openDatabase(JobContext& ctx, JobResult* result);
// "file NAME, riga N: REASON" — how a stopped run names what stopped it.
QString lineError(
    const QString& file, qint64 line, const QString& reason, const QString& unit = QStringLiteral("riga"));

} // namespace zb32

namespace zb32 {
// The answer of a job that has not landed yet.
JobResult unavailableJob(JobContext& ctx, const QString& caption);
} // namespace zb32
