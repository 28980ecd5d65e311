// PostgreSQL: names folded to lower case, numeric text for amounts, one lock for the
// transactions that change shared records.
#include "core/desk/PostgresDialect.h"

#include "core/desk/JsonText.h"
#include "core/desk/RoundTripWatch.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QSqlDriver>
#include <QSqlError>
#include <QSysInfo>
#include <QThread>
#include <libpq-fe.h>

Q_LOGGING_CATEGORY(lcServer, "zb32.database.server", QtWarningMsg)

namespace zb32 {

namespace {

// The server's notices and warnings ("terminating connection due to ...") go to the log, not to
// the clerk's terminal: what they mean reaches the clerk as the job's own message.
void logNotice(void*, const char* message)
{
    qCInfo(lcServer, "%s", QByteArray(message).trimmed().constData());
}

// The server's words on a result (the connection's when there is none).
QString resultError(PGconn* conn, const PGresult* r)
{
    const QString text = QString::fromUtf8(r ? PQresultErrorMessage(r) : PQerrorMessage(conn)).simplified();
    return text.isEmpty() ? QStringLiteral("errore sconosciuto del database") : text;
}

// The driver's libpq connection.
PGconn* connectionOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt's driver hands the libpq connection out under libpq's struct name.
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0)) {
        return nullptr;
    }
    return *static_cast<PGconn* const*>(handle.constData());
}

// Runs `query` (statements, then COPYs from STDIN, as copyIn makes it) and loads each block as the
// server asks for it. `done` counts the statements that went through before a refusal. Only the
// connection is touched, so this may run on a thread other than the driver's.
bool copyOn(
    PGconn* conn, const QByteArray& query, const QList<SqlDialect::CopyBlock>& blocks, qsizetype* done, QString* error)
{
    *done = 0;
    QString why;
    const auto failed = [&](PGresult* r) {
        if (why.isEmpty()) {
            why = resultError(conn, r);
        }
    };
    // What the driver left of its last statement is read first, as PQexec does.
    while (PGresult* left = PQgetResult(conn)) {
        PQclear(left);
    }
    if (PQsendQuery(conn, query.constData()) != 1) {
        failed(nullptr);
    } else {
        qsizetype asked = 0; // the COPYs the server asked rows for
        // Every result is read, so the connection is ready again.
        while (PGresult* r = PQgetResult(conn)) {
            switch (PQresultStatus(r)) {
            case PGRES_COPY_IN: {
                const QByteArray& rows = blocks[asked++].rows;
                if (PQputCopyData(conn, rows.constData(), int(rows.size())) != 1 || PQputCopyEnd(conn, nullptr) != 1) {
                    failed(nullptr);
                }
                break;
            }
            case PGRES_COMMAND_OK:
                if (why.isEmpty()) {
                    ++*done;
                }
                break;
            default:
                failed(r);
                break;
            }
            PQclear(r);
            if (PQstatus(conn) == CONNECTION_BAD) {
                break;
            }
        }
    }
    if (!why.isEmpty()) {
        if (error) {
            *error = why;
        }
        return false;
    }
    return true;
}

// A statement as libpq takes it: $1, $2, ... for its ? and its values in the server's text form.
struct ServerStatement
{
    QByteArray sql;
    int placeholders = 0;
    QList<QByteArray> texts;
    QList<const char*> params; // into `texts`; null for a null value
};

ServerStatement serverStatement(const SqlDialect::Statement& first)
{
    // The statement's ? become $1, $2, ... (none stands inside a quoted name or text).
    QString sql;
    sql.reserve(first.sql.size() + 2 * first.values.size());
    int n = 0;
    QChar quote;
    for (const QChar c : first.sql) {
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            sql += QLatin1Char('$') + QString::number(++n);
            continue;
        }
        sql += c;
    }
    ServerStatement out;
    out.sql = sql.toUtf8();
    out.placeholders = n;
    // The values in the server's text form: the types come from where they go.
    out.texts.reserve(first.values.size());
    for (const QVariant& v : first.values) {
        out.texts << (v.isNull() ? QByteArray() : SqlDialect::textForm(v));
    }
    for (qsizetype i = 0; i < first.values.size(); ++i) {
        out.params << (first.values[i].isNull() ? nullptr : out.texts[i].constData());
    }
    return out;
}

// Runs `first` and the commit in one round trip (a pipeline with a sync). True once the server
// answered COMMIT; `sent` tells whether the commit went out at all. Only the connection is touched.
bool commitOn(PGconn* conn, const ServerStatement& first, QString* error, bool* sent = nullptr)
{
    QString why;
    const auto failed = [&](PGresult* r) {
        if (why.isEmpty()) {
            why = resultError(conn, r);
        }
    };
    // One round trip: the statement, the commit and a sync in a pipeline. A refused statement
    // makes the server skip the commit; the transaction is then rolled back.
    bool committed = false;
    // What the driver left of its last statement is read first, as libpq itself does before a
    // statement outside a pipeline.
    while (PGresult* left = PQgetResult(conn)) {
        PQclear(left);
    }
    if (first.placeholders != first.texts.size()) {
        why = QStringLiteral("parametri: %1 attesi, %2 dati").arg(first.placeholders).arg(first.texts.size());
    } else if (PQenterPipelineMode(conn) != 1) {
        failed(nullptr);
    } else {
        // A commit with no statement before it is a pipeline of one.
        const int queries = first.sql.isEmpty() ? 1 : 2;
        const bool queued = (queries == 1
                                || PQsendQueryParams(conn, first.sql.constData(), first.placeholders, nullptr,
                                       first.params.constData(), nullptr, nullptr, 0)
                                    == 1)
            && PQsendQueryParams(conn, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        if (PQpipelineSync(conn) != 1 || !queued) {
            failed(nullptr);
        } else if (sent) {
            *sent = true;
        }
        // Every result up to the sync, so the connection is ready again: each query's ends with
        // a null one; a COMMIT of a transaction gone wrong answers ROLLBACK.
        for (int query = 0; query < queries && PQstatus(conn) == CONNECTION_OK; ++query) {
            while (PGresult* r = PQgetResult(conn)) {
                if (PQresultStatus(r) != PGRES_COMMAND_OK) {
                    failed(r);
                } else if (query == queries - 1) {
                    committed = qstrcmp(PQcmdStatus(r), "COMMIT") == 0;
                }
                PQclear(r);
            }
        }
        while (PQstatus(conn) == CONNECTION_OK) {
            PGresult* r = PQgetResult(conn);
            const bool synced = !r || PQresultStatus(r) == PGRES_PIPELINE_SYNC;
            PQclear(r);
            if (synced) {
                break;
            }
        }
        PQexitPipelineMode(conn);
    }
    if (!committed || !why.isEmpty()) {
        if (error) {
            *error = why.isEmpty() ? QStringLiteral("errore sconosciuto del database") : why;
        }
        return false;
    }
    return true;
}

} // namespace

PostgresDialect::PostgresDialect(int roundTripSeconds, int turnTimeoutMs)
    : m_roundTripSeconds(roundTripSeconds)
    , m_turnTimeoutMs(turnTimeoutMs)
{ }

PostgresDialect::~PostgresDialect() = default;

QString PostgresDialect::connectOptions(int roundTripSeconds)
{
    // Idle, the connection is probed after half the limit and given up after three probes more;
    // busy, whatever is sent must be acknowledged within the limit.
    const int idle = std::max(1, roundTripSeconds / 2);
    const int interval = std::max(1, roundTripSeconds / 6);
    return QStringLiteral("connect_timeout=%1;keepalives=1;keepalives_idle=%2;keepalives_interval=%3;"
                          "keepalives_count=3;tcp_user_timeout=%4")
        .arg(std::min(10, roundTripSeconds))
        .arg(idle)
        .arg(interval)
        .arg(qint64(roundTripSeconds) * 1000);
}

QString PostgresDialect::applicationName(const QString& job)
{
    QString name = QStringLiteral("zb32 ") + QSysInfo::machineHostName();
    if (!job.isEmpty()) {
        name += QLatin1Char(' ') + job;
    }
    return name;
}

bool PostgresDialect::timedOut() const
{
    return m_watch && m_watch->tripped();
}

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
    PGconn* conn = connectionOf(db);
    // Whether a request is under way: a state word of the connection, read from the watch's
    // thread while this one may change it; it only ever decides a tie of the socket's clocks.
    m_watch = std::make_unique<RoundTripWatch>(conn ? PQsocket(conn) : -1, m_roundTripSeconds * 1000,
        [conn] { return PQtransactionStatus(conn) == PQTRANS_ACTIVE; });
    if (conn) {
        PQsetNoticeProcessor(conn, logNotice, nullptr);
    }
    if (!run(db, QStringLiteral("SET statement_timeout = %1").arg(kCommandTimeoutSeconds * 1000), error)
        || !run(db,
            QStringLiteral("SET idle_in_transaction_session_timeout = %1").arg(kIdleInTransactionSeconds * 1000),
            error)) {
        return false;
    }
    return true;
}

void PostgresDialect::setJob(QSqlDatabase& db, const QString& job)
{
    m_job = job;
    if (!db.isOpen()) {
        return;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT set_config('application_name', ?, false)"));
    q.addBindValue(applicationName(job));
    q.exec(); // a name the server will not take changes nothing of the work
}

bool PostgresDialect::isAlive(QSqlDatabase& db) const
{
    if (!db.isOpen()) {
        return false;
    }
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT 1")) && q.next();
}

bool PostgresDialect::copyIn(
    QSqlDatabase& db, const QString& leading, const QList<CopyBlock>& blocks, qsizetype* done, QString* error) const
{
    *done = 0;
    // Through the driver's own connection, inside the transaction it began; the driver has no
    // statement running meanwhile (one thread, one statement at a time).
    PGconn* conn = db.isOpen() ? connectionOf(db) : nullptr;
    if (!conn) {
        if (error) {
            *error = closedConnection();
        }
        return false;
    }
    return copyOn(conn, copyQuery(leading, blocks), blocks, done, error);
}

QByteArray PostgresDialect::copyQuery(const QString& leading, const QList<CopyBlock>& blocks) const
{
    // One query of every statement: the server runs them in turn and asks for each COPY's rows
    // when it gets there. After a refusal it skips the rest of the query.
    QStringList statements;
    if (!leading.isEmpty()) {
        statements << leading;
    }
    for (const CopyBlock& b : blocks) {
        statements
            << QStringLiteral("COPY %1 (%2) FROM STDIN").arg(quoteName(b.table), b.columns.join(QStringLiteral(", ")));
    }
    return statements.join(QStringLiteral("; ")).toUtf8();
}

namespace {

// A value as bound to an UPDATE, as JSON the server reads into the column's own type: null, a
// whole number, or the text the column's input takes.
void appendJsonColumnValue(QByteArray* out, const QVariant& value)
{
    if (value.isNull()) {
        out->append("null");
    } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong) {
        out->append(QByteArray::number(value.toLongLong()));
    } else if (value.typeId() == QMetaType::QString) {
        appendJsonText(out, *static_cast<const QString*>(value.constData()));
    } else {
        appendJsonUtf8(out, SqlDialect::textForm(value));
    }
}

} // namespace

bool PostgresDialect::updateRows(
    QSqlDatabase& db, const QString& table, const QString& keyField, const QList<RowChange>& rows, QString* error) const
{
    PGconn* conn = db.isOpen() ? connectionOf(db) : nullptr;
    if (!conn) {
        if (error) {
            *error = closedConnection();
        }
        return false;
    }
    // The rows as one JSON array of objects keyed by the columns' stored names, each with the
    // fields its change sets: the server reads each value into its column's own type (a record of
    // the table's row type), so one statement of one value sets any number of rows.
    QStringList fields; // every field some row sets, in the order they come
    QHash<QString, QByteArray> names; // their JSON names
    bool sameFields = true;
    for (const RowChange& r : rows) {
        sameFields = sameFields && *r.fields == *rows.first().fields;
        for (const QString& f : *r.fields) {
            if (!names.contains(f)) {
                QByteArray name;
                appendJsonText(&name, f.toLower());
                names.insert(f, name);
                fields << f;
            }
        }
    }
    QByteArray keyName;
    appendJsonText(&keyName, keyField.toLower());
    QByteArray json;
    json.reserve(rows.size() * 32 * (fields.size() + 1));
    json.append('[');
    for (const RowChange& r : rows) {
        json.append(json.size() == 1 ? "{" : ",{").append(keyName).append(':').append(QByteArray::number(r.key));
        for (qsizetype f = 0; f < r.fields->size(); ++f) {
            json.append(',').append(*names.constFind(r.fields->at(f))).append(':');
            appendJsonColumnValue(&json, r.values->at(f));
        }
        json.append('}');
    }
    json.append(']');
    const QString t = quoteName(table);
    const QString k = quoteName(keyField);
    QStringList sets;
    QString sql;
    if (sameFields) {
        for (const QString& f : fields) {
            sets << QStringLiteral("%1 = zb32_v.%1").arg(quoteName(f));
        }
        sql = QStringLiteral("UPDATE %1 AS zb32_t SET %2 FROM json_populate_recordset(NULL::%1, $1::json) AS zb32_v "
                             "WHERE zb32_t.%3 = zb32_v.%3")
                  .arg(t, sets.join(QStringLiteral(", ")), k);
    } else {
        // A field a row's change does not name keeps its value (the key test reads the object
        // itself: a field set to null is named with a null).
        for (const QString& f : fields) {
            QString literal = f.toLower();
            literal.replace(QLatin1Char('\''), QLatin1String("''"));
            sets << QStringLiteral("%1 = CASE WHEN zb32_v.j ? '%2' THEN (zb32_v.r).%1 ELSE zb32_t.%1 END")
                        .arg(quoteName(f), literal);
        }
        // OFFSET 0 keeps the record made once a row, however many fields read it.
        sql = QStringLiteral(
            "UPDATE %1 AS zb32_t SET %2 FROM (SELECT e AS j, jsonb_populate_record(NULL::%1, e) AS r "
            "FROM jsonb_array_elements($1::jsonb) AS e OFFSET 0) AS zb32_v WHERE zb32_t.%3 = (zb32_v.r).%3")
                  .arg(t, sets.join(QStringLiteral(", ")), k);
    }
    const QByteArray text = sql.toUtf8();
    const char* params[] = { json.constData() };
    PGresult* r = PQexecParams(conn, text.constData(), 1, nullptr, params, nullptr, nullptr, 0);
    const bool ok = r && PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok && error) {
        *error = resultError(conn, r);
    }
    PQclear(r);
    return ok;
}

namespace {

// A result's rows, kept until the set has read them.
class ServerTextRows : public SqlDialect::TextRows
{
public:
    explicit ServerTextRows(PGresult* result)
        : m_result(result)
    { }
    ~ServerTextRows() override { PQclear(m_result); }
    ServerTextRows(const ServerTextRows&) = delete;
    ServerTextRows& operator=(const ServerTextRows&) = delete;

    QStringList columns() const override
    {
        QStringList names;
        for (int i = 0; i < PQnfields(m_result); ++i) {
            names << QString::fromUtf8(PQfname(m_result, i));
        }
        return names;
    }
    bool holds(int column, FieldType type) const override
    {
        // The server's type numbers (pg_type): what the case database makes each field.
        constexpr Oid kInt2 = 21, kInt4 = 23, kInt8 = 20, kText = 25, kVarchar = 1043, kBpchar = 1042, kDate = 1082,
                      kNumeric = 1700;
        const Oid oid = PQftype(m_result, column);
        switch (type) {
        case FieldType::Key:
        case FieldType::Integer:
            return oid == kInt2 || oid == kInt4 || oid == kInt8;
        case FieldType::Text:
        case FieldType::Memo:
            return oid == kText || oid == kVarchar || oid == kBpchar;
        case FieldType::Date:
            return oid == kDate;
        case FieldType::Currency:
            return oid == kNumeric;
        case FieldType::Double:
            return false; // read through the driver (its infinities and not-a-numbers)
        }
        return false;
    }
    qsizetype rowCount() const override { return PQntuples(m_result); }
    const char* value(qsizetype row, int column, int* length) const override
    {
        if (PQgetisnull(m_result, int(row), column)) {
            *length = 0;
            return nullptr;
        }
        *length = PQgetlength(m_result, int(row), column);
        return PQgetvalue(m_result, int(row), column);
    }

private:
    PGresult* m_result;
};

} // namespace

std::unique_ptr<SqlDialect::TextRows> PostgresDialect::selectText(
    QSqlDatabase& db, const Statement& select, QString* error) const
{
    PGconn* conn = db.isOpen() ? connectionOf(db) : nullptr;
    // The driver reads text as UTF-8 only on a UTF-8 session; elsewhere it reads on.
    static const int kUtf8 = pg_char_to_encoding("UTF8");
    const ServerStatement s = serverStatement(select);
    if (!conn || PQclientEncoding(conn) != kUtf8 || s.placeholders != s.texts.size()) {
        return nullptr;
    }
    // What the driver left of its last statement is read first, as PQexec does.
    while (PGresult* left = PQgetResult(conn)) {
        PQclear(left);
    }
    PGresult* r
        = PQexecParams(conn, s.sql.constData(), s.placeholders, nullptr, s.params.constData(), nullptr, nullptr, 0);
    if (!r || PQresultStatus(r) != PGRES_TUPLES_OK) {
        if (error) {
            *error = resultError(conn, r);
        }
        PQclear(r);
        return nullptr;
    }
    return std::make_unique<ServerTextRows>(r);
}

bool PostgresDialect::commitWith(QSqlDatabase& db, const Statement& first, QString* error)
{
    PGconn* conn = db.isOpen() ? connectionOf(db) : nullptr;
    if (!conn) {
        if (error) {
            *error = closedConnection();
        }
        return false;
    }
    if (!commitOn(conn, serverStatement(first), error)) {
        rollback(db);
        return false;
    }
    return true;
}

std::function<void()> PostgresDialect::behind(QSqlDatabase& db, BehindGroup* group) const
{
    PGconn* conn = db.isOpen() ? connectionOf(db) : nullptr;
    if (!conn) {
        return {};
    }
    // Everything the other thread needs is made here: it touches the connection and the group only.
    auto query = std::make_shared<const QByteArray>(copyQuery(group->opening, group->blocks));
    auto commit = std::make_shared<const ServerStatement>(serverStatement(group->withCommit));
    return [conn, group, query, commit] {
        group->copied = copyOn(conn, *query, group->blocks, &group->done, &group->error);
        group->committed = group->copied && commitOn(conn, *commit, &group->error, &group->commitSent);
        group->connectionLost = PQstatus(conn) == CONNECTION_BAD;
    };
}

bool PostgresDialect::begin(QSqlDatabase& db, bool sharedRecords, QString* error)
{
    if (!SqlDialect::begin(db, sharedRecords, error)) {
        return false;
    }
    // One lock for all such transactions, held until commit or rollback: they take turns, a
    // few hundred lines each, while jobs that only add records go on beside them.
    if (sharedRecords && !takeTurn(db, error)) {
        rollback(db);
        return false;
    }
    return true;
}

bool PostgresDialect::takeTurn(QSqlDatabase& db, QString* error)
{
    // Waited for in the server's queue a moment at a time, so a desk that commits and asks again
    // at once cannot overtake one already waiting; between the moments the wait is told, and it
    // ends as on SQLite, when one and the same transaction of another workstation kept the turn
    // for a whole time-out (a desk that hangs inside its group). A turn nobody holds or waits
    // for is taken at once, in one round trip (a request that would overtake a waiting one is
    // refused by the server as a conflict).
    {
        QSqlQuery free(db);
        if (!free.exec(QStringLiteral("SELECT pg_try_advisory_xact_lock(%1)").arg(kSharedRecordsLock))) {
            if (error) {
                *error = describe(free.lastError());
            }
            return false;
        }
        if (free.next() && free.value(0).toBool()) {
            return true;
        }
    }
    QSqlQuery take(db);
    take.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
    QSqlQuery holder(db);
    holder.prepare(
        QStringLiteral("SELECT a.pid, a.application_name, host(a.client_addr), a.xact_start, a.state FROM pg_locks l "
                       "JOIN pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = 'advisory' AND l.granted "
                       "AND l.classid::bigint = ? AND l.objid::bigint = ? AND l.objsubid = 1 LIMIT 1"));
    QString heldBy;
    QElapsedTimer sameHolder;
    if (!run(db, QStringLiteral("SET LOCAL lock_timeout = 50"), error)) {
        return false;
    }
    for (;;) {
        if (!run(db, QStringLiteral("SAVEPOINT zb32_turn"), error)) {
            return false;
        }
        take.addBindValue(kSharedRecordsLock);
        if (take.exec()) {
            take.finish();
            return run(db, QStringLiteral("RELEASE SAVEPOINT zb32_turn"), error)
                && run(db, QStringLiteral("SET LOCAL lock_timeout = 0"), error);
        }
        // 55P03: the moment passed with the turn still held; anything else is an error.
        const QSqlError failed = take.lastError();
        take.finish();
        if (!run(db, QStringLiteral("ROLLBACK TO SAVEPOINT zb32_turn"), error)) {
            return false;
        }
        if (failed.nativeErrorCode() != QLatin1String("55P03")) {
            if (error) {
                *error = describe(failed);
            }
            return false;
        }
        holder.addBindValue(qint64(quint64(kSharedRecordsLock) >> 32));
        holder.addBindValue(qint64(quint64(kSharedRecordsLock) & 0xffffffffU));
        QString who;
        QString since;
        QDateTime start;
        // The server keeps what a transaction saw of the other sessions until it ends; this one
        // has begun, so it asks for a fresh look every time.
        run(db, QStringLiteral("SELECT pg_stat_clear_snapshot()"), nullptr);
        if (holder.exec() && holder.next()) {
            who = holder.value(1).toString();
            if (who.isEmpty()) {
                who = QStringLiteral("un'altra postazione (%1)").arg(holder.value(2).toString());
            }
            start = holder.value(3).toDateTime();
            since = start.toLocalTime().toString(QStringLiteral("HH:mm:ss"));
            who = QStringLiteral("%1, processo %2").arg(who, holder.value(0).toString());
        }
        holder.finish();
        // Each commit of the holder begins another transaction: another start, another turn.
        const QString turn = who + QLatin1Char('@') + start.toString(Qt::ISODateWithMs);
        if (turn != heldBy) {
            heldBy = turn;
            sameHolder.start();
            if (!who.isEmpty()) {
                noticeWait(QStringLiteral("In attesa del turno di scrittura: lo tiene %1 (dalle %2)").arg(who, since));
            }
        } else if (sameHolder.elapsed() >= m_turnTimeoutMs) {
            if (error) {
                *error = QStringLiteral("turno di scrittura occupato da %1 dalle %2: dopo %3 ms di attesa senza "
                                        "che salvasse nulla non è stato possibile scrivere")
                             .arg(who, since)
                             .arg(m_turnTimeoutMs);
            }
            return false;
        }
    }
}

} // namespace zb32
