// The letter run on both databases: the print file byte for byte, the conditions that stop it
// before any file is touched, and runs that fail leaving the day's earlier file as it was.
#include "PostelFixture.h"
#include "RecordingReporter.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/JobCatalog.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/Schema.h"
#include "core/jobs/BatchData.h"
#include "core/letters/PostelLetters.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTest>

using namespace zb32;
using test::TestDatabase;

namespace {

const QString kFileName = QStringLiteral("LO071226.ASC"); // the reporter's today: 7 December 2026

struct Run
{
    JobResult result;
    test::RecordingReporter report;
};

// Runs the letters with the desk's start-up boxes and the given batch text and check boxes.
void runLetters(Run& run, const QString& lotto, bool cc, bool chkTest)
{
    BatchData batch = BatchData::defaults(run.report.today());
    batch.Text1[3] = lotto;
    batch.cc = cc;
    batch.chkTest = chkTest;
    CaseDatabase db;
    JobContext ctx { db, batch, run.report };
    run.result = runJob(JobId::Postel, ctx);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QString printFilePath(const test::TestWorkspace& ws)
{
    return QDir::toNativeSeparators(ws.driveC() + QLatin1Char('/') + kFileName);
}

} // namespace

class TestPostelLetters : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void printFile_data()
    {
        TestDatabase::addBackendColumn();
        QTest::addColumn<QString>("lotto");
        QTest::addColumn<bool>("cc");
        QTest::addColumn<bool>("chkTest");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("letters");
        struct Row
        {
            const char* name;
            const char* lotto;
            bool cc;
            bool chkTest;
            const char* expected;
            int letters;
        };
        const Row rows[] = {
            { "batch with slips", "1", true, false, "lotto1_cc", 5 },
            { "batch without slips", "1", false, false, "lotto1_senza_cc", 5 },
            { "batch with no case", "7", true, false, "vuoto", 0 },
            { "test narrowing", "1", true, true, "prova", 1 },
            { "test narrowing, case not in batch", "2", true, true, "vuoto", 0 },
            { "unsafe text selects batch 1 only", "1 or 1=1", true, false, "lotto1_cc", 5 },
            { "quote in the box", "1' or '1'='1", true, false, "lotto1_cc", 5 },
            { "blanks, zeros and a tail", " 01abc", true, false, "lotto1_cc", 5 },
            { "decimals are dropped", "1.9", true, false, "lotto1_cc", 5 },
            { "not batch 11", "11", false, true, "vuoto", 0 },
            { "negative batch", "-1", true, false, "vuoto", 0 },
            { "beyond 32 bits", "4294967297", true, false, "vuoto", 0 },
            { "beyond 64 bits", "123456789012345678901234567890", true, false, "vuoto", 0 },
        };
        for (const QString& backend : { QStringLiteral("sqlite"), QStringLiteral("postgresql") }) {
            for (const Row& r : rows) {
                QTest::newRow(qPrintable(backend + QLatin1String(": ") + QLatin1String(r.name)))
                    << backend << QString::fromUtf8(r.lotto) << r.cc << r.chkTest << QString::fromUtf8(r.expected)
                    << r.letters;
            }
        }
    }
    void printFile()
    {
        QFETCH(QString, backend);
        QFETCH(QString, lotto);
        QFETCH(bool, cc);
        QFETCH(bool, chkTest);
        QFETCH(QString, expected);
        QFETCH(int, letters);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        test::insertPostelBatch(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());

        Run run;
        runLetters(run, lotto, cc, chkTest);
        QVERIFY2(run.report.errors.isEmpty(), qPrintable(run.report.errors.join(QLatin1Char('\n'))));
        QCOMPARE(run.result.status, JobStatus::Completed);
        QCOMPARE(readFile(ws.driveC() + QLatin1Char('/') + kFileName), test::expectedPrintFile(expected));
        QCOMPARE(test::folderEntries(ws.driveC()), QStringList { kFileName });
        QCOMPARE(run.report.messages,
            QStringList { QStringLiteral("Creati %1 Postel nel file %2").arg(letters).arg(printFilePath(ws)) });
        // The caption counts the letters one by one.
        QStringList counted;
        for (int i = 1; i <= letters; ++i) {
            counted << QString::number(i);
        }
        QCOMPARE(run.report.captions, counted);
        // The run only reads.
        QCOMPARE(tdb.count(Schema::kCases), 7);
        QCOMPARE(tdb.count(Schema::kInvoices), 9);
    }

    void secondRunReplacesTheFile()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        test::insertPostelBatch(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        // A longer file of the day is there already: the new one must not keep its tail.
        writeFile(ws.driveC() + QLatin1Char('/') + kFileName, QByteArray(20000, 'x'));
        Run run;
        runLetters(run, QStringLiteral("1"), true, true);
        QCOMPARE(run.result.status, JobStatus::Completed);
        QCOMPARE(
            readFile(ws.driveC() + QLatin1Char('/') + kFileName), test::expectedPrintFile(QStringLiteral("prova")));
        QCOMPARE(test::folderEntries(ws.driveC()), QStringList { kFileName });
    }

    void noBatchTouchesNothing_data()
    {
        QTest::addColumn<QString>("lotto");
        QTest::newRow("zero") << "0";
        QTest::newRow("zeros") << "000";
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "   ";
        QTest::newRow("not a number") << "abc";
        QTest::newRow("letter first") << "L12";
        QTest::newRow("below one") << "0.7";
        QTest::newRow("minus zero") << "-0";
    }
    void noBatchTouchesNothing()
    {
        QFETCH(QString, lotto);
        test::TestWorkspace ws;
        // No configuration at all: the run must stop before it needs the database.
        const QByteArray earlier("earlier file of the day");
        writeFile(ws.driveC() + QLatin1Char('/') + kFileName, earlier);
        Run run;
        runLetters(run, lotto, true, false);
        QCOMPARE(run.result.status, JobStatus::Condition);
        QCOMPARE(run.report.messages, QStringList { QStringLiteral("Manca lotto") });
        QVERIFY(run.report.errors.isEmpty());
        QVERIFY(run.report.captions.isEmpty());
        QCOMPARE(test::folderEntries(ws.driveC()), QStringList { kFileName });
        QCOMPARE(readFile(ws.driveC() + QLatin1Char('/') + kFileName), earlier);
    }

    void fileThatCannotBeCreated()
    {
        test::TestWorkspace ws;
        // Drive C stands on a plain file: no folder, whoever runs the test.
        const QString blocker = ws.driveZ() + QStringLiteral("/not-a-folder");
        writeFile(blocker, "x");
        qputenv("ZB32_DRIVE_C", QFile::encodeName(blocker + QStringLiteral("/C")));
        Run run;
        runLetters(run, QStringLiteral("1"), true, false);
        QCOMPARE(run.result.status, JobStatus::Condition);
        QCOMPARE(run.report.messages.size(), 1);
        const QString message = run.report.messages.first();
        const QString tail = QStringLiteral("\r\nper il file ")
            + QDir::toNativeSeparators(blocker + QStringLiteral("/C/") + kFileName);
        QVERIFY2(message.endsWith(tail), qPrintable(message));
        QVERIFY2(message.size() > tail.size(), "the system's reason comes first");
        QVERIFY(run.report.errors.isEmpty());
        QCOMPARE(readFile(blocker), QByteArray("x"));
    }

    // A value that does not convert stops the run at its case; the earlier file stays whole.
    void failedRunKeepsTheEarlierFile_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("posizione");
        QTest::addColumn<QString>("bad");
        QTest::addColumn<bool>("earlier");
        QTest::newRow("amount of a later invoice") << Schema::kInvoices << "saldo"
                                                   << "1005/2020"
                                                   << "dodici" << true;
        QTest::newRow("invoice date") << Schema::kInvoices << "data fattura"
                                      << "31758/2003"
                                      << "31/02/2021" << true;
        QTest::newRow("due date") << Schema::kInvoices << "data scadenza"
                                  << "1002/2020"
                                  << "presto" << true;
        QTest::newRow("case total") << Schema::kCases << "importo totale"
                                    << "1004/2020"
                                    << "1,2,3" << true;
        QTest::newRow("no earlier file") << Schema::kInvoices << "saldo"
                                         << "1005/2020"
                                         << "dodici" << false;
    }
    void failedRunKeepsTheEarlierFile()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QString, posizione);
        QFETCH(QString, bad);
        QFETCH(bool, earlier);
        // Only SQLite lets a column hold a value of another type; that is the fault injected.
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        test::insertPostelBatch(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const QString path = ws.driveC() + QLatin1Char('/') + kFileName;
        QByteArray before;
        if (earlier) {
            Run first;
            runLetters(first, QStringLiteral("1"), true, false);
            QCOMPARE(first.result.status, JobStatus::Completed);
            before = readFile(path);
            QCOMPARE(before, test::expectedPrintFile(QStringLiteral("lotto1_cc")));
        }

        QSqlQuery q(tdb.db().database());
        const QString where = table == Schema::kCases
            ? QStringLiteral("posizione = ?")
            : QStringLiteral("conta = (SELECT contatore FROM [tabella pratiche] WHERE posizione = ?)");
        QVERIFY(q.prepare(QStringLiteral("UPDATE [%1] SET [%2] = ? WHERE %3").arg(table, field, where)));
        q.addBindValue(bad);
        q.addBindValue(posizione);
        QVERIFY(q.exec());
        QVERIFY(q.numRowsAffected() > 0);

        Run run;
        runLetters(run, QStringLiteral("1"), true, false);
        QCOMPARE(run.result.status, JobStatus::Failed);
        QCOMPARE(run.report.errors.size(), 1);
        const QString error = run.report.errors.first();
        QCOMPARE(run.result.error, error);
        for (const QString& part : { printFilePath(ws), QStringLiteral("pratica ") + posizione, field, bad }) {
            QVERIFY2(error.contains(part), qPrintable(error + QLatin1String(" / ") + part));
        }
        QVERIFY(run.report.messages.isEmpty());
        QCOMPARE(test::folderEntries(ws.driveC()), earlier ? QStringList { kFileName } : QStringList {});
        QCOMPARE(readFile(path), before);
    }

    void unreachableDatabaseLeavesNoFile()
    {
        test::TestWorkspace ws;
        ws.writeIni(QString());
        Run run;
        runLetters(run, QStringLiteral("1"), true, false);
        QCOMPARE(run.result.status, JobStatus::Failed);
        QCOMPARE(run.report.errors.size(), 1);
        QVERIFY(run.report.errors.first().contains(QStringLiteral("connstring")));
        QCOMPARE(test::folderEntries(ws.driveC()), QStringList {});
    }

    void missingTableIsReported()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        QVERIFY(tdb.db().exec(QStringLiteral("DROP TABLE [tabella fatture]"), nullptr));
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        Run run;
        runLetters(run, QStringLiteral("1"), true, false);
        QCOMPARE(run.result.status, JobStatus::Failed);
        QCOMPARE(run.report.errors.size(), 1);
        QVERIFY2(run.report.errors.first().contains(printFilePath(ws)), qPrintable(run.report.errors.first()));
        QVERIFY(run.report.errors.first().contains(QStringLiteral("tabella fatture")));
        QCOMPARE(test::folderEntries(ws.driveC()), QStringList {});
    }

    // Far more invoices than a letter shows: two in the letter, every one on a slip, oldest first.
    void everyInvoiceGetsASlip_data()
    {
        TestDatabase::addBackendColumn();
        TestDatabase::addBackendRow(QStringLiteral("sqlite"));
        TestDatabase::addBackendRow(QStringLiteral("postgresql"));
    }
    void everyInvoiceGetsASlip()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        constexpr int kInvoices = 131;
        const qint64 key = tdb.insert(Schema::kCases, { { "posizione", "9/2024" }, { "lottoimportazione", 5 } });
        const QDate base(2023, 1, 1);
        for (int i = 0; i < kInvoices; ++i) {
            const int day = (i * 37) % kInvoices; // stored out of date order
            tdb.insert(Schema::kInvoices,
                { { "conta", key }, { "numero fattura", QStringLiteral("N%1").arg(day, 3, 10, QLatin1Char('0')) },
                    { "data fattura", base.addDays(day) }, { "saldo", day + 1 } });
        }
        tdb.insert(Schema::kCases, { { "posizione", "10/2024" }, { "lottoimportazione", 5 } });
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        Run run;
        runLetters(run, QStringLiteral("5"), true, false);
        QCOMPARE(run.result.status, JobStatus::Completed);
        const QStringList lines
            = QString::fromLatin1(readFile(ws.driveC() + QLatin1Char('/') + kFileName)).split(QStringLiteral("\r\n"));
        QStringList slipNumbers;
        QStringList expectedNumbers;
        for (int i = 0; i < kInvoices; ++i) {
            expectedNumbers << QStringLiteral("@?87 fattura n.N%1").arg(i, 3, 10, QLatin1Char('0'));
        }
        for (const QString& l : lines) {
            if (l.startsWith(QLatin1String("@?87 fattura n."))) {
                slipNumbers << l;
            }
        }
        QCOMPARE(slipNumbers, expectedNumbers);
        QCOMPARE(lines.count(QStringLiteral("!NEW 2;TEX 6;INL 5;TEX 7;TOP;SPA 29")), 1);
        QCOMPARE(lines.count(QStringLiteral("!NEW 2;INL 0;TEX 6;INL 5;TEX 7;TOP;SPA 29")), kInvoices - 1);
        QVERIFY(lines.contains(QStringLiteral("@I03N000")));
        QVERIFY(lines.contains(QStringLiteral("@I06N001")));
        QVERIFY(lines.contains(QStringLiteral("@I0401/01/2023")));
        QVERIFY(lines.contains(QStringLiteral("@I0702/01/2023")));
        // The second case follows the first's last slip, with bare invoice items.
        QList<qsizetype> letterStarts;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].startsWith(QLatin1String("@A"))) {
                letterStarts << i;
            }
        }
        QCOMPARE(letterStarts.size(), 2);
        QCOMPARE(lines[letterStarts[1] - 1], QStringLiteral("@+@?51<>@?1000000131+00>@?0347152086<@?02896>@-"));
        QCOMPARE(lines.mid(letterStarts[1] + 5, 8),
            (QStringList { "@I03", "@I04", "@I05", "@I06", "@I07", "@I08", "@I09      0,00", "@T" }));
        QCOMPARE(lines.last(), QString());
        QCOMPARE(lines[lines.size() - 2], QStringLiteral("@E2"));
    }
};

QTEST_GUILESS_MAIN(TestPostelLetters)
#include "TestPostelLetters.moc"
