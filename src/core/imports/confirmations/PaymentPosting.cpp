// Confirming instalments and posting new payments.
#include "core/imports/confirmations/PaymentPosting.h"

#include "core/desk/Schema.h"
#include "core/imports/confirmations/CaseLookup.h"
#include "core/imports/confirmations/InvoiceOutcomes.h"

namespace zb32 {

namespace {

const QString kOpenPayments = QStringLiteral(
    "Select ID, totale, codesattore, dataricevuta From [tabella pagamenti] where conta=? and [dataricevuta] is null "
    "order by ID");
const QString kGroupOpenPayments
    = QStringLiteral("Select ID, totale, codesattore, dataricevuta, conta From [tabella pagamenti] where ");
const QString kGroupOpenRest = QStringLiteral(" and [dataricevuta] is null order by ID");
const QString kReceipt = QStringLiteral("dataricevuta");
// The rates of every agent for the run's client code, each agent's first (lowest key) first.
const QString kRates
    = QStringLiteral("Select * From Aliquote where [codice cliente]=? and modalita=? order by COD_AGENT, ID");

const std::array<QString, 5> kCollectorRates { QStringLiteral("al_e_1"), QStringLiteral("al_e_2"),
    QStringLiteral("al_e_3"), QStringLiteral("al_e_4"), QStringLiteral("al_e_5") };
const std::array<QString, 5> kAgencyRates { QStringLiteral("al_a_1"), QStringLiteral("al_a_2"),
    QStringLiteral("al_a_3"), QStringLiteral("al_a_4"), QStringLiteral("al_a_5") };

} // namespace

Currency allocate(Currency due, Currency* remainder, bool* inRange)
{
    if (remainder->isZero()) {
        return {};
    }
    if (due >= *remainder) {
        const Currency all = *remainder;
        *remainder = Currency();
        return all;
    }
    if (!Currency::subtract(*remainder, due, remainder) && inRange) {
        *inRange = false;
    }
    return due;
}

PaymentSplit RipartisciImporto(Currency amount, const CaseDues& dues, bool fromInterest)
{
    PaymentSplit split;
    Currency remainder = amount;
    if (!fromInterest) {
        split.capital = allocate(dues.rata, &remainder, &split.inRange);
    }
    split.interest = allocate(dues.interessi, &remainder, &split.inRange);
    split.expenses = allocate(dues.spese, &remainder, &split.inRange);
    split.recovery = allocate(dues.speserecupero, &remainder, &split.inRange);
    if (remainder > Currency() && !Currency::add(split.capital, remainder, &split.capital)) {
        split.inRange = false;
    }
    return split;
}

bool isReversal(const QString& reference)
{
    if (!reference.startsWith(QLatin1Char('3'))) {
        return false;
    }
    return reference.size() < 4 || (reference[3].unicode() >= '0' && reference[3].unicode() <= '9');
}

bool confirmsInstalment(Currency instalment, Currency amount)
{
    // Compared without subtracting the two, which could leave 64 bits; in range a ± 1 cannot.
    const qint64 a = amount.raw();
    const qint64 i = instalment.raw();
    return a > i - Currency::kScale && a < i + Currency::kScale;
}

PaymentPosting::PaymentPosting(
    CaseDatabase& db, const PostingSettings& settings, ConfirmationCounters& counters, InvoiceOutcomes& invoices)
    : m_settings(settings)
    , m_counters(counters)
    , m_invoices(invoices)
    , m_payments(db, Schema::kPayments)
    , m_newPayments(db, Schema::kPayments)
    , m_groupPayments(db, Schema::kPayments)
    , m_rates(db, Schema::kRates)
{ }

bool PaymentPosting::AssegnaEsattore(const Recordset& cases, Recordset& payment, QString* collector, QString* error)
{
    *collector = cases.text(QStringLiteral("codice esattore"));
    if (collector->isEmpty()) {
        *collector = kDefaultCollector;
    }
    return payment.setValue(QStringLiteral("codesattore"), *collector, error);
}

bool PaymentPosting::CaricaAliquote(const QString& agent, const RateRecord** rate, QString* error)
{
    if (!m_ratesRead && !readRates(error)) {
        return false;
    }
    const auto it = m_rateCache.constFind(agent);
    *rate = it != m_rateCache.constEnd() ? &*it : nullptr;
    return true;
}

bool PaymentPosting::readRates(QString* error)
{
    // The rates are only read: every agent's are read once, before the first group, so no
    // group waits on them (an agent's "VEC" rates are its first row, by key, of the client code).
    m_rateCache.clear();
    if (!m_rates.open(kRates, { m_settings.clientCode, QStringLiteral("VEC") }, error)) {
        return false;
    }
    for (; !m_rates.eof(); m_rates.moveNext()) {
        const QVariant agent = m_rates.value(QStringLiteral("COD_AGENT"));
        if (agent.isNull() || m_rateCache.contains(agent.toString())) {
            continue; // a null agent is nobody's
        }
        RateRecord r;
        for (int i = 0; i < 4; ++i) {
            r.al[i] = m_rates.value(QStringLiteral("AL") + QString::number(i + 1));
        }
        r.fissa = m_rates.value(QStringLiteral("AL FISSA"));
        m_rateCache.insert(agent.toString(), r);
    }
    m_rates.close();
    m_ratesRead = true;
    return true;
}

bool PaymentPosting::prepare(QString* error)
{
    return m_newPayments.openForAppend(error) && readRates(error);
}

bool PaymentPosting::writeRates(const QString& agent, const std::array<QString, 5>& fields, QString* error)
{
    const RateRecord* rate = nullptr;
    if (!CaricaAliquote(agent, &rate, error)) {
        return false;
    }
    if (!rate) {
        return true; // no rate record: the group stays unwritten
    }
    for (int i = 0; i < 4; ++i) {
        if (!m_newPayments.setValue(fields[i], rate->al[i], error)) {
            return false;
        }
    }
    return m_newPayments.setValue(fields[4], rate->fissa, error);
}

bool PaymentPosting::readGroup(CaseDatabase& db, const QVariantList& caseKeys, QString* error)
{
    dropGroup();
    if (caseKeys.isEmpty()) {
        return true;
    }
    switch (openAmong(db, m_groupPayments, kGroupOpenPayments, QStringLiteral("conta"), QStringLiteral("_int8"),
        caseKeys, kGroupOpenRest, error)) {
    case GroupRead::Read:
        break;
    case GroupRead::NotHere:
        return true;
    case GroupRead::Failed:
        return false;
    }
    for (const QVariant& key : caseKeys) {
        m_groupRows.insert(key.toLongLong(), {});
    }
    int i = 0;
    for (m_groupPayments.moveFirst(); !m_groupPayments.eof(); m_groupPayments.moveNext(), ++i) {
        m_groupRows[m_groupPayments.value(QStringLiteral("conta")).toLongLong()].append(i);
    }
    return true;
}

bool PaymentPosting::confirmedBy(const Recordset& payments, Currency amount)
{
    return payments.isNull(kReceipt) && !payments.isNull(QStringLiteral("totale"))
        && confirmsInstalment(payments.currency(QStringLiteral("totale")), amount);
}

bool PaymentPosting::confirm(Recordset& payments, const Recordset& cases, QString* error)
{
    if (!payments.setValue(kReceipt, m_settings.today.addDays(1), error)) {
        return false;
    }
    if (payments.isNull(QStringLiteral("codesattore"))) {
        QString collector;
        if (!AssegnaEsattore(cases, payments, &collector, error)) {
            return false;
        }
    }
    if (!payments.update(error)) {
        return false;
    }
    ++m_counters.confirmed;
    return true;
}

bool PaymentPosting::RegistraPagamento(const ConfirmationRecord& record, Recordset& cases, QString* error)
{
    if (record.reference.startsWith(QLatin1Char('9'))) {
        return m_invoices.RegistraFattura(record, cases, error);
    }
    Currency amount = record.amount;
    if (isReversal(record.reference)) {
        amount = -amount; // a reversal is never matched against what the case expects
    } else if (const auto group = m_groupRows.constFind(cases.key()); group != m_groupRows.constEnd()) {
        // The group's view: a payment confirmed by an earlier record of the group is open no more.
        for (const int row : *group) {
            m_groupPayments.moveTo(row);
            if (confirmedBy(m_groupPayments, amount)) {
                return confirm(m_groupPayments, cases, error);
            }
        }
    } else {
        if (!m_payments.open(kOpenPayments, { cases.key() }, error)) {
            return false;
        }
        for (; !m_payments.eof(); m_payments.moveNext()) {
            if (confirmedBy(m_payments, amount)) {
                return confirm(m_payments, cases, error);
            }
        }
    }
    ++m_counters.posted;
    return postNewPayment(record, amount, cases, error);
}

bool PaymentPosting::postNewPayment(const ConfirmationRecord& record, Currency amount, Recordset& cases, QString* error)
{
    Recordset& p = m_newPayments;
    const bool ref611 = record.reference.startsWith(QLatin1String("611"));
    const QString causale = m_settings.mode == 1
        ? QStringLiteral("da file (") + record.reference + QLatin1Char(')')
        : QStringLiteral("da file (Fatt.") + record.invoiceNumber + QLatin1Char(')');
    if (!p.addNew(error) || !p.setValue(QStringLiteral("conta"), cases.key(), error)
        || !p.setValue(QStringLiteral("data"), m_settings.today, error)
        || !p.setValue(QStringLiteral("datascarico"), record.date, error)
        || !p.setValue(QStringLiteral("causale"), causale, error)) {
        return false;
    }

    const CaseDues dues { cases.currency(QStringLiteral("importo rata")),
        cases.currency(QStringLiteral("importo interessi")), cases.currency(QStringLiteral("importo spese")),
        cases.currency(QStringLiteral("importo speserecupero")) };
    const PaymentSplit split = RipartisciImporto(amount, dues, m_settings.mode == 1 || ref611);
    if (!split.inRange) {
        *error = QStringLiteral("la ripartizione dell'importo %1 sui debiti della pratica supera il massimo gestito")
                     .arg(amount.toPlainText(QLatin1Char(',')));
        return false;
    }
    if (!p.setValue(QStringLiteral("capitale"), QVariant::fromValue(split.capital), error)
        || !p.setValue(QStringLiteral("interesse"), QVariant::fromValue(split.interest), error)
        || !p.setValue(QStringLiteral("spese"), QVariant::fromValue(split.expenses), error)
        || !p.setValue(QStringLiteral("speserecupero"), QVariant::fromValue(split.recovery), error)
        || !p.setValue(QStringLiteral("totale"), QVariant::fromValue(amount), error)) {
        return false;
    }

    QString collector;
    if (!AssegnaEsattore(cases, p, &collector, error)) {
        return false;
    }

    // Commission: only payments dated on or after the assignment earn it.
    const QDate assigned = cases.date(QStringLiteral("data affido"));
    if (assigned.isValid() && record.date >= assigned) {
        const QDate receipt = ref611 ? m_settings.today.addDays(1) : m_settings.today;
        if (!p.setValue(QStringLiteral("modo"), QStringLiteral("VEC"), error)
            || !p.setValue(QStringLiteral("dataricevuta"), receipt, error)
            || !writeRates(collector, kCollectorRates, error) || !writeRates(kAgencyAgent, kAgencyRates, error)) {
            return false;
        }
    } else {
        if (!p.setValue(QStringLiteral("modo"), QStringLiteral("VN"), error)) {
            return false;
        }
        for (const auto* group : { &kCollectorRates, &kAgencyRates }) {
            for (const QString& field : *group) {
                if (!p.setValue(field, QVariant(0), error)) {
                    return false;
                }
            }
        }
    }
    if (!p.update(error)) {
        return false;
    }
    if (p.isNull(kReceipt)) {
        // Open: a later record of the group may confirm it, as it would find it in the database.
        if (const auto group = m_groupRows.find(cases.key()); group != m_groupRows.end()) {
            m_groupPayments.appendSaved(p);
            const int row = m_groupPayments.recordCount() - 1;
            const qint64 key = p.key();
            auto at = group->begin();
            for (; at != group->end(); ++at) {
                m_groupPayments.moveTo(*at);
                if (m_groupPayments.key() > key) {
                    break;
                }
            }
            group->insert(at, row);
        }
    }

    Currency collected = amount;
    if (!cases.isNull(QStringLiteral("totale incassato"))
        && !Currency::add(cases.currency(QStringLiteral("totale incassato")), amount, &collected)) {
        *error = QStringLiteral("l'importo %1 porta il totale incassato della pratica oltre il massimo gestito")
                     .arg(amount.toPlainText(QLatin1Char(',')));
        return false;
    }
    if (!cases.setValue(QStringLiteral("totale incassato"), QVariant::fromValue(collected), error)) {
        return false;
    }
    // A case with no instalment due recorded is not taken for paid off. Both amounts are in
    // range, so "rata - collected < 1" is asked as "collected > rata - 1", which cannot overflow.
    const bool paidOff = !cases.isNull(QStringLiteral("importo rata"))
        && collected.raw() > cases.currency(QStringLiteral("importo rata")).raw() - Currency::kScale;
    if (paidOff) {
        if (!cases.setValue(QStringLiteral("situazione affido"), QStringLiteral("48"), error)
            || !RevocaEsattore(cases, m_settings.revocaCop, error)
            || !cases.setValue(QStringLiteral("assignment_id"), QStringLiteral("78"), error)) {
            return false;
        }
    } else if (!cases.setValue(QStringLiteral("assignment_id"), QStringLiteral("76"), error)) {
        return false;
    }
    return cases.update(error);
}

bool RevocaEsattore(Recordset& cases, bool revocaCop, QString* error)
{
    if (!revocaCop || cases.isNull(QStringLiteral("codice esattore"))) {
        return true;
    }
    return cases.setValue(QStringLiteral("codice esattore2"), cases.value(QStringLiteral("codice esattore")), error)
        && cases.setNull(QStringLiteral("codice esattore"), error);
}

} // namespace zb32
