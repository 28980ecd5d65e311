// What differs between the databases the desk reaches: names, value storage, column types,
// transactions and the session. One subclass per database, chosen when the connection opens.
#pragma once

#include "core/desk/Currency.h"
#include "core/desk/Schema.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

class QSqlError;

namespace zb32 {

class SqlDialect
{
public:
    enum class Kind { SQLite, PostgreSQL, Odbc };

    // A dialect with its defaults, for code that only translates text (tests, tools).
    static std::unique_ptr<SqlDialect> create(Kind kind);

    virtual ~SqlDialect();
    SqlDialect(const SqlDialect&) = delete;
    SqlDialect& operator=(const SqlDialect&) = delete;

    // For diagnostics and tests; the desk's code asks the dialect what it needs instead.
    virtual Kind kind() const = 0;

    // SQL written in the case database's names ("[tabella pratiche]", a leading "top N") in
    // the driver's form.
    virtual QString translate(const QString& sql) const = 0;
    // One table or field name, quoted for this driver.
    virtual QString quoteName(const QString& name) const;
    // The name under which the database knows a table of the case database.
    virtual QString storedTableName(const QSqlDatabase& db, const QString& table) const;

    // How a date and an amount are bound, and the typed null bound for an empty field of each
    // type: a driver needs the type even of a NULL to prepare the statement once.
    virtual QVariant storedDate(const QDate& date) const;
    virtual QVariant storedCurrency(const Currency& amount) const;
    virtual QVariant storedNull(FieldType type) const;

    // The column type `zb32 initdb` gives a field; whether the desk creates tables here at all.
    virtual QString columnType(const FieldDef& field) const = 0;
    virtual bool createsTables() const { return true; }

    // A new key: what an INSERT appends to hand it back (empty when the driver keeps it), and
    // reading it after the INSERT ran.
    virtual QString returningKey(const QString& keyField) const;
    virtual QVariant newKey(QSqlQuery& insert) const;

    // Savepoints: one per input line, so a failing line takes back only its own writes.
    virtual bool hasSavepoints() const { return true; }
    QString savepoint(const QString& name) const;
    QString releaseSavepoint(const QString& name) const;
    QString rollbackToSavepoint(const QString& name) const;
    // The statements that release the last line's savepoint and set the next one, in as few
    // round trips as the driver allows.
    virtual QStringList nextSavepoint(const QString& name) const;
    // Whether the statements run for every line are worth preparing once.
    virtual bool preparesLineStatements() const { return false; }
    // Whether new rows can be loaded through copyIn().
    virtual bool copiesRows() const { return false; }
    // Loads rows into `table`: `columns` are quoted names, `rows` one line a row in the text form
    // of PostgreSQL's COPY (copyValue). False with the database's words when refused or lost; the
    // connection is ready for the next statement either way.
    bool copyIn(QSqlDatabase& db, const QString& table, const QStringList& columns, const QByteArray& rows,
        QString* error) const;
    // Rows for one COPY: `columns` quoted names, `rows` in COPY's text form.
    struct CopyBlock
    {
        QString table;
        QStringList columns;
        QByteArray rows;
    };
    // Runs `leading` (none when empty) and loads every block, all in one query, so one round
    // trip: each COPY's rows go as the server asks for them. `done` counts what went through
    // before a refusal (`leading` counting as one), so the caller knows what was refused.
    virtual bool copyIn(QSqlDatabase& db, const QString& leading, const QList<CopyBlock>& blocks, qsizetype* done,
        QString* error) const;
    // The rows of a COPY as they are written: a few values a record, each straight into the
    // bytes, which grow by doubling.
    class CopyText
    {
    public:
        explicit CopyText(qsizetype reserve = 0)
            : m_bytes(reserve, Qt::Uninitialized)
        { }
        // `bytes` more bytes to write at the pointer returned; unuse() gives back what was not written.
        char* room(qsizetype bytes)
        {
            if (m_used + bytes > m_bytes.size()) {
                m_bytes.resize(std::max(2 * m_bytes.size(), m_used + bytes));
            }
            char* at = m_bytes.data() + m_used;
            m_used += bytes;
            return at;
        }
        void unuse(qsizetype bytes) { m_used -= bytes; }
        void append(char c) { *room(1) = c; }
        void append(const char* text, qsizetype size) { std::memcpy(room(size), text, size_t(size)); }
        qsizetype size() const { return m_used; }
        QByteArray take()
        {
            m_bytes.truncate(m_used);
            m_used = 0;
            return std::move(m_bytes);
        }

    private:
        QByteArray m_bytes;
        qsizetype m_used = 0;
    };
    // Appends a value, as bound to an INSERT, in COPY's text form: NULL as \N, dates as ISO dates,
    // numbers exactly, text with backslash, tab, line feed and carriage return escaped.
    static void copyValue(CopyText* out, const QVariant& value);
    static void copyValue(QByteArray* out, const QVariant& value);
    // A value that is not null in the text form PostgreSQL's input takes for its column: numbers
    // exactly, booleans t and f, dates as ISO dates, text as UTF-8.
    static QByteArray textForm(const QVariant& value);
    // Whether changes of existing rows can be sent many at once through updateRows().
    virtual bool updatesRows() const { return false; }
    // A change of one row: its key, and the fields (as record access names them) it sets to the
    // values (as bound to an UPDATE) at the same place.
    struct RowChange
    {
        qint64 key;
        const QStringList* fields;
        const QVector<QVariant>* values;
    };
    // Sets the fields of the rows of `table` whose `keyField` the changes name, in one statement;
    // each row keeps the fields its change does not name. False with the database's words when
    // refused or lost.
    virtual bool updateRows(QSqlDatabase& db, const QString& table, const QString& keyField,
        const QList<RowChange>& rows, QString* error) const;

    // The session right after the connection opened (journal, time-outs).
    virtual bool startSession(QSqlDatabase& db, QString* error);
    // The job the session works for now, for whoever looks at the server's sessions.
    virtual void setJob(QSqlDatabase& db, const QString& job);
    // Where a wait for another workstation is told while it lasts (a line of the job's log).
    void setWaitNotice(std::function<void(const QString&)> notice) { m_waitNotice = std::move(notice); }
    // Whether the server still answers; a file database always does.
    virtual bool isAlive(QSqlDatabase& db) const;
    // `sharedRecords`: see CaseDatabase::beginTransaction.
    virtual bool begin(QSqlDatabase& db, bool sharedRecords, QString* error);
    virtual bool commit(QSqlDatabase& db, QString* error);
    virtual void rollback(QSqlDatabase& db);
    // A statement to run later: its text in the driver's form, a ? for each of its values.
    struct Statement
    {
        QString sql;
        QVariantList values;
        bool isEmpty() const { return sql.isEmpty(); }
    };
    // The rows of a selection as the server sends them, as text (a null as nullptr), read on the
    // connection's own handle instead of through the driver's values.
    class TextRows
    {
    public:
        virtual ~TextRows() = default;
        virtual QStringList columns() const = 0;
        // Whether the server's type of `column` is the one the case database gives a field of
        // `type` (FieldCodec::fromServerText reads it as the driver's value of it would read).
        virtual bool holds(int column, FieldType type) const = 0;
        virtual qsizetype rowCount() const = 0;
        virtual const char* value(qsizetype row, int column, int* length) const = 0;
    };
    // Runs `select` (in the database's own names). Nullptr with the database's words when
    // refused; nullptr and no words where the database has no such way (the driver's values
    // are then read as ever).
    virtual std::unique_ptr<TextRows> selectText(QSqlDatabase& db, const Statement& select, QString* error) const
    {
        Q_UNUSED(db);
        Q_UNUSED(select);
        Q_UNUSED(error);
        return nullptr;
    }

    // Whether a statement can go with the commit in one round trip (commitWith).
    virtual bool sendsWithCommit() const { return false; }
    // Runs `first` and commits, in one round trip; when `first` is refused nothing is committed
    // and the transaction is rolled back. False with the database's words.
    virtual bool commitWith(QSqlDatabase& db, const Statement& first, QString* error);
    // A whole group sent behind the run (WriteBatch::setCommitBehind): the statements that open
    // its transaction, its COPYs and its commit with `withCommit`, on the connection's own handle,
    // while the run reads on. Nothing is sent until the one before has its answer.
    struct BehindGroup
    {
        QString opening; // run first, in the COPYs' query
        int openingStatements = 0;
        QList<CopyBlock> blocks;
        // SQLite: the group's writes, run on the other thread before the commit; false with
        // SQLite's words when refused (the transaction then stands at the group's savepoint).
        std::function<bool(QString*)> writes;
        // SQLite: run there too once the commit went through (the writes are let go).
        std::function<void()> committedWrites;
        Statement withCommit;
        // What came of it.
        qsizetype done = 0; // statements of the COPYs' query that went through
        bool copied = false;
        bool commitSent = false;
        bool committed = false;
        bool connectionLost = false;
        QString error;
    };
    // What sends `group`, to run on another thread while this one leaves the connection alone;
    // it touches nothing but the connection and the group. Empty where the database has no such
    // way, or the connection is closed.
    virtual std::function<void()> behind(QSqlDatabase& db, BehindGroup* group) const
    {
        Q_UNUSED(db);
        Q_UNUSED(group);
        return {};
    }
    // See CaseDatabase::deferCheckpoints; nothing to do where the log is not the desk's.
    virtual void deferCheckpoints(QSqlDatabase& db);
    virtual void resumeCheckpoints(QSqlDatabase& db, bool inTransaction);
    // See CaseDatabase::setAppending; nothing to do where the cache is the server's.
    virtual void setAppending(QSqlDatabase& db, bool appending);

    // The driver's error as one line a message box can show.
    static QString describe(const QSqlError& error);
    // The same for a database's own words.
    static QString describe(const QString& text);
    // Why nothing can be run on a connection the driver closed after losing the server.
    static QString closedConnection() { return QStringLiteral("connessione con il database chiusa"); }
    // Runs a statement that takes no values.
    static bool run(QSqlDatabase& db, const QString& sql, QString* error);

protected:
    SqlDialect() = default;
    void noticeWait(const QString& text) const
    {
        if (m_waitNotice) {
            m_waitNotice(text);
        }
    }

    // "SELECT top N ..." → "SELECT ... LIMIT N".
    static QString topToLimit(const QString& sql);
    // Every "[name]" outside a literal quoted by quoteName().
    QString quoteBracketedNames(const QString& sql) const;

private:
    std::function<void(const QString&)> m_waitNotice;
};

} // namespace zb32
