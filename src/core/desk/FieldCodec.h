// Values between the desk and the database: what a field's type makes of a value read, of a
// value set, and what is bound for it. Empty and missing texts are told apart here only.
#pragma once

#include "core/desk/Currency.h"
#include "core/desk/Schema.h"

#include <QDate>
#include <QString>
#include <QVariant>

namespace zb32 {

class SqlDialect;

namespace FieldCodec {

// A variant's type, and whether it holds no value (as QVariant::isNull: no type, its null flag, or
// a null pointer), read in place: QVariant's metaType, typeId and isNull are calls into the
// library, and every value a job sets, holds and binds passes them.
inline QMetaType variantType(const QVariant& v)
{
    return v.data_ptr().type();
}
inline bool isMissing(const QVariant& v)
{
    const QMetaType type = variantType(v);
    return !type.isValid() || v.data_ptr().is_null
        || ((type.flags() & QMetaType::IsPointer) && !*static_cast<void* const*>(v.constData()));
}

// A stored or typed-in date: ISO yyyy-MM-dd[...], or d/M/yyyy or d/M/yy with "/", "-" or "."
// (two-digit years are 1930..2029); anything else is an invalid date.
QDate parseDate(const QString& text);

// A value as the driver returned it, in the field's type: a date as QDate, an amount as
// Currency, a whole number as qlonglong, a text as a text ("" stays ""). NULL is an invalid
// QVariant; a value that does not fit the type is kept as it came.
QVariant fromStorage(FieldType type, const QVariant& raw);
// fromStorage of a value the server sent as text (nullptr: NULL), for a column of the type
// the case database gives the field (SqlDialect::TextRows::holds): what the driver's value of
// it would give.
QVariant fromServerText(FieldType type, const char* text, int length);
// A value of the field's type as the dialect binds it; a missing one as its typed NULL.
QVariant toStorage(FieldType type, const QVariant& value, const SqlDialect& dialect);
// As toStorage, but a date stays a date: a write held for a group has it written as the
// database stores it when it is bound (GroupWrites::bound), on whichever thread binds it.
QVariant toHeld(FieldType type, const QVariant& value, const SqlDialect& dialect);
// A value set on a field (a date text dd/MM/yyyy, an Italian amount text, a number) in the
// field's type. A text is stored as a text, an empty one as "": only a missing value (an
// invalid or null QVariant) becomes NULL. Refused with the reason when it does not convert.
bool convert(FieldType type, const QString& field, const QVariant& in, QVariant* out, QString* error);
// A value bound into a selection: a text is compared as a text, so an empty one matches "".
QVariant parameter(const QVariant& value);

// Reading a converted value. Null reads as "", a date as dd/MM/yyyy, an amount as plain text
// with a decimal comma.
QString text(const QVariant& value);
// Null reads as 0.
Currency currency(const QVariant& value);
// Null or not a date reads as an invalid date.
QDate date(const QVariant& value);
// Strict reads of a stored value: null gives 0 or an invalid date; a value that is not an
// amount (or a date) is refused, naming the field.
bool readCurrency(const QVariant& value, const QString& field, Currency* out, QString* error);
bool readDate(const QVariant& value, const QString& field, QDate* out, QString* error);

} // namespace FieldCodec

} // namespace zb32
