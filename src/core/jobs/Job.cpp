// The pieces every job shares.
#include "core/jobs/Job.h"

#include "core/desk/CaseDatabase.h"

namespace zb32 {

bool openDatabase(JobContext& ctx, JobResult* result)
{
    QString why;
    if (ctx.db.ApriDB(&why)) {
        return true;
    }
    *result = failJob(ctx, why);
    return false;
}

JobResult failJob(JobContext& ctx, const QString& text)
{
    ctx.report.error(text);
    return JobResult::failed(text);
}

QString lineError(const QString& file, qint64 line, const QString& reason, const QString& unit)
{
    return QStringLiteral("Importazione interrotta. File %1, %2 %3: %4").arg(file, unit).arg(line).arg(reason);
}

QString fileError(const QString& file, const QString& reason)
{
    return QStringLiteral("Importazione interrotta. File %1: %2").arg(file, reason);
}

} // namespace zb32
