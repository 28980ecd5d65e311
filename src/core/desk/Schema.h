// The four tables of the case database that the jobs read and write, and their creation.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace zb32 {

class CaseDatabase;

enum class FieldType { Key, Text, Memo, Date, Currency, Integer, Double };

struct FieldDef
{
    QString name;
    FieldType type;
    int length = 0; // text fields
};

struct TableDef
{
    QString name;
    QString key; // auto-numbered key
    QList<FieldDef> fields;
};

namespace Schema {

inline const QString kCases = QStringLiteral("tabella pratiche");
inline const QString kInvoices = QStringLiteral("tabella fatture");
inline const QString kPayments = QStringLiteral("tabella pagamenti");
inline const QString kRates = QStringLiteral("Aliquote");
// The desk's own register of import runs, and of the records each run wrote.
inline const QString kImportRuns = QStringLiteral("tabella importazioni");
inline const QString kImportRecords = QStringLiteral("tabella importazioni record");

// The four tables the desk shares with the collection system.
const QList<TableDef>& tables();
// The register's two tables, the desk's own.
const QList<TableDef>& registerTables();
// The table of that name (without regard to case), or nullptr.
const TableDef* table(const QString& name);
// The field of that table (without regard to case), or nullptr.
const FieldDef* field(const TableDef& table, const QString& name);

// Creates the tables (the shared ones and the register's) and indexes that are missing; never
// drops or alters what exists.
bool create(CaseDatabase& db, QString* error);
// The columns the desk writes that an existing shared table lacks, as "table.column" (the
// register's own tables get theirs added).
QStringList missingColumns(CaseDatabase& db);
// Creates the register's tables where missing (the first job on a database of the collection
// system, which has none); the shared tables are left as they are.
bool createRegister(CaseDatabase& db, QString* error);

} // namespace Schema

} // namespace zb32
