// The line-by-line import skeleton.
#include "core/jobs/ImportRun.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Formats.h"
#include "core/desk/JsonText.h"
#include "core/desk/LineReader.h"
#include "core/desk/Sha256.h"
#include "core/jobs/Stopwatch.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcTiming, "zb32.run.timing", QtWarningMsg)

namespace zb32 {

namespace {
// The platform reports the read position of a text file in blocks of this many bytes.
constexpr qint64 kProgressBlock = 128;
} // namespace

ImportRun::ImportRun(JobContext& ctx, const QString& fileName)
    : m_ctx(ctx)
    , m_fileName(fileName)
    , m_batch(ctx.db)
    , m_register(ctx.db)
{
    m_batch.setListener(this);
    m_batch.setRollbackGroups(checking());
    ctx.db.setRecordJournal(this);
    m_runTimer.start();
}

ImportRun::~ImportRun()
{
    m_ctx.db.setRecordJournal(nullptr);
    m_batch.setListener(nullptr);
}

void ImportRun::recordCreated(const QString& table, qint64 key)
{
    if (m_register.isOpen()) {
        // (Not timed: an append, where reading the clock twice cost more than the append.)
        m_records.append({ m_batch.currentLine(), table, key, {}, {} });
    }
}

void ImportRun::recordChanged(const QString& table, qint64 key, const QList<Change>& changes)
{
    if (!m_register.isOpen()) {
        return;
    }
    const Stopwatch watch(&m_registerNs);
    // Two JSON objects of the fields changed, before and after.
    QByteArray before;
    QByteArray after;
    // Room for a field's name and value a change, so the texts seldom grow again.
    before.reserve(2 + 48 * changes.size());
    after.reserve(2 + 48 * changes.size());
    before.append('{');
    after.append('{');
    for (const Change& c : changes) {
        if (before.size() > 1) {
            before.append(',');
            after.append(',');
        }
        const QByteArray& name = jsonName(c.field);
        before.append(name);
        after.append(name);
        ImportRegister::appendFieldValue(&before, c.before);
        ImportRegister::appendFieldValue(&after, c.after);
    }
    m_records.append({ m_batch.currentLine(), table, key, before.append('}'), after.append('}') });
}

const QByteArray& ImportRun::jsonName(const QString& field)
{
    JsonName& at = m_jsonNames[(quintptr(field.constData()) * 0x9E3779B97F4A7C15ULL) >> 58];
    if (at.name.constData() != field.constData() || at.name.size() != field.size() || at.name.isNull()) {
        at.name = field;
        at.json.clear();
        appendJsonText(&at.json, field);
        at.json.append(':');
    }
    return at.json;
}

bool ImportRun::findInput(JobContext& ctx, QString* path, JobResult* result)
{
    const QString& name = ctx.batch.Text1[4];
    // The box names a file of the import folder, never a path that leads out of it.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char(':'))) {
        ctx.report.message(
            QStringLiteral("Il nome file \"%1\" contiene un percorso: indicare un file della cartella di "
                           "importazione (%2)")
                .arg(name, kImportFolder));
        *result = JobResult::condition();
        return false;
    }
    *path = resolveDrivePath(kImportFolder + name);
    // A folder (an empty file name names the import folder itself) is not an input file.
    if (ctx.batch.Text1[4].isEmpty() || !QFileInfo(*path).isFile()) {
        ctx.report.message(QStringLiteral("FILE MANCANTE"));
        *result = JobResult::condition();
        return false;
    }
    return true;
}

bool ImportRun::openCaseImport(JobContext& ctx, QString* path, BatchStamp* stamp, JobResult* result)
{
    if (!openDatabase(ctx, result) || !findInput(ctx, path, result)) {
        return false;
    }
    QString why;
    if (!BatchStamp::read(ctx.batch, stamp, &why)) {
        *result = failJob(ctx, why);
        return false;
    }
    return true;
}

void ImportRun::startCount(JobReporter::Counter counter, qint64 value)
{
    m_startCounts[counter] = value;
    m_counts[counter] = value;
    m_committedCounts[counter] = value;
    m_shownCounts[counter] = value;
}

void ImportRun::setCount(JobReporter::Counter counter, qint64 value)
{
    m_counts[counter] = value;
    if (!m_countsWhenSaved || !m_batch.groupsWrites()) {
        showCount(counter, value);
    }
}

void ImportRun::resetCount(JobReporter::Counter counter, qint64 value)
{
    m_counts[counter] = value;
    showCount(counter, value);
}

void ImportRun::showCount(JobReporter::Counter counter, qint64 value)
{
    // A check leaves the boxes alone: a later run counts on from what they show. A box is
    // written first when its count leaves where the run began.
    if (m_shownCounts[counter] != value && !checking()) {
        m_shownCounts[counter] = value;
        m_ctx.report.setCounter(counter, QString::number(value));
    }
}

void ImportRun::beginCase(qint64 firstLine, const QString& position)
{
    m_batch.beginUnit(firstLine);
    m_caseCounts = m_counts;
    m_casePosition = position;
    m_caseSpoiled = false;
    m_caseOpeningBad = false;
    if (m_batch.groupsWrites()) {
        m_groupCases.append({ firstLine, position });
    }
}

bool ImportRun::endCase(QString* why)
{
    if (m_caseSpoiled) {
        m_caseSpoiled = false;
        m_caseOpeningBad = false;
        m_batch.abandonUnit();
        m_counts = m_caseCounts;
        if (m_batch.hasFailed()) {
            *why = m_batch.stopReason(
                QStringLiteral("le scritture della pratica %1 non si possono annullare").arg(m_casePosition));
            return false;
        }
        return true;
    }
    return m_batch.endUnit(why);
}

bool ImportRun::passOver(qint64 line, const QString& reason)
{
    if (!checking() || m_batch.hasFailed()) {
        return false;
    }
    m_batch.abandonLine();
    if (m_batch.inUnit()) {
        if (m_caseSpoiled && m_caseOpeningBad) {
            return true; // the case never began: what its lines say follows from that
        }
        if (!m_caseSpoiled) {
            m_caseSpoiled = true;
            m_caseOpeningBad = line == m_batch.unitFirstLine();
        }
    }
    m_ctx.check->addBadLine(m_fileName, line, reason);
    return true;
}

JobResult ImportRun::checkFailed(const QString& text)
{
    m_batch.abandonLine();
    QString ignored;
    m_batch.finish(&ignored);
    return failJob(m_ctx, text);
}

JobResult ImportRun::checkDone()
{
    QString why;
    if (m_caseSpoiled && !endCase(&why)) {
        return checkFailed(QStringLiteral("Verifica interrotta. File %1: %2").arg(m_fileName, why));
    }
    if (!m_batch.finish(&why)) {
        return checkFailed(QStringLiteral("Verifica interrotta. File %1: %2").arg(m_fileName, why));
    }
    CheckReport& check = *m_ctx.check;
    check.finish(m_linesRead);
    if (m_checkWrites) {
        check.setWrites(m_checkWrites());
    } else if (check.writes().isEmpty()) {
        check.setWrites(
            { { QStringLiteral("pratiche"), m_counts[JobReporter::Clienti] - m_startCounts[JobReporter::Clienti] },
                { QStringLiteral("fatture"), m_counts[JobReporter::Fatture] - m_startCounts[JobReporter::Fatture] } });
    }
    if (check.clean()) {
        return JobResult::completed();
    }
    return { JobStatus::Failed, QStringLiteral("%1 righe errate").arg(check.badLineCount()) };
}

bool ImportRun::beginRegister(const QString& path, JobResult* result)
{
    if (checking()) {
        return true;
    }
    const Stopwatch watch(&m_registerNs);
    QFile file(path);
    Sha256 sha;
    if (!file.open(QIODevice::ReadOnly) || !sha.addData(&file)) {
        *result = stopFile(file.errorString());
        return false;
    }
    return beginRegister(path, file.size(), sha.hexResult(), result);
}

namespace {

QString whenAndWhere(const ImportRegister::Earlier& earlier)
{
    return QStringLiteral("il %1 alle %2 da %3 (lotto %4)")
        .arg(shortDate(earlier.start.date()), earlier.start.toString(QStringLiteral("HH:mm")), earlier.workstation,
            earlier.boxes.value(3));
}

} // namespace

bool ImportRun::decideRerun(const ImportRegister::Earlier& earlier, ImportRegister::Run* run, JobResult* result)
{
    using State = ImportRegister::State;
    using Mode = ImportRegister::Mode;
    const auto refuse = [&](const QString& text) {
        m_ctx.report.message(text);
        *result = JobResult::condition();
        return false;
    };
    run->previous = earlier.run;
    switch (earlier.state) {
    case State::Running:
        return refuse(QStringLiteral("Il file %1 è in corso di importazione: l'ha iniziato %2.")
                          .arg(m_fileName, whenAndWhere(earlier)));
    case State::Completed: {
        const QString done
            = QStringLiteral("Il file %1 è già stato importato %2.").arg(m_fileName, whenAndWhere(earlier));
        if (m_ctx.rerun != Rerun::Again) {
            const int answer = m_ctx.rerun == Rerun::Refuse
                ? m_ctx.report.ask(done.chopped(1) + QStringLiteral(". Importarlo di nuovo?"), {}, 1)
                : -1;
            if (answer != 0) {
                return answer < 0 ? refuse(done) : (*result = JobResult::condition(), false);
            }
        }
        run->mode = Mode::Again;
        return true;
    }
    case State::Undone:
        // Taken back: nothing of it is in the database any more.
        run->mode = Mode::New;
        run->previous = 0;
        return true;
    case State::Stopped:
    case State::ConnectionLost:
        break;
    }
    if (earlier.lastLineSaved <= 0) {
        run->mode = Mode::New; // nothing of it was saved: a run like the first
        return true;
    }
    const qint64 next = earlier.lastLineSaved + 1;
    const QString stopped = QStringLiteral("L'importazione del file %1 iniziata %2 si è fermata dopo la riga %3.")
                                .arg(m_fileName, whenAndWhere(earlier))
                                .arg(earlier.lastLineSaved);
    Rerun choice = m_ctx.rerun;
    if (choice == Rerun::Refuse) {
        const int answer = m_ctx.report.ask(stopped,
            { QStringLiteral("Riprendi dalla riga %1").arg(next), QStringLiteral("Da capo"),
                QStringLiteral("Annulla") },
            0);
        if (answer < 0) {
            return refuse(stopped
                + QStringLiteral(" Per continuare dalla riga %1 indicare --riprendi, per importarlo da capo --ancora.")
                      .arg(next));
        }
        if (answer > 1) {
            *result = JobResult::condition();
            return false;
        }
        choice = answer == 0 ? Rerun::Resume : Rerun::Again;
    }
    if (choice == Rerun::Again) {
        run->mode = Mode::Again;
        return true;
    }
    // The lines still to come must be written as the saved ones were.
    for (int box : { 0, 1, 2, 3, 5, 6 }) {
        if (earlier.boxes.value(box) != m_ctx.batch.Text1[box]) {
            return refuse(QStringLiteral("L'importazione del file %1 si riprende con i dati della prima corsa: "
                                         "data affido \"%2\", scadenza \"%3\", intervento \"%4\", lotto \"%5\", "
                                         "mandato \"%6\", sit. aff. \"%7\".")
                              .arg(m_fileName, earlier.boxes.value(0), earlier.boxes.value(1), earlier.boxes.value(2),
                                  earlier.boxes.value(3), earlier.boxes.value(5), earlier.boxes.value(6)));
        }
    }
    run->mode = Mode::Resume;
    run->resumeAfter = earlier.lastLineSaved;
    return true;
}

bool ImportRun::beginRegister(const QString& path, qint64 size, const QByteArray& sha256, JobResult* result)
{
    if (checking()) {
        return true;
    }
    const Stopwatch watch(&m_registerNs);
    const auto unwritable = [&](const QString& error) {
        *result
            = stopFile(QStringLiteral("il registro delle importazioni non si può scrivere, nulla è stato importato: %1")
                           .arg(error));
        return false;
    };
    if (m_ctx.db.isReadOnly()) {
        return unwritable(QStringLiteral("il database si può solo leggere (file o cartella in sola lettura)"));
    }
    ImportRegister::Run run { m_ctx.job, m_fileName, size, sha256 };
    ImportRegister::Earlier earlier;
    QString error;
    if (!m_register.lookUp(m_ctx.job, sha256, m_ctx.report.now(), &earlier, &error)) {
        return unwritable(error);
    }
    // The question is asked with nothing held; the row is written only if no other desk
    // started the file meanwhile.
    for (int attempt = 0; attempt < 3; ++attempt) {
        run = { m_ctx.job, m_fileName, size, sha256 };
        if (earlier.run > 0 && !decideRerun(earlier, &run, result)) {
            return false;
        }
        const qint64 expected = earlier.run;
        if (m_register.begin(run, m_ctx.batch, m_ctx.report.now(), expected, &earlier, &error)) {
            break;
        }
        if (!error.isEmpty()) {
            return unwritable(error);
        }
    }
    if (!m_register.isOpen()) {
        return unwritable(QStringLiteral("il file è stato avviato da un'altra postazione nello stesso momento"));
    }
    Q_UNUSED(path);
    m_mode = run.mode;
    m_resumeAfter = run.resumeAfter;
    if (m_mode == ImportRegister::Mode::Resume) {
        m_resumed = earlier;
        m_ctx.report.Addlist(QStringLiteral("ripresa dalla riga %1").arg(m_resumeAfter + 1));
    }
    return true;
}

ImportRegister::Counts ImportRun::registerCounts(qint64 lastLineSaved) const
{
    return { m_linesRead, lastLineSaved, m_counts[JobReporter::Clienti] - m_startCounts[JobReporter::Clienti],
        m_counts[JobReporter::Fatture] - m_startCounts[JobReporter::Fatture] };
}

void ImportRun::endRegister(ImportRegister::State state, const QString& message)
{
    const qint64 saved = m_batch.firstUnsavedLine() - 1;
    ImportRegister::Counts counts = registerCounts(state == ImportRegister::State::Completed ? m_linesRead : saved);
    counts.clienti = m_committedCounts[JobReporter::Clienti] - m_startCounts[JobReporter::Clienti];
    counts.fatture = m_committedCounts[JobReporter::Fatture] - m_startCounts[JobReporter::Fatture];
    // A run that saved nothing new leaves the last line its earlier runs saved.
    counts.lastLineSaved = std::max(counts.lastLineSaved, m_resumeAfter);
    {
        const Stopwatch watch(&m_registerNs);
        m_register.end(state, counts, message, m_ctx.report.now());
    }
    qCInfo(lcTiming, "%s: register %.3f s (SHA-256 %.3f s) of %.3f s, %.1f %%", qUtf8Printable(m_ctx.job),
        m_registerNs / 1e9, m_hashNs / 1e9, m_runTimer.nsecsElapsed() / 1e9,
        100.0 * m_registerNs / std::max<qint64>(1, m_runTimer.nsecsElapsed()));
}

bool ImportRun::groupCommitting(qint64 lastLine, SqlDialect::Statement* withCommit, QString* error)
{
    // The lines' own writes held for the group go first: they are the import's, not the register's.
    if (!m_ctx.db.sendHeldWrites(error)) {
        return false;
    }
    const Stopwatch watch(&m_registerNs);
    // The records of the lines kept go with the group; those of lines taken back are gone. They
    // are let go once the group is committed: a group sent behind and refused is written again
    // up to its refused line, with the records of the lines before it.
    QList<ImportRegister::Record> kept;
    kept.reserve(m_records.size());
    for (const ImportRegister::Record& r : std::as_const(m_records)) {
        if (r.line <= lastLine) {
            kept.append(r);
        }
    }
    // The run's row goes with the group: after any stop it names the last line saved. A group
    // sent behind has everything go with its commit, as nothing may be written before it.
    return m_register.savedGroup(
        kept, registerCounts(lastLine), m_ctx.report.now(), withCommit, error, m_batch.commitsBehind());
}

void ImportRun::groupCommitted(qint64 lastLine)
{
    // A group sent behind has its answer while later lines are read: what it saved is what was
    // counted up to its last line.
    m_committedCounts = countsBefore(lastLine + 1);
    m_records.removeIf([lastLine](const ImportRegister::Record& r) { return r.line <= lastLine; });
    for (const JobReporter::Counter c : { JobReporter::Clienti, JobReporter::Fatture }) {
        showCount(c, m_committedCounts[c]);
    }
    // What a refused group needs to know of its lines; the line whose handling committed this
    // group belongs to the next one.
    m_groupCases.removeIf([lastLine](const auto& entry) { return entry.first <= lastLine; });
    showProgress(lastLine);
}

std::array<qint64, 2> ImportRun::countsBefore(qint64 line) const
{
    for (const GroupLine& l : m_groupLines) {
        if (l.line >= line) {
            return l.counts;
        }
    }
    return m_counts;
}

void ImportRun::linesRefused(qint64 lastLine, const QList<GroupWrites::Refusal>& refusals)
{
    // A check's group the database took only in part: each refused line is a bad line, and what
    // its case counted (or the line, outside any case) is not what a run would write. A case the
    // check took back itself is counted out already.
    QList<qint64> countedOut;
    for (const GroupWrites::Refusal& r : refusals) {
        m_ctx.check->addBadLine(m_fileName, r.line, r.error);
        if (r.takenBack || countedOut.contains(r.cut)) {
            continue;
        }
        countedOut.append(r.cut);
        qint64 end = r.cut + 1;
        if (r.unitFirst > 0) {
            end = lastLine + 1;
            for (const auto& entry : std::as_const(m_groupCases)) {
                if (entry.first > r.unitFirst) {
                    end = entry.first;
                    break;
                }
            }
        }
        const std::array<qint64, 2> from = countsBefore(r.cut);
        const std::array<qint64, 2> to = countsBefore(end);
        for (const JobReporter::Counter c : { JobReporter::Clienti, JobReporter::Fatture }) {
            const qint64 out = to[c] - from[c];
            m_counts[c] -= out;
            // The lines after it counted on from the case.
            for (GroupLine& l : m_groupLines) {
                if (l.line >= end) {
                    l.counts[c] -= out;
                }
            }
        }
    }
}

void ImportRun::showProgress(qint64 upTo)
{
    qsizetype shown = 0;
    for (; shown < m_groupLines.size() && m_groupLines[shown].line <= upTo; ++shown) {
        m_ctx.report.setProgress(m_groupLines[shown].progress);
    }
    m_groupLines.remove(0, shown);
}

bool ImportRun::takeRefusal(qint64* line, QString* why)
{
    const GroupWrites::Refusal* r = m_batch.refusal();
    if (!r) {
        return false;
    }
    // The database refused a line of a group, found by writing the group again line by line: the
    // run stops there as if it had just been written, its case taken back with it.
    const qint64 first = r->cut;
    std::array<qint64, 2> counts = m_committedCounts;
    for (const GroupLine& l : std::as_const(m_groupLines)) {
        if (l.line == first) {
            counts = l.counts;
        }
    }
    for (const JobReporter::Counter c : { JobReporter::Clienti, JobReporter::Fatture }) {
        resetCount(c, counts[c]);
    }
    *line = r->line;
    *why = r->error;
    if (r->unitFirst > 0) {
        QString position = m_casePosition;
        for (const auto& [number, name] : std::as_const(m_groupCases)) {
            if (number == r->unitFirst) {
                position = name;
            }
        }
        if (r->unitFirst < r->line) {
            *why += QStringLiteral(" (la pratica %1 non è stata salvata: l'importazione va ripresa dalla riga %2)")
                        .arg(position)
                        .arg(r->unitFirst);
        } else {
            *why += QStringLiteral(" (la pratica %1 non è stata salvata)").arg(position);
        }
    }
    return true;
}

JobResult ImportRun::readTextFile(const QString& path, LineHandler& handler, Progress progress)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return stopFile(file.errorString());
    }
    m_ctx.report.setProgressMaximum(file.size() + kProgressBlock);
    LineReader reader(&file);
    // The encoding is decided for the whole file before its first line is written; the same
    // reading gives the file's fingerprint for the register.
    Sha256 sha;
    const LineReader::Status encoding = reader.decideEncoding(checking() ? nullptr : &sha);
    m_hashNs += reader.hashNanoseconds();
    m_registerNs += reader.hashNanoseconds();
    JobResult refused;
    if (!beginRegister(path, file.size(), sha.hexResult(), &refused)) {
        return refused;
    }
    if (encoding == LineReader::Status::Error) {
        return stop(reader.errorLine(), reader.errorString());
    }
    QString text;
    for (;;) {
        const qint64 before = reader.position();
        const LineReader::Status status = reader.readLine(&text);
        if (status == LineReader::Status::End) {
            break;
        }
        if (status == LineReader::Status::Error) {
            return stop(reader.errorLine(), reader.errorString());
        }
        if (reader.lineNumber() <= m_resumeAfter) {
            m_linesRead = reader.lineNumber(); // saved by the run this one resumes
            continue;
        }
        if (handler.endsInput(text)) {
            break;
        }
        const qint64 shown
            = (progress == Progress::BeforeLine ? before : reader.position()) / kProgressBlock * kProgressBlock;
        if (m_batch.groupsWrites()) {
            // Shown once the line is saved: a group the database refuses stops where it did.
            m_groupLines.append({ reader.lineNumber(), m_counts, shown });
        } else {
            m_ctx.report.setProgress(shown);
        }
        m_batch.setLine(reader.lineNumber());
        m_batch.setReadLine(reader.lineNumber());
        m_linesRead = reader.lineNumber();
        QString why;
        if (!handler.line(text, reader.lineNumber(), &why) && !passOver(reader.lineNumber(), why)) {
            return stop(reader.lineNumber(), why);
        }
    }
    QString why;
    m_batch.setReadLine(reader.lineNumber());
    if (!handler.endOfInput(&why) && !passOver(reader.lineNumber(), why)) {
        return stop(reader.lineNumber(), why);
    }
    return complete(handler.closing(), reader.lineNumber());
}

JobResult ImportRun::stop(qint64 line, const QString& reason)
{
    if (checking()) {
        if (m_batch.hasFailed()) {
            return checkFailed(QStringLiteral("Verifica interrotta. File %1, riga %2: %3")
                                   .arg(m_fileName)
                                   .arg(line)
                                   .arg(m_batch.stopReason(reason)));
        }
        // A file that cannot be read on: what came before is reported, nothing after.
        m_batch.abandonLine();
        m_caseSpoiled = m_batch.inUnit(); // the case in progress is not whole
        m_ctx.check->addBadLine(
            m_fileName, line, reason + QStringLiteral(" (la verifica si ferma qui: il resto del file non si legge)"));
        return checkDone();
    }
    m_batch.abandonLine();
    // Everything the lines before gave stays. Once writing has failed nothing more can be saved;
    // the batch says from which line.
    QString why = reason;
    bool refused = takeRefusal(&line, &why);
    if (!refused && m_batch.inUnit() && !m_batch.hasFailed()) {
        // The case in progress is not whole: none of it stays, and the boxes say so.
        const qint64 first = m_batch.unitFirstLine();
        m_batch.abandonUnit();
        for (const JobReporter::Counter c : { JobReporter::Clienti, JobReporter::Fatture }) {
            resetCount(c, m_caseCounts[c]);
        }
        if (first < line) {
            why += QStringLiteral(" (la pratica %1 non è stata salvata: l'importazione va ripresa dalla riga %2)")
                       .arg(m_casePosition)
                       .arg(first);
        } else {
            why += QStringLiteral(" (la pratica %1 non è stata salvata)").arg(m_casePosition);
        }
    }
    QString commitError;
    bool committed = m_batch.finish(&commitError);
    if (!refused && takeRefusal(&line, &why)) {
        // Refused as the lines were committed: the lines before the refused one are committed now.
        refused = true;
        commitError.clear();
        committed = m_batch.finish(&commitError);
    }
    if (m_batch.hasFailed()) {
        // The boxes go back to what is in the database.
        for (const JobReporter::Counter c : { JobReporter::Clienti, JobReporter::Fatture }) {
            resetCount(c, m_committedCounts[c]);
        }
    } else if (!committed) {
        why += QStringLiteral(" (le righe precedenti non sono state salvate: %1)").arg(commitError);
    }
    showProgress(line);
    m_groupLines.clear();
    const QString text = lineError(m_fileName, line, m_batch.stopReason(why));
    endRegister(
        m_batch.transactionLost() ? ImportRegister::State::ConnectionLost : ImportRegister::State::Stopped, text);
    return failJob(m_ctx, text);
}

JobResult ImportRun::appendFromTextFile(const QString& path, LineHandler& handler, Progress progress)
{
    m_batch.setGroupWrites(true);
    m_batch.setLinesPerCommit(WriteBatch::kNewRecordLinesPerCommit);
    m_batch.setCommitBehind(true);
    m_ctx.db.setAppending(true);
    // Every way out of the reading has finished the batch: no group is being written any more.
    const JobResult result = readTextFile(path, handler, progress);
    m_ctx.db.setAppending(false);
    return result;
}

JobResult ImportRun::stopFile(const QString& reason)
{
    if (checking()) {
        return checkFailed(QStringLiteral("Verifica interrotta. File %1: %2").arg(m_fileName, reason));
    }
    m_batch.abandonLine();
    QString ignored;
    m_batch.finish(&ignored);
    showProgress(m_linesRead);
    const QString text = fileError(m_fileName, reason);
    endRegister(ImportRegister::State::Stopped, text);
    return failJob(m_ctx, text);
}

JobResult ImportRun::complete(const QString& closing, qint64 lastLine)
{
    if (checking()) {
        return checkDone();
    }
    QString why;
    if (!m_batch.finish(&why)) {
        // The last group's lines are named, as a run stopped in the middle names them.
        return stop(lastLine, QStringLiteral("salvataggio non riuscito: %1").arg(why));
    }
    showProgress(m_linesRead);
    endRegister(ImportRegister::State::Completed, closing);
    QString text = closing;
    if (m_mode == ImportRegister::Mode::Resume) {
        const qint64 clienti = m_committedCounts[JobReporter::Clienti] - m_startCounts[JobReporter::Clienti];
        const qint64 fatture = m_committedCounts[JobReporter::Fatture] - m_startCounts[JobReporter::Fatture];
        text += QStringLiteral(" (ripresa dalla riga %1; con le corse precedenti: %2 clienti, %3 fatture)")
                    .arg(m_resumeAfter + 1)
                    .arg(m_resumed.clienti + clienti)
                    .arg(m_resumed.fatture + fatture);
    }
    m_ctx.report.message(text);
    return JobResult::completed();
}

} // namespace zb32
