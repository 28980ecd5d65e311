// Groups a job's writes: one savepoint per input line inside transactions of a few hundred
// lines, so a failing line leaves nothing of itself and everything before it committed.
#pragma once

#include <QString>

namespace zb32 {

class CaseDatabase;

class WriteBatch
{
public:
    static constexpr int kLinesPerCommit = 500;

    explicit WriteBatch(CaseDatabase& db, int linesPerCommit = kLinesPerCommit);
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    // The input line (from 1) the next writes belong to; lets the batch tell which lines are
    // safely stored. A line may open several units of writes.
    void setLine(qint64 lineNumber) { m_currentLine = lineNumber; }
    // The batch changes records another desk's job may change too: its transactions take turns
    // with every other such transaction (CaseDatabase::beginTransaction).
    void setSharedRecords(bool shared) { m_sharedRecords = shared; }
    bool beginLine(QString* error, qint64 lineNumber = -1);
    // Keeps the line's writes; commits when the group is full.
    bool endLine(QString* error);
    // Takes back every write of the current line.
    void abandonLine();
    // Commits what is kept. Called at the end of a run and when a run stops on an error.
    bool finish(QString* error);

    // The first input line whose writes are not in the database: the current line, or, when the
    // transaction itself was lost (the server went away), the first line after the last commit.
    qint64 firstUnsavedLine() const { return m_lost ? m_lastCommittedLine + 1 : m_currentLine; }
    // The error text of a run stopped at `line` for `reason`: when the transaction was lost, it
    // says from which line on nothing was saved.
    QString stopReason(const QString& reason) const;
    bool transactionLost() const { return m_lost; }

private:
    bool runLineStatement(const QString& sql, QString* error);
    bool commitGroup(QString* error);
    void loseTransaction();

    CaseDatabase& m_db;
    int m_linesPerCommit;
    QString m_savepoint;
    QString m_release;
    int m_linesInGroup = 0;
    bool m_inLine = false;
    bool m_savepointHeld = false; // the last line's savepoint, not released yet
    bool m_lost = false;
    bool m_sharedRecords = false;
    qint64 m_currentLine = 0;
    qint64 m_lastKeptLine = 0;
    qint64 m_lastCommittedLine = 0;
};

} // namespace zb32
