// ODBC: Access's own column types.
#include "core/desk/OdbcDialect.h"

namespace zb32 {

QString OdbcDialect::columnType(const FieldDef& field) const
{
    switch (field.type) {
    case FieldType::Key:
        return QStringLiteral("COUNTER PRIMARY KEY");
    case FieldType::Text:
        return QStringLiteral("TEXT(%1)").arg(field.length);
    case FieldType::Memo:
        return QStringLiteral("MEMO");
    case FieldType::Date:
        return QStringLiteral("DATETIME");
    case FieldType::Currency:
        return QStringLiteral("CURRENCY");
    case FieldType::Integer:
        return QStringLiteral("LONG");
    case FieldType::Double:
        return QStringLiteral("DOUBLE");
    }
    return {};
}

} // namespace zb32
