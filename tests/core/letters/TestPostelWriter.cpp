// The print file's pieces: code amounts, file names, the data block's paddings and null rules,
// the code page, blocks of output, and a device that stops taking bytes. Whole files, slips
// included, are compared with the expected files by the letter run's tests.
#include "core/letters/PostelWriter.h"

#include <QBuffer>
#include <QTest>

using namespace zb32;

namespace {

// A device that takes `capacity` bytes and refuses the rest.
class FailDevice : public QIODevice
{
public:
    explicit FailDevice(qint64 capacity)
        : m_capacity(capacity)
    {
        open(QIODevice::WriteOnly);
    }
    QByteArray written;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        const qint64 room = m_capacity - written.size();
        if (room <= 0) {
            setErrorString(QStringLiteral("disco pieno"));
            return -1;
        }
        const qint64 n = qMin(room, size);
        written.append(data, n);
        return n;
    }

private:
    qint64 m_capacity;
};

Currency amount(const char* text)
{
    bool ok = false;
    const Currency c = Currency::fromDecimalText(QString::fromLatin1(text), &ok);
    if (!ok) {
        qFatal("bad amount %s", text);
    }
    return c;
}

// The lines a writer call produced, without their CR LF; fails on a line without one.
QStringList linesOf(const QByteArray& bytes)
{
    QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
    if (lines.takeLast() != QString()) {
        qFatal("output does not end with CR LF");
    }
    for (const QString& l : lines) {
        if (l.contains(QLatin1Char('\r')) || l.contains(QLatin1Char('\n'))) {
            qFatal("a line holds a stray line break");
        }
    }
    return lines;
}

template<typename Write> QStringList written(Write write)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PostelWriter writer(&buffer);
    write(writer);
    if (!writer.flush()) {
        qFatal("writing to memory failed");
    }
    return linesOf(buffer.data());
}

PostelCase sampleCase()
{
    PostelCase c;
    c.key = 1;
    c.tipoMandato = QStringLiteral("DODAD");
    c.ragioneSociale = QStringLiteral("ROSSI MARIO");
    c.indirizzo = QStringLiteral("VIA APPIA 1");
    c.cap = QStringLiteral("00100");
    c.citta = QStringLiteral("ROMA");
    c.provincia = QStringLiteral("RM");
    c.altroriferimento = QStringLiteral("CTR1");
    c.assignmentId = QStringLiteral("CL1");
    c.importoTotale = amount("100");
    return c;
}

PostelInvoice sampleInvoice(const char* number, const char* saldo)
{
    PostelInvoice f;
    f.numeroFattura = QString::fromLatin1(number);
    f.dataFattura = QDate(2024, 2, 29);
    f.saldo = amount(saldo);
    f.periodo = QStringLiteral("02/2024");
    f.dataScadenza = QDate(2024, 3, 31);
    return f;
}

} // namespace

class TestPostelWriter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void codeAmount_data()
    {
        QTest::addColumn<QString>("saldo");
        QTest::addColumn<QString>("expected");
        QTest::newRow("thousands") << "1234.5"
                                   << "0001.234+50";
        QTest::newRow("below a thousand") << "950"
                                          << "00000950+00";
        QTest::newRow("small") << "12.5"
                               << "00000012+50";
        QTest::newRow("millions cut to 11") << "1234567.89"
                                            << "1.234.567+8";
        QTest::newRow("no integer digit below one") << "0.5"
                                                    << "00000000+50";
        QTest::newRow("zero") << "0"
                              << "00000000+00";
        QTest::newRow("rounded to cents") << "0.005"
                                          << "00000000+01";
        QTest::newRow("rounded up into a thousand") << "999.999"
                                                    << "0001.000+00";
        QTest::newRow("no comma left after the cut") << "123456789.12"
                                                     << "123.456.789";
        QTest::newRow("negative keeps its sign inside") << "-12.5"
                                                        << "00000-12+50";
    }
    void codeAmount()
    {
        QFETCH(QString, saldo);
        QFETCH(QString, expected);
        QCOMPARE(PostelWriter::codeAmount(amount(qPrintable(saldo))), expected);
    }

    void fileName_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("expected");
        QTest::newRow("december") << QDate(2026, 12, 7) << "LO071226.ASC";
        QTest::newRow("first of year 2000") << QDate(2000, 1, 1) << "LO010100.ASC";
        QTest::newRow("two-digit day and month") << QDate(2031, 10, 31) << "LO311031.ASC";
    }
    void fileName()
    {
        QFETCH(QDate, today);
        QFETCH(QString, expected);
        QCOMPARE(PostelWriter::fileName(today), expected);
    }

    void addressLines_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("cap");
        QTest::addColumn<QString>("citta");
        QTest::addColumn<QString>("provincia");
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("third");
        const QString blanks35(35, QLatin1Char(' '));
        const QString blanks34(34, QLatin1Char(' '));
        QTest::newRow("short name padded") << "ROSSI" << QVariant("00100") << "ROMA"
                                           << "RM"
                                           << "DODAD"
                                           << "@AROSSI                               [DODAD]"
                                           << "00100 ROMA                                RM";
        QTest::newRow("name of exactly 35") << "ABCDEFGHIJABCDEFGHIJABCDEFGHIJABCDE" << QVariant("1") << "X"
                                            << ""
                                            << ""
                                            << "@AABCDEFGHIJABCDEFGHIJABCDEFGHIJABCDE []"
                                            << "1 X" + blanks35; // 34 after the town, 1 before the empty province
        QTest::newRow("long name and town cut") << "ABCDEFGHIJABCDEFGHIJABCDEFGHIJABCDEFGH" << QVariant("20100")
                                                << "SAN GIOVANNI IN FIORE DI CALABRIA CITRA"
                                                << "CS"
                                                << "M"
                                                << "@AABCDEFGHIJABCDEFGHIJABCDEFGHIJABCDE [M]"
                                                << "20100 SAN GIOVANNI IN FIORE DI CALABRIA C CS";
        QTest::newRow("null postcode drops its blank") << "A" << QVariant() << "ROMA"
                                                       << "RM"
                                                       << "T"
                                                       << "@AA" + blanks34 + " [T]"
                                                       << "ROMA" + QString(32, QLatin1Char(' ')) + "RM";
        QTest::newRow("empty postcode keeps its blank") << "A" << QVariant("") << "ROMA"
                                                        << "RM"
                                                        << "T"
                                                        << "@AA" + blanks34 + " [T]"
                                                        << " ROMA" + QString(32, QLatin1Char(' ')) + "RM";
        QTest::newRow("nothing of the address") << "" << QVariant() << ""
                                                << ""
                                                << ""
                                                << "@A" + blanks35 + " []" << blanks35 + " ";
    }
    void addressLines()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, cap);
        QFETCH(QString, citta);
        QFETCH(QString, provincia);
        QFETCH(QString, tipo);
        QFETCH(QString, first);
        QFETCH(QString, third);
        PostelCase c = sampleCase();
        c.ragioneSociale = name;
        c.cap = cap.isNull() ? std::nullopt : std::optional<QString>(cap.toString());
        c.citta = citta;
        c.provincia = provincia;
        c.tipoMandato = tipo;
        const QStringList lines = written([&](PostelWriter& w) { w.writeAddress(c); });
        QCOMPARE(lines, (QStringList { first, QStringLiteral("VIA APPIA 1"), third, "@I01CTR1", "@I02CL1" }));
    }

    // A control character in a text of the case is a blank in the file: a line break in an
    // address cannot start a record of its own.
    void controlCharactersAreBlanks_data()
    {
        QTest::addColumn<QString>("street");
        QTest::addColumn<QString>("printed");
        QTest::newRow("lone line feed") << "VIA APPIA 1\n@E0"
                                        << "VIA APPIA 1 @E0";
        QTest::newRow("carriage return and line feed") << "VIA\r\n@AFALSO"
                                                       << "VIA  @AFALSO";
        QTest::newRow("tab, form feed, escape, nul") << QString::fromLatin1("A\tB\x0c"
                                                                            "C\x1b"
                                                                            "D\0E",
            9) << "A B C D E";
        QTest::newRow("no control character") << "VIA APPIA 1"
                                              << "VIA APPIA 1";
    }
    void controlCharactersAreBlanks()
    {
        QFETCH(QString, street);
        QFETCH(QString, printed);
        PostelCase c = sampleCase();
        c.indirizzo = street;
        c.altroriferimento = street;
        const QStringList lines = written([&](PostelWriter& w) { w.writeAddress(c); });
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[1], printed);
        QCOMPARE(lines[3], QStringLiteral("@I01") + printed);
    }

    void invoiceItems_data()
    {
        QTest::addColumn<int>("invoices");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("none") << 0 << QStringList { "@I03", "@I04", "@I05", "@I06", "@I07", "@I08", "@I09    100,00" };
        QTest::newRow("one") << 1
                             << QStringList { "@I03A1", "@I0429/02/2024", "@I05  1.234,50", "@I06", "@I07", "@I08",
                                    "@I09    100,00" };
        QTest::newRow("two of three") << 3
                                      << QStringList { "@I03A1", "@I0429/02/2024", "@I05  1.234,50", "@I06A2",
                                             "@I0729/02/2024", "@I08     -0,50", "@I09    100,00" };
    }
    void invoiceItems()
    {
        QFETCH(int, invoices);
        QFETCH(QStringList, expected);
        const QList<PostelInvoice> all { sampleInvoice("A1", "1234.5"), sampleInvoice("A2", "-0.5"),
            sampleInvoice("A3", "7") };
        const QStringList lines
            = written([&](PostelWriter& w) { w.writeLetter(sampleCase(), all.mid(0, invoices), false); });
        QCOMPARE(lines.mid(5), expected);
    }

    void headerAndTemplate()
    {
        const QStringList lines = written([](PostelWriter& w) {
            w.writeHeader();
            w.writeTemplate(QDate(2027, 1, 2));
            w.writeEnd(0);
        });
        QCOMPARE(lines.size(), 7 + PostelWriter::kTemplateLines + 1);
        QVERIFY(lines[0].startsWith(QLatin1String(":R:VANTORE ERMELIND,0658830417,0658830472,")));
        QVERIFY(lines[0].section(QLatin1Char(','), 3).contains(QLatin1Char('@')));
        QCOMPARE(lines[2].size(), 44);
        QCOMPARE(lines[7], QStringLiteral("@T"));
        QCOMPARE(lines[7 + 42], QStringLiteral("Roma li, 02/01/2027"));
        QCOMPARE(lines[7 + 44].size(), 72);
        QCOMPARE(lines.last(), QStringLiteral("@E0"));
    }

    void codePage()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        PostelWriter writer(&buffer);
        PostelCase c = sampleCase();
        c.indirizzo = QString::fromUtf8("CORSO ITALIA 1 – €, Ł");
        c.citta = QString::fromUtf8("FORLÌ");
        writer.writeAddress(c);
        QVERIFY(writer.flush());
        const QByteArray bytes = buffer.data();
        QVERIFY(bytes.contains(QByteArray("\r\nCORSO ITALIA 1 \x96 \x80, ?\r\n")));
        QVERIFY(bytes.contains(QByteArray("00100 FORL\xcc ")));
    }

    // The buffer reaches the device in blocks; no line may be split or lost at a block's edge.
    void longFileIsWholeLines()
    {
        QBuffer one;
        one.open(QIODevice::WriteOnly);
        PostelWriter single(&one);
        const QList<PostelInvoice> invoices { sampleInvoice("Z1", "10"), sampleInvoice("Z2", "20") };
        single.writeLetter(sampleCase(), invoices, true);
        QVERIFY(single.flush());

        QBuffer many;
        many.open(QIODevice::WriteOnly);
        PostelWriter writer(&many);
        constexpr int kLetters = 3000;
        for (int i = 0; i < kLetters; ++i) {
            writer.writeLetter(sampleCase(), invoices, true);
        }
        QVERIFY(writer.flush());
        QVERIFY(many.data().size() > 16 * (1 << 16)); // many blocks
        QCOMPARE(many.data(), one.data().repeated(kLetters));
    }

    void deviceThatFails_data()
    {
        QTest::addColumn<qint64>("capacity");
        QTest::newRow("nothing fits") << qint64(0);
        QTest::newRow("fails in the first block") << qint64(1000);
        QTest::newRow("fails in a later block") << qint64(200000);
    }
    void deviceThatFails()
    {
        QFETCH(qint64, capacity);
        FailDevice device(capacity);
        PostelWriter writer(&device);
        writer.writeHeader();
        for (int i = 0; i < 2000 && writer.ok(); ++i) {
            writer.writeLetter(sampleCase(), { sampleInvoice("A", "1") }, true);
        }
        QString error;
        QVERIFY(!writer.flush(&error));
        QVERIFY(!writer.ok());
        QVERIFY2(error.contains(QStringLiteral("disco pieno")), qPrintable(error));
        QCOMPARE(writer.errorString(), error);
        QVERIFY(device.written.size() <= capacity);
        // Once failed, nothing more is written.
        const qsizetype size = device.written.size();
        writer.writeEnd(1);
        QVERIFY(!writer.flush());
        QCOMPARE(device.written.size(), size);
    }
};

QTEST_GUILESS_MAIN(TestPostelWriter)
#include "TestPostelWriter.moc"
