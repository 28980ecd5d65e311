// Input lines of the text jobs.
#include "JobFiles.h"

#include "CliSupport.h"
#include "core/desk/Schema.h"

namespace zb32::test {

QString orbA01(const OrbDebtor& d)
{
    return FixedLine()
        .put(1, 2, QStringLiteral("01"))
        .put(3, 3, QStringLiteral("A01"))
        .put(6, 6, QStringLiteral("000001"))
        .put(12, 15, d.account)
        .put(27, 12, d.status)
        .put(39, 40, d.name)
        .put(79, 40, d.address)
        .put(119, 5, d.cap)
        .put(124, 40, d.town)
        .put(164, 2, d.province)
        .put(166, 16, d.taxCode)
        .put(182, 14, d.phone1)
        .put(196, 14, d.phone2)
        .put(210, 30, d.company)
        .put(240, 8, d.deposit)
        .put(248, 12, d.expiry)
        .text();
}

QString orbA02(const OrbContract& c)
{
    return FixedLine()
        .put(1, 2, QStringLiteral("01"))
        .put(3, 3, QStringLiteral("A02"))
        .put(27, 8, c.date)
        .put(35, 102, QStringLiteral("non letto"))
        .put(137, 15, c.decoder1)
        .put(152, 15, c.decoder2)
        .put(167, 15, c.card1)
        .put(182, 15, c.card2)
        .text();
}

QString orbR01(const QString& cents, const QString& band)
{
    return FixedLine()
        .put(1, 2, QStringLiteral("01"))
        .put(3, 3, QStringLiteral("R01"))
        .put(27, 15, cents.rightJustified(15, QLatin1Char('0')))
        .put(42, 2, band)
        .text();
}

QString orbDetail(const OrbInvoice& f)
{
    return FixedLine()
        .put(1, 2, QStringLiteral("01"))
        .put(3, 3, QStringLiteral("F01"))
        .put(27, 8, QStringLiteral("00000000"))
        .put(35, 15, f.period)
        .put(50, 8, f.date)
        .put(58, 15, f.number)
        .put(73, 15, QStringLiteral("non letto"))
        .put(88, 15, f.cents.rightJustified(15, QLatin1Char('0')))
        .put(103, 8, f.due)
        .text();
}

QStringList orbCase(int n)
{
    const QString id = QString::number(n);
    OrbDebtor d;
    d.account = QStringLiteral("ORB-") + id;
    d.name = QStringLiteral("Debitore ") + id;
    OrbInvoice first;
    first.number = QStringLiteral("FT-%1-1").arg(n);
    first.cents = QString::number(10000 + n);
    OrbInvoice second;
    second.number = QStringLiteral("FT-%1-2").arg(n);
    second.cents = QString::number(2000 + n);
    second.date = QStringLiteral("15022024");
    second.due = QStringLiteral("15032024");
    return { orbA01(d), orbA02(OrbContract()), orbR01(QString::number(12000 + 2 * n)), orbDetail(first),
        orbDetail(second) };
}

namespace {

FixedLine viDiruStart(const QString& code)
{
    return FixedLine().put(1, 10, QStringLiteral("0000000001")).put(11, 8, code);
}

} // namespace

QString viDiruHeader(const ViDiruDebtor& d)
{
    return viDiruStart(QStringLiteral("IBGI0001"))
        .put(19, 10, d.numero)
        .put(29, 37, QStringLiteral("non letto"))
        .put(66, 32, d.altroriferimento)
        .put(98, 10, QStringLiteral("CL-9"))
        .put(108, 35, d.cliente)
        .put(143, 45, QStringLiteral("non letto"))
        .put(188, 10, d.codiceContratto)
        .put(198, 35, d.contratto)
        .put(233, 50, d.name)
        .put(283, 16, d.taxCode)
        .put(299, 10, d.birthDate)
        .put(309, 30, d.birthPlace)
        .put(339, 35, d.memo)
        .put(374, 50, d.address)
        .put(424, 8, d.cap)
        .put(432, 35, d.town)
        .put(467, 2, d.province)
        .put(469, 50, d.recapito)
        .put(519, 12, d.phone1)
        .put(531, 12, d.phone2)
        .text();
}

QString viDiruNote(const QString& text)
{
    return viDiruStart(QStringLiteral("IBGI0004")).text() + text;
}

QString viDiruComponent(const QString& description, const QString& amount)
{
    return viDiruStart(QStringLiteral("IBGI0007")).put(19, 35, description).putRight(58, 13, amount).text();
}

QString viDiruTotal(const QString& amount)
{
    return viDiruStart(QStringLiteral("IBGI0008")).putRight(19, 13, amount).text();
}

QString viDiruInstalment(const QString& number, const QString& due, const QString& amount, const QString& reference)
{
    return viDiruStart(QStringLiteral("IBGI0011"))
        .put(19, 2, number)
        .put(21, 10, due)
        .put(31, 35, QStringLiteral("Fattura"))
        .putRight(66, 13, amount)
        .put(79, 40, reference)
        .text();
}

QStringList viDiruCase(int n)
{
    ViDiruDebtor d;
    d.numero = QString::number(500 + n);
    d.altroriferimento = QStringLiteral("VD-%1").arg(n);
    d.name = QStringLiteral("Debitore %1").arg(n);
    return { viDiruHeader(d), viDiruNote(QStringLiteral("prima nota %1").arg(n)),
        viDiruComponent(QStringLiteral("Sorte capitale"), QStringLiteral("%1,50").arg(100 + n)),
        viDiruComponent(QStringLiteral("Spese legali"), QStringLiteral("12,30")),
        viDiruTotal(QStringLiteral("%1,80").arg(112 + n)),
        viDiruInstalment(QStringLiteral("01"), QStringLiteral("31/01/2024"), QStringLiteral("%1,25").arg(50 + n),
            QStringLiteral("RATA-%1-1").arg(n)),
        viDiruInstalment(QStringLiteral("02"), QStringLiteral("29/02/2024"), QStringLiteral("%1,25").arg(50 + n),
            QStringLiteral("RATA-%1-2").arg(n)) };
}

QString collectionLine(const CollectionRecord& r)
{
    return FixedLine()
        .put(1, 7, QStringLiteral("ORB0001"))
        .put(8, 9, r.position.rightJustified(9, QLatin1Char('0')))
        .put(17, 10, r.invoice)
        .put(27, 4, QStringLiteral("XXXX"))
        .put(31, 8, QString::number(r.cents).rightJustified(8, QLatin1Char('0')))
        .put(39, 8, QStringLiteral("YYYYYYYY"))
        .put(47, 8, r.date)
        .put(55, 6, QStringLiteral("ZZZZZZ"))
        .put(61, 3, r.code)
        .put(64, 20, r.reference)
        .text();
}

void addCases(TestDatabase& tdb, const QStringList& positions)
{
    for (const QString& position : positions) {
        tdb.insert(Schema::kCases, confirmationCase(position));
    }
}

void addCollectionCases(TestDatabase& tdb, int count)
{
    QStringList positions;
    for (int i = 1; i <= count; ++i) {
        positions << QString::number(1000 + i);
    }
    addCases(tdb, positions);
}

QString collectionRecord(int n)
{
    CollectionRecord r;
    r.position = QString::number(1001 + n % 4);
    r.cents = 1500 + 100 * n;
    r.invoice = QStringLiteral("FT-%1").arg(n);
    r.reference = QStringLiteral("RIF-%1").arg(n);
    static const QString codes[] = { QStringLiteral("350"), QStringLiteral("362"), QStringLiteral("350"),
        QStringLiteral("37"), QStringLiteral("36") };
    r.code = codes[n % 5];
    return collectionLine(r);
}

} // namespace zb32::test
