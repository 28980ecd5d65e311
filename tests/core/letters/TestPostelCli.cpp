// The letters end to end: "zb32 run postel" as a clerk's script runs it.
#include "PostelFixture.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "Zb32Process.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTest>

using namespace zb32;
using test::TestDatabase;

namespace {

using Run = zb32::test::Zb32Run;

// Runs fix their today, so the print file's name and dates are known.
Run runToday(const QStringList& args)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("ZB32_TODAY"), QStringLiteral("2026-12-07"));
    return zb32::test::runZb32(args, env);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPostelCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void letters_data()
    {
        TestDatabase::addBackendColumn();
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("letters");
        for (const QString& backend : { QStringLiteral("sqlite"), QStringLiteral("postgresql") }) {
            QTest::newRow(qPrintable(backend + QLatin1String(": slips")))
                << backend << QStringList { "--lotto", "1", "--cc" } << "lotto1_cc" << 5;
            QTest::newRow(qPrintable(backend + QLatin1String(": no slips")))
                << backend << QStringList { "--lotto=1", "--no-cc" } << "lotto1_senza_cc" << 5;
            QTest::newRow(qPrintable(backend + QLatin1String(": test case")))
                << backend << QStringList { "--lotto", "1 or 1=1", "--test" } << "prova" << 1;
        }
    }
    void letters()
    {
        QFETCH(QString, backend);
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        QFETCH(int, letters);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        test::insertPostelBatch(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const Run r = runToday(QStringList { "run", "postel" } + args);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QString path = QDir::toNativeSeparators(ws.driveC() + QStringLiteral("/LO071226.ASC"));
        QVERIFY2(r.out.startsWith(QStringLiteral("Creati %1 Postel nel file %2\n").arg(letters).arg(path)),
            qPrintable(r.out));
        QCOMPARE(readFile(path), test::expectedPrintFile(expected));
    }

    void conditions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("blockDriveC");
        QTest::addColumn<QString>("output");
        QTest::newRow("empty batch box") << QStringList { "--lotto", "" } << false << "Manca lotto\n";
        QTest::newRow("desk default batch 0") << QStringList {} << false << "Manca lotto\n";
        QTest::newRow("no folder for the file") << QStringList { "--lotto", "1" } << true << "\r\nper il file ";
    }
    void conditions()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, blockDriveC);
        QFETCH(QString, output);
        test::TestWorkspace ws;
        if (blockDriveC) {
            QFile blocker(ws.driveZ() + QStringLiteral("/blocker"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            qputenv("ZB32_DRIVE_C", QFile::encodeName(blocker.fileName() + QStringLiteral("/C")));
        }
        const Run r = runToday(QStringList { "run", "postel" } + args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains(output), qPrintable(r.out));
        QCOMPARE(test::folderEntries(ws.driveC()), QStringList {});
    }

    void failedRun()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        test::insertPostelBatch(tdb);
        QSqlQuery q(tdb.db().database());
        QVERIFY(q.exec(
            QStringLiteral("UPDATE [tabella pratiche] SET [importo totale] = 'tanto' WHERE posizione = '1002/2020'")));
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const Run r = runToday({ "run", "postel", "--lotto", "1" });
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains(QStringLiteral("pratica 1002/2020")), qPrintable(r.err));
        QVERIFY(r.err.contains(QStringLiteral("importo totale")));
        QCOMPARE(test::folderEntries(ws.driveC()), QStringList {});
    }
};

QTEST_GUILESS_MAIN(TestPostelCli)
#include "TestPostelCli.moc"
