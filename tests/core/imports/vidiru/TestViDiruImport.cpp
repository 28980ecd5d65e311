// The Vi Diru case import on SQLite and PostgreSQL: golden rows, field conditions, amounts,
// counters, progress, and how a run stops on a line it cannot take.
#include "RecordingReporter.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "ViDiruLines.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/Schema.h"
#include "core/desk/SqliteDialect.h"
#include "core/imports/vidiru/ViDiruImport.h"

#include <QFile>
#include <QSqlQuery>
#include <QTest>
#include <map>
#include <memory>

using namespace zb32;
using zb32::test::RecordingReporter;
using zb32::test::TestDatabase;
using zb32::test::TestWorkspace;
using namespace zb32::test;

namespace {

const QStringList kBackends = { QStringLiteral("sqlite"), QStringLiteral("postgresql") };

BatchData testBatch()
{
    BatchData b;
    b.Text1 = { QStringLiteral("01/12/2026"), QStringLiteral("01/01/2027"), QStringLiteral("mo"), QStringLiteral("48"),
        QStringLiteral("vidiru.txt"), QStringLiteral("460"), QStringLiteral("1") };
    return b;
}

// Runs the import of `bytes`, written into the import folder as the batch's file name.
JobResult runImport(TestDatabase& tdb, const QByteArray& bytes, RecordingReporter& report,
    const BatchData& batch = testBatch(), Rerun rerun = Rerun::Refuse)
{
    TestWorkspace ws;
    ws.writeIni(tdb.connectionString());
    if (!batch.Text1[4].isEmpty()) {
        ws.writeImportFile(batch.Text1[4], bytes);
    }
    CaseDatabase db;
    JobContext ctx { db, batch, report };
    ctx.rerun = rerun;
    const JobResult result = ImportaViDiru(ctx);
    // However the run ended, the connection has its own page cache again (the run appends on a
    // smaller one), for the desk's next job.
    if (db.isOpen() && db.dialect().kind() == SqlDialect::Kind::SQLite) {
        QSqlQuery q(db.database());
        if (!q.exec(QStringLiteral("PRAGMA cache_size")) || !q.next()
            || q.value(0).toInt() != -SqliteDialect::kCacheKib) {
            QTest::qFail("the run left the connection's page cache changed", __FILE__, __LINE__);
        }
    }
    return result;
}

JobResult runImport(
    TestDatabase& tdb, const QStringList& lines, RecordingReporter& report, const BatchData& batch = testBatch())
{
    return runImport(tdb, viDiruFile(lines), report, batch);
}

QVariant field(const QVariantMap& row, const QString& name)
{
    return row.value(name.toLower());
}

bool isNull(const QVariant& v)
{
    return !v.isValid() || v.isNull();
}

// "1234.5" → the amount; the tables write expected amounts with a point.
Currency amount(const char* text)
{
    bool ok = false;
    const Currency c = Currency::fromDecimalText(QString::fromLatin1(text), &ok);
    if (!ok) {
        qFatal("bad amount in a test table: %s", text);
    }
    return c;
}

// A value as the golden file writes it.
QString goldenValue(const QVariant& v)
{
    if (v.metaType() == QMetaType::fromType<Currency>()) {
        return QStringLiteral("c:") + v.value<Currency>().toDecimalText();
    }
    if (v.typeId() == QMetaType::QDate) {
        return QStringLiteral("d:") + v.toDate().toString(Qt::ISODate);
    }
    if (v.typeId() == QMetaType::LongLong) {
        return QStringLiteral("n:") + QString::number(v.toLongLong());
    }
    QString t = v.toString();
    t.replace(u'\\', QLatin1String("\\\\"))
        .replace(u'"', QLatin1String("\\\""))
        .replace(u'\r', QLatin1String("\\r"))
        .replace(u'\n', QLatin1String("\\n"));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

// The counter boxes, then every field that is not null, record by record; keys left out and
// an invoice's case named by its place among the cases.
QStringList goldenRows(
    const RecordingReporter& report, const QList<QVariantMap>& cases, const QList<QVariantMap>& invoices)
{
    QStringList out { QStringLiteral("counters\t-\tclienti\t") + goldenValue(report.clienti),
        QStringLiteral("counters\t-\tfatture\t") + goldenValue(report.fatture) };
    auto add = [&](const char* table, const QList<QVariantMap>& rows, const char* key) {
        for (int i = 0; i < rows.size(); ++i) {
            for (auto it = rows[i].begin(); it != rows[i].end(); ++it) {
                if (it.key() == QLatin1String(key) || isNull(it.value())) {
                    continue;
                }
                QString value = goldenValue(it.value());
                if (it.key() == QLatin1String("conta")) {
                    value = QStringLiteral("case:?");
                    for (int c = 0; c < cases.size(); ++c) {
                        if (cases[c].value(QStringLiteral("contatore")) == it.value()) {
                            value = QStringLiteral("case:%1").arg(c + 1);
                        }
                    }
                }
                out << QStringLiteral("%1\t%2\t%3\t%4").arg(QLatin1String(table)).arg(i + 1).arg(it.key(), value);
            }
        }
    };
    add("pratiche", cases, "contatore");
    add("fatture", invoices, "id");
    return out;
}

QString testData(const QString& name)
{
    return qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/vidiru/") + name;
}

void createRefusal(TestDatabase& tdb)
{
    // A database rule the import does not know about: it refuses notes that say so.
    QString error;
    bool ok = true;
    if (tdb.backend() == QLatin1String("sqlite")) {
        for (const char* when : { "INSERT", "UPDATE" }) {
            ok = ok
                && tdb.db().exec(
                    QStringLiteral("CREATE TRIGGER rifiuta_%1 BEFORE %1 ON [tabella pratiche] "
                                   "WHEN NEW.memo LIKE '%RIFIUTA%' BEGIN SELECT RAISE(ABORT, 'nota rifiutata'); END")
                        .arg(QLatin1String(when)),
                    &error);
        }
    } else {
        ok = tdb.db().exec(QStringLiteral("CREATE OR REPLACE FUNCTION rifiuta() RETURNS trigger AS $$ BEGIN "
                                          "IF NEW.memo LIKE '%RIFIUTA%' THEN RAISE EXCEPTION 'nota rifiutata'; END IF; "
                                          "RETURN NEW; END $$ LANGUAGE plpgsql"),
                 &error)
            && tdb.db().exec(QStringLiteral("CREATE TRIGGER rifiuta BEFORE INSERT OR UPDATE ON \"tabella pratiche\" "
                                            "FOR EACH ROW EXECUTE FUNCTION rifiuta()"),
                &error);
    }
    if (!ok) {
        qFatal("cannot create the refusal rule: %s", qPrintable(error));
    }
}

} // namespace

struct HeaderCase
{
    const char* name;
    int start;
    int length;
    const char* text; // what the file holds in those columns
    const char* field;
    QVariant expected; // invalid: left unwritten (null)
};

const QList<HeaderCase>& headerCases()
{
    const QVariant unwritten;
    static const QList<HeaderCase> cases = {
        { "P_iva blank", 283, 16, "                ", "P_iva", unwritten },
        { "P_iva trimmed", 283, 16, "  RSSMRA80A01H501U", "P_iva", QStringLiteral("RSSMRA80A01H50") },
        { "birth date", 299, 10, "05/03/1990", "data nascita", QDate(1990, 3, 5) },
        { "birth date zeros", 299, 10, "00/00/0000", "data nascita", unwritten },
        { "birth date blank", 299, 10, "", "data nascita", unwritten },
        { "birth date 31 April", 299, 10, "31/04/2000", "data nascita", unwritten },
        { "birth place blank", 309, 30, "   ", "luogo nascita", unwritten },
        { "birth place trimmed", 309, 30, "  Forlì  ", "luogo nascita", QStringLiteral("Forlì") },
        { "memo blank", 339, 35, "", "memo", unwritten },
        { "memo trimmed", 339, 35, " nota ", "memo", QStringLiteral("nota") },
        { "recapito blank", 469, 50, "    ", "recapito", unwritten },
        { "recapito as it stands", 469, 50, "  c/o Rossi", "recapito",
            QStringLiteral("  c/o Rossi").leftJustified(50) },
        { "telefono1 blank", 519, 12, "", "telefono1", unwritten },
        { "telefono1 as it stands", 519, 12, " 02 1234", "telefono1", QStringLiteral(" 02 1234    ") },
        { "telefono2 blank", 531, 12, "            ", "telefono2", unwritten },
        { "telefono2 as it stands", 531, 12, "333 1", "telefono2", QStringLiteral("333 1       ") },
        { "cap five of eight", 424, 8, "20121ABC", "cap", QStringLiteral("20121") },
        { "cap blank", 424, 8, "", "cap", QStringLiteral("     ") },
        { "citta thirty of thirty-five", 432, 35, "Castelnuovo di Garfagnana Alta Valle", "citta",
            QStringLiteral("Castelnuovo di Garfagnana Alta") },
        { "citta trimmed", 432, 35, "   Como   ", "citta", QStringLiteral("Como") },
        { "provincia as it stands", 467, 2, "m", "provincia", QStringLiteral("m ") },
        { "ragione sociale trimmed", 233, 50, "  Rossi & Figli S.r.l.  ", "ragione sociale",
            QStringLiteral("Rossi & Figli S.r.l.") },
        { "ragione sociale blank", 233, 50, "", "ragione sociale", QStringLiteral("") },
        { "indirizzo trimmed", 374, 50, " Via Po 1 ", "indirizzo", QStringLiteral("Via Po 1") },
        { "altroriferimento trimmed", 66, 32, " X-1 ", "altroriferimento", QStringLiteral("X-1") },
        { "posizione zero padded", 19, 10, "0000000815", "posizione", QStringLiteral("815") },
        { "posizione without a number", 19, 10, "AB-12", "posizione", QStringLiteral("0") },
        { "memoec", 108, 35, "  Acme  ", "memoec", QStringLiteral("Cliente Acme\r\ncontratto  ") },
    };
    return cases;
}

struct HeaderImport
{
    std::unique_ptr<TestDatabase> tdb;
    JobResult result;
    QList<QVariantMap> cases;
};

class TestViDiruImport : public QObject
{
    Q_OBJECT
private:
    std::map<QString, HeaderImport> m_headerImports;

    static void backends()
    {
        TestDatabase::addBackendColumn();
        for (const QString& b : kBackends) {
            TestDatabase::addBackendRow(b);
        }
    }
    static QTestData& row(const QString& backend, const char* name)
    {
        return QTest::newRow(qPrintable(backend + QStringLiteral(": ") + QLatin1String(name))) << backend;
    }

private Q_SLOTS:
    void golden_data() { backends(); }
    void golden()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        QFile input(testData(QStringLiteral("golden.txt")));
        QVERIFY(input.open(QIODevice::ReadOnly));
        RecordingReporter report;
        BatchData batch = testBatch();
        batch.Text1[4] = QStringLiteral("golden.txt");
        const JobResult result = runImport(tdb, input.readAll(), report, batch);
        QVERIFY2(result.status == JobStatus::Completed, qPrintable(result.error));
        QCOMPARE(report.messages, QStringList { QStringLiteral("Importazione conclusa") });
        QVERIFY(report.errors.isEmpty());

        QFile expected(testData(QStringLiteral("golden.expected")));
        QVERIFY(expected.open(QIODevice::ReadOnly));
        QStringList wanted;
        for (const QString& line : QString::fromUtf8(expected.readAll()).split(QLatin1Char('\n'))) {
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
                wanted << line;
            }
        }
        QCOMPARE(goldenRows(report, tdb.rows(Schema::kCases), tdb.rows(Schema::kInvoices)), wanted);
    }

    // Every header field and its condition: one header per row, all imported in one run per
    // database, each row checking its own case.
    void headerField_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("index");
        for (const QString& b : kBackends) {
            for (int i = 0; i < headerCases().size(); ++i) {
                QTest::newRow(qPrintable(b + QStringLiteral(": ") + QLatin1String(headerCases()[i].name))) << b << i;
            }
        }
    }
    void headerField()
    {
        QFETCH(QString, backend);
        QFETCH(int, index);
        HeaderImport& run = m_headerImports[backend];
        if (!run.tdb) {
            run.tdb = std::make_unique<TestDatabase>(backend);
            if (run.tdb->isAvailable()) {
                QStringList lines;
                for (int i = 0; i < headerCases().size(); ++i) {
                    const HeaderCase& h = headerCases()[i];
                    lines << ViDiruLine(QStringLiteral("IBGI0001"), i + 1)
                                 .length(542)
                                 .put(h.start, h.length, QString::fromUtf8(h.text));
                }
                RecordingReporter report;
                run.result = runImport(*run.tdb, lines, report);
                run.cases = run.tdb->rows(Schema::kCases);
            }
        }
        ZB32_REQUIRE(*run.tdb);
        QVERIFY2(run.result.status == JobStatus::Completed, qPrintable(run.result.error));
        QCOMPARE(run.cases.size(), headerCases().size());
        const HeaderCase& h = headerCases()[index];
        const QVariantMap& c = run.cases[index];
        const QVariant actual = ::field(c, QString::fromLatin1(h.field));
        if (!h.expected.isValid()) {
            QVERIFY2(isNull(actual), qPrintable(actual.toString()));
        } else {
            QVERIFY(!isNull(actual));
            QCOMPARE(actual, h.expected);
        }
        // The batch data is stamped whatever the header holds.
        QCOMPARE(::field(c, QStringLiteral("tipo mandato")).toString(), QStringLiteral("460"));
        QCOMPARE(::field(c, QStringLiteral("data affido")).toDate(), QDate(2026, 12, 1));
        QCOMPARE(::field(c, QStringLiteral("scadenza mandato")).toDate(), QDate(2027, 1, 1));
        QCOMPARE(::field(c, QStringLiteral("tipo intervento")).toString(), QStringLiteral("mo"));
        QCOMPARE(::field(c, QStringLiteral("situazione affido")).toString(), QStringLiteral("1"));
        QCOMPARE(::field(c, QStringLiteral("lottoimportazione")).toLongLong(), 48);
    }
    void cleanupTestCase() { m_headerImports.clear(); }

    void components_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QStringList>("components"); // "kind|amount"
        QTest::addColumn<QVariant>("rate");
        QTest::addColumn<QVariant>("rata");
        QTest::addColumn<QVariant>("interessi");
        QTest::addColumn<QVariant>("spese");
        const QVariant none;
        auto c = [](const char* text) { return QVariant::fromValue(amount(text)); };
        for (const QString& b : kBackends) {
            row(b, "principal") << QStringList { "Sorte capitale|1.234,56" } << QVariant(1) << c("1234.56") << none
                                << none;
            row(b, "second principal overwrites")
                << QStringList { "Sorte|100,00", "Sorte|40,5" } << QVariant(1) << c("40.5") << none << none;
            row(b, "second interest overwrites")
                << QStringList { "Inter|3,00", "Interessi|7,25" } << none << none << c("7.25") << none;
            row(b, "charges add up") << QStringList { "Spese legali|10,10", "Oneri|0,90", "Bolli|2" } << none << none
                                     << none << c("13");
            row(b, "SORTE in capitals is charges") << QStringList { "SORTE|50,00" } << none << none << none << c("50");
            row(b, "sorte in lower case is charges")
                << QStringList { "sorte|5,00", "SORTE|1,00" } << none << none << none << c("6");
            row(b, "negative charge") << QStringList { "Spese|10,00", "Storno spese|-2,50" } << none << none << none
                                      << c("7.5");
            row(b, "all kinds") << QStringList { "Sorte|1.000,00", "Inter|20,00", "Spese|5,00", "Diritti|1,0001" }
                                << QVariant(1) << c("1000") << c("20") << c("6.0001");
        }
    }
    void components()
    {
        QFETCH(QString, backend);
        QFETCH(QStringList, components);
        QFETCH(QVariant, rate);
        QFETCH(QVariant, rata);
        QFETCH(QVariant, interessi);
        QFETCH(QVariant, spese);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        QStringList lines { headerLine(QStringLiteral("1")) };
        for (const QString& c : components) {
            lines << componentLine(c.section(QLatin1Char('|'), 0, 0), c.section(QLatin1Char('|'), 1));
        }
        RecordingReporter report;
        const JobResult result = runImport(tdb, lines, report);
        QVERIFY2(result.status == JobStatus::Completed, qPrintable(result.error));
        const QVariantMap c = tdb.rows(Schema::kCases).value(0);
        const QList<QPair<const char*, QVariant>> checks = { { "rate arretrate", rate }, { "importo rata", rata },
            { "importo interessi", interessi }, { "importo spese", spese } };
        for (const auto& [name, expected] : checks) {
            const QVariant actual = ::field(c, QString::fromLatin1(name));
            if (!expected.isValid()) {
                QVERIFY2(isNull(actual), name);
            } else if (expected.metaType() == QMetaType::fromType<Currency>()) {
                QCOMPARE(actual.value<Currency>(), expected.value<Currency>());
            } else {
                QCOMPARE(actual.toLongLong(), expected.toLongLong());
            }
        }
    }

    void notes_data()
    {
        QTest::addColumn<QString>("headerMemo");
        QTest::addColumn<QStringList>("notes"); // texts from column 19, as they stand
        QTest::addColumn<QVariant>("memo");
        QTest::newRow("three notes, blank header")
            << "" << QStringList { " uno ", "due", "  tre" } << QVariant("uno\r\ndue\r\ntre");
        QTest::newRow("after the header's note")
            << " in testata " << QStringList { "poi" } << QVariant("in testata\r\npoi");
        QTest::newRow("note ending at column 18") << "prima" << QStringList { "" } << QVariant("prima\r\n");
        QTest::newRow("blank note") << "prima" << QStringList { "      " } << QVariant("prima\r\n");
        QTest::newRow("empty note first") << "" << QStringList { "", "dopo" } << QVariant("\r\ndopo");
        QTest::newRow("no notes") << "" << QStringList {} << QVariant();
        QTest::newRow("accents") << "" << QStringList { "Pagherà a metà dicembre" }
                                 << QVariant("Pagherà a metà dicembre");
    }
    void notes()
    {
        QFETCH(QString, headerMemo);
        QFETCH(QStringList, notes);
        QFETCH(QVariant, memo);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        QStringList lines { headerLine(QStringLiteral("1")).put(339, 35, headerMemo) };
        for (const QString& n : notes) {
            lines << noteLine(n);
        }
        RecordingReporter report;
        const JobResult result = runImport(tdb, lines, report);
        QVERIFY2(result.status == JobStatus::Completed, qPrintable(result.error));
        const QVariant actual = ::field(tdb.rows(Schema::kCases).value(0), QStringLiteral("memo"));
        if (!memo.isValid()) {
            QVERIFY(isNull(actual));
        } else {
            QVERIFY(!isNull(actual));
            QCOMPARE(actual.toString(), memo.toString());
        }
    }

    void shortLinesFromThirtyCharacters_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("column");
        const ViDiruLine component = componentLine(QStringLiteral("Sorte"), QStringLiteral("1,00"));
        const ViDiruLine instalment
            = instalmentLine(QStringLiteral("01"), QStringLiteral("31/01/2027"), QStringLiteral("2,00"), QString());
        QTest::newRow("component ending at its amount") << component.text().left(70) << true << "importo rata";
        QTest::newRow("instalment ending at its amount") << instalment.text().left(78) << true << "saldo";
        // From 30 characters on a line is taken, and its amount, cut off, does not convert.
        QTest::newRow("component of 30") << component.text().left(30) << false << "58-70";
        QTest::newRow("instalment of 30") << instalment.text().left(30) << false << "66-78";
    }
    void shortLinesFromThirtyCharacters()
    {
        QFETCH(QString, line);
        QFETCH(bool, taken);
        QFETCH(QString, column);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        RecordingReporter report;
        const JobResult result = runImport(tdb, { headerLine(QStringLiteral("1")), line }, report);
        if (taken) {
            QVERIFY2(result.status == JobStatus::Completed, qPrintable(result.error));
            const QList<QVariantMap> rows
                = tdb.rows(column == QLatin1String("saldo") ? Schema::kInvoices : Schema::kCases);
            QCOMPARE(rows.size(), 1);
            QVERIFY(!isNull(::field(rows[0], column)));
        } else {
            QCOMPARE(result.status, JobStatus::Failed);
            QCOMPARE(report.errors.size(), 1);
            QVERIFY2(report.errors[0].contains(QStringLiteral("riga 2")) && report.errors[0].contains(column),
                qPrintable(report.errors[0]));
        }
    }

    void counters_data()
    {
        QTest::addColumn<QString>("clientiBox");
        QTest::addColumn<QString>("fattureBox");
        QTest::addColumn<int>("headers");
        QTest::addColumn<int>("instalments");
        QTest::addColumn<QString>("clienti");
        QTest::addColumn<QString>("fatture");
        QTest::newRow("12 and three headers") << "12"
                                              << "" << 3 << 0 << "15"
                                              << "";
        QTest::newRow("empty boxes count from 0") << ""
                                                  << "" << 3 << 2 << "3"
                                                  << "2";
        QTest::newRow("both continue") << "40"
                                       << "7" << 2 << 4 << "42"
                                       << "11";
        QTest::newRow("blanks around") << "  9 "
                                       << " 1" << 1 << 1 << "10"
                                       << "2";
        QTest::newRow("no number") << "abc"
                                   << "x" << 1 << 1 << "1"
                                   << "1";
        QTest::newRow("number then text") << "5 pratiche"
                                          << "3," << 1 << 1 << "6"
                                          << "4";
        QTest::newRow("decimals dropped") << "12.7"
                                          << "" << 1 << 0 << "13"
                                          << "";
        QTest::newRow("only headers, many") << ""
                                            << "" << 7 << 0 << "7"
                                            << "";
    }
    void counters()
    {
        QFETCH(QString, clientiBox);
        QFETCH(QString, fattureBox);
        QFETCH(int, headers);
        QFETCH(int, instalments);
        QFETCH(QString, clienti);
        QFETCH(QString, fatture);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        QStringList lines;
        for (int h = 0; h < headers; ++h) {
            lines << headerLine(QString::number(h + 1));
        }
        for (int i = 0; i < instalments; ++i) {
            lines << instalmentLine(
                QStringLiteral("01"), QStringLiteral("01/01/2027"), QStringLiteral("1,00"), QStringLiteral("F"));
        }
        BatchData batch = testBatch();
        batch.Scheda4 = clientiBox;
        batch.Scheda0 = fattureBox;
        RecordingReporter report;
        const JobResult result = runImport(tdb, lines, report, batch);
        QVERIFY2(result.status == JobStatus::Completed, qPrintable(result.error));
        QCOMPARE(report.clienti, clienti);
        QCOMPARE(report.fatture, fatture);
        QCOMPARE(tdb.count(Schema::kCases), headers);
        QCOMPARE(tdb.count(Schema::kInvoices), instalments);
    }

    void progress()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        // Lines of different lengths so the positions cross several 128-byte blocks.
        const QStringList lines { headerLine(QStringLiteral("1")), noteLine(QStringLiteral("a")), QString(),
            noteLine(QString(300, QLatin1Char('b'))), totalLine(QStringLiteral("1,00")),
            QStringLiteral("0000000006IBGI0099") };
        const QByteArray bytes = viDiruFile(lines);
        QList<qint64> expected;
        qint64 start = 0;
        for (const QByteArray& l : bytes.split('\n')) {
            if (start < bytes.size()) {
                expected << start / 128 * 128;
            }
            start += l.size() + 1;
        }
        QCOMPARE(expected.size(), lines.size());
        RecordingReporter report;
        const JobResult result = runImport(tdb, bytes, report);
        QVERIFY2(result.status == JobStatus::Completed, qPrintable(result.error));
        QCOMPARE(report.progressMaximum, bytes.size() + 128);
        QCOMPARE(report.progressValues, expected);
    }

    void missingFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("no such file") << "nessuno.txt";
        QTest::newRow("empty name: the import folder itself") << "";
    }
    void missingFile()
    {
        QFETCH(QString, name);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        BatchData batch = testBatch();
        batch.Text1[4] = name;
        RecordingReporter report;
        CaseDatabase db;
        JobContext ctx { db, batch, report };
        const JobResult result = ImportaViDiru(ctx);
        QCOMPARE(result.status, JobStatus::Condition);
        QCOMPARE(report.messages, QStringList { QStringLiteral("FILE MANCANTE") });
        QCOMPARE(report.progressMaximum, qint64(-1));
        QCOMPARE(tdb.count(Schema::kCases), 0);
    }

    void databaseOpenedBeforeTheFileIsLookedFor()
    {
        TestWorkspace ws;
        ws.writeIni(QString());
        BatchData batch = testBatch();
        batch.Text1[4] = QStringLiteral("nessuno.txt");
        RecordingReporter report;
        CaseDatabase db;
        JobContext ctx { db, batch, report };
        const JobResult result = ImportaViDiru(ctx);
        QCOMPARE(result.status, JobStatus::Failed);
        QVERIFY(report.messages.isEmpty());
        QCOMPARE(report.errors.size(), 1);
        QVERIFY2(report.errors[0].contains(QLatin1String("connstring")), qPrintable(report.errors[0]));
    }

    void emptyFile()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        RecordingReporter report;
        const JobResult result = runImport(tdb, QByteArray(), report);
        QCOMPARE(result.status, JobStatus::Completed);
        QCOMPARE(report.messages, QStringList { QStringLiteral("Importazione conclusa") });
        QCOMPARE(report.progressMaximum, qint64(128));
        QVERIFY(report.progressValues.isEmpty());
        QCOMPARE(report.clienti, QString());
        QCOMPARE(tdb.count(Schema::kCases), 0);
    }

    // The register refuses a file imported before; taken again on purpose, it is imported twice.
    void importingTwice()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        const QStringList lines { headerLine(QStringLiteral("5")),
            instalmentLine(
                QStringLiteral("01"), QStringLiteral("01/01/2027"), QStringLiteral("3,00"), QStringLiteral("F1")) };
        const QByteArray bytes = viDiruFile(lines);
        for (const Rerun rerun : { Rerun::Refuse, Rerun::Refuse, Rerun::Again }) {
            RecordingReporter report;
            const bool refused = rerun == Rerun::Refuse && tdb.count(Schema::kCases) > 0;
            QCOMPARE(runImport(tdb, bytes, report, testBatch(), rerun).status,
                refused ? JobStatus::Condition : JobStatus::Completed);
            QCOMPARE(report.messages.value(0).startsWith(QStringLiteral("Il file ")), refused);
            QCOMPARE(tdb.count(Schema::kCases), tdb.count(Schema::kImportRuns));
        }
        QCOMPARE(tdb.count(Schema::kCases), 2);
        QCOMPARE(tdb.count(Schema::kInvoices), 2);
        const QList<QVariantMap> invoices = tdb.rows(Schema::kInvoices);
        QVERIFY(::field(invoices[0], QStringLiteral("conta")) != ::field(invoices[1], QStringLiteral("conta")));
    }

    // A line that cannot be taken stops the run: the lines before it stay, nothing of it does.
    // Expenses add up over a case's lines; a line that would take the sum past the largest
    // amount the system handles stops the run there, with the sum of the lines before saved.
    void expensesBeyondTheLargestAmount_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("components");
        QTest::addColumn<int>("failingLine"); // 0: the run completes
        for (const QString& b : kBackends) {
            row(b, "92 of the largest expense fit") << 92 << 0;
            row(b, "the 93rd passes the largest sum") << 93 << 94;
        }
    }
    void expensesBeyondTheLargestAmount()
    {
        QFETCH(QString, backend);
        QFETCH(int, components);
        QFETCH(int, failingLine);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        QStringList lines { headerLine(QStringLiteral("1")) };
        for (int i = 0; i < components; ++i) {
            lines << componentLine(QStringLiteral("Spese"), QStringLiteral("9999999999999")); // all 13 columns
        }
        RecordingReporter report;
        const JobResult result = runImport(tdb, lines, report);
        const int saved = components;
        if (failingLine > 0) {
            QCOMPARE(result.status, JobStatus::Failed);
            QCOMPARE(report.errors.size(), 1);
            const QString& e = report.errors[0];
            const QString start
                = QStringLiteral("Importazione interrotta. File vidiru.txt, riga %1: ").arg(failingLine);
            QVERIFY2(e.startsWith(start), qPrintable(e));
            QVERIFY2(e.contains(QStringLiteral("massimo")), qPrintable(e));
            QCOMPARE(tdb.count(Schema::kCases), 0); // the case is saved whole or not at all
            return;
        }
        QCOMPARE(result.status, JobStatus::Completed);
        QVERIFY(report.errors.isEmpty());
        const QList<QVariantMap> cases = tdb.rows(Schema::kCases);
        QCOMPARE(cases.size(), 1);
        QCOMPARE(::field(cases[0], QStringLiteral("importo spese")).value<Currency>(),
            Currency::fromUnits(9999999999999LL * saved));
    }

    void stopsOnALine_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reason");
        for (const QString& b : kBackends) {
            row(b, "component amount blank") << QString(componentLine(QStringLiteral("Spese"), QString())) << "58-70";
            row(b, "component amount with a point")
                << QString(componentLine(QStringLiteral("Spese"), QStringLiteral("12.34"))) << "\"12.34\"";
            row(b, "total not a number") << QString(totalLine(QStringLiteral("abc"))) << "\"abc\"";
            row(b, "total blank") << QString(ViDiruLine(QStringLiteral("IBGI0008"))) << "19-31";
            row(b, "instalment amount blank") << QString(
                instalmentLine(QStringLiteral("01"), QStringLiteral("01/01/2027"), QString(), QStringLiteral("F")))
                                              << "66-78";
            row(b, "instalment amount two commas") << QString(instalmentLine(
                QStringLiteral("01"), QStringLiteral("01/01/2027"), QStringLiteral("1,2,3"), QStringLiteral("F")))
                                                   << "\"1,2,3\"";
        }
    }
    void stopsOnALine()
    {
        QFETCH(QString, backend);
        QFETCH(QString, line);
        QFETCH(QString, reason);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        const QStringList lines { headerLine(QStringLiteral("1")),
            componentLine(QStringLiteral("Sorte"), QStringLiteral("10,00")),
            instalmentLine(
                QStringLiteral("01"), QStringLiteral("01/01/2027"), QStringLiteral("10,00"), QStringLiteral("F1")),
            headerLine(QStringLiteral("2")), componentLine(QStringLiteral("Altro"), QStringLiteral("4,00")),
            line, // line 6
            totalLine(QStringLiteral("99,00")), headerLine(QStringLiteral("3")) };
        RecordingReporter report;
        const JobResult result = runImport(tdb, lines, report);
        QCOMPARE(result.status, JobStatus::Failed);
        QVERIFY(report.messages.isEmpty()); // no closing message
        QCOMPARE(report.errors.size(), 1);
        const QString& e = report.errors[0];
        QVERIFY2(e.startsWith(QLatin1String("Importazione interrotta. File vidiru.txt, riga 6: ")), qPrintable(e));
        QVERIFY2(e.contains(reason), qPrintable(e));
        // The case of the bad line (lines 4-6) is taken back whole; the next run starts at it.
        QVERIFY2(
            e.endsWith(QStringLiteral("non è stata salvata: l'importazione va ripresa dalla riga 4)")), qPrintable(e));
        QCOMPARE(result.error, e);
        const QList<QVariantMap> cases = tdb.rows(Schema::kCases);
        QCOMPARE(cases.size(), 1);
        QCOMPARE(::field(cases[0], QStringLiteral("importo rata")).value<Currency>(), amount("10"));
        QCOMPARE(tdb.count(Schema::kInvoices), 1);
        QCOMPARE(report.clienti, QStringLiteral("1"));
        QCOMPARE(report.fatture, QStringLiteral("1"));
    }

    void recordBeforeTheFirstHeader_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("code");
        QTest::newRow("note") << noteLine(QStringLiteral("orfana")).text() << "IBGI0004";
        QTest::newRow("component") << componentLine(QStringLiteral("Sorte"), QStringLiteral("1,00")).text()
                                   << "IBGI0007";
        QTest::newRow("total") << totalLine(QStringLiteral("1,00")).text() << "IBGI0008";
        QTest::newRow("instalment") << instalmentLine(
            QStringLiteral("01"), QStringLiteral("01/01/2027"), QStringLiteral("1,00"), QStringLiteral("F"))
                                           .text()
                                    << "IBGI0011";
    }
    void recordBeforeTheFirstHeader()
    {
        QFETCH(QString, line);
        QFETCH(QString, code);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        RecordingReporter report;
        // Lines that change nothing may come first; the orphan record is line 4.
        const QStringList lines { QStringLiteral("0000000001IBGI0000 testata"),
            ViDiruLine(QStringLiteral("IBGI0005")).put(19, 13, QStringLiteral("1,00")),
            ViDiruLine(QStringLiteral("IBGI0007")).put(19, 5, QStringLiteral("Sorte")).length(29), line,
            headerLine(QStringLiteral("1")) };
        const JobResult result = runImport(tdb, lines, report);
        QCOMPARE(result.status, JobStatus::Failed);
        QCOMPARE(report.errors.size(), 1);
        QVERIFY2(report.errors[0].contains(QLatin1String("riga 4")) && report.errors[0].contains(code),
            qPrintable(report.errors[0]));
        QCOMPARE(tdb.count(Schema::kCases), 0);
        QCOMPARE(tdb.count(Schema::kInvoices), 0);
    }

    void databaseRefusal_data() { backends(); }
    void databaseRefusal()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        createRefusal(tdb);
        const QStringList lines { headerLine(QStringLiteral("1")), noteLine(QStringLiteral("va bene")),
            headerLine(QStringLiteral("2")), totalLine(QStringLiteral("8,00")),
            noteLine(QStringLiteral("RIFIUTA questa")), // line 5
            noteLine(QStringLiteral("mai letta")) };
        RecordingReporter report;
        const JobResult result = runImport(tdb, lines, report);
        QCOMPARE(result.status, JobStatus::Failed);
        QCOMPARE(report.errors.size(), 1);
        QVERIFY2(report.errors[0].contains(QLatin1String("riga 5"))
                && report.errors[0].contains(QLatin1String("nota rifiutata")),
            qPrintable(report.errors[0]));
        // The refused note's case goes whole; the case before stays.
        const QList<QVariantMap> cases = tdb.rows(Schema::kCases);
        QCOMPARE(cases.size(), 1);
        QCOMPARE(::field(cases[0], QStringLiteral("memo")).toString(), QStringLiteral("va bene"));
    }

    // A batch box that does not convert stops the run before the file is read, naming the box.
    void refusedBatchBoxStopsBeforeReading_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("batch number not a number") << 3 << "48a"
                                                   << "Lotto non valido: \"48a\"";
        QTest::newRow("assignment date not a date") << 0 << "31/02/2026"
                                                    << "Data Affido non valida: \"31/02/2026\"";
        QTest::newRow("expiry empty") << 1 << ""
                                      << "Scadenza non valida: \"\"";
    }
    void refusedBatchBoxStopsBeforeReading()
    {
        QFETCH(int, box);
        QFETCH(QString, text);
        QFETCH(QString, error);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        BatchData batch = testBatch();
        batch.Text1[box] = text;
        RecordingReporter report;
        const JobResult result
            = runImport(tdb, { QStringLiteral("0000000001IBGI0099"), headerLine(QStringLiteral("1")) }, report, batch);
        QCOMPARE(result.status, JobStatus::Failed);
        QCOMPARE(report.errors, QStringList { error });
        QCOMPARE(report.progressMaximum, -1); // the file was never opened
        QCOMPARE(tdb.count(Schema::kCases), 0);
        QCOMPARE(report.clienti, QString());
    }

    // More lines than one commit group holds: the groups before and the whole cases of the
    // open group before the failing line's case are all kept.
    void stopAfterSeveralCommitGroups_data() { backends(); }
    void stopAfterSeveralCommitGroups()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        QStringList lines;
        for (int i = 1; i <= 1100; ++i) {
            lines << headerLine(QString::number(i), i);
        }
        lines << totalLine(QStringLiteral("?")) << headerLine(QStringLiteral("9999"));
        RecordingReporter report;
        const JobResult result = runImport(tdb, lines, report);
        QCOMPARE(result.status, JobStatus::Failed);
        QVERIFY2(report.errors.value(0).contains(QLatin1String("riga 1101")), qPrintable(report.errors.value(0)));
        QCOMPARE(tdb.count(Schema::kCases), 1099);
        QCOMPARE(report.clienti, QStringLiteral("1099"));
        QCOMPARE(
            ::field(tdb.rows(Schema::kCases).last(), QStringLiteral("posizione")).toString(), QStringLiteral("1099"));
    }
};

QTEST_GUILESS_MAIN(TestViDiruImport)
#include "TestViDiruImport.moc"
