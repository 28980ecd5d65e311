// The confirmation import.
#include "ConfirmationImport.h"

namespace zb32 {

JobResult ImportaPag(JobContext& ctx, int mode)
{
    return unavailableJob(ctx, mode == 0 ? QStringLiteral("Importa Incassi Orb") : QStringLiteral("Conferme Spese Orb"));
}

} // namespace zb32
