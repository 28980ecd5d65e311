// The desk's one connection to the case database, opened by the first job (ApriDB).
#pragma once

#include "core/desk/ConnectionString.h"
#include "core/desk/SqlDialect.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <memory>

namespace zb32 {

class GroupWrites;
class RecordJournal;
class SqliteStatements;

class CaseDatabase
{
public:
    CaseDatabase();
    ~CaseDatabase();
    CaseDatabase(const CaseDatabase&) = delete;
    CaseDatabase& operator=(const CaseDatabase&) = delete;

    // Reads "connstring" from the configuration file and opens the connection when it is not
    // open yet; an open connection is kept (a changed "connstring" counts from the next start),
    // unless it broke, in which case it is opened again with what the file says now.
    bool ApriDB(QString* error);
    // Opens with a given connection string (the command line's initdb, tests).
    // With createMissing an SQLite file that does not exist yet is created.
    bool open(const QString& connectionString, QString* error, bool createMissing = false);
    void close();
    bool isOpen() const;

    // The configuration file as it resolves on this machine.
    static QString iniPath();
    // The "connstring" the configuration file names; empty with what is missing (the file or
    // the key) when there is none.
    static QString configuredConnectionString(QString* missing);
    QString connectionString() const { return m_connectionString; }
    // An SQLite file that cannot be written, open for reading only.
    bool isReadOnly() const { return m_readOnly; }
    // The dialect of the open connection (SQLite's before the first open).
    const SqlDialect& dialect() const { return *m_dialect; }
    QSqlDatabase database() const;
    QStringList tableNames() const;
    // Columns of a table as the database reports them (cached for the connection's life).
    QSqlRecord tableRecord(const QString& table);

    // A statement written in the case database's names, translated and prepared once per
    // connection; bind values and exec() it. nullptr with the reason when it does not prepare.
    QSqlQuery* statement(const QString& sql, QString* error);
    // Runs a statement that takes no values (transactions, pragmas).
    bool exec(const QString& sql, QString* error);
    // SQLite's own statements on the open connection, each prepared once for its life (nullptr on
    // other databases): selections read there cost no copy of every row by the driver.
    SqliteStatements* sqliteStatements();

    // `sharedRecords`: the transaction changes records that another desk's job may change too
    // (the confirmation import updates existing cases). Such transactions wait for each other,
    // on every workstation, so none reads a record another is about to change, and two of them
    // never deadlock. SQLite lets one writer in at a time anyway.
    bool beginTransaction(QString* error, bool sharedRecords = false);
    // Called right before a transaction is begun (tests: another desk committing at that moment).
    void setBeforeBegin(std::function<void()> hook) { m_beforeBegin = std::move(hook); }
    bool commit(QString* error);
    // Runs `first` and commits, in one round trip where the database takes that
    // (SqlDialect::sendsWithCommit); nothing is committed when `first` is refused.
    bool commit(QString* error, const SqlDialect::Statement& first);
    void rollback();
    bool inTransaction() const { return m_inTransaction; }
    // A transaction begun on the connection's own handle (a group sent behind the run) is taken
    // on as this database's own, to be committed or rolled back as any other.
    void adoptTransaction() { m_inTransaction = true; }
    // The transaction was committed there (SQLite's group sent behind): none is open any more.
    void endedElsewhere() { m_inTransaction = false; }
    // Called before the connection is used: a batch sending a group from another thread waits
    // for it to end there (WriteBatch::setCommitBehind).
    void setBeforeUse(std::function<void()> wait) { m_beforeUse = std::move(wait); }
    bool supportsSavepoints() const { return m_dialect->hasSavepoints(); }

    // Whether the server still answers (SELECT 1); a file database always does.
    bool isAlive();

    // The job the connection works for from now on (the server lists its sessions by it), and
    // where a wait for another workstation's turn is told; both kept across reconnections.
    void setJob(const QString& job, std::function<void(const QString&)> waitNotice = {});

    // SQLite in WAL mode copies the log into the database file (a checkpoint: two fsyncs) every 1000
    // pages by default; a run that commits thousands of scattered pages would stop for one every other
    // commit. Between these two calls the log grows up to SqliteDialect::kDeferredCheckpointPages
    // instead, and resuming restores the setting and runs one passive checkpoint. Since the log is
    // then no longer synced by frequent checkpoints, a thread of the run syncs it: at the first
    // commit, then at most once a second (SqliteDialect::kLogSyncMs) while the desk goes on writing;
    // resuming syncs what is left. If the disk refuses a sync, the next transaction is refused with
    // its error. A commit survives a power cut about a second after it is made; what a power cut takes
    // is whole groups, the register's rows with them, so the run resumes where the file says. Other
    // desks read and write the file as ever, and their own commits still checkpoint by their own
    // setting. A group's savepoint journal is kept in memory meanwhile, instead of a temporary file
    // per group. No-op elsewhere.
    void deferCheckpoints();
    // Who is told of the records written through record access (a run's register); none by default.
    void setRecordJournal(RecordJournal* journal) { m_journal = journal; }
    RecordJournal* recordJournal() const { return m_journal; }
    void resumeCheckpoints();
    // A job that only appends records (a case import) keeps a smaller page cache while it runs
    // (SQLite): the pages it writes are seldom read again. Off restores the connection's own.
    void setAppending(bool appending);
    // The writes a batch holds for its group (WriteBatch::setGroupWrites): record access hands its
    // writes to them, and before any other statement runs what they hold is sent (`sendHeld`).
    void setGroupWrites(GroupWrites* writes, std::function<bool(QString*)> sendHeld = {})
    {
        m_groupWrites = writes;
        m_sendHeld = std::move(sendHeld);
    }
    GroupWrites* groupWrites() const { return m_groupWrites; }
    // Sends the writes held for the group, if any; false with the reason when that fails.
    bool sendHeldWrites(QString* error);

private:
    QString m_name;
    QString m_connectionString;
    std::unique_ptr<SqlDialect> m_dialect;
    bool m_inTransaction = false;
    std::function<void()> m_beforeUse;
    std::function<void()> m_beforeBegin;
    bool m_readOnly = false;
    RecordJournal* m_journal = nullptr;
    GroupWrites* m_groupWrites = nullptr;
    std::function<bool(QString*)> m_sendHeld;
    QString m_job;
    std::function<void(const QString&)> m_waitNotice;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_statements;
    std::unique_ptr<SqliteStatements> m_sqlite;
    QHash<QString, QSqlRecord> m_records;
};

} // namespace zb32
