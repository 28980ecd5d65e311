// The Orb case import.
#include "OrbImport.h"

namespace zb32 {

JobResult ImportaOrb(JobContext& ctx)
{
    return unavailableJob(ctx, QStringLiteral("Importa Orb"));
}

} // namespace zb32
