// Opening the case database from a connection string, and the statement cache.
#include "core/desk/CaseDatabase.h"

#include "core/desk/DrivePath.h"
#include "core/desk/GroupWrites.h"
#include "core/desk/IniFile.h"
#include "core/desk/OdbcDialect.h"
#include "core/desk/PostgresDialect.h"
#include "core/desk/SqliteDialect.h"
#include "core/desk/SqliteStatements.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlError>
#include <QUrl>
#include <limits>
#include <utility>

Q_LOGGING_CATEGORY(lcDatabase, "zb32.database")

namespace zb32 {

namespace {

QAtomicInt s_counter;

QString describe(const QSqlError& e)
{
    return SqlDialect::describe(e);
}

} // namespace

CaseDatabase::CaseDatabase()
    : m_name(QStringLiteral("zb32-%1").arg(s_counter.fetchAndAddRelaxed(1)))
    , m_dialect(std::make_unique<SqliteDialect>())
{ }

CaseDatabase::~CaseDatabase()
{
    close();
}

QString CaseDatabase::iniPath()
{
    return resolveDrivePath(kIniPath);
}

QString CaseDatabase::configuredConnectionString(QString* missing)
{
    const QString file = iniPath();
    if (!QFileInfo(file).isFile()) {
        if (missing) {
            *missing = QStringLiteral("manca il file di configurazione %1").arg(file);
        }
        return {};
    }
    const QString text = LeggiIni(file, QStringLiteral("datiserver"), QStringLiteral("connstring"));
    if (text.isEmpty() && missing) {
        *missing
            = QStringLiteral("manca la chiave \"connstring\" della sezione [datiserver] nel file di configurazione %1")
                  .arg(file);
    }
    return text;
}

bool CaseDatabase::isOpen() const
{
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase CaseDatabase::database() const
{
    if (m_beforeUse) {
        m_beforeUse();
    }
    return QSqlDatabase::database(m_name, false);
}

void CaseDatabase::close()
{
    if (m_beforeUse) {
        m_beforeUse();
    }
    // The driver goes first: a prepared statement that outlives it ends without a word to the
    // server, where one ended before it would try to free itself on a connection that may be
    // gone. The session's end frees them all on the server anyway.
    const auto statements = std::exchange(m_statements, {});
    m_sqlite.reset(); // SQLite's own statements go before their connection, which they would keep open
    m_records.clear();
    m_inTransaction = false;
    // What the dialect held of the session (deferred checkpoints) ends with it.
    m_dialect = SqlDialect::create(m_dialect->kind());
    m_dialect->setWaitNotice(m_waitNotice);
    if (QSqlDatabase::contains(m_name)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
}

bool CaseDatabase::isAlive()
{
    QSqlDatabase db = database();
    return m_dialect->isAlive(db);
}

void CaseDatabase::setJob(const QString& job, std::function<void(const QString&)> waitNotice)
{
    m_job = job;
    m_waitNotice = std::move(waitNotice);
    m_dialect->setWaitNotice(m_waitNotice);
    if (isOpen()) {
        QSqlDatabase db = database();
        m_dialect->setJob(db, m_job);
    }
}

bool CaseDatabase::ApriDB(QString* error)
{
    const QString file = iniPath();
    QString missing;
    const QString text = configuredConnectionString(&missing);
    if (isOpen()) {
        if (isAlive()) {
            return true;
        }
        qCWarning(lcDatabase) << "connection lost, opening it again";
        close();
    }
    if (text.isEmpty()) {
        if (error) {
            *error = QStringLiteral("Impossibile aprire il database: %1").arg(missing);
        }
        return false;
    }
    QString reason;
    if (!open(text, &reason)) {
        if (error) {
            *error = QStringLiteral("Impossibile aprire il database indicato nel file di configurazione %1: %2")
                         .arg(file, reason);
        }
        return false;
    }
    return true;
}

bool CaseDatabase::open(const QString& connectionString, QString* error, bool createMissing)
{
    close();
    m_readOnly = false;
    const ConnectionString cs = ConnectionString::parse(connectionString);
    auto fail = [&](const QString& why) {
        if (error) {
            *error = why;
        }
        close();
        return false;
    };
    QSqlDatabase db;
    std::unique_ptr<SqlDialect> dialect;
    switch (cs.kind()) {
    case ConnectionString::Kind::Invalid:
        return fail(cs.errorString());
    case ConnectionString::Kind::SQLite: {
        QString path = resolveDrivePath(cs.value(QStringLiteral("Data Source")));
        const bool inMemory = path == QLatin1String(":memory:");
        if (inMemory) {
            createMissing = true; // a private database that lives as long as the connection
        } else if (QFileInfo(path).isRelative()) {
            path = QFileInfo(iniPath()).absolutePath() + QLatin1Char('/') + path;
        }
        if (!createMissing && !QFileInfo::exists(path)) {
            return fail(QStringLiteral("il database SQLite %1 non esiste (lo crea \"zb32 initdb\")").arg(path));
        }
        if (createMissing && !inMemory) {
            QDir().mkpath(QFileInfo(path).absolutePath());
        }
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        // A database on a read-only medium (a copy on a CD, a share mounted read-only) is still
        // read by the jobs that only read; those that write are told at their first write. Its
        // folder cannot be written either, so no other desk writes it: without the shared-memory
        // file a writer keeps beside it, it is opened as unchanging.
        const QFileInfo file(path);
        m_readOnly = !inMemory && file.exists() && !file.isWritable();
        const bool unchanging = m_readOnly && !QFileInfo(file.absolutePath()).isWritable()
            && !QFileInfo::exists(file.absoluteFilePath() + QStringLiteral("-shm"));
        QString options;
        if (m_readOnly) {
            QUrl uri = QUrl::fromLocalFile(file.absoluteFilePath());
            uri.setScheme(QStringLiteral("file"));
            uri.setQuery(unchanging ? QStringLiteral("immutable=1") : QStringLiteral("mode=ro"));
            db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
            options = QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
        } else {
            db.setDatabaseName(path);
        }
        // How long a writer waits for another workstation's write to end ("Busy Timeout", ms).
        bool customTimeout = false;
        const int busyMs = cs.value(QStringLiteral("Busy Timeout")).toInt(&customTimeout);
        auto sqlite = std::make_unique<SqliteDialect>(
            customTimeout && busyMs >= 0 ? busyMs : SqliteDialect::kBusyTimeoutMs, m_readOnly);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(sqlite->busyTimeoutMs()) + options);
        dialect = std::move(sqlite);
        break;
    }
    case ConnectionString::Kind::PostgreSQL: {
        // Whole seconds, named when they are not: a typing error must not become another server
        // or no limit at all.
        const auto number = [&](const QString& key, int low, int high, int fallback, bool* ok) {
            const QString text = cs.value(key).trimmed();
            *ok = true;
            if (text.isEmpty()) {
                return fallback;
            }
            const int n = text.toInt(ok);
            *ok = *ok && n >= low && n <= high;
            return n;
        };
        bool ok = true;
        const int port = number(QStringLiteral("Port"), 1, 65535, -1, &ok);
        if (!ok) {
            return fail(QStringLiteral("Port non valido: \"%1\" (un numero da 1 a 65535)")
                            .arg(cs.value(QStringLiteral("Port"))));
        }
        const int seconds = number(QStringLiteral("Timeout"), 1, 24 * 3600, PostgresDialect::kRoundTripSeconds, &ok);
        if (!ok) {
            return fail(QStringLiteral("Timeout non valido: \"%1\" (secondi, un numero intero da 1 a 86400)")
                            .arg(cs.value(QStringLiteral("Timeout"))));
        }
        const int turnMs = number(
            QStringLiteral("Busy Timeout"), 0, std::numeric_limits<int>::max(), PostgresDialect::kTurnTimeoutMs, &ok);
        if (!ok) {
            return fail(QStringLiteral("Busy Timeout non valido: \"%1\" (millisecondi)")
                            .arg(cs.value(QStringLiteral("Busy Timeout"))));
        }
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        db.setHostName(cs.value(QStringLiteral("Host")).isEmpty() ? cs.value(QStringLiteral("Server"))
                                                                  : cs.value(QStringLiteral("Host")));
        if (port > 0) {
            db.setPort(port);
        }
        db.setDatabaseName(cs.value(QStringLiteral("Database")));
        const QString user = cs.value(QStringLiteral("User ID")).isEmpty() ? cs.value(QStringLiteral("Username"))
                                                                           : cs.value(QStringLiteral("User ID"));
        db.setUserName(user);
        db.setPassword(cs.value(QStringLiteral("Password")));
        db.setConnectOptions(PostgresDialect::connectOptions(seconds));
        db.setNumericalPrecisionPolicy(QSql::HighPrecision);
        dialect = std::make_unique<PostgresDialect>(seconds, turnMs);
        break;
    }
    case ConnectionString::Kind::Jet: {
#ifdef Q_OS_WIN
        db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
        db.setDatabaseName(QStringLiteral("Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=%1;")
                               .arg(cs.value(QStringLiteral("Data Source"))));
        dialect = std::make_unique<OdbcDialect>();
        break;
#else
        return fail(QStringLiteral("il provider %1 (database Access) si usa solo su Windows; "
                                   "su questa macchina indicare Provider=SQLite o Provider=PostgreSQL")
                        .arg(cs.value(QStringLiteral("Provider"))));
#endif
    }
    case ConnectionString::Kind::Odbc:
        db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
        db.setDatabaseName(connectionString);
        dialect = std::make_unique<OdbcDialect>();
        break;
    }
    if (!db.isValid()) {
        return fail(QStringLiteral("il driver del database non è installato"));
    }
    if (!db.open()) {
        const QString why = describe(db.lastError());
        db = QSqlDatabase();
        return fail(why);
    }
    m_connectionString = connectionString;
    m_dialect = std::move(dialect);
    m_dialect->setWaitNotice(m_waitNotice);
    QString why;
    if (!m_dialect->startSession(db, &why)) {
        return fail(why);
    }
    m_dialect->setJob(db, m_job);
    return true;
}

QStringList CaseDatabase::tableNames() const
{
    return database().tables(QSql::Tables);
}

QSqlRecord CaseDatabase::tableRecord(const QString& table)
{
    const QString key = table.toLower();
    auto it = m_records.constFind(key);
    if (it != m_records.constEnd()) {
        return *it;
    }
    const QSqlDatabase db = database();
    QSqlRecord record = db.record(m_dialect->storedTableName(db, table));
    if (!record.isEmpty()) {
        m_records.insert(key, record);
    }
    return record;
}

bool CaseDatabase::sendHeldWrites(QString* error)
{
    if (!m_groupWrites || m_groupWrites->isSending() || !m_groupWrites->hasUnsent() || !m_sendHeld) {
        return true;
    }
    return m_sendHeld(error);
}

QSqlQuery* CaseDatabase::statement(const QString& sql, QString* error)
{
    // A statement sees what the lines before it wrote.
    if (!sendHeldWrites(error)) {
        return nullptr;
    }
    auto it = m_statements.constFind(sql);
    if (it != m_statements.constEnd()) {
        if (m_beforeUse) {
            m_beforeUse();
        }
        return it->get();
    }
    auto q = std::make_shared<QSqlQuery>(database());
    q->setForwardOnly(true);
    if (!q->prepare(m_dialect->translate(sql))) {
        if (error) {
            *error = describe(q->lastError());
        }
        return nullptr;
    }
    m_statements.insert(sql, q);
    return q.get();
}

SqliteStatements* CaseDatabase::sqliteStatements()
{
    if (m_beforeUse) {
        m_beforeUse();
    }
    if (!m_sqlite) {
        if (sqlite3* connection = SqliteStatements::connectionOf(database())) {
            m_sqlite = std::make_unique<SqliteStatements>(connection);
        }
    }
    return m_sqlite.get();
}

bool CaseDatabase::exec(const QString& sql, QString* error)
{
    if (!sendHeldWrites(error)) {
        return false;
    }
    QSqlDatabase db = database();
    // A connection the driver closed after losing the server runs nothing.
    if (!db.isOpen()) {
        if (error) {
            *error = SqlDialect::closedConnection();
        }
        return false;
    }
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        if (error) {
            *error = describe(q.lastError());
        }
        return false;
    }
    return true;
}

void CaseDatabase::deferCheckpoints()
{
    QSqlDatabase db = database();
    m_dialect->deferCheckpoints(db);
}

void CaseDatabase::resumeCheckpoints()
{
    QSqlDatabase db = database();
    m_dialect->resumeCheckpoints(db, m_inTransaction);
}

void CaseDatabase::setAppending(bool appending)
{
    if (!isOpen()) {
        return; // (nothing is run on a connection that is gone)
    }
    QSqlDatabase db = database();
    m_dialect->setAppending(db, appending);
}

bool CaseDatabase::beginTransaction(QString* error, bool sharedRecords)
{
    if (m_inTransaction) {
        return true;
    }
    if (m_beforeBegin) {
        m_beforeBegin();
    }
    QSqlDatabase db = database();
    if (!m_dialect->begin(db, sharedRecords, error)) {
        return false;
    }
    m_inTransaction = true;
    return true;
}

bool CaseDatabase::commit(QString* error)
{
    if (!m_inTransaction) {
        return true;
    }
    m_inTransaction = false;
    QSqlDatabase db = database();
    return m_dialect->commit(db, error);
}

bool CaseDatabase::commit(QString* error, const SqlDialect::Statement& first)
{
    if (first.isEmpty()) {
        return commit(error);
    }
    if (!m_inTransaction) {
        if (error) {
            *error = QStringLiteral("nessuna transazione da salvare");
        }
        return false;
    }
    m_inTransaction = false;
    QSqlDatabase db = database();
    return m_dialect->commitWith(db, first, error);
}

void CaseDatabase::rollback()
{
    if (m_inTransaction) {
        m_inTransaction = false;
        QSqlDatabase db = database();
        m_dialect->rollback(db);
    }
}

} // namespace zb32
