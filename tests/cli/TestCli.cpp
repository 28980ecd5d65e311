// The command line, run as a separate process like a clerk's script would run it.
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "Zb32Process.h"
#include "core/desk/Schema.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace zb32;

namespace {

using Run = zb32::test::Zb32Run;
using zb32::test::runZb32;

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no job") << QStringList { "run" };
        QTest::newRow("unknown job") << QStringList { "run", "nessuno" };
        QTest::newRow("unknown option") << QStringList { "run", "orb", "--boh" };
        QTest::newRow("missing value") << QStringList { "run", "orb", "--lotto" };
        QTest::newRow("value on a flag") << QStringList { "run", "orb", "--cc=1" };
        QTest::newRow("initdb option") << QStringList { "initdb", "--x" };
        QTest::newRow("unknown command") << QStringList { "stampa" };
        QTest::newRow("preview without file") << QStringList { "anteprima" };
        QTest::newRow("preview, unknown option") << QStringList { "anteprima", "LO071226.ASC", "--boh" };
        QTest::newRow("preview, two files") << QStringList { "anteprima", "a.ASC", "b.ASC" };
        QTest::newRow("preview, range without PDF") << QStringList { "anteprima", "LO071226.ASC", "--da", "2" };
        QTest::newRow("preview, range backwards")
            << QStringList { "anteprima", "LO071226.ASC", "--pdf", "x.pdf", "--da", "3", "--a=2" };
        QTest::newRow("preview, letter 0")
            << QStringList { "anteprima", "LO071226.ASC", "--pdf", "x.pdf", "--da", "0" };
        QTest::newRow("preview, missing value") << QStringList { "anteprima", "LO071226.ASC", "--pdf" };
        QTest::newRow("unknown flag") << QStringList { "--boh" };
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        test::TestWorkspace ws;
        const Run r = runZb32(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(QStringLiteral("uso:")));
    }

    // On a processor with AVX-512 the program starts itself again, at once, with the C
    // library's AVX2 functions: the same process, under its own name.
    void startsWithAvx2Functions()
    {
#if defined(__GLIBC__) && defined(__x86_64__)
        if (!__builtin_cpu_supports("avx512f")) {
            QSKIP("the processor has no AVX-512");
        }
#else
        QSKIP("only the C library of Linux on x86-64 chooses so");
#endif
        test::TestWorkspace ws;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("GLIBC_TUNABLES"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess desk; // the desk waits for its operator meanwhile
        desk.setProcessEnvironment(env);
        desk.start(qEnvironmentVariable("ZB32_BINARY"), {});
        QVERIFY(desk.waitForStarted());
        const QString proc = QStringLiteral("/proc/%1/").arg(desk.processId());
        const auto read = [&proc](const char* what) {
            QFile f(proc + QLatin1String(what));
            return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
        };
        // What the process was started with (the C library reads it as the program loads).
        QTRY_VERIFY_WITH_TIMEOUT(read("environ").split(QChar(0)).contains(
                                     QStringLiteral("GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX512F,-AVX512VL")),
            10000);
        QCOMPARE(read("comm").trimmed(), QStringLiteral("zb32"));
        desk.kill();
        desk.waitForFinished();
    }

    void versionIsPrinted()
    {
        test::TestWorkspace ws;
        const Run r = runZb32({ QStringLiteral("--version") });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("zb32 " ZB32_VERSION));
    }

    // The windows and the drawing are a module beside the executable: a job runs without it, the
    // desk and "anteprima" say it is missing and stop.
    void withoutTheDeskModule_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("a command without drawing") << QStringList { "--version" } << 0;
        QTest::newRow("the desk") << QStringList {} << 1;
        QTest::newRow("a preview") << QStringList { "anteprima", "LO071226.ASC" } << 3;
    }
    void withoutTheDeskModule()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        test::TestWorkspace ws;
        QTemporaryDir alone;
        const QString copy = alone.filePath(QStringLiteral("zb32"));
        QVERIFY(QFile::copy(qEnvironmentVariable("ZB32_BINARY"), copy));
        QProcess p;
        p.start(copy, args);
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(p.exitCode() == exitCode, qPrintable(err));
        QCOMPARE(err.contains(QStringLiteral("manca il modulo delle finestre: ") + alone.path()), exitCode != 0);
    }

    void initdbCreatesEveryTable_data()
    {
        test::TestDatabase::addBackendColumn();
        test::TestDatabase::addBackendRow(QStringLiteral("sqlite"));
        test::TestDatabase::addBackendRow(QStringLiteral("postgresql"));
    }
    void initdbCreatesEveryTable()
    {
        QFETCH(QString, backend);
        test::TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        test::TestWorkspace ws;
        // A database with nothing in it yet: the configured one.
        QString connString = tdb.connectionString();
        if (backend == QLatin1String("sqlite")) {
            connString = QStringLiteral("Provider=SQLite;Data Source=Z:\\work\\kx32\\dati\\nuovo.db");
        } else {
            for (const TableDef& t : Schema::tables()) {
                tdb.db().exec(QStringLiteral("DROP TABLE %1").arg(tdb.db().dialect().quoteName(t.name)), nullptr);
            }
        }
        ws.writeIni(connString);
        const Run r = runZb32({ QStringLiteral("initdb") });
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const Run again = runZb32({ QStringLiteral("initdb") });
        QCOMPARE(again.exitCode, 0);
        CaseDatabase check;
        QString error;
        QVERIFY2(check.open(connString, &error), qPrintable(error));
        for (const TableDef& t : Schema::tables()) {
            QCOMPARE(check.tableRecord(t.name).count(), t.fields.size());
        }
    }

    void initdbReportsWhatIsMissing_data()
    {
        QTest::addColumn<QString>("ini"); // "-" for no configuration file
        QTest::addColumn<QString>("message");
        QTest::newRow("no configuration file") << "-"
                                               << "manca il file di configurazione ";
        QTest::newRow("no key") << ""
                                << "manca la chiave \"connstring\"";
        // A cases table made elsewhere with only its first two columns.
        QTest::newRow("a column") << "Provider=SQLite;Data Source=Z:\\work\\kx32\\dati\\altro.db"
                                  << "mancano colonne che il programma scrive (le tabelle esistenti non vengono "
                                     "modificate): tabella pratiche.Tipo Mandato, ";
    }
    void initdbReportsWhatIsMissing()
    {
        QFETCH(QString, ini);
        QFETCH(QString, message);
        test::TestWorkspace ws;
        if (ini != QLatin1String("-")) {
            ws.writeIni(ini);
        }
        if (ini.contains(QLatin1String("altro.db"))) {
            CaseDatabase db;
            QString error;
            QVERIFY2(db.open(ini, &error, true), qPrintable(error));
            QVERIFY2(db.exec(QStringLiteral(
                                 "CREATE TABLE [tabella pratiche] (contatore INTEGER PRIMARY KEY, posizione TEXT)"),
                         &error),
                qPrintable(error));
        }
        const Run r = runZb32({ QStringLiteral("initdb") });
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!r.out.contains(QStringLiteral("tabelle pronte")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "TestCli.moc"
