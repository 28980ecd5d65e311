// "zb32 check": a file read to its end as a run would read it, every bad line listed, what a
// run would write counted, and the database left exactly as it was.
#include "CliSupport.h"
#include "JobFiles.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/ConnectionString.h"
#include "core/desk/Schema.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace zb32;
using namespace zb32::test;

namespace {

// A bad file of the job: bad lines at its start, inside a case and on its last line; `good` is
// what a run saves of it (the cases without a bad line), `missing` the positions without a case.
struct CheckFile
{
    QStringList lines, good, missing;
    QList<int> badLines;
    void add(const QStringList& part, bool keep, int badAt = -1)
    {
        if (badAt >= 0) {
            badLines << int(lines.size()) + badAt + 1;
        }
        lines << part;
        good << (keep ? part : QStringList());
    }
};

CheckFile checkFile(const QString& job)
{
    CheckFile f;
    if (job == QLatin1String("orb")) {
        OrbInvoice cut;
        const QString truncated = orbDetail(cut).left(95); // no due date
        f.add({ orbDetail(cut) }, false, 0); // before the first case
        f.add(orbCase(1), true);
        f.add(orbCase(2) << truncated, false, 5);
        f.add(orbCase(3), true);
        f.add(QStringList { orbCase(4)[0], truncated } + orbCase(4).mid(1), false, 1);
    } else if (job == QLatin1String("vidiru")) {
        const QString rata = viDiruInstalment(
            QStringLiteral("03"), QStringLiteral("31/03/2024"), QStringLiteral("77,70"), QStringLiteral("RATA-X"));
        f.add({ rata }, false, 0); // before the first header
        f.add(viDiruCase(1), true);
        f.add(QStringList { viDiruCase(2)[0], rata.left(60) } + viDiruCase(2).mid(1), false, 1); // no amount
        f.add(viDiruCase(3), true);
        f.add(viDiruCase(4) << rata.left(70), false, 7);
    } else {
        QString notANumber = collectionRecord(0);
        notANumber.replace(30, 8, QStringLiteral("12A4XYZW"));
        CollectionRecord unknown;
        unknown.position = QStringLiteral("9999");
        f.add({ collectionRecord(7).left(45) }, false, 0);
        for (int n = 0; n < 10; ++n) {
            f.add({ collectionRecord(n) }, true);
        }
        f.add({ notANumber }, false, 0);
        f.add({ collectionLine(unknown) }, true);
        f.add({ collectionRecord(10).left(58) }, false, 0);
        f.missing << QStringLiteral("9999");
    }
    return f;
}

// The report's bad line numbers ("  File F, riga N: ..."), its counts ("  pratiche: 3" under
// "L'importazione scriverebbe") and the positions without a case.
struct Report
{
    QList<int> lines;
    QMap<QString, qint64> writes;
    QStringList missing;
};

Report readReport(const CliRun& run)
{
    Report r;
    const QRegularExpression bad(QStringLiteral("^  File [^,]+, riga (\\d+): "));
    QString section;
    for (const QString& line : run.outLines()) {
        if (!line.startsWith(QLatin1String("  "))) {
            section = line;
        } else if (const QRegularExpressionMatch m = bad.match(line); m.hasMatch()) {
            r.lines << m.captured(1).toInt();
        } else if (section.startsWith(QLatin1String("L'importazione"))) {
            r.writes.insert(
                line.section(QLatin1Char(':'), 0, 0).trimmed(), line.section(QLatin1Char(':'), 1).toLongLong());
        } else {
            r.missing << line.trimmed();
        }
    }
    return r;
}

// What must not change: the rows of the four tables, the register's runs and, on SQLite, the
// file's bytes once its log is copied in (only a commit could change them). Read on a fresh
// connection, so no statement left open reads an older state.
QStringList snapshot(TestDatabase& tdb)
{
    QString error;
    tdb.db().close();
    if (!tdb.db().open(tdb.connectionString(), &error)) {
        qFatal("reconnect: %s", qPrintable(error));
    }
    QStringList s = dumpRows(tdb) << QString::number(tdb.count(Schema::kImportRuns));
    if (tdb.backend() == QLatin1String("sqlite")) {
        QSqlQuery q(tdb.db().database());
        if (!q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) || !q.next() || q.value(0).toInt() != 0) {
            qFatal("checkpoint: %s", qPrintable(q.lastError().text()));
        }
        q.finish();
        QFile f(ConnectionString::parse(tdb.connectionString()).value(QStringLiteral("Data Source")));
        s << QString::fromLatin1(f.open(QIODevice::ReadOnly)
                ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex()
                : "");
    }
    return s;
}

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Bad lines at the start, in the middle and at the end are all listed; the counts are those
    // a run of the good cases writes; nothing is written, not even a register row.
    void reportsEveryBadLine_data()
    {
        QTest::addColumn<QString>("job");
        TestDatabase::addBackendColumn();
        for (const char* job : { "orb", "vidiru", "incassi" }) {
            for (const char* backend : { "sqlite", "postgresql" }) {
                QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(job), QLatin1String(backend))))
                    << QString::fromLatin1(job) << QString::fromLatin1(backend);
            }
        }
    }
    void reportsEveryBadLine()
    {
        QFETCH(QString, job);
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        if (job == QLatin1String("incassi")) {
            addCollectionCases(tdb, 4);
        }
        const CheckFile f = checkFile(job);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(QStringLiteral("bad.txt"), cp1252Lines(f.lines));
        ws.writeImportFile(QStringLiteral("good.txt"), cp1252Lines(f.good));
        const QStringList before = snapshot(tdb);
        Report reports[2];
        for (int clean = 0; clean < 2; ++clean) {
            const CliRun check = runZb32({ "check", job, "--file", clean ? "good.txt" : "bad.txt", "--lotto", "7" });
            QVERIFY2(check.exitCode == (clean ? 0 : 3), qPrintable(check.describe()));
            reports[clean] = readReport(check);
            QCOMPARE(reports[clean].lines, clean ? QList<int>() : f.badLines);
            QCOMPARE(reports[clean].missing, f.missing);
            const QStringList after = snapshot(tdb);
            QVERIFY2(after == before, qPrintable(firstDifference(after, before)));
        }
        QCOMPARE(reports[0].writes, reports[1].writes); // the bad lines' cases are left out

        // What a run of the good lines then writes.
        const QList<int> counts
            = { tdb.count(Schema::kCases), tdb.count(Schema::kInvoices), tdb.count(Schema::kPayments) };
        const CliRun run = runZb32({ "run", job, "--file", "good.txt", "--lotto", "7" });
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        snapshot(tdb);
        const QRegularExpressionMatch confirmed
            = QRegularExpression(QStringLiteral("effettuate: (\\d+)")).match(run.out);
        const qint64 outcomes = std::count_if(f.good.cbegin(), f.good.cend(), [](const QString& line) {
            return line.mid(60, 3).trimmed() == QLatin1String("37") || line.mid(60, 3).trimmed() == QLatin1String("36");
        });
        const QMap<QString, qint64> written = job == QLatin1String("incassi")
            ? QMap<QString, qint64> { { "pagamenti", tdb.count(Schema::kPayments) - counts[2] },
                  { "fatture", tdb.count(Schema::kInvoices) - counts[1] },
                  { "rate confermate", confirmed.captured(1).toLongLong() }, { "esiti", outcomes } }
            : QMap<QString, qint64> { { "pratiche", tdb.count(Schema::kCases) - counts[0] },
                  { "fatture", tdb.count(Schema::kInvoices) - counts[1] } };
        QCOMPARE(reports[1].writes, written);
    }

    // Where the check cannot start, it ends as the run does, with the same message and status.
    void endsAsTheRun_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("database");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing file") << "orb"
                                      << "nessuno.txt" << true << "FILE MANCANTE";
        QTest::newRow("no lotto") << "vidiru"
                                  << "f.txt" << true << "Lotto";
        QTest::newRow("no database") << "incassi"
                                     << "f.txt" << false << "connstring";
        QTest::newRow("empty workbook") << "spese"
                                        << "f.txt" << true << "Verifica interrotta";
    }
    void endsAsTheRun()
    {
        QFETCH(QString, job);
        QFETCH(QString, file);
        QFETCH(bool, database);
        QFETCH(QString, says);
        TestDatabase tdb(QStringLiteral("sqlite"));
        TestWorkspace ws;
        ws.writeIni(database ? tdb.connectionString() : QString());
        ws.writeImportFile(QStringLiteral("f.txt"), cp1252Lines(viDiruCase(1)));
        const QStringList options { "--file", file, "--lotto", job == QLatin1String("vidiru") ? "" : "7" };
        const CliRun run = runZb32(QStringList { "run", job } + options);
        const CliRun check = runZb32(QStringList { "check", job } + options);
        QVERIFY2(check.exitCode == run.exitCode && check.exitCode != 0, qPrintable(check.describe() + run.describe()));
        QVERIFY2((check.out + check.err).contains(says), qPrintable(check.describe()));
        QCOMPARE(tdb.count(Schema::kImportRuns), 0);
        QCOMPARE(runZb32({ "check", "postel" }).exitCode, 2); // a print file is checked by "anteprima"
    }
};

QTEST_GUILESS_MAIN(TestCheck)
#include "TestCheck.moc"
