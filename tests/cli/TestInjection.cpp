// Texts that would change a statement if they were ever joined into one — quotes, semicolons,
// comment markers, backslashes, wildcards — fed through every job's file fields and desk boxes
// by "zb32 run": they land as text, exactly, in the rows and in the print file; a wildcard
// finds nothing but itself; nothing else in the database changes.
#include "CliSupport.h"
#include "JobFiles.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Formats.h"
#include "core/desk/Schema.h"
#include "core/desk/Workbook.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace zb32;
using namespace zb32::test;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

struct Payload
{
    const char* name;
    const char* text;
};

// Each is put into every text field and box a job reads (cut to the field's width).
const Payload kPayloads[] = {
    { "apostrophe", "O'Brien" },
    { "always true", "x' OR '1'='1" },
    { "second statement", "'; DROP TABLE x; --" },
    { "line comment", "a -- b" },
    { "block comment", "/* c */ */" },
    { "backslashes", "back\\slash\\'" },
    { "wildcards", "50%_ %_" },
    { "double quotes and brackets", "\"q\" [b] ;" },
    { "placeholders", "?$1:p @x" },
    { "concatenation", "' || '" },
};

QStringList payloads()
{
    QStringList out;
    for (const Payload& p : kPayloads) {
        out << QString::fromLatin1(p.text);
    }
    return out;
}

// Every payload goes through one run: one record each, in the order of kPayloads.
void addBackendRows()
{
    TestDatabase::addBackendColumn();
    TestDatabase::addBackendRow(QStringLiteral("sqlite"));
    TestDatabase::addBackendRow(QStringLiteral("postgresql"));
}

// The text as a fixed field of `width` holds it: cut, padded with blanks.
QString padded(const QString& text, int width)
{
    return text.left(width).leftJustified(width, QLatin1Char(' '));
}

// The field with its blanks trimmed, as the imports trim.
QString trimmed(const QString& text, int width)
{
    QString t = padded(text, width);
    while (t.endsWith(QLatin1Char(' '))) {
        t.chop(1);
    }
    while (t.startsWith(QLatin1Char(' '))) {
        t.remove(0, 1);
    }
    return t;
}

// Rows of every table that no run of the test means to touch: one of each.
void addSentinels(TestDatabase& tdb)
{
    const qint64 key = tdb.insert(Schema::kCases,
        { { QStringLiteral("posizione"), QStringLiteral("SENTINELLA") },
            { QStringLiteral("Tipo Mandato"), QStringLiteral("999") }, { QStringLiteral("lottoimportazione"), 99 },
            { QStringLiteral("ragione sociale"), QStringLiteral("Non Toccare") } });
    tdb.insert(Schema::kInvoices,
        { { QStringLiteral("conta"), key }, { QStringLiteral("numero fattura"), QStringLiteral("S-1") },
            { QStringLiteral("saldo"), QStringLiteral("1") } });
    tdb.insert(Schema::kPayments,
        { { QStringLiteral("conta"), key }, { QStringLiteral("causale"), QStringLiteral("sentinella") },
            { QStringLiteral("totale"), QStringLiteral("1") } });
    tdb.insert(Schema::kRates,
        { { QStringLiteral("COD_AGENT"), QStringLiteral("S") },
            { QStringLiteral("codice cliente"), QStringLiteral("S") },
            { QStringLiteral("modalita"), QStringLiteral("VEC") }, { QStringLiteral("AL1"), 0.5 } });
}

// Every row there was is still there as it was, and `added` rows more.
QString changedRows(const QStringList& before, const QStringList& after, int added)
{
    const QSet<QString> now(after.begin(), after.end());
    for (const QString& row : before) {
        if (!now.contains(row)) {
            return QStringLiteral("riga cambiata o sparita: ") + row;
        }
    }
    if (after.size() != before.size() + added) {
        return QStringLiteral("%1 righe invece di %2").arg(after.size()).arg(before.size() + added);
    }
    return {};
}

// The rows of a table whose key is not among the rows of `before`.
QList<QVariantMap> newRows(TestDatabase& tdb, const QString& table, qint64 afterKey)
{
    QList<QVariantMap> out;
    const QString key = Schema::table(table)->key.toLower();
    for (const QVariantMap& row : tdb.rows(table)) {
        if (row.value(key).toLongLong() > afterKey) {
            out << row;
        }
    }
    return out;
}

qint64 lastKey(TestDatabase& tdb, const QString& table)
{
    const QList<QVariantMap> rows = tdb.rows(table);
    return rows.isEmpty() ? 0 : rows.last().value(Schema::table(table)->key.toLower()).toLongLong();
}

QString text(const QVariantMap& row, const char* field)
{
    const QVariant v = row.value(QString::fromLatin1(field).toLower());
    return v.isNull() ? QStringLiteral("(null)") : v.toString();
}

#define CHECK_FIELD(row, field, expected)                                                                              \
    QVERIFY2(text(row, field) == (expected),                                                                           \
        qPrintable(QStringLiteral("%1: %2 invece di %3")                                                               \
                       .arg(QLatin1String(field), dumpValue(text(row, field)), dumpValue(expected))))

// The desk's text boxes of a case import: the mandate type holds every payload; the two boxes
// of three characters hold what fits of them.
struct DeskBoxes
{
    QString mandato = payloads().join(QLatin1Char(' '));
    QString intervento;
    QString sitAff;

    QStringList options() const
    {
        return { QStringLiteral("--mandato"), mandato, QStringLiteral("--intervento"), intervento,
            QStringLiteral("--sit-aff"), sitAff, QStringLiteral("--lotto"), QStringLiteral("41") };
    }
};

QString printFilePath(const TestWorkspace& ws)
{
    return ws.driveC() + QStringLiteral("/LO") + kCliToday.toString(QStringLiteral("ddMMyy")) + QStringLiteral(".ASC");
}

QStringList printFileLines(const TestWorkspace& ws)
{
    QFile f(printFilePath(ws));
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = f.readAll();
    QStringList lines;
    for (const QByteArray& line : bytes.split('\n')) {
        lines << QString::fromLatin1(line.endsWith('\r') ? line.chopped(1) : line);
    }
    return lines;
}

} // namespace

class TestInjection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every text field of the Orb file, one case per payload, and the desk's text boxes.
    void orb_data() { addBackendRows(); }
    void orb()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        addSentinels(tdb);
        const QStringList before = dumpRows(tdb);
        const qint64 lastCase = lastKey(tdb, Schema::kCases);
        const qint64 lastInvoice = lastKey(tdb, Schema::kInvoices);

        // A mark after the last field keeps the line's trailing blanks from being stripped.
        const QString end = QStringLiteral("|fine");
        QStringList lines;
        for (const QString& p : payloads()) {
            const OrbDebtor d { p, p, p, p, p, p, p, p, p, p, p, QStringLiteral("00010000"),
                QStringLiteral("31/12/2026") };
            const OrbContract c { p, p, p, p, p };
            const OrbInvoice f { p, p, QStringLiteral("15012024"), QStringLiteral("12345"),
                QStringLiteral("15022024") };
            lines << orbA01(d) + end << orbA02(c) + end << orbR01(QStringLiteral("12345"), p) + end << orbDetail(f);
        }
        DeskBoxes boxes;
        boxes.intervento = QStringLiteral("';-");
        boxes.sitAff = QStringLiteral("%_\\");
        const CliRun r
            = runImport(tdb, QStringLiteral("orb"), QStringLiteral("orb.txt"), cp1252Lines(lines), boxes.options());
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));

        const QList<QVariantMap> cases = newRows(tdb, Schema::kCases, lastCase);
        const QList<QVariantMap> invoices = newRows(tdb, Schema::kInvoices, lastInvoice);
        QCOMPARE(cases.size(), payloads().size());
        QCOMPARE(invoices.size(), payloads().size());
        for (qsizetype i = 0; i < payloads().size(); ++i) {
            const QString p = payloads()[i];
            const QVariantMap& k = cases[i];
            CHECK_FIELD(k, "Tipo Mandato", boxes.mandato);
            CHECK_FIELD(k, "Tipo Intervento", boxes.intervento);
            CHECK_FIELD(k, "Situazione Affido", boxes.sitAff);
            CHECK_FIELD(k, "posizione", trimmed(p, 15));
            CHECK_FIELD(k, "ragione sociale", trimmed(p, 40));
            CHECK_FIELD(k, "Indirizzo", trimmed(p, 40));
            CHECK_FIELD(k, "Cap", padded(p, 5));
            CHECK_FIELD(k, "Citta", padded(p, 40));
            CHECK_FIELD(k, "Provincia", padded(p, 2));
            CHECK_FIELD(k, "P_iva", padded(p, 16));
            CHECK_FIELD(k, "telefono1", padded(p, 14));
            CHECK_FIELD(k, "telefono2", padded(p, 14));
            const QString memo = text(k, "memoec");
            for (const QString& line : { QStringLiteral("Stato Debitore ") + padded(p, 12),
                     QStringLiteral("Company ") + trimmed(p, 30), QStringLiteral("Data Contratto ") + padded(p, 8),
                     QStringLiteral("Decoder1 ") + padded(p, 15), QStringLiteral("Decoder2 ") + padded(p, 15),
                     QStringLiteral("SMC1 ") + padded(p, 15), QStringLiteral("SMC2 ") + padded(p, 15),
                     QStringLiteral("Indicazione Fascia di importo Affidato ") + padded(p, 2) }) {
                QVERIFY2(memo.contains(kCrLf + line + kCrLf) || memo.startsWith(line + kCrLf),
                    qPrintable(QStringLiteral("memoec senza %1: %2").arg(dumpValue(line), dumpValue(memo))));
            }
            const QVariantMap& inv = invoices[i];
            CHECK_FIELD(inv, "conta", text(k, "contatore"));
            CHECK_FIELD(inv, "numero fattura", padded(p, 15));
            CHECK_FIELD(inv, "periodo", padded(p, 15));
        }
        const QString changed = changedRows(before, dumpRows(tdb), int(2 * payloads().size()));
        QVERIFY2(changed.isEmpty(), qPrintable(changed));
    }

    // The boxes that go into number and date fields: a text of SQL is refused there, naming the
    // box, before the file is read, and nothing at all is written.
    void refusedBoxes_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("value");
        TestDatabase::addBackendColumn();
        const struct
        {
            const char* job;
            const char* option;
            const char* value;
        } rows[] = {
            { "orb", "--lotto", "1 OR 1=1" },
            { "orb", "--lotto", "1; DELETE FROM Aliquote" },
            { "orb", "--data-affido", "01/01/2026'; DROP TABLE x; --" },
            { "orb", "--scadenza", "01/02/2026 /* x */" },
            { "vidiru", "--lotto", "1 -- x" },
            { "vidiru", "--lotto", "1'" },
            { "vidiru", "--data-affido", "%" },
        };
        for (const auto& r : rows) {
            for (const char* backend : { "sqlite", "postgresql" }) {
                QTest::newRow(qPrintable(QStringLiteral("%1 %2 %3/%4")
                                             .arg(QLatin1String(r.job), QLatin1String(r.option), QLatin1String(r.value),
                                                 QLatin1String(backend))))
                    << QString::fromLatin1(r.job) << QString::fromLatin1(r.option) << QString::fromLatin1(r.value)
                    << QString::fromLatin1(backend);
            }
        }
    }
    void refusedBoxes()
    {
        QFETCH(QString, job);
        QFETCH(QString, option);
        QFETCH(QString, value);
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        addSentinels(tdb);
        const QStringList before = dumpRows(tdb);
        const QString file = job + QStringLiteral(".txt");
        const CliRun r = runImport(
            tdb, job, file, cp1252Lines(job == QLatin1String("orb") ? orbCase(1) : viDiruCase(1)), { option, value });
        QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
        const QString box = option == QLatin1String("--lotto") ? QStringLiteral("Lotto non valido: ")
            : option == QLatin1String("--scadenza")            ? QStringLiteral("Scadenza non valida: ")
                                                               : QStringLiteral("Data Affido non valida: ");
        QVERIFY2(r.err.contains(box), qPrintable(r.describe()));
        // The reason shows the value as typed.
        QVERIFY2(r.err.contains(value), qPrintable(r.describe()));
        const QString changed = changedRows(before, dumpRows(tdb), 0);
        QVERIFY2(changed.isEmpty(), qPrintable(changed));
    }

    // Every text field of the Vi Diru file, one case per payload, and the desk's text boxes.
    void vidiru_data() { addBackendRows(); }
    void vidiru()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        addSentinels(tdb);
        const QStringList before = dumpRows(tdb);
        const qint64 lastCase = lastKey(tdb, Schema::kCases);
        const qint64 lastInvoice = lastKey(tdb, Schema::kInvoices);

        QStringList lines;
        for (qsizetype i = 0; i < payloads().size(); ++i) {
            const QString p = payloads()[i];
            ViDiruDebtor d;
            d.numero = QString::number(4700 + i);
            d.altroriferimento = d.name = d.cliente = d.codiceContratto = d.contratto = d.taxCode = d.birthPlace
                = d.memo = d.address = d.cap = d.town = d.province = d.recapito = d.phone1 = d.phone2 = p;
            lines << viDiruHeader(d) << viDiruNote(p)
                  << viDiruInstalment(p, QStringLiteral("31/01/2024"), QStringLiteral("10,50"), p);
        }
        DeskBoxes boxes;
        boxes.intervento = QStringLiteral("/*?");
        boxes.sitAff = QStringLiteral("\"--");
        const CliRun r = runImport(
            tdb, QStringLiteral("vidiru"), QStringLiteral("vidiru.txt"), cp1252Lines(lines), boxes.options());
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));

        const QList<QVariantMap> cases = newRows(tdb, Schema::kCases, lastCase);
        const QList<QVariantMap> invoices = newRows(tdb, Schema::kInvoices, lastInvoice);
        QCOMPARE(cases.size(), payloads().size());
        QCOMPARE(invoices.size(), payloads().size());
        for (qsizetype i = 0; i < payloads().size(); ++i) {
            const QString p = payloads()[i];
            const QVariantMap& k = cases[i];
            CHECK_FIELD(k, "Tipo Mandato", boxes.mandato);
            CHECK_FIELD(k, "Tipo Intervento", boxes.intervento);
            CHECK_FIELD(k, "Situazione Affido", boxes.sitAff);
            CHECK_FIELD(k, "posizione", QString::number(4700 + i));
            CHECK_FIELD(k, "altroriferimento", trimmed(p, 32));
            CHECK_FIELD(k, "memoec",
                QStringLiteral("Cliente ") + trimmed(p, 35) + QStringLiteral("\r\ncontratto ") + trimmed(p, 10)
                    + QLatin1Char(' ') + trimmed(p, 35));
            CHECK_FIELD(k, "ragione sociale", trimmed(p, 50));
            CHECK_FIELD(k, "P_iva", trimmed(p, 16));
            CHECK_FIELD(k, "luogo nascita", trimmed(p, 30));
            CHECK_FIELD(k, "memo", trimmed(p, 35) + kCrLf + p);
            CHECK_FIELD(k, "indirizzo", trimmed(p, 50));
            CHECK_FIELD(k, "cap", padded(p, 5));
            CHECK_FIELD(k, "citta", trimmed(padded(p, 35), 30));
            CHECK_FIELD(k, "provincia", padded(p, 2));
            CHECK_FIELD(k, "recapito", padded(p, 50));
            CHECK_FIELD(k, "telefono1", padded(p, 12));
            CHECK_FIELD(k, "telefono2", padded(p, 12));
            const QVariantMap& inv = invoices[i];
            CHECK_FIELD(inv, "conta", text(k, "contatore"));
            CHECK_FIELD(inv, "numero fattura", trimmed(p, 40));
            CHECK_FIELD(inv, "periodo", padded(p, 2));
        }
        const QString changed = changedRows(before, dumpRows(tdb), int(2 * payloads().size()));
        QVERIFY2(changed.isEmpty(), qPrintable(changed));
    }

    // The collections file's invoice number and reference, and the mandate list, which finds
    // the case and picks the collector's rates. Wildcards in the list find no case of another
    // mandate type.
    void incassi_data() { addBackendRows(); }
    void incassi()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        addSentinels(tdb);
        const QStringList wildcards
            = { QStringLiteral("46%"), QStringLiteral("4_0"), QStringLiteral("_60"), QStringLiteral("%") };
        const QString list = (payloads() + wildcards).join(QLatin1Char(','));
        // Rates the run must not take come first, so they would win any comparison that is not
        // exact: a wildcard client code, and the client code of one payload alone.
        const auto addRate = [&](const QString& client, double first) {
            tdb.insert(Schema::kRates,
                { { QStringLiteral("COD_AGENT"), QStringLiteral("E7") }, { QStringLiteral("codice cliente"), client },
                    { QStringLiteral("modalita"), QStringLiteral("VEC") }, { QStringLiteral("AL1"), first } });
        };
        addRate(QStringLiteral("%"), 0.99);
        addRate(payloads().first(), 0.77);
        addRate(list, 0.25);
        // At each position a case of mandate type 460 comes first, then the case of a payload's
        // type; at position 2001 only a case of type 460, which no wildcard may find.
        QStringList positions;
        for (qsizetype i = 0; i < payloads().size(); ++i) {
            positions << QString::number(1001 + i);
        }
        addCases(tdb, positions);
        QList<qint64> targets;
        for (qsizetype i = 0; i < payloads().size(); ++i) {
            targets << tdb.insert(Schema::kCases,
                { { QStringLiteral("posizione"), positions[i] }, { QStringLiteral("Tipo Mandato"), payloads()[i] },
                    { QStringLiteral("data affido"), QStringLiteral("01/01/2010") },
                    { QStringLiteral("codice esattore"), QStringLiteral("E7") },
                    { QStringLiteral("importo rata"), QStringLiteral("200") },
                    { QStringLiteral("importo totale"), QStringLiteral("290") } });
        }
        addCases(tdb, { QStringLiteral("2001") });
        const QStringList before = dumpRows(tdb);
        const qint64 lastInvoice = lastKey(tdb, Schema::kInvoices);
        const qint64 lastPayment = lastKey(tdb, Schema::kPayments);

        QStringList lines;
        for (qsizetype i = 0; i < payloads().size(); ++i) {
            CollectionRecord invoice;
            invoice.position = positions[i];
            invoice.code = QStringLiteral("362");
            invoice.invoice = invoice.reference = payloads()[i];
            CollectionRecord payment = invoice;
            payment.code = QStringLiteral("350");
            payment.cents = 2500;
            lines << collectionLine(invoice) << collectionLine(payment);
        }
        CollectionRecord stranger;
        stranger.position = QStringLiteral("2001");
        lines << collectionLine(stranger);
        const CliRun r = runImport(tdb, QStringLiteral("incassi"), QStringLiteral("incassi.txt"), cp1252Lines(lines),
            { QStringLiteral("--mandato"), list });
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
        QCOMPARE(r.outLines().filter(QStringLiteral("non trovo")),
            QStringList { QStringLiteral("non trovo la pratica 2001") });

        const QList<QVariantMap> invoices = newRows(tdb, Schema::kInvoices, lastInvoice);
        const QList<QVariantMap> payments = newRows(tdb, Schema::kPayments, lastPayment);
        QCOMPARE(invoices.size(), payloads().size());
        QCOMPARE(payments.size(), payloads().size());
        for (qsizetype i = 0; i < payloads().size(); ++i) {
            const QString p = payloads()[i];
            // The reference is the line's last field: the line's trailing blanks are trimmed.
            CollectionRecord sample;
            sample.reference = p;
            const QString reference = collectionLine(sample).mid(63).trimmed();
            CHECK_FIELD(invoices[i], "conta", QString::number(targets[i]));
            CHECK_FIELD(invoices[i], "numero fattura", padded(p, 10));
            CHECK_FIELD(invoices[i], "periodo", reference);
            CHECK_FIELD(payments[i], "conta", QString::number(targets[i]));
            CHECK_FIELD(payments[i], "causale", QStringLiteral("da file (Fatt.") + padded(p, 10) + QLatin1Char(')'));
            CHECK_FIELD(payments[i], "AL_E_1", QStringLiteral("0.25"));
        }
        // Only the target cases changed (their totals and state), nothing else.
        QStringList kept;
        for (const QString& row : before) {
            bool target = false;
            for (const qint64 key : targets) {
                target = target || row.startsWith(QStringLiteral("%1 %2 ").arg(Schema::kCases).arg(key));
            }
            if (!target) {
                kept << row;
            }
        }
        const QString changed = changedRows(kept, dumpRows(tdb), int(3 * payloads().size()));
        QVERIFY2(changed.isEmpty(), qPrintable(changed));
    }

    // A mandate box of one wildcard (no list) finds no case of another type.
    void wildcardMandate_data()
    {
        QTest::addColumn<QString>("box");
        TestDatabase::addBackendColumn();
        for (const char* box : { "%", "4_0" }) {
            for (const char* backend : { "sqlite", "postgresql" }) {
                QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(box), QLatin1String(backend))))
                    << QString::fromLatin1(box) << QString::fromLatin1(backend);
            }
        }
    }
    void wildcardMandate()
    {
        QFETCH(QString, box);
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        addSentinels(tdb);
        addCollectionCases(tdb, 1); // mandate type 460
        const QStringList before = dumpRows(tdb);
        CollectionRecord r;
        r.position = QStringLiteral("1001");
        const CliRun run = runImport(tdb, QStringLiteral("incassi"), QStringLiteral("incassi.txt"),
            cp1252Lines({ collectionLine(r) }), { QStringLiteral("--mandato"), box });
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        QVERIFY2(run.outLines().contains(QStringLiteral("non trovo la pratica 1001")), qPrintable(run.describe()));
        QCOMPARE(dumpRows(tdb), before);
    }

    // The expense workbook: positions and references of injected text; a position with a
    // wildcard finds only the case of that very position.
    void spese_data() { addBackendRows(); }
    void spese()
    {
        QFETCH(QString, backend);
        const QString path = qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/badinput/iniezione.xls");
        Workbook book;
        QString error;
        QVERIFY2(book.open(path, &error), qPrintable(error));
        QVERIFY2(book.selectSheet(RicavaPrimaTable(book), &error), qPrintable(error));
        QVERIFY(book.rowCount() > 2);

        // Positions without a case of their own: a bare wildcard would find every case.
        const QStringList withoutCase = { QStringLiteral("%"), QStringLiteral("_") };
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        addSentinels(tdb);
        QStringList positions;
        QStringList references;
        for (int row = 1; row < book.rowCount(); ++row) {
            positions << book.cell(row, 0).toString();
            references << book.cell(row, 5).toString();
        }
        // Positions a wildcard or a loose comparison would take for one of the workbook's.
        QStringList decoys;
        for (const QString& position : positions) {
            for (const QString& decoy : { QString(position).replace(QLatin1Char('%'), QStringLiteral("xyz")),
                     QString(position).remove(QLatin1Char('%')),
                     QString(position).replace(QLatin1Char('_'), QLatin1Char('x')), position + QLatin1Char('2'),
                     position.toUpper() }) {
                if (!decoy.isEmpty() && !positions.contains(decoy) && !decoys.contains(decoy)) {
                    decoys << decoy;
                }
            }
        }
        QHash<QString, qint64> caseOf;
        for (const QString& position : positions) {
            if (!withoutCase.contains(position)) {
                addCases(tdb, { position });
                caseOf.insert(position, lastKey(tdb, Schema::kCases));
            }
        }
        addCases(tdb, decoys);
        QVERIFY(decoys.size() >= positions.size());
        const QStringList before = dumpRows(tdb);
        const qint64 lastPayment = lastKey(tdb, Schema::kPayments);

        QFile source(path);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const CliRun r = runImport(tdb, QStringLiteral("spese"), QStringLiteral("conferme.xls"), source.readAll());
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
        QStringList notFound;
        for (const QString& position : withoutCase) {
            notFound << QStringLiteral("non trovo la pratica ") + position;
        }
        QCOMPARE(r.outLines().filter(QStringLiteral("non trovo")), notFound);

        // One payment per position that has a case, on that case, with the row's reference.
        QHash<qint64, QStringList> causali;
        for (const QVariantMap& p : newRows(tdb, Schema::kPayments, lastPayment)) {
            causali[p.value(QStringLiteral("conta")).toLongLong()] << p.value(QStringLiteral("causale")).toString();
        }
        for (qsizetype i = 0; i < positions.size(); ++i) {
            if (!withoutCase.contains(positions[i])) {
                QCOMPARE(causali.value(caseOf.value(positions[i])),
                    QStringList { QStringLiteral("da file (") + references[i] + QLatin1Char(')') });
            }
        }
        QCOMPARE(causali.size(), caseOf.size());
        // Only the cases that got a payment changed.
        QStringList kept;
        for (const QString& row : before) {
            bool paid = false;
            for (const qint64 key : causali.keys()) {
                paid = paid || row.startsWith(QStringLiteral("%1 %2 ").arg(Schema::kCases).arg(key));
            }
            if (!paid) {
                kept << row;
            }
        }
        const QString changed = changedRows(kept, dumpRows(tdb), int(2 * caseOf.size()));
        QVERIFY2(changed.isEmpty(), qPrintable(changed));
    }

    // The letter run prints the texts of the cases exactly, one letter per payload.
    void postel_data() { addBackendRows(); }
    void postel()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        addSentinels(tdb);
        for (const QString& p : payloads()) {
            const qint64 key = tdb.insert(Schema::kCases,
                { { QStringLiteral("posizione"), p }, { QStringLiteral("lottoimportazione"), 7 },
                    { QStringLiteral("Tipo Mandato"), p }, { QStringLiteral("ragione sociale"), p },
                    { QStringLiteral("Indirizzo"), p }, { QStringLiteral("Cap"), p.left(5) },
                    { QStringLiteral("Citta"), p }, { QStringLiteral("Provincia"), p.left(4) },
                    { QStringLiteral("altroriferimento"), p }, { QStringLiteral("Assignment_id"), p },
                    { QStringLiteral("importo totale"), QStringLiteral("10") } });
            tdb.insert(Schema::kInvoices,
                { { QStringLiteral("conta"), key }, { QStringLiteral("numero fattura"), p },
                    { QStringLiteral("periodo"), p }, { QStringLiteral("data fattura"), QStringLiteral("15/01/2024") },
                    { QStringLiteral("data scadenza"), QStringLiteral("15/02/2024") },
                    { QStringLiteral("saldo"), QStringLiteral("10") } });
        }
        const QStringList before = dumpRows(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const CliRun r = runZb32({ QStringLiteral("run"), QStringLiteral("postel"), QStringLiteral("--lotto"),
            QStringLiteral("7"), QStringLiteral("--cc") });
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
        const QStringList lines = printFileLines(ws);
        for (const QString& p : payloads()) {
            const QString name35 = p.left(35).leftJustified(35, QLatin1Char(' '));
            for (const QString& expected :
                { QStringLiteral("@A") + name35 + QStringLiteral(" [") + p + QLatin1Char(']'), p,
                    p.left(5) + QLatin1Char(' ') + name35 + QLatin1Char(' ') + p.left(4), QStringLiteral("@I01") + p,
                    QStringLiteral("@I02") + p, QStringLiteral("@I03") + p,
                    QStringLiteral("@>@+@?52") + p + QStringLiteral("@<@-"), QStringLiteral("@?87 fattura n.") + p,
                    QStringLiteral("@?87") + p.left(30) }) {
                QVERIFY2(lines.contains(expected),
                    qPrintable(QStringLiteral("manca la riga %1 nel file di stampa").arg(dumpValue(expected))));
            }
        }
        QVERIFY(lines.contains(QStringLiteral("@E%1").arg(payloads().size())));
        QCOMPARE(dumpRows(tdb), before);
    }

    // The batch box of the letter run, typed with text of SQL after (or instead of) the number.
    void postelBatchBox_data()
    {
        QTest::addColumn<QString>("box");
        TestDatabase::addBackendColumn();
        for (const char* box : { "7 OR 1=1", "7; DELETE FROM [tabella pratiche]", "7' --", "8 OR lottoimportazione=7",
                 "' OR 1=1 --", "%" }) {
            for (const char* backend : { "sqlite", "postgresql" }) {
                QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(box), QLatin1String(backend))))
                    << QString::fromLatin1(box) << QString::fromLatin1(backend);
            }
        }
    }
    void postelBatchBox()
    {
        QFETCH(QString, box);
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        addSentinels(tdb);
        for (int batch : { 7, 8 }) {
            tdb.insert(Schema::kCases,
                { { QStringLiteral("posizione"), QStringLiteral("P%1").arg(batch) },
                    { QStringLiteral("lottoimportazione"), batch },
                    { QStringLiteral("ragione sociale"), QStringLiteral("Lotto %1").arg(batch) } });
        }
        const QStringList before = dumpRows(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const CliRun r = runZb32({ QStringLiteral("run"), QStringLiteral("postel"), QStringLiteral("--lotto"), box });
        // The batch is the whole number the box starts with; none is no batch.
        const QRegularExpressionMatch number = QRegularExpression(QStringLiteral("^\\s*(\\d+)")).match(box);
        if (!number.hasMatch()) {
            QVERIFY2(r.exitCode == 1 && r.outLines().contains(QStringLiteral("Manca lotto")), qPrintable(r.describe()));
            QVERIFY(!QFile::exists(printFilePath(ws)));
        } else {
            QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
            const QStringList lines = printFileLines(ws);
            QStringList names;
            for (const QString& line : lines) {
                if (line.startsWith(QLatin1String("@A"))) {
                    names << line.mid(2, 35).trimmed();
                }
            }
            QCOMPARE(names, QStringList { QStringLiteral("Lotto ") + number.captured(1) });
            QVERIFY(lines.contains(QStringLiteral("@E1")));
        }
        QCOMPARE(dumpRows(tdb), before);
    }

    // A text with a line break, in a case of the batch, cannot make records of the print file:
    // the letter shows it on one line.
    void postelLineBreaks_data() { addBackendRows(); }
    void postelLineBreaks()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        const QStringList texts = { QStringLiteral("Via Roma 1\n@E0"),
            QStringLiteral("Via Roma 2\r\n@A Falso Debitore"), QStringLiteral("Via Roma 3\x0c\x1b\t") };
        for (const QString& t : texts) {
            const qint64 key = tdb.insert(Schema::kCases,
                { { QStringLiteral("posizione"), t.left(10) }, { QStringLiteral("lottoimportazione"), 7 },
                    { QStringLiteral("ragione sociale"), QStringLiteral("Rossi") }, { QStringLiteral("Indirizzo"), t },
                    { QStringLiteral("altroriferimento"), t } });
            tdb.insert(Schema::kInvoices,
                { { QStringLiteral("conta"), key }, { QStringLiteral("numero fattura"), t },
                    { QStringLiteral("data fattura"), QStringLiteral("15/01/2024") },
                    { QStringLiteral("saldo"), QStringLiteral("10") } });
        }
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const CliRun r = runZb32({ QStringLiteral("run"), QStringLiteral("postel"), QStringLiteral("--lotto"),
            QStringLiteral("7"), QStringLiteral("--cc") });
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
        QFile f(printFilePath(ws));
        QVERIFY(f.open(QIODevice::ReadOnly));
        // Every line ends with CR LF, and no other control character is in the file.
        const QStringList lines = QString::fromLatin1(f.readAll()).split(kCrLf);
        for (const QString& line : lines) {
            for (const QChar c : line) {
                QVERIFY2(c.unicode() >= 0x20, qPrintable(dumpValue(line)));
            }
        }
        QCOMPARE(lines.count(QStringLiteral("@E%1").arg(texts.size())), 1);
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^@[AE]"))).size(), texts.size() + 1);
        for (QString t : texts) {
            for (QChar& c : t) {
                if (c.unicode() < 0x20) {
                    c = QLatin1Char(' ');
                }
            }
            for (const QString& expected :
                { t, QStringLiteral("@I01") + t, QStringLiteral("@I03") + t, QStringLiteral("@?87 fattura n.") + t }) {
                QVERIFY2(lines.contains(expected), qPrintable(QStringLiteral("manca %1").arg(dumpValue(expected))));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestInjection)
#include "TestInjection.moc"
