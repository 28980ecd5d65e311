// ODBC, an Access database above all: the SQL is the case database's own, without savepoints.
#pragma once

#include "core/desk/SqlDialect.h"

namespace zb32 {

class OdbcDialect : public SqlDialect
{
public:
    Kind kind() const override { return Kind::Odbc; }
    QString translate(const QString& sql) const override { return sql; }
    QString columnType(const FieldDef& field) const override;
    // The tables belong to the collection system there; the desk does not create them.
    bool createsTables() const override { return false; }
    bool hasSavepoints() const override { return false; }
};

} // namespace zb32
