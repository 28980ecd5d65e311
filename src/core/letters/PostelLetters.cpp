// The letter run.
#include "PostelLetters.h"

namespace zb32 {

JobResult PostelDodadAzevaz(JobContext& ctx)
{
    return unavailableJob(ctx, QStringLiteral("Postel DodadAzevaz"));
}

} // namespace zb32
