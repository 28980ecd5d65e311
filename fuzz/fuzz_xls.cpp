// The .xls reader in-process: compound files as they stand, and bare record streams (an input
// that starts with a BOF record), so the search reaches the records without the container.
#include "PackageFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zb32::fuzz::readAndCheck(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
