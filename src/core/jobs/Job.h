// A job: one synchronous function of the core that reads the batch data and reports.
#pragma once

#include "core/jobs/BatchData.h"
#include "core/jobs/JobReporter.h"

#include <QString>

namespace zb32 {

class CaseDatabase;
class CheckReport;

// What a run does with a file the register has seen before, when there is nobody to ask (the
// command line): refuse it, import it again from the start, or go on after its last saved line.
enum class Rerun { Refuse, Again, Resume };

struct JobContext
{
    CaseDatabase& db;
    const BatchData& batch;
    JobReporter& report;
    QString job = {}; // the job's name in the catalog ("orb"): how the register names the run
    Rerun rerun = Rerun::Refuse;
    // Set for a check run: the job reads the whole file, writes nothing, and reports here every
    // bad line and what a run would write.
    CheckReport* check = nullptr;
};

enum class JobStatus {
    Completed, // reached its closing message
    Condition, // ended on a condition the job names ("FILE MANCANTE", "Manca lotto")
    Failed, // an error stopped the run
};

struct JobResult
{
    JobStatus status = JobStatus::Completed;
    QString error;

    static JobResult completed() { return {}; }
    static JobResult condition() { return { JobStatus::Condition, {} }; }
    static JobResult failed(const QString& why) { return { JobStatus::Failed, why }; }
};

// Shared opening of every job: ApriDB, reported as the run's error when it fails.
bool openDatabase(JobContext& ctx, JobResult* result);
// Reports the error that stops a job and returns it as the job's result.
JobResult failJob(JobContext& ctx, const QString& text);
// "Importazione interrotta. File NAME, riga N: REASON" — how a stopped run names what stopped it.
QString lineError(
    const QString& file, qint64 line, const QString& reason, const QString& unit = QStringLiteral("riga"));
// "Importazione interrotta. File NAME: REASON" — a file that could not be read at all.
QString fileError(const QString& file, const QString& reason);

} // namespace zb32
