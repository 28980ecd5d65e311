// Decoding of single Orb lines: record kinds, field columns, short lines and amounts.
#include "core/desk/Currency.h"
#include "core/desk/Formats.h"
#include "core/imports/orb/OrbLine.h"

#include <QTest>

using zb32::Currency;
using zb32::OrbLine;

Q_DECLARE_METATYPE(OrbLine::Kind)

namespace {

// A line with `text` placed at 1-based column `start`, blanks elsewhere.
QString at(QString line, int start, const QString& text)
{
    if (line.size() < start - 1 + text.size()) {
        line = line.leftJustified(start - 1 + int(text.size()), QLatin1Char(' '));
    }
    line.replace(start - 1, text.size(), text);
    return line;
}

Currency cents(qint64 hundredths)
{
    return Currency::fromRaw(hundredths * 100);
}

} // namespace

class TestOrbLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void kinds_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<OrbLine::Kind>("kind");
        QTest::newRow("A01") << "01A01000001" << OrbLine::Kind::Case;
        QTest::newRow("A02") << "01A02" << OrbLine::Kind::Contract;
        QTest::newRow("R01") << "xxR01yyyy" << OrbLine::Kind::Assignment;
        QTest::newRow("detail code") << "01F01000001" << OrbLine::Kind::Detail;
        QTest::newRow("lower case") << "01a01000001" << OrbLine::Kind::Detail;
        QTest::newRow("code one column late") << "01 A01" << OrbLine::Kind::Detail;
        QTest::newRow("indented, stripped first") << "    01A01000001   " << OrbLine::Kind::Case;
        QTest::newRow("too short for a code") << "01A0" << OrbLine::Kind::Detail;
        QTest::newRow("two characters") << "01" << OrbLine::Kind::Detail;
        QTest::newRow("blank inside the code") << "01A 1" << OrbLine::Kind::Detail;
        QTest::newRow("tab is not a blank") << "\t01A01" << OrbLine::Kind::Detail;
    }
    void kinds()
    {
        QFETCH(QString, raw);
        QFETCH(OrbLine::Kind, kind);
        QCOMPARE(OrbLine(zb32::trimBlanks(raw)).kind(), kind);
    }

    void caseFields_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("name");
        QTest::newRow("account") << 12 << 15 << "account";
        QTest::newRow("status") << 27 << 12 << "debtorStatus";
        QTest::newRow("name") << 39 << 40 << "name";
        QTest::newRow("address") << 79 << 40 << "address";
        QTest::newRow("postcode") << 119 << 5 << "postcode";
        QTest::newRow("town") << 124 << 40 << "town";
        QTest::newRow("province") << 164 << 2 << "province";
        QTest::newRow("tax code") << 166 << 16 << "taxCode";
        QTest::newRow("phone 1") << 182 << 14 << "phone1";
        QTest::newRow("phone 2") << 196 << 14 << "phone2";
        QTest::newRow("company") << 210 << 30 << "company";
        QTest::newRow("expiry") << 248 << 12 << "subscriptionExpiry";
        QTest::newRow("contract date") << 27 << 8 << "contractDate";
        QTest::newRow("decoder 1") << 137 << 15 << "decoder1";
        QTest::newRow("decoder 2") << 152 << 15 << "decoder2";
        QTest::newRow("card 1") << 167 << 15 << "card1";
        QTest::newRow("card 2") << 182 << 15 << "card2";
        QTest::newRow("band") << 42 << 2 << "amountBand";
        QTest::newRow("period") << 35 << 15 << "period";
        QTest::newRow("invoice date") << 50 << 8 << "invoiceDate";
        QTest::newRow("invoice number") << 58 << 15 << "invoiceNumber";
        QTest::newRow("due date") << 103 << 8 << "dueDate";
    }
    // Every field sits exactly at its columns: a line of distinct characters, where a field one
    // column off or one character longer or shorter reads different text.
    void caseFields()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QString, name);
        QString line;
        for (int i = 0; i < 300; ++i) {
            line += QChar(0x100 + i);
        }
        const OrbLine full(line);
        // Each field, and the view a job reads it through without a copy (where there is one).
        using Field = QString (OrbLine::*)() const;
        using View = QStringView (OrbLine::*)() const;
        const std::map<QString, std::pair<Field, View>> accessors = {
            { "account", { &OrbLine::account, &OrbLine::accountView } },
            { "debtorStatus", { &OrbLine::debtorStatus, &OrbLine::debtorStatusView } },
            { "name", { &OrbLine::name, &OrbLine::nameView } },
            { "address", { &OrbLine::address, &OrbLine::addressView } },
            { "postcode", { &OrbLine::postcode, nullptr } },
            { "town", { &OrbLine::town, nullptr } },
            { "province", { &OrbLine::province, nullptr } },
            { "taxCode", { &OrbLine::taxCode, nullptr } },
            { "phone1", { &OrbLine::phone1, nullptr } },
            { "phone2", { &OrbLine::phone2, nullptr } },
            { "company", { &OrbLine::company, &OrbLine::companyView } },
            { "subscriptionExpiry", { &OrbLine::subscriptionExpiry, &OrbLine::subscriptionExpiryView } },
            { "contractDate", { &OrbLine::contractDate, &OrbLine::contractDateView } },
            { "decoder1", { &OrbLine::decoder1, &OrbLine::decoder1View } },
            { "decoder2", { &OrbLine::decoder2, &OrbLine::decoder2View } },
            { "card1", { &OrbLine::card1, &OrbLine::card1View } },
            { "card2", { &OrbLine::card2, &OrbLine::card2View } },
            { "amountBand", { &OrbLine::amountBand, &OrbLine::amountBandView } },
            { "period", { &OrbLine::period, nullptr } },
            { "invoiceDate", { &OrbLine::invoiceDate, &OrbLine::invoiceDateView } },
            { "invoiceNumber", { &OrbLine::invoiceNumber, nullptr } },
            { "dueDate", { &OrbLine::dueDate, &OrbLine::dueDateView } },
        };
        const auto [get, view] = accessors.at(name);
        QCOMPARE((full.*get)(), line.mid(start - 1, length));
        if (view) {
            QCOMPARE((full.*view)().toString(), (full.*get)());
        }

        // Cut inside the field: only what is there. Cut before it: empty, not null.
        const OrbLine partial(line.left(start - 1 + length / 2));
        QCOMPARE((partial.*get)(), line.mid(start - 1, length / 2));
        const OrbLine before(line.left(start - 1));
        QCOMPARE((before.*get)(), QString());
        QVERIFY(!(before.*get)().isNull());
    }

    void amounts_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("field");
        QTest::addColumn<qint64>("hundredths");
        // Outstanding amount of a detail line, 88-102.
        QTest::newRow("fifteen zeros") << 88 << "000000000000000" << qint64(0);
        QTest::newRow("all blank") << 88 << "               " << qint64(0);
        QTest::newRow("123.45") << 88 << "000000000012345" << qint64(12345);
        QTest::newRow("negative") << 88 << "-00000000001000" << qint64(-1000);
        QTest::newRow("plus sign") << 88 << "+00000000000250" << qint64(250);
        QTest::newRow("blanks inside") << 88 << "  1 2 3        " << qint64(123);
        QTest::newRow("stops at a letter") << 88 << "0000012A0000099" << qint64(12);
        QTest::newRow("letters only") << 88 << "ABCDEFGHIJKLMNO" << qint64(0);
        QTest::newRow("largest") << 88 << "999999999999999" << qint64(999999999999999);
        // The security deposit, 240-247, and the total assigned, 27-41.
        QTest::newRow("deposit") << 240 << "00012345" << qint64(12345);
        QTest::newRow("deposit whole") << 240 << "00010000" << qint64(10000);
        QTest::newRow("assigned total") << 27 << "000000000099999" << qint64(99999);
    }
    void amounts()
    {
        QFETCH(int, start);
        QFETCH(QString, field);
        QFETCH(qint64, hundredths);
        // Neighbouring digits on both sides must not leak into the field.
        QString line = at(QString(300, QLatin1Char('7')), start, field);
        const OrbLine l(line);
        const Currency got = start == 88 ? l.outstanding() : start == 240 ? l.deposit() : l.assignedTotal();
        QCOMPARE(got, cents(hundredths));
    }

    void decimalPointAmount()
    {
        // "123.50" hundredths is 1.235 units: the point is kept before dividing by 100.
        const OrbLine l(at(QString(120, QLatin1Char(' ')), 88, QStringLiteral("000000000123.50")));
        QCOMPARE(l.outstanding(), Currency::fromRaw(12350));
    }

    void shortAmountField()
    {
        // A line that ends inside the amount reads the digits present: "00000000001" → 0.01.
        const OrbLine l(at(QString(87, QLatin1Char('x')), 88, QStringLiteral("00000000001")));
        QCOMPARE(l.outstanding(), Currency::fromRaw(100));
        const OrbLine none(QString(60, QLatin1Char('x')));
        QCOMPARE(none.outstanding(), Currency());
    }
};

QTEST_GUILESS_MAIN(TestOrbLine)
#include "TestOrbLine.moc"
