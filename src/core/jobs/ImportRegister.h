// The register of import runs: one row per run of a job (file, its SHA-256, the batch data as
// typed, workstation, user, times, state, the last line saved, the counters), written in the
// same transaction as each group commit, so after any stop it says which line was the last one
// saved; and the earlier runs of a file, so that it is not imported twice by mistake.
#pragma once

#include "core/desk/Recordset.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <QStringList>

namespace zb32 {

class CaseDatabase;
struct BatchData;

class ImportRegister
{
public:
    // Undone: taken back (RunUndo); what it wrote is gone, and its file counts as not imported.
    enum class State { Running, Completed, Stopped, ConnectionLost, Undone };
    // The state as the register stores it ("in corso", "conclusa", "interrotta", "connessione
    // persa", "annullata").
    static QString stateText(State state);
    // How a run stands to the earlier runs of its file: the first, a repetition on purpose, or
    // the continuation of a stopped run after its last saved line.
    enum class Mode { New, Again, Resume };
    static QString modeText(Mode mode);

    // A run left "in corso" whose last commit is older than this has stopped, wherever it ran.
    static constexpr qint64 kStaleAfterSecs = 30 * 60;

    struct Counts
    {
        qint64 linesRead = 0;
        qint64 lastLineSaved = 0;
        qint64 clienti = 0;
        qint64 fatture = 0;
    };

    // The latest run of a job on the same file.
    struct Earlier
    {
        qint64 run = 0; // 0: the file was never imported by the job
        State state = State::Completed;
        QDateTime start;
        QString workstation;
        QStringList boxes; // the batch boxes as that run had them, in the order of Text1
        qint64 lastLineSaved = 0;
        // What the runs of the file saved, the runs it resumed included.
        qint64 clienti = 0;
        qint64 fatture = 0;
    };

    struct Run
    {
        QString job;
        QString fileName;
        qint64 size = 0;
        QByteArray sha256; // hex
        Mode mode = Mode::New;
        qint64 previous = 0; // the earlier run, for Again and Resume
        qint64 resumeAfter = 0; // the lines saved before this run
    };

    // A record a run wrote: created (no changes), or changed from the values before.
    struct Record
    {
        qint64 line = 0; // the input line that wrote it
        QString table;
        qint64 key = 0;
        QByteArray before; // JSON object of the changed fields' values before; empty: created
        QByteArray after;
        qint64 lastKey = 0; // a created record's row: the keys key..lastKey, consecutive
    };

    explicit ImportRegister(CaseDatabase& db);
    ~ImportRegister();
    ImportRegister(const ImportRegister&) = delete;
    ImportRegister& operator=(const ImportRegister&) = delete;

    // Creates the register's tables where missing, marks the runs left "in corso" by a process
    // that is gone (or silent past kStaleAfterSecs) as stopped, and finds the latest run of
    // `job` on the file whose SHA-256 is `sha256`.
    bool lookUp(const QString& job, const QByteArray& sha256, const QDateTime& now, Earlier* earlier, QString* error);
    // Writes the run's row, "in corso", on its own: before any line of the file is written. When
    // the file's latest run is no longer `expected` (another desk started it meanwhile) nothing
    // is written: false, `*latest` is that run and the error is empty.
    bool begin(
        const Run& run, const BatchData& batch, const QDateTime& now, qint64 expected, Earlier* latest, QString* error);
    bool isOpen() const { return m_open; }

    // The case import of batch `lotto` left unfinished (running, or stopped with no later run
    // completing its file), if any: `found->run` 0 when none. A database without a register has none.
    bool unfinishedImport(qint64 lotto, const QDateTime& now, Earlier* found, QString* fileName, QString* error);
    // A letter run, recorded once it has ended: the print file written, its SHA-256, the letters.
    bool recordLetters(const Run& run, const BatchData& batch, qint64 letters, State state, const QString& message,
        const QDateTime& now, QString* error);
    qint64 runId() const { return m_runs.key(); }
    // What a group commit adds, inside the group's transaction: its records, and the run's row
    // as of the commit; in one round trip where the server takes both in one statement. Where the
    // database sends a statement with its commit (SqlDialect::sendsWithCommit) and `withCommit`
    // is given, that round trip is the commit's: the statement is left there to go with it.
    // `allWithCommit`: every record row goes in that statement, however many (a group sent behind).
    bool savedGroup(const QList<Record>& records, const Counts& counts, const QDateTime& now,
        SqlDialect::Statement* withCommit, QString* error, bool allWithCommit = false);
    // The run's end: its state and closing or stopping message. A register that cannot be
    // written any more (the server went away) leaves the row as the last commit wrote it.
    void end(State state, const Counts& counts, const QString& message, const QDateTime& now);

    // A field's value as the register keeps it: amounts as decimal text, dates as yyyy-MM-dd.
    static QJsonValue fieldValue(const QVariant& value);
    // The same value written as JSON text, as appendJsonValue writes fieldValue's, without the
    // QJsonValue between: the register keeps two a field changed.
    static void appendFieldValue(QByteArray* out, const QVariant& value);

    // The stamp texts of the register ("yyyy-MM-dd HH:mm:ss").
    static QString stamp(const QDateTime& when);
    static QDateTime fromStamp(const QString& text);

private:
    // The rows of rowsOf in few statements.
    bool insertRows(const QList<Record>& rows, const QList<Record>& changed, QString* error);
    // A group's records as the register's rows: created ones in runs of consecutive keys, then
    // the changes in the order they were made.
    static void rowsOf(const QList<Record>& records, QList<Record>* rows, QList<Record>* changed);
    bool insertRecords(const QList<Record>& records, bool withValues, QString* error);
    bool setCounts(const Counts& counts, const QDateTime& now, QString* error);
    bool markStale(const QDateTime& now, QString* error);
    bool latestRun(const QString& job, const QByteArray& sha256, Earlier* earlier, QString* error);
    void setOpen(bool open);

    CaseDatabase& m_db;
    Recordset m_runs;
    bool m_open = false;
};

} // namespace zb32
