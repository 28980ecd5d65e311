// The case lookup of the confirmation import: mandate type (one, or a comma list) and position.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace zb32 {

class Recordset;

class CaseLookup
{
public:
    // `mandateText` is the mandate-type box as typed.
    explicit CaseLookup(const QString& mandateText);

    // The mandate types the box stands for: the whole text when it holds no comma, else its
    // comma-separated entries as they stand, blanks and empty entries included.
    static QStringList mandateEntries(const QString& mandateText);

    // CercaPratica: opens `cases` on the first case (lowest key) with that position whose
    // mandate type is one of the box's. False with the reason when the database refuses.
    bool CercaPratica(const QString& position, Recordset& cases, bool* found, QString* error);

private:
    QSet<QString> m_types;
};

} // namespace zb32
