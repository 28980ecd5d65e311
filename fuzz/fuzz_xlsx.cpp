// The .xlsx reader on arbitrary packages, and on arbitrary sheet parts inside a valid package.
#include "PackageFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zb32::fuzz::readPackage(data, size, "formati.xlsx", "xl/worksheets/sheet2.xml");
    return 0;
}
