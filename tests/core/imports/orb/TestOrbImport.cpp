// The Orb case import over fixture files, on SQLite and PostgreSQL: the rows it leaves in the
// case database and what it reports, compared with the fixture's expected.txt.
#include "OrbFixture.h"
#include "RecordingReporter.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/Schema.h"
#include "core/imports/orb/OrbImport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace zb32;
using zb32::test::OrbFixture;
using zb32::test::TestDatabase;

namespace {

// A database that refuses some rows, as a server with its own rules would.
bool installRefusal(CaseDatabase& db, const QString& what, const QString& prefix, QString* error)
{
    const bool invoice = what == QLatin1String("invoice");
    const QString table = invoice ? Schema::kInvoices : Schema::kCases;
    const QString field = invoice ? QStringLiteral("numero fattura") : QStringLiteral("ragione sociale");
    const SqlDialect& d = db.dialect();
    const QString message = QStringLiteral("riga rifiutata dal database di prova");
    if (d.kind() == SqlDialect::Kind::SQLite) {
        return db.exec(QStringLiteral("CREATE TRIGGER rifiuta BEFORE INSERT ON %1 WHEN NEW.%2 LIKE '%3%' "
                                      "BEGIN SELECT RAISE(ABORT, '%4'); END")
                           .arg(d.quoteName(table), d.quoteName(field), prefix, message),
            error);
    }
    return db.exec(QStringLiteral("CREATE OR REPLACE FUNCTION rifiuta() RETURNS trigger AS $$ BEGIN "
                                  "IF NEW.%1 LIKE '%2%' THEN RAISE EXCEPTION '%3'; END IF; RETURN NEW; END "
                                  "$$ LANGUAGE plpgsql")
                       .arg(d.quoteName(field), prefix, message),
               error)
        && db.exec(QStringLiteral("CREATE TRIGGER rifiuta BEFORE INSERT ON %1 FOR EACH ROW EXECUTE FUNCTION rifiuta()")
                       .arg(d.quoteName(table)),
            error);
}

} // namespace

class TestOrbImport : public QObject
{
    Q_OBJECT
private:
    static void backends()
    {
        TestDatabase::addBackendColumn();
        TestDatabase::addBackendRow(QStringLiteral("sqlite"));
        TestDatabase::addBackendRow(QStringLiteral("postgresql"));
    }

private Q_SLOTS:
    void fixtures_data()
    {
        QTest::addColumn<QString>("fixture");
        TestDatabase::addBackendColumn();
        const QStringList names = OrbFixture::names();
        QVERIFY2(names.size() >= 20, "the fixtures of tests/data/orb are missing");
        for (const QString& name : names) {
            for (const char* backend : { "sqlite", "postgresql" }) {
                QTest::newRow(qPrintable(name + QLatin1Char('/') + QLatin1String(backend)))
                    << name << QString::fromLatin1(backend);
            }
        }
    }
    void fixtures()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        const OrbFixture f(fixture);
        QVERIFY2(f.isValid(), qPrintable(f.errorString()));
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(f.fileName(), f.input());
        if (!f.refusal().first.isEmpty()) {
            QString error;
            QVERIFY2(installRefusal(tdb.db(), f.refusal().first, f.refusal().second, &error), qPrintable(error));
        }

        // One desk: one connection and the same counter boxes for every run.
        CaseDatabase db;
        test::RecordingReporter reporter;
        JobResult result;
        for (int run = 0; run < f.runs(); ++run) {
            reporter.progressValues.clear();
            reporter.progressMaximum = -1;
            reporter.messages.clear();
            reporter.errors.clear();
            JobContext ctx { db, f.batch(), reporter };
            ctx.rerun = run > 0 ? Rerun::Again : Rerun::Refuse; // a file imported twice on purpose
            result = ImportaOrb(ctx);
        }
        QCOMPARE(reporter.errors.size(), result.status == JobStatus::Failed ? 1 : 0);
        if (result.status == JobStatus::Failed) {
            QCOMPARE(result.error, reporter.errors.first());
        }
        const QString actual = OrbFixture::dump(tdb, reporter, result, f.expectedError());
        if (qEnvironmentVariableIsSet("ZB32_WRITE_EXPECTED") && backend == QLatin1String("sqlite")) {
            // By hand, after a change of behaviour: the fixture takes what the run gives now.
            QFile out(qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/orb/%1/expected.txt").arg(fixture));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(actual.toUtf8()) > 0);
        }
        QString why;
        QVERIFY2(OrbFixture::sameText(actual, f.expected(), &why), qPrintable(why));
    }

    // The desk's sample is the file the "esempio" fixture checks.
    void sampleIsTested()
    {
        Q_INIT_RESOURCE(samples);
        QFile sample(QStringLiteral(":/samples/esempio.txt"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        const OrbFixture f(QStringLiteral("esempio"));
        QVERIFY2(f.isValid(), qPrintable(f.errorString()));
        QCOMPARE(sample.readAll(), f.input());
        QVERIFY(f.expected().contains(QStringLiteral("clienti=12\n")));
    }

    void missingFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("no such file") << "nessuno.txt";
        QTest::newRow("empty name: the folder") << "";
        QTest::newRow("a folder") << "cartella";
    }
    void missingFile()
    {
        QFETCH(QString, name);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        QDir(ws.importFolder()).mkdir(QStringLiteral("cartella"));
        BatchData batch = BatchData::defaults(QDate(2026, 12, 7));
        batch.Text1[4] = name;
        CaseDatabase db;
        test::RecordingReporter reporter;
        reporter.clienti = QStringLiteral("5");
        JobContext ctx { db, batch, reporter };
        const JobResult result = ImportaOrb(ctx);
        QCOMPARE(result.status, JobStatus::Condition);
        QCOMPARE(reporter.messages, QStringList { QStringLiteral("FILE MANCANTE") });
        QVERIFY(reporter.errors.isEmpty());
        QCOMPARE(reporter.clienti, QStringLiteral("5"));
        QCOMPARE(reporter.progressMaximum, qint64(-1));
        QVERIFY(db.isOpen()); // the connection is opened before the file is looked for
        QCOMPARE(tdb.count(Schema::kCases), 0);
        QCOMPARE(tdb.count(Schema::kInvoices), 0);
    }

    // Without a database the run stops on that, before it looks for the file.
    void databaseFirst()
    {
        test::TestWorkspace ws;
        ws.writeIni(QString());
        BatchData batch = BatchData::defaults(QDate(2026, 12, 7));
        batch.Text1[4] = QStringLiteral("nessuno.txt");
        CaseDatabase db;
        test::RecordingReporter reporter;
        JobContext ctx { db, batch, reporter };
        const JobResult result = ImportaOrb(ctx);
        QCOMPARE(result.status, JobStatus::Failed);
        QVERIFY(reporter.messages.isEmpty());
        QCOMPARE(reporter.errors.size(), 1);
        QVERIFY2(reporter.errors.first().contains(QStringLiteral("connstring")), qPrintable(reporter.errors.first()));
    }

    // A file that cannot be read is an error that names it, not a missing file.
    void unreadableFile()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const QString path = ws.writeImportFile(QStringLiteral("chiuso.txt"), QByteArray("01A01"));
        QFile::setPermissions(path, QFileDevice::Permissions());
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly)) {
            QSKIP("this user reads files without read permission");
        }
        BatchData batch = BatchData::defaults(QDate(2026, 12, 7));
        batch.Text1[4] = QStringLiteral("chiuso.txt");
        CaseDatabase db;
        test::RecordingReporter reporter;
        JobContext ctx { db, batch, reporter };
        const JobResult result = ImportaOrb(ctx);
        QCOMPARE(result.status, JobStatus::Failed);
        QCOMPARE(reporter.errors.size(), 1);
        QVERIFY(reporter.errors.first().contains(QStringLiteral("chiuso.txt")));
        QVERIFY(reporter.messages.isEmpty());
    }

    // A case's invoices add up to its overdue total; an invoice that would take the total past the
    // largest amount the system handles stops the run on its line, and the case is not saved
    // at all: a case is saved whole or not.
    void overdueTotalBeyondTheLargestAmount_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("invoices");
        QTest::addColumn<int>("failingLine"); // 0: the run completes
        for (const char* backend : { "sqlite", "postgresql" }) {
            const QString b = QString::fromLatin1(backend);
            QTest::newRow(qPrintable(b + QStringLiteral(": 92 of the largest invoice fit"))) << b << 92 << 0;
            QTest::newRow(qPrintable(b + QStringLiteral(": the 93rd passes the largest total"))) << b << 93 << 94;
        }
    }
    void overdueTotalBeyondTheLargestAmount()
    {
        QFETCH(QString, backend);
        QFETCH(int, invoices);
        QFETCH(int, failingLine);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const OrbFixture f(QStringLiteral("esempio"));
        QVERIFY2(f.isValid(), qPrintable(f.errorString()));
        const QList<QByteArray> sample = f.input().split('\r');
        const QByteArray caseLine = sample[0];
        QByteArray invoiceLine = sample[3].trimmed();
        QVERIFY(invoiceLine.startsWith("01F01"));
        // Columns 88-102: the largest whole-euro amount the field holds, 9,999,999,999,999.00.
        invoiceLine.replace(87, 15, "999999999999900");
        QByteArray data = caseLine + "\r\n";
        for (int i = 0; i < invoices; ++i) {
            data += invoiceLine + "\r\n";
        }
        ws.writeImportFile(f.fileName(), data);
        CaseDatabase db;
        test::RecordingReporter reporter;
        JobContext ctx { db, f.batch(), reporter };
        const JobResult result = ImportaOrb(ctx);

        const int saved = failingLine > 0 ? 0 : invoices;
        if (failingLine > 0) {
            QCOMPARE(result.status, JobStatus::Failed);
            QCOMPARE(reporter.errors.size(), 1);
            const QString start
                = QStringLiteral("Importazione interrotta. File %1, riga %2: ").arg(f.fileName()).arg(failingLine);
            QVERIFY2(result.error.startsWith(start), qPrintable(result.error));
            QVERIFY2(result.error.contains(QStringLiteral("massimo")), qPrintable(result.error));
            QVERIFY2(
                result.error.endsWith(QStringLiteral("non è stata salvata: l'importazione va ripresa dalla riga 1)")),
                qPrintable(result.error));
        } else {
            QCOMPARE(result.status, JobStatus::Completed);
            QVERIFY(reporter.errors.isEmpty());
        }
        QCOMPARE(tdb.count(Schema::kInvoices), saved);
        const QList<QVariantMap> cases = tdb.rows(Schema::kCases);
        QCOMPARE(cases.size(), failingLine > 0 ? 0 : 1);
        if (cases.isEmpty()) {
            return;
        }
        const Currency total = Currency::fromUnits(9999999999999LL * saved);
        QVERIFY(total.raw() <= Currency::kMaxRaw);
        QCOMPARE(Currency::fromVariant(cases[0].value(QStringLiteral("importo totale"))), total);
        QCOMPARE(Currency::fromVariant(cases[0].value(QStringLiteral("importo rata"))), total);
        QVERIFY(!db.inTransaction());
    }

    // Writes are grouped in transactions: a run of more lines than one group commits them all,
    // and a stop after several groups keeps every group before it.
    void longRunsCommitInGroups_data() { backends(); }
    void longRunsCommitInGroups()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const OrbFixture f(QStringLiteral("tre_pratiche"));
        QVERIFY2(f.isValid(), qPrintable(f.errorString()));
        // 400 copies of the three cases: 6,400 lines, then a line that stops the run.
        QByteArray data;
        for (int i = 0; i < 400; ++i) {
            data += f.input();
        }
        data += "01A02\r\n";
        const QByteArray firstLine = f.input().left(f.input().indexOf('\r'));
        data += firstLine + "\r\n" + "01F01  x\r\n";
        ws.writeImportFile(f.fileName(), data);
        CaseDatabase db;
        test::RecordingReporter reporter;
        JobContext ctx { db, f.batch(), reporter };
        const JobResult result = ImportaOrb(ctx);
        QCOMPARE(result.status, JobStatus::Failed);
        QVERIFY2(result.error.contains(QStringLiteral(", riga 6403: ")), qPrintable(result.error));
        // The "A02" belongs to the last complete case; the case of the last "A01" is not whole.
        QCOMPARE(tdb.count(Schema::kCases), 1200);
        QCOMPARE(tdb.count(Schema::kInvoices), 2800);
        QCOMPARE(reporter.clienti, QStringLiteral("1200"));
        QCOMPARE(reporter.fatture, QStringLiteral("2800"));
        QVERIFY(!db.inTransaction());
    }
};

QTEST_GUILESS_MAIN(TestOrbImport)
#include "TestOrbImport.moc"
