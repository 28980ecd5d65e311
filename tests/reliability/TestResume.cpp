// A run killed mid-way and then resumed with --riprendi leaves the database as one clean run of
// the file would: every record once, none missing, compared record by record.
#include "CliSupport.h"
#include "FaultInputs.h"
#include "JobFiles.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Schema.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace zb32;
using namespace zb32::test;

namespace {

const QString kFile = QStringLiteral("grande.txt");

QStringList jobArgs(const QString& job)
{
    return { QStringLiteral("run"), job, QStringLiteral("--file"), kFile, QStringLiteral("--lotto"),
        QStringLiteral("7"), QStringLiteral("--mandato"), QStringLiteral("460") };
}

// The four tables' records without the keys the runs gave the records they wrote (a server's
// sequence does not take back the keys of a killed transaction), sorted.
QStringList contentWithoutNewKeys(TestDatabase& tdb)
{
    static const QRegularExpression key(QStringLiteral("^(tabella fatture|tabella pagamenti) \\S+ "));
    QStringList rows = dumpRows(tdb);
    for (QString& row : rows) {
        row.replace(key, QStringLiteral("\\1 "));
    }
    rows.sort();
    return rows;
}

QByteArray collectionsFile(int records)
{
    QStringList lines;
    for (int n = 0; n < records; ++n) {
        lines << collectionRecord(n);
    }
    return cp1252Lines(lines);
}

} // namespace

class TestResume : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedRunResumed_data()
    {
        TestDatabase::addBackendColumn();
        QTest::addColumn<QString>("job");
        QTest::addColumn<int>("killAfter"); // records of the job's table seen saved
        for (const char* backend : { "sqlite", "postgresql" }) {
            for (const char* job : { "orb", "vidiru", "incassi" }) {
                for (const int killAfter : { 200, 1500 }) {
                    QTest::newRow(qPrintable(QStringLiteral("%1: %2, killed after %3")
                                                 .arg(QLatin1String(backend), QLatin1String(job))
                                                 .arg(killAfter)))
                        << QString::fromLatin1(backend) << QString::fromLatin1(job) << killAfter;
                }
            }
        }
    }
    void killedRunResumed()
    {
        QFETCH(QString, backend);
        QFETCH(QString, job);
        QFETCH(int, killAfter);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        const bool collections = job == QLatin1String("incassi");
        FaultInput input {};
        QByteArray bytes;
        if (collections) {
            addCollectionCases(tdb, 4);
            bytes = collectionsFile(7000);
        } else {
            input = job == QLatin1String("orb") ? FaultInput::orb(1500, QStringLiteral("K"))
                                                : FaultInput::viDiru(1500, QStringLiteral("K"));
            bytes = input.bytes;
        }
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(kFile, bytes);

        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZB32_TODAY"), kCliToday.toString(Qt::ISODate)); // as the resuming run has it
        run.setProcessEnvironment(env);
        run.start(qEnvironmentVariable("ZB32_BINARY"), jobArgs(job));
        QVERIFY(run.waitForStarted());
        const QString watched = collections ? Schema::kPayments : Schema::kInvoices;
        const int seen = waitForRows(tdb.connectionString(), watched, killAfter, [&] { return !run.waitForFinished(2); });
        QVERIFY2(run.state() == QProcess::Running,
            qPrintable(QStringLiteral("the run ended before it was killed (%1 records seen)").arg(seen)));
        run.kill(); // SIGKILL: no closing of any kind
        QVERIFY(run.waitForFinished(10000));

        const CliRun resumed = runZb32(jobArgs(job) << QStringLiteral("--riprendi"));
        QVERIFY2(resumed.exitCode == 0, qPrintable(resumed.describe()));
        QVERIFY2(resumed.out.contains(QLatin1String("ripresa dalla riga")), qPrintable(resumed.describe()));
        const QList<QVariantMap> runs = tdb.rows(Schema::kImportRuns);
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[0].value("stato").toString(), QStringLiteral("interrotta"));
        QCOMPARE(runs[1].value("modo").toString(), QStringLiteral("ripresa"));
        QCOMPARE(runs[1].value("stato").toString(), QStringLiteral("conclusa"));
        QVERIFY(runs[0].value("ultima riga salvata").toLongLong() > 0);

        QString why;
        if (collections) {
            // The same file imported once, cleanly, into a database of the same cases.
            TestDatabase clean(backend);
            ZB32_REQUIRE(clean);
            addCollectionCases(clean, 4);
            QCOMPARE(runImport(clean, job, kFile, bytes, jobArgs(job).mid(4)).exitCode, 0);
            const QString difference = firstDifference(contentWithoutNewKeys(tdb), contentWithoutNewKeys(clean));
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
            // Every payment posted is a created record of one of the two runs, every case it
            // changed a row with the fields' values before.
            int created = 0;
            int changed = 0;
            for (const QVariantMap& rec : tdb.rows(Schema::kImportRecords)) {
                const bool isCase = rec.value("tabella").toString() == Schema::kCases;
                QCOMPARE(rec.value("valori precedenti").isNull(), !isCase);
                (isCase ? changed : created) += rec.value("tabella").toString() == Schema::kPayments || isCase;
            }
            QCOMPARE(created, tdb.count(Schema::kPayments));
            QVERIFY(changed > 0);
        } else {
            const QStringList stored = FaultInput::stored(tdb.db(), input.job, &why);
            QVERIFY2(why.isEmpty(), qPrintable(why));
            QVERIFY2(sameRecords(stored, input.expectedBefore(input.lineCount() + 1), &why), qPrintable(why));
        }
    }
};

QTEST_GUILESS_MAIN(TestResume)
#include "TestResume.moc"
