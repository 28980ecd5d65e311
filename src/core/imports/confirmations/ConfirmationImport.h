// The confirmation import: collections text file (mode 0) and expense workbook (mode 1).
#pragma once

#include "core/jobs/Job.h"

namespace zb32 {

// For each record: find the case (mandate type and position), then confirm an instalment, post
// a payment, an invoice or an outcome. A record that cannot be read or saved stops the run
// with everything before it kept and nothing of itself.
JobResult ImportaPag(JobContext& ctx, int mode);

} // namespace zb32
