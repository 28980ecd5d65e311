// The register of import runs, as a clerk's script reads it: every run a row with its state,
// the last line saved and the counters, listed by `zb32 registro`.
#include "CliSupport.h"
#include "JobFiles.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Schema.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QTest>
#include <array>

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
        const QByteArray bytes = cp1252Lines(lines);
        ws.writeImportFile(QStringLiteral("orb.txt"), bytes);
        const CliRun run = runZb32({ "run", "orb", "--file", "orb.txt", "--lotto", "7" });
        QCOMPARE(run.exitCode, badLine ? 3 : 0);

        const QList<QVariantMap> rows = tdb.rows(Schema::kImportRuns);
        QCOMPARE(rows.size(), 1);
        const QVariantMap& r = rows[0];
        QCOMPARE(r.value("lavoro").toString(), QStringLiteral("orb"));
        QCOMPARE(r.value("nome file").toString(), QStringLiteral("orb.txt"));
        QCOMPARE(r.value("lotto").toString(), QStringLiteral("7"));
        QCOMPARE(r.value("sha256").toString(),
            QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        QCOMPARE(r.value("stato").toString(), badLine ? QStringLiteral("interrotta") : QStringLiteral("conclusa"));
        QCOMPARE(r.value("righe lette").toLongLong(), qint64(lines.size()));
        // A stopped run names the line before the case it took back; the count is what is saved.
        QCOMPARE(r.value("ultima riga salvata").toLongLong(), qint64(badLine ? thirdCase - 1 : lines.size()));
        QCOMPARE(r.value("clienti").toLongLong(), qint64(badLine ? 2 : 3));
        QCOMPARE(r.value("clienti").toLongLong(), qint64(tdb.count(Schema::kCases)));
        QCOMPARE(r.value("messaggio").toString().isEmpty(), false);
        // The records the run created, as many as are saved, none of the case taken back; their
        // keys, consecutive in a fresh database, stand in one row a table.
        const QList<QVariantMap> records = tdb.rows(Schema::kImportRecords);
        QCOMPARE(records.size(), 2);
        qint64 covered = 0;
        for (const QVariantMap& rec : records) {
            QCOMPARE(rec.value("importazione").toLongLong(), r.value("id").toLongLong());
            QVERIFY(rec.value("valori precedenti").isNull());
            covered += rec.value("chiave fine").toLongLong() - rec.value("chiave").toLongLong() + 1;
        }
        QCOMPARE(covered, qint64(tdb.count(Schema::kCases) + tdb.count(Schema::kInvoices)));

        const CliRun list = runZb32({ "registro", "--csv", "--job", "orb" });
        QCOMPARE(list.exitCode, 0);
        const QStringList out = list.outLines();
        QCOMPARE(out.size(), 2); // the headings and the run
        QVERIFY2(out[1].contains(QStringLiteral(";orb;orb.txt;7;")), qPrintable(out[1]));
        QCOMPARE(runZb32({ "registro", "--job", "vidiru" }).outLines(), QStringList {});
    }

    // The same file a second time, after a run that completed or stopped: refused with the
    // earlier run named, unless taken again on purpose or resumed after its last saved line.
    void sameFileTwice_data()
    {
        TestDatabase::addBackendColumn();
        QTest::addColumn<bool>("firstStops"); // the first run stops at a bad line of the third case
        QTest::addColumn<bool>("leftRunning"); // ... and its row says "in corso" for a process that is gone
        QTest::addColumn<bool>("oneByteChanged");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("cases"); // afterwards
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("mode"); // of the second run's row; empty: no row
        const QStringList none;
        const QString done = QStringLiteral("Il file orb.txt è già stato importato il 07/12/2026 alle ");
        const QString stopped = QStringLiteral("si è fermata dopo la riga 10. Per continuare dalla riga 11");
        for (const char* backend : { "sqlite", "postgresql" }) {
            const QString b = QString::fromLatin1(backend) + QStringLiteral(": ");
            auto row = [&](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable(b + QString::fromLatin1(name))) << QString::fromLatin1(backend);
            };
            row("completed, run again") << false << false << false << none << 1 << 3 << done << QString();
            row("completed, --ancora") << false << false << false << QStringList { "--ancora" } << 0 << 6
                                       << QStringLiteral("importazione conclusa") << QStringLiteral("di nuovo");
            row("completed, --riprendi") << false << false << false << QStringList { "--riprendi" } << 1 << 3 << done
                                         << QString();
            row("one byte changed") << false << false << true << none << 0 << 6
                                    << QStringLiteral("importazione conclusa") << QStringLiteral("nuova");
            row("stopped, run again") << true << false << false << none << 1 << 2 << stopped << QString();
            row("left running, run again") << true << true << false << none << 1 << 2 << stopped << QString();
            // The resumed run meets the same bad line: nothing of the first two cases twice.
            row("stopped, --riprendi") << true << false << false << QStringList { "--riprendi" } << 3 << 2
                                       << QStringLiteral("riga 11") << QStringLiteral("ripresa");
            row("stopped, --ancora") << true << false << false << QStringList { "--ancora" } << 3 << 4
                                     << QStringLiteral("riga 11") << QStringLiteral("di nuovo");
            row("stopped, resumed with another batch")
                << true << false << false << QStringList { "--riprendi", "--lotto", "8" } << 1 << 2
                << QStringLiteral("si riprende con i dati della prima corsa") << QString();
        }
    }
    void sameFileTwice()
    {
        QFETCH(bool, firstStops);
        QFETCH(bool, leftRunning);
        QFETCH(bool, oneByteChanged);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(int, cases);
        QFETCH(QString, says);
        QFETCH(QString, mode);
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        QStringList lines = orbCase(1) + orbCase(2) + orbCase(3);
        if (firstStops) {
            lines.insert(11, QStringLiteral("01F01  x")); // line 12, in the third case (from line 11)
        }
        const QByteArray bytes = cp1252Lines(lines);
        const QStringList lotto { QStringLiteral("--lotto"), QStringLiteral("7") };
        QCOMPARE(runImport(tdb, QStringLiteral("orb"), QStringLiteral("orb.txt"), bytes, lotto).exitCode,
            firstStops ? 3 : 0);
        if (leftRunning) {
            // A run killed mid-way: its row still says "in corso", for a process that is gone.
            QProcess gone;
            gone.start(QStringLiteral("true"));
            QVERIFY(gone.waitForStarted());
            const qint64 pid = gone.processId();
            QVERIFY(gone.waitForFinished());
            QString error;
            const QString sql = QStringLiteral("update [tabella importazioni] set stato = 'in corso', processo = %1");
            QVERIFY2(tdb.db().exec(tdb.db().dialect().translate(sql.arg(pid)), &error), qPrintable(error));
        }
        QByteArray second = bytes;
        if (oneByteChanged) {
            second[second.indexOf("Via Roma")] = 'v';
        }
        const QStringList given = options.contains(QStringLiteral("--lotto")) ? options : options + lotto;
        const CliRun run = runImport(tdb, QStringLiteral("orb"), QStringLiteral("orb.txt"), second, given);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.describe()));
        QVERIFY2((run.out + run.err).contains(says), qPrintable(run.describe()));
        QCOMPARE(tdb.count(Schema::kCases), cases);
        const QList<QVariantMap> rows = tdb.rows(Schema::kImportRuns);
        QCOMPARE(rows.size(), mode.isEmpty() ? 1 : 2);
        QCOMPARE(
            rows[0].value("stato").toString(), firstStops ? QStringLiteral("interrotta") : QStringLiteral("conclusa"));
        QCOMPARE(rows[0].value("messaggio").toString().contains(QStringLiteral("si è chiuso")), leftRunning);
        if (!mode.isEmpty()) {
            QCOMPARE(rows[1].value("modo").toString(), mode);
            QCOMPARE(rows[1].value("corsa precedente").toLongLong(), mode == QLatin1String("nuova") ? 0 : 1);
        }
    }

    // Two desks start the same file at the same moment: one imports it, the other is told (the
    // file is in the works or already imported) and writes nothing.
    void sameFileAtOnce_data()
    {
        TestDatabase::addBackendColumn();
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgresql") << QStringLiteral("postgresql");
    }
    void sameFileAtOnce()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        QStringList lines;
        constexpr int kCases = 1500;
        for (int n = 1; n <= kCases; ++n) {
            lines << orbCase(n);
        }
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(QStringLiteral("orb.txt"), cp1252Lines(lines));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZB32_TODAY"), kCliToday.toString(Qt::ISODate));
        std::array<QProcess, 2> desks;
        for (QProcess& desk : desks) {
            desk.setProcessEnvironment(env);
            desk.start(qEnvironmentVariable("ZB32_BINARY"),
                { QStringLiteral("run"), QStringLiteral("orb"), QStringLiteral("--file"), QStringLiteral("orb.txt"),
                    QStringLiteral("--lotto"), QStringLiteral("7") });
        }
        QStringList told;
        int imported = 0;
        for (QProcess& desk : desks) {
            QVERIFY(desk.waitForFinished(120000));
            const QString out = QString::fromUtf8(desk.readAllStandardOutput() + desk.readAllStandardError());
            if (desk.exitCode() == 0) {
                ++imported;
            } else {
                QCOMPARE(desk.exitCode(), 1);
                told << out;
            }
        }
        QCOMPARE(imported, 1);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].contains(QStringLiteral("Il file orb.txt è in corso di importazione"))
                || told[0].contains(QStringLiteral("Il file orb.txt è già stato importato")),
            qPrintable(told[0]));
        QCOMPARE(tdb.count(Schema::kCases), kCases);
        QCOMPARE(tdb.rows(Schema::kImportRuns).size(), 1);
    }

    // The letter run is recorded, and refuses a batch whose import stopped half-way.
    void letterRunAfterImport_data()
    {
        TestDatabase::addBackendColumn();
        QTest::addColumn<bool>("importStopped");
        for (const char* backend : { "sqlite", "postgresql" }) {
            const QString b = QString::fromLatin1(backend);
            QTest::newRow(qPrintable(b + QStringLiteral(": import completed"))) << b << false;
            QTest::newRow(qPrintable(b + QStringLiteral(": import stopped"))) << b << true;
        }
    }
    void letterRunAfterImport()
    {
        QFETCH(QString, backend);
        QFETCH(bool, importStopped);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        QStringList lines = orbCase(1) + orbCase(2) + orbCase(3);
        if (importStopped) {
            lines.insert(11, QStringLiteral("01F01  x"));
        }
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(QStringLiteral("orb.txt"), cp1252Lines(lines));
        QCOMPARE(runZb32({ "run", "orb", "--file", "orb.txt", "--lotto", "7" }).exitCode, importStopped ? 3 : 0);
        const CliRun letters = runZb32({ "run", "postel", "--lotto", "7" });
        QVERIFY2(letters.exitCode == (importStopped ? 1 : 0), qPrintable(letters.describe()));
        const QList<QVariantMap> rows = tdb.rows(Schema::kImportRuns);
        if (importStopped) {
            QVERIFY2(letters.out.contains(QStringLiteral("l'importazione del lotto 7 dal file orb.txt")),
                qPrintable(letters.out));
            QVERIFY2(letters.out.contains(QStringLiteral("si è fermata dopo la riga 10")), qPrintable(letters.out));
            QCOMPARE(rows.size(), 1);
        } else {
            QCOMPARE(rows.size(), 2);
            QCOMPARE(rows[1].value("lavoro").toString(), QStringLiteral("postel"));
            QCOMPARE(rows[1].value("stato").toString(), QStringLiteral("conclusa"));
            QCOMPARE(rows[1].value("lettere").toLongLong(), 3);
            QCOMPARE(rows[1].value("sha256").toString().size(), 64);
        }
    }
};

QTEST_GUILESS_MAIN(TestRegister)
#include "TestRegister.moc"
