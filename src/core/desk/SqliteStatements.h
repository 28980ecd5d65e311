// SQLite's own prepared statements on the driver's connection, for the multi-row INSERTs of a
// group of writes: binding a few thousand values a statement through the Sql module costs more
// than SQLite's work on them. Values are bound as the driver binds them, so the rows stored are
// the same.
#pragma once

#include "core/desk/Schema.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zb32 {

class SqliteStatements
{
public:
    // The connection of `db` when its driver is SQLite's (nullptr otherwise).
    static sqlite3* connectionOf(const QSqlDatabase& db);

    explicit SqliteStatements(sqlite3* connection);
    ~SqliteStatements();
    SqliteStatements(const SqliteStatements&) = delete;
    SqliteStatements& operator=(const SqliteStatements&) = delete;

    // The statement of `sql`, prepared once, with nothing bound; nullptr with the error.
    sqlite3_stmt* prepared(const QString& sql, QString* error);
    // Binds parameter `pos` (from 0) as the driver would bind `value`. A text value is copied
    // only with `copyText`; otherwise `value` must outlive the run.
    static void bind(sqlite3_stmt* statement, int pos, const QVariant& value, bool copyText = false);
    static void bindInteger(sqlite3_stmt* statement, int pos, qint64 value);
    // Binds `value` as bind() does, a text as the UTF-8 SQLite stores, kept here until run() has
    // run the statement: SQLite then neither translates nor copies it. A date is bound as the
    // ISO text the case database stores.
    void bindKept(sqlite3_stmt* statement, int pos, const QVariant& value);
    // Binds UTF-8 text as it is; `text` must outlive the run.
    static void bindUtf8(sqlite3_stmt* statement, int pos, const QByteArray& text);
    // Runs the statement to its end and resets it; false with SQLite's words.
    bool run(sqlite3_stmt* statement, QString* error);
    // Runs a selection, handing each row to `row`, and resets it (what bindKept kept goes too);
    // false with SQLite's words.
    bool select(sqlite3_stmt* statement, const std::function<void(sqlite3_stmt*)>& row, QString* error);
    // A column of the current row as the driver gives it: integers as qlonglong, reals as
    // double, text, blobs, nulls.
    static QVariant columnValue(sqlite3_stmt* statement, int column);
    // columnValue as a field of `type` holds it (FieldCodec::fromStorage), the common cases
    // without the driver's value in between.
    static QVariant fieldValue(sqlite3_stmt* statement, int column, FieldType type);
    // The column names as the driver gives them (without quotes and table names).
    static QStringList columnNames(sqlite3_stmt* statement);
    // Whether the statement takes `count` values; false with the reason.
    static bool takesValues(sqlite3_stmt* statement, qsizetype count, QString* error);

private:
    // Room for `bytes` more bytes of kept text, in a block that does not move until run().
    char* keepRoom(qsizetype bytes);
    void releaseKept();

    sqlite3* m_connection;
    QHash<QString, sqlite3_stmt*> m_statements;
    std::vector<QByteArray> m_kept; // blocks of kept text; the last one is being filled
    qsizetype m_keptUsed = 0; // bytes used of the last block
};

// A selection read row by row on SQLite's own connection: the values of a row come as the
// driver gives them (integers as qlonglong, reals as double, text, blobs, nulls), without the
// driver's copy of every row into its cache.
class SqliteReader
{
public:
    SqliteReader() = default;
    ~SqliteReader();
    SqliteReader(const SqliteReader&) = delete;
    SqliteReader& operator=(const SqliteReader&) = delete;

    // Prepares `sql` and binds `values` (copied); false with SQLite's words.
    bool open(sqlite3* connection, const QString& sql, const QVariantList& values, QString* error);
    // The column names as the driver gives them (without quotes and table names).
    QStringList columns() const;
    // The next row; false at the end or on an error (error() then says which).
    bool next();
    QVariant value(int column) const;
    const QString& error() const { return m_error; }

private:
    sqlite3* m_connection = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    QString m_error;
};

} // namespace zb32
