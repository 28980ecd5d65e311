// The letter tests' batch.
#include "PostelFixture.h"

#include "core/desk/Schema.h"

#include <QDate>
#include <QDir>
#include <QFile>

namespace zb32::test {

namespace {

using Fields = QVariantMap;

qint64 addCase(TestDatabase& tdb, int lotto, Fields fields)
{
    fields.insert(QStringLiteral("lottoimportazione"), lotto);
    return tdb.insert(Schema::kCases, fields);
}

void addInvoice(TestDatabase& tdb, qint64 conta, Fields fields)
{
    fields.insert(QStringLiteral("conta"), conta);
    tdb.insert(Schema::kInvoices, fields);
}

} // namespace

void insertPostelBatch(TestDatabase& tdb)
{
    // "Ł" is outside the file's code page, the dash inside it.
    addCase(tdb, 1,
        { { "posizione", "1001/2020" }, { "Tipo Mandato", "DODAD" },
            { "ragione sociale", QString::fromUtf8("ŁUKASZ ROSSI") },
            { "indirizzo", QString::fromUtf8("VIA DELL'ACQUEDOTTO FELICE 12 – INT. 4") }, { "cap", "00183" },
            { "citta", "ROMA" }, { "provincia", "RM" }, { "altroriferimento", "CTR0001" },
            { "Assignment_id", "CL0001" }, { "importo totale", "0" } });

    const qint64 other = addCase(tdb, 2, { { "posizione", "2001/2020" }, { "ragione sociale", "ALTRO LOTTO" } });
    addInvoice(tdb, other, { { "numero fattura", "X1" }, { "data fattura", "01/01/2020" }, { "saldo", "10" } });

    const qint64 c2 = addCase(tdb, 1,
        { { "posizione", "1002/2020" }, { "Tipo Mandato", "DODAD" },
            { "ragione sociale", "CONDOMINIO VIALE DEI CASTELLI ROMANI 145 SCALA B" },
            { "indirizzo",
                "VIALE DEI CASTELLI ROMANI 145 SCALA B INTERNO 7 PRESSO "
                "AMMINISTRAZIONE BIANCHI" },
            { "cap", "00047" }, { "citta", "MARINO" }, { "provincia", "RM" }, { "altroriferimento", "CTR000000002" },
            { "Assignment_id", "CL0002" }, { "importo totale", "950" } });
    addInvoice(tdb, c2,
        { { "numero fattura", "F2020/118" }, { "data fattura", "15/03/2020" }, { "saldo", "950" },
            { "periodo", "01/2020" }, { "data scadenza", "15/04/2020" } });

    const qint64 c3 = addCase(tdb, 1,
        { { "posizione", "31758/2003" }, { "Tipo Mandato", "DODAD" }, { "ragione sociale", "BIANCHI ANNA" },
            { "indirizzo", "PIAZZA GARIBALDI 3" }, { "cap", "04100" }, { "citta", "LATINA" }, { "provincia", "LT" },
            { "altroriferimento", "CTR0003" }, { "Assignment_id", "CL0003" }, { "importo totale", "1.235.789,89" } });
    // Newest first: the letter must not take them in the order they were stored.
    addInvoice(tdb, c3,
        { { "numero fattura", "F2021/600" }, { "data fattura", "10/06/2021" }, { "saldo", "1.234.567,89" },
            { "periodo", "03/2021" }, { "data scadenza", "10/07/2021" } });
    addInvoice(tdb, c3,
        { { "numero fattura", "NC2021/30" }, { "data fattura", "10/03/2021" }, { "saldo", "-12,5" },
            { "periodo", "02/2021" }, { "data scadenza", "10/04/2021" } });
    addInvoice(tdb, c3,
        { { "numero fattura", "F2021/100" }, { "data fattura", "10/01/2021" }, { "saldo", "1.234,5" },
            { "periodo", "01/2021" }, { "data scadenza", "10/02/2021" } });

    addCase(tdb, 11, { { "posizione", "1101/2020" }, { "ragione sociale", "LOTTO UNDICI" } });

    const qint64 c4 = addCase(
        tdb, 1, { { "posizione", "1004/2020" }, { "ragione sociale", "VERDI LUIGI" }, { "indirizzo", "VIA ROMA 1" } });
    addInvoice(tdb, c4, {});

    const qint64 c5 = addCase(tdb, 1,
        { { "posizione", "1005/2020" }, { "Tipo Mandato", "DODAD" }, { "ragione sociale", "NERI SPA" },
            { "cap", "00100" }, { "citta", "ROMA" }, { "provincia", "RM" }, { "altroriferimento", "CTR0005" },
            { "Assignment_id", "CL0005" }, { "importo totale", "600" } });
    addInvoice(tdb, c5,
        { { "numero fattura", "F2022/3" }, { "saldo", "300" }, { "periodo", "03/2022" },
            { "data scadenza", "01/04/2022" } });
    addInvoice(tdb, c5,
        { { "numero fattura", "F2022/2" }, { "data fattura", "01/02/2022" }, { "saldo", "200" },
            { "periodo", "02/2022" }, { "data scadenza", "01/03/2022" } });
    addInvoice(tdb, c5,
        { { "numero fattura", "F2022/1" }, { "data fattura", "01/02/2022" }, { "saldo", "100" },
            { "periodo", "02/2022" }, { "data scadenza", "01/03/2022" } });
}

QByteArray expectedPrintFile(const QString& name)
{
    QFile f(
        qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/postel/") + name + QStringLiteral("/expected.ASC"));
    if (!f.open(QIODevice::ReadOnly)) {
        qFatal("missing expected file %s", qPrintable(f.fileName()));
    }
    return f.readAll();
}

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace zb32::test
