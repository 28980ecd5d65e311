// SQLite: ISO date text, the write lock taken at BEGIN, and checkpoints held back during a run.
#include "core/desk/SqliteDialect.h"

#include "core/desk/Formats.h"
#include "core/desk/Platform.h"
#include "core/desk/SqliteLogWrites.h"
#include "core/desk/SqliteStatements.h"

#include <QSqlError>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <sqlite3.h>
#include <thread>
#include <utility>

namespace zb32 {

// While checkpoints are deferred, the log is synced on a thread of its own: a second of a run's
// commits takes the kernel a tenth of a second or more to write out, and the desk goes on with
// the next group meanwhile. A sync writes out everything written to the log before it, so one
// begun at most kLogSyncMs after the last, as soon as anything was committed since, keeps every
// commit within about a second of the disk. The log is synced through a descriptor of its own:
// nothing of SQLite's connection is touched from the thread.
class SqliteDialect::LogSync
{
public:
    static std::unique_ptr<LogSync> open(const QString& logPath)
    {
        const qintptr file = openToSync(logPath);
        return file < 0 ? nullptr : std::unique_ptr<LogSync>(new LogSync(file));
    }
    ~LogSync()
    {
        finish();
        closeSynced(m_file);
    }
    LogSync(const LogSync&) = delete;
    LogSync& operator=(const LogSync&) = delete;

    void committed()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_unsynced = true;
        }
        m_wake.notify_one();
    }
    // The first error a sync had, in the system's words; empty while none failed.
    QString failure() const
    {
        const std::lock_guard lock(m_mutex);
        return m_error ? QString::fromLocal8Bit(std::strerror(m_error)) : QString();
    }
    int syncs() const
    {
        const std::lock_guard lock(m_mutex);
        return m_syncs;
    }
    void failWith(int error) { m_failWith = error; }
    // Stops the thread, and syncs on the calling thread what was committed since its last sync.
    // The count of all its syncs.
    int finish()
    {
        if (m_thread.joinable()) {
            {
                const std::lock_guard lock(m_mutex);
                m_stop = true;
            }
            m_wake.notify_one();
            m_thread.join();
            std::unique_lock lock(m_mutex);
            if (std::exchange(m_unsynced, false)) {
                lock.unlock();
                note(syncToDisk(m_file));
            }
        }
        return syncs();
    }

private:
    explicit LogSync(qintptr file)
        : m_file(file)
        , m_thread([this] { loop(); })
    { }

    void loop()
    {
        using Clock = std::chrono::steady_clock;
        std::unique_lock lock(m_mutex);
        Clock::time_point due = Clock::now(); // the first commit is synced at once
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || m_unsynced; });
            if (m_wake.wait_until(lock, due, [this] { return m_stop; })) {
                return;
            }
            m_unsynced = false;
            due = Clock::now() + std::chrono::milliseconds(kLogSyncMs);
            lock.unlock();
            const int error = m_failWith ? m_failWith.load() : syncToDisk(m_file);
            lock.lock();
            noteLocked(error);
        }
    }
    void note(int error)
    {
        const std::lock_guard lock(m_mutex);
        noteLocked(error);
    }
    void noteLocked(int error)
    {
        ++m_syncs;
        if (!m_error) {
            m_error = error;
        }
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_unsynced = false; // something was committed since the last sync began
    bool m_stop = false;
    int m_syncs = 0;
    int m_error = 0;
    std::atomic<int> m_failWith { 0 }; // tests: what every sync on the thread reports instead
    const qintptr m_file;
    std::thread m_thread; // last: it starts once the rest is set
};

SqliteDialect::SqliteDialect(int busyTimeoutMs, bool readOnly)
    : m_busyTimeoutMs(busyTimeoutMs)
    , m_readOnly(readOnly)
{
    // Set before the process's first connection starts the library (and refused after it):
    // SQLite's count of its own memory takes a lock at every allocation and release, and the
    // desk sets no limit on that memory, so nothing reads the count.
    static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    Q_UNUSED(configured);
    // (After the setting above: finding the platform's VFS starts the library.)
    installSqliteLogWrites();
}

SqliteDialect::~SqliteDialect() = default;

int SqliteDialect::logSyncs() const
{
    return m_logSyncs + (m_logSync ? m_logSync->syncs() : 0);
}

void SqliteDialect::failLogSyncs(int error) const
{
    if (m_logSync) {
        m_logSync->failWith(error);
    }
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
    if (m_logSync) {
        const QString failure = m_logSync->failure();
        if (!failure.isEmpty()) {
            // The groups already committed may not be on the disk: nothing more is written on them.
            if (error) {
                *error
                    = QStringLiteral("il disco non ha confermato le ultime scritture del database (%1)").arg(failure);
            }
            return false;
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
    if (m_logSync) {
        m_logSync->committed();
    }
    return true;
}

std::function<void()> SqliteDialect::behind(QSqlDatabase& db, BehindGroup* group) const
{
    sqlite3* connection = SqliteStatements::connectionOf(db);
    if (!connection || !group->writes) {
        return {};
    }
    LogSync* logSync = m_logSync.get();
    return [connection, group, logSync] {
        group->copied = group->writes(&group->error);
        if (!group->copied) {
            return;
        }
        group->commitSent = true;
        char* words = nullptr;
        if (sqlite3_exec(connection, "COMMIT", nullptr, nullptr, &words) == SQLITE_OK) {
            if (logSync) {
                logSync->committed();
            }
            if (group->committedWrites) {
                group->committedWrites();
            }
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
    if (m_logSync) {
        return;
    }
    sqlite3* connection = SqliteStatements::connectionOf(db);
    QSqlQuery q(db);
    if (!connection || !q.exec(QStringLiteral("PRAGMA wal_autocheckpoint")) || !q.next()) {
        return; // the setting cannot be read, so it is left alone
    }
    m_autoCheckpointPages = q.value(0).toInt();
    q.finish();
    // Checkpoints no longer sync the log every few commits, so the run has it synced, on a thread
    // of its own (LogSync): a sync at every commit (two hundred for 100,000 records) cost about a
    // quarter of the run. Without the log's file at hand the checkpoints stay as they are.
    // (A database in memory has no file name, and no log.)
    const char* file = sqlite3_db_filename(connection, "main");
    if (file && *file) {
        m_logSync = LogSync::open(QString::fromUtf8(sqlite3_filename_wal(file)));
    }
    if (!m_logSync || !run(db, QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kDeferredCheckpointPages), nullptr)) {
        m_logSync.reset();
        return;
    }
    // A group's savepoint keeps the earlier content of each page the group changes. Beyond 64 KiB
    // SQLite moves it into a temporary file, made, written and deleted group after group; a
    // group of confirmations changes a few hundred pages, so in memory it stays within a few MB.
    // Temporary tables would go there too; the jobs make none.
    run(db, QStringLiteral("PRAGMA temp_store=MEMORY"), nullptr);
}

void SqliteDialect::setAppending(QSqlDatabase& db, bool appending)
{
    if (m_readOnly || db.databaseName() == QLatin1String(":memory:")) {
        return;
    }
    // A smaller cache lets the pages beyond it go at once. (Nothing to report: the setting changes
    // no result, and a connection that refuses it goes on as it was.)
    run(db, QStringLiteral("PRAGMA cache_size=-%1").arg(appending ? kAppendingCacheKib : kCacheKib), nullptr);
}

void SqliteDialect::resumeCheckpoints(QSqlDatabase& db, bool inTransaction)
{
    if (!m_logSync) {
        return;
    }
    // The last commits of the run are synced now, whether the checkpoint below copies anything or
    // not (another desk still reading the older pages keeps it from it).
    m_logSyncs += m_logSync->finish();
    m_logSync.reset();
    run(db, QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(m_autoCheckpointPages), nullptr);
    run(db, QStringLiteral("PRAGMA temp_store=DEFAULT"), nullptr);
    if (!inTransaction) {
        // Passive: it copies what no other desk is still reading and never waits for a lock.
        run(db, QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"), nullptr);
    }
}

} // namespace zb32
