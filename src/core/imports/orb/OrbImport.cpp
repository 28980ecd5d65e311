// The Orb case import: one case per "A01" line, one invoice per detail line.
#include "core/imports/orb/OrbImport.h"

#include "core/imports/orb/OrbLine.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Formats.h"
#include "core/desk/LineReader.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/desk/WriteBatch.h"

#include <QFile>
#include <QFileInfo>
#include <array>

namespace zb32 {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The memo lines of a case's "A01", "A02" and "R01" lines, each ending with CR LF.
QString caseMemo(const OrbLine& line)
{
    return QStringLiteral("Stato Debitore ") + line.debtorStatus() + kCrLf //
        + QStringLiteral("Company ") + trimBlanks(line.company()) + kCrLf //
        + QStringLiteral("Deposito Cauzionale ") + line.deposit().toPlainText(QLatin1Char(',')) + kCrLf //
        + QStringLiteral("Scadenza Abbonamento ") + line.subscriptionExpiry() + kCrLf;
}

QString contractMemo(const OrbLine& line)
{
    return QStringLiteral("Data Contratto ") + line.contractDate() + kCrLf //
        + QStringLiteral("Decoder1 ") + line.decoder1() + kCrLf //
        + QStringLiteral("Decoder2 ") + line.decoder2() + kCrLf //
        + QStringLiteral("SMC1 ") + line.card1() + kCrLf //
        + QStringLiteral("SMC2 ") + line.card2() + kCrLf;
}

QString assignmentMemo(const OrbLine& line)
{
    return QStringLiteral("Importo Totale Affidato per debitore ") + line.assignedTotal().toPlainText(QLatin1Char(','))
        + kCrLf + QStringLiteral("Indicazione Fascia di importo Affidato ") + line.amountBand() + kCrLf;
}

class OrbRun
{
public:
    OrbRun(JobContext& ctx, const QString& fileName)
        : m_ctx(ctx)
        , m_fileName(fileName)
        , m_cases(ctx.db, Schema::kCases)
        , m_invoices(ctx.db, Schema::kInvoices)
        , m_batch(ctx.db)
    {
        // Tipo Mandato, data Affido, scadenza mandato, Tipo Intervento, Situazione Affido, lottoimportazione.
        const std::array<QString, 7>& box = ctx.batch.Text1;
        m_batchValues = { box[5], box[0], box[1], box[2], box[6], box[3] };
    }

    JobResult run(const QString& path);

private:
    bool handle(const OrbLine& line, QString* why);
    bool handleCase(const OrbLine& line, QString* why);
    bool handleMemo(const OrbLine& line, QString* why);
    bool handleDetail(const OrbLine& line, QString* why);
    // Writes the current case's overdue fields (when `close`) and whatever of it is not saved
    // yet, as a unit of its own: what it saves belongs to the lines before.
    bool saveCase(bool close, QString* why);
    JobResult stop(qint64 lineNumber, const QString& why);
    // The counts of what is committed, for the boxes when a group is lost.
    void noteCommit()
    {
        if (m_batch.commitCount() != m_commitsSeen) {
            m_commitsSeen = m_batch.commitCount();
            m_savedCases = m_caseCount;
            m_savedInvoices = m_invoiceCount;
        }
    }

    JobContext& m_ctx;
    QString m_fileName;
    Recordset m_cases;
    Recordset m_invoices;
    WriteBatch m_batch;
    bool m_hasCase = false; // an "A01" has opened a case that is not closed yet
    QString m_memo;
    Currency m_overdue;
    int m_caseCount = 0;
    int m_invoiceCount = 0;
    int m_commitsSeen = 0;
    int m_savedCases = 0;
    int m_savedInvoices = 0;
    const std::array<QString, 6> m_batchFields = {
        QStringLiteral("Tipo Mandato"),
        QStringLiteral("data Affido"),
        QStringLiteral("scadenza mandato"),
        QStringLiteral("Tipo Intervento"),
        QStringLiteral("Situazione Affido"),
        QStringLiteral("lottoimportazione"),
    };
    std::array<QVariant, 6> m_batchValues;
    bool m_batchConverted = false;
};

JobResult OrbRun::run(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString text = QStringLiteral("Importazione interrotta. File %1: %2").arg(m_fileName, file.errorString());
        m_ctx.report.error(text);
        return JobResult::failed(text);
    }
    QString why;
    if (!m_cases.openForAppend(&why) || !m_invoices.openForAppend(&why)) {
        const QString text = QStringLiteral("Importazione interrotta. File %1: %2").arg(m_fileName, why);
        m_ctx.report.error(text);
        return JobResult::failed(text);
    }
    m_ctx.report.setProgressMaximum(file.size() + 128);

    LineReader reader(&file);
    QString raw;
    for (;;) {
        const LineReader::Status status = reader.readLine(&raw);
        if (status == LineReader::Status::End) {
            break;
        }
        if (status == LineReader::Status::Error) {
            return stop(reader.lineNumber() + 1, reader.errorString());
        }
        const QString stripped = trimBlanks(raw);
        if (stripped.isEmpty()) {
            break; // an empty line ends the file
        }
        m_ctx.report.setProgress(reader.position() / 128 * 128);
        const OrbLine line(stripped);
        // Closing the case before writes what its own lines gave it: the batch still counts it
        // to them, so a commit right after it leaves the new "A01" line unsaved, as it is.
        if (line.kind() == OrbLine::Kind::Case && !saveCase(true, &why)) {
            return stop(reader.lineNumber(), why);
        }
        noteCommit();
        m_batch.setLine(reader.lineNumber());
        if (!handle(line, &why)) {
            return stop(reader.lineNumber(), why);
        }
    }
    if (!saveCase(true, &why)) {
        return stop(reader.lineNumber(), why);
    }
    if (!m_batch.finish(&why)) {
        return stop(reader.lineNumber(), why); // names the lines the last group held
    }
    m_cases.close();
    m_invoices.close();
    m_ctx.report.message(QStringLiteral("importazione conclusa"));
    return JobResult::completed();
}

bool OrbRun::handle(const OrbLine& line, QString* why)
{
    switch (line.kind()) {
    case OrbLine::Kind::Case:
        return handleCase(line, why);
    case OrbLine::Kind::Contract:
    case OrbLine::Kind::Assignment:
        return handleMemo(line, why);
    case OrbLine::Kind::Detail:
        return handleDetail(line, why);
    }
    return false;
}

bool OrbRun::handleCase(const OrbLine& line, QString* why)
{
    // The case before is closed already (run()).
    m_overdue = Currency();
    // The new case is only filled in here; the database sees it when its "A02", "R01" or first
    // invoice saves it. So the line needs no unit of writes of its own.
    if (!m_cases.addNew(why)) {
        return false;
    }
    for (std::size_t i = 0; i < m_batchFields.size(); ++i) {
        if (!m_cases.setValue(m_batchFields[i], m_batchValues[i], why)) {
            m_cases.cancelUpdate();
            return false;
        }
    }
    const std::pair<QString, QString> fields[] = {
        { QStringLiteral("ragione sociale"), trimBlanks(line.name()) },
        { QStringLiteral("posizione"), trimBlanks(line.account()) },
        { QStringLiteral("Indirizzo"), trimBlanks(line.address()) },
        { QStringLiteral("Cap"), line.postcode() },
        { QStringLiteral("Citta"), line.town() },
        { QStringLiteral("Provincia"), line.province() },
        { QStringLiteral("telefono1"), line.phone1() },
        { QStringLiteral("telefono2"), line.phone2() },
        { QStringLiteral("P_iva"), line.taxCode() },
    };
    for (const auto& [name, value] : fields) {
        if (!m_cases.setValue(name, value, why)) {
            m_cases.cancelUpdate();
            return false;
        }
    }
    if (!m_batchConverted) {
        // The boxes are the same for every case: later cases take them as the first one converted them.
        for (std::size_t i = 0; i < m_batchFields.size(); ++i) {
            m_batchValues[i] = m_cases.value(m_batchFields[i]);
        }
        m_batchConverted = true;
    }
    m_hasCase = true;
    m_memo = caseMemo(line);
    m_ctx.report.setCounter(JobReporter::Clienti, QString::number(++m_caseCount));
    return true;
}

bool OrbRun::handleMemo(const OrbLine& line, QString* why)
{
    const bool contract = line.kind() == OrbLine::Kind::Contract;
    if (!m_hasCase) {
        *why = QStringLiteral("riga %1 prima della prima riga A01 del file").arg(line.code());
        return false;
    }
    const QVariant before = m_cases.value(QStringLiteral("memoec"));
    QString memo;
    QString field;
    if (contract) {
        memo = m_memo + contractMemo(line);
        field = memo;
    } else {
        memo = assignmentMemo(line);
        field = m_cases.text(QStringLiteral("memoec")) + kCrLf + memo;
    }
    if (!m_batch.beginLine(why)) {
        return false;
    }
    if (!m_cases.setValue(QStringLiteral("memoec"), field, why) || !m_cases.update(why)
        || !m_batch.endLine(why, WriteBatch::Commit::Hold)) {
        // The case keeps what the lines before gave it, and is saved with that when the run stops.
        QString ignored;
        m_cases.setValue(QStringLiteral("memoec"), before, &ignored);
        m_batch.abandonLine();
        return false;
    }
    m_memo = memo;
    return true;
}

bool OrbRun::handleDetail(const OrbLine& line, QString* why)
{
    if (!m_hasCase) {
        *why = QStringLiteral("riga di dettaglio (codice \"%1\") prima della prima riga A01 del file").arg(line.code());
        return false;
    }
    const QDate invoiceDate = ddmmyyyyDate(line.invoiceDate());
    if (!invoiceDate.isValid()) {
        *why = QStringLiteral("la data fattura \"%1\" (colonne 50-57) non è una data valida").arg(line.invoiceDate());
        return false;
    }
    const QDate dueDate = ddmmyyyyDate(line.dueDate());
    if (!dueDate.isValid()) {
        *why = QStringLiteral("la data scadenza \"%1\" (colonne 103-110) non è una data valida").arg(line.dueDate());
        return false;
    }
    const Currency amount = line.outstanding();
    Currency overdue;
    if (!Currency::add(m_overdue, amount, &overdue)) {
        *why = QStringLiteral("l'importo %1 (colonne 88-102) porta il totale della pratica oltre il massimo gestito")
                   .arg(amount.toPlainText(QLatin1Char(',')));
        return false;
    }
    // A case still waiting for its "A02" or "R01" is saved now, so the invoice gets its key.
    if (!saveCase(false, why)) {
        return false;
    }
    const qint64 key = m_cases.key();
    if (key < 0) {
        *why = QStringLiteral("la pratica corrente non ha una chiave");
        return false;
    }
    if (!m_batch.beginLine(why)) {
        return false;
    }
    const bool saved = m_invoices.addNew(why) && m_invoices.setValue(QStringLiteral("conta"), key, why)
        && m_invoices.setValue(QStringLiteral("numero fattura"), line.invoiceNumber(), why)
        && m_invoices.setValue(QStringLiteral("periodo"), line.period(), why)
        && m_invoices.setValue(QStringLiteral("data FATTURA"), invoiceDate, why)
        && m_invoices.setValue(QStringLiteral("data scadenza"), dueDate, why)
        && m_invoices.setValue(QStringLiteral("saldo"), QVariant::fromValue(amount), why) && m_invoices.update(why)
        && m_batch.endLine(why, WriteBatch::Commit::Hold);
    if (!saved) {
        m_invoices.cancelUpdate();
        m_batch.abandonLine();
        return false;
    }
    m_overdue = overdue;
    m_ctx.report.setCounter(JobReporter::Fatture, QString::number(++m_invoiceCount));
    return true;
}

bool OrbRun::saveCase(bool close, QString* why)
{
    if (!m_hasCase) {
        return true;
    }
    const bool overdue = close && !m_overdue.isZero();
    if (!overdue && !m_cases.hasPendingChanges()) {
        m_hasCase = !close;
        return true;
    }
    if (!m_batch.beginLine(why)) {
        return false;
    }
    bool saved = true;
    if (overdue) {
        saved = m_cases.setValue(QStringLiteral("RATE ARRETRATE"), 1, why)
            && m_cases.setValue(QStringLiteral("importo rata"), QVariant::fromValue(m_overdue), why)
            && m_cases.setValue(QStringLiteral("importo totale"), QVariant::fromValue(m_overdue), why);
    }
    // Groups are committed only when a case is closed, so a commit never leaves a case without
    // its total or an invoice without the rest of its case's lines.
    const WriteBatch::Commit commit = close ? WriteBatch::Commit::WhenDue : WriteBatch::Commit::Hold;
    saved = saved && m_cases.update(why) && m_batch.endLine(why, commit);
    if (!saved) {
        // The case cannot be saved: it is dropped, and nothing more is written for it.
        m_cases.cancelUpdate();
        m_batch.abandonLine();
        m_hasCase = false;
        return false;
    }
    m_hasCase = !close;
    return true;
}

JobResult OrbRun::stop(qint64 lineNumber, const QString& why)
{
    m_batch.abandonLine();
    // Everything the lines before gave stays: the current case too, closed with the invoices saved.
    // Once writing has failed, nothing more can be saved; the batch says from which line.
    QString reason = why;
    QString closeError;
    QString commitError;
    const bool closed = m_batch.hasFailed() || saveCase(true, &closeError);
    const bool committed = m_batch.finish(&commitError);
    if (m_batch.hasFailed()) {
        // The boxes go back to what is in the database.
        if (m_caseCount != m_savedCases) {
            m_ctx.report.setCounter(JobReporter::Clienti, QString::number(m_savedCases));
        }
        if (m_invoiceCount != m_savedInvoices) {
            m_ctx.report.setCounter(JobReporter::Fatture, QString::number(m_savedInvoices));
        }
    } else {
        if (!closed) {
            reason += QStringLiteral(" (la pratica in corso non è stata salvata: %1)").arg(closeError);
        }
        if (!committed) {
            reason += QStringLiteral(" (le righe precedenti non sono state salvate: %1)").arg(commitError);
        }
    }
    m_cases.close();
    m_invoices.close();
    const QString text = lineError(m_fileName, lineNumber, m_batch.stopReason(reason));
    m_ctx.report.error(text);
    return JobResult::failed(text);
}

} // namespace

JobResult ImportaOrb(JobContext& ctx)
{
    JobResult result;
    if (!openDatabase(ctx, &result)) {
        return result;
    }
    const QString fileName = ctx.batch.Text1[4];
    const QString path = resolveDrivePath(kImportFolder + fileName);
    if (!QFileInfo(path).isFile()) {
        ctx.report.message(QStringLiteral("FILE MANCANTE"));
        return JobResult::condition();
    }
    OrbRun run(ctx, fileName);
    return run.run(path);
}

} // namespace zb32
