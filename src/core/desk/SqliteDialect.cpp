// SQLite: ISO date text, the write lock taken at BEGIN, and checkpoints held back during a run.
#include "core/desk/SqliteDialect.h"

#include "core/desk/Formats.h"
#include "core/desk/SqliteStatements.h"

#include <QSqlError>
#include <sqlite3.h>

namespace zb32 {

SqliteDialect::SqliteDialect(int busyTimeoutMs, bool readOnly)
    : m_busyTimeoutMs(busyTimeoutMs)
    , m_readOnly(readOnly)
{
    // Set before the process's first connection starts the library (and refused after it):
    // SQLite's count of its own memory takes a lock at every allocation and release, and the
    // desk sets no limit on that memory, so nothing reads the count.
    static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    Q_UNUSED(configured);
}

QString SqliteDialect::translate(const QString& sql) const
{
    return topToLimit(sql);
}

QVariant SqliteDialect::storedDate(const QDate& date) const
{
    if (!date.isValid()) {
        return isoDate(date);
    }
    const qint64 day = date.toJulianDay();
    StoredDate& stored = m_storedDates[quint64(day) % m_storedDates.size()];
    if (stored.day != day) {
        stored = { day, isoDate(date) };
    }
    return stored.text;
}

QVariant SqliteDialect::storedNull(FieldType type) const
{
    return type == FieldType::Date ? QVariant(QMetaType::fromType<QString>()) : SqlDialect::storedNull(type);
}

QString SqliteDialect::columnType(const FieldDef& field) const
{
    switch (field.type) {
    case FieldType::Key:
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case FieldType::Text:
    case FieldType::Memo:
        return QStringLiteral("TEXT");
    case FieldType::Date:
        return QStringLiteral("DATE");
    case FieldType::Currency:
        return QStringLiteral("CURRENCY");
    case FieldType::Integer:
        return QStringLiteral("INTEGER");
    case FieldType::Double:
        return QStringLiteral("REAL");
    }
    return {};
}

QStringList SqliteDialect::nextSavepoint(const QString& name) const
{
    // Two prepared statements cost less than one text that is parsed again every line.
    return { releaseSavepoint(name), savepoint(name) };
}

bool SqliteDialect::startSession(QSqlDatabase& db, QString* error)
{
    if (db.databaseName() == QLatin1String(":memory:")) {
        return true;
    }
    if (m_readOnly) {
        return run(db, QStringLiteral("PRAGMA cache_size=-%1").arg(kCacheKib), error);
    }
    // SQLite's default page cache is 2 MB: a job that reads cases all over the table would read
    // most pages again from the file. The cache only holds pages; it changes no result.
    return run(db, QStringLiteral("PRAGMA journal_mode=WAL"), error)
        && run(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error)
        && run(db, QStringLiteral("PRAGMA cache_size=-%1").arg(kCacheKib), error);
}

qint64 SqliteDialect::dataVersion(QSqlDatabase& db)
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("PRAGMA data_version")) && q.next() ? q.value(0).toLongLong() : -1;
}

bool SqliteDialect::begin(QSqlDatabase& db, bool, QString* error)
{
    // The write lock is taken at once, so two writers queue on the busy time-out instead of one
    // failing when its read turns into a write. Another desk's job takes the lock again right
    // after each commit, so a desk waiting for it seldom finds it free, and one busy time-out
    // can pass while that job is doing fine. The desk keeps waiting as long as the other one
    // commits; it gives up when the file stayed locked for a whole busy time-out with nothing
    // committed (a desk stuck in a transaction).
    static const QString kSqliteBusy = QString::number(5);
    if (m_checkpointsDeferred) {
        // The safety level cannot change inside a transaction: it is set as the transaction opens.
        const bool sync = !m_sinceSync.isValid() || m_sinceSync.elapsed() >= kLogSyncMs;
        if (sync != m_syncsCommit
            && run(db, sync ? QStringLiteral("PRAGMA synchronous=FULL") : QStringLiteral("PRAGMA synchronous=NORMAL"),
                nullptr)) {
            m_syncsCommit = sync;
        }
    }
    qint64 seen = dataVersion(db);
    for (;;) {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            return true;
        }
        const qint64 now = q.lastError().nativeErrorCode() == kSqliteBusy ? dataVersion(db) : -1;
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

bool SqliteDialect::commit(QSqlDatabase& db, QString* error)
{
    if (!run(db, QStringLiteral("COMMIT"), error)) {
        run(db, QStringLiteral("ROLLBACK"), nullptr);
        return false;
    }
    if (m_syncsCommit) {
        m_sinceSync.start();
    }
    m_logUnsynced = m_checkpointsDeferred && !m_syncsCommit;
    return true;
}

std::function<void()> SqliteDialect::behind(QSqlDatabase& db, BehindGroup* group) const
{
    sqlite3* connection = SqliteStatements::connectionOf(db);
    if (!connection || !group->writes) {
        return {};
    }
    return [connection, group] {
        group->copied = group->writes(&group->error);
        if (!group->copied) {
            return;
        }
        group->commitSent = true;
        char* words = nullptr;
        if (sqlite3_exec(connection, "COMMIT", nullptr, nullptr, &words) == SQLITE_OK) {
            group->committed = true;
            return;
        }
        group->error = describe(words ? QString::fromUtf8(words) : QString::fromUtf8(sqlite3_errmsg(connection)));
        sqlite3_free(words);
        sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
    };
}

void SqliteDialect::rollback(QSqlDatabase& db)
{
    run(db, QStringLiteral("ROLLBACK"), nullptr);
}

void SqliteDialect::deferCheckpoints(QSqlDatabase& db)
{
    if (m_checkpointsDeferred) {
        return;
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA wal_autocheckpoint")) || !q.next()) {
        return; // the setting cannot be read, so it is left alone
    }
    m_autoCheckpointPages = q.value(0).toInt();
    q.finish();
    // Checkpoints no longer sync the log every few commits, so the commits do it themselves, once
    // a second: a sync at every commit (two hundred for 100,000 records) cost about a quarter of
    // the run. The first commit syncs.
    m_checkpointsDeferred
        = run(db, QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kDeferredCheckpointPages), nullptr)
        && run(db, QStringLiteral("PRAGMA synchronous=FULL"), nullptr);
    m_syncsCommit = true;
    m_sinceSync.invalidate();
    // A group's savepoint keeps the earlier content of each page the group changes. Beyond 64 KiB
    // SQLite moves it into a temporary file, made, written and deleted group after group; a
    // group of confirmations changes a few hundred pages, so in memory it stays within a few MB.
    // Temporary tables would go there too; the jobs make none.
    if (m_checkpointsDeferred) {
        run(db, QStringLiteral("PRAGMA temp_store=MEMORY"), nullptr);
    }
}

void SqliteDialect::resumeCheckpoints(QSqlDatabase& db, bool inTransaction)
{
    if (!m_checkpointsDeferred) {
        return;
    }
    m_checkpointsDeferred = false;
    m_syncsCommit = false;
    if (m_logUnsynced) {
        // The last commits of the run are synced now, whether the checkpoint below copies
        // anything or not (another desk still reading the older pages keeps it from it).
        m_logUnsynced = false;
        sqlite3_file* log = nullptr;
        sqlite3* connection = SqliteStatements::connectionOf(db);
        if (connection && sqlite3_file_control(connection, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) == SQLITE_OK
            && log && log->pMethods) {
            log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
        }
    }
    run(db, QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(m_autoCheckpointPages), nullptr);
    run(db, QStringLiteral("PRAGMA synchronous=NORMAL"), nullptr);
    run(db, QStringLiteral("PRAGMA temp_store=DEFAULT"), nullptr);
    if (!inTransaction) {
        // Passive: it copies what no other desk is still reading and never waits for a lock.
        run(db, QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"), nullptr);
    }
}

} // namespace zb32
