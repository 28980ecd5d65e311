// The one platform-specific question the command line asks.
#pragma once

#include <cstdio>

namespace zb32 {

bool isTerminal(FILE* stream);

} // namespace zb32
