// Decoding of one Orb line.
#include "core/imports/orb/OrbLine.h"

#include "core/desk/Formats.h"

namespace zb32 {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ');
}

} // namespace

QString OrbLine::strip(QStringView raw)
{
    return trimBlanks(raw);
}

QString OrbLine::trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    if (begin == end) {
        return QStringLiteral("");
    }
    return text.mid(begin, end - begin).toString();
}

QDate OrbLine::date(const QString& field)
{
    if (field.size() != 8) {
        return {};
    }
    int digits[8];
    for (int i = 0; i < 8; ++i) {
        const char16_t c = field[i].unicode();
        if (c < u'0' || c > u'9') {
            return {};
        }
        digits[i] = c - u'0';
    }
    // Read directly rather than through a date format: this runs for every invoice.
    const int day = digits[0] * 10 + digits[1];
    const int month = digits[2] * 10 + digits[3];
    const int year = digits[4] * 1000 + digits[5] * 100 + digits[6] * 10 + digits[7];
    return QDate::isValid(year, month, day) ? QDate(year, month, day) : QDate();
}

OrbLine::OrbLine(const QString& stripped)
    : m_line(stripped)
{
    const QString c = code();
    if (c == QLatin1String("A01")) {
        m_kind = Kind::Case;
    } else if (c == QLatin1String("A02")) {
        m_kind = Kind::Contract;
    } else if (c == QLatin1String("R01")) {
        m_kind = Kind::Assignment;
    } else {
        m_kind = Kind::Detail;
    }
}

QString OrbLine::field(int start, int length) const
{
    if (start - 1 >= m_line.size()) {
        return QStringLiteral("");
    }
    return m_line.mid(start - 1, length);
}

Currency OrbLine::amount(int start, int length) const
{
    return leadingAmount(QStringView(m_line).mid(start - 1, length), 100);
}

} // namespace zb32
