// Invoice and outcome records.
#include "core/imports/confirmations/InvoiceOutcomes.h"

#include "core/desk/Formats.h"
#include "core/desk/Schema.h"
#include "core/imports/confirmations/PaymentPosting.h"

namespace zb32 {

namespace {

// Lowers a currency field of the case by the amount; a null field stays null.
bool lower(Recordset& cases, const QString& field, Currency amount, QString* error)
{
    if (cases.isNull(field)) {
        return true;
    }
    Currency lowered;
    if (!Currency::subtract(cases.currency(field), amount, &lowered)) {
        *error = QStringLiteral("l'importo %1 porta \"%2\" della pratica oltre il massimo gestito")
                     .arg(amount.toPlainText(QLatin1Char(',')), field);
        return false;
    }
    return cases.setValue(field, QVariant::fromValue(lowered), error);
}

} // namespace

InvoiceOutcomes::InvoiceOutcomes(CaseDatabase& db, const PostingSettings& settings, ConfirmationCounters& counters)
    : m_settings(settings)
    , m_counters(counters)
    , m_invoices(db, Schema::kInvoices)
{ }

bool InvoiceOutcomes::prepare(QString* error)
{
    return m_invoices.openForAppend(error);
}

bool InvoiceOutcomes::RegistraFattura(const ConfirmationRecord& record, Recordset& cases, QString* error)
{
    ++m_counters.invoices;
    Recordset& f = m_invoices;
    if (!f.addNew(error) || !f.setValue(QStringLiteral("conta"), cases.key(), error)
        || !f.setValue(QStringLiteral("numero fattura"), record.invoiceNumber, error)
        || !f.setValue(QStringLiteral("periodo"), record.reference, error)
        || !f.setValue(QStringLiteral("data fattura"), record.date, error)
        || !f.setValue(QStringLiteral("data scadenza"), record.date, error)
        || !f.setValue(QStringLiteral("saldo"), QVariant::fromValue(-record.amount), error) || !f.update(error)) {
        return false;
    }
    return lower(cases, QStringLiteral("importo rata"), record.amount, error)
        && lower(cases, QStringLiteral("importo totale"), record.amount, error)
        && SegnaModifica(cases, m_settings.today, error) && cases.update(error);
}

bool InvoiceOutcomes::Esito37(Recordset& cases, QString* error)
{
    return cases.setValue(QStringLiteral("situazione affido"), QStringLiteral("50"), error)
        && RevocaEsattore(cases, m_settings.revocaCop, error) && SegnaModifica(cases, m_settings.today, error)
        && cases.update(error);
}

bool InvoiceOutcomes::Esito36(Recordset& cases, QString* error)
{
    return cases.setValue(QStringLiteral("situazione affido"), QStringLiteral("RIA"), error)
        && SegnaModifica(cases, m_settings.today, error) && cases.update(error);
}

bool SegnaModifica(Recordset& cases, const QDate& today, QString* error)
{
    // A fixed pattern: the collection system reads this text back as day/month/year.
    return cases.setValue(QStringLiteral("datamodificadaesattori"), shortDate(today), error)
        && cases.setValue(QStringLiteral("modificadaesattori"), 1, error);
}

} // namespace zb32
