// The Orb case import: one case per "A01" line, one invoice per detail line.
#include "core/imports/orb/OrbImport.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Formats.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/imports/orb/OrbLine.h"
#include "core/jobs/BatchStamp.h"
#include "core/jobs/ImportRun.h"

#include <initializer_list>

namespace zb32 {

namespace {

constexpr QStringView kCrLf = u"\r\n";

// The pieces in one text, made its size at once.
QString joined(std::initializer_list<QStringView> pieces)
{
    qsizetype size = 0;
    for (const QStringView p : pieces) {
        size += p.size();
    }
    QString text;
    text.reserve(size);
    for (const QStringView p : pieces) {
        text.append(p);
    }
    return text;
}

// The memo lines of a case's "A01", "A02" and "R01" lines, each ending with CR LF.
QString caseMemo(const OrbLine& line)
{
    return joined({ u"Stato Debitore ", line.debtorStatusView(), kCrLf, //
        u"Company ", trimBlanks(line.companyView()), kCrLf, //
        u"Deposito Cauzionale ", line.deposit().toPlainText(QLatin1Char(',')), kCrLf, //
        u"Scadenza Abbonamento ", line.subscriptionExpiryView(), kCrLf });
}

QString contractMemo(const OrbLine& line)
{
    return joined({ u"Data Contratto ", line.contractDateView(), kCrLf, //
        u"Decoder1 ", line.decoder1View(), kCrLf, //
        u"Decoder2 ", line.decoder2View(), kCrLf, //
        u"SMC1 ", line.card1View(), kCrLf, //
        u"SMC2 ", line.card2View(), kCrLf });
}

QString assignmentMemo(const OrbLine& line)
{
    return joined({ u"Importo Totale Affidato per debitore ", line.assignedTotal().toPlainText(QLatin1Char(',')), kCrLf,
        u"Indicazione Fascia di importo Affidato ", line.amountBandView(), kCrLf });
}

class OrbRun : public ImportRun::LineHandler
{
public:
    OrbRun(JobContext& ctx, const BatchStamp& stamp)
        : m_stamp(stamp)
        , m_run(ctx, stamp.fileName)
        , m_cases(ctx.db, Schema::kCases)
        , m_invoices(ctx.db, Schema::kInvoices)
    { }

    JobResult run(const QString& path);

    bool endsInput(const QString& text) override
    {
        m_line = OrbLine(trimBlanks(text));
        return m_line.text().isEmpty(); // an empty line ends the file
    }
    QString closing() const override { return QStringLiteral("importazione conclusa"); }
    bool line(const QString& text, qint64 number, QString* why) override;
    bool endOfInput(QString* why) override { return saveCase(true, why) && m_run.endCase(why); }

private:
    bool handle(const OrbLine& line, QString* why);
    bool handleCase(const OrbLine& line, QString* why);
    bool handleMemo(const OrbLine& line, QString* why);
    bool handleDetail(const OrbLine& line, QString* why);
    // Writes the current case's overdue fields (when `close`) and whatever of it is not saved
    // yet, as a unit of its own: what it saves belongs to the lines before.
    bool saveCase(bool close, QString* why);

    const BatchStamp& m_stamp;
    ImportRun m_run;
    Recordset m_cases;
    Recordset m_invoices;
    OrbLine m_line { QString() };
    bool m_hasCase = false; // an "A01" has opened a case that is not closed yet
    QString m_memo;
    Currency m_overdue;
};

JobResult OrbRun::run(const QString& path)
{
    QString why;
    if (!m_cases.openForAppend(&why) || !m_invoices.openForAppend(&why)) {
        return m_run.stopFile(why);
    }
    const JobResult result = m_run.appendFromTextFile(path, *this);
    m_cases.close();
    m_invoices.close();
    return result;
}

bool OrbRun::line(const QString&, qint64 number, QString* why)
{
    // Closing the case before writes what its own lines gave it: the batch counts it to them,
    // so a commit right after it leaves the new "A01" line unsaved, as it is.
    if (m_line.kind() == OrbLine::Kind::Case) {
        m_run.batch().setLine(number - 1);
        if (!saveCase(true, why) || !m_run.endCase(why)) {
            return false;
        }
        m_run.batch().setLine(number);
        m_run.beginCase(number, trimBlanks(m_line.accountView()));
    }
    return handle(m_line, why);
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
    // The case before is closed already (line()).
    m_overdue = Currency();
    // The new case is only filled in here; the database sees it when its "A02", "R01" or first
    // invoice saves it. So the line needs no unit of writes of its own.
    if (!m_cases.addNew(why)) {
        return false;
    }
    if (!m_stamp.apply(m_cases, why)) {
        m_cases.cancelUpdate();
        return false;
    }
    const std::pair<QString, QString> fields[] = {
        { QStringLiteral("ragione sociale"), trimBlanks(line.nameView()) },
        { QStringLiteral("posizione"), trimBlanks(line.accountView()) },
        { QStringLiteral("Indirizzo"), trimBlanks(line.addressView()) },
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
    m_hasCase = true;
    m_memo = caseMemo(line);
    m_run.setCount(JobReporter::Clienti, m_run.count(JobReporter::Clienti) + 1);
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
        memo = joined({ m_memo, contractMemo(line) });
        field = memo;
    } else {
        memo = assignmentMemo(line);
        field = joined({ m_cases.text(QStringLiteral("memoec")), kCrLf, memo });
    }
    if (!m_run.batch().beginLine(why)) {
        return false;
    }
    if (!m_cases.setValue(QStringLiteral("memoec"), field, why) || !m_cases.update(why)
        || !m_run.batch().endLine(why, WriteBatch::Commit::Hold)) {
        // The case keeps what the lines before gave it, and is saved with that when the run stops.
        QString ignored;
        m_cases.setValue(QStringLiteral("memoec"), before, &ignored);
        m_run.batch().abandonLine();
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
    const QDate invoiceDate = ddmmyyyyDate(line.invoiceDateView());
    if (!invoiceDate.isValid()) {
        *why = QStringLiteral("la data fattura \"%1\" (colonne 50-57) non è una data valida")
                   .arg(line.invoiceDateView());
        return false;
    }
    const QDate dueDate = ddmmyyyyDate(line.dueDateView());
    if (!dueDate.isValid()) {
        *why
            = QStringLiteral("la data scadenza \"%1\" (colonne 103-110) non è una data valida").arg(line.dueDateView());
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
    if (!m_run.batch().beginLine(why)) {
        return false;
    }
    const bool saved = m_invoices.addNew(why) && m_invoices.setValue(QStringLiteral("conta"), key, why)
        && m_invoices.setValue(QStringLiteral("numero fattura"), line.invoiceNumber(), why)
        && m_invoices.setValue(QStringLiteral("periodo"), line.period(), why)
        && m_invoices.setValue(QStringLiteral("data FATTURA"), invoiceDate, why)
        && m_invoices.setValue(QStringLiteral("data scadenza"), dueDate, why)
        && m_invoices.setValue(QStringLiteral("saldo"), QVariant::fromValue(amount), why) && m_invoices.update(why)
        && m_run.batch().endLine(why, WriteBatch::Commit::Hold);
    if (!saved) {
        m_invoices.cancelUpdate();
        m_run.batch().abandonLine();
        return false;
    }
    m_overdue = overdue;
    m_run.setCount(JobReporter::Fatture, m_run.count(JobReporter::Fatture) + 1);
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
    if (!m_run.batch().beginLine(why)) {
        return false;
    }
    bool saved = true;
    if (overdue) {
        saved = m_cases.setValue(QStringLiteral("RATE ARRETRATE"), 1, why)
            && m_cases.setValue(QStringLiteral("importo rata"), QVariant::fromValue(m_overdue), why)
            && m_cases.setValue(QStringLiteral("importo totale"), QVariant::fromValue(m_overdue), why);
    }
    // The case is one unit with its lines (ImportRun::beginCase): groups are committed only
    // between cases.
    saved = saved && m_cases.update(why) && m_run.batch().endLine(why, WriteBatch::Commit::Hold);
    if (!saved) {
        // The case cannot be saved: it is dropped, and nothing more is written for it.
        m_cases.cancelUpdate();
        m_run.batch().abandonLine();
        m_hasCase = false;
        return false;
    }
    m_hasCase = !close;
    return true;
}

} // namespace

JobResult ImportaOrb(JobContext& ctx)
{
    JobResult result;
    QString path;
    BatchStamp stamp;
    if (!ImportRun::openCaseImport(ctx, &path, &stamp, &result)) {
        return result;
    }
    OrbRun run(ctx, stamp);
    return run.run(path);
}

} // namespace zb32
