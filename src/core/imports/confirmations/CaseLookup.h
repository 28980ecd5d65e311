// The case lookup of the confirmation import: mandate type (one, or a comma list) and position.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <vector>

namespace zb32 {

class CaseDatabase;
class Recordset;

// Opens `set` on `select` (up to its WHERE) with `column` one of `values` and `rest` after it:
// one array value of `arrayType` on PostgreSQL, a list of a few lengths on SQLite. NotHere on
// other databases, where nothing is opened.
enum class GroupRead { Read, NotHere, Failed };
GroupRead openAmong(CaseDatabase& db, Recordset& set, const QString& select, const QString& column,
    const QString& arrayType, const QVariantList& values, const QString& rest, QString* error);

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

    // The cases of a group of records, read into `group` in one statement (on PostgreSQL and
    // SQLite; elsewhere nothing is read). Only inside the group's transaction, once its turn is
    // taken: the set is the group's view of those cases, and the postings save them through it.
    bool readGroup(CaseDatabase& db, const QStringList& positions, Recordset& group, QString* error);
    // Puts `group` on the case CercaPratica would find for `position`: false when the group was
    // not read for that position (the caller looks it up alone).
    bool fromGroup(const QString& position, Recordset& group, bool* found);
    // The group's view is no longer the database's (its transaction ended, a line was taken back).
    void dropGroup()
    {
        m_groupFirst.clear();
        m_groupNext.clear();
    }

private:
    QSet<QString> m_types;
    // The positions asked for in the group's statement, each with its first row of `group` (-1:
    // none); the further rows of a position follow in m_groupNext, row by row, to a -1.
    QHash<QString, int> m_groupFirst;
    std::vector<int> m_groupNext;
};

} // namespace zb32
