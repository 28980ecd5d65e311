// Opening the case database from a connection string, and the statement cache.
#include "core/desk/CaseDatabase.h"

#include "core/desk/DrivePath.h"
#include "core/desk/IniFile.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlError>

Q_LOGGING_CATEGORY(lcDatabase, "zb32.database")

namespace zb32 {

namespace {

QAtomicInt s_counter;

QString describe(const QSqlError& e)
{
    // The drivers' texts run over several indented lines; a message box shows them as one.
    QString text = e.text().simplified();
    return text.isEmpty() ? QStringLiteral("errore sconosciuto del database") : text;
}

} // namespace

CaseDatabase::CaseDatabase()
    : m_name(QStringLiteral("zb32-%1").arg(s_counter.fetchAndAddRelaxed(1)))
{ }

CaseDatabase::~CaseDatabase()
{
    close();
}

QString CaseDatabase::iniPath()
{
    return resolveDrivePath(kIniPath);
}

bool CaseDatabase::isOpen() const
{
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase CaseDatabase::database() const
{
    return QSqlDatabase::database(m_name, false);
}

void CaseDatabase::close()
{
    m_statements.clear();
    m_records.clear();
    m_inTransaction = false;
    m_checkpointsDeferred = false;
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
    if (m_dialect.kind() != SqlDialect::Kind::PostgreSQL) {
        return true;
    }
    QSqlQuery q(database());
    return q.exec(QStringLiteral("SELECT 1")) && q.next();
}

bool CaseDatabase::ApriDB(QString* error)
{
    const QString file = iniPath();
    const QString text = LeggiIni(file, QStringLiteral("datiserver"), QStringLiteral("connstring"));
    if (isOpen()) {
        if (isAlive()) {
            return true;
        }
        qCWarning(lcDatabase) << "connection lost, opening it again";
        close();
    }
    if (text.isEmpty()) {
        if (error) {
            *error = QStringLiteral("Impossibile aprire il database: manca la chiave \"connstring\" della sezione "
                                    "[datiserver] nel file di configurazione %1")
                         .arg(file);
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
    const ConnectionString cs = ConnectionString::parse(connectionString);
    auto fail = [&](const QString& why) {
        if (error) {
            *error = why;
        }
        close();
        return false;
    };
    QSqlDatabase db;
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
        db.setDatabaseName(path);
        // How long a writer waits for another workstation's write to end ("Busy Timeout", ms).
        bool customTimeout = false;
        const int busyMs = cs.value(QStringLiteral("Busy Timeout")).toInt(&customTimeout);
        m_busyTimeoutMs = customTimeout && busyMs >= 0 ? busyMs : kBusyTimeoutMs;
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
        m_dialect = SqlDialect(SqlDialect::Kind::SQLite);
        break;
    }
    case ConnectionString::Kind::PostgreSQL: {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        db.setHostName(cs.value(QStringLiteral("Host")).isEmpty() ? cs.value(QStringLiteral("Server"))
                                                                  : cs.value(QStringLiteral("Host")));
        const QString port = cs.value(QStringLiteral("Port"));
        if (!port.isEmpty()) {
            db.setPort(port.toInt());
        }
        db.setDatabaseName(cs.value(QStringLiteral("Database")));
        const QString user = cs.value(QStringLiteral("User ID")).isEmpty() ? cs.value(QStringLiteral("Username"))
                                                                           : cs.value(QStringLiteral("User ID"));
        db.setUserName(user);
        db.setPassword(cs.value(QStringLiteral("Password")));
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
        db.setNumericalPrecisionPolicy(QSql::HighPrecision);
        m_dialect = SqlDialect(SqlDialect::Kind::PostgreSQL);
        break;
    }
    case ConnectionString::Kind::Jet: {
#ifdef Q_OS_WIN
        db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
        db.setDatabaseName(QStringLiteral("Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=%1;")
                               .arg(cs.value(QStringLiteral("Data Source"))));
        m_dialect = SqlDialect(SqlDialect::Kind::Access);
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
        m_dialect = SqlDialect(SqlDialect::Kind::Access);
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
    QString why;
    if (m_dialect.kind() == SqlDialect::Kind::SQLite && db.databaseName() != QLatin1String(":memory:")) {
        if (!exec(QStringLiteral("PRAGMA journal_mode=WAL"), &why)
            || !exec(QStringLiteral("PRAGMA synchronous=NORMAL"), &why)) {
            return fail(why);
        }
        // SQLite's default page cache is 2 MB: a job that reads cases all over the table would read
        // most pages again from the file. The cache only holds pages; it changes no result.
        if (!exec(QStringLiteral("PRAGMA cache_size=-%1").arg(kSqliteCacheKib), &why)) {
            return fail(why);
        }
    } else if (m_dialect.kind() == SqlDialect::Kind::PostgreSQL) {
        if (!exec(QStringLiteral("SET statement_timeout = %1").arg(kCommandTimeoutSeconds * 1000), &why)) {
            return fail(why);
        }
    }
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
    QString name = table;
    if (m_dialect.kind() == SqlDialect::Kind::PostgreSQL) {
        name = table.toLower();
    } else {
        for (const QString& t : tableNames()) {
            if (t.compare(table, Qt::CaseInsensitive) == 0) {
                name = t;
                break;
            }
        }
    }
    QSqlRecord record = database().record(name);
    if (!record.isEmpty()) {
        m_records.insert(key, record);
    }
    return record;
}

QSqlQuery* CaseDatabase::statement(const QString& sql, QString* error)
{
    auto it = m_statements.constFind(sql);
    if (it != m_statements.constEnd()) {
        return it->get();
    }
    auto q = std::make_shared<QSqlQuery>(database());
    q->setForwardOnly(true);
    if (!q->prepare(m_dialect.translate(sql))) {
        if (error) {
            *error = describe(q->lastError());
        }
        return nullptr;
    }
    m_statements.insert(sql, q);
    return q.get();
}

bool CaseDatabase::exec(const QString& sql, QString* error)
{
    QSqlQuery q(database());
    if (!q.exec(sql)) {
        if (error) {
            *error = describe(q.lastError());
        }
        return false;
    }
    return true;
}

qint64 CaseDatabase::dataVersion()
{
    QSqlQuery q(database());
    return q.exec(QStringLiteral("PRAGMA data_version")) && q.next() ? q.value(0).toLongLong() : -1;
}

void CaseDatabase::deferCheckpoints()
{
    if (m_dialect.kind() != SqlDialect::Kind::SQLite || m_checkpointsDeferred) {
        return;
    }
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("PRAGMA wal_autocheckpoint")) || !q.next()) {
        return; // the setting cannot be read, so it is left alone
    }
    m_autoCheckpointPages = q.value(0).toInt();
    q.finish();
    // Each commit syncs the log itself, since checkpoints no longer do it every other commit.
    m_checkpointsDeferred = exec(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kDeferredCheckpointPages), nullptr)
        && exec(QStringLiteral("PRAGMA synchronous=FULL"), nullptr);
}

void CaseDatabase::resumeCheckpoints()
{
    if (!m_checkpointsDeferred) {
        return;
    }
    m_checkpointsDeferred = false;
    exec(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(m_autoCheckpointPages), nullptr);
    exec(QStringLiteral("PRAGMA synchronous=NORMAL"), nullptr);
    if (!m_inTransaction) {
        // Passive: it copies what no other desk is still reading and never waits for a lock.
        exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"), nullptr);
    }
}

bool CaseDatabase::beginImmediate(QString* error)
{
    // Another desk's job takes the write lock again right after each commit, so a desk waiting
    // for it seldom finds it free, and one busy time-out can pass while that job is doing fine.
    // The desk keeps waiting as long as the other one commits; it gives up when the file stayed
    // locked for a whole busy time-out with nothing committed (a desk stuck in a transaction).
    static const QString kSqliteBusy = QString::number(5);
    qint64 seen = dataVersion();
    for (;;) {
        QSqlQuery q(database());
        if (q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            return true;
        }
        const qint64 now = q.lastError().nativeErrorCode() == kSqliteBusy ? dataVersion() : -1;
        if (now < 0 || now == seen) {
            if (error) {
                *error = describe(q.lastError());
                if (now >= 0) {
                    // SQLITE_BUSY: another process kept its write lock for the whole busy time-out.
                    *error = QStringLiteral("database occupato da un'altra postazione: dopo %1 ms di attesa "
                                            "non è stato possibile scrivere (%2)")
                                 .arg(m_busyTimeoutMs)
                                 .arg(*error);
                }
            }
            return false;
        }
        seen = now;
    }
}

bool CaseDatabase::beginTransaction(QString* error, bool sharedRecords)
{
    if (m_inTransaction) {
        return true;
    }
    // SQLite takes the write lock at once, so two writers queue on the busy time-out instead
    // of one failing when its read turns into a write.
    if (m_dialect.kind() == SqlDialect::Kind::SQLite) {
        if (!beginImmediate(error)) {
            return false;
        }
    } else if (!database().transaction()) {
        if (error) {
            *error = describe(database().lastError());
        }
        return false;
    } else if (sharedRecords && m_dialect.kind() == SqlDialect::Kind::PostgreSQL) {
        // One lock for all such transactions, held until commit or rollback: they take turns, a
        // few hundred lines each, while jobs that only add records go on beside them.
        if (!exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSharedRecordsLock), error)) {
            database().rollback();
            return false;
        }
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
    if (m_dialect.kind() == SqlDialect::Kind::SQLite) {
        if (!exec(QStringLiteral("COMMIT"), error)) {
            exec(QStringLiteral("ROLLBACK"), nullptr);
            return false;
        }
        return true;
    }
    if (!database().commit()) {
        if (error) {
            *error = describe(database().lastError());
        }
        database().rollback();
        return false;
    }
    return true;
}

void CaseDatabase::rollback()
{
    if (m_inTransaction) {
        m_inTransaction = false;
        if (m_dialect.kind() == SqlDialect::Kind::SQLite) {
            exec(QStringLiteral("ROLLBACK"), nullptr);
        } else {
            database().rollback();
        }
    }
}

} // namespace zb32
