// Groups a job's writes: one savepoint per input line inside transactions of a few hundred
// lines, so a failing line leaves nothing of itself and everything before it committed.
#pragma once

#include "core/desk/GroupWrites.h"
#include "core/desk/SqlDialect.h"

#include <QElapsedTimer>
#include <QString>
#include <memory>

namespace zb32 {

class CaseDatabase;

class WriteBatch
{
public:
    static constexpr int kLinesPerCommit = 500;
    // A job that only adds records (new cases and their invoices) holds no record another desk
    // waits for: its groups are larger, as each group costs a commit and, on a server, round
    // trips (measured: a fifth less time on PostgreSQL, an eighth on SQLite, than with 500).
    static constexpr int kNewRecordLinesPerCommit = 2000;
    // On SQLite a group that ends while the one sent behind is still being written (one commit
    // in some twenty copies the log into the database file) goes on into the next group instead
    // of waiting for it, up to this many groups in one.
    static constexpr int kGroupsJoined = 2;

    // Whether a full group may be committed after a line: a job whose records are not whole yet
    // (a record still waiting for later lines) holds the commit until they are.
    enum class Commit { WhenDue, Hold };

    // Told of every group commit: `committing` inside the group's transaction, right before the
    // commit (what it writes is committed with the group, or with it lost), `committed` after it.
    class Listener
    {
    public:
        virtual ~Listener() = default;
        // `lastLine`: the last input line the group holds. False refuses the commit: the group
        // is rolled back and the batch has failed. A statement left in `withCommit` is sent with
        // the commit, in one round trip where the database takes that; when it is refused the
        // group is not committed.
        virtual bool groupCommitting(qint64 lastLine, SqlDialect::Statement* withCommit, QString* error) = 0;
        virtual void groupCommitted(qint64 lastLine) = 0;
        // A check's group up to `lastLine`, written whole before it is rolled back: the lines the
        // database refused, in the order they were found.
        virtual void linesRefused(qint64 lastLine, const QList<GroupWrites::Refusal>& refusals) = 0;
    };

    explicit WriteBatch(CaseDatabase& db, int linesPerCommit = kLinesPerCommit);
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    // The input line (from 1) the next writes belong to; lets the batch tell which lines are
    // safely stored. A line may open several units of writes.
    void setLine(qint64 lineNumber) { m_currentLine = lineNumber; }
    qint64 currentLine() const { return m_currentLine; }
    // The input line the run is reading. A write it makes for an earlier line (a case closed as
    // the next one begins) is counted to that line, but a refusal of it names the line read,
    // as a run that writes every line at once names it.
    void setReadLine(qint64 lineNumber) { m_readLine = lineNumber; }
    // The batch changes records another desk's job may change too: its transactions take turns
    // with every other such transaction (CaseDatabase::beginTransaction).
    void setSharedRecords(bool shared) { m_sharedRecords = shared; }
    // The lines of a group, from the next group on.
    void setLinesPerCommit(int lines) { m_linesPerCommit = lines; }
    void setListener(Listener* listener) { m_listener = listener; }
    // The lines' writes through record access wait for the group's commit and go to the database
    // as a few multi-row statements (GroupWrites); a refused group is replayed line by line, so a
    // run stops at the same line, with the same words, as when every line was written at once.
    // Where the database cannot hand out keys ahead, the lines are written as they come.
    void setGroupWrites(bool on);
    bool groupsWrites() const { return m_writes != nullptr; }
    // The line the database refused when a group was replayed (nullptr when none): the lines
    // before its case are kept, and the run stops at it.
    const GroupWrites::Refusal* refusal() const { return m_refused ? &m_refusal : nullptr; }
    // A group of a run that only adds records is sent from another thread while the lines after
    // it are read, and its answer is looked at before the next group is sent, before new keys are
    // asked and at the run's end. On PostgreSQL its transaction, its COPYs and its commit go as
    // the server takes them. On SQLite the transaction is begun as the group ends (the write lock
    // is then held only while the group is written), the next group's keys are reserved in it,
    // and its multi-row INSERTs and its commit run on the other thread. A refused group is written
    // again line by line and the run stops at the same line as when it waits for every group; a
    // lost connection names the group's first line as the first not saved. For a check, records
    // shared with other desks, an SQLite table whose keys cannot be reserved, and elsewhere,
    // groups are committed as they end.
    void setCommitBehind(bool on) { m_behindWanted = on; }
    bool commitsBehind() const;
    // A check run: every group is rolled back where a run commits it, so no write lock is held
    // longer than one group and nothing stays. A group of held writes is sent whole first, and
    // every line the database refuses of it is told to the listener (`linesRefused`), before
    // `groupCommitted`; `groupCommitting` is not called.
    void setRollbackGroups(bool rollback);
    // Refused once a transaction could not be begun or was lost: a later commit would leave a
    // gap of unsaved lines behind lines that are saved.
    bool beginLine(QString* error, qint64 lineNumber = -1);
    // Keeps the line's writes; commits when the group is full, unless held.
    bool endLine(QString* error, Commit commit = Commit::WhenDue);
    // Takes back every write of the current line.
    void abandonLine();
    // A unit of several lines (a case and its lines), from `firstLine` on: the lines up to
    // endUnit() are kept or taken back together. Its savepoint is made at the next beginLine();
    // no group is committed while a unit is open.
    void beginUnit(qint64 firstLine)
    {
        m_unitWanted = true;
        m_unitFirstLine = firstLine;
        m_abandonedUnitLine = 0;
    }
    bool inUnit() const { return m_unitOpen || m_unitWanted; }
    // The first line of the open unit (0 when none).
    qint64 unitFirstLine() const { return m_unitOpen || m_unitWanted ? m_unitFirstLine : 0; }
    // Keeps the unit's lines; commits when the group is full, unless held.
    bool endUnit(QString* error, Commit commit = Commit::WhenDue);
    // Takes back every write of the open unit's lines.
    void abandonUnit();
    // Commits what is kept. Called at the end of a run and when a run stops on an error.
    bool finish(QString* error);

    // The first input line whose writes are not in the database: the current line, or, when the
    // transaction itself was lost (the server went away), the first line after the last commit
    // known to have been made.
    qint64 firstUnsavedLine() const
    {
        if (m_failed) {
            return m_lastCommittedLine + 1;
        }
        if (m_refused) {
            return m_refusedCut;
        }
        return m_abandonedUnitLine > 0 ? m_abandonedUnitLine : m_currentLine;
    }
    // The error text of a run stopped at `line` for `reason`: when writing failed before that
    // line, it says from which line on nothing was saved.
    QString stopReason(const QString& reason) const;
    // The open transaction is gone (the server went away, the commit failed).
    bool transactionLost() const { return m_lost; }
    // Nothing more can be written: a transaction was lost or could not be begun (a database
    // locked for longer than the busy time-out).
    bool hasFailed() const { return m_failed; }
    // Groups committed so far: a job that counts what it saved takes its counts when this changes.
    int commitCount() const { return m_commitCount; }

private:
    bool runLineStatement(const QString& sql, QString* error);
    // `due`: the group is full (a line or unit ended); else the batch is finishing.
    bool commitGroup(QString* error, bool due = false);
    // Sends the group from another thread (setCommitBehind); false when it cannot go that way.
    // A group `due` may instead be joined to the next one (kGroupsJoined).
    bool sendBehind(QString* error, bool* sent, bool due);
    // SQLite's part of sendBehind: the transaction is begun here, the INSERTs and commit go behind.
    bool sendInsertsBehind(QString* error, bool* sent);
    struct Flight; // a group sent behind, until its answer is taken
    struct Sender; // the thread groups are sent behind on
    // Sends the group behind; false (the batch has failed) when the connection is closed.
    bool fly(std::unique_ptr<Flight> flight, QString* error, bool* sent);
    // Before the group's lines take new keys from the database (GroupWrites::setBeforeKeys).
    bool beforeKeys(bool reserving, QString* error);
    // At the end: SQLite's keys reserved and not taken go back (GroupWrites::returnKeys).
    void giveBackKeys();
    // Waits for the group sent behind, if any, and takes its answer; false with the reason when
    // it was not committed (the batch has then stopped, or stops at a refused line).
    bool settle(QString* error);
    // The group sent behind was refused: its lines are written again one by one.
    bool replayBehind(qint64 lastLine, QString* error);
    // Begins the group's transaction; false (the batch has failed) when it cannot be begun.
    bool beginTransaction(QString* error);
    // A group's commit went through: its lines up to `lastLine` are saved; `tell` tells the listener.
    void committedUpTo(qint64 lastLine, bool tell);
    // A line of the group was refused: the batch stops there, keeping the lines before its case.
    void stopAtRefusal(const GroupWrites::Refusal& refusal);
    void loseTransaction();
    // Sends the writes held for the group; false when refused or lost.
    bool sendGroup(QString* error);

    CaseDatabase& m_db;
    Listener* m_listener = nullptr;
    int m_linesPerCommit;
    int m_linesInGroup = 0;
    bool m_inLine = false;
    bool m_unitWanted = false;
    bool m_unitOpen = false;
    qint64 m_unitFirstLine = 0;
    qint64 m_abandonedUnitLine = 0; // the first line of a unit taken back
    bool m_savepointHeld = false; // the last line's savepoint, not released yet
    bool m_lost = false;
    bool m_sharedRecords = false;
    bool m_rollbackGroups = false;
    QElapsedTimer m_groupClock; // since the group's transaction began
    bool m_failed = false;
    int m_commitCount = 0;
    qint64 m_currentLine = 0;
    qint64 m_readLine = 0;
    qint64 m_lastKeptLine = 0;
    qint64 m_lastCommittedLine = 0;
    qint64 m_uncertainLine = 0; // last line of a group whose commit went unanswered
    std::unique_ptr<GroupWrites> m_writes;
    std::unique_ptr<Sender> m_sender; // started with the first group sent behind
    std::unique_ptr<Flight> m_flight; // after the sender: its answer is waited for first
    bool m_behindWanted = false;
    bool m_behindOff = false; // a group sent behind went wrong: groups are committed as they end
    bool m_groupOpen = false; // lines held for a group sent behind, its transaction not begun
    int m_groupsJoined = 0; // groups the open one holds beyond the first
    qsizetype m_lineMark = 0; // where the current line's held writes begin
    qsizetype m_unitMark = 0; // where the open unit's begin
    bool m_refused = false;
    GroupWrites::Refusal m_refusal;
    qint64 m_refusedCut = 0;
};

} // namespace zb32
