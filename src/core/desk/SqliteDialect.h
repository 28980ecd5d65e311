// SQLite: the embedded file database. Names stay in brackets, dates are ISO text, one writer
// at a time.
#pragma once

#include "core/desk/SqlDialect.h"

#include <array>
#include <limits>
#include <memory>

namespace zb32 {

class SqliteDialect : public SqlDialect
{
public:
    static constexpr int kBusyTimeoutMs = 15000;
    // The page cache per connection, in KiB: enough for a job's working pages (the group being
    // written, the indexes' upper levels), small enough that a run of any size stays within
    // 64 MB; a page not held is read again from the system's file cache.
    static constexpr int kCacheKib = 16 * 1024;
    // The same while a job appends records (CaseDatabase::setAppending): the pages it writes are
    // seldom read again, and the 8 MB the cache gives up keep a case import within its bound.
    static constexpr int kAppendingCacheKib = 8 * 1024;
    // How far a long run lets the write-ahead log grow before SQLite copies it into the file, in
    // pages (256 MiB of 4 KiB pages): a bound, so a huge run does not fill the disk with log.
    static constexpr int kDeferredCheckpointPages = 65536;
    // While checkpoints are deferred, a commit's log reaches the disk at most this long after the
    // last sync of it, in ms (see CaseDatabase::deferCheckpoints).
    static constexpr int kLogSyncMs = 1000;

    explicit SqliteDialect(int busyTimeoutMs = kBusyTimeoutMs, bool readOnly = false);
    ~SqliteDialect() override;

    Kind kind() const override { return Kind::SQLite; }
    QString translate(const QString& sql) const override;

    QVariant storedDate(const QDate& date) const override;
    QVariant storedNull(FieldType type) const override;
    QString columnType(const FieldDef& field) const override;

    QStringList nextSavepoint(const QString& name) const override;
    bool preparesLineStatements() const override { return true; }

    bool startSession(QSqlDatabase& db, QString* error) override;
    bool begin(QSqlDatabase& db, bool sharedRecords, QString* error) override;
    bool commit(QSqlDatabase& db, QString* error) override;
    void rollback(QSqlDatabase& db) override;
    std::function<void()> behind(QSqlDatabase& db, BehindGroup* group) const override;
    void deferCheckpoints(QSqlDatabase& db) override;
    void resumeCheckpoints(QSqlDatabase& db, bool inTransaction) override;
    void setAppending(QSqlDatabase& db, bool appending) override;

    int busyTimeoutMs() const { return m_busyTimeoutMs; }
    // The count of the commits other connections made to the file; -1 when unknown.
    static qint64 dataVersion(QSqlDatabase& db);
    // How many times the log was synced while checkpoints were deferred, by the thread that syncs
    // it or at the end of the run.
    int logSyncs() const;
    // Tests only: from now on the thread's syncs of the log (not the last one, at the run's end)
    // report `error` as the disk's answer instead of syncing. Deferred checkpoints only.
    void failLogSyncs(int error) const;

private:
    int m_busyTimeoutMs;
    bool m_readOnly = false; // a file that cannot be written: its journal mode is left as it is
    int m_autoCheckpointPages = 1000;
    class LogSync;
    std::unique_ptr<LogSync> m_logSync; // exactly while checkpoints are deferred
    int m_logSyncs = 0; // of the runs before the present one
    // The texts of the dates stored last, by day: a job stores the same few dates line after
    // line (the batch's, an invoice's), and a copy of a text costs no allocation.
    struct StoredDate
    {
        qint64 day = std::numeric_limits<qint64>::min(); // none: no valid date has this day
        QString text;
    };
    mutable std::array<StoredDate, 16> m_storedDates;
};

} // namespace zb32
