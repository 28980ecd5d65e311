// Bad input through "zb32 run", as a clerk's script would run it: every run stops with a message
// naming the file and the line (or row), exit status 3, and the database holds exactly what a
// run on the lines before the bad one gives.
#include "CliSupport.h"
#include "JobFiles.h"
#include "TestDatabase.h"
#include "core/desk/Formats.h"
#include "core/desk/Schema.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

using namespace zb32;
using namespace zb32::test;

namespace {

constexpr qsizetype kTenMegabytes = 10 * 1000 * 1000;

// Valid lines of a job's file: before the bad input, and after it (never read).
QStringList linesBefore(const QString& job)
{
    QStringList lines;
    if (job == QLatin1String("orb")) {
        lines << orbCase(1) << orbCase(2);
    } else if (job == QLatin1String("vidiru")) {
        lines << viDiruCase(1) << viDiruCase(2);
    } else {
        for (int n = 0; n < 7; ++n) {
            lines << collectionRecord(n);
        }
    }
    return lines;
}

QStringList linesAfter(const QString& job)
{
    if (job == QLatin1String("orb")) {
        return orbCase(3);
    }
    if (job == QLatin1String("vidiru")) {
        return viDiruCase(3);
    }
    return { collectionRecord(7), collectionRecord(8) };
}

// One valid record of the job, holding `text` in a text field.
QString recordWith(const QString& job, const QString& text)
{
    if (job == QLatin1String("orb")) {
        OrbDebtor d;
        d.account = QStringLiteral("ORB-9");
        d.name = text;
        return orbA01(d);
    }
    if (job == QLatin1String("vidiru")) {
        ViDiruDebtor d;
        d.numero = QStringLiteral("509");
        d.name = text;
        return viDiruHeader(d);
    }
    CollectionRecord r;
    r.position = QStringLiteral("1002");
    r.reference = text;
    return collectionLine(r);
}

// A record of the job cut short at `columns`, where a field the job needs is missing.
QString truncatedRecord(const QString& job, int columns)
{
    if (job == QLatin1String("orb")) {
        OrbInvoice f;
        f.number = QStringLiteral("FT-2-3");
        return orbDetail(f).left(columns);
    }
    if (job == QLatin1String("vidiru")) {
        return viDiruInstalment(
            QStringLiteral("03"), QStringLiteral("31/03/2024"), QStringLiteral("77,70"), QStringLiteral("RATA-2-3"))
            .left(columns);
    }
    return collectionRecord(7).left(columns);
}

// The word the job's reason for a record cut short names.
QString truncationReason(const QString& job)
{
    if (job == QLatin1String("orb")) {
        return QStringLiteral("data scadenza");
    }
    if (job == QLatin1String("vidiru")) {
        return QStringLiteral("importo mancante");
    }
    return QStringLiteral("troncata");
}

// Columns where a record is cut: in the middle, and near its end (the file's last line).
int middleCut(const QString& job)
{
    return job == QLatin1String("orb") ? 95 : job == QLatin1String("vidiru") ? 60 : 45;
}

int endCut(const QString& job)
{
    return job == QLatin1String("orb") ? 106 : job == QLatin1String("vidiru") ? 70 : 58;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char& b : bytes) {
        b = static_cast<char>(random.bounded(256));
    }
    return bytes;
}

// Bytes that no text file holds: the control characters other than tab, line feed, form feed
// and the end-of-file mark.
bool holdsControlByte(QByteArrayView bytes)
{
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != 0x1a) {
            return true;
        }
    }
    return false;
}

QByteArray readData(const QString& relative)
{
    QFile f(qEnvironmentVariable("ZB32_TEST_DATA") + QLatin1Char('/') + relative);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What the lines of a file should leave, read from the lines themselves: the case numbers and
// the invoice numbers of the case imports, the invoice numbers the confirmations post.
QStringList identities(const QString& job, const QStringList& lines)
{
    QStringList out;
    for (const QString& line : lines) {
        if (job == QLatin1String("orb")) {
            const QString code = columns(line, 3, 3);
            if (code == QLatin1String("A01")) {
                out << QStringLiteral("pratica ") + columns(line, 12, 15).trimmed();
            } else if (code != QLatin1String("A02") && code != QLatin1String("R01")) {
                out << QStringLiteral("fattura ") + columns(line, 58, 15).trimmed();
            }
        } else if (job == QLatin1String("vidiru")) {
            const QString code = columns(line, 11, 8);
            if (code == QLatin1String("IBGI0001")) {
                out << QStringLiteral("pratica ") + columns(line, 19, 10).trimmed();
            } else if (code == QLatin1String("IBGI0011")) {
                out << QStringLiteral("fattura ") + columns(line, 79, 40).trimmed();
            }
        } else {
            const QString code = columns(line, 61, 3).trimmed();
            if (code == QLatin1String("350")) {
                out << QStringLiteral("pagamento ") + columns(line, 17, 10).trimmed();
            } else if (code == QLatin1String("362")) {
                out << QStringLiteral("fattura ") + columns(line, 17, 10).trimmed();
            }
        }
    }
    out.sort();
    return out;
}

// The same, read from the rows.
QStringList identities(const QString& job, TestDatabase& tdb)
{
    QStringList out;
    if (job != QLatin1String("incassi")) {
        for (const QVariantMap& c : tdb.rows(Schema::kCases)) {
            out << QStringLiteral("pratica ") + c.value(QStringLiteral("posizione")).toString();
        }
    }
    for (const QVariantMap& f : tdb.rows(Schema::kInvoices)) {
        out << QStringLiteral("fattura ") + f.value(QStringLiteral("numero fattura")).toString().trimmed();
    }
    for (const QVariantMap& p : tdb.rows(Schema::kPayments)) {
        QString causale = p.value(QStringLiteral("causale")).toString();
        causale.remove(QStringLiteral("da file (Fatt.")).chop(1);
        out << QStringLiteral("pagamento ") + causale.trimmed();
    }
    out.sort();
    return out;
}

void prepare(TestDatabase& tdb, const QString& job)
{
    if (job == QLatin1String("incassi")) {
        addCollectionCases(tdb, 4);
    } else if (job == QLatin1String("spese")) {
        addCases(tdb, { QStringLiteral("A1"), QStringLiteral("B2") });
    }
}

// Stdout of a stopped run: what a complete run prints, without its closing message.
QStringList withoutClosing(const QStringList& out)
{
    QStringList kept;
    for (const QString& line : out) {
        if (!line.startsWith(QLatin1String("importazione conclusa"), Qt::CaseInsensitive)) {
            kept << line;
        }
    }
    return kept;
}

struct Reference
{
    QStringList rows;
    QStringList out;
    QString failure;
};

// A run of the job on the good part alone (no run at all when there is none), on a fresh
// database. Many rows share a good part: each is run once per database.
Reference referenceRun(const QString& backend, const QString& job, const QString& file, const QByteArray* good)
{
    static QHash<QString, Reference> done;
    const QString id = backend + QLatin1Char('/') + job + QLatin1Char('/') + file + QLatin1Char('/')
        + (good ? QString::fromLatin1(good->toBase64()) : QStringLiteral("-"));
    if (const auto it = done.constFind(id); it != done.constEnd()) {
        return *it;
    }
    Reference ref;
    TestDatabase tdb(backend);
    if (!tdb.isAvailable()) {
        ref.failure = tdb.skipReason();
        return ref;
    }
    prepare(tdb, job);
    // Without a good part, what a run prints besides its messages: the two counter boxes, empty.
    ref.out = QStringList { QStringLiteral("clienti: "), QStringLiteral("fatture: ") };
    if (good) {
        const CliRun r = runImport(tdb, job, file, *good);
        if (r.exitCode != 0) {
            ref.failure = QStringLiteral("la prova di riferimento non riesce: ") + r.describe();
            return ref;
        }
        ref.out = withoutClosing(r.outLines());
    }
    ref.rows = dumpRows(tdb);
    done.insert(id, ref);
    return ref;
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void textFile_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("kind");
        TestDatabase::addBackendColumn();
        const char* kinds[] = { "garbage after lines", "workbook given as text", "ten-megabyte line", "utf-8 line",
            "utf-16 file", "truncated line", "cut in the last line" };
        for (const char* job : { "orb", "vidiru", "incassi" }) {
            for (const char* kind : kinds) {
                for (const char* backend : { "sqlite", "postgresql" }) {
                    QTest::newRow(qPrintable(QStringLiteral("%1: %2/%3")
                                                 .arg(QLatin1String(job), QLatin1String(kind), QLatin1String(backend))))
                        << QString::fromLatin1(job) << QString::fromLatin1(kind) << QString::fromLatin1(backend);
                }
            }
        }
    }
    void textFile()
    {
        QFETCH(QString, job);
        QFETCH(QString, kind);
        QFETCH(QString, backend);

        QStringList good = linesBefore(job);
        QByteArray bad;
        QString reason;
        bool savesNothing = false;
        if (kind == QLatin1String("garbage after lines")) {
            bad = randomBytes(4096, 20261207);
            // The test's own input must hold what makes it garbage on its first line.
            QVERIFY(bad.front() != '\r' && holdsControlByte(bad.left(bad.indexOf('\r'))));
            reason = QStringLiteral("controllo");
        } else if (kind == QLatin1String("workbook given as text")) {
            good.clear();
            bad = readData(QStringLiteral("badinput/riga_errata_prima.xls"));
            QVERIFY(!bad.isEmpty());
            reason = QStringLiteral("controllo");
        } else if (kind == QLatin1String("ten-megabyte line")) {
            const QString record = recordWith(job, QStringLiteral("Riga lunghissima"));
            bad = cp1252Lines({ record + QString(kTenMegabytes - record.size(), QLatin1Char('9')) })
                + cp1252Lines(linesAfter(job));
            reason = QStringLiteral("più lunga");
        } else if (kind == QLatin1String("utf-8 line")) {
            bad = recordWith(job, QStringLiteral("Società Città")).toUtf8() + "\r\n" + cp1252Lines(linesAfter(job));
            reason = QStringLiteral("UTF-8");
            savesNothing = true; // the encoding is decided before the first line is written
        } else if (kind == QLatin1String("utf-16 file")) {
            // Saved as "Unicode" by an editor: every other byte of the file is 0.
            const QStringList lines = good + linesAfter(job);
            good.clear();
            bad = QByteArray("\xff\xfe");
            for (const QString& line : lines) {
                const QString text = line + QStringLiteral("\r\n");
                bad += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
            }
            reason = QStringLiteral("UTF-16");
        } else if (kind == QLatin1String("truncated line")) {
            bad = cp1252Lines({ truncatedRecord(job, middleCut(job)) }) + cp1252Lines(linesAfter(job));
            reason = truncationReason(job);
        } else {
            bad = cp1252Lines({ truncatedRecord(job, endCut(job)) });
            bad.chop(2); // the file ends inside the line
            reason = truncationReason(job);
        }
        const QByteArray goodBytes = cp1252Lines(good);
        const int badLine = int(good.size()) + 1;
        const QString file = job + QStringLiteral(".txt");
        // A case and its lines are saved together: the case still open at the bad line (the
        // second, for the case imports) is taken back, and the message says where to start again.
        const bool caseJob = job != QLatin1String("incassi");
        QStringList saved = savesNothing ? QStringList {} : good;
        int caseStart = 0;
        if (caseJob && !saved.isEmpty()) {
            saved = job == QLatin1String("orb") ? orbCase(1) : viDiruCase(1);
            caseStart = int(saved.size()) + 1;
        }
        const QByteArray savedBytes = cp1252Lines(saved);

        const Reference ref = referenceRun(backend, job, file, &savedBytes);
        if (!ref.failure.isEmpty()) {
            TestDatabase probe(backend);
            ZB32_REQUIRE(probe);
            QFAIL(qPrintable(ref.failure));
        }

        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        prepare(tdb, job);
        const CliRun r = runImport(tdb, job, file, goodBytes + bad);

        QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
        const QString where = QStringLiteral("File %1, riga %2: ").arg(file).arg(badLine);
        QVERIFY2(r.err.contains(where), qPrintable(QStringLiteral("manca \"%1\"\n%2").arg(where, r.describe())));
        QVERIFY2(r.err.contains(reason, Qt::CaseInsensitive), qPrintable(r.describe()));
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1); // one message
        if (caseStart > 0) {
            const QString again = QStringLiteral("l'importazione va ripresa dalla riga %1)").arg(caseStart);
            QVERIFY2(r.err.contains(again), qPrintable(r.describe()));
        }
        QCOMPARE(r.outLines(), ref.out);
        const QStringList rows = dumpRows(tdb);
        QVERIFY2(rows == ref.rows, qPrintable(firstDifference(rows, ref.rows)));
        ++m_badRuns;
        m_rowsCompared += rows.size();
        // The rows are those of the good lines, not just as many.
        QCOMPARE(identities(job, tdb), identities(job, saved));
    }

    // The same file with other line ends or a BOM imports the same rows as with CR LF.
    void lineEndsAndBom_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<QByteArray>("bom");
        TestDatabase::addBackendColumn();
        for (const char* job : { "orb", "vidiru", "incassi" }) {
            for (const char* backend : { "sqlite", "postgresql" }) {
                const auto row = [&](const char* variant, const QByteArray& lineEnd, const QByteArray& bom) {
                    QTest::newRow(
                        qPrintable(QStringLiteral("%1: %2/%3")
                                       .arg(QLatin1String(job), QLatin1String(variant), QLatin1String(backend))))
                        << QString::fromLatin1(job) << lineEnd << bom << QString::fromLatin1(backend);
                };
                row("lf", "\n", {});
                row("utf-8 bom, cr lf", "\r\n", "\xEF\xBB\xBF");
                row("utf-8 bom, lf", "\n", "\xEF\xBB\xBF");
            }
        }
    }
    void lineEndsAndBom()
    {
        QFETCH(QString, job);
        QFETCH(QByteArray, lineEnd);
        QFETCH(QByteArray, bom);
        QFETCH(QString, backend);
        const QStringList lines = linesBefore(job) + linesAfter(job);
        const QByteArray crlf = cp1252Lines(lines);
        const QString file = job + QStringLiteral(".txt");
        const Reference ref = referenceRun(backend, job, file, &crlf);
        if (!ref.failure.isEmpty()) {
            TestDatabase probe(backend);
            ZB32_REQUIRE(probe);
            QFAIL(qPrintable(ref.failure));
        }
        QByteArray bytes = crlf;
        bytes.replace("\r\n", lineEnd);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        prepare(tdb, job);
        const CliRun r = runImport(tdb, job, file, bom + bytes);
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
        const QStringList rows = dumpRows(tdb);
        QVERIFY2(rows == ref.rows, qPrintable(firstDifference(rows, ref.rows)));
        QVERIFY(!rows.isEmpty());
    }

    void workbook_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("good");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("reason");
        TestDatabase::addBackendColumn();
        struct Row
        {
            const char* name;
            QByteArray bytes;
            const char* good;
            int row; // 0: the message names no row
            const char* reason;
        };
        const QByteArray whole = readData(QStringLiteral("badinput/riga_errata_prima.xls"));
        const auto data = [](const char* relative) { return readData(QString::fromLatin1(relative)); };
        const Row rows[] = {
            { "text file", "Posizione;Data;Importo\r\nA1;05/03/2010;10\r\n", "", 0, "non è una cartella di lavoro" },
            { "random bytes", randomBytes(6000, 7), "", 0, "non è una cartella di lavoro" },
            { "cut short", whole.left(whole.size() / 2), "", 0, "troncato" },
            { "empty file", QByteArray(), "", 0, "vuoto" },
            { "sheet without cells", data("badinput/foglio_vuoto.xls"), "", 0, "righe di dati" },
            { "headings only", data("confirmations/spese_vuoto.xls"), "", 0, "righe di dati" },
            { "blank rows only", data("badinput/righe_vuote.xls"), "", 0, "righe di dati" },
            { "date not a date", data("badinput/riga_data_errata.xls"), "badinput/riga_errata_prima.xls", 4, "data" },
            { "date of injected text", data("badinput/riga_data_testo.xls"), "badinput/riga_errata_prima.xls", 4,
                "DROP TABLE" },
            { "amount not a number", data("badinput/riga_importo_errato.xls"), "badinput/riga_errata_prima.xls", 4,
                "importo" },
            { "no position", data("badinput/riga_senza_posizione.xls"), "badinput/riga_errata_prima.xls", 4,
                "posizione" },
            { "no amount", data("badinput/riga_senza_importo.xls"), "badinput/riga_errata_prima.xls", 4, "importo" },
        };
        for (const Row& r : rows) {
            for (const char* backend : { "sqlite", "postgresql" }) {
                QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(r.name), QLatin1String(backend))))
                    << r.bytes << QString::fromLatin1(r.good) << r.row << QString::fromUtf8(r.reason)
                    << QString::fromLatin1(backend);
            }
        }
    }
    void workbook()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, good);
        QFETCH(int, row);
        QFETCH(QString, reason);
        QFETCH(QString, backend);
        const QString job = QStringLiteral("spese");
        const QString file = QStringLiteral("conferme.xls");

        const QByteArray goodBytes = good.isEmpty() ? QByteArray() : readData(good);
        QVERIFY(good.isEmpty() || !goodBytes.isEmpty());
        const Reference ref = referenceRun(backend, job, file, good.isEmpty() ? nullptr : &goodBytes);
        if (!ref.failure.isEmpty()) {
            TestDatabase probe(backend);
            ZB32_REQUIRE(probe);
            QFAIL(qPrintable(ref.failure));
        }

        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        prepare(tdb, job);
        const CliRun r = runImport(tdb, job, file, bytes);

        QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
        const QString where
            = row > 0 ? QStringLiteral("File %1, riga %2: ").arg(file).arg(row) : QStringLiteral("File %1: ").arg(file);
        QVERIFY2(r.err.contains(where), qPrintable(QStringLiteral("manca \"%1\"\n%2").arg(where, r.describe())));
        QVERIFY2(r.err.contains(reason, Qt::CaseInsensitive), qPrintable(r.describe()));
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        QCOMPARE(r.outLines(), ref.out);
        const QStringList rows = dumpRows(tdb);
        QVERIFY2(rows == ref.rows, qPrintable(firstDifference(rows, ref.rows)));
        ++m_badRuns;
        m_rowsCompared += rows.size();
        if (!good.isEmpty()) {
            // The good rows posted their payments: the first two rows' references, nothing after.
            QStringList causali;
            for (const QVariantMap& p : tdb.rows(Schema::kPayments)) {
                causali << p.value(QStringLiteral("causale")).toString();
            }
            QCOMPARE(causali, (QStringList { QStringLiteral("da file (R-1)"), QStringLiteral("da file (R-2)") }));
        }
    }

    void cleanupTestCase()
    {
        qInfo("bad input: %d runs stopped, %d rows compared with the runs of their good lines", m_badRuns,
            m_rowsCompared);
    }

private:
    int m_badRuns = 0;
    int m_rowsCompared = 0;
};

QTEST_GUILESS_MAIN(TestBadInput)
#include "TestBadInput.moc"
