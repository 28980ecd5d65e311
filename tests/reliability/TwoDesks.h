// Two workstations on one case database: the input files each desk imports, what the database
// must hold once both desks are done, and the two "zb32 run" processes started side by side.
#pragma once

#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Currency.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace zb32::test {

// One desk: the command it runs and how to see, from outside, how far its run has got.
struct Desk
{
    QString name;
    QStringList args;
    QString progressSql; // counts the rows this desk has saved so far
    QVariant progressValue;
    int rows = 0; // the rows it saves in all
    QString closing; // the closing message it must print
};

struct DeskOutcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

// What the polling saw while the desks ran.
struct Overlap
{
    // Both desks running with both runs part-way: their writes went on side by side.
    bool bothWriting = false;
    // How long both desks were running while at least one run was part-way.
    qint64 contendedMs = 0;
    int samples = 0;
    QString trace; // the counts of a few samples, for the failure message
};

class Workload
{
public:
    explicit Workload(const TestWorkspace& ws)
        : m_ws(ws)
    { }

    // Cases there before the desks start: mandate type 460, assigned on 01/01/2010, positions
    // "3" followed by eight digits. Returns the positions in the order they were added.
    QStringList preload(TestDatabase& tdb, int count);
    // An Orb file of `cases` cases (accounts `prefix` followed by eight digits) for a desk that
    // imports it with batch number `lotto`.
    // `check`: the desk checks the file instead (zb32 check), which must write nothing.
    Desk orbImport(int lotto, QChar prefix, int cases, bool check = false);
    // A collections file that posts one payment per position and round, positions in the order
    // given; the desk's invoice numbers start with `tag`.
    Desk collections(QChar tag, const QStringList& positions, int rounds);

    // Everything that differs from what the desks' files ask for; `rows` counts the rows read.
    QStringList check(TestDatabase& tdb, int* rows) const;

private:
    struct Expected
    {
        qint64 lotto = 0;
        bool imported = false; // created by an Orb run
        QString decoder; // the memo text that only this case's "A02" line carries
        Currency overdue; // the sum of its invoices
        Currency collected; // the sum of the payments posted on it
    };
    struct Linked
    {
        QString position;
        Currency amount;
    };

    const TestWorkspace& m_ws;
    QHash<QString, Expected> m_cases; // by position
    QHash<QString, Linked> m_invoices; // by invoice number
    QHash<QString, Linked> m_payments; // by reason text, which names the line's invoice number
};

// Starts every desk at once and polls the database while they run; waits for all of them.
Overlap runTogether(TestDatabase& tdb, const QList<Desk>& desks, QList<DeskOutcome>* outcomes);

} // namespace zb32::test
