// Connection-string parsing: values may be quoted with "..." or '...' (a doubled quote stands
// for itself) or, in ODBC strings, braced {...}; blanks around keys and values are dropped.
#include "core/desk/ConnectionString.h"

namespace zb32 {

namespace {

bool isPasswordKey(const QString& key)
{
    return key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0
        || key.compare(QLatin1String("Pwd"), Qt::CaseInsensitive) == 0;
}

} // namespace

ConnectionString ConnectionString::parse(const QString& text)
{
    ConnectionString cs;
    cs.m_text = text;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (text[i] == QLatin1Char(';') || text[i].isSpace())) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            cs.m_error = QStringLiteral("voce senza \"=\" nella stringa di connessione: %1")
                             .arg(text.mid(i, semi < 0 ? -1 : semi - i).trimmed());
            cs.m_pairs.clear();
            return cs;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < n && text[i] == QLatin1Char(' ')) {
            ++i;
        }
        QString value;
        if (i < n && (text[i] == QLatin1Char('"') || text[i] == QLatin1Char('\''))) {
            const QChar quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed) {
                cs.m_error = QStringLiteral("virgolette non chiuse nel valore di %1").arg(key);
                cs.m_pairs.clear();
                return cs;
            }
            while (i < n && text[i] != QLatin1Char(';')) {
                ++i;
            }
        } else if (i < n && text[i] == QLatin1Char('{')) {
            const qsizetype close = text.indexOf(QLatin1Char('}'), i);
            if (close < 0) {
                cs.m_error = QStringLiteral("parentesi graffa non chiusa nel valore di %1").arg(key);
                cs.m_pairs.clear();
                return cs;
            }
            value = text.mid(i, close - i + 1);
            i = close + 1;
            while (i < n && text[i] != QLatin1Char(';')) {
                ++i;
            }
        } else {
            const qsizetype end = semi < 0 ? n : text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (end < 0 ? n : end) - i).trimmed();
            i = end < 0 ? n : end;
        }
        if (key.isEmpty()) {
            cs.m_error = QStringLiteral("chiave vuota nella stringa di connessione");
            cs.m_pairs.clear();
            return cs;
        }
        cs.m_pairs.append({ key, value });
    }

    const QString provider = cs.value(QStringLiteral("Provider")).trimmed();
    if (cs.m_pairs.isEmpty()) {
        cs.m_error = QStringLiteral("la stringa di connessione è vuota");
    } else if (provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0) {
        cs.m_kind = Kind::SQLite;
        if (cs.value(QStringLiteral("Data Source")).isEmpty()) {
            cs.m_kind = Kind::Invalid;
            cs.m_error = QStringLiteral("manca \"Data Source\" per il database SQLite");
        }
    } else if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0) {
        cs.m_kind = Kind::PostgreSQL;
    } else if (provider.startsWith(QLatin1String("Microsoft.Jet.OLEDB"), Qt::CaseInsensitive)
        || provider.startsWith(QLatin1String("Microsoft.ACE.OLEDB"), Qt::CaseInsensitive)) {
        cs.m_kind = Kind::Jet;
    } else if (provider.isEmpty() && (cs.contains(QStringLiteral("Driver")) || cs.contains(QStringLiteral("DSN")))) {
        cs.m_kind = Kind::Odbc;
    } else if (provider.compare(QLatin1String("MSDASQL"), Qt::CaseInsensitive) == 0) {
        cs.m_kind = Kind::Odbc;
    } else {
        cs.m_error = provider.isEmpty() ? QStringLiteral("la stringa di connessione non indica il provider")
                                        : QStringLiteral("provider non supportato: %1").arg(provider);
    }
    return cs;
}

QString ConnectionString::value(const QString& key) const
{
    for (const auto& p : m_pairs) {
        if (p.first.compare(key, Qt::CaseInsensitive) == 0) {
            return p.second;
        }
    }
    return {};
}

bool ConnectionString::contains(const QString& key) const
{
    for (const auto& p : m_pairs) {
        if (p.first.compare(key, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

QString ConnectionString::masked() const
{
    if (m_pairs.isEmpty()) {
        return m_text;
    }
    QStringList parts;
    for (const auto& p : m_pairs) {
        parts << p.first + QLatin1Char('=') + (isPasswordKey(p.first) ? QStringLiteral("****") : p.second);
    }
    return parts.join(QLatin1Char(';'));
}

} // namespace zb32
