// Finding the case of a confirmation. The database seeks the position (bound, indexed); the
// mandate types are compared here, exactly as "=" compares them there, against the cases of
// that position. So the list has no limit of length, no value of it ever reaches the SQL, and
// the statement stays one indexed seek whatever the list holds.
#include "core/imports/confirmations/CaseLookup.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Recordset.h"

#include <algorithm>
#include <bit>

namespace zb32 {

namespace {

// The fields of a case that the postings read and write: fewer columns to fetch per record.
const QString kFields = QStringLiteral(
    "Select contatore, [Tipo Mandato], [data Affido], [Situazione Affido], [Assignment_id], [codice esattore], "
    "[codice esattore2], [importo rata], [importo interessi], [importo spese], [importo speserecupero], "
    "[importo totale], [totale incassato], [DataModificaDaEsattori], [modificadaesattori]");
const QString kLookup = kFields + QStringLiteral(" from [tabella pratiche] where posizione=?");
const QString kGroupSelect = kFields + QStringLiteral(", posizione from [tabella pratiche] where ");

const QString kType = QStringLiteral("Tipo Mandato");
const QString kPosition = QStringLiteral("posizione");

// The values as one array value, its elements quoted, so any text is one element.
QString arrayValue(const QVariantList& values)
{
    QString array;
    array.reserve(2 + 12 * values.size());
    array.append(QLatin1Char('{'));
    for (const QVariant& v : values) {
        if (array.size() > 1) {
            array.append(QLatin1Char(','));
        }
        array.append(QLatin1Char('"'));
        for (const QChar c : v.toString()) {
            if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
                array.append(QLatin1Char('\\'));
            }
            array.append(c);
        }
        array.append(QLatin1Char('"'));
    }
    return array.append(QLatin1Char('}'));
}

} // namespace

GroupRead openAmong(CaseDatabase& db, Recordset& set, const QString& select, const QString& column,
    const QString& arrayType, const QVariantList& values, const QString& rest, QString* error)
{
    bool opened = false;
    switch (db.dialect().kind()) {
    case SqlDialect::Kind::PostgreSQL:
        // The array's type spelled as the server names it ("_text" for text[]): brackets are names here.
        opened = set.openAsText(select + column + QStringLiteral(" = ANY(?::") + arrayType + QStringLiteral(")") + rest,
            { arrayValue(values) }, error);
        break;
    case SqlDialect::Kind::SQLite: {
        // A few list lengths (powers of two, the last value repeated), each prepared once.
        const qsizetype slots = qsizetype(std::bit_ceil(quint64(values.size())));
        QVariantList bound = values;
        while (bound.size() < slots) {
            bound << values.last();
        }
        opened = set.open(select + column + QStringLiteral(" in (") + QStringLiteral("?, ").repeated(slots - 1)
                + QStringLiteral("?)") + rest,
            bound, error);
        break;
    }
    default:
        return GroupRead::NotHere;
    }
    return opened ? GroupRead::Read : GroupRead::Failed;
}

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

bool CaseLookup::readGroup(CaseDatabase& db, const QStringList& positions, Recordset& group, QString* error)
{
    dropGroup();
    QVariantList asked;
    m_groupFirst.reserve(positions.size());
    for (const QString& p : positions) {
        if (!m_groupFirst.contains(p)) {
            m_groupFirst.insert(p, -1);
            asked << p;
        }
    }
    if (asked.isEmpty()) {
        return true;
    }
    switch (
        openAmong(db, group, kGroupSelect, QStringLiteral("posizione"), QStringLiteral("_text"), asked, {}, error)) {
    case GroupRead::Read:
        break;
    case GroupRead::NotHere:
        dropGroup();
        return true;
    case GroupRead::Failed:
        dropGroup();
        return false;
    }
    m_groupNext.assign(size_t(group.recordCount()), -1);
    int i = 0;
    for (group.moveFirst(); !group.eof(); group.moveNext(), ++i) {
        const auto at = m_groupFirst.find(group.value(kPosition).toString());
        if (at != m_groupFirst.end()) {
            m_groupNext[size_t(i)] = *at;
            *at = i;
        }
    }
    return true;
}

bool CaseLookup::fromGroup(const QString& position, Recordset& group, bool* found)
{
    const auto at = m_groupFirst.constFind(position);
    if (at == m_groupFirst.constEnd()) {
        return false;
    }
    // As CercaPratica: the lowest key among the cases of the mandate types asked for.
    int best = -1;
    qint64 bestKey = 0;
    for (int row = *at; row >= 0; row = m_groupNext[size_t(row)]) {
        group.moveTo(row);
        if (group.isNull(kType) || !m_types.contains(group.text(kType))) {
            continue;
        }
        if (best < 0 || group.key() < bestKey) {
            best = row;
            bestKey = group.key();
        }
    }
    group.moveTo(std::max(best, 0));
    *found = best >= 0;
    return true;
}

} // namespace zb32
