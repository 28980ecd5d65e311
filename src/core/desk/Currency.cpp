// Currency conversions and formatting.
#include "core/desk/Currency.h"

#include <cmath>
#include <iterator>
#include <limits>

namespace zb32 {

namespace {

bool setOk(bool* ok, bool value)
{
    if (ok) {
        *ok = value;
    }
    return value;
}

// Parses "[-+]digits[.digits]" (separator given) into ten-thousandths, rounding half to even
// beyond the fourth decimal. Thousands separators, when given, are skipped in the integer part.
bool parseDecimal(QStringView text, QChar decimalSep, QChar thousandsSep, qint64* raw)
{
    text = text.trimmed();
    if (text.isEmpty()) {
        return false;
    }
    bool negative = false;
    qsizetype i = 0;
    if (text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+')) {
        negative = text[0] == QLatin1Char('-');
        ++i;
        while (i < text.size() && text[i] == QLatin1Char(' ')) {
            ++i;
        }
    }
    qint64 units = 0;
    int intDigits = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            if (units > Currency::kMaxUnits / 10) {
                return false;
            }
            units = units * 10 + (c.unicode() - '0');
            ++intDigits;
        } else if (!thousandsSep.isNull() && c == thousandsSep) {
            continue;
        } else {
            break;
        }
    }
    qint64 frac = 0; // ten-thousandths
    int fracDigits = 0;
    int roundDigit = -1;
    bool stickyBeyond = false;
    if (i < text.size() && text[i] == decimalSep) {
        ++i;
        for (; i < text.size(); ++i) {
            const QChar c = text[i];
            if (!(c.isDigit() && c.unicode() < 128)) {
                break;
            }
            const int d = c.unicode() - '0';
            if (fracDigits < 4) {
                frac = frac * 10 + d;
            } else if (fracDigits == 4) {
                roundDigit = d;
            } else if (d != 0) {
                stickyBeyond = true;
            }
            ++fracDigits;
        }
    }
    if (i != text.size() || (intDigits == 0 && fracDigits == 0)) {
        return false;
    }
    for (int k = fracDigits; k < 4; ++k) {
        frac *= 10;
    }
    qint64 value = units * Currency::kScale + frac;
    if (roundDigit > 5 || (roundDigit == 5 && (stickyBeyond || (value % 2) != 0))) {
        ++value;
    }
    *raw = negative ? -value : value;
    return true;
}

// An optional sign and blanks, the units with thousands points only between groups of three
// digits ("1.5" is not an Italian amount), and an optional comma with decimals. The digits
// themselves are read by parseDecimal.
bool italianShape(QStringView t)
{
    const auto digit = [&t](qsizetype i) { return i < t.size() && t[i] >= u'0' && t[i] <= u'9'; };
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        ++i;
    }
    while (i < t.size() && t[i] == u' ') {
        ++i;
    }
    const qsizetype unitsFrom = i;
    while (digit(i)) {
        ++i;
    }
    if (i < t.size() && t[i] == u'.') {
        if (i - unitsFrom < 1 || i - unitsFrom > 3) {
            return false;
        }
        while (i < t.size() && t[i] == u'.') {
            if (!digit(i + 1) || !digit(i + 2) || !digit(i + 3)) {
                return false;
            }
            i += 4;
        }
        if (digit(i)) {
            return false;
        }
    }
    if (i < t.size() && t[i] == u',') {
        ++i;
        while (digit(i)) {
            ++i;
        }
    }
    return i == t.size();
}

} // namespace

Currency Currency::fromDouble(double value, bool* ok)
{
    if (!std::isfinite(value) || std::fabs(value) > static_cast<double>(kMaxUnits)) {
        setOk(ok, false);
        return {};
    }
    setOk(ok, true);
    // nearbyint follows the default rounding mode: to nearest, ties to even.
    return fromRaw(static_cast<qint64>(std::nearbyint(value * kScale)));
}

bool Currency::add(Currency a, Currency b, Currency* result)
{
    qint64 raw = 0;
    if (__builtin_add_overflow(a.m_raw, b.m_raw, &raw) || raw > kMaxRaw || raw < -kMaxRaw) {
        return false;
    }
    *result = fromRaw(raw);
    return true;
}

bool Currency::subtract(Currency a, Currency b, Currency* result)
{
    qint64 raw = 0;
    if (__builtin_sub_overflow(a.m_raw, b.m_raw, &raw) || raw > kMaxRaw || raw < -kMaxRaw) {
        return false;
    }
    *result = fromRaw(raw);
    return true;
}

Currency Currency::fromDecimalText(QStringView text, bool* ok)
{
    qint64 raw = 0;
    if (!parseDecimal(text, QLatin1Char('.'), QChar(), &raw)) {
        setOk(ok, false);
        return {};
    }
    setOk(ok, true);
    return fromRaw(raw);
}

Currency Currency::fromItalianText(QStringView text, bool* ok)
{
    const QStringView t = text.trimmed();
    qint64 raw = 0;
    if (!italianShape(t) || !parseDecimal(t, QLatin1Char(','), QLatin1Char('.'), &raw)) {
        setOk(ok, false);
        return {};
    }
    setOk(ok, true);
    return fromRaw(raw);
}

Currency Currency::fromVariant(const QVariant& value, bool* ok)
{
    if (value.metaType() == QMetaType::fromType<Currency>()) {
        setOk(ok, true);
        return value.value<Currency>();
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::Long: {
        const qlonglong units = value.toLongLong();
        if (units > kMaxUnits || units < -kMaxUnits) {
            setOk(ok, false);
            return {};
        }
        setOk(ok, true);
        return fromUnits(units);
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return fromDouble(value.toDouble(), ok);
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return fromDecimalText(value.toString(), ok);
    default:
        setOk(ok, false);
        return {};
    }
}

QString Currency::toPlainText(QChar decimalSeparator) const
{
    // Written from the right into a buffer of its own: one allocation, as a job stores amounts
    // on most lines it reads.
    quint64 a = m_raw < 0 ? 0 - quint64(m_raw) : quint64(m_raw);
    char16_t text[32];
    qsizetype at = std::size(text);
    quint64 frac = a % kScale;
    a /= kScale;
    if (frac != 0) {
        int digits = 4;
        for (; frac % 10 == 0; frac /= 10) {
            --digits;
        }
        for (; digits > 0; --digits, frac /= 10) {
            text[--at] = char16_t(u'0' + frac % 10);
        }
        text[--at] = decimalSeparator.unicode();
    }
    do {
        text[--at] = char16_t(u'0' + a % 10);
        a /= 10;
    } while (a != 0);
    if (m_raw < 0) {
        text[--at] = u'-';
    }
    return QString(reinterpret_cast<const QChar*>(text + at), qsizetype(std::size(text)) - at);
}

Currency Currency::rounded(int decimals) const
{
    qint64 step = 1;
    for (int k = decimals; k < 4; ++k) {
        step *= 10;
    }
    if (step == 1) {
        return *this;
    }
    const qint64 a = m_raw < 0 ? -m_raw : m_raw;
    qint64 r = (a + step / 2) / step * step; // half away from zero
    return fromRaw(m_raw < 0 ? -r : r);
}

QString Currency::toGroupedText(int minIntegerDigits) const
{
    const qint64 r = rounded(2).raw();
    const qint64 a = r < 0 ? -r : r;
    const qint64 units = a / kScale;
    const qint64 cents = (a % kScale) / 100;
    QString integer;
    if (units > 0 || minIntegerDigits > 0) {
        const QString digits = QString::number(units);
        for (qsizetype i = 0; i < digits.size(); ++i) {
            if (i > 0 && (digits.size() - i) % 3 == 0) {
                integer += QLatin1Char('.');
            }
            integer += digits[i];
        }
    }
    QString text = integer + QLatin1Char(',') + QString::number(cents).rightJustified(2, QLatin1Char('0'));
    if (r < 0) {
        text.prepend(QLatin1Char('-'));
    }
    return text;
}

} // namespace zb32
