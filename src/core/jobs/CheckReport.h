// What a check run found: every bad line, what a run of the file would write, and for the
// confirmations every position without a case. A check writes nothing.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <map>
#include <utility>

namespace zb32 {

class CheckReport
{
public:
    // A file that is all wrong (the wrong job picked) would list every line: the report keeps
    // this many of each list and counts the rest.
    static constexpr qsizetype kListed = 1000;

    // "File F, riga N: motivo". Listed in line order, however they come (the database's refusals
    // are found when a group is written); a line told twice keeps its first reason.
    void addBadLine(
        const QString& file, qint64 line, const QString& reason, const QString& unit = QStringLiteral("riga"));
    void addMissingCase(const QString& position);
    // What the run would write, as label and count ("pratiche", 3), in the order shown.
    void setWrites(const QList<std::pair<QString, qint64>>& writes) { m_writes = writes; }
    // The check read the file to its end (or as far as it could be read): the report is whole.
    void finish(qint64 linesRead)
    {
        m_linesRead = linesRead;
        m_finished = true;
    }
    bool isFinished() const { return m_finished; }

    qint64 badLineCount() const { return m_badLineCount; }
    qint64 missingCaseCount() const { return m_missingCaseCount; }
    const QStringList& missingCases() const { return m_missingCases; }
    const QList<std::pair<QString, qint64>>& writes() const { return m_writes; }
    bool clean() const { return m_badLineCount == 0; }

    // The report as the operator reads it, one item a line; `file` names the input.
    QString text(const QString& file) const;

private:
    std::map<qint64, QString> m_badLines; // the first kListed, by line
    qint64 m_badLineCount = 0;
    QStringList m_missingCases;
    qint64 m_missingCaseCount = 0;
    QList<std::pair<QString, qint64>> m_writes;
    qint64 m_linesRead = 0;
    bool m_finished = false;
};

} // namespace zb32
