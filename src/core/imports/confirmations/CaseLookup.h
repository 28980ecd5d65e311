// The case lookup of the confirmation import: mandate type (one, or a comma list) and position.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace zb32 {

class Recordset;

class CaseLookup
{
public:
    // Lists longer than this are matched here instead of in the query, so no database limit
    // on expression depth or bound values ever caps the list.
    static constexpr int kMaxFilterEntries = 100;

    // `mandateText` is the mandate-type box as typed.
    explicit CaseLookup(const QString& mandateText);

    // The mandate types the box stands for: the whole text when it holds no comma, else its
    // comma-separated entries as they stand, blanks and empty entries included.
    static QStringList mandateEntries(const QString& mandateText);

    // CercaPratica: opens `cases` on the first case (lowest key) of one of the mandate types
    // with that position. False with the reason when the database refuses.
    bool CercaPratica(const QString& position, Recordset& cases, bool* found, QString* error);

private:
    QStringList m_entries; // without repeats
    QSet<QString> m_entrySet;
    bool m_filterInQuery = true;
    QString m_sql;
};

} // namespace zb32
