// Workbooks through the reader process: the first table by name, cells of every format as the
// sheet shows them, number formats and dates, files that are refused and why.
#include "SheetBuilder.h"
#include "core/desk/Workbook.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using zb32::Workbook;
using zb32::sheets::FormatKind;
Q_DECLARE_METATYPE(FormatKind)

namespace {

struct Cell
{
    int row;
    int column;
    QVariant value;
};

} // namespace

class TestWorkbook : public QObject
{
    Q_OBJECT
private:
    static QString fixture(const char* name)
    {
        return qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/workbooks/") + QString::fromUtf8(name);
    }

private Q_SLOTS:
    void firstTableIsFirstByName()
    {
        Workbook book;
        QString error;
        QVERIFY2(book.open(fixture("sheet_order.xls"), &error), qPrintable(error));
        QCOMPARE(book.sheetNames(), (QStringList { "Foglio1", "Dati" }));
        QCOMPARE(zb32::RicavaPrimaTable(book), QStringLiteral("[Dati$]"));
    }

    void cellsKeepTheirTypes()
    {
        Workbook book;
        QString error;
        QVERIFY(book.open(fixture("sheet_order.xls"), &error));
        QVERIFY2(book.selectSheet(zb32::RicavaPrimaTable(book), &error), qPrintable(error));
        QCOMPARE(book.rowCount(), 3);
        QCOMPARE(book.columnCount(), 6);
        QCOMPARE(book.cell(1, 0).toString(), QStringLiteral("12345/2003"));
        QCOMPARE(book.cell(1, 1).toDate(), QDate(2010, 3, 5));
        QCOMPARE(book.cell(1, 2).toDouble(), 60.5);
        QCOMPARE(book.cell(1, 5).toString(), QStringLiteral("611ABC"));
        QVERIFY(book.cell(1, 3).isNull());
        QCOMPARE(book.cell(2, 0).toLongLong(), 4711);
        QCOMPARE(book.cell(2, 1).toString(), QStringLiteral("05/03/2010"));
        QVERIFY(book.cell(99, 0).isNull());
    }

    // A damaged file (it once drove the reader past a buffer): the program reports a damaged
    // file and goes on.
    void damagedFileDoesNotTakeTheProgramDown()
    {
        Workbook book;
        QString error;
        QVERIFY(!book.open(fixture("damaged-crash.xls"), &error));
        QVERIFY2(error.contains(QStringLiteral("danneggiato")) || error.contains(QStringLiteral("Excel")),
            qPrintable(error));
        QVERIFY(book.sheetNames().isEmpty());
        QVERIFY(book.cell(0, 0).isNull());
    }

    void missingReaderIsNamed()
    {
        const QByteArray old = qgetenv("ZB32_XLS_READER");
        qputenv("ZB32_XLS_READER", "/nonexistent/zb32-xls");
        Workbook book;
        QString error;
        QVERIFY(!book.open(fixture("sheet_order.xls"), &error));
        QVERIFY2(error.contains(QStringLiteral("/nonexistent/zb32-xls")), qPrintable(error));
        qputenv("ZB32_XLS_READER", old);
    }

    // The same sheets in every format: names as they stand, formula cells by their results.
    void formatsGiveTheSameCells_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* f :
            { "formati.xls", "formati_biff5.xls", "formati.xlsx", "formati_1904.xlsx", "formati.ods" }) {
            QTest::newRow(f) << QString::fromLatin1(f);
        }
    }
    void formatsGiveTheSameCells()
    {
        QFETCH(QString, file);
        const QString dataSheet = QStringLiteral(" Conferme d'agosto è $");
        Workbook book;
        QString error;
        QVERIFY2(book.open(fixture(qPrintable(file)), &error), qPrintable(error));
        QCOMPARE(book.sheetNames(), (QStringList { "Riepilogo", dataSheet }));
        QCOMPARE(zb32::RicavaPrimaTable(book), u'[' + dataSheet + QStringLiteral("$]"));
        QVERIFY2(book.selectSheet(zb32::RicavaPrimaTable(book), &error), qPrintable(error));
        QCOMPARE(book.rowCount(), 5);
        QCOMPARE(book.columnCount(), 6);
        const QList<Cell> cells {
            { 1, 0, QStringLiteral("700001") },
            { 1, 1, QDate(2026, 3, 15) },
            { 1, 2, 60.5 },
            { 2, 0, QStringLiteral("700002") },
            { 2, 1, QDate(2026, 3, 16) },
            { 2, 3, true },
            { 2, 5, QStringLiteral("F-2") },
            { 3, 0, 700003.0 },
            { 3, 1, QDateTime(QDate(2026, 3, 17), QTime(10, 30), Qt::UTC) },
            { 3, 3, false },
            { 4, 1, QStringLiteral("18/03/2026") },
            { 4, 5, QStringLiteral("9001") },
            { 1, 4, QVariant() },
        };
        for (const Cell& c : cells) {
            const QVariant v = book.cell(c.row, c.column);
            QCOMPARE(v.typeId(), c.value.typeId());
            QCOMPARE(v, c.value);
        }
        QCOMPARE(book.cell(2, 2).toDouble(), 1234.56);
        QVERIFY(qAbs(book.cell(3, 2).toDouble() - 100.0 / 3) < 1e-12);
    }

    // Texts that run over the shared strings' continuation records, 8-bit and 16-bit ones
    // (the same texts as the fixture's writer makes).
    void longSharedStrings()
    {
        Workbook book;
        QString error;
        QVERIFY2(book.open(fixture("testi_lunghi.xls"), &error), qPrintable(error));
        QVERIFY(book.selectSheet(QStringLiteral("[Testi$]"), &error));
        QCOMPARE(book.rowCount(), 400);
        for (int i = 0; i < 400; ++i) {
            const QString piece = i % 3 == 0 ? QStringLiteral("àbc€ş") : QStringLiteral("abcde");
            const QString text = QString::asprintf("%04d:", i) + piece.repeated(i % 7 * 40 + (i % 50 == 0 ? 600 : 0));
            QCOMPARE(book.cell(i, 0).toString(), text);
        }
    }

    void refused_data()
    {
        QTest::addColumn<QString>("file"); // empty: the bytes
        QTest::addColumn<int>("cut"); // bytes of the fixture kept, 0 for all
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QString saveAgain = QStringLiteral("salvarla di nuovo come .xls o .xlsx");
        const QString password
            = QStringLiteral("la cartella di lavoro è protetta da password: salvarla senza password");
        QTest::newRow("text") << "" << 0 << QByteArray("Posizione;Data;Importo\r\n1;2;3\r\n")
                              << "il file non è una cartella di lavoro (.xls, .xlsx o .ods)";
        QTest::newRow("empty") << "" << 0 << QByteArray() << "il file è vuoto (0 byte)";
        QTest::newRow("cfbf header only")
            << "" << 0 << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0') << saveAgain;
        QTest::newRow("xls cut short") << "formati.xls" << 3000 << QByteArray() << "troncato";
        QTest::newRow("xlsx cut short") << "formati.xlsx" << 1500 << QByteArray() << saveAgain;
        QTest::newRow("xls with a password") << "outside/calc_encrypted.xls" << 0 << QByteArray() << password;
        QTest::newRow("xlsx with a password") << "password.xlsx" << 0 << QByteArray() << password;
        QTest::newRow("ods with a password") << "password.ods" << 0 << QByteArray() << password;
        QTest::newRow("Excel 4.0") << "outside/biff4_no_format_no_window2.xls" << 0 << QByteArray() << saveAgain;
        QTest::newRow("inflates past the limit") << "ostile_bomba.xlsx" << 0 << QByteArray() << "troppo grande";
        QTest::newRow("a row repeated a million times")
            << "ostile_ripetute.ods" << 0 << QByteArray() << "più di 2000000 celle piene";
    }
    void refused()
    {
        QFETCH(QString, file);
        QFETCH(int, cut);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        if (!file.isEmpty()) {
            QFile source(fixture(qPrintable(file)));
            QVERIFY(source.open(QIODevice::ReadOnly));
            bytes = cut > 0 ? source.read(cut) : source.readAll();
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.xls"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        Workbook book;
        QString error;
        QVERIFY(!book.open(path, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY(!error.contains(QStringLiteral("non ha fogli")));
        QVERIFY(book.sheetNames().isEmpty());
    }

    void formatCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<FormatKind>("kind");
        QTest::newRow("date") << "dd/mm/yyyy" << FormatKind::Date;
        QTest::newRow("date with a locale") << "[$-410]d mmmm yyyy" << FormatKind::Date;
        QTest::newRow("month and year") << "mmm-yy" << FormatKind::Date;
        QTest::newRow("date and time") << "dd/mm/yyyy\\ hh:mm" << FormatKind::DateTime;
        QTest::newRow("minutes after hours") << "h:mm AM/PM" << FormatKind::Time;
        QTest::newRow("minutes before seconds") << "mm:ss" << FormatKind::Time;
        QTest::newRow("elapsed hours") << "[h]:mm" << FormatKind::Time;
        QTest::newRow("general") << "General" << FormatKind::Number;
        QTest::newRow("money in red") << "#,##0.00 [$€-410];[Red]-#,##0.00" << FormatKind::Number;
        QTest::newRow("quoted letters") << "0\" days\"" << FormatKind::Number;
        QTest::newRow("escaped letter") << "0\\d" << FormatKind::Number;
    }
    void formatCodes()
    {
        QFETCH(QString, code);
        QTEST(zb32::sheets::formatCodeKind(code), "kind");
    }

    void serials_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("date1904");
        QTest::addColumn<QVariant>("value");
        const int date = int(FormatKind::Date);
        QTest::newRow("1900") << 46096.0 << date << false << QVariant(QDate(2026, 3, 15));
        QTest::newRow("1904") << 44634.0 << date << true << QVariant(QDate(2026, 3, 15));
        QTest::newRow("before the day that never was") << 59.0 << date << false << QVariant(QDate(1900, 2, 28));
        QTest::newRow("after it") << 61.0 << date << false << QVariant(QDate(1900, 3, 1));
        QTest::newRow("time of day rounded to the second")
            << 46096.437500004 << int(FormatKind::DateTime) << false
            << QVariant(QDateTime(QDate(2026, 3, 15), QTime(10, 30), Qt::UTC));
        QTest::newRow("time only") << 0.75 << int(FormatKind::Time) << false << QVariant(QTime(18, 0));
        QTest::newRow("negative stays a number") << -1.0 << date << false << QVariant(-1.0);
        QTest::newRow("past 9999 stays a number") << 3e6 << date << false << QVariant(3e6);
        QTest::newRow("number") << 46096.0 << int(FormatKind::Number) << false << QVariant(46096.0);
    }
    void serials()
    {
        QFETCH(double, serial);
        QFETCH(int, kind);
        QFETCH(bool, date1904);
        QTEST(zb32::sheets::serialValue(serial, FormatKind(kind), date1904), "value");
    }
};

QTEST_GUILESS_MAIN(TestWorkbook)
#include "TestWorkbook.moc"
