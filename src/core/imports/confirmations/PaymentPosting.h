// Payment posting: a confirmation either closes an open instalment of its case or becomes a new
// payment, split over capital, interest, expenses and recovery costs, with commission rates.
#pragma once

#include "core/desk/Recordset.h"
#include "core/imports/confirmations/ConfirmationRecord.h"

#include <QHash>
#include <QVariant>
#include <array>

namespace zb32 {

class CaseDatabase;
class InvoiceOutcomes;

// The four dues of a case; an empty due counts as 0.
struct CaseDues
{
    Currency rata;
    Currency interessi;
    Currency spese;
    Currency speserecupero;
};

struct PaymentSplit
{
    Currency capital;
    Currency interest;
    Currency expenses;
    Currency recovery;
    // False when a part would lie beyond the largest amount the system handles (a due far below
    // zero grows the remainder): such a split is not posted.
    bool inRange = true;
};

// One step of the split: takes from the remainder as much as the due allows. When the
// remainder would leave the range, it stays as it was and *inRange becomes false.
Currency allocate(Currency due, Currency* remainder, bool* inRange = nullptr);
// RipartisciImporto: capital first (unless `fromInterest`), then interest, expenses, recovery
// costs, each up to its due; a remainder above zero goes to capital, so the parts always add up
// to the amount.
PaymentSplit RipartisciImporto(Currency amount, const CaseDues& dues, bool fromInterest);

// A reference "3" + digit in the fourth place, or "3" and shorter than four characters.
bool isReversal(const QString& reference);
// An open instalment is confirmed by an amount that differs from it by less than 1 (any two
// amounts in range compare, however far apart).
bool confirmsInstalment(Currency instalment, Currency amount);

struct RateRecord
{
    std::array<QVariant, 4> al; // AL1..AL4
    QVariant fissa; // AL FISSA
};

class PaymentPosting
{
public:
    static inline const QString kDefaultCollector = QStringLiteral("80");
    static inline const QString kAgencyAgent = QStringLiteral("999");

    PaymentPosting(
        CaseDatabase& db, const PostingSettings& settings, ConfirmationCounters& counters, InvoiceOutcomes& invoices);

    // Opens the append-only set of new payments.
    bool prepare(QString* error);
    // The open payments of a group's cases (by key), read in one statement inside the group's
    // turn (on PostgreSQL and SQLite; elsewhere nothing is read): the group's records confirm them
    // through that view, and a payment a record adds open joins it.
    bool readGroup(CaseDatabase& db, const QVariantList& caseKeys, QString* error);
    // The group's view is no longer the database's (its transaction ended, a line was taken back).
    void dropGroup() { m_groupRows.clear(); }
    // RegistraPagamento: posts one record on the current case of `cases`, which it saves.
    bool RegistraPagamento(const ConfirmationRecord& record, Recordset& cases, QString* error);
    // AssegnaEsattore: the case's collector ("80" when it has none), written to `payment`.
    static bool AssegnaEsattore(const Recordset& cases, Recordset& payment, QString* collector, QString* error);
    // CaricaAliquote: the "VEC" rates of an agent for the run's client code; null when none.
    // The rates are only read, so they are read once per run.
    bool CaricaAliquote(const QString& agent, const RateRecord** rate, QString* error);

private:
    // Confirms the current open payment of `payments` for the case.
    bool confirm(Recordset& payments, const Recordset& cases, QString* error);
    // Whether the current payment of `payments` is open and `amount` confirms it.
    static bool confirmedBy(const Recordset& payments, Currency amount);
    bool postNewPayment(const ConfirmationRecord& record, Currency amount, Recordset& cases, QString* error);
    bool writeRates(const QString& agent, const std::array<QString, 5>& fields, QString* error);
    bool readRates(QString* error);

    const PostingSettings& m_settings;
    ConfirmationCounters& m_counters;
    InvoiceOutcomes& m_invoices;
    Recordset m_payments; // the open payments of the current case
    Recordset m_newPayments; // append-only
    Recordset m_groupPayments; // the open payments of the group's cases
    QHash<qint64, QList<int>> m_groupRows; // the rows of m_groupPayments by case key, in key order
    Recordset m_rates;
    QHash<QString, RateRecord> m_rateCache; // by agent
    bool m_ratesRead = false;
};

// RevocaEsattore: when the desk asks for it, the case's collector moves to "codice esattore2"
// and "codice esattore" is emptied. The caller saves the case.
bool RevocaEsattore(Recordset& cases, bool revocaCop, QString* error);

} // namespace zb32
