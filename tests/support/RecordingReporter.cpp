// The recording reporter is header-only; this unit keeps the library non-empty.
#include "RecordingReporter.h"
