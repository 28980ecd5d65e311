// The configuration-file reader on arbitrary bytes.
#include "core/desk/IniFile.h"

#include <QByteArray>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString value = zb32::iniValue(bytes, QStringLiteral("datiserver"), QStringLiteral("connstring"));
    if (value.size() > 511) {
        __builtin_trap();
    }
    return 0;
}
