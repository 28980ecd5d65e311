// The Vi Diru case import: one case per header, its notes and amounts, one invoice per instalment.
#include "core/imports/vidiru/ViDiruImport.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Formats.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/imports/vidiru/ViDiruRecords.h"
#include "core/jobs/BatchStamp.h"
#include "core/jobs/ImportRun.h"

#include <QStringBuilder>

namespace zb32 {

namespace {

class ViDiruRun : public ImportRun::LineHandler
{
public:
    ViDiruRun(JobContext& ctx, const BatchStamp& stamp)
        : m_stamp(stamp)
        , m_run(ctx, stamp.fileName)
        , m_cases(ctx.db, Schema::kCases)
        , m_invoices(ctx.db, Schema::kInvoices)
    {
        // A counter box continues from the number it shows; an empty box counts as 0.
        m_run.startCount(JobReporter::Clienti, leadingInteger(ctx.batch.Scheda4, OutOfRange::Zero));
        m_run.startCount(JobReporter::Fatture, leadingInteger(ctx.batch.Scheda0, OutOfRange::Zero));
    }

    JobResult exec(const QString& path);

    QString closing() const override { return QStringLiteral("Importazione conclusa"); }
    bool line(const QString& text, qint64 number, QString* error) override;
    // Every handled line saved its records already; this only catches what is left over.
    bool endOfInput(QString* error) override
    {
        return (!m_cases.hasPendingChanges() || m_cases.update(error)) && m_run.endCase(error);
    }

private:
    // Whether a line changes anything: unknown codes, "IBGI0005" and short components or
    // instalments are passed over.
    static bool writes(ViDiruCode code, const QString& line);
    bool handle(ViDiruCode code, const QString& line, QString* error);
    bool header(const QString& line, QString* error);
    bool note(const QString& line, QString* error);
    bool component(const QString& line, QString* error);
    bool total(const QString& line, QString* error);
    bool instalment(const QString& line, QString* error);
    void count(JobReporter::Counter counter) { m_run.setCount(counter, m_run.count(counter) + 1); }

    const BatchStamp& m_stamp;
    ImportRun m_run;
    Recordset m_cases;
    Recordset m_invoices;
    bool m_haveCase = false;
};

JobResult ViDiruRun::exec(const QString& path)
{
    QString error;
    if (!m_cases.openForAppend(&error) || !m_invoices.openForAppend(&error)) {
        return m_run.stopFile(error);
    }
    const JobResult result = m_run.appendFromTextFile(path, *this, ImportRun::Progress::BeforeLine);
    m_cases.close();
    m_invoices.close();
    return result;
}

bool ViDiruRun::line(const QString& text, qint64 number, QString* error)
{
    const ViDiruCode code = ViDiru::recordCode(text);
    if (!writes(code, text)) {
        return true;
    }
    if (code == ViDiruCode::Header) {
        // A case and its lines are saved together: the case before is whole now.
        if (!m_run.endCase(error)) {
            return false;
        }
        m_run.beginCase(number, ViDiruHeader::position(text));
    }
    WriteBatch& batch = m_run.batch();
    if (!batch.beginLine(error) || !handle(code, text, error)) {
        // Nothing of the failing line stays, in the database or in the records at hand.
        m_cases.cancelUpdate();
        m_invoices.cancelUpdate();
        batch.abandonLine();
        return false;
    }
    return batch.endLine(error);
}

bool ViDiruRun::writes(ViDiruCode code, const QString& line)
{
    switch (code) {
    case ViDiruCode::Header:
    case ViDiruCode::Note:
    case ViDiruCode::Total:
        return true;
    case ViDiruCode::Component:
        return line.size() >= ViDiru::kMinComponentLength;
    case ViDiruCode::Instalment:
        return line.size() >= ViDiru::kMinInstalmentLength;
    case ViDiruCode::Amount:
    case ViDiruCode::Other:
        return false;
    }
    return false;
}

bool ViDiruRun::handle(ViDiruCode code, const QString& line, QString* error)
{
    if (code != ViDiruCode::Header && !m_haveCase) {
        *error = QStringLiteral("il record %1 viene prima del primo record IBGI0001: non c'è una pratica a cui "
                                "attribuirlo")
                     .arg(ViDiru::codeText(code));
        return false;
    }
    switch (code) {
    case ViDiruCode::Header:
        return header(line, error);
    case ViDiruCode::Note:
        return note(line, error);
    case ViDiruCode::Component:
        return component(line, error);
    case ViDiruCode::Total:
        return total(line, error);
    case ViDiruCode::Instalment:
        return instalment(line, error);
    case ViDiruCode::Amount:
    case ViDiruCode::Other:
        break;
    }
    return true;
}

bool ViDiruRun::header(const QString& line, QString* error)
{
    const ViDiruHeader h = ViDiruHeader::read(line);
    Recordset& rs = m_cases;
    if (!rs.addNew(error) || !m_stamp.apply(rs, error)) {
        return false;
    }
    auto setIf = [&](const QString& field, const QString& value, bool when) {
        return !when || rs.setValue(field, value, error);
    };
    auto filled = [](const QString& text) { return !trimBlanks(text).isEmpty(); };
    if (!rs.setValue(QStringLiteral("posizione"), h.posizione, error)
        || !rs.setValue(QStringLiteral("altroriferimento"), h.altroriferimento, error)
        || !rs.setValue(QStringLiteral("memoec"), h.memoec(), error)
        || !rs.setValue(QStringLiteral("ragione sociale"), h.ragioneSociale, error)
        || !setIf(QStringLiteral("P_iva"), h.pIva, filled(h.pIva))
        || (h.dataNascita.isValid() && !rs.setValue(QStringLiteral("data nascita"), h.dataNascita, error))
        || !setIf(QStringLiteral("luogo nascita"), h.luogoNascita, filled(h.luogoNascita))
        || !setIf(QStringLiteral("memo"), h.memo, filled(h.memo))
        || !rs.setValue(QStringLiteral("indirizzo"), h.indirizzo, error)
        || !rs.setValue(QStringLiteral("cap"), h.cap, error) || !rs.setValue(QStringLiteral("citta"), h.citta, error)
        || !rs.setValue(QStringLiteral("provincia"), h.provincia, error)
        || !setIf(QStringLiteral("recapito"), h.recapito, filled(h.recapito))
        || !setIf(QStringLiteral("telefono1"), h.telefono1, filled(h.telefono1))
        || !setIf(QStringLiteral("telefono2"), h.telefono2, filled(h.telefono2)) || !rs.update(error)) {
        return false;
    }
    count(JobReporter::Clienti);
    m_haveCase = true;
    return true;
}

bool ViDiruRun::note(const QString& line, QString* error)
{
    const QString memo = QStringLiteral("memo");
    const QString added = readViDiruNote(line);
    // (Put together in one allocation: the memo grows note after note.)
    const QString text = m_cases.isNull(memo) ? added : QString(m_cases.text(memo) % QLatin1String("\r\n") % added);
    return m_cases.setValue(memo, text, error) && m_cases.update(error);
}

bool ViDiruRun::component(const QString& line, QString* error)
{
    ViDiruComponent c;
    if (!ViDiruComponent::read(line, &c, error)) {
        return false;
    }
    const QVariant amount = QVariant::fromValue(c.amount);
    switch (c.kind) {
    case ViDiruComponent::Kind::Sorte:
        if (!m_cases.setValue(QStringLiteral("rate arretrate"), 1, error)
            || !m_cases.setValue(QStringLiteral("importo rata"), amount, error)) {
            return false;
        }
        break;
    case ViDiruComponent::Kind::Inter:
        if (!m_cases.setValue(QStringLiteral("importo interessi"), amount, error)) {
            return false;
        }
        break;
    case ViDiruComponent::Kind::Spese: {
        const QString spese = QStringLiteral("importo spese");
        Currency sum = c.amount;
        if (!m_cases.isNull(spese) && !Currency::add(m_cases.currency(spese), c.amount, &sum)) {
            *error = QStringLiteral("l'importo %1 porta le spese della pratica oltre il massimo gestito")
                         .arg(c.amount.toPlainText(QLatin1Char(',')));
            return false;
        }
        if (!m_cases.setValue(spese, QVariant::fromValue(sum), error)) {
            return false;
        }
        break;
    }
    }
    return m_cases.update(error);
}

bool ViDiruRun::total(const QString& line, QString* error)
{
    Currency amount;
    return readViDiruTotal(line, &amount, error)
        && m_cases.setValue(QStringLiteral("importo totale"), QVariant::fromValue(amount), error)
        && m_cases.update(error);
}

bool ViDiruRun::instalment(const QString& line, QString* error)
{
    ViDiruInstalment i;
    if (!ViDiruInstalment::read(line, &i, error)) {
        return false;
    }
    Recordset& rs = m_invoices;
    if (!rs.addNew(error) || !rs.setValue(QStringLiteral("conta"), m_cases.key(), error)
        || !rs.setValue(QStringLiteral("numero fattura"), i.numeroFattura, error)
        || !rs.setValue(QStringLiteral("periodo"), i.periodo, error)
        || (i.scadenza.isValid()
            && (!rs.setValue(QStringLiteral("data FATTURA"), i.scadenza, error)
                || !rs.setValue(QStringLiteral("data scadenza"), i.scadenza, error)))
        || !rs.setValue(QStringLiteral("saldo"), QVariant::fromValue(i.saldo), error) || !rs.update(error)) {
        return false;
    }
    count(JobReporter::Fatture);
    return true;
}

} // namespace

JobResult ImportaViDiru(JobContext& ctx)
{
    JobResult result;
    QString path;
    BatchStamp stamp;
    if (!ImportRun::openCaseImport(ctx, &path, &stamp, &result)) {
        return result;
    }
    ViDiruRun run(ctx, stamp);
    return run.exec(path);
}

} // namespace zb32
