// "zb32 run incassi" and "zb32 run spese" as a separate process, as a clerk's script runs them.
#include "ConfirmationDesk.h"
#include "Zb32Process.h"

#include <QFile>
#include <QProcess>
#include <QTest>

using namespace zb32;
using namespace zb32::test;

namespace {

// What a run printed, line by line.
struct Run
{
    int exitCode = -1;
    QStringList out;
    QString err;
};

// Runs fix their today, so the dates they write are known.
Run runToday(const QStringList& args)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("ZB32_TODAY"), QStringLiteral("2026-12-07"));
    const zb32::test::Zb32Run r = zb32::test::runZb32(args, env);
    QStringList lines = r.out.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return { r.exitCode, lines, r.err };
}

} // namespace

class TestConfirmationCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runs_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("text"); // the collections file; empty: the workbook fixture
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QString>("err");
        const QByteArray good = collectionLine("000000001", "350", cents(12000), "R")
            + collectionLine("000000009", "350", cents(1000), "R")
            + collectionLine("000000002", "362", cents(5000), "P");
        const QByteArray bad
            = collectionLine("000000001", "350", cents(12000), "R") + collectionLine("000000002", "362", "5O00", "P");
        for (const QString& backend : backends()) {
            const auto row = [&](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable(backend + QStringLiteral(": ") + QLatin1String(name))) << backend;
            };
            row("incassi") << "incassi"
                           << "incassi.txt" << good << 0
                           << QStringList { "non trovo la pratica 9",
                                  "importazione conclusa. Conferme di Pagamento effettuate: 0", "clienti: 1",
                                  "fatture: 1" }
                           << "";
            row("incassi stopped") << "incassi"
                                   << "incassi.txt" << bad << 3 << QStringList { "clienti: 1", "fatture: " }
                                   << "File incassi.txt, riga 2";
            row("incassi missing file") << "incassi"
                                        << "manca.txt" << QByteArray() << 1
                                        << QStringList { "FILE MANCANTE", "clienti: ", "fatture: " } << "";
            row("spese") << "spese"
                         << "spese.xls" << QByteArray() << 0
                         << QStringList { "non trovo la pratica 12345/2003", "non trovo la pratica 4711",
                                "non trovo la pratica O'Neil 7", "non trovo la pratica D-9",
                                "non trovo la pratica NOPE", "non trovo la pratica E-1",
                                "importazione conclusa. Conferme di Pagamento effettuate: 0", "clienti: 1",
                                "fatture: " }
                         << "";
        }
    }
    void runs()
    {
        QFETCH(QString, backend);
        QFETCH(QString, job);
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        const qint64 one = desk.addCase(QStringLiteral("1"), { { "importo rata", "100" } });
        const qint64 two = desk.addCase(QStringLiteral("2"));
        // The workbook's "00042" row finds no case "42"; this one takes its payment.
        const qint64 text42 = desk.addCase(QStringLiteral("00042"));
        if (!text.isEmpty()) {
            desk.ws.writeImportFile(file, text);
        } else if (job == QLatin1String("spese")) {
            QFile fixture(qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/confirmations/") + file);
            QVERIFY(fixture.open(QIODevice::ReadOnly));
            desk.ws.writeImportFile(file, fixture.readAll());
        }
        const Run r = runToday({ "run", job, "--file", file, "--mandato", "460", "--revoca-cop" });
        QCOMPARE(r.exitCode, exitCode);
        QTEST(r.out, "out");
        if (err.isEmpty()) {
            QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        } else {
            QVERIFY2(r.err.contains(err), qPrintable(r.err));
        }
        if (job == QLatin1String("incassi") && exitCode != 1) {
            // 120.00 on an instalment of 100.00: paid off, and the box took the collector away.
            const QVariantMap c = desk.caseRow(one);
            QCOMPARE(plain(c.value("assignment_id")), QStringLiteral("78"));
            QCOMPARE(plain(c.value("codice esattore")), QStringLiteral("null"));
            QCOMPARE(plain(c.value("codice esattore2")), QStringLiteral("E7"));
            const QList<QVariantMap> p = desk.payments(one);
            QCOMPARE(p.size(), 1);
            QCOMPARE(day(p[0].value("data")), QStringLiteral("07/12/2026"));
            QCOMPARE(desk.invoices(two).size(), exitCode == 0 ? 1 : 0);
        }
        if (job == QLatin1String("spese")) {
            const QList<QVariantMap> p = desk.payments(text42);
            QCOMPARE(p.size(), 1);
            QCOMPARE(plain(p[0].value("causale")), QStringLiteral("da file (EXP-9)"));
        }
    }
};

QTEST_GUILESS_MAIN(TestConfirmationCli)
#include "TestConfirmationCli.moc"
