// The connection-string parser and the SQL dialects on arbitrary text.
#include "core/desk/ConnectionString.h"
#include "core/desk/Cp1252.h"
#include "core/desk/SqlDialect.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = zb32::Cp1252::decode(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const zb32::ConnectionString cs = zb32::ConnectionString::parse(text);
    if (cs.kind() == zb32::ConnectionString::Kind::Invalid && cs.errorString().isEmpty()) {
        __builtin_trap(); // every refusal says why
    }
    (void)cs.masked();
    (void)cs.value(QStringLiteral("Data Source"));
    for (auto kind : { zb32::SqlDialect::Kind::SQLite, zb32::SqlDialect::Kind::PostgreSQL }) {
        (void)zb32::SqlDialect::create(kind)->translate(text);
    }
    return 0;
}
