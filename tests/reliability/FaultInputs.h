// Large import files for the fault tests, with what each of their lines stores, so a test can
// tell exactly which records the database must hold when a run stopped at a given line.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

namespace zb32 {
class CaseDatabase;
}

namespace zb32::test {

// What one input line contributes to the database.
struct LineEffect
{
    enum class Kind {
        Case, // a new case (its account or position)
        Detail, // a field group of the case (memo lines, debt components, totals)
        Invoice, // an invoice of the case
    };
    Kind kind;
    QString caseKey; // posizione of the case the line belongs to
    QString detail; // Detail: which group ("contract", "assignment", "rata", "totale"); Invoice: its number
    qint64 cents = 0; // Invoice: its balance
};

struct FaultInput
{
    enum class Job { Orb, ViDiru };

    Job job;
    QByteArray bytes;
    QList<LineEffect> lines; // line n of the file is lines[n - 1]

    // An Orb file of `cases` cases: most with "A02", "R01" and two or three detail lines, every
    // third with detail lines only. Accounts and invoice numbers carry `tag`.
    static FaultInput orb(int cases, const QString& tag = QStringLiteral("A"));
    // A Vi Diru file of `cases` cases: header, capital component, total, two instalments.
    static FaultInput viDiru(int cases, const QString& tag = QStringLiteral("1"));

    qint64 lineCount() const { return lines.size(); }
    // Number of the invoice lines in the file.
    int invoiceCount() const;

    // The database's content as the lines before `firstUnsaved` make it, one text per record:
    // cases ("C key fields...") in file order, then invoices ("I number case cents").
    QStringList expectedBefore(qint64 firstUnsaved) const;
    // The same texts, read from the database (cases and invoices by key).
    static QStringList stored(CaseDatabase& db, Job job, QString* error);
};

// Reads "riga N" and, when there, "le righe dalla M in poi" from a stopped run's error: the
// first line whose records are not in the database (M, else N). 0 when the text names no line.
qint64 firstUnsavedLineOf(const QString& error);
// The first line of a group whose commit went unanswered ("le righe dalla X alla Y potrebbero
// essere state salvate o no"), 0 when the error names none.
qint64 uncertainLineOf(const QString& error);
// Whether the stored records are what the lines before the first unsaved line named by the
// error give; for a commit that went unanswered, either with or without its group.
bool storedAsTheErrorSays(const QStringList& stored, const FaultInput& input, const QString& error, QString* why);

// Record by record; `why` names the first record that differs.
bool sameRecords(const QStringList& stored, const QStringList& expected, QString* why);
// Cases and invoices of two lists of record texts, cases first, as stored() gives them.
QStringList mergeRecords(const QStringList& first, const QStringList& second);
// The record texts of the cases whose key starts with `prefix`, and of their invoices.
QStringList recordsOf(const QStringList& records, const QString& prefix);

// Counts a table's rows over a connection of its own until there are at least `minimum`;
// `tick` waits a moment between counts and says whether to go on. The last count, -1 when the
// database could not be read.
int waitForRows(const QString& connectionString, const QString& table, int minimum, const std::function<bool()>& tick);

// Whether the counter boxes a run printed ("clienti: N", "fatture: M"; an empty box counts as 0)
// tell the cases and invoices among the records.
bool countersMatch(const QString& clienti, const QString& fatture, const QStringList& records, QString* why);
// The boxes count what is known to be saved: `stored`, or, when the error says a group's commit
// was cut off before its answer came and the server had made it all the same, the records
// before that group.
bool countersMatchTheError(const QPair<QString, QString>& boxes, const QStringList& stored, const FaultInput& input,
    const QString& error, QString* why);
// The two boxes from the command line's output.
QPair<QString, QString> printedCounters(const QString& output);

// Empties the four tables of a database (creating them where missing).
bool freshTables(const QString& connectionString, QString* error);

} // namespace zb32::test
