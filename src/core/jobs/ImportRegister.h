// The register of import runs: one row per run of a job (file, its SHA-256, the batch data as
// typed, workstation, user, times, state, the last line saved, the counters), written in the
// same transaction as each group commit, so after any stop it says which line was the last one
// saved.
#pragma once

#include "core/desk/Recordset.h"

#include <QDateTime>
#include <QString>

namespace zb32 {

class CaseDatabase;
struct BatchData;

class ImportRegister
{
public:
    enum class State { Running, Completed, Stopped, ConnectionLost };
    // The state as the register stores it ("in corso", "conclusa", "interrotta", "connessione persa").
    static QString stateText(State state);

    struct Counts
    {
        qint64 linesRead = 0;
        qint64 lastLineSaved = 0;
        qint64 clienti = 0;
        qint64 fatture = 0;
    };

    explicit ImportRegister(CaseDatabase& db);

    // Creates the register's tables where missing and writes the run's row, "in corso", on its
    // own: before any line of the file is written.
    bool begin(const QString& job, const QString& path, const BatchData& batch, const QDateTime& now,
        QString* error);
    bool isOpen() const { return m_open; }
    qint64 runId() const { return m_runs.key(); }
    // The row as of a group commit; called inside the group's transaction.
    bool saved(const Counts& counts, const QDateTime& now, QString* error);
    // The run's end: its state and closing or stopping message. A register that cannot be
    // written any more (the server went away) leaves the row as the last commit wrote it.
    void end(State state, const Counts& counts, const QString& message, const QDateTime& now);

private:
    bool setCounts(const Counts& counts, const QDateTime& now, QString* error);

    CaseDatabase& m_db;
    Recordset m_runs;
    bool m_open = false;
};

} // namespace zb32
