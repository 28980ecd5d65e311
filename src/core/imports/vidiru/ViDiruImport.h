// The Vi Diru case import ("Importa    Vi Diru").
#pragma once

#include "core/jobs/Job.h"

namespace zb32 {

JobResult ImportaViDiru(JobContext& ctx);

} // namespace zb32
