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

// A bad file of the job: bad lines at its start, in the middle of a case and on its last line,
// and the lines a run saves of it (the cases without a bad line).
struct CheckFile
{
    QStringList lines;
    QList<int> badLines;
    QStringList good;
    QStringList missing; // positions without a case
};

// Appends `part` to the file; `bad` marks which of its lines are bad, `keep` whether a run saves it.
void add(CheckFile& f, const QStringList& part, bool keep, const QList<int>& badAt = {})
{
    for (int i = 0; i < part.size(); ++i) {
        if (badAt.contains(i)) {
            f.badLines << int(f.lines.size()) + 1;
        }
        f.lines << part[i];
    }
    if (keep) {
        f.good << part;
    }
}

QStringList withLine(QStringList lines, int at, const QString& line)
{
    lines.insert(at, line);
    return lines;
}

CheckFile checkFile(const QString& job)
{
    CheckFile f;
    if (job == QLatin1String("orb")) {
        OrbInvoice cut;
        cut.number = QStringLiteral("FT-X");
        const QString truncated = orbDetail(cut).left(95); // no due date
        add(f, { orbDetail(cut) }, false, { 0 }); // before the first case
        add(f, orbCase(1), true);
        add(f, withLine(orbCase(2), 3, truncated), false, { 3 });
        add(f, orbCase(3), true);
        add(f, orbCase(4) << truncated, false, { 5 });
    } else if (job == QLatin1String("vidiru")) {
        const QString instalment = viDiruInstalment(
            QStringLiteral("03"), QStringLiteral("31/03/2024"), QStringLiteral("77,70"), QStringLiteral("RATA-X"));
        add(f, { instalment }, false, { 0 }); // before the first header
        add(f, viDiruCase(1), true);
        add(f, withLine(viDiruCase(2), 3, instalment.left(60)), false, { 3 }); // no amount
        add(f, viDiruCase(3), true);
        add(f, viDiruCase(4) << instalment.left(70), false, { 7 });
    } else {
        QString notANumber = collectionRecord(0);
        notANumber.replace(30, 8, QStringLiteral("12A4XYZW"));
        CollectionRecord unknown;
        unknown.position = QStringLiteral("9999");
        add(f, { collectionRecord(7).left(45) }, false, { 0 });
        for (int n = 0; n < 5; ++n) {
            add(f, { collectionRecord(n) }, true);
        }
        add(f, { notANumber }, false, { 0 });
        add(f, { collectionLine(unknown) }, true);
        for (int n = 5; n < 10; ++n) {
            add(f, { collectionRecord(n) }, true);
        }
        add(f, { collectionRecord(10).left(58) }, false, { 0 });
        f.missing << QStringLiteral("9999") << QStringLiteral("9999"); // in the bad file and in the good one
    }
    return f;
}

// The line numbers of the report's bad lines ("  File F, riga N: ...").
QList<int> reportedLines(const CliRun& run, const QString& file)
{
    QList<int> out;
    const QRegularExpression re(
        QStringLiteral("^  File %1, riga (\\d+): .+").arg(QRegularExpression::escape(file)));
    for (const QString& line : run.outLines()) {
        const QRegularExpressionMatch m = re.match(line);
        if (m.hasMatch()) {
            out << m.captured(1).toInt();
        }
    }
    return out;
}

// The report's "what the run would write" as label and count, and the positions it lists.
QMap<QString, qint64> reportedWrites(const CliRun& run, QStringList* missing)
{
    QMap<QString, qint64> out;
    QString section;
    for (const QString& line : run.outLines()) {
        if (!line.startsWith(QLatin1String("  "))) {
            section = line;
            continue;
        }
        if (section.startsWith(QLatin1String("L'importazione scriverebbe"))) {
            const qsizetype colon = line.lastIndexOf(QLatin1Char(':'));
            out.insert(line.mid(2, colon - 2), line.mid(colon + 1).trimmed().toLongLong());
        } else if (section.startsWith(QLatin1String("Posizioni senza pratica"))) {
            *missing << line.trimmed();
        }
    }
    return out;
}

QByteArray fileSha(const QString& path)
{
    QFile f(path);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    return f.open(QIODevice::ReadOnly) && sha.addData(&f) ? sha.result() : QByteArray();
}

// What must not change: every row of the four tables and of the register, and on SQLite the
// database file's bytes (its log copied in first, so only a commit could change them).
struct Snapshot
{
    QStringList rows;
    int runs = 0;
    QByteArray bytes;
    bool operator==(const Snapshot&) const = default;
};

// The test's connection opened again: no statement of it keeps reading an older state.
void reconnect(TestDatabase& tdb)
{
    QString error;
    tdb.db().close();
    if (!tdb.db().open(tdb.connectionString(), &error)) {
        qFatal("reconnect: %s", qPrintable(error));
    }
}

Snapshot snapshot(TestDatabase& tdb)
{
    reconnect(tdb);
    Snapshot s { dumpRows(tdb), tdb.count(Schema::kImportRuns), {} };
    if (tdb.backend() == QLatin1String("sqlite")) {
        // Stepped to its end, so the statement leaves no read transaction open behind it.
        QSqlQuery q(tdb.db().database());
        if (!q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) || !q.next() || q.value(0).toInt() != 0) {
            qFatal("checkpoint: %s", qPrintable(q.lastError().text()));
        }
        q.finish();
        s.bytes = fileSha(ConnectionString::parse(tdb.connectionString()).value(QStringLiteral("Data Source")));
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
        const Snapshot before = snapshot(tdb);

        const CliRun bad = runZb32({ "check", job, "--file", "bad.txt", "--lotto", "7" });
        QVERIFY2(bad.exitCode == 3, qPrintable(bad.describe()));
        QCOMPARE(reportedLines(bad, QStringLiteral("bad.txt")), f.badLines);
        QVERIFY2(snapshot(tdb) == before, qPrintable(firstDifference(snapshot(tdb).rows, before.rows)));

        const CliRun good = runZb32({ "check", job, "--file", "good.txt", "--lotto", "7" });
        QVERIFY2(good.exitCode == 0, qPrintable(good.describe()));
        QVERIFY2(good.out.contains(QStringLiteral("Righe errate: nessuna")), qPrintable(good.out));
        QVERIFY2(snapshot(tdb) == before, qPrintable(firstDifference(snapshot(tdb).rows, before.rows)));
        QStringList missing;
        const QMap<QString, qint64> writes = reportedWrites(good, &missing);
        QCOMPARE(reportedWrites(bad, &missing), writes); // the bad lines' cases are left out
        QCOMPARE(missing, f.missing);

        // What a run of the good lines then writes.
        const int cases = tdb.count(Schema::kCases);
        const int invoices = tdb.count(Schema::kInvoices);
        const int payments = tdb.count(Schema::kPayments);
        const CliRun run = runZb32({ "run", job, "--file", "good.txt", "--lotto", "7" });
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        reconnect(tdb);
        QVERIFY(!writes.isEmpty());
        for (auto it = writes.cbegin(); it != writes.cend(); ++it) {
            qint64 written = -1;
            if (it.key() == QLatin1String("pratiche")) {
                written = tdb.count(Schema::kCases) - cases;
            } else if (it.key() == QLatin1String("fatture")) {
                written = tdb.count(Schema::kInvoices) - invoices;
            } else if (it.key() == QLatin1String("pagamenti")) {
                written = tdb.count(Schema::kPayments) - payments;
            } else if (it.key() == QLatin1String("rate confermate")) {
                const QRegularExpressionMatch m
                    = QRegularExpression(QStringLiteral("Conferme di Pagamento effettuate: (\\d+)")).match(run.out);
                written = m.hasMatch() ? m.captured(1).toLongLong() : -1;
            } else if (it.key() == QLatin1String("esiti")) {
                // Every outcome record of the file finds its case.
                written = std::count_if(f.good.cbegin(), f.good.cend(), [](const QString& line) {
                    const QString code = line.mid(60, 3).trimmed();
                    return code == QLatin1String("37") || code == QLatin1String("36");
                });
            }
            QVERIFY2(it.value() == written,
                qPrintable(QStringLiteral("%1: check %2, run %3").arg(it.key()).arg(it.value()).arg(written)));
        }
        QVERIFY(tdb.count(Schema::kImportRuns) == before.runs + 1);
    }

    // Where the check cannot start, it ends as the run does, with the same message and status.
    void endsAsTheRun_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("database");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing file") << "orb" << "nessuno.txt" << true << "FILE MANCANTE";
        QTest::newRow("no lotto") << "vidiru" << "f.txt" << true << "Lotto";
        QTest::newRow("no database") << "incassi" << "f.txt" << false << "connstring";
        QTest::newRow("empty workbook") << "spese" << "f.txt" << true << "Verifica interrotta";
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
