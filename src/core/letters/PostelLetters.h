// The reminder letters of the water utility ("Postel DodadAzevaz").
#pragma once

#include "core/jobs/Job.h"

namespace zb32 {

JobResult PostelDodadAzevaz(JobContext& ctx);

} // namespace zb32
