// The job catalogue and the pieces every job shares.
#include "core/desk/Job.h"

#include "core/desk/CaseDatabase.h"
#include "core/imports/confirmations/ConfirmationImport.h"
#include "core/imports/orb/OrbImport.h"
#include "core/imports/vidiru/ViDiruImport.h"
#include "core/letters/PostelLetters.h"

namespace zb32 {

QString jobName(JobId id)
{
    switch (id) {
    case JobId::Orb:
        return QStringLiteral("orb");
    case JobId::Incassi:
        return QStringLiteral("incassi");
    case JobId::Spese:
        return QStringLiteral("spese");
    case JobId::ViDiru:
        return QStringLiteral("vidiru");
    case JobId::Postel:
        return QStringLiteral("postel");
    }
    return {};
}

bool jobFromName(const QString& name, JobId* id)
{
    for (JobId j : { JobId::Orb, JobId::Incassi, JobId::Spese, JobId::ViDiru, JobId::Postel }) {
        if (jobName(j) == name) {
            *id = j;
            return true;
        }
    }
    return false;
}

JobResult runJob(JobId id, JobContext& ctx)
{
    switch (id) {
    case JobId::Orb:
        return ImportaOrb(ctx);
    case JobId::Incassi:
        return ImportaPag(ctx, 0);
    case JobId::Spese:
        return ImportaPag(ctx, 1);
    case JobId::ViDiru:
        return ImportaViDiru(ctx);
    case JobId::Postel:
        return PostelDodadAzevaz(ctx);
    }
    return JobResult::failed(QStringLiteral("lavoro sconosciuto"));
}

bool openDatabase(JobContext& ctx, JobResult* result)
{
    QString why;
    if (ctx.db.ApriDB(&why)) {
        return true;
    }
    ctx.report.error(why);
    *result = JobResult::failed(why);
    return false;
}

QString lineError(const QString& file, qint64 line, const QString& reason, const QString& unit)
{
    return QStringLiteral("Importazione interrotta. File %1, %2 %3: %4").arg(file, unit).arg(line).arg(reason);
}

JobResult unavailableJob(JobContext& ctx, const QString& caption)
{
    const QString text = QStringLiteral("La funzione \"%1\" non è ancora disponibile in questa versione.").arg(caption);
    ctx.report.message(text);
    return { JobStatus::Unavailable, text };
}

} // namespace zb32
