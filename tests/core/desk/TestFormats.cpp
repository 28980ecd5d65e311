// The shared helpers: their output lands in fixed-width files and the database.
#include "core/desk/Currency.h"
#include "core/desk/Formats.h"

#include <QTest>
#include <limits>

using zb32::Currency;

Q_DECLARE_METATYPE(zb32::DateForms)

class TestFormats : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void formData_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("date") << "05032010"
                              << "05/03/2010";
        QTest::newRow("end of year") << "31122009"
                                     << "31/12/2009";
        QTest::newRow("empty") << ""
                               << "//";
        QTest::newRow("short") << "0503"
                               << "05/03/0503";
    }
    void formData()
    {
        QFETCH(QString, field);
        QFETCH(QString, expected);
        QCOMPARE(zb32::FormData(field), expected);
    }

    void formSoldi_data()
    {
        QTest::addColumn<QVariant>("amount");
        QTest::addColumn<QString>("expected");
        QTest::newRow("thousands") << QVariant(1234.5) << "  1.234,50";
        QTest::newRow("below one") << QVariant(0.5) << "      0,50";
        QTest::newRow("null") << QVariant() << "      0,00";
        QTest::newRow("negative rounds half away") << QVariant(-1234.567) << " -1.234,57";
        QTest::newRow("too long loses the left") << QVariant(12345678.9) << "345.678,90";
        QTest::newRow("currency value") << QVariant::fromValue(Currency::fromRaw(9500000)) << "    950,00";
        QTest::newRow("text from a database") << QVariant(QStringLiteral("120.0000")) << "    120,00";
        QTest::newRow("half cent up") << QVariant::fromValue(Currency::fromRaw(50)) << "      0,01";
    }
    void formSoldi()
    {
        QFETCH(QVariant, amount);
        QFETCH(QString, expected);
        QVariant arg = amount;
        QCOMPARE(zb32::FormSoldi(arg), expected);
        if (amount.isNull()) {
            QCOMPARE(arg.toInt(), 0); // the caller's variable now holds 0
            QVERIFY(!arg.isNull());
        }
    }

    void fill_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("signedFlag");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("textAfter");
        QTest::newRow("pad") << "123" << 8 << 0 << "00000123"
                             << "00000123";
        QTest::newRow("cut right") << "123456789" << 8 << 0 << "12345678"
                                   << "123456789";
        QTest::newRow("signed negative") << "-42" << 6 << 1 << "-00042"
                                         << "-00042";
        QTest::newRow("signed positive") << "42" << 6 << 1 << "+00042"
                                         << "+00042";
        QTest::newRow("signed negative blanks") << " -7" << 4 << 1 << "-007"
                                                << "-007";
        QTest::newRow("code amount") << "1.234,50" << 11 << 0 << "0001.234,50"
                                     << "0001.234,50";
        QTest::newRow("exact width") << "47152086" << 8 << 0 << "47152086"
                                     << "47152086";
    }
    void fill()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(int, signedFlag);
        QFETCH(QString, expected);
        QFETCH(QString, textAfter);
        QCOMPARE(zb32::Fill(text, width, signedFlag), expected);
        QCOMPARE(text, textAfter);
    }

    void filla_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("pad") << "ROMA" << 6 << "ROMA  ";
        QTest::newRow("cut") << QString(40, QLatin1Char('V')) << 30 << QString(30, QLatin1Char('V'));
        QTest::newRow("empty") << "" << 3 << "   ";
        QTest::newRow("zero width") << "ABC" << 0 << "";
    }
    void filla()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, expected);
        QCOMPARE(zb32::Filla(text, width), expected);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("number");
        QTest::addColumn<qint64>("hundredthsRaw"); // the amount divided by 100, in ten-thousandths
        QTest::newRow("hundredths") << "000000000012345"
                                    << "12345" << qint64(1234500);
        QTest::newRow("negative") << "-00000000001000"
                                  << "-1000" << qint64(-100000);
        QTest::newRow("zeros") << "000000000000000"
                               << "0" << qint64(0);
        QTest::newRow("blanks") << "               "
                                << "0" << qint64(0);
        QTest::newRow("blanks inside") << " 1 2 3"
                                       << "123" << qint64(12300);
        QTest::newRow("stops at letter") << "12A34"
                                         << "12" << qint64(1200);
        QTest::newRow("decimal point") << "12.50"
                                       << "12.5" << qint64(1250);
        QTest::newRow("second point stops") << "1.2.3"
                                            << "1.2" << qint64(120);
        QTest::newRow("plus") << "+7"
                              << "7" << qint64(700);
        QTest::newRow("sign after digits stops") << "7-"
                                                 << "7" << qint64(700);
        QTest::newRow("no number") << "abc"
                                   << "0" << qint64(0);
        QTest::newRow("lone minus") << "-"
                                    << "0" << qint64(0);
        QTest::newRow("position with zeros") << "000004711"
                                             << "4711" << qint64(471100);
        QTest::newRow("comma stops") << "12,5"
                                     << "12" << qint64(1200);
        QTest::newRow("fraction only") << ".5"
                                       << "0.5" << qint64(50);
        QTest::newRow("four decimals once divided") << "-0012.34"
                                                    << "-12.34" << qint64(-1234);
        QTest::newRow("five decimals once divided") << "1.234"
                                                    << "1.234" << qint64(123);
        QTest::newRow("fifteen digits") << "123456789012345"
                                        << "123456789012345" << qint64(123456789012345LL * 100);
        QTest::newRow("trailing zeros past four decimals") << "7.50000"
                                                           << "7.5" << qint64(750);
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(QString, number);
        QFETCH(qint64, hundredthsRaw);
        QCOMPARE(zb32::leadingNumberText(text), number);
        QCOMPARE(zb32::leadingAmount(text, 100).raw(), hundredthsRaw);
    }

    void currencyText_data()
    {
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("grouped");
        QTest::newRow("cents") << qint64(1234500) << "123,45"
                               << "123,45";
        QTest::newRow("whole") << qint64(1000000) << "100"
                               << "100,00";
        QTest::newRow("negative") << qint64(-12345678) << "-1234,5678"
                                  << "-1.234,57";
        QTest::newRow("zero") << qint64(0) << "0"
                              << "0,00";
        QTest::newRow("millions") << qint64(12345678900) << "1234567,89"
                                  << "1.234.567,89";
        QTest::newRow("leading zero of the decimals") << qint64(-500) << "-0,05"
                                                      << "-0,05";
        QTest::newRow("one ten-thousandth") << qint64(10001) << "1,0001"
                                            << "1,00";
    }
    void currencyText()
    {
        QFETCH(qint64, raw);
        QFETCH(QString, plain);
        QFETCH(QString, grouped);
        const Currency c = Currency::fromRaw(raw);
        QCOMPARE(c.toPlainText(), plain);
        QCOMPARE(c.toGroupedText(), grouped);
    }

    void currencyParse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("italian");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("raw");
        QTest::newRow("it thousands") << "1.234,56" << true << true << qint64(12345600);
        QTest::newRow("it plain") << "123,45" << true << true << qint64(1234500);
        QTest::newRow("it negative") << "-12,5" << true << true << qint64(-125000);
        QTest::newRow("it blanks") << "   1.000,00  " << true << true << qint64(10000000);
        QTest::newRow("it blank field") << "             " << true << false << qint64(0);
        QTest::newRow("it letters") << "12a" << true << false << qint64(0);
        QTest::newRow("it point as decimal") << "1.5" << true << false << qint64(0);
        QTest::newRow("it whole") << "250" << true << true << qint64(2500000);
        QTest::newRow("it two thousands points") << "12.345.678,9" << true << true << qint64(123456789000);
        QTest::newRow("it sign, blank, comma first") << "- ,5" << true << true << qint64(-5000);
        QTest::newRow("it four digits before a point") << "1234.567" << true << false << qint64(0);
        QTest::newRow("it four digits after a point") << "1.2345" << true << false << qint64(0);
        QTest::newRow("it point at the end") << "1." << true << false << qint64(0);
        QTest::newRow("it two commas") << "1,2,3" << true << false << qint64(0);
        QTest::newRow("dec db text") << "-123.4500" << false << true << qint64(-1234500);
        QTest::newRow("dec half even down") << "0.00005" << false << true << qint64(0);
        QTest::newRow("dec half even up") << "0.00015" << false << true << qint64(2);
        QTest::newRow("dec garbage") << "1e5" << false << false << qint64(0);
    }
    void currencyParse()
    {
        QFETCH(QString, text);
        QFETCH(bool, italian);
        QFETCH(bool, ok);
        QFETCH(qint64, raw);
        bool parsed = false;
        const Currency c
            = italian ? Currency::fromItalianText(text, &parsed) : Currency::fromDecimalText(text, &parsed);
        QCOMPARE(parsed, ok);
        if (ok) {
            QCOMPARE(c.raw(), raw);
        }
    }

    void currencyArithmeticIsExact()
    {
        Currency sum;
        for (int i = 0; i < 1000; ++i) {
            sum += Currency::fromDouble(0.1);
        }
        QCOMPARE(sum, Currency::fromUnits(100));
        QCOMPARE(-(Currency::fromDouble(2.5) - Currency::fromDouble(3.75)), Currency::fromDouble(1.25));
        bool ok = true;
        Currency::fromDouble(1e300, &ok);
        QVERIFY(!ok);
    }

    // Totals that grow with a file's lines are added with a check: a result beyond the largest
    // amount is refused, whether or not it would also leave 64 bits.
    void checkedSumsStayInRange_data()
    {
        QTest::addColumn<qint64>("a");
        QTest::addColumn<qint64>("b");
        QTest::addColumn<bool>("subtract");
        QTest::addColumn<bool>("ok");
        const qint64 max = Currency::kMaxRaw;
        QTest::newRow("small") << qint64(15000) << qint64(-2500) << false << true;
        QTest::newRow("up to the largest") << max - 1 << qint64(1) << false << true;
        QTest::newRow("one past the largest") << max << qint64(1) << false << false;
        QTest::newRow("down to minus the largest") << -max + 1 << qint64(1) << true << true;
        QTest::newRow("one below minus the largest") << -max << qint64(1) << true << false;
        QTest::newRow("two largest: past 64 bits") << max << max << false << false;
        QTest::newRow("largest minus minus largest") << max << -max << true << false;
        QTest::newRow("opposite signs cancel") << max << max << true << true;
    }
    void checkedSumsStayInRange()
    {
        QFETCH(qint64, a);
        QFETCH(qint64, b);
        QFETCH(bool, subtract);
        QFETCH(bool, ok);
        const Currency untouched = Currency::fromUnits(7);
        Currency result = untouched;
        const bool done = subtract ? Currency::subtract(Currency::fromRaw(a), Currency::fromRaw(b), &result)
                                   : Currency::add(Currency::fromRaw(a), Currency::fromRaw(b), &result);
        QCOMPARE(done, ok);
        if (ok) {
            // Exact where it fits (and where it fits, plain 64-bit arithmetic cannot overflow).
            QCOMPARE(result.raw(), subtract ? a - b : a + b);
        } else {
            QCOMPARE(result, untouched);
        }
    }

    void dateFormats_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("shortText");
        QTest::addColumn<QString>("isoText");
        QTest::newRow("today") << QDate(2026, 1, 5) << "05/01/2026"
                               << "2026-01-05";
        QTest::newRow("leap day") << QDate(2008, 2, 29) << "29/02/2008"
                                  << "2008-02-29";
        QTest::newRow("three-digit year") << QDate(999, 5, 4) << "04/05/0999"
                                          << "0999-05-04";
        QTest::newRow("first year") << QDate(1, 1, 1) << "01/01/0001"
                                    << "0001-01-01";
        QTest::newRow("last day") << QDate(9999, 12, 31) << "31/12/9999"
                                  << "9999-12-31";
        QTest::newRow("before the era") << QDate(-5, 3, 1) << "01/03/-0005"
                                        << "";
        QTest::newRow("five-digit year") << QDate(10000, 1, 2) << "02/01/10000"
                                         << "";
        QTest::newRow("invalid") << QDate() << ""
                                 << "";
    }
    void dateFormats()
    {
        QFETCH(QDate, date);
        QTEST(zb32::shortDate(date), "shortText");
        QTEST(zb32::isoDate(date), "isoText");
        // As bytes, twice: the second from the text kept of the first, after the row before's.
        QFETCH(QString, isoText);
        for (int i = 0; i < 2; ++i) {
            char bytes[10];
            QCOMPARE(zb32::writeIsoDate(date, bytes) ? QString::fromLatin1(bytes, 10) : QString(), isoText);
        }
    }

    // Each caller's shapes, as they have always been read: a row per shape and the flags that take it.
    void parseDate_data()
    {
        using zb32::DateForm;
        const zb32::DateForms cell = DateForm::IsoWhole | DateForm::AnySeparator | DateForm::TwoDigitYear;
        QTest::addColumn<QString>("text");
        QTest::addColumn<zb32::DateForms>("forms");
        QTest::addColumn<QDate>("date");
        QTest::newRow("short date") << "31/12/2009" << zb32::DateForms() << QDate(2009, 12, 31);
        QTest::newRow("one-digit day and month") << "5/3/2010" << zb32::DateForms() << QDate(2010, 3, 5);
        QTest::newRow("blanks around") << " \t05/03/2010 " << zb32::DateForms() << QDate(2010, 3, 5);
        QTest::newRow("no such day") << "31/02/2005" << zb32::DateForms() << QDate();
        QTest::newRow("zeros") << "00/00/0000" << zb32::DateForms() << QDate();
        QTest::newRow("three-digit day") << "005/3/2010" << zb32::DateForms() << QDate();
        QTest::newRow("five-digit year") << "5/3/02010" << zb32::DateForms() << QDate();
        QTest::newRow("blank inside") << "5/ 3/2010" << zb32::DateForms() << QDate();
        QTest::newRow("other digits") << QString::fromUtf8("5/3/\uff12010") << zb32::DateForms() << QDate();
        QTest::newRow("empty") << "" << zb32::kFieldDateForms << QDate();
        QTest::newRow("minus year") << "04/08/-0001" << zb32::DateForms() << QDate(-1, 8, 4);
        QTest::newRow("minus year where - separates") << "04/08/-0001" << zb32::kFieldDateForms << QDate();
        QTest::newRow("dashes not taken") << "5-3-2010" << zb32::DateForms() << QDate();
        QTest::newRow("dashes") << "5-3-2010" << zb32::DateForms(DateForm::AnySeparator) << QDate(2010, 3, 5);
        QTest::newRow("points and a slash") << "5.3/2010" << zb32::kFieldDateForms << QDate(2010, 3, 5);
        QTest::newRow("two-digit year not taken") << "5/3/10" << zb32::DateForms() << QDate();
        QTest::newRow("two-digit year") << "5/3/10" << zb32::kFieldDateForms << QDate(2010, 3, 5);
        QTest::newRow("two-digit year 29") << "1-1-29" << cell << QDate(2029, 1, 1);
        QTest::newRow("two-digit year 30") << "1.1.30" << cell << QDate(1930, 1, 1);
        QTest::newRow("29 February 00 is 1900's") << "29/02/00" << zb32::kFieldDateForms << QDate();
        QTest::newRow("ISO not taken") << "2010-03-05" << zb32::DateForms() << QDate();
        QTest::newRow("ISO") << "2010-03-05" << zb32::DateForms(DateForm::IsoPrefix) << QDate(2010, 3, 5);
        QTest::newRow("ISO whole") << "2010-03-05" << cell << QDate(2010, 3, 5);
        QTest::newRow("ISO date and time") << "2010-03-05 10:30:00" << zb32::kFieldDateForms << QDate(2010, 3, 5);
        QTest::newRow("ISO date and time, whole") << "2010-03-05 10:30:00" << cell << QDate();
        QTest::newRow("ISO other mark") << "2010-03_05" << zb32::DateForms(DateForm::IsoPrefix) << QDate(2010, 3, 5);
        QTest::newRow("ISO other mark, whole") << "2010-03_05" << cell << QDate();
        QTest::newRow("ISO slashes") << "2010/03/05" << zb32::kFieldDateForms << QDate();
        QTest::newRow("ISO minus year, whole") << "-1042-02-15" << cell << QDate(-1042, 2, 15);
        QTest::newRow("ISO no such day") << "2010-02-30" << zb32::kFieldDateForms << QDate();
        QTest::newRow("dash fifth, not ISO") << "05-3-2010" << zb32::kFieldDateForms << QDate(2010, 3, 5);
    }
    void parseDate()
    {
        QFETCH(QString, text);
        QFETCH(zb32::DateForms, forms);
        QTEST(zb32::parseDate(text, forms), "date");
    }

    void ddmmyyyyDate_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QDate>("strict");
        QTest::addColumn<QDate>("asFormData");
        QTest::newRow("31122009") << "31122009" << QDate(2009, 12, 31) << QDate(2009, 12, 31);
        QTest::newRow("05032010") << "05032010" << QDate(2010, 3, 5) << QDate(2010, 3, 5);
        QTest::newRow("29 February leap") << "29022008" << QDate(2008, 2, 29) << QDate(2008, 2, 29);
        QTest::newRow("29 February not leap") << "29022009" << QDate() << QDate();
        QTest::newRow("31 February") << "31022009" << QDate() << QDate();
        QTest::newRow("month 13") << "01132009" << QDate() << QDate();
        QTest::newRow("day zero") << "00012009" << QDate() << QDate();
        QTest::newRow("year zero") << "01010000" << QDate() << QDate();
        QTest::newRow("seven digits") << "1502209" << QDate() << QDate(2209, 2, 15);
        QTest::newRow("blank before") << " 5032010" << QDate() << QDate(2010, 3, 5);
        QTest::newRow("blank") << "        " << QDate() << QDate();
        QTest::newRow("empty") << "" << QDate() << QDate();
        QTest::newRow("blank inside") << "15 22009" << QDate() << QDate();
        QTest::newRow("sign") << "+1022009" << QDate() << QDate();
        QTest::newRow("slashes") << "1/2/2009" << QDate() << QDate();
    }
    void ddmmyyyyDate()
    {
        QFETCH(QString, field);
        QTEST(zb32::ddmmyyyyDate(field), "strict");
        QTEST(zb32::ddmmyyyyDate(field, zb32::DdmmyyyyRest::AsFormData), "asFormData");
    }

    void leadingInteger_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("zero");
        QTest::addColumn<qint64>("saturate");
        const qint64 max = std::numeric_limits<qint64>::max();
        const qint64 min = std::numeric_limits<qint64>::min();
        QTest::newRow("letters after") << "12abc" << qint64(12) << qint64(12);
        QTest::newRow("words after") << "1 or 1=1" << qint64(1) << qint64(1);
        QTest::newRow("fraction dropped") << "-7.9" << qint64(-7) << qint64(-7);
        QTest::newRow("empty") << "" << qint64(0) << qint64(0);
        QTest::newRow("largest") << "9223372036854775807" << max << max;
        QTest::newRow("smallest") << "-9223372036854775808" << min << min;
        QTest::newRow("one past the largest") << "9223372036854775808" << qint64(0) << max;
        QTest::newRow("too many digits, negative") << "-00099999999999999999999" << qint64(0) << min;
    }
    void leadingInteger()
    {
        QFETCH(QString, text);
        QTEST(zb32::leadingInteger(text, zb32::OutOfRange::Zero), "zero");
        QTEST(zb32::leadingInteger(text, zb32::OutOfRange::Saturate), "saturate");
    }

    void trimBlanks_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("blanks both sides") << "   ab c   "
                                           << "ab c";
        QTest::newRow("only blanks") << "      "
                                     << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("tab kept") << " \tx\t "
                                  << "\tx\t";
        QTest::newRow("lone LF kept") << "x\n"
                                      << "x\n";
        QTest::newRow("no-break space kept") << QString(QChar(0xA0)) + "x " << QString(QChar(0xA0)) + "x";
        // Blank tails longer than the four a step that pass over them, text within the last four.
        QTest::newRow("long blank tail") << "  abc" + QString(13, QLatin1Char(' ')) << "abc";
        QTest::newRow("text in the last step") << "abcdefgh x" + QString(8, QLatin1Char(' ')) << "abcdefgh x";
        QTest::newRow("nothing to trim") << "a b"
                                         << "a b";
        QTest::newRow("null") << QString() << "";
    }
    void trimBlanks()
    {
        QFETCH(QString, raw);
        const QString got = zb32::trimBlanks(raw);
        QTEST(got, "trimmed");
        QVERIFY(!got.isNull());
        QCOMPARE(zb32::trimBlanks(QStringView(raw)), got);
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "TestFormats.moc"
