// The confirmation import run against a database: lookups, payments, invoices, outcomes, the
// workbook, and runs that stop on a record they cannot read or save. Both databases.
#include "ConfirmationDesk.h"
#include "core/desk/CaseDatabase.h"
#include "core/imports/confirmations/ConfirmationImport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace zb32;
using namespace zb32::test;

#define ROW(name) QTest::newRow(qPrintable(backend + QStringLiteral(": ") + QStringLiteral(name))) << backend

namespace {

const QString kClosing = QStringLiteral("importazione conclusa. Conferme di Pagamento effettuate: ");

QStringList parts(const QVariantMap& payment)
{
    QStringList out;
    for (const char* f : { "capitale", "interesse", "spese", "speserecupero", "totale" }) {
        out << money(payment.value(QString::fromLatin1(f)));
    }
    return out;
}

QStringList rates(const QVariantMap& payment, const char* group)
{
    QStringList out;
    for (int i = 1; i <= 5; ++i) {
        out << plain(payment.value(QString::fromLatin1(group).toLower() + QString::number(i)));
    }
    return out;
}

// What a run left on each case: its payments (total, reason, date) and invoices (reference, balance).
QStringList postings(ConfirmationDesk& desk, const QList<QPair<QString, qint64>>& cases)
{
    QStringList out;
    for (const auto& [position, key] : cases) {
        for (const QVariantMap& p : desk.payments(key)) {
            out << position + u' ' + money(p.value("totale")) + u' ' + plain(p.value("causale")) + u' '
                    + day(p.value("datascarico"));
        }
        for (const QVariantMap& i : desk.invoices(key)) {
            out << position + QStringLiteral(" fattura ") + plain(i.value("periodo")) + u' ' + money(i.value("saldo"));
        }
    }
    return out;
}

QJsonObject outsideExpected()
{
    QFile f(qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/workbooks/outside/expected.json"));
    if (!f.open(QIODevice::ReadOnly)) {
        qFatal("expected.json missing");
    }
    return QJsonDocument::fromJson(f.readAll()).object();
}

} // namespace

class TestConfirmationImport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void postsASplitPayment_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QVariantMap>("caseFields");
        QTest::addColumn<QStringList>("expected"); // capitale, interesse, spese, speserecupero, totale
        QTest::addColumn<QString>("receipt");
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<QString>("state");
        for (const QString& backend : backends()) {
            ROW("300.00 fills the instalment first") << cents(30000) << "R1" << QVariantMap()
                                                     << QStringList { "210", "50", "30", "10", "300" } << "07/12/2026"
                                                     << "78"
                                                     << "48";
            ROW("611 starts from interest")
                << cents(7000) << "611AB" << QVariantMap() << QStringList { "0", "50", "20", "0", "70" } << "08/12/2026"
                << "76"
                << "1";
            ROW("reversal 3A05") << cents(5000) << "3A05" << QVariantMap()
                                 << QStringList { "-50", "0", "0", "0", "-50" } << "07/12/2026"
                                 << "76"
                                 << "1";
            ROW("empty interest due counts as 0")
                << cents(30000) << "R1" << QVariantMap { { "importo interessi", QVariant() } }
                << QStringList { "260", "0", "30", "10", "300" } << "07/12/2026"
                << "78"
                << "48";
            ROW("no dues at all") << cents(1234) << "R1"
                                  << QVariantMap { { "importo rata", QVariant() }, { "importo interessi", QVariant() },
                                         { "importo spese", QVariant() }, { "importo speserecupero", QVariant() } }
                                  << QStringList { "12.34", "0", "0", "0", "12.34" } << "07/12/2026"
                                  << "76"
                                  << "1";
        }
    }
    void postsASplitPayment()
    {
        QFETCH(QString, backend);
        QFETCH(QString, amount);
        QFETCH(QString, reference);
        QFETCH(QVariantMap, caseFields);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        const qint64 key = desk.addCase(QStringLiteral("4711"), caseFields);
        desk.report.clienti = QStringLiteral("vecchio");
        desk.report.fatture = QStringLiteral("vecchio");
        const JobResult r
            = desk.runText(collectionLine(QStringLiteral("000004711"), QStringLiteral("350"), amount, reference));
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        QCOMPARE(desk.report.messages, QStringList { kClosing + QStringLiteral("0") });
        QCOMPARE(desk.report.clienti, QStringLiteral("1"));
        QCOMPARE(desk.report.fatture, QStringLiteral("vecchio"));

        const QList<QVariantMap> pays = desk.payments(key);
        QCOMPARE(pays.size(), 1);
        const QVariantMap& p = pays.first();
        QTEST(parts(p), "expected");
        QCOMPARE(day(p.value("data")), QStringLiteral("07/12/2026"));
        QCOMPARE(day(p.value("datascarico")), QStringLiteral("05/03/2010"));
        QCOMPARE(plain(p.value("causale")), QStringLiteral("da file (Fatt.FT-0001   )"));
        QCOMPARE(plain(p.value("codesattore")), QStringLiteral("E7"));
        QCOMPARE(plain(p.value("modo")), QStringLiteral("VEC"));
        QTEST(day(p.value("dataricevuta")), "receipt");

        const QVariantMap c = desk.caseRow(key);
        QCOMPARE(money(c.value("totale incassato")), money(p.value("totale")));
        QTEST(plain(c.value("assignment_id")), "assignment");
        QTEST(plain(c.value("situazione affido")), "state");
        QCOMPARE(desk.invoices(key).size(), 0);
    }

    void confirmsAnOpenInstalment_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QStringList>("instalments"); // totale of each open payment; "null" for none; "closed:x"
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("caseCollector");
        QTest::addColumn<QString>("instalmentCollector");
        QTest::addColumn<int>("confirmed"); // index of the confirmed instalment, -1 for a new payment
        QTest::addColumn<QString>("collector");
        for (const QString& backend : backends()) {
            ROW("100.99 confirms 100.00") << QStringList { "100" } << cents(10099) << "R"
                                          << "E7"
                                          << "" << 0 << "E7";
            ROW("101.00 does not") << QStringList { "100" } << cents(10100) << "R"
                                   << "E7"
                                   << "" << -1 << "E7";
            ROW("99.01 confirms 100.00") << QStringList { "100" } << cents(9901) << "R"
                                         << "E7"
                                         << "" << 0 << "E7";
            ROW("only the first of two equal") << QStringList { "100", "100" } << cents(10000) << "R"
                                               << "E7"
                                               << "" << 0 << "E7";
            ROW("an instalment without total never matches") << QStringList { "null", "100" } << cents(10000) << "R"
                                                             << "E7"
                                                             << "" << 1 << "E7";
            ROW("a closed instalment is not open") << QStringList { "closed:100" } << cents(10000) << "R"
                                                   << "E7"
                                                   << "" << -1 << "E7";
            ROW("a reversal never confirms") << QStringList { "-50" } << cents(5000) << "3A05"
                                             << "E7"
                                             << "" << -1 << "E7";
            ROW("the instalment keeps its collector") << QStringList { "100" } << cents(10000) << "R"
                                                      << "E7"
                                                      << "X1" << 0 << "X1";
            ROW("no collector on the case: 80") << QStringList { "100" } << cents(10000) << "R"
                                                << ""
                                                << "" << 0 << "80";
        }
    }
    void confirmsAnOpenInstalment()
    {
        QFETCH(QString, backend);
        QFETCH(QStringList, instalments);
        QFETCH(QString, amount);
        QFETCH(QString, reference);
        QFETCH(QString, caseCollector);
        QFETCH(QString, instalmentCollector);
        QFETCH(int, confirmed);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        const qint64 key = desk.addCase(QStringLiteral("4711"),
            { { "codice esattore", caseCollector.isEmpty() ? QVariant() : QVariant(caseCollector) } });
        QList<qint64> ids;
        for (const QString& i : instalments) {
            QVariantMap f { { "causale", "rata" } };
            if (i.startsWith(QLatin1String("closed:"))) {
                f.insert("totale", i.mid(7));
                f.insert("dataricevuta", "01/02/2010");
            } else if (i != QLatin1String("null")) {
                f.insert("totale", i);
            }
            if (!instalmentCollector.isEmpty()) {
                f.insert("codesattore", instalmentCollector);
            }
            ids << desk.addPayment(key, f);
        }
        desk.report.clienti = QStringLiteral("vecchio");
        const JobResult r
            = desk.runText(collectionLine(QStringLiteral("4711"), QStringLiteral("350"), amount, reference));
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));

        const QList<QVariantMap> pays = desk.payments(key);
        const QVariantMap c = desk.caseRow(key);
        if (confirmed >= 0) {
            QCOMPARE(desk.report.messages, QStringList { kClosing + QStringLiteral("1") });
            QCOMPARE(desk.report.clienti, QStringLiteral("vecchio"));
            QCOMPARE(pays.size(), instalments.size());
            for (int i = 0; i < pays.size(); ++i) {
                const bool isIt = i == confirmed;
                QCOMPARE(
                    day(pays[i].value("dataricevuta")), isIt ? QStringLiteral("08/12/2026") : QStringLiteral("null"));
                if (isIt) {
                    QTEST(plain(pays[i].value("codesattore")), "collector");
                }
            }
            // Confirming an instalment leaves the case as it was.
            QCOMPARE(plain(c.value("totale incassato")), QStringLiteral("null"));
            QCOMPARE(plain(c.value("assignment_id")), QStringLiteral("null"));
        } else {
            QCOMPARE(desk.report.messages, QStringList { kClosing + QStringLiteral("0") });
            QCOMPARE(desk.report.clienti, QStringLiteral("1"));
            QCOMPARE(pays.size(), instalments.size() + 1);
            QTEST(plain(pays.last().value("codesattore")), "collector");
            QCOMPARE(money(c.value("totale incassato")), money(pays.last().value("totale")));
        }
    }

    void commission_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("mandate");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QVariantMap>("caseFields");
        QTest::addColumn<bool>("withRates");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("modo");
        QTest::addColumn<QString>("receipt");
        QTest::addColumn<QString>("collector");
        QTest::addColumn<QStringList>("collectorRates");
        QTest::addColumn<QStringList>("agencyRates");
        const QStringList zeros { "0", "0", "0", "0", "0" };
        const QStringList nulls { "null", "null", "null", "null", "null" };
        const QStringList e7 { "1", "2", "3", "4", "5" };
        const QStringList agency { "11", "12", "13", "14", "15" };
        for (const QString& backend : backends()) {
            ROW("after the assignment, with rates") << "460"
                                                    << "05032010" << QVariantMap() << true << "R"
                                                    << "VEC"
                                                    << "07/12/2026"
                                                    << "E7" << e7 << agency;
            ROW("on the day of the assignment") << "460"
                                                << "01012010" << QVariantMap() << true << "R"
                                                << "VEC"
                                                << "07/12/2026"
                                                << "E7" << e7 << agency;
            ROW("611: received tomorrow") << "460"
                                          << "05032010" << QVariantMap() << true << "611"
                                          << "VEC"
                                          << "08/12/2026"
                                          << "E7" << e7 << agency;
            ROW("no rate rows: rates left empty") << "460"
                                                  << "05032010" << QVariantMap() << false << "R"
                                                  << "VEC"
                                                  << "07/12/2026"
                                                  << "E7" << nulls << nulls;
            ROW("no collector: the rates of 80")
                << "460"
                << "05032010" << QVariantMap { { "codice esattore", QVariant() } } << true << "R"
                << "VEC"
                << "07/12/2026"
                << "80" << QStringList { "21", "22", "23", "24", "25" } << agency;
            ROW("client code is the whole list") << "460,462"
                                                 << "05032010" << QVariantMap() << true << "R"
                                                 << "VEC"
                                                 << "07/12/2026"
                                                 << "E7" << QStringList { "31", "32", "33", "34", "35" } << nulls;
            ROW("before the assignment: VN") << "460"
                                             << "31122009" << QVariantMap() << true << "R"
                                             << "VN"
                                             << "null"
                                             << "E7" << zeros << zeros;
            ROW("no assignment date: VN")
                << "460"
                << "05032010" << QVariantMap { { "data affido", QVariant() } } << true << "611"
                << "VN"
                << "null"
                << "E7" << zeros << zeros;
        }
    }
    void commission()
    {
        QFETCH(QString, backend);
        QFETCH(QString, mandate);
        QFETCH(QString, date);
        QFETCH(QVariantMap, caseFields);
        QFETCH(bool, withRates);
        QFETCH(QString, reference);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        desk.batch.Text1[5] = mandate;
        const qint64 key = desk.addCase(QStringLiteral("4711"), caseFields);
        if (withRates) {
            desk.addRate("E7", "460", "VEC", 1);
            desk.addRate("999", "460", "VEC", 11);
            desk.addRate("80", "460", "VEC", 21);
            desk.addRate("E7", "460,462", "VEC", 31);
            // Rows that must not be taken: another mode, another client, another agent.
            desk.addRate("E7", "460", "VN", 91);
            desk.addRate("999", "462", "VEC", 92);
            desk.addRate("E8", "460", "VEC", 93);
        }
        const QByteArray bytes = collectionLine("4711", "350", cents(1000), reference, date)
            + collectionLine("4711", "350", cents(2000), reference, date);
        const JobResult r = desk.runText(bytes);
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        const QList<QVariantMap> pays = desk.payments(key);
        QCOMPARE(pays.size(), 2);
        for (const QVariantMap& p : pays) {
            QTEST(plain(p.value("modo")), "modo");
            QTEST(day(p.value("dataricevuta")), "receipt");
            QTEST(plain(p.value("codesattore")), "collector");
            QTEST(rates(p, "AL_E_"), "collectorRates");
            QTEST(rates(p, "AL_A_"), "agencyRates");
        }
    }

    void paidOff_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QVariantMap>("caseFields");
        QTest::addColumn<qint64>("amount");
        QTest::addColumn<bool>("revoca");
        QTest::addColumn<QStringList>("expected"); // totale incassato, situazione, assignment, esattore, esattore2
        const QVariantMap owing { { "importo rata", "500" }, { "data affido", QVariant() } };
        QVariantMap collected = owing;
        collected.insert("totale incassato", "300");
        QVariantMap noDue = owing;
        noDue.insert("importo rata", QVariant());
        for (const QString& backend : backends()) {
            ROW("499.50 of 500: paid off, collector revoked")
                << owing << qint64(49950) << true << QStringList { "499.5", "48", "78", "null", "E7" };
            ROW("paid off, box not ticked: collector kept")
                << owing << qint64(49950) << false << QStringList { "499.5", "48", "78", "E7", "null" };
            ROW("499.00 of 500: still owing")
                << owing << qint64(49900) << true << QStringList { "499", "1", "76", "E7", "null" };
            ROW("adds to what was collected")
                << collected << qint64(19950) << true << QStringList { "499.5", "48", "78", "null", "E7" };
            ROW("no instalment due recorded: still owing")
                << noDue << qint64(49950) << true << QStringList { "499.5", "1", "76", "E7", "null" };
        }
    }
    void paidOff()
    {
        QFETCH(QString, backend);
        QFETCH(QVariantMap, caseFields);
        QFETCH(qint64, amount);
        QFETCH(bool, revoca);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        desk.batch.chkRevocaCop = revoca;
        const qint64 key = desk.addCase(QStringLiteral("4711"), caseFields);
        const JobResult r = desk.runText(collectionLine("4711", "350", cents(amount), "R"));
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        const QVariantMap c = desk.caseRow(key);
        QTEST((QStringList { money(c.value("totale incassato")), plain(c.value("situazione affido")),
                  plain(c.value("assignment_id")), plain(c.value("codice esattore")),
                  plain(c.value("codice esattore2")) }),
            "expected");
    }

    void invoiceRecord_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<qint64>("amount");
        QTest::addColumn<QVariantMap>("caseFields");
        QTest::addColumn<QStringList>("expected"); // saldo, importo rata, importo totale
        const QVariantMap dues { { "importo rata", "500" }, { "importo totale", "800" } };
        for (const QString& backend : backends()) {
            ROW("120.00 on 500 and 800") << "362"
                                         << "PERIODO 2010" << qint64(12000) << dues
                                         << QStringList { "-120", "380", "680" };
            ROW("a negative invoice raises both") << "362"
                                                  << "P" << qint64(-5000) << dues << QStringList { "50", "550", "850" };
            ROW("a null total stays null")
                << "362"
                << "P" << qint64(12000) << QVariantMap { { "importo rata", "500" }, { "importo totale", QVariant() } }
                << QStringList { "-120", "380", "null" };
            ROW("payment with reference 9 is an invoice")
                << "350"
                << "9ABC" << qint64(12000) << dues << QStringList { "-120", "380", "680" };
        }
    }
    void invoiceRecord()
    {
        QFETCH(QString, backend);
        QFETCH(QString, code);
        QFETCH(QString, reference);
        QFETCH(qint64, amount);
        QFETCH(QVariantMap, caseFields);
        QFETCH(QStringList, expected);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        const qint64 key = desk.addCase(QStringLiteral("4711"), caseFields);
        desk.report.clienti = QStringLiteral("vecchio");
        const JobResult r = desk.runText(collectionLine("4711", code, cents(amount), reference, "05032010", "INV-77"));
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        QCOMPARE(desk.report.messages, QStringList { kClosing + QStringLiteral("0") });
        QCOMPARE(desk.report.fatture, QStringLiteral("1"));
        QCOMPARE(desk.report.clienti, QStringLiteral("vecchio"));
        QCOMPARE(desk.payments(key).size(), 0);
        const QList<QVariantMap> inv = desk.invoices(key);
        QCOMPARE(inv.size(), 1);
        QCOMPARE(plain(inv[0].value("numero fattura")), QStringLiteral("INV-77    "));
        QCOMPARE(plain(inv[0].value("periodo")), reference);
        QCOMPARE(day(inv[0].value("data fattura")), QStringLiteral("05/03/2010"));
        QCOMPARE(day(inv[0].value("data scadenza")), QStringLiteral("05/03/2010"));
        const QVariantMap c = desk.caseRow(key);
        QCOMPARE((QStringList {
                     money(inv[0].value("saldo")), money(c.value("importo rata")), money(c.value("importo totale")) }),
            expected);
        QCOMPARE(plain(c.value("datamodificadaesattori")), QStringLiteral("07/12/2026"));
        QCOMPARE(plain(c.value("modificadaesattori")), QStringLiteral("1"));
        QCOMPARE(plain(c.value("situazione affido")), QStringLiteral("1"));
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("revoca");
        QTest::addColumn<QStringList>("expected"); // situazione, esattore, esattore2
        for (const QString& backend : backends()) {
            ROW("37, revocation ticked") << "37" << true << QStringList { "50", "null", "E7" };
            ROW("37, not ticked") << "37" << false << QStringList { "50", "E7", "null" };
            ROW("36 never revokes") << " 36" << true << QStringList { "RIA", "E7", "null" };
            ROW("351 is skipped") << "351" << true << QStringList { "1", "E7", "null" };
        }
    }
    void outcomes()
    {
        QFETCH(QString, backend);
        QFETCH(QString, code);
        QFETCH(bool, revoca);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        desk.batch.chkRevocaCop = revoca;
        const qint64 key = desk.addCase(QStringLiteral("4711"));
        desk.report.clienti = QStringLiteral("c");
        desk.report.fatture = QStringLiteral("f");
        // Outcomes never read their amount, so one that is not a number does not matter.
        const JobResult r = desk.runText(collectionLine("4711", code, "  ??    ", "R"));
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        QCOMPARE(desk.report.messages, QStringList { kClosing + QStringLiteral("0") });
        QCOMPARE(desk.report.clienti + desk.report.fatture, QStringLiteral("cf"));
        const QVariantMap c = desk.caseRow(key);
        QTEST((QStringList { plain(c.value("situazione affido")), plain(c.value("codice esattore")),
                  plain(c.value("codice esattore2")) }),
            "expected");
        const bool changed = code.trimmed() != QLatin1String("351");
        QCOMPARE(
            plain(c.value("datamodificadaesattori")), changed ? QStringLiteral("07/12/2026") : QStringLiteral("null"));
        QCOMPARE(plain(c.value("modificadaesattori")), changed ? QStringLiteral("1") : QStringLiteral("null"));
        QCOMPARE(money(c.value("importo rata")), QStringLiteral("200"));
        QCOMPARE(desk.payments(key).size() + desk.invoices(key).size(), 0);
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("mandate");
        QTest::addColumn<QStringList>("cases"); // position:type
        QTest::addColumn<QString>("position"); // columns 8-16 of the line
        QTest::addColumn<int>("found"); // index into cases, -1 for none
        QString longList;
        for (int i = 1; i <= 150; ++i) {
            longList += (i > 1 ? QStringLiteral(",") : QString()) + QString::number(1000 + i);
        }
        for (const QString& backend : backends()) {
            ROW("one type") << "460" << QStringList { "4711:462", "4711:460" } << "4711" << 1;
            ROW("one type, the other") << "462" << QStringList { "4711:462", "4711:460" } << "4711" << 0;
            ROW("one type, none") << "463" << QStringList { "4711:462", "4711:460" } << "4711" << -1;
            ROW("two types") << "460,462" << QStringList { "4711:463", "4711:462" } << "4711" << 1;
            ROW("entries as they stand") << "460, 462" << QStringList { "4711:462" } << "4711" << -1;
            ROW("entries with their blank") << "460, 462" << QStringList { "4711: 462" } << "4711" << 0;
            ROW("leading zeros") << "460" << QStringList { "4711:460" } << "000004711" << 0;
            ROW("the position's other zeros count") << "460" << QStringList { "47110:460" } << "4711" << -1;
            ROW("the first of two cases") << "460" << QStringList { "4711:460", "4711:460" } << "4711" << 0;
            ROW("150 types, the last") << longList << QStringList { "4711:460", "4711:1150" } << "4711" << 1;
            ROW("150 types, none") << longList << QStringList { "4711:460", "4711:1151" } << "4711" << -1;
            ROW("150 types, first of two") << longList << QStringList { "4711:1003", "4711:1002" } << "4711" << 0;
            ROW("empty box finds an empty type") << "" << QStringList { "4711:", "4711:460" } << "4711" << 0;
            ROW("empty entry finds an empty type") << "999," << QStringList { "4711:460", "4711:" } << "4711" << 1;
        }
    }
    void lookup()
    {
        QFETCH(QString, backend);
        QFETCH(QString, mandate);
        QFETCH(QStringList, cases);
        QFETCH(QString, position);
        QFETCH(int, found);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        desk.batch.Text1[5] = mandate;
        QList<qint64> keys;
        for (const QString& c : cases) {
            const qsizetype colon = c.indexOf(QLatin1Char(':'));
            keys << desk.addCase(c.left(colon), { { "Tipo Mandato", c.mid(colon + 1) } });
        }
        // An outcome record marks the case it finds.
        const JobResult r = desk.runText(collectionLine(position, "36", cents(0), "R"));
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        for (int i = 0; i < keys.size(); ++i) {
            QCOMPARE(plain(desk.caseRow(keys[i]).value("situazione affido")),
                i == found ? QStringLiteral("RIA") : QStringLiteral("1"));
        }
        QCOMPARE(
            desk.report.log, found < 0 ? QStringList { QStringLiteral("non trovo la pratica 4711") } : QStringList());
    }

    void runOverAFile_data()
    {
        QTest::addColumn<QString>("backend");
        for (const QString& backend : backends()) {
            QTest::newRow(qPrintable(backend)) << backend;
        }
    }
    void runOverAFile()
    {
        QFETCH(QString, backend);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        const qint64 a = desk.addCase(QStringLiteral("1"), { { "data affido", QVariant() } });
        const qint64 b = desk.addCase(QStringLiteral("2"), { { "data affido", QVariant() } });
        desk.report.log << QStringLiteral("riga di un lavoro precedente");
        QByteArray bytes;
        bytes += collectionLine("000000001", "350", cents(1000), "R"); // posted
        bytes += collectionLine("000000009", "350", cents(1000), "R"); // no such case
        bytes += collectionLine("000000002", "351", cents(1000), "R"); // unknown code
        bytes += collectionLine("000000002", "362", cents(1000), "R"); // invoice
        bytes += collectionLine("000000001", "350", cents(2500), "R", "31022005"); // dated today
        bytes += collectionLine("000000008", "37", cents(0), "R"); // no such case
        bytes += collectionLine("000000001", "350", cents(1000), "R"); // confirms the first, left open (VN)
        bytes += "   \r\n"; // ends the reading
        bytes += collectionLine("000000002", "350", cents(1000), "R");
        bytes += collectionLine("000000007", "350", cents(1000), "R");
        const JobResult r = desk.runText(bytes);
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        QCOMPARE(desk.report.logClears, 1);
        QCOMPARE(desk.report.log, (QStringList { "non trovo la pratica 9", "non trovo la pratica 8" }));
        QCOMPARE(desk.report.messages, QStringList { kClosing + QStringLiteral("1") });
        QCOMPARE(desk.report.clienti, QStringLiteral("2"));
        QCOMPARE(desk.report.fatture, QStringLiteral("1"));
        const QList<QVariantMap> pays = desk.payments(a);
        QCOMPARE(pays.size(), 2);
        QCOMPARE(day(pays[0].value("dataricevuta")), QStringLiteral("08/12/2026"));
        QCOMPARE(day(pays[1].value("datascarico")), QStringLiteral("07/12/2026"));
        QCOMPARE(day(pays[1].value("dataricevuta")), QStringLiteral("null"));
        QCOMPARE(desk.payments(b).size(), 0);
        QCOMPARE(desk.invoices(b).size(), 1);
        // Progress: the file's length plus one block, and block-rounded positions of the seven lines read.
        QCOMPARE(desk.report.progressMaximum, bytes.size() + 128);
        QCOMPARE(desk.report.progressValues.size(), 7);
        const qint64 lineLength = collectionLine("1", "350", cents(0), "R").size();
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(desk.report.progressValues[i], (lineLength * (i + 1)) / 128 * 128);
        }
    }

    // Records of a few cases over several groups of lines: the cases of a group are read
    // together, and each posting sees what the ones before it wrote, in its group or before.
    // At every position a case of another mandate type is passed over, before or after it.
    void recordsOverSeveralGroups_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("records");
        for (const QString& backend : backends()) {
            ROW("within one group") << 300;
            ROW("over three groups") << 1300;
        }
    }
    void recordsOverSeveralGroups()
    {
        QFETCH(QString, backend);
        QFETCH(int, records);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        constexpr int kCases = 5;
        QList<qint64> cases;
        QList<qint64> others;
        for (int p = 1; p <= kCases; ++p) {
            const QString position = QString::number(p);
            const QVariantMap other { { "Tipo Mandato", QStringLiteral("999") } };
            if (p % 2 == 0) {
                others << desk.addCase(position, other);
            }
            cases << desk.addCase(position, { { "importo rata", QVariant() } }); // never paid off
            if (p % 2 != 0) {
                others << desk.addCase(position, other);
            }
        }
        QByteArray bytes;
        QList<int> counts(kCases);
        QList<qint64> sums(kCases);
        int missing = 0;
        for (int i = 0; i < records; ++i) {
            if (i % 7 == 6) {
                bytes += collectionLine(QStringLiteral("99"), "350", cents(100), "R");
                ++missing;
                continue;
            }
            const int c = i % kCases;
            bytes += collectionLine(QString::number(c + 1), "350", cents(1 + i % 3), "R");
            ++counts[c];
            sums[c] += 1 + i % 3;
        }
        const JobResult r = desk.runText(bytes);
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        QCOMPARE(desk.report.log.count(QStringLiteral("non trovo la pratica 99")), missing);
        for (int c = 0; c < kCases; ++c) {
            const QList<QVariantMap> pays = desk.payments(cases[c]);
            QCOMPARE(pays.size(), counts[c]);
            qint64 posted = 0;
            for (const QVariantMap& p : pays) {
                posted += Currency::fromVariant(p.value("totale")).raw();
            }
            const qint64 expected = sums[c] * (Currency::kScale / 100);
            QCOMPARE(posted, expected);
            QCOMPARE(Currency::fromVariant(desk.caseRow(cases[c]).value("totale incassato")).raw(), expected);
            QCOMPARE(desk.payments(others[c]).size(), 0);
            QCOMPARE(plain(desk.caseRow(others[c]).value("totale incassato")), QStringLiteral("null"));
        }
    }

    void fileMissing_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("name");
        for (const QString& backend : backends()) {
            ROW("empty box, text") << 0 << "";
            ROW("empty box, workbook") << 1 << "";
            ROW("no such file") << 0 << "nessuno.txt";
            ROW("no such workbook") << 1 << "nessuno.xls";
            ROW("a folder") << 0 << "cartella";
        }
    }
    void fileMissing()
    {
        QFETCH(QString, backend);
        QFETCH(int, mode);
        QFETCH(QString, name);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        QDir(desk.ws.importFolder()).mkdir(QStringLiteral("cartella"));
        desk.batch.Text1[4] = name;
        desk.report.log << QStringLiteral("vecchia riga");
        const JobResult r = desk.run(mode);
        QCOMPARE(r.status, JobStatus::Condition);
        QCOMPARE(desk.report.messages, QStringList { QStringLiteral("FILE MANCANTE") });
        QCOMPARE(desk.report.log, QStringList());
        QCOMPARE(desk.report.errors, QStringList());
    }

    void stopsOnARecordItCannotPost_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("reason");
        for (const QString& backend : backends()) {
            ROW("amount with a letter") << "362"
                                        << "0001O000" << false << "l'importo \"0001O000\"";
            ROW("amount blank") << "350"
                                << "        " << false << "non è un numero";
            ROW("case refused after its invoice") << "362" << cents(1000) << true << "pratica bloccata";
            ROW("case refused after its payment") << "350" << cents(1000) << true << "pratica bloccata";
        }
    }
    void stopsOnARecordItCannotPost()
    {
        QFETCH(QString, backend);
        QFETCH(QString, code);
        QFETCH(QString, amount);
        QFETCH(bool, refuse);
        QFETCH(QString, reason);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        const qint64 a = desk.addCase(QStringLiteral("1"), { { "data affido", QVariant() } });
        const qint64 b = desk.addCase(QStringLiteral("2"), { { "importo rata", "500" } });
        if (refuse) {
            // The database refuses any change of case 2, after the record has appended its row.
            const QString sql = backend == QLatin1String("sqlite")
                ? QStringLiteral("CREATE TRIGGER rifiuta BEFORE UPDATE ON [tabella pratiche] WHEN NEW.posizione = '2' "
                                 "BEGIN SELECT RAISE(ABORT, 'pratica bloccata'); END")
                : QStringLiteral("CREATE OR REPLACE FUNCTION rifiuta() RETURNS trigger AS $$ BEGIN "
                                 "IF NEW.posizione = '2' THEN RAISE EXCEPTION 'pratica bloccata'; END IF; "
                                 "RETURN NEW; END $$ LANGUAGE plpgsql; "
                                 "CREATE TRIGGER rifiuta BEFORE UPDATE ON \"tabella pratiche\" "
                                 "FOR EACH ROW EXECUTE FUNCTION rifiuta()");
            QString error;
            QVERIFY2(desk.tdb.db().exec(sql, &error), qPrintable(error));
        }
        desk.report.fatture = QStringLiteral("vecchio");
        QByteArray bytes;
        bytes += collectionLine("1", "350", cents(1000), "R");
        bytes += collectionLine("9", "350", cents(1000), "R");
        bytes += collectionLine("2", code, amount, "R");
        bytes += collectionLine("1", "350", cents(3000), "R");
        if (refuse) {
            // A check lists the refused line and counts only what a run would save.
            desk.ws.writeImportFile(QStringLiteral("incassi-3.txt"), bytes);
            desk.batch.Text1[4] = QStringLiteral("incassi-3.txt");
            CheckReport check;
            QCOMPARE(desk.check(0, &check).status, JobStatus::Failed);
            QCOMPARE(check.badLineCount(), 1);
            QVERIFY2(check.text(QStringLiteral("incassi-3.txt")).contains(QStringLiteral("riga 3")),
                qPrintable(check.text(QStringLiteral("incassi-3.txt"))));
            const QList<std::pair<QString, qint64>> writes { { QStringLiteral("pagamenti"), 2 },
                { QStringLiteral("fatture"), 0 }, { QStringLiteral("rate confermate"), 0 },
                { QStringLiteral("esiti"), 0 } };
            QCOMPARE(check.writes(), writes);
            desk.report.log.clear();
        }
        const JobResult r = desk.runText(bytes, QStringLiteral("incassi-3.txt"));
        QCOMPARE(r.status, JobStatus::Failed);
        QCOMPARE(desk.report.errors.size(), 1);
        const QString error = desk.report.errors.first();
        QVERIFY2(error.contains(QStringLiteral("incassi-3.txt")) && error.contains(QStringLiteral("riga 3"))
                && error.contains(reason, Qt::CaseInsensitive),
            qPrintable(error));
        QCOMPARE(r.error, error);
        QCOMPARE(desk.report.messages, QStringList());
        QCOMPARE(desk.report.log, QStringList { QStringLiteral("non trovo la pratica 9") });
        // The record before stays, nothing of the failing one nor after it.
        QCOMPARE(desk.report.clienti, QStringLiteral("1"));
        QCOMPARE(desk.report.fatture, QStringLiteral("vecchio"));
        const QList<QVariantMap> pays = desk.payments(a);
        QCOMPARE(pays.size(), 1);
        QCOMPARE(money(pays[0].value("totale")), QStringLiteral("10"));
        QCOMPARE(money(desk.caseRow(a).value("totale incassato")), QStringLiteral("10"));
        QCOMPARE(desk.invoices(b).size(), 0);
        QCOMPARE(desk.payments(b).size(), 0);
        QCOMPARE(money(desk.caseRow(b).value("importo rata")), QStringLiteral("500"));
    }

    // Totals kept on a case grow with every record; a record that would take one past the largest
    // amount the system handles stops the run on its line and leaves nothing of itself.
    void stopsBeyondTheLargestAmount_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("fits");
        for (const QString& backend : backends()) {
            ROW("collected total reaches the largest") << "totale incassato"
                                                       << "919999999999998"
                                                       << "350" << true;
            ROW("collected total passes the largest") << "totale incassato"
                                                      << "919999999999999"
                                                      << "350" << false;
            ROW("split over a due far below zero") << "importo rata"
                                                   << "-919999999999999"
                                                   << "350" << false;
            ROW("invoice lowers the instalment past it") << "importo rata"
                                                         << "-919999999999999"
                                                         << "362" << false;
            ROW("invoice lowers the total past it") << "importo totale"
                                                    << "-919999999999999"
                                                    << "362" << false;
        }
    }
    void stopsBeyondTheLargestAmount()
    {
        QFETCH(QString, backend);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, code);
        QFETCH(bool, fits);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        const qint64 a = desk.addCase(QStringLiteral("1"));
        const qint64 b = desk.addCase(QStringLiteral("2"), { { field, value } });
        QByteArray bytes;
        bytes += collectionLine("1", "350", cents(1000), "R");
        bytes += collectionLine("2", code, cents(200), "R"); // 2.00
        const JobResult r = desk.runText(bytes);
        QCOMPARE(desk.payments(a).size(), 1);
        if (fits) {
            QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
            QCOMPARE(desk.payments(b).size(), 1);
            QCOMPARE(money(desk.caseRow(b).value(field)), QStringLiteral("920000000000000"));
            return;
        }
        QCOMPARE(r.status, JobStatus::Failed);
        QCOMPARE(desk.report.errors, QStringList { r.error });
        QVERIFY2(r.error.startsWith(QStringLiteral("Importazione interrotta. File incassi.txt, riga 2: "))
                && r.error.contains(QStringLiteral("massimo")),
            qPrintable(r.error));
        QCOMPARE(desk.payments(b).size(), 0);
        QCOMPARE(desk.invoices(b).size(), 0);
        QCOMPARE(money(desk.caseRow(b).value(field)), value);
    }

    void expenseWorkbook_data()
    {
        QTest::addColumn<QString>("backend");
        for (const QString& backend : backends()) {
            QTest::newRow(qPrintable(backend)) << backend;
        }
    }
    void expenseWorkbook()
    {
        QFETCH(QString, backend);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        const qint64 a = desk.addCase(QStringLiteral("12345/2003"));
        const qint64 b = desk.addCase(QStringLiteral("4711"));
        const qint64 c = desk.addCase(QStringLiteral("O'Neil 7"));
        const qint64 d = desk.addCase(QStringLiteral("D-9"));
        desk.addPayment(d, { { "totale", "80" } });
        const qint64 e
            = desk.addCase(QStringLiteral("E-1"), { { "importo rata", "500" }, { "importo totale", "800" } });
        const qint64 f = desk.addCase(QStringLiteral("42"));
        desk.addCase(QStringLiteral("NOPE-RIEPILOGO"));
        desk.addRate("E7", "460", "VEC", 1);

        const JobResult r = desk.runWorkbook(QStringLiteral("spese.xls"));
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        QCOMPARE(desk.report.log, (QStringList { "non trovo la pratica NOPE", "non trovo la pratica 00042" }));
        QCOMPARE(desk.report.messages, QStringList { kClosing + QStringLiteral("1") });
        QCOMPARE(desk.report.clienti, QStringLiteral("3"));
        QCOMPARE(desk.report.fatture, QStringLiteral("1"));
        QCOMPARE(desk.report.progressMaximum, 8);
        QCOMPARE(desk.report.progressValues, (QList<qint64> { 1, 2, 3, 4, 5, 6, 7, 8 }));

        QList<QVariantMap> p = desk.payments(a);
        QCOMPARE(p.size(), 1);
        QCOMPARE(parts(p[0]), (QStringList { "0", "50", "10", "0", "60" }));
        QCOMPARE(plain(p[0].value("causale")), QStringLiteral("da file (EXP-1)"));
        QCOMPARE(day(p[0].value("datascarico")), QStringLiteral("05/03/2010"));
        QCOMPARE(plain(p[0].value("modo")), QStringLiteral("VEC"));
        QCOMPARE(day(p[0].value("dataricevuta")), QStringLiteral("07/12/2026"));
        QCOMPARE(rates(p[0], "AL_E_"), (QStringList { "1", "2", "3", "4", "5" }));
        QCOMPARE(rates(p[0], "AL_A_"), (QStringList { "null", "null", "null", "null", "null" }));

        p = desk.payments(b);
        QCOMPARE(p.size(), 1);
        QCOMPARE(parts(p[0]), (QStringList { "0", "12.3", "0", "0", "12.3" }));
        QCOMPARE(day(p[0].value("dataricevuta")), QStringLiteral("08/12/2026"));

        p = desk.payments(c);
        QCOMPARE(p.size(), 1);
        QCOMPARE(parts(p[0]), (QStringList { "0", "-25.5", "0", "0", "-25.5" }));
        QCOMPARE(plain(p[0].value("causale")), QStringLiteral("da file (3A05)"));

        p = desk.payments(d);
        QCOMPARE(p.size(), 1);
        QCOMPARE(day(p[0].value("dataricevuta")), QStringLiteral("08/12/2026"));
        QCOMPARE(plain(p[0].value("codesattore")), QStringLiteral("E7"));

        const QList<QVariantMap> inv = desk.invoices(e);
        QCOMPARE(inv.size(), 1);
        QCOMPARE(plain(inv[0].value("numero fattura")), QString());
        QCOMPARE(plain(inv[0].value("periodo")), QStringLiteral("9INV"));
        QCOMPARE(money(inv[0].value("saldo")), QStringLiteral("-120"));
        QCOMPARE(money(desk.caseRow(e).value("importo rata")), QStringLiteral("380"));
        QCOMPARE(desk.payments(e).size(), 0);
        QCOMPARE(desk.payments(f).size(), 0);
    }

    // One workbook saved in every format: formula cells by their saved results, a row of formulas
    // only, a number position, a date with its time, text dates and amounts, an invoice reference
    // built by a formula, and a first sheet whose name starts with a blank.
    void sameWorkbookInEveryFormat_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("fixture");
        for (const QString& backend : backends()) {
            for (const char* f :
                { "formati.xls", "formati_biff5.xls", "formati.xlsx", "formati_1904.xlsx", "formati.ods" }) {
                QTest::newRow(qPrintable(backend + QStringLiteral(": ") + QString::fromLatin1(f)))
                    << backend << QString::fromLatin1(f);
            }
        }
    }
    void sameWorkbookInEveryFormat()
    {
        QFETCH(QString, backend);
        QFETCH(QString, fixture);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        QList<QPair<QString, qint64>> cases;
        for (const char* p : { "700001", "700002", "700003" }) {
            cases.append({ QString::fromLatin1(p), desk.addCase(QString::fromLatin1(p)) });
        }
        cases.append({ QStringLiteral("700004"),
            desk.addCase(QStringLiteral("700004"), { { "importo rata", "500" }, { "importo totale", "800" } }) });
        desk.addCase(QStringLiteral("NON-UNA-CONFERMA"));
        desk.addRate("E7", "460", "VEC", 1);
        const JobResult r = desk.runWorkbook(fixture, QStringLiteral("workbooks"));
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        QCOMPARE(desk.report.log, QStringList());
        QCOMPARE(postings(desk, cases),
            (QStringList { "700001 60.5 da file (RIF-1) 15/03/2026", "700002 1234.56 da file (F-2) 16/03/2026",
                "700003 33.3333 da file (F-3) 17/03/2026", "700004 fattura 9001 -12.3" }));
    }

    // The rows of the workbooks made outside, as their sheets show them.
    void outsideWorkbooks_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QJsonObject>("expected");
        const QJsonObject all = outsideExpected();
        for (const QString& backend : backends()) {
            for (const QString& base : all.keys()) {
                for (const char* ext : { ".xls", ".xlsx", ".ods" }) {
                    const QString name = base + QString::fromLatin1(ext);
                    if (QFile::exists(
                            qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/workbooks/outside/") + name)) {
                        QTest::newRow(qPrintable(backend + QStringLiteral(": ") + name))
                            << backend << name << all.value(base).toObject();
                    }
                }
            }
        }
    }
    void outsideWorkbooks()
    {
        QFETCH(QString, backend);
        QFETCH(QString, fixture);
        QFETCH(QJsonObject, expected);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        QList<QPair<QString, qint64>> cases;
        for (const QJsonValue& p : expected.value("cases").toArray()) {
            cases.append({ p.toString(), desk.addCase(p.toString()) });
        }
        desk.addRate("E7", "460", "VEC", 1);
        const JobResult r = desk.runWorkbook(fixture, QStringLiteral("workbooks/outside"));
        QVERIFY2(r.status == JobStatus::Completed, qPrintable(r.error));
        QStringList want;
        for (const QJsonValue& row : expected.value("expect").toArray()) {
            const QJsonArray a = row.toArray();
            want << a[0].toString() + u' ' + QString::number(a[2].toDouble()) + QStringLiteral(" da file (")
                    + a[3].toString() + QStringLiteral(") ")
                    + QDate::fromString(a[1].toString(), Qt::ISODate).toString(QStringLiteral("dd/MM/yyyy"));
        }
        QCOMPARE(postings(desk, cases), want);
    }

    // The workbooks made outside that are no expense workbook, or cannot be read: the run stops
    // on a message naming the file, and the row where a row is at fault.
    void outsideWorkbooksRefused_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("reason");
        const QString row = QStringLiteral("riga \\d+: ");
        QTest::newRow("protected") << "calc_encrypted.xls"
                                   << "la cartella di lavoro è protetta da password: salvarla senza password$";
        QTest::newRow("Excel 4.0") << "biff4_no_format_no_window2.xls"
                                   << "Excel 4.0 o precedente.*salvarla di nuovo come .xls o .xlsx$";
        for (const char* f : { "picture_in_cell.xls", "invalid_formula.xls", "namesdemo.xls" }) {
            QTest::newRow(f) << f << "non ha righe di dati sotto le intestazioni \\(foglio \\[";
        }
        for (const char* f : { "Formate.xls", "corrupted_error.xls", "formula_test_names.xls",
                 "formula_test_sjmachin.xls", "issue20.xls", "profiles.xls", "ragged.xls", "xf_class.xls" }) {
            QTest::newRow(f) << f << row + QStringLiteral("(manca|la data|l'importo)");
        }
    }
    void outsideWorkbooksRefused()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, reason);
        ConfirmationDesk desk(QStringLiteral("sqlite"));
        ZB32_REQUIRE(desk.tdb);
        const JobResult r = desk.runWorkbook(fixture, QStringLiteral("workbooks/outside"));
        QCOMPARE(r.status, JobStatus::Failed);
        QCOMPARE(desk.report.errors, QStringList { r.error });
        QVERIFY2(r.error.startsWith(QStringLiteral("Importazione interrotta. File ") + fixture), qPrintable(r.error));
        QVERIFY2(r.error.contains(QRegularExpression(reason)), qPrintable(r.error));
    }

    void workbookStops_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("reason");
        for (const QString& backend : backends()) {
            ROW("date that is no date") << "spese_data_errata.xls"
                                        << "la data \"31/02/2010\"";
            ROW("amount that is no number") << "spese_importo_errato.xls"
                                            << "l'importo \"venti\"";
            ROW("no position") << "spese_senza_posizione.xls"
                               << "manca la posizione";
            ROW("no amount") << "spese_senza_importo.xls"
                             << "manca l'importo";
            ROW("collected total past the largest amount") << "spese_oltre_il_massimo.xls"
                                                           << "oltre il massimo";
        }
    }
    void workbookStops()
    {
        QFETCH(QString, backend);
        QFETCH(QString, fixture);
        QFETCH(QString, reason);
        ConfirmationDesk desk(backend);
        ZB32_REQUIRE(desk.tdb);
        const qint64 key = desk.addCase(QStringLiteral("A1"), { { "data affido", QVariant() } });
        const JobResult r = desk.runWorkbook(fixture);
        QCOMPARE(r.status, JobStatus::Failed);
        QCOMPARE(desk.report.errors.size(), 1);
        const QString error = desk.report.errors.first();
        QVERIFY2(error.contains(fixture) && error.contains(QStringLiteral("riga 3")) && error.contains(reason),
            qPrintable(error));
        QCOMPARE(desk.report.messages, QStringList());
        const QList<QVariantMap> p = desk.payments(key);
        QCOMPARE(p.size(), 1);
        QCOMPARE(money(p[0].value("totale")), QStringLiteral("10"));
        QCOMPARE(desk.report.clienti, QStringLiteral("1"));
    }

    void workbookWithoutRows()
    {
        ConfirmationDesk desk(QStringLiteral("sqlite"));
        ZB32_REQUIRE(desk.tdb);
        desk.report.clienti = QStringLiteral("vecchio");
        const JobResult r = desk.runWorkbook(QStringLiteral("spese_vuoto.xls"));
        // Nothing can be confirmed: the run says so instead of closing as if it had imported.
        QCOMPARE(r.status, JobStatus::Failed);
        QCOMPARE(desk.report.messages, QStringList());
        QCOMPARE(desk.report.errors.size(), 1);
        const QString error = desk.report.errors.first();
        QVERIFY2(error.contains(QStringLiteral("spese_vuoto.xls")) && error.contains(QStringLiteral("righe di dati")),
            qPrintable(error));
        QCOMPARE(desk.report.progressMaximum, 0);
        QCOMPARE(desk.report.clienti, QStringLiteral("vecchio"));
    }

    void notAWorkbook()
    {
        ConfirmationDesk desk(QStringLiteral("sqlite"));
        ZB32_REQUIRE(desk.tdb);
        desk.ws.writeImportFile(QStringLiteral("spese.xls"), "Posizione;Data;Importo\r\n1;05/03/2010;10\r\n");
        desk.batch.Text1[4] = QStringLiteral("spese.xls");
        const JobResult r = desk.run(1);
        QCOMPARE(r.status, JobStatus::Failed);
        QCOMPARE(desk.report.errors.size(), 1);
        QVERIFY2(
            desk.report.errors.first().contains(QStringLiteral("spese.xls")), qPrintable(desk.report.errors.first()));
        QCOMPARE(desk.report.messages, QStringList());
    }

    void databaseMissing()
    {
        test::TestWorkspace ws;
        ws.writeIni(QString());
        test::RecordingReporter report;
        BatchData batch = BatchData::defaults(kToday);
        CaseDatabase db;
        JobContext ctx { db, batch, report };
        const JobResult r = ImportaPag(ctx, 0);
        QCOMPARE(r.status, JobStatus::Failed);
        QCOMPARE(report.errors.size(), 1);
        QCOMPARE(report.messages, QStringList());
        QCOMPARE(report.logClears, 1);
    }
};

QTEST_GUILESS_MAIN(TestConfirmationImport)
#include "TestConfirmationImport.moc"
