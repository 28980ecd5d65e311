// "zb32 run vidiru" as a separate process: exit status, printed messages and counters, and
// the demo workspace's sample file imported from a first start.
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "ViDiruLines.h"
#include "Zb32Process.h"
#include "core/desk/Schema.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

using namespace zb32;
using namespace zb32::test;

namespace {

using Run = zb32::test::Zb32Run;
using zb32::test::runZb32;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestViDiruCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void importsTheGoldenFile_data()
    {
        TestDatabase::addBackendColumn();
        TestDatabase::addBackendRow(QStringLiteral("sqlite"));
        TestDatabase::addBackendRow(QStringLiteral("postgresql"));
    }
    void importsTheGoldenFile()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(
            QStringLiteral("golden.txt"), readFile(qEnvironmentVariable("ZB32_TEST_DATA") + "/vidiru/golden.txt"));
        const Run r = runZb32({ "run", "vidiru", "--file", "golden.txt", "--lotto", "13", "--mandato", "470",
            "--data-affido", "02/12/2026", "--scadenza", "02/01/2027" });
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QCOMPARE(r.out, QStringLiteral("Importazione conclusa\nclienti: 3\nfatture: 3\n"));
        const QList<QVariantMap> cases = tdb.rows(Schema::kCases);
        QCOMPARE(cases.size(), 3);
        for (const QVariantMap& c : cases) {
            QCOMPARE(c.value("lottoimportazione").toLongLong(), 13);
            QCOMPARE(c.value("tipo mandato").toString(), QStringLiteral("470"));
            QCOMPARE(c.value("data affido").toDate(), QDate(2026, 12, 2));
            QCOMPARE(c.value("scadenza mandato").toDate(), QDate(2027, 1, 2));
        }
        QCOMPARE(tdb.count(Schema::kInvoices), 3);
    }

    void stopsWithStatus3()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(QStringLiteral("rotto.txt"),
            viDiruFile({ headerLine("1"), componentLine("Sorte", "10,00"), componentLine("Inter", "1O,00"),
                headerLine("2") }));
        const Run r = runZb32({ "run", "vidiru", "--file", "rotto.txt" });
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(
            r.err.contains("Importazione interrotta. File rotto.txt, riga 3: l'importo \"1O,00\""), qPrintable(r.err));
        QVERIFY(!r.out.contains("Importazione conclusa"));
        // The case of the bad line is not saved at all; the box says what the database holds.
        QVERIFY2(r.out.endsWith("clienti: 0\nfatture: \n"), qPrintable(r.out));
        QCOMPARE(tdb.count(Schema::kCases), 0);
    }

    void missingFileIsACondition()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const Run r = runZb32({ "run", "vidiru", "--file", "nessuno.txt" });
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.startsWith("FILE MANCANTE\n"), qPrintable(r.out));
    }

    void demoWorkspaceSampleImports()
    {
        // A first start where drive Z has no folder: the demo workspace with its samples.
        QTemporaryDir dir;
        const QByteArray oldZ = qgetenv("ZB32_DRIVE_Z");
        const QByteArray oldC = qgetenv("ZB32_DRIVE_C");
        qputenv("ZB32_DRIVE_Z", QFile::encodeName(dir.path() + "/Z"));
        qputenv("ZB32_DRIVE_C", QFile::encodeName(dir.path() + "/C"));
        const Run r = runZb32({ "run", "vidiru", "--file", "vidiru.txt", "--lotto", "5" });
        qputenv("ZB32_DRIVE_Z", oldZ);
        qputenv("ZB32_DRIVE_C", oldC);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));

        // The counters match the sample's own headers and instalments.
        const QByteArray sample = readFile(dir.path() + "/Z/work/kx32/import/vidiru.txt");
        QVERIFY(!sample.isEmpty());
        int headers = 0;
        int instalments = 0;
        for (const QByteArray& line : sample.split('\n')) {
            headers += line.mid(10, 8) == "IBGI0001";
            instalments += line.mid(10, 8) == "IBGI0011" && line.size() - 1 >= 30;
        }
        QVERIFY(headers >= 3);
        QVERIFY(instalments >= 3);
        QVERIFY2(r.out.contains(
                     QStringLiteral("Importazione conclusa\nclienti: %1\nfatture: %2\n").arg(headers).arg(instalments)),
            qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(TestViDiruCommandLine)
#include "TestViDiruCommandLine.moc"
