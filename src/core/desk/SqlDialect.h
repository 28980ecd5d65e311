// Turns SQL written in the case database's own names into the form a driver wants.
#pragma once

#include <QString>

namespace zb32 {

class SqlDialect
{
public:
    enum class Kind { SQLite, PostgreSQL, Access };

    explicit SqlDialect(Kind kind = Kind::SQLite)
        : m_kind(kind)
    { }

    Kind kind() const { return m_kind; }
    // "[tabella pratiche]" stays for SQLite and Access and becomes "tabella pratiche" quoted in
    // lower case for PostgreSQL; a leading "top N" becomes a trailing "LIMIT N" off Access.
    QString translate(const QString& sql) const;
    // One table or field name, quoted for this driver.
    QString quoteName(const QString& name) const;
    // Whether an INSERT reads its new key back with RETURNING (else the driver's last id).
    bool insertReturnsKey() const { return m_kind == Kind::PostgreSQL; }

private:
    Kind m_kind;
};

} // namespace zb32
