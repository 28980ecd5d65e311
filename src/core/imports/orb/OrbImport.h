// The Orb case import ("Importa Orb").
#pragma once

#include "core/jobs/Job.h"

namespace zb32 {

JobResult ImportaOrb(JobContext& ctx);

} // namespace zb32
