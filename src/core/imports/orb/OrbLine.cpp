// Decoding of one Orb line.
#include "core/imports/orb/OrbLine.h"

#include "core/desk/Formats.h"

namespace zb32 {

OrbLine::OrbLine(const QString& stripped)
    : m_line(stripped)
{
    const QStringView c = view(3, 3);
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
    return m_line.mid(start - 1, length);
}

Currency OrbLine::amount(int start, int length) const
{
    return leadingAmount(QStringView(m_line).mid(start - 1, length), 100);
}

} // namespace zb32
