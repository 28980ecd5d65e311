// The "connstring" of the configuration file: key=value; pairs, keys without regard to case.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace zb32 {

class ConnectionString
{
public:
    enum class Kind { Invalid, SQLite, PostgreSQL, Jet, Odbc };

    static ConnectionString parse(const QString& text);

    Kind kind() const { return m_kind; }
    // Why the text names no usable database (Invalid only).
    QString errorString() const { return m_error; }
    // The value of a key, without regard to case; empty when missing.
    QString value(const QString& key) const;
    bool contains(const QString& key) const;
    const QList<QPair<QString, QString>>& pairs() const { return m_pairs; }
    QString text() const { return m_text; }
    // The text with any password replaced by asterisks, for showing to people.
    QString masked() const;

private:
    Kind m_kind = Kind::Invalid;
    QString m_text;
    QString m_error;
    QList<QPair<QString, QString>> m_pairs;
};

} // namespace zb32
