// Currency: a signed amount in ten-thousandths of a unit, exact under sums and sign changes.
#pragma once

#include <QMetaType>
#include <QString>
#include <QStringView>
#include <QVariant>
#include <compare>

namespace zb32 {

class Currency
{
public:
    static constexpr qint64 kScale = 10000;
    // The largest amount, in units, that the conversions accept; raw values stay inside 64 bits.
    static constexpr qint64 kMaxUnits = 920'000'000'000'000;
    static constexpr qint64 kMaxRaw = kMaxUnits * kScale;

    constexpr Currency() = default;
    static constexpr Currency fromRaw(qint64 raw)
    {
        Currency c;
        c.m_raw = raw;
        return c;
    }
    static constexpr Currency fromUnits(qint64 units) { return fromRaw(units * kScale); }

    // Rounds to four decimals, half to even (the currency conversion of the collection system).
    static Currency fromDouble(double value, bool* ok = nullptr);
    // Plain decimal text with a point: "-123.45", "7", ".5". Anything else fails.
    static Currency fromDecimalText(QStringView text, bool* ok = nullptr);
    // An amount typed under Italian settings: "1.234,56", "-12,5", blanks around ignored.
    static Currency fromItalianText(QStringView text, bool* ok = nullptr);
    // A value read from a database or handed in by a caller: Currency, number or decimal text.
    static Currency fromVariant(const QVariant& value, bool* ok = nullptr);

    constexpr qint64 raw() const { return m_raw; }
    double toDouble() const { return static_cast<double>(m_raw) / kScale; }
    bool isZero() const { return m_raw == 0; }

    // "-1234.5" style, point as separator, no trailing zeros: for database parameters.
    QString toDecimalText() const { return toPlainText(QLatin1Char('.')); }
    // No thousands separator, no trailing decimal zeros, no separator for whole numbers: 123,45 / 100.
    QString toPlainText(QChar decimalSeparator = QLatin1Char(',')) const;
    // Two decimals rounded half away from zero, "." between thousands, "," before the decimals.
    // With minIntegerDigits 0 an amount below one shows no integer digit (",50").
    QString toGroupedText(int minIntegerDigits = 1) const;

    Currency rounded(int decimals) const;

    // a + b and a - b where amounts from files add up without bound (totals over many lines):
    // false, leaving *result alone, when the result would lie beyond ±kMaxUnits.
    static bool add(Currency a, Currency b, Currency* result);
    static bool subtract(Currency a, Currency b, Currency* result);

    constexpr Currency operator-() const { return fromRaw(-m_raw); }
    constexpr Currency operator+(Currency o) const { return fromRaw(m_raw + o.m_raw); }
    constexpr Currency operator-(Currency o) const { return fromRaw(m_raw - o.m_raw); }
    Currency& operator+=(Currency o)
    {
        m_raw += o.m_raw;
        return *this;
    }
    Currency& operator-=(Currency o)
    {
        m_raw -= o.m_raw;
        return *this;
    }
    constexpr auto operator<=>(const Currency&) const = default;

private:
    qint64 m_raw = 0;
};

} // namespace zb32

Q_DECLARE_METATYPE(zb32::Currency)
