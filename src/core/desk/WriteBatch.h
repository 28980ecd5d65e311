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

    bool beginLine(QString* error);
    // Keeps the line's writes; commits when the group is full.
    bool endLine(QString* error);
    // Takes back every write of the current line.
    void abandonLine();
    // Commits what is kept. Called at the end of a run and when a run stops on an error.
    bool finish(QString* error);

private:
    bool run(const QString& sql, QString* error);

    CaseDatabase& m_db;
    int m_linesPerCommit;
    int m_linesInGroup = 0;
    bool m_inLine = false;
};

} // namespace zb32
