// The confirmation import's pure rules: the collections line, workbook cells, the lookup's
// mandate list, the split, reversals and instalment matching.
#include "core/desk/Formats.h"
#include "core/imports/confirmations/CaseLookup.h"
#include "core/imports/confirmations/CollectionLine.h"
#include "core/imports/confirmations/ExpenseWorkbook.h"
#include "core/imports/confirmations/PaymentPosting.h"

#include <QTest>

using namespace zb32;

namespace {

Currency money(const char* text)
{
    bool ok = false;
    const Currency c = Currency::fromDecimalText(QString::fromLatin1(text), &ok);
    if (!ok) {
        qFatal("bad amount in test table: %s", text);
    }
    return c;
}

// A collections line with every column given; fillers are not blank so a shifted column shows.
QString collectionLine(const QString& position9, const QString& invoice10, const QString& amount8, const QString& date8,
    const QString& code3, const QString& reference)
{
    return QStringLiteral("ORB0001") + position9 + invoice10 + QStringLiteral("XXXX") + amount8
        + QStringLiteral("YYYYYYYY") + date8 + QStringLiteral("ZZZZZZ") + code3 + reference;
}

} // namespace

class TestConfirmationRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decodesCollectionLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("position");
        QTest::addColumn<QString>("invoice");
        QTest::addColumn<bool>("amountIsNumber");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("date");
        QTest::addColumn<bool>("dateFromFile");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("reference");

        const QString full = collectionLine("000004711", "FT 123    ", "00030000", "05032010", "350", "611REF");
        QTest::newRow("leading zeros") << full << "4711"
                                       << "FT 123    " << true << "300"
                                       << "05/03/2010" << true << "350"
                                       << "611REF";
        QTest::newRow("blanks around the line are trimmed first")
            << QStringLiteral("   ") + full + QStringLiteral("   ") << "4711"
            << "FT 123    " << true << "300"
            << "05/03/2010" << true << "350"
            << "611REF";
        QTest::newRow("code trimmed, reference as it stands")
            << collectionLine("   123456", "0000000001", "00000099", "31122009", "37 ", "3A05 x  y") << "123456"
            << "0000000001" << true << "0.99"
            << "31/12/2009" << true << "37"
            << "3A05 x  y";
        QTest::newRow("reference cut at twenty characters")
            << collectionLine("000000001", "A         ", "00000100", "01012010", "362", "12345678901234567890EXTRA")
            << "1"
            << "A         " << true << "1"
            << "01/01/2010" << true << "362"
            << "12345678901234567890";
        QTest::newRow("no such day: today")
            << collectionLine("000000007", "B         ", "00001000", "31022005", "350", "R") << "7"
            << "B         " << true << "10"
            << "07/12/2026" << false << "350"
            << "R";
        QTest::newRow("month 13: today") << collectionLine("000000007", "B         ", "00001000", "01132010", "350",
            "R") << "7"
                                         << "B         " << true << "10"
                                         << "07/12/2026" << false << "350"
                                         << "R";
        QTest::newRow("year 0: today") << collectionLine("000000007", "B         ", "00001000", "01010000", "350", "R")
                                       << "7"
                                       << "B         " << true << "10"
                                       << "07/12/2026" << false << "350"
                                       << "R";
        QTest::newRow("29 February of a leap year")
            << collectionLine("000000007", "B         ", "00001000", "29022008", "350", "R") << "7"
            << "B         " << true << "10"
            << "29/02/2008" << true << "350"
            << "R";
        QTest::newRow("day with a blank")
            << collectionLine("000000007", "B         ", "00001000", " 5032010", "350", "R") << "7"
            << "B         " << true << "10"
            << "05/03/2010" << true << "350"
            << "R";
        QTest::newRow("date not digits: today")
            << collectionLine("000000007", "B         ", "00001000", "ABCDEFGH", "350", "R") << "7"
            << "B         " << true << "10"
            << "07/12/2026" << false << "350"
            << "R";
        QTest::newRow("position without a number is 0")
            << collectionLine("ABC000012", "C         ", "-0000050", "05032010", "350", "R") << "0"
            << "C         " << true << "-0.5"
            << "05/03/2010" << true << "350"
            << "R";
        QTest::newRow("position stops at the first non-digit")
            << collectionLine("00012A345", "C         ", "+0000050", "05032010", "350", "R") << "12"
            << "C         " << true << "0.5"
            << "05/03/2010" << true << "350"
            << "R";
        QTest::newRow("amount with letters")
            << collectionLine("000000001", "D         ", "0001O000", "05032010", "350", "R") << "1"
            << "D         " << false << "0"
            << "05/03/2010" << true << "350"
            << "R";
        QTest::newRow("amount blank") << collectionLine("000000001", "D         ", "        ", "05032010", "37 ", "")
                                      << "1"
                                      << "D         " << false << "0"
                                      << "05/03/2010" << true << "37"
                                      << "";
        QTest::newRow("amount with a decimal point")
            << collectionLine("000000001", "D         ", "00012.50", "05032010", "350", "R") << "1"
            << "D         " << false << "0"
            << "05/03/2010" << true << "350"
            << "R";
        QTest::newRow("short line: what is missing is empty") << QStringLiteral("ORB0001000000042INV") << "42"
                                                              << "INV" << false << "0"
                                                              << "07/12/2026" << false << ""
                                                              << "";
    }
    void decodesCollectionLine()
    {
        QFETCH(QString, line);
        const CollectionLine d = decodeCollectionLine(line, QDate(2026, 12, 7));
        QVERIFY(!d.empty);
        QTEST(d.record.position, "position");
        QTEST(d.record.invoiceNumber, "invoice");
        QTEST(d.amountIsNumber, "amountIsNumber");
        QTEST(d.record.amount.toDecimalText(), "amount");
        QTEST(d.record.dateText, "date");
        QTEST(d.dateFromFile, "dateFromFile");
        QCOMPARE(d.record.date.toString(QStringLiteral("dd/MM/yyyy")), d.record.dateText);
        QTEST(d.record.code, "code");
        QTEST(d.record.reference, "reference");
    }

    // A line that ends before its record code is cut short, whatever code it might have had.
    void truncatedLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("truncated");
        const QString full = collectionLine("000004711", "FT 123    ", "00030000", "05032010", "350", "611REF");
        QTest::newRow("whole record") << full << false;
        QTest::newRow("code of two, no reference") << full.left(62) << false;
        QTest::newRow("first character of the code") << full.left(61) << false;
        QTest::newRow("ends just before the code") << full.left(60) << true;
        QTest::newRow("ends inside the amount") << full.left(35) << true;
        QTest::newRow("blanks do not count") << QStringLiteral("  ") + full.left(58) + QStringLiteral("    ") << true;
        QTest::newRow("blank line") << QStringLiteral("     ") << false;
    }
    void truncatedLines()
    {
        QFETCH(QString, line);
        QTEST(decodeCollectionLine(line, QDate(2026, 12, 7)).truncated(), "truncated");
    }

    void blankLinesAreEmpty_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("nothing") << QString();
        QTest::newRow("blanks") << QStringLiteral("      ");
        QTest::newRow("tab and a lone line feed") << QStringLiteral("\t\n ");
    }
    void blankLinesAreEmpty()
    {
        QFETCH(QString, line);
        QVERIFY(decodeCollectionLine(line, QDate(2026, 12, 7)).empty);
    }

    void wholeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("digits") << "00012345" << true;
        QTest::newRow("blanks around") << "  12345 " << true;
        QTest::newRow("minus") << "-0000050" << true;
        QTest::newRow("plus") << "+50" << true;
        QTest::newRow("sign alone") << "-" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blank inside") << "12 345" << false;
        QTest::newRow("comma") << "123,45" << false;
        QTest::newRow("two signs") << "--5" << false;
        QTest::newRow("trailing sign") << "5-" << false;
    }
    void wholeNumbers()
    {
        QFETCH(QString, text);
        QTEST(isWholeNumber(text), "expected");
    }

    void mandateEntries_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("one type") << "460" << QStringList { "460" };
        QTest::newRow("one type with blanks kept") << " 460 " << QStringList { " 460 " };
        QTest::newRow("list") << "460,462,463" << QStringList { "460", "462", "463" };
        QTest::newRow("list entries as they stand") << "460, 462" << QStringList { "460", " 462" };
        QTest::newRow("empty entry") << "460," << QStringList { "460", "" };
        QTest::newRow("empty box") << "" << QStringList { "" };
    }
    void mandateEntries()
    {
        QFETCH(QString, text);
        QTEST(CaseLookup::mandateEntries(text), "entries");
    }

    void split_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("fromInterest");
        QTest::addColumn<QStringList>("dues"); // rata, interessi, spese, speserecupero
        QTest::addColumn<QStringList>("parts"); // capital, interest, expenses, recovery
        const QStringList dues { "200", "50", "30", "10" };
        QTest::newRow("capital first, overpayment to capital")
            << "300" << false << dues << QStringList { "210", "50", "30", "10" };
        QTest::newRow("from interest") << "60" << true << dues << QStringList { "0", "50", "10", "0" };
        QTest::newRow("within the instalment") << "150.25" << false << dues << QStringList { "150.25", "0", "0", "0" };
        QTest::newRow("exactly the dues") << "290" << false << dues << QStringList { "200", "50", "30", "10" };
        QTest::newRow("from interest, beyond the costs")
            << "95" << true << dues << QStringList { "5", "50", "30", "10" };
        QTest::newRow("reversal taken whole by capital")
            << "-50" << false << dues << QStringList { "-50", "0", "0", "0" };
        QTest::newRow("reversal taken whole by interest")
            << "-50" << true << dues << QStringList { "0", "-50", "0", "0" };
        QTest::newRow("nothing due") << "80" << false << QStringList { "0", "0", "0", "0" }
                                     << QStringList { "80", "0", "0", "0" };
        QTest::newRow("negative due widens the remainder")
            << "100" << false << QStringList { "-20", "50", "0", "0" } << QStringList { "50", "50", "0", "0" };
        QTest::newRow("zero amount") << "0" << false << dues << QStringList { "0", "0", "0", "0" };
    }
    void split()
    {
        QFETCH(QString, amount);
        QFETCH(bool, fromInterest);
        QFETCH(QStringList, dues);
        QFETCH(QStringList, parts);
        const CaseDues d { money(qPrintable(dues[0])), money(qPrintable(dues[1])), money(qPrintable(dues[2])),
            money(qPrintable(dues[3])) };
        const PaymentSplit s = RipartisciImporto(money(qPrintable(amount)), d, fromInterest);
        QCOMPARE((QStringList { s.capital.toDecimalText(), s.interest.toDecimalText(), s.expenses.toDecimalText(),
                     s.recovery.toDecimalText() }),
            parts);
        QCOMPARE(s.capital + s.interest + s.expenses + s.recovery, money(qPrintable(amount)));
    }

    // A due far below zero grows the remainder; where that would pass the largest amount the
    // system handles, the split says so instead of wrapping around.
    void splitBeyondTheLargestAmount_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QStringList>("dues"); // rata, interessi, spese, speserecupero
        QTest::addColumn<bool>("inRange");
        QTest::newRow("largest amount, nothing due") << "920000000000000" << QStringList { "0", "0", "0", "0" } << true;
        QTest::newRow("largest amount, a due of -1")
            << "920000000000000" << QStringList { "-1", "0", "0", "0" } << false;
        QTest::newRow("small amount, largest negative due")
            << "0.01" << QStringList { "-920000000000000", "0", "0", "0" } << false;
        QTest::newRow("negative dues that still fit") << "100" << QStringList { "-20", "-30", "-40", "-10" } << true;
        QTest::newRow("largest reversal")
            << "-920000000000000" << QStringList { "-920000000000000", "0", "0", "0" } << true;
    }
    void splitBeyondTheLargestAmount()
    {
        QFETCH(QString, amount);
        QFETCH(QStringList, dues);
        QFETCH(bool, inRange);
        const CaseDues d { money(qPrintable(dues[0])), money(qPrintable(dues[1])), money(qPrintable(dues[2])),
            money(qPrintable(dues[3])) };
        const PaymentSplit s = RipartisciImporto(money(qPrintable(amount)), d, false);
        QCOMPARE(s.inRange, inRange);
        if (inRange) {
            QCOMPARE(s.capital + s.interest + s.expenses + s.recovery, money(qPrintable(amount)));
        }
    }

    void reversal_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<bool>("expected");
        QTest::newRow("3A05") << "3A05XYZ" << true;
        QTest::newRow("digit in fourth place") << "3009" << true;
        QTest::newRow("letter in fourth place") << "3A0X" << false;
        QTest::newRow("three characters") << "3AB" << true;
        QTest::newRow("just 3") << "3" << true;
        QTest::newRow("not starting with 3") << "43005" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blank first") << " 3005" << false;
    }
    void reversal()
    {
        QFETCH(QString, reference);
        QTEST(isReversal(reference), "expected");
    }

    void instalmentMatch_data()
    {
        QTest::addColumn<QString>("instalment");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("expected");
        QTest::newRow("equal") << "100"
                               << "100" << true;
        QTest::newRow("100.99 confirms 100.00") << "100"
                                                << "100.99" << true;
        QTest::newRow("101.00 does not") << "100"
                                         << "101" << false;
        QTest::newRow("99.01 confirms") << "100"
                                        << "99.01" << true;
        QTest::newRow("99.00 does not") << "100"
                                        << "99" << false;
        QTest::newRow("just below one") << "100"
                                        << "100.9999" << true;
        QTest::newRow("negative against positive") << "50"
                                                   << "-50" << false;
        // Amounts at the ends of the range compare without their difference leaving 64 bits.
        QTest::newRow("largest against minus largest") << "920000000000000"
                                                       << "-920000000000000" << false;
        QTest::newRow("minus largest against largest") << "-920000000000000"
                                                       << "920000000000000" << false;
        QTest::newRow("largest against itself") << "920000000000000"
                                                << "920000000000000" << true;
        QTest::newRow("largest against just below one less") << "920000000000000"
                                                             << "919999999999999.0001" << true;
    }
    void instalmentMatch()
    {
        QFETCH(QString, instalment);
        QFETCH(QString, amount);
        QTEST(confirmsInstalment(money(qPrintable(instalment)), money(qPrintable(amount))), "expected");
    }

    void workbookCells_data()
    {
        QTest::addColumn<QVariant>("cell");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("isAmount");
        QTest::addColumn<QString>("amount");
        QTest::newRow("text position") << QVariant(QStringLiteral("12345/2003")) << "12345/2003" << QDate() << false
                                       << "";
        QTest::newRow("whole number") << QVariant(4711.0) << "4711" << QDate() << true << "4711";
        QTest::newRow("integer") << QVariant(qlonglong(4711)) << "4711" << QDate() << true << "4711";
        QTest::newRow("decimal number") << QVariant(60.5) << "60,5" << QDate() << true << "60.5";
        QTest::newRow("italian amount text")
            << QVariant(QStringLiteral("1.234,50")) << "1.234,50" << QDate() << true << "1234.5";
        QTest::newRow("amount text with a point")
            << QVariant(QStringLiteral("12.5")) << "12.5" << QDate() << false << "";
        QTest::newRow("date cell") << QVariant(QDate(2010, 3, 5)) << "05/03/2010" << QDate(2010, 3, 5) << false << "";
        QTest::newRow("date and time cell") << QVariant(QDateTime(QDate(2010, 3, 5), QTime(10, 30)))
                                            << "05/03/2010 10:30:00" << QDate(2010, 3, 5) << false << "";
        QTest::newRow("date text") << QVariant(QStringLiteral("05/03/2010")) << "05/03/2010" << QDate(2010, 3, 5)
                                   << false << "";
        QTest::newRow("short date text") << QVariant(QStringLiteral("5-3-10")) << "5-3-10" << QDate(2010, 3, 5) << false
                                         << "";
        QTest::newRow("iso date text") << QVariant(QStringLiteral("2010-03-05")) << "2010-03-05" << QDate(2010, 3, 5)
                                       << false << "";
        QTest::newRow("no such day") << QVariant(QStringLiteral("31/02/2010")) << "31/02/2010" << QDate() << false
                                     << "";
        QTest::newRow("empty cell") << QVariant() << "" << QDate() << false << "";
        QTest::newRow("formula result of a division")
            << QVariant(100.0 / 3) << "33,3333333333333" << QDate() << true << "33.3333";
        QTest::newRow("boolean") << QVariant(true) << "VERO" << QDate() << false << "";
        QTest::newRow("time cell") << QVariant(QTime(6, 34)) << "06:34:00" << QDate() << false << "";
        QTest::newRow("error cell") << QVariant(QStringLiteral("#DIV/0!")) << "#DIV/0!" << QDate() << false << "";
    }
    void workbookCells()
    {
        QFETCH(QVariant, cell);
        QFETCH(QString, amount);
        QTEST(cellText(cell), "text");
        QTEST(cellDate(cell), "date");
        Currency c;
        QTEST(cellAmount(cell, &c), "isAmount");
        if (!amount.isEmpty()) {
            QCOMPARE(c.toDecimalText(), amount);
        }
    }
};

QTEST_GUILESS_MAIN(TestConfirmationRules)
#include "TestConfirmationRules.moc"
