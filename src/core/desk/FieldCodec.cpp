// Field values by type: reading, setting, binding.
#include "core/desk/FieldCodec.h"

#include "core/desk/Formats.h"
#include "core/desk/SqlDialect.h"

#include <QByteArray>
#include <QDateTime>
#include <algorithm>
#include <iterator>

namespace zb32::FieldCodec {

namespace {

// QtSql binds a null QString as NULL; a text of the desk is never missing, at most empty.
QString presentText(const QString& text)
{
    return text.isNull() ? QString(QLatin1String("")) : text;
}

bool refuse(const QVariant& v, const QString& field, const QString& what, QString* error)
{
    if (error) {
        *error = QStringLiteral("il valore \"%1\" del campo %2 non è %3 valido").arg(v.toString(), field, what);
    }
    return false;
}

} // namespace

QDate parseDate(const QString& text)
{
    return zb32::parseDate(text, kFieldDateForms);
}

QVariant fromStorage(FieldType type, const QVariant& raw)
{
    if (isMissing(raw)) {
        return QVariant();
    }
    switch (type) {
    case FieldType::Date: {
        if (variantType(raw).id() == QMetaType::QDate) {
            return raw;
        }
        if (variantType(raw).id() == QMetaType::QDateTime) {
            return raw.toDateTime().date();
        }
        const QDate d = parseDate(raw.toString());
        return d.isValid() ? QVariant(d) : raw;
    }
    case FieldType::Currency: {
        bool ok = false;
        const Currency c = Currency::fromVariant(raw, &ok);
        return ok ? QVariant::fromValue(c) : raw;
    }
    case FieldType::Key:
    case FieldType::Integer: {
        bool ok = false;
        const qlonglong n = raw.toLongLong(&ok);
        return ok ? QVariant(n) : raw;
    }
    case FieldType::Double:
        return raw.toDouble();
    case FieldType::Text:
    case FieldType::Memo:
        return presentText(raw.toString());
    }
    return raw;
}

QVariant fromServerText(FieldType type, const char* text, int length)
{
    if (!text) {
        return QVariant();
    }
    const QByteArrayView bytes(text, length);
    switch (type) {
    case FieldType::Key:
    case FieldType::Integer: {
        bool ok = false;
        const qlonglong n = bytes.toLongLong(&ok);
        return ok ? QVariant(n) : QVariant(QString::fromLatin1(bytes));
    }
    case FieldType::Text:
    case FieldType::Memo:
        return QVariant(presentText(QString::fromUtf8(bytes)));
    case FieldType::Date: {
        // The server's ISO date (the driver's session asks for ISO): yyyy-mm-dd, else as the
        // driver reads it.
        const auto digits = [&bytes](int from, int count) {
            int n = 0;
            for (int i = from; i < from + count; ++i) {
                const char c = bytes[i];
                if (c < '0' || c > '9') {
                    return -1;
                }
                n = n * 10 + (c - '0');
            }
            return n;
        };
        if (length == 10 && bytes[4] == '-' && bytes[7] == '-') {
            const int y = digits(0, 4);
            const int m = digits(5, 2);
            const int d = digits(8, 2);
            if (y >= 0 && m >= 0 && d >= 0) {
                return QVariant(QDate(y, m, d));
            }
        }
        return QVariant(QDate::fromString(QString::fromLatin1(bytes), Qt::ISODate));
    }
    case FieldType::Currency: {
        // The driver hands numeric as its text (high precision); a short one is widened here.
        char16_t wide[48];
        QString longText;
        QStringView digits;
        if (length <= qsizetype(std::size(wide))) {
            std::copy(bytes.begin(), bytes.end(), wide);
            digits = QStringView(wide, length);
        } else {
            longText = QString::fromLatin1(bytes);
            digits = longText;
        }
        bool ok = false;
        const Currency c = Currency::fromDecimalText(digits, &ok);
        return ok ? QVariant::fromValue(c) : QVariant(digits.toString());
    }
    case FieldType::Double:
        break;
    }
    return fromStorage(type, QVariant(QString::fromLatin1(bytes)));
}

QVariant toStorage(FieldType type, const QVariant& value, const SqlDialect& dialect)
{
    if (isMissing(value)) {
        return dialect.storedNull(type);
    }
    switch (type) {
    case FieldType::Date:
        return dialect.storedDate(value.toDate());
    case FieldType::Currency:
        return dialect.storedCurrency(value.value<Currency>());
    default:
        return value;
    }
}

QVariant toHeld(FieldType type, const QVariant& value, const SqlDialect& dialect)
{
    // Most held values: a text, or a date, as they are.
    switch (isMissing(value) ? int(QMetaType::UnknownType) : variantType(value).id()) {
    case QMetaType::QString:
        if (type != FieldType::Date && type != FieldType::Currency) {
            return value;
        }
        break;
    case QMetaType::QDate:
        if (type == FieldType::Date && static_cast<const QDate*>(value.constData())->isValid()) {
            return value;
        }
        break;
    default:
        break;
    }
    return toStorage(type, value, dialect);
}

QVariant parameter(const QVariant& value)
{
    if (variantType(value).id() == QMetaType::QString && !isMissing(value)) {
        return presentText(value.toString());
    }
    return value;
}

bool convert(FieldType type, const QString& field, const QVariant& in, QVariant* out, QString* error)
{
    if (isMissing(in)) {
        *out = QVariant();
        return true;
    }
    if ((type == FieldType::Text || type == FieldType::Memo) && variantType(in).id() == QMetaType::QString
        && !static_cast<const QString*>(in.constData())->isNull()) {
        *out = in; // most of the values a job sets: the text itself, shared
        return true;
    }
    // The amounts and numbers the postings work out, already of the field's type.
    if ((type == FieldType::Currency && variantType(in) == QMetaType::fromType<Currency>())
        || (type == FieldType::Double && variantType(in).id() == QMetaType::Double)) {
        *out = in;
        return true;
    }
    const bool isCurrency = variantType(in) == QMetaType::fromType<Currency>();
    auto refuse = [&](const QString& what) {
        if (error) {
            *error = QStringLiteral("il valore \"%1\" non è %2 valido per il campo %3")
                         .arg(isCurrency ? in.value<Currency>().toPlainText() : in.toString(), what, field);
        }
        return false;
    };
    switch (type) {
    case FieldType::Date: {
        QDate d;
        if (variantType(in).id() == QMetaType::QDate) {
            d = in.toDate();
        } else if (variantType(in).id() == QMetaType::QDateTime) {
            d = in.toDateTime().date();
        } else if (variantType(in).id() == QMetaType::QString) {
            d = parseDate(in.toString());
        }
        if (!d.isValid()) {
            return refuse(QStringLiteral("una data"));
        }
        *out = d;
        return true;
    }
    case FieldType::Currency: {
        bool ok = false;
        Currency c;
        if (variantType(in).id() == QMetaType::QString) {
            c = Currency::fromItalianText(in.toString(), &ok);
            if (!ok) {
                c = Currency::fromDecimalText(in.toString(), &ok);
            }
        } else {
            c = Currency::fromVariant(in, &ok);
        }
        if (!ok) {
            return refuse(QStringLiteral("un importo"));
        }
        *out = QVariant::fromValue(c);
        return true;
    }
    case FieldType::Key:
    case FieldType::Integer: {
        bool ok = false;
        qlonglong n = 0;
        if (isCurrency) {
            const Currency c = in.value<Currency>();
            ok = c.raw() % Currency::kScale == 0;
            n = c.raw() / Currency::kScale;
        } else if (variantType(in).id() == QMetaType::Double) {
            const double d = in.toDouble();
            ok = d == static_cast<double>(static_cast<qlonglong>(d));
            n = static_cast<qlonglong>(d);
        } else if (variantType(in).id() == QMetaType::Int || variantType(in).id() == QMetaType::LongLong) {
            n = in.toLongLong(); // a key or a count as it is, not through its text
            ok = true;
        } else {
            n = in.toString().trimmed().toLongLong(&ok);
        }
        if (!ok || n > 2147483647LL || n < -2147483648LL) {
            return refuse(QStringLiteral("un numero intero"));
        }
        *out = n;
        return true;
    }
    case FieldType::Double: {
        bool ok = false;
        double d = 0;
        if (isCurrency) {
            d = in.value<Currency>().toDouble();
            ok = true;
        } else if (variantType(in).id() == QMetaType::QString) {
            const Currency c = Currency::fromItalianText(in.toString(), &ok);
            d = c.toDouble();
        } else {
            d = in.toDouble(&ok);
        }
        if (!ok) {
            return refuse(QStringLiteral("un numero"));
        }
        *out = d;
        return true;
    }
    case FieldType::Text:
    case FieldType::Memo:
        if (isCurrency) {
            *out = in.value<Currency>().toPlainText(QLatin1Char(','));
        } else if (variantType(in).id() == QMetaType::QDate) {
            *out = shortDate(in.toDate());
        } else {
            *out = presentText(in.toString());
        }
        return true;
    }
    *out = in;
    return true;
}

QString text(const QVariant& value)
{
    if (isMissing(value)) {
        return {};
    }
    if (variantType(value) == QMetaType::fromType<Currency>()) {
        return value.value<Currency>().toPlainText(QLatin1Char(','));
    }
    if (variantType(value).id() == QMetaType::QDate) {
        return shortDate(value.toDate());
    }
    return value.toString();
}

Currency currency(const QVariant& value)
{
    return isMissing(value) ? Currency() : Currency::fromVariant(value);
}

QDate date(const QVariant& value)
{
    if (variantType(value).id() == QMetaType::QDate) {
        return value.toDate();
    }
    if (variantType(value).id() == QMetaType::QDateTime) {
        return value.toDateTime().date();
    }
    return variantType(value).id() == QMetaType::QString ? parseDate(value.toString()) : QDate();
}

bool readCurrency(const QVariant& value, const QString& field, Currency* out, QString* error)
{
    *out = Currency();
    if (isMissing(value)) {
        return true;
    }
    if (variantType(value) != QMetaType::fromType<Currency>()) {
        return refuse(value, field, QStringLiteral("un importo"), error);
    }
    *out = value.value<Currency>();
    return true;
}

bool readDate(const QVariant& value, const QString& field, QDate* out, QString* error)
{
    *out = QDate();
    if (isMissing(value)) {
        return true;
    }
    if (variantType(value).id() != QMetaType::QDate) {
        return refuse(value, field, QStringLiteral("una data"), error);
    }
    *out = value.toDate();
    return true;
}

} // namespace zb32::FieldCodec
