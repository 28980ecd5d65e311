// Reading the Vi Diru record file: codes, columns, amounts, dates and the case number.
#include "ViDiruLines.h"
#include "core/imports/vidiru/ViDiruRecords.h"

#include <QTest>

using namespace zb32;
using zb32::test::ViDiruLine;

Q_DECLARE_METATYPE(zb32::ViDiruCode)
Q_DECLARE_METATYPE(zb32::ViDiruComponent::Kind)

class TestViDiruRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordCode_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<ViDiruCode>("code");
        const QString lead = QStringLiteral("0000000001");
        QTest::newRow("header") << lead + "IBGI0001" + "rest" << ViDiruCode::Header;
        QTest::newRow("note") << lead + "IBGI0004" << ViDiruCode::Note;
        QTest::newRow("unused amount") << lead + "IBGI0005     12,00" << ViDiruCode::Amount;
        QTest::newRow("component") << lead + "IBGI0007Sorte" << ViDiruCode::Component;
        QTest::newRow("total") << lead + "IBGI0008" << ViDiruCode::Total;
        QTest::newRow("instalment") << lead + "IBGI0011" << ViDiruCode::Instalment;
        QTest::newRow("columns 1-10 not read") << "IBGI0007  IBGI0008" << ViDiruCode::Total;
        QTest::newRow("IBGI0002") << lead + "IBGI0002" << ViDiruCode::Other;
        QTest::newRow("IBGI0006") << lead + "IBGI0006" << ViDiruCode::Other;
        QTest::newRow("IBGI0010") << lead + "IBGI0010" << ViDiruCode::Other;
        QTest::newRow("IBGI1001") << lead + "IBGI1001" << ViDiruCode::Other;
        QTest::newRow("lower case") << lead + "ibgi0001" << ViDiruCode::Other;
        QTest::newRow("mixed case") << lead + "Ibgi0004" << ViDiruCode::Other;
        QTest::newRow("one column early") << "000000001IBGI0001 " << ViDiruCode::Other;
        QTest::newRow("one column late") << lead + " IBGI0001" << ViDiruCode::Other;
        QTest::newRow("blank inside") << lead + "IBGI 001" << ViDiruCode::Other;
        QTest::newRow("cut short") << lead + "IBGI000" << ViDiruCode::Other;
        QTest::newRow("blank line") << QString() << ViDiruCode::Other;
        QTest::newRow("blanks") << QString(40, QLatin1Char(' ')) << ViDiruCode::Other;
    }
    void recordCode()
    {
        QFETCH(QString, line);
        QFETCH(ViDiruCode, code);
        QCOMPARE(ViDiru::recordCode(line), code);
    }

    void fieldBeyondTheLineIsEmptyText_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("expected");
        QTest::newRow("inside") << 3 << 2 << "cd";
        QTest::newRow("cut by the end") << 5 << 4 << "ef";
        QTest::newRow("right after the end") << 7 << 3 << "";
        QTest::newRow("far beyond") << 300 << 10 << "";
    }
    void fieldBeyondTheLineIsEmptyText()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QString, expected);
        const QString f = ViDiru::field(QStringLiteral("abcdef"), start, length);
        QCOMPARE(f, expected); // an empty text is stored as such (FieldCodec)
    }

    void amount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("raw");
        QTest::newRow("thousands and decimals") << "     1.234,56" << true << qint64(12345600);
        QTest::newRow("decimals only") << "       123,45" << true << qint64(1234500);
        QTest::newRow("negative, one decimal") << "        -12,5" << true << qint64(-125000);
        QTest::newRow("whole number") << "         1234" << true << qint64(12340000);
        QTest::newRow("left aligned") << "7,1          " << true << qint64(71000);
        QTest::newRow("millions") << "1.234.567,891" << true << qint64(12345678910);
        QTest::newRow("four decimals") << "       0,0001" << true << qint64(1);
        QTest::newRow("zero") << "         0,00" << true << qint64(0);
        QTest::newRow("blank") << "             " << false << qint64(0);
        QTest::newRow("decimal point") << "        12.34" << false << qint64(0);
        QTest::newRow("two commas") << "        1,2,3" << false << qint64(0);
        QTest::newRow("letters") << "          abc" << false << qint64(0);
        QTest::newRow("trailing letter") << "        12,5a" << false << qint64(0);
        QTest::newRow("wrong grouping") << "      1.23,45" << false << qint64(0);
        QTest::newRow("two signs") << "         --12" << false << qint64(0);
    }
    void amount()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(qint64, raw);
        const QString line = ViDiruLine(QStringLiteral("IBGI0008")).put(19, 13, text);
        Currency value = Currency::fromRaw(-1);
        QString error;
        QCOMPARE(ViDiru::amount(line, 19, 13, &value, &error), ok);
        if (ok) {
            QCOMPARE(value.raw(), raw);
        } else {
            QVERIFY2(error.contains(QLatin1String("19-31")), qPrintable(error));
            QCOMPARE(value.raw(), qint64(-1)); // left as it was
        }
    }

    void date_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("valid") << "05/03/2010" << QDate(2010, 3, 5);
        QTest::newRow("leap day") << "29/02/2024" << QDate(2024, 2, 29);
        QTest::newRow("not a leap year") << "29/02/2023" << QDate();
        QTest::newRow("31 April") << "31/04/2021" << QDate();
        QTest::newRow("zeros") << "00/00/0000" << QDate();
        QTest::newRow("blanks") << "          " << QDate();
        QTest::newRow("slashes only") << "  /  /    " << QDate();
        QTest::newRow("month 13") << "01/13/2020" << QDate();
        QTest::newRow("ISO") << "2020-01-02" << QDate();
    }
    void date()
    {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        const QString line = ViDiruLine(QStringLiteral("IBGI0011")).put(21, 10, text);
        QCOMPARE(ViDiru::date(line, 21, 10), expected);
    }

    void caseNumber_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("posizione");
        QTest::newRow("zero padded") << "0000104711"
                                     << "104711";
        QTest::newRow("blanks around") << "   4711   "
                                       << "4711";
        QTest::newRow("blank inside") << "12 34"
                                      << "1234";
        QTest::newRow("letters after") << "4711/B"
                                       << "4711";
        QTest::newRow("no number") << "ABC123"
                                   << "0";
        QTest::newRow("blank") << "          "
                               << "0";
        QTest::newRow("negative") << "-42"
                                  << "-42";
        QTest::newRow("decimal point") << "12.50"
                                       << "12,5";
        QTest::newRow("decimal comma stops") << "12,5"
                                             << "12";
    }
    void caseNumber()
    {
        QFETCH(QString, field);
        QFETCH(QString, posizione);
        const QString line = test::headerLine(field);
        QCOMPARE(ViDiruHeader::read(line).posizione, posizione);
    }

    void componentKind_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<ViDiruComponent::Kind>("kind");
        using K = ViDiruComponent::Kind;
        QTest::newRow("Sorte") << "Sorte" << K::Sorte;
        QTest::newRow("Sorte capitale") << "Sorte capitale" << K::Sorte;
        QTest::newRow("Inter") << "Inter" << K::Inter;
        QTest::newRow("Interessi di mora") << "Interessi di mora" << K::Inter;
        QTest::newRow("SORTE in capitals") << "SORTE" << K::Spese;
        QTest::newRow("sorte in lower case") << "sorte" << K::Spese;
        QTest::newRow("INTER in capitals") << "INTER" << K::Spese;
        QTest::newRow("blank before") << " Sorte" << K::Spese;
        QTest::newRow("four letters") << "Sort" << K::Spese;
        QTest::newRow("Spese") << "Spese legali" << K::Spese;
        QTest::newRow("blank") << "" << K::Spese;
    }
    void componentKind()
    {
        QFETCH(QString, description);
        QFETCH(ViDiruComponent::Kind, kind);
        const QString line = test::componentLine(description, QStringLiteral("1,00"));
        ViDiruComponent c;
        QString error;
        QVERIFY2(ViDiruComponent::read(line, &c, &error), qPrintable(error));
        QCOMPARE(c.kind, kind);
        QCOMPARE(c.amount, Currency::fromUnits(1));
    }
};

QTEST_GUILESS_MAIN(TestViDiruRecords)
#include "TestViDiruRecords.moc"
