// The letters end to end: "zb32 run postel" as a clerk's script runs it.
#include "PostelFixture.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "Zb32Process.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

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

// "zb32 anteprima" as it runs on a machine without a display: no X server, no platform named.
Run runPreview(const QStringList& args)
{
    QList<std::pair<const char*, std::optional<QByteArray>>> saved;
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        saved.append({ name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt });
        qunsetenv(name);
    }
    const Run r = zb32::test::runZb32(QStringList { "anteprima" } + args);
    for (const auto& [name, value] : saved) {
        if (value) {
            qputenv(name, *value);
        }
    }
    return r;
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

    // A copy of the database on a read-only medium: the letters are written from it, an import
    // is refused before it writes anything.
    void readOnlyMedium()
    {
        QString dbPath;
        {
            TestDatabase tdb(QStringLiteral("sqlite"));
            ZB32_REQUIRE(tdb);
            test::insertPostelBatch(tdb);
            dbPath = tdb.connectionString().section(QStringLiteral("Data Source="), 1);
            tdb.db().close();
            QTemporaryDir medium;
            const auto mount
                = [](const QStringList& args) { return QProcess::execute(QStringLiteral("mount"), args) == 0; };
            if (!mount({ QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("tmpfs"), medium.path() })) {
                QSKIP("a read-only medium needs mount (root)");
            }
            const QString copy = medium.filePath(QStringLiteral("casi.db"));
            const bool ready = QFile::copy(dbPath, copy)
                && mount({ QStringLiteral("-o"), QStringLiteral("remount,ro"), medium.path() });
            test::TestWorkspace ws;
            ws.writeIni(QStringLiteral("Provider=SQLite;Data Source=") + copy);
            const Run letters = ready ? runToday({ "run", "postel", "--lotto", "1", "--cc" }) : Run {};
            ws.writeImportFile(QStringLiteral("orb.txt"),
                readFile(qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/orb/esempio/input.txt")));
            const Run import = ready ? runToday({ "run", "orb", "--file", "orb.txt", "--lotto", "9" }) : Run {};
            QProcess::execute(QStringLiteral("umount"), { medium.path() });
            QVERIFY(ready);
            QVERIFY2(letters.exitCode == 0, qPrintable(letters.err + letters.out));
            QCOMPARE(readFile(ws.driveC() + QStringLiteral("/LO071226.ASC")), test::expectedPrintFile("lotto1_cc"));
            QVERIFY2(import.exitCode != 0 && (import.out + import.err).contains(QStringLiteral("si può solo leggere")),
                qPrintable(import.out + import.err));
            // The boxes claim nothing that was not saved.
            QVERIFY2(import.out.contains(QStringLiteral("clienti: \n")), qPrintable(import.out));
        }
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

    // The letters the run wrote for a batch without faults: the check finds none, and the PDF
    // holds every letter and slip page. The file is named as the system names it.
    void previewOfTheRunsFile()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        test::insertPostelBatch(tdb);
        QSqlQuery q(tdb.db().database());
        QVERIFY(q.exec(QStringLiteral("UPDATE [tabella pratiche] SET indirizzo = 'VIA NUOVA 1', cap = '00100', "
                                      "citta = 'ROMA' WHERE indirizzo IS NULL OR cap IS NULL OR citta IS NULL")));
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        QCOMPARE(runToday({ "run", "postel", "--lotto", "1", "--cc" }).exitCode, 0);
        const QString pdf = ws.driveZ() + QStringLiteral("/lettere.pdf");
        const Run r = runPreview({ "C:\\LO071226.ASC", "--pdf", pdf });
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QVERIFY2(r.out.contains(QStringLiteral("lettere: 5\nbollettini: 8\nimporto totale: 237.339,89\nproblemi: 0\n")),
            qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("(lettere 1-5, 9 pagine)")), qPrintable(r.out));
        QVERIFY(readFile(pdf).startsWith("%PDF-"));
    }

    void preview_data()
    {
        QTest::addColumn<QString>("file"); // of tests/data/postel, copied to drive C
        QTest::addColumn<QStringList>("args"); // "{pdf}" stands for a PDF in a temporary folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("faults listed with their lines") << "lotto1_cc" << QStringList {} << 3
                                                        << QStringList { "lettere: 5\nbollettini: 8\n", "problemi: 3\n",
                                                               "  riga 182: lettera 4 (VERDI LUIGI): CAP mancante\n",
                                                               "  riga 216: lettera 5 (NERI SPA): indirizzo vuoto\n" }
                                                        << "";
        QTest::newRow("a range into the PDF")
            << "lotto1_cc" << QStringList { "--pdf", "{pdf}", "--da", "2", "--a=3" } << 3
            << QStringList { "problemi: 3\n", "(lettere 2-3, 4 pagine)\n" } << "";
        QTest::newRow("a clean file") << "prova" << QStringList { "--pdf={pdf}" } << 0
                                      << QStringList { "lettere: 1\n", "problemi: 0\n", "(lettere 1-1, 2 pagine)\n" }
                                      << "";
        QTest::newRow("no letter in the range")
            << "prova" << QStringList { "--pdf", "{pdf}", "--da", "5" } << 1 << QStringList { "problemi: 0\n" }
            << "il file ha 1 lettere, nessuna dalla 5 in poi: PDF non scritto";
        QTest::newRow("no such file") << "" << QStringList {} << 1 << QStringList {} << "FILE MANCANTE";
    }
    void preview()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, out);
        QFETCH(QString, err);
        test::TestWorkspace ws;
        const QString path = ws.driveC() + QStringLiteral("/LO071226.ASC");
        if (!file.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(test::expectedPrintFile(file));
        }
        const QString pdf = ws.driveZ() + QStringLiteral("/lettere.pdf");
        args.replaceInStrings(QStringLiteral("{pdf}"), pdf);
        const Run r = runPreview(QStringList { path } + args);
        QVERIFY2(r.exitCode == exitCode, qPrintable(r.out + r.err));
        for (const QString& o : out) {
            QVERIFY2(r.out.contains(o), qPrintable(r.out));
        }
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
        QCOMPARE(readFile(pdf).startsWith("%PDF-"), r.out.contains(QStringLiteral("PDF: ")));
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
