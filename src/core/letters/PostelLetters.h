// The reminder letters of the water utility ("Postel DodadAzevaz").
#pragma once

#include "core/desk/Job.h"

namespace zb32 {

JobResult PostelDodadAzevaz(JobContext& ctx);

} // namespace zb32
