// SQL dialects. Only names and "top" differ between the databases we reach; values are
// always bound, so no literal ever needs translating.
#include "core/desk/SqlDialect.h"

#include <QRegularExpression>

namespace zb32 {

QString SqlDialect::quoteName(const QString& name) const
{
    if (m_kind == Kind::PostgreSQL) {
        return QLatin1Char('"') + name.toLower().replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    }
    return QLatin1Char('[') + name + QLatin1Char(']');
}

QString SqlDialect::translate(const QString& sql) const
{
    if (m_kind == Kind::Access) {
        return sql;
    }
    QString out;
    out.reserve(sql.size() + 16);
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!quote.isNull()) {
            out += c;
            if (c == quote) {
                quote = QChar();
            }
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            out += c;
        } else if (c == QLatin1Char('[') && m_kind == Kind::PostgreSQL) {
            const qsizetype close = sql.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0) {
                out += c;
                continue;
            }
            out += quoteName(sql.mid(i + 1, close - i - 1));
            i = close;
        } else {
            out += c;
        }
    }
    static const QRegularExpression top(
        QStringLiteral("^(\\s*select\\s+)top\\s+(\\d+)\\s+"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = top.match(out);
    if (m.hasMatch()) {
        out = m.captured(1) + out.mid(m.capturedEnd(0)) + QStringLiteral(" LIMIT ") + m.captured(2);
    }
    return out;
}

} // namespace zb32
