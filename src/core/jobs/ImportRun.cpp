// The line-by-line import skeleton.
#include "core/jobs/ImportRun.h"

#include "core/desk/DrivePath.h"
#include "core/desk/LineReader.h"

#include <QFile>
#include <QFileInfo>

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
}

ImportRun::~ImportRun()
{
    m_batch.setListener(nullptr);
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
    m_counts[counter] = value;
    m_committedCounts[counter] = value;
}

void ImportRun::setCount(JobReporter::Counter counter, qint64 value)
{
    if (m_counts[counter] != value) {
        m_counts[counter] = value;
        m_ctx.report.setCounter(counter, QString::number(value));
    }
}

void ImportRun::beginCase(qint64 firstLine, const QString& position)
{
    m_batch.beginUnit(firstLine);
    m_caseCounts = m_counts;
    m_casePosition = position;
}

bool ImportRun::endCase(QString* why)
{
    return m_batch.endUnit(why);
}

bool ImportRun::beginRegister(const QString& path, QString* why)
{
    QString error;
    if (!m_register.begin(m_ctx.job, path, m_ctx.batch, m_ctx.report.now(), &error)) {
        *why = QStringLiteral("il registro delle importazioni non si può scrivere, nulla è stato importato: %1")
                   .arg(error);
        return false;
    }
    return true;
}

ImportRegister::Counts ImportRun::registerCounts(qint64 lastLineSaved) const
{
    return { m_linesRead, lastLineSaved, m_counts[JobReporter::Clienti], m_counts[JobReporter::Fatture] };
}

void ImportRun::endRegister(ImportRegister::State state, const QString& message)
{
    const qint64 saved = m_batch.firstUnsavedLine() - 1;
    ImportRegister::Counts counts = registerCounts(state == ImportRegister::State::Completed ? m_linesRead : saved);
    counts.clienti = m_committedCounts[JobReporter::Clienti];
    counts.fatture = m_committedCounts[JobReporter::Fatture];
    m_register.end(state, counts, message, m_ctx.report.now());
}

bool ImportRun::groupCommitting(qint64 lastLine, QString* error)
{
    // The run's row goes with the group: after any stop it names the last line saved.
    return m_register.saved(registerCounts(lastLine), m_ctx.report.now(), error);
}

void ImportRun::groupCommitted(qint64)
{
    m_committedCounts = m_counts;
}

JobResult ImportRun::readTextFile(const QString& path, LineHandler& handler, Progress progress)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return stopFile(file.errorString());
    }
    m_ctx.report.setProgressMaximum(file.size() + kProgressBlock);
    QString opening;
    if (!beginRegister(path, &opening)) {
        return stopFile(opening);
    }
    LineReader reader(&file);
    // The encoding is decided for the whole file before its first line is written.
    if (reader.decideEncoding() == LineReader::Status::Error) {
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
        if (handler.endsInput(text)) {
            break;
        }
        const qint64 shown = progress == Progress::BeforeLine ? before : reader.position();
        m_ctx.report.setProgress(shown / kProgressBlock * kProgressBlock);
        m_batch.setLine(reader.lineNumber());
        m_linesRead = reader.lineNumber();
        QString why;
        if (!handler.line(text, reader.lineNumber(), &why)) {
            return stop(reader.lineNumber(), why);
        }
    }
    QString why;
    if (!handler.endOfInput(&why)) {
        return stop(reader.lineNumber(), why);
    }
    return complete(handler.closing(), reader.lineNumber());
}

JobResult ImportRun::stop(qint64 line, const QString& reason)
{
    m_batch.abandonLine();
    // Everything the lines before gave stays. Once writing has failed nothing more can be saved;
    // the batch says from which line.
    QString why = reason;
    if (m_batch.inUnit() && !m_batch.hasFailed()) {
        // The case in progress is not whole: none of it stays, and the boxes say so.
        const qint64 first = m_batch.unitFirstLine();
        m_batch.abandonUnit();
        for (const JobReporter::Counter c : { JobReporter::Clienti, JobReporter::Fatture }) {
            setCount(c, m_caseCounts[c]);
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
    const bool committed = m_batch.finish(&commitError);
    if (m_batch.hasFailed()) {
        // The boxes go back to what is in the database.
        for (const JobReporter::Counter c : { JobReporter::Clienti, JobReporter::Fatture }) {
            setCount(c, m_committedCounts[c]);
        }
    } else if (!committed) {
        why += QStringLiteral(" (le righe precedenti non sono state salvate: %1)").arg(commitError);
    }
    const QString text = lineError(m_fileName, line, m_batch.stopReason(why));
    endRegister(
        m_batch.transactionLost() ? ImportRegister::State::ConnectionLost : ImportRegister::State::Stopped, text);
    return failJob(m_ctx, text);
}

JobResult ImportRun::stopFile(const QString& reason)
{
    m_batch.abandonLine();
    QString ignored;
    m_batch.finish(&ignored);
    const QString text = fileError(m_fileName, reason);
    endRegister(ImportRegister::State::Stopped, text);
    return failJob(m_ctx, text);
}

JobResult ImportRun::complete(const QString& closing, qint64 lastLine)
{
    QString why;
    if (!m_batch.finish(&why)) {
        // The last group's lines are named, as a run stopped in the middle names them.
        return stop(lastLine, QStringLiteral("salvataggio non riuscito: %1").arg(why));
    }
    endRegister(ImportRegister::State::Completed, closing);
    m_ctx.report.message(closing);
    return JobResult::completed();
}

} // namespace zb32
