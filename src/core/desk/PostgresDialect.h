// PostgreSQL: the server several workstations share. Names lower-case and double-quoted,
// exact numerics, new keys read back with RETURNING.
#pragma once

#include "core/desk/SqlDialect.h"

namespace zb32 {

class PostgresDialect : public SqlDialect
{
public:
    static constexpr int kCommandTimeoutSeconds = 240;
    // The advisory lock that transactions changing shared records take ("zb32").
    static constexpr qint64 kSharedRecordsLock = 0x7a623332;

    Kind kind() const override { return Kind::PostgreSQL; }
    QString translate(const QString& sql) const override;
    QString quoteName(const QString& name) const override;
    QString storedTableName(const QSqlDatabase& db, const QString& table) const override;

    QVariant storedCurrency(const Currency& amount) const override;
    QVariant storedNull(FieldType type) const override;
    QString columnType(const FieldDef& field) const override;

    QString returningKey(const QString& keyField) const override;
    QVariant newKey(QSqlQuery& insert) const override;
    QStringList nextSavepoint(const QString& name) const override;

    bool startSession(QSqlDatabase& db, QString* error) override;
    bool isAlive(QSqlDatabase& db) const override;
    bool begin(QSqlDatabase& db, bool sharedRecords, QString* error) override;
};

} // namespace zb32
