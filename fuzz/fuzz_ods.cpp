// The .ods reader on arbitrary packages, and on arbitrary content parts inside a valid package.
#include "PackageFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zb32::fuzz::readPackage(data, size, "formati.ods", "content.xml");
    return 0;
}
