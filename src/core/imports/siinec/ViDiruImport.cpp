// The Vi Diru case import.
#include "ViDiruImport.h"

namespace zb32 {

JobResult ImportaViDiru(JobContext& ctx)
{
    return unavailableJob(ctx, QStringLiteral("Importa Vi Diru"));
}

} // namespace zb32
