// The register of import runs, as a clerk's script reads it: every run a row with its state,
// the last line saved and the counters, listed by `zb32 registro`.
#include "CliSupport.h"
#include "JobFiles.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Schema.h"

#include <QTest>

using namespace zb32;
using namespace zb32::test;

class TestRegister : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runIsRegistered_data()
    {
        QTest::addColumn<bool>("badLine");
        TestDatabase::addBackendColumn();
        for (const char* backend : { "sqlite", "postgresql" }) {
            const QString b = QString::fromLatin1(backend);
            QTest::newRow(qPrintable(b + QStringLiteral(": completed"))) << false << b;
            QTest::newRow(qPrintable(b + QStringLiteral(": stopped in the third case"))) << true << b;
        }
    }
    void runIsRegistered()
    {
        QFETCH(bool, badLine);
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        QStringList lines = orbCase(1) + orbCase(2);
        const int thirdCase = int(lines.size()) + 1;
        lines += orbCase(3);
        if (badLine) {
            lines << QStringLiteral("01F01  x"); // a detail line of the third case without its dates
        }
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(QStringLiteral("orb.txt"), cp1252Lines(lines));
        const CliRun run = runZb32({ "run", "orb", "--file", "orb.txt", "--lotto", "7" });
        QCOMPARE(run.exitCode, badLine ? 3 : 0);

        const QList<QVariantMap> rows = tdb.rows(Schema::kImportRuns);
        QCOMPARE(rows.size(), 1);
        const QVariantMap& r = rows[0];
        QCOMPARE(r.value("lavoro").toString(), QStringLiteral("orb"));
        QCOMPARE(r.value("nome file").toString(), QStringLiteral("orb.txt"));
        QCOMPARE(r.value("lotto").toString(), QStringLiteral("7"));
        QCOMPARE(r.value("sha256").toString().size(), 64);
        QCOMPARE(r.value("stato").toString(), badLine ? QStringLiteral("interrotta") : QStringLiteral("conclusa"));
        QCOMPARE(r.value("righe lette").toLongLong(), qint64(lines.size()));
        // A stopped run names the line before the case it took back; the count is what is saved.
        QCOMPARE(r.value("ultima riga salvata").toLongLong(), qint64(badLine ? thirdCase - 1 : lines.size()));
        QCOMPARE(r.value("clienti").toLongLong(), qint64(badLine ? 2 : 3));
        QCOMPARE(r.value("clienti").toLongLong(), qint64(tdb.count(Schema::kCases)));
        QCOMPARE(r.value("messaggio").toString().isEmpty(), false);

        const CliRun list = runZb32({ "registro", "--csv", "--job", "orb" });
        QCOMPARE(list.exitCode, 0);
        const QStringList out = list.outLines();
        QCOMPARE(out.size(), 2); // the headings and the run
        QVERIFY2(out[1].contains(QStringLiteral(";orb;orb.txt;7;")), qPrintable(out[1]));
        QCOMPARE(runZb32({ "registro", "--job", "vidiru" }).outLines(), QStringList {});
    }
};

QTEST_GUILESS_MAIN(TestRegister)
#include "TestRegister.moc"
