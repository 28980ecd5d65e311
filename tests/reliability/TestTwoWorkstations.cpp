// Two workstations at once: two "zb32 run" processes on one case database, their runs
// overlapping. Every case, invoice and payment must be there once, on the right case, and both
// runs must end without an error.
#include "TwoDesks.h"

#include <QTest>

using namespace zb32;
using zb32::test::Desk;
using zb32::test::DeskOutcome;
using zb32::test::Overlap;
using zb32::test::TestDatabase;
using zb32::test::Workload;

namespace {

// The SQLite desks' busy time-out, shorter than the other desk's run: a desk may have to
// wait through many of them while the other desk keeps committing. It must still be longer
// than one group of the other desk (500 confirmations), which on a loaded machine under the
// sanitizers takes well over half a second.
constexpr int kBusyTimeoutMs = 3000;

} // namespace

class TestTwoWorkstations : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void twoDesks_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("scenario");
        // Sizes that keep each run of an optimised build busy for a second or so on a loaded
        // machine: SQLite saves lines several times faster, a confirmation costs more than an
        // Orb line.
        QTest::addColumn<int>("orbCases");
        QTest::addColumn<int>("knownCases");
        struct Row
        {
            const char* scenario;
            const char* backend;
            int orbCases;
            int knownCases;
        };
        const Row rows[] = {
            { "two orb imports", "sqlite", 5000, 0 },
            { "two orb imports", "postgresql", 400, 0 },
            { "orb beside confirmations", "sqlite", 5000, 4000 },
            { "orb beside confirmations", "postgresql", 700, 250 },
            { "confirmations on the same cases", "sqlite", 0, 4000 },
            { "confirmations on the same cases", "postgresql", 0, 250 },
            // A long check beside an import: the import goes on, the check writes nothing.
            { "orb beside a check", "sqlite", 7000, 0 },
            { "orb beside a check", "postgresql", 400, 0 },
        };
        for (const Row& r : rows) {
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(r.scenario), QLatin1String(r.backend))))
                << QString::fromLatin1(r.backend) << QString::fromLatin1(r.scenario) << r.orbCases << r.knownCases;
        }
    }

    void twoDesks()
    {
        QFETCH(QString, backend);
        QFETCH(QString, scenario);
        QFETCH(int, orbCases);
        QFETCH(int, knownCases);
        const bool sqlite = backend == QLatin1String("sqlite");
        // Larger files when a run ended before the other had got going (a very busy machine, or
        // runs fast enough to end within the busy time-out).
        for (int scale = 1; scale <= 16; scale *= 2) {
            TestDatabase tdb(backend);
            ZB32_REQUIRE(tdb);
            test::TestWorkspace ws;
            ws.writeIni(sqlite ? tdb.connectionString() + QStringLiteral(";Busy Timeout=%1").arg(kBusyTimeoutMs)
                               : tdb.connectionString());
            Workload work(ws);
            QList<Desk> desks;
            if (scenario == QLatin1String("two orb imports")) {
                desks << work.orbImport(11, QLatin1Char('1'), orbCases * scale)
                      << work.orbImport(12, QLatin1Char('2'), orbCases * scale);
            } else if (scenario == QLatin1String("orb beside a check")) {
                desks << work.orbImport(11, QLatin1Char('1'), orbCases * scale * 2, true)
                      << work.orbImport(12, QLatin1Char('2'), orbCases * scale);
            } else if (scenario == QLatin1String("orb beside confirmations")) {
                const QStringList positions = work.preload(tdb, knownCases * scale);
                desks << work.orbImport(11, QLatin1Char('1'), orbCases * scale)
                      << work.collections(QLatin1Char('A'), positions, 3);
            } else {
                // The second desk walks the cases backwards: each desk reaches, late in its run,
                // cases the other changed early in its own.
                const QStringList positions = work.preload(tdb, knownCases * scale);
                QStringList backwards(positions.crbegin(), positions.crend());
                desks << work.collections(QLatin1Char('A'), positions, 3)
                      << work.collections(QLatin1Char('B'), backwards, 3);
            }

            QList<DeskOutcome> outcomes;
            const Overlap overlap = test::runTogether(tdb, desks, &outcomes);
            for (int i = 0; i < desks.size(); ++i) {
                const DeskOutcome& o = outcomes[i];
                const QString what
                    = QStringLiteral("%1: exit %2\n%3%4").arg(desks[i].name).arg(o.exitCode).arg(o.err, o.out);
                QVERIFY2(o.exitCode == 0, qPrintable(what));
                QVERIFY2(o.err.isEmpty(), qPrintable(what));
                QVERIFY2(o.out.contains(desks[i].closing), qPrintable(what));
            }
            int rows = 0;
            const QStringList problems = work.check(tdb, &rows);
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));

            // PostgreSQL writes side by side; SQLite lets one writer in at a time, so there the
            // other desk waited, longer than a busy time-out, while the first one saved.
            // Beside a check, the import was part-way while the check read (longer than a busy
            // time-out on SQLite, where it had to get the lock between the check's groups).
            const bool overlapped = scenario == QLatin1String("orb beside a check")
                ? overlap.contendedMs > (sqlite ? kBusyTimeoutMs : 0)
                : sqlite ? overlap.contendedMs > kBusyTimeoutMs
                         : overlap.bothWriting;
            qInfo("%s: 2 processes, %d rows checked, contended %lld ms, both writing: %s", qPrintable(scenario), rows,
                overlap.contendedMs, overlap.bothWriting ? "yes" : "no");
            if (overlapped) {
                return;
            }
            qInfo("the runs hardly overlapped (%s); again with larger files", qPrintable(overlap.trace));
        }
        QFAIL("the two runs never overlapped, even with files sixteen times as large");
    }
};

QTEST_GUILESS_MAIN(TestTwoWorkstations)
#include "TestTwoWorkstations.moc"
