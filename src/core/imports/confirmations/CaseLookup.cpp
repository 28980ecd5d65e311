// Finding the case of a confirmation. Every value is bound; the SQL text depends only on the
// number of mandate types, so it is prepared once per run.
#include "CaseLookup.h"

#include "desk/Recordset.h"

namespace zb32 {

QStringList CaseLookup::mandateEntries(const QString& mandateText)
{
    if (!mandateText.contains(QLatin1Char(','))) {
        return {mandateText};
    }
    return mandateText.split(QLatin1Char(','));
}

CaseLookup::CaseLookup(const QString& mandateText)
{
    for (QString e : mandateEntries(mandateText)) {
        if (e.isNull()) {
            e = QStringLiteral(""); // an empty type, not a null one: it matches cases typed empty
        }
        if (!m_entrySet.contains(e)) {
            m_entrySet.insert(e);
            m_entries << e;
        }
    }
    m_filterInQuery = m_entries.size() <= kMaxFilterEntries;
    if (!m_filterInQuery) {
        m_sql = QStringLiteral("Select * from [tabella pratiche] where posizione=? order by contatore");
        return;
    }
    QString filter;
    if (m_entries.size() == 1) {
        filter = QStringLiteral("[Tipo Mandato]=?");
    } else {
        QStringList terms;
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            terms << QStringLiteral("[Tipo Mandato]=?");
        }
        filter = QLatin1Char('(') + terms.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }
    m_sql = QStringLiteral("Select top 1 * from [tabella pratiche] where %1 AND posizione=? order by contatore").arg(filter);
}

bool CaseLookup::CercaPratica(const QString& position, Recordset& cases, bool* found, QString* error)
{
    *found = false;
    QVariantList values;
    if (m_filterInQuery) {
        for (const QString& e : m_entries) {
            values << e;
        }
    }
    values << position;
    if (!cases.open(m_sql, values, error)) {
        return false;
    }
    if (!m_filterInQuery) {
        while (!cases.eof() && (cases.isNull(QStringLiteral("Tipo Mandato"))
                                || !m_entrySet.contains(cases.text(QStringLiteral("Tipo Mandato"))))) {
            cases.moveNext();
        }
    }
    *found = !cases.eof();
    return true;
}

} // namespace zb32
