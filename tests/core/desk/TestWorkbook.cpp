// Workbooks through FreeXL: the first table by name, cell types, files that are not workbooks.
#include "core/desk/Workbook.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using zb32::Workbook;

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

    // This file drives the workbook library into reading past a buffer; the reader process
    // dies, the program reports a damaged file and goes on.
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

    void notAWorkbook_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("Posizione;Data;Importo\r\n1;2;3\r\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cfbf header only") << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0');
    }
    void notAWorkbook()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.xls"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        Workbook book;
        QString error;
        QVERIFY(!book.open(path, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWorkbook)
#include "TestWorkbook.moc"
