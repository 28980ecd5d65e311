// PostgreSQL: names folded to lower case, numeric text for amounts, one lock for the
// transactions that change shared records.
#include "core/desk/PostgresDialect.h"

namespace zb32 {

QString PostgresDialect::translate(const QString& sql) const
{
    return topToLimit(quoteBracketedNames(sql));
}

QString PostgresDialect::quoteName(const QString& name) const
{
    return QLatin1Char('"') + name.toLower().replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString PostgresDialect::storedTableName(const QSqlDatabase&, const QString& table) const
{
    return table.toLower();
}

QVariant PostgresDialect::storedCurrency(const Currency& amount) const
{
    // As decimal text: numeric(19,4) takes it exactly, where a double would round.
    return amount.toDecimalText();
}

QVariant PostgresDialect::storedNull(FieldType type) const
{
    return type == FieldType::Currency ? QVariant(QMetaType::fromType<QString>()) : SqlDialect::storedNull(type);
}

QString PostgresDialect::columnType(const FieldDef& field) const
{
    switch (field.type) {
    case FieldType::Key:
        return QStringLiteral("serial PRIMARY KEY");
    case FieldType::Text:
        return QStringLiteral("varchar(%1)").arg(field.length);
    case FieldType::Memo:
        return QStringLiteral("TEXT");
    case FieldType::Date:
        return QStringLiteral("date");
    case FieldType::Currency:
        return QStringLiteral("numeric(19,4)");
    case FieldType::Integer:
        return QStringLiteral("integer");
    case FieldType::Double:
        return QStringLiteral("double precision");
    }
    return {};
}

QString PostgresDialect::returningKey(const QString& keyField) const
{
    return QStringLiteral(" RETURNING ") + quoteName(keyField);
}

QVariant PostgresDialect::newKey(QSqlQuery& insert) const
{
    return insert.next() ? insert.value(0) : QVariant();
}

QStringList PostgresDialect::nextSavepoint(const QString& name) const
{
    // One round trip to the server instead of two.
    return { releaseSavepoint(name) + QStringLiteral("; ") + savepoint(name) };
}

bool PostgresDialect::startSession(QSqlDatabase& db, QString* error)
{
    return run(db, QStringLiteral("SET statement_timeout = %1").arg(kCommandTimeoutSeconds * 1000), error);
}

bool PostgresDialect::isAlive(QSqlDatabase& db) const
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT 1")) && q.next();
}

bool PostgresDialect::begin(QSqlDatabase& db, bool sharedRecords, QString* error)
{
    if (!SqlDialect::begin(db, sharedRecords, error)) {
        return false;
    }
    // One lock for all such transactions, held until commit or rollback: they take turns, a
    // few hundred lines each, while jobs that only add records go on beside them.
    if (sharedRecords && !run(db, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSharedRecordsLock), error)) {
        db.rollback();
        return false;
    }
    return true;
}

} // namespace zb32
