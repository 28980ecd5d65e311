// The one skeleton of a line-by-line import: the input file, the reading loop, progress, the
// write batch and its group commits, the two counters, the stop and closing messages. A job
// brings only what it does with a line (a LineHandler).
#pragma once

#include "core/desk/RecordJournal.h"
#include "core/desk/WriteBatch.h"
#include "core/jobs/BatchStamp.h"
#include "core/jobs/CheckReport.h"
#include "core/jobs/ImportRegister.h"
#include "core/jobs/Job.h"

#include <QElapsedTimer>
#include <array>
#include <functional>

namespace zb32 {

class ImportRun : private WriteBatch::Listener, private RecordJournal
{
public:
    class LineHandler
    {
    public:
        virtual ~LineHandler() = default;
        // Whether this line ends the input before it is handled (the files end at an empty line).
        virtual bool endsInput(const QString&) { return false; }
        // Handles one line (numbered from 1; the batch already counts writes to it). False stops
        // the run at the line with `why`; the handler has taken back whatever the line began.
        virtual bool line(const QString& text, qint64 number, QString* why) = 0;
        // The input ended: writes what the last lines left pending.
        virtual bool endOfInput(QString*) { return true; }
        // The closing message once every line is saved.
        virtual QString closing() const = 0;
    };

    // Where a line's progress is shown: the file's position before reading it, or after.
    enum class Progress { BeforeLine, AfterLine };

    // The "Nome File" box names the input in every message.
    ImportRun(JobContext& ctx, const QString& fileName);
    ~ImportRun() override;
    ImportRun(const ImportRun&) = delete;
    ImportRun& operator=(const ImportRun&) = delete;

    // The file in the import folder that the "Nome File" box names; "FILE MANCANTE" when there
    // is none (the result is then the job's).
    static bool findInput(JobContext& ctx, QString* path, JobResult* result);
    // The opening of a case import: the database, the input file and the batch stamp, in
    // that order; false with the job's result when one of them is not there.
    static bool openCaseImport(JobContext& ctx, QString* path, BatchStamp* stamp, JobResult* result);

    JobContext& ctx() { return m_ctx; }
    WriteBatch& batch() { return m_batch; }
    const QString& fileName() const { return m_fileName; }

    // The counters: `startCount` sets where a counter starts without showing it; `setCount`
    // shows a new value. After a lost group the boxes go back to what was committed.
    void startCount(JobReporter::Counter counter, qint64 value);
    void setCount(JobReporter::Counter counter, qint64 value);
    // The boxes of a job that counts what it saved: where the batch groups its writes, a new
    // count is shown once its group is committed (as the progress is), so a box a refused line
    // counted in never shows it.
    void showCountsWhenSaved() { m_countsWhenSaved = true; }
    qint64 count(JobReporter::Counter counter) const { return m_counts[counter]; }

    // A case and all its lines are one unit: they are saved together or not at all. A run that
    // stops inside a case takes the whole case back and names it, so the next run can start
    // at its first line. `position` names the case in that message.
    void beginCase(qint64 firstLine, const QString& position);
    // The case is whole: its lines are kept, and a full group is committed.
    bool endCase(QString* why);

    // Reads a text file line by line into the handler, then closes with its closing message.
    JobResult readTextFile(const QString& path, LineHandler& handler, Progress progress = Progress::AfterLine);
    // readTextFile for a case import: the records of a group of lines go to the database together,
    // sent behind the reading, on a connection set for appending (CaseDatabase::setAppending).
    JobResult appendFromTextFile(const QString& path, LineHandler& handler, Progress progress = Progress::AfterLine);

    // For a job with its own loop (a workbook): stopping at a line or row, stopping on the file
    // itself, and closing once every line is handled (`lastLine` names the last group when its
    // commit fails).
    JobResult stop(qint64 line, const QString& reason);
    JobResult stopFile(const QString& reason);
    JobResult complete(const QString& closing, qint64 lastLine);
    // Writes the run's row in the register before the first line of `path` is written (a text
    // file's reading does it itself). A file imported before is refused or taken again as the
    // operator (or the context) says; a register that cannot be written stops the run. False
    // with the job's result when the run does not go on.
    bool beginRegister(const QString& path, JobResult* result);
    // The last line or row read, for the register.
    void setLinesRead(qint64 lines) { m_linesRead = lines; }
    // A resumed run: the lines (rows) up to this one were saved by the runs before.
    qint64 resumeAfter() const { return m_resumeAfter; }

    // A check run (JobContext::check): every group is rolled back instead of committed, the
    // register is not written, the counter boxes are left as they are, and a bad line is noted
    // and passed over where a run would stop. A case with a bad line is taken back whole at
    // its end, as a run would never save it.
    bool checking() const { return m_ctx.check != nullptr; }
    // What a check reports it would write, asked once its last group is tried (without it: the
    // cases and invoices counted).
    void setCheckWrites(std::function<QList<std::pair<QString, qint64>>()> writes)
    {
        m_checkWrites = std::move(writes);
    }
    // A line (row) that failed: in a check it is noted and the check goes on (true); in a run,
    // or once writing has failed, false and the caller stops.
    bool passOver(qint64 line, const QString& reason);

private:
    // A counter going back (a stop): the box shows it at once.
    void resetCount(JobReporter::Counter counter, qint64 value);
    void showCount(JobReporter::Counter counter, qint64 value);
    bool groupCommitting(qint64 lastLine, SqlDialect::Statement* withCommit, QString* error) override;
    void recordCreated(const QString& table, qint64 key) override;
    void recordChanged(const QString& table, qint64 key, const QList<Change>& changes) override;
    void groupCommitted(qint64 lastLine) override;
    void linesRefused(qint64 lastLine, const QList<GroupWrites::Refusal>& refusals) override;
    // The counters before `line` was read, of the lines not committed yet (the present ones past them).
    std::array<qint64, 2> countsBefore(qint64 line) const;
    bool beginRegister(const QString& path, qint64 size, const QByteArray& sha256, JobResult* result);
    // What to do with a file the register has seen: false with the result when the run ends here.
    bool decideRerun(const ImportRegister::Earlier& earlier, ImportRegister::Run* run, JobResult* result);
    ImportRegister::Counts registerCounts(qint64 lastLineSaved) const;
    void endRegister(ImportRegister::State state, const QString& message);
    // The end of a check: what it found is in the context's report.
    JobResult checkDone();
    JobResult checkFailed(const QString& text);
    // The line and the reason of a stop at a line the database refused in a group (WriteBatch::refusal),
    // with the counters as its case began; false when there is none.
    bool takeRefusal(qint64* line, QString* why);
    // Shows the progress of the lines up to `upTo` held back while their group was not saved.
    void showProgress(qint64 upTo);

    JobContext& m_ctx;
    QString m_fileName;
    WriteBatch m_batch;
    std::array<qint64, 2> m_counts {};
    std::array<qint64, 2> m_committedCounts {};
    std::array<qint64, 2> m_shownCounts {}; // what the boxes show
    bool m_countsWhenSaved = false;
    std::function<QList<std::pair<QString, qint64>>()> m_checkWrites;
    std::array<qint64, 2> m_caseCounts {}; // as the open case began
    std::array<qint64, 2> m_startCounts {}; // as the run began: the register keeps what it adds
    ImportRegister::Mode m_mode = ImportRegister::Mode::New;
    ImportRegister::Earlier m_resumed; // the run a resumed run continues
    qint64 m_resumeAfter = 0;
    ImportRegister m_register;
    QElapsedTimer m_runTimer;
    qint64 m_registerNs = 0; // time spent on the register's work, for the timing log
    qint64 m_hashNs = 0;
    qint64 m_linesRead = 0;
    QString m_casePosition;
    bool m_caseSpoiled = false; // a check met a bad line in the open case
    bool m_caseOpeningBad = false; // ... on its first line: its other lines are not told
    // The records the lines of the open group wrote, for the register; written with the group.
    QList<ImportRegister::Record> m_records;
    // A field's name as JSON text, the name kept (so its text is the same while its address is);
    // a few dozen names come back change after change.
    struct JsonName
    {
        QString name;
        QByteArray json;
    };
    std::array<JsonName, 64> m_jsonNames;
    const QByteArray& jsonName(const QString& field);
    // Of the lines not committed yet, when the batch groups its writes: the cases that began (first
    // line, position) and the counters before each line.
    QList<std::pair<qint64, QString>> m_groupCases;
    struct GroupLine
    {
        qint64 line;
        std::array<qint64, 2> counts; // before the line
        qint64 progress; // shown once the line is saved
    };
    QList<GroupLine> m_groupLines;
};

} // namespace zb32
