// The job catalog.
#include "core/JobCatalog.h"

#include "core/desk/CaseDatabase.h"
#include "core/imports/confirmations/ConfirmationImport.h"
#include "core/imports/orb/OrbImport.h"
#include "core/imports/vidiru/ViDiruImport.h"
#include "core/letters/PostelLetters.h"

namespace zb32 {

const QList<JobEntry>& jobCatalog()
{
    static const QList<JobEntry> jobs = {
        { JobId::Orb, QStringLiteral("orb"), QStringLiteral("Importa Orb"), &ImportaOrb, true },
        { JobId::Incassi, QStringLiteral("incassi"), QStringLiteral("Importa Incassi Orb"),
            [](JobContext& ctx) { return ImportaPag(ctx, 0); }, true },
        { JobId::Spese, QStringLiteral("spese"), QStringLiteral("Conferme Spese Orb"),
            [](JobContext& ctx) { return ImportaPag(ctx, 1); }, true },
        { JobId::ViDiru, QStringLiteral("vidiru"), QStringLiteral("Importa    Vi Diru"), &ImportaViDiru, true },
        { JobId::Postel, QStringLiteral("postel"), QStringLiteral("Postel DodadAzevaz"), &PostelDodadAzevaz, false },
    };
    return jobs;
}

const JobEntry& jobEntry(JobId id)
{
    for (const JobEntry& e : jobCatalog()) {
        if (e.id == id) {
            return e;
        }
    }
    Q_UNREACHABLE();
}

const JobEntry* findJob(const QString& name)
{
    for (const JobEntry& e : jobCatalog()) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

JobResult runJob(JobId id, JobContext& ctx)
{
    const JobEntry& entry = jobEntry(id);
    ctx.job = entry.name;
    // A wait for another workstation is a line of the job's log while it lasts.
    ctx.db.setJob(entry.name, [&ctx](const QString& text) { ctx.report.Addlist(text); });
    const JobResult result = entry.run(ctx);
    ctx.db.setJob(entry.name);
    return result;
}

} // namespace zb32
