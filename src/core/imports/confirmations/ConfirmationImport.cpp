// The confirmation import run: input, lookup, dispatch, counters, closing message.
#include "core/imports/confirmations/ConfirmationImport.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/LineReader.h"
#include "core/desk/Schema.h"
#include "core/desk/WriteBatch.h"
#include "core/imports/confirmations/CaseLookup.h"
#include "core/imports/confirmations/CollectionLine.h"
#include "core/imports/confirmations/ExpenseWorkbook.h"
#include "core/imports/confirmations/InvoiceOutcomes.h"
#include "core/imports/confirmations/PaymentPosting.h"

#include <QFile>
#include <QFileInfo>

namespace zb32 {

namespace {

const QString kNotFound = QStringLiteral("non trovo la pratica ");
const QString kClosing = QStringLiteral("importazione conclusa. Conferme di Pagamento effettuate: ");

enum class Kind { Payment, Invoice, Outcome37, Outcome36, Skip };

Kind kindOf(const QString& code)
{
    if (code == QLatin1String("362")) {
        return Kind::Invoice;
    }
    if (code == QLatin1String("350")) {
        return Kind::Payment;
    }
    if (code == QLatin1String("37")) {
        return Kind::Outcome37;
    }
    if (code == QLatin1String("36")) {
        return Kind::Outcome36;
    }
    return Kind::Skip;
}

// The log's checkpoints wait for the end of the run (CaseDatabase::deferCheckpoints).
class DeferredCheckpoints
{
public:
    explicit DeferredCheckpoints(CaseDatabase& db)
        : m_db(db)
    {
        m_db.deferCheckpoints();
    }
    ~DeferredCheckpoints() { m_db.resumeCheckpoints(); }
    DeferredCheckpoints(const DeferredCheckpoints&) = delete;
    DeferredCheckpoints& operator=(const DeferredCheckpoints&) = delete;

private:
    CaseDatabase& m_db;
};

class ConfirmationRun
{
public:
    ConfirmationRun(JobContext& ctx, int mode, const QString& fileName)
        : m_ctx(ctx)
        , m_fileName(fileName)
        , m_settings { mode, ctx.batch.Text1[5], ctx.batch.chkRevocaCop, ctx.report.today() }
        , m_checkpoints(ctx.db)
        , m_batch(ctx.db)
        , m_lookup(m_settings.clientCode)
        , m_cases(ctx.db, Schema::kCases)
        , m_invoices(ctx.db, m_settings, m_counters)
        , m_payments(ctx.db, m_settings, m_counters, m_invoices)
    {
        m_batch.setSharedRecords(true); // the postings change existing cases
    }

    JobResult textFile(const QString& path);
    JobResult workbook(const QString& path);

private:
    bool prepare(QString* error) { return m_invoices.prepare(error) && m_payments.prepare(error); }
    // Opens the record's unit of writes and looks its case up; logs it when there is none. The
    // unit comes first: another desk posting on the same case has committed, or waits for us,
    // before the case is read. False only on a database error.
    bool lookUp(const ConfirmationRecord& record, bool* found, QString* error);
    // Ends the unit of a record that posts nothing.
    bool skip(QString* error) { return m_batch.endLine(error); }
    // Handles a record whose case is found, and ends its unit.
    bool handle(const ConfirmationRecord& record, Kind kind, QString* error);
    JobResult stop(qint64 number, const QString& unit, const QString& reason);
    JobResult stopFile(const QString& reason);
    // `lastLine`: the last line or row read.
    JobResult finish(qint64 lastLine);

    JobContext& m_ctx;
    QString m_fileName;
    PostingSettings m_settings;
    ConfirmationCounters m_counters;
    ConfirmationCounters m_committed; // as of the last commit, for the boxes when a group is lost
    int m_commitsSeen = 0;
    DeferredCheckpoints m_checkpoints; // ends after the batch's last commit
    WriteBatch m_batch;
    CaseLookup m_lookup;
    Recordset m_cases;
    InvoiceOutcomes m_invoices;
    PaymentPosting m_payments;
};

bool ConfirmationRun::lookUp(const ConfirmationRecord& record, bool* found, QString* error)
{
    if (!m_batch.beginLine(error) || !m_lookup.CercaPratica(record.position, m_cases, found, error)) {
        return false;
    }
    if (!*found) {
        m_ctx.report.Addlist(kNotFound + record.position);
    }
    return true;
}

bool ConfirmationRun::handle(const ConfirmationRecord& record, Kind kind, QString* error)
{
    const ConfirmationCounters before = m_counters;
    bool ok = false;
    switch (kind) {
    case Kind::Payment:
        ok = m_payments.RegistraPagamento(record, m_cases, error);
        break;
    case Kind::Invoice:
        ok = m_invoices.RegistraFattura(record, m_cases, error);
        break;
    case Kind::Outcome37:
        ok = m_invoices.Esito37(m_cases, error);
        break;
    case Kind::Outcome36:
        ok = m_invoices.Esito36(m_cases, error);
        break;
    case Kind::Skip:
        ok = true;
        break;
    }
    if (ok) {
        ok = m_batch.endLine(error);
    }
    if (!ok) {
        m_batch.abandonLine();
        m_counters = before; // the counters tell what is saved
        return false;
    }
    if (m_batch.commitCount() != m_commitsSeen) {
        m_commitsSeen = m_batch.commitCount();
        m_committed = m_counters;
    }
    // The boxes show the running counts from the first posting on.
    if (m_counters.posted != before.posted) {
        m_ctx.report.setCounter(JobReporter::Clienti, QString::number(m_counters.posted));
    }
    if (m_counters.invoices != before.invoices) {
        m_ctx.report.setCounter(JobReporter::Fatture, QString::number(m_counters.invoices));
    }
    return true;
}

JobResult ConfirmationRun::stop(qint64 number, const QString& unit, const QString& reason)
{
    m_batch.abandonLine();
    QString why;
    const bool saved = m_batch.finish(&why);
    QString text = lineError(m_fileName, number, m_batch.stopReason(reason), unit);
    if (m_batch.hasFailed()) {
        // The boxes go back to what is in the database.
        if (m_counters.posted != m_committed.posted) {
            m_ctx.report.setCounter(JobReporter::Clienti, QString::number(m_committed.posted));
        }
        if (m_counters.invoices != m_committed.invoices) {
            m_ctx.report.setCounter(JobReporter::Fatture, QString::number(m_committed.invoices));
        }
        m_counters = m_committed;
    }
    if (!saved && !m_batch.transactionLost()) {
        text += QStringLiteral(" (e il salvataggio delle righe precedenti non è riuscito: %1)").arg(why);
    }
    m_ctx.report.error(text);
    return JobResult::failed(text);
}

JobResult ConfirmationRun::stopFile(const QString& reason)
{
    const QString text = QStringLiteral("Importazione interrotta. File %1: %2").arg(m_fileName, reason);
    m_ctx.report.error(text);
    return JobResult::failed(text);
}

JobResult ConfirmationRun::finish(qint64 lastLine)
{
    QString why;
    if (!m_batch.finish(&why)) {
        // The last group's lines are named, as a run stopped in the middle names them.
        return stop(lastLine, QStringLiteral("riga"), QStringLiteral("salvataggio non riuscito: %1").arg(why));
    }
    m_ctx.report.message(kClosing + QString::number(m_counters.confirmed));
    return JobResult::completed();
}

JobResult ConfirmationRun::textFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return stopFile(file.errorString());
    }
    QString why;
    if (!prepare(&why)) {
        return stopFile(why);
    }
    m_ctx.report.setProgressMaximum(file.size() + 128);
    LineReader reader(&file);
    QString line;
    for (;;) {
        const LineReader::Status status = reader.readLine(&line);
        if (status == LineReader::Status::End) {
            break;
        }
        if (status == LineReader::Status::Error) {
            return stop(reader.lineNumber() + 1, QStringLiteral("riga"), reader.errorString());
        }
        const CollectionLine decoded = decodeCollectionLine(line, m_settings.today);
        if (decoded.empty) {
            break; // a blank line ends the file
        }
        m_ctx.report.setProgress(reader.position() / 128 * 128);
        if (decoded.truncated()) {
            // Skipped as a record of another code, a payment cut short would be lost unsaid.
            return stop(reader.lineNumber(), QStringLiteral("riga"),
                QStringLiteral("la riga è troncata: finisce alla colonna %1, prima del codice del record "
                               "(colonne 61-63)")
                    .arg(decoded.length));
        }
        m_batch.setLine(reader.lineNumber());
        bool found = false;
        if (!lookUp(decoded.record, &found, &why)) {
            return stop(reader.lineNumber(), QStringLiteral("riga"), why);
        }
        const Kind kind = kindOf(decoded.record.code);
        if (!found || kind == Kind::Skip) {
            if (!skip(&why)) {
                return stop(reader.lineNumber(), QStringLiteral("riga"), why);
            }
            continue;
        }
        // Only the records that post an amount read it.
        if ((kind == Kind::Payment || kind == Kind::Invoice) && !decoded.amountIsNumber) {
            return stop(reader.lineNumber(), QStringLiteral("riga"),
                QStringLiteral("l'importo \"%1\" (colonne 31-38) non è un numero").arg(decoded.amountText));
        }
        if (!handle(decoded.record, kind, &why)) {
            return stop(reader.lineNumber(), QStringLiteral("riga"), why);
        }
    }
    return finish(reader.lineNumber());
}

JobResult ConfirmationRun::workbook(const QString& path)
{
    ExpenseWorkbook book;
    QString why;
    if (!book.open(path, &why) || !prepare(&why)) {
        return stopFile(why);
    }
    const int count = book.recordCount();
    m_ctx.report.setProgressMaximum(count);
    int records = 0;
    for (int index = 1; index <= count; ++index) {
        m_ctx.report.setProgress(index);
        ConfirmationRecord record;
        const int row = ExpenseWorkbook::sheetRow(index);
        switch (book.read(index, &record, &why)) {
        case ExpenseWorkbook::Row::Blank:
            continue;
        case ExpenseWorkbook::Row::Unreadable:
            return stop(row, QStringLiteral("riga"), why);
        case ExpenseWorkbook::Row::Record:
            ++records;
            break;
        }
        m_batch.setLine(row);
        bool found = false;
        if (!lookUp(record, &found, &why)) {
            return stop(row, QStringLiteral("riga"), why);
        }
        if (!(found ? handle(record, Kind::Payment, &why) : skip(&why))) {
            return stop(row, QStringLiteral("riga"), why);
        }
    }
    if (records == 0) {
        // A closing message with no confirmation would read as a file that was imported.
        return stopFile(QStringLiteral("la cartella di lavoro non ha righe di dati sotto le intestazioni (foglio %1): "
                                       "nessuna conferma da importare")
                            .arg(book.sheet()));
    }
    return finish(ExpenseWorkbook::sheetRow(count));
}

} // namespace

JobResult ImportaPag(JobContext& ctx, int mode)
{
    ctx.report.clearLog();
    JobResult result;
    if (!openDatabase(ctx, &result)) {
        return result;
    }
    const QString name = ctx.batch.Text1[4];
    const QString path = resolveDrivePath(kImportFolder + name);
    if (name.isEmpty() || !QFileInfo(path).isFile()) {
        ctx.report.message(QStringLiteral("FILE MANCANTE"));
        return JobResult::condition();
    }
    if (mode != 0 && mode != 1) {
        const QString text = QStringLiteral("modo di importazione sconosciuto: %1").arg(mode);
        ctx.report.error(text);
        return JobResult::failed(text);
    }
    ConfirmationRun run(ctx, mode, name);
    return mode == 1 ? run.workbook(path) : run.textFile(path);
}

} // namespace zb32
