// The confirmation import run: input, lookup, dispatch, counters, closing message.
#include "core/imports/confirmations/ConfirmationImport.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/LineReader.h"
#include "core/desk/Schema.h"
#include "core/imports/confirmations/CaseLookup.h"
#include "core/imports/confirmations/CollectionLine.h"
#include "core/imports/confirmations/ExpenseWorkbook.h"
#include "core/imports/confirmations/InvoiceOutcomes.h"
#include "core/imports/confirmations/PaymentPosting.h"
#include "core/jobs/BatchStamp.h"
#include "core/jobs/ImportRun.h"

#include <QFile>
#include <deque>
#include <memory>
#include <utility>

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

class ConfirmationRun : public ImportRun::LineHandler
{
public:
    ConfirmationRun(JobContext& ctx, int mode, const BatchStamp& stamp)
        : m_ctx(ctx)
        , m_settings { mode, stamp.tipoMandato, ctx.batch.chkRevocaCop, ctx.report.today() }
        , m_checkpoints(ctx.db)
        , m_run(ctx, stamp.fileName)
        , m_lookup(m_settings.clientCode)
        , m_cases(ctx.db, Schema::kCases)
        , m_groupCases(ctx.db, Schema::kCases)
        , m_invoices(ctx.db, m_settings, m_counters)
        , m_payments(ctx.db, m_settings, m_counters, m_invoices)
    {
        m_run.batch().setSharedRecords(true); // the postings change existing cases
        m_run.batch().setGroupWrites(true);
        m_run.showCountsWhenSaved();
    }

    JobResult textFile(const QString& path);
    JobResult workbook(const QString& path);

    bool endsInput(const QString& text) override
    {
        // A line of the same text decodes the same: the reading ahead's is taken when it matches.
        if (!m_aheadLines.empty() && m_aheadLines.front().first == text) {
            m_decoded = std::move(m_aheadLines.front().second);
            m_aheadLines.pop_front();
        } else {
            m_aheadLines.clear();
            m_decoded = decodeCollectionLine(text, m_settings.today);
        }
        return m_decoded.empty; // a blank line ends the file
    }
    bool line(const QString& text, qint64 number, QString* why) override;
    QString closing() const override { return kClosing + QString::number(m_counters.confirmed); }
    bool endOfInput(QString*) override
    {
        setCheckWrites();
        return true;
    }

private:
    bool prepare(QString* error) { return m_invoices.prepare(error) && m_payments.prepare(error); }
    // Opens the record's unit of writes and looks its case up; logs it when there is none. The
    // unit comes first: another desk posting on the same case has committed, or waits for us,
    // before the case is read. False only on a database error.
    bool lookUp(const ConfirmationRecord& record, bool* found, QString* error);
    // Ends the unit of a record that posts nothing.
    bool skip(QString* error) { return m_run.batch().endLine(error); }
    // Handles a record whose case is found, and ends its unit.
    bool handle(const ConfirmationRecord& record, Kind kind, QString* error);
    // A check tells what the run would post.
    void setCheckWrites();
    // The group's view of its cases and their open payments, read together as the group begins.
    bool readGroup(QString* error);
    void dropGroup()
    {
        m_lookup.dropGroup();
        m_payments.dropGroup();
    }
    // At the start of a group: the positions of the file's next group of lines, from a reading
    // of its own a group ahead of the run's; none at the end of the file.
    QStringList positionsAhead(qint64 fromLine);
    // The same of a workbook: the positions of its next group of records, from the current one.
    QStringList rowPositionsAhead() const;

    JobContext& m_ctx;
    PostingSettings m_settings;
    ConfirmationCounters m_counters;
    DeferredCheckpoints m_checkpoints; // ends after the batch's last commit
    ImportRun m_run;
    CaseLookup m_lookup;
    Recordset m_cases;
    Recordset m_groupCases; // the cases of the group's records, read together
    Recordset* m_case = &m_cases; // the current record's case
    std::unique_ptr<QFile> m_aheadFile;
    std::unique_ptr<LineReader> m_ahead;
    // The lines the reading ahead decoded after the group's first, with their texts, in order.
    std::deque<std::pair<QString, CollectionLine>> m_aheadLines;
    const ExpenseWorkbook* m_book = nullptr; // the workbook being imported
    int m_bookIndex = 0; // its current data row
    InvoiceOutcomes m_invoices;
    PaymentPosting m_payments;
    CollectionLine m_decoded;
    qint64 m_outcomes = 0; // outcome records (codes 37 and 36) posted
};

void ConfirmationRun::setCheckWrites()
{
    // Asked after the last group is tried: the payments and invoices of lines the database refused
    // are counted out of the run's counters by then.
    m_run.setCheckWrites([this]() -> QList<std::pair<QString, qint64>> {
        return { { QStringLiteral("pagamenti"), m_run.count(JobReporter::Clienti) },
            { QStringLiteral("fatture"), m_run.count(JobReporter::Fatture) },
            { QStringLiteral("rate confermate"), m_counters.confirmed }, { QStringLiteral("esiti"), m_outcomes } };
    });
}

QStringList ConfirmationRun::positionsAhead(qint64 fromLine)
{
    QStringList positions;
    m_aheadLines.clear();
    if (!m_ahead) {
        return positions;
    }
    QString text;
    while (m_ahead->lineNumber() < fromLine - 1) {
        if (m_ahead->readLine(&text) != LineReader::Status::Line) {
            m_ahead.reset();
            return positions;
        }
    }
    for (int i = 0; i < WriteBatch::kLinesPerCommit; ++i) {
        if (m_ahead->readLine(&text) != LineReader::Status::Line) {
            m_ahead.reset();
            break;
        }
        CollectionLine line = decodeCollectionLine(text, m_settings.today);
        if (line.empty) {
            m_ahead.reset();
            break;
        }
        if (!line.truncated()) {
            positions << line.record.position;
        }
        if (i > 0) { // the first is the line being handled, decoded already
            m_aheadLines.emplace_back(std::move(text), std::move(line));
        }
    }
    return positions;
}

QStringList ConfirmationRun::rowPositionsAhead() const
{
    QStringList positions;
    ConfirmationRecord record;
    QString ignored;
    for (int index = m_bookIndex; index <= m_book->recordCount() && positions.size() < WriteBatch::kLinesPerCommit;
         ++index) {
        if (m_book->read(index, &record, &ignored) == ExpenseWorkbook::Row::Record) {
            positions << record.position;
        }
    }
    return positions;
}

bool ConfirmationRun::readGroup(QString* error)
{
    dropGroup();
    const QStringList positions = m_book ? rowPositionsAhead() : positionsAhead(m_run.batch().currentLine());
    if (positions.isEmpty() || !m_lookup.readGroup(m_ctx.db, positions, m_groupCases, error)) {
        return positions.isEmpty();
    }
    QVariantList keys;
    keys.reserve(m_groupCases.recordCount());
    for (m_groupCases.moveFirst(); !m_groupCases.eof(); m_groupCases.moveNext()) {
        keys << m_groupCases.key();
    }
    return m_payments.readGroup(m_ctx.db, keys, error);
}

bool ConfirmationRun::lookUp(const ConfirmationRecord& record, bool* found, QString* error)
{
    // A group's transaction takes its turn as it begins; the cases of its records are read
    // after that, together, and what the group writes goes through that same view of them.
    const bool groupBegins = !m_ctx.db.inTransaction();
    if (!m_run.batch().beginLine(error)) {
        return false;
    }
    if (groupBegins && !readGroup(error)) {
        return false;
    }
    m_case = &m_groupCases;
    if (!m_lookup.fromGroup(record.position, m_groupCases, found)) {
        m_case = &m_cases;
        if (!m_lookup.CercaPratica(record.position, m_cases, found, error)) {
            return false;
        }
    }
    if (!*found) {
        if (m_ctx.check) {
            m_ctx.check->addMissingCase(record.position); // listed in the check's report
        } else {
            m_ctx.report.Addlist(kNotFound + record.position);
        }
    }
    return true;
}

bool ConfirmationRun::handle(const ConfirmationRecord& record, Kind kind, QString* error)
{
    const ConfirmationCounters before = m_counters;
    bool ok = false;
    Recordset& cases = *m_case;
    switch (kind) {
    case Kind::Payment:
        ok = m_payments.RegistraPagamento(record, cases, error);
        break;
    case Kind::Invoice:
        ok = m_invoices.RegistraFattura(record, cases, error);
        break;
    case Kind::Outcome37:
        ok = m_invoices.Esito37(cases, error);
        break;
    case Kind::Outcome36:
        ok = m_invoices.Esito36(cases, error);
        break;
    case Kind::Skip:
        ok = true;
        break;
    }
    if (!ok) {
        m_run.batch().abandonLine();
        // What the line changed in the group's view of its case is taken back in the database.
        cases.cancelUpdate();
        dropGroup();
        m_counters = before; // the counters tell what is saved
        return false;
    }
    if (kind == Kind::Outcome37 || kind == Kind::Outcome36) {
        ++m_outcomes;
    }
    // The boxes show the running counts from the first posting on, as their groups are saved.
    // They count on by what the record added: a check counts a line the database refuses out.
    m_run.setCount(JobReporter::Clienti, m_run.count(JobReporter::Clienti) + m_counters.posted - before.posted);
    m_run.setCount(JobReporter::Fatture, m_run.count(JobReporter::Fatture) + m_counters.invoices - before.invoices);
    return m_run.batch().endLine(error);
}

bool ConfirmationRun::line(const QString&, qint64, QString* why)
{
    const CollectionLine& decoded = m_decoded;
    if (decoded.truncated()) {
        // Skipped as a record of another code, a payment cut short would be lost unsaid.
        *why = QStringLiteral("la riga è troncata: finisce alla colonna %1, prima del codice del record "
                              "(colonne 61-63)")
                   .arg(decoded.length);
        return false;
    }
    bool found = false;
    if (!lookUp(decoded.record, &found, why)) {
        return false;
    }
    const Kind kind = kindOf(decoded.record.code);
    if (!found || kind == Kind::Skip) {
        return skip(why);
    }
    // Only the records that post an amount read it.
    if ((kind == Kind::Payment || kind == Kind::Invoice) && !decoded.amountIsNumber) {
        *why = QStringLiteral("l'importo \"%1\" (colonne 31-38) non è un numero").arg(decoded.amountText);
        return false;
    }
    return handle(decoded.record, kind, why);
}

JobResult ConfirmationRun::textFile(const QString& path)
{
    QString why;
    if (!prepare(&why)) {
        return m_run.stopFile(why);
    }
    // Only a reading ahead: the run's own reading decides on the file and its lines.
    m_aheadFile = std::make_unique<QFile>(path);
    if (m_aheadFile->open(QIODevice::ReadOnly)) {
        m_ahead = std::make_unique<LineReader>(m_aheadFile.get());
        if (m_ahead->decideEncoding() == LineReader::Status::Error) {
            m_ahead.reset();
        }
    }
    return m_run.readTextFile(path, *this);
}

JobResult ConfirmationRun::workbook(const QString& path)
{
    ExpenseWorkbook book;
    QString why;
    if (!book.open(path, &why) || !prepare(&why)) {
        return m_run.stopFile(why);
    }
    JobResult refused;
    if (!m_run.beginRegister(path, &refused)) {
        return refused;
    }
    const int count = book.recordCount();
    m_ctx.report.setProgressMaximum(count);
    m_book = &book;
    int records = 0;
    for (int index = 1; index <= count; ++index) {
        m_bookIndex = index;
        m_ctx.report.setProgress(index);
        ConfirmationRecord record;
        const int row = ExpenseWorkbook::sheetRow(index);
        switch (book.read(index, &record, &why)) {
        case ExpenseWorkbook::Row::Blank:
            continue;
        case ExpenseWorkbook::Row::Unreadable:
            if (!m_run.passOver(row, why)) {
                return m_run.stop(row, why);
            }
            continue;
        case ExpenseWorkbook::Row::Record:
            ++records;
            break;
        }
        m_run.setLinesRead(row);
        if (row <= m_run.resumeAfter()) {
            continue; // saved by the run this one resumes
        }
        m_run.batch().setLine(row);
        bool found = false;
        if (!lookUp(record, &found, &why)) {
            return m_run.stop(row, why);
        }
        if (!(found ? handle(record, Kind::Payment, &why) : skip(&why)) && !m_run.passOver(row, why)) {
            return m_run.stop(row, why);
        }
    }
    if (records == 0) {
        // A closing message with no confirmation would read as a file that was imported.
        return m_run.stopFile(QStringLiteral("la cartella di lavoro non ha righe di dati sotto le intestazioni (foglio "
                                             "%1): nessuna conferma da importare")
                                  .arg(book.sheet()));
    }
    setCheckWrites();
    return m_run.complete(closing(), ExpenseWorkbook::sheetRow(count));
}

} // namespace

JobResult ImportaPag(JobContext& ctx, int mode)
{
    ctx.report.clearLog();
    JobResult result;
    QString path;
    if (!openDatabase(ctx, &result) || !ImportRun::findInput(ctx, &path, &result)) {
        return result;
    }
    if (mode != 0 && mode != 1) {
        return failJob(ctx, QStringLiteral("modo di importazione sconosciuto: %1").arg(mode));
    }
    ConfirmationRun run(ctx, mode, BatchStamp::texts(ctx.batch));
    return mode == 1 ? run.workbook(path) : run.textFile(path);
}

} // namespace zb32
