// The Orb case import ("Importa Orb").
#pragma once

#include "core/desk/Job.h"

namespace zb32 {

JobResult ImportaOrb(JobContext& ctx);

} // namespace zb32
