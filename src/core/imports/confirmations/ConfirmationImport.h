// The confirmation import: collections text file (mode 0) and expense workbook (mode 1).
#pragma once

#include "desk/Job.h"

namespace zb32 {

JobResult ImportaPag(JobContext& ctx, int mode);

} // namespace zb32
