// Finding the case of a confirmation. The database seeks the position (bound, indexed); the
// mandate types are compared here, exactly as "=" compares them there, against the cases of
// that position. So the list has no limit of length, no value of it ever reaches the SQL, and
// the statement stays one indexed seek whatever the list holds.
#include "core/imports/confirmations/CaseLookup.h"

#include "core/desk/Recordset.h"

namespace zb32 {

namespace {

// The fields of a case that the postings read and write: fewer columns to fetch per record.
const QString kLookup = QStringLiteral(
    "Select contatore, [Tipo Mandato], [data Affido], [Situazione Affido], [Assignment_id], [codice esattore], "
    "[codice esattore2], [importo rata], [importo interessi], [importo spese], [importo speserecupero], "
    "[importo totale], [totale incassato], [DataModificaDaEsattori], [modificadaesattori] "
    "from [tabella pratiche] where posizione=?");

const QString kType = QStringLiteral("Tipo Mandato");

} // namespace

QStringList CaseLookup::mandateEntries(const QString& mandateText)
{
    if (!mandateText.contains(QLatin1Char(','))) {
        return { mandateText };
    }
    return mandateText.split(QLatin1Char(','));
}

CaseLookup::CaseLookup(const QString& mandateText)
{
    for (const QString& e : mandateEntries(mandateText)) {
        m_types.insert(e);
    }
}

bool CaseLookup::CercaPratica(const QString& position, Recordset& cases, bool* found, QString* error)
{
    *found = false;
    if (!cases.open(kLookup, { position }, error)) {
        return false;
    }
    // The current case is the first one (lowest key) of the mandate types asked for; a case
    // without a mandate type never matches, as a null never equals a value in the database.
    int best = -1;
    qint64 bestKey = 0;
    for (int i = 0; !cases.eof(); cases.moveNext(), ++i) {
        if (cases.isNull(kType) || !m_types.contains(cases.text(kType))) {
            continue;
        }
        if (best < 0 || cases.key() < bestKey) {
            best = i;
            bestKey = cases.key();
        }
    }
    cases.moveFirst();
    for (int i = 0; i < best; ++i) {
        cases.moveNext();
    }
    *found = best >= 0;
    return true;
}

} // namespace zb32
