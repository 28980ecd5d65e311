// Invoice records and the outcome codes 37 and 36 of the collections file.
#pragma once

#include "core/imports/confirmations/ConfirmationRecord.h"
#include "core/desk/Recordset.h"

namespace zb32 {

class CaseDatabase;

class InvoiceOutcomes
{
public:
    InvoiceOutcomes(CaseDatabase& db, const PostingSettings& settings, ConfirmationCounters& counters);

    // Opens the append-only invoices set.
    bool prepare(QString* error);
    // RegistraFattura: a negative invoice of the amount, and the case's instalment due and
    // total debt lowered by it (a null one stays null).
    bool RegistraFattura(const ConfirmationRecord& record, Recordset& cases, QString* error);
    // Code "37": assignment state "50" and the collector revoked when the desk asks for it.
    bool Esito37(Recordset& cases, QString* error);
    // Code "36": assignment state "RIA".
    bool Esito36(Recordset& cases, QString* error);

private:
    const PostingSettings& m_settings;
    ConfirmationCounters& m_counters;
    Recordset m_invoices;
};

// SegnaModifica: marks the case as changed by a confirmation today ("dd/MM/yyyy" text).
bool SegnaModifica(Recordset& cases, const QDate& today, QString* error);

} // namespace zb32
