// The print file, line by line. Lines are gathered in a buffer and encoded in blocks: the file
// of a large batch runs to hundreds of megabytes.
#include "core/letters/PostelWriter.h"

#include "core/desk/Cp1252.h"
#include "core/desk/Formats.h"

#include <QIODevice>
#include <iterator>

namespace zb32 {

namespace {

// The letter; the placeholders @01..@09 are filled per debtor by the data items @I01..@I09.
// Blanks count: the service prints the lines as they stand.
const QString kTemplate[] = {
    QStringLiteral("@T"), QStringLiteral("!SPA -100;SPA 19"), QStringLiteral("N° contratto: @01"),
    QStringLiteral("Cod.Cliente : @02"), QString(), QStringLiteral("Gentile cliente"), QStringLiteral("!JUS"),
    QStringLiteral("la presente per informarLa che Dodadazevaz S.p.A. ha trasferito la Sua pratica alla nostra"),
    QStringLiteral(" società, che opera per il recupero crediti nei confronti dei clienti che manifestino"),
    QStringLiteral("morosità ai sensi dell'art. 35 del Regolamento del Servizio Idrico Integrato."),
    QStringLiteral("La informiamo inoltre, che i Suoi dati personali saranno da noi trattati, quali"),
    QStringLiteral("Responsabili del trattamento, nel pieno rispetto della normativa sulla privacy"),
    QStringLiteral("(D.Lgs. 196/2003)."),
    QStringLiteral("In nome e per conto di Dodadazevaz S.p.A. Le ribadiamo che il Suo debito ad oggi verso la"),
    QStringLiteral("suddetta Società è il seguente:"), QStringLiteral("!IMA"),
    QStringLiteral("Fatt. n. @O@03@o del @O@04@o di  @L: @O@05@o"),
    QStringLiteral("Fatt. n. @O@06@o del @O@07@o di  @L: @O@08@o"), QStringLiteral("Totale    @L: @O@09@o"),
    QStringLiteral("!JUS"), QString(),
    QStringLiteral("Il pagamento dovrà essere effettuato mediante bollettino postale, su C.C. postale"),
    QStringLiteral("n. 47152086, oppure su C.C. bancario n. 28431.57 presso Banca di Roma Ag. 410 LT 1"),
    QStringLiteral("ABI 03002 CAB 16903, in entrambi i casi con causale 'fatture n.   e n.     / G'"),
    QStringLiteral("Gli interessi di mora e le spese di recupero credito Le saranno addebitati con"),
    QStringLiteral("la successiva fatturazione di Dodadazevaz."),
    QStringLiteral("La informiamo, inoltre, che in caso di mancato pagamento Lei verrà contattato da un "),
    QStringLiteral("nostro incaricato al fine di giungere ad una risoluzione stragiudiziale della"),
    QStringLiteral("controversia."),
    QStringLiteral("Le ricordiamo che i suddetti incaricati sono dotati di un  tesserino di riconoscimento"),
    QStringLiteral("nominativo con foto. La invitiamo, pertanto, a verificare la loro identità chiamando"),
    QStringLiteral("il numero verde 800 085 850 di Dodadazevaz, dal Lunedì al Venerdì dalle 8.00 alle 19.00"),
    QStringLiteral("ed il Sabato dalle 8.00 alle 13.00."),
    QStringLiteral("Tale personale addetto NON è autorizzato ad incassare per contanti ma è, invece,"),
    QStringLiteral("autorizzato a certificare l'avvenuto pagamento o a facilitarLa nella compilazione dei"),
    QStringLiteral("moduli per il versamento alla posta o in banca, sui conti correnti sopra indicati."),
    QStringLiteral("Le ricordiamo altresì che nel caso in cui Lei sia debitore di n. 2 fatture, la società"),
    QStringLiteral("Dodadazevaz procederà alla sospensione del servizio presso la Sua utenza, ai sensi "),
    QStringLiteral("dell'art. 16 lett. c) del Regolamento del Servizio Idrico Integrato."),
    QStringLiteral("Per qualsiasi chiarimento, potrà contattarci al seguente numero: 06/58830417"),
    QStringLiteral("!IMA"), QStringLiteral("Distinti saluti"),
    QString(), // "Roma li, " and the date, written by writeTemplate
    QStringLiteral("!IMA"),
    QString(), // the signature, right-aligned to column 72
};
constexpr int kDateLine = 42;
constexpr int kSignatureLine = 44;
static_assert(std::size(kTemplate) == PostelWriter::kTemplateLines);

// The agency's codes with the service: customer, contract, service and product.
const QLatin1String kCustomerCode("Q0052718");
const QLatin1String kContractCode("MR418067");

// The three invoice items of each slot: number, date, amount.
const QLatin1String kItemTags[2][3] = {
    { QLatin1String("@I03"), QLatin1String("@I04"), QLatin1String("@I05") },
    { QLatin1String("@I06"), QLatin1String("@I07"), QLatin1String("@I08") },
};

QString dateText(const QDate& d)
{
    return d.isValid() ? shortDate(d) : QString();
}

} // namespace

const QString PostelWriter::kAgencyEmail = QStringLiteral("lettere@corvatservices.example");
const QString PostelWriter::kPostalAccount = QStringLiteral("47152086");

PostelWriter::PostelWriter(QIODevice* device)
    : m_device(device)
{
    m_buffer.reserve(kFlushChars + 4096);
}

QString PostelWriter::fileName(const QDate& today)
{
    return QStringLiteral("LO") + today.toString(QStringLiteral("ddMM")) + shortDate(today).right(2)
        + QStringLiteral(".ASC");
}

QString PostelWriter::codeAmount(const Currency& amount)
{
    QString text = amount.toGroupedText(0);
    QString code = Fill(text, 11, 0);
    const qsizetype comma = code.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        code[comma] = QLatin1Char('+');
    }
    return code;
}

void PostelWriter::writeHeader()
{
    line(QLatin1String(":R:VANTORE ERMELIND,0658830417,0658830472,"), kAgencyEmail);
    line(QLatin1String(":I:"));
    line(QLatin1String("//C "), kCustomerCode, kContractCode, QLatin1String("UKC"), QString(14, QLatin1Char(' ')),
        QLatin1String("BOLEUR1"));
    line(QLatin1String("//G L 01CARTACQU05172938"));
    line(QLatin1String("//G L 02CEEACQUA"));
    line(QLatin1String("//G F 01CARTAINT"));
    line(QLatin1String("//G F 02VANTORE"));
}

void PostelWriter::writeTemplate(const QDate& today)
{
    for (int i = 0; i < kTemplateLines; ++i) {
        if (i == kDateLine) {
            line(QLatin1String("Roma li, "), shortDate(today));
        } else if (i == kSignatureLine) {
            line(QString(53, QLatin1Char(' ')), QLatin1String("Corvat Services Spa"));
        } else {
            line(kTemplate[i]);
        }
    }
}

void PostelWriter::writeAddress(const PostelCase& c)
{
    line(QLatin1String("@A"), Filla(c.ragioneSociale, 35), QLatin1String(" ["), c.tipoMandato, QLatin1String("]"));
    line(c.indirizzo);
    if (c.cap) {
        line(*c.cap, QLatin1String(" "), Filla(c.citta, 35), QLatin1String(" "), c.provincia);
    } else {
        line(Filla(c.citta, 35), QLatin1String(" "), c.provincia);
    }
    line(QLatin1String("@I01"), c.altroriferimento);
    line(QLatin1String("@I02"), c.assignmentId);
}

void PostelWriter::writeInvoiceItems(int slot, const PostelInvoice* invoice)
{
    const QLatin1String* tags = kItemTags[slot == 0 ? 0 : 1];
    if (!invoice) {
        line(tags[0]);
        line(tags[1]);
        line(tags[2]);
        return;
    }
    line(tags[0], invoice->numeroFattura);
    line(tags[1], dateText(invoice->dataFattura));
    line(tags[2], FormSoldi(invoice->saldo));
}

void PostelWriter::writeTotal(const PostelCase& c)
{
    line(QLatin1String("@I09"), FormSoldi(c.importoTotale));
}

void PostelWriter::writeSlipsStart()
{
    line(QLatin1String("@T"));
}

void PostelWriter::writeSlip(const PostelCase& c, const PostelInvoice& invoice, bool firstPage)
{
    const QString amount = FormSoldi(invoice.saldo);
    const QString name = c.ragioneSociale.left(30);
    const QString street = c.indirizzo.left(56);
    QString account = kPostalAccount;
    const QString accountCode = Fill(account, 8, 0);

    line(firstPage ? QLatin1String("!NEW 2;TEX 6;INL 5;TEX 7;TOP;SPA 29")
                   : QLatin1String("!NEW 2;INL 0;TEX 6;INL 5;TEX 7;TOP;SPA 29"));
    line(QLatin1String("@-@?34 "), amount, QLatin1String("@?50 "), amount, QLatin1String("@+"));
    line(QLatin1String("!TOP;SPA 38"));
    line(QLatin1String("@>@+@?52"), invoice.periodo, QLatin1String("@<@-"));
    line(QLatin1String("!TEX 6;TOP;SPA 1;INL 15"));
    line(Filla(c.altroriferimento, 10), QLatin1String("@?20 "));
    line(QLatin1String("1         @?20 "));
    line(Filla(dateText(invoice.dataScadenza), 10), QLatin1String("@?20 "));
    line(QLatin1String(" @?20 "), amount);
    line(QLatin1String(" @?20"), amount, QLatin1String("@?20"));
    line(QLatin1String("!TOP;INL 0;INL 5;SPA 32"));
    line(QLatin1String("        "), name);
    line(street);
    line(QLatin1String("        "), c.citta);
    line(QLatin1String("!SPA 4"));
    line(QLatin1String("@?87"), name);
    line(QLatin1String("@?87"), street);
    line(QLatin1String("@?87"), c.citta);
    line(QLatin1String("!SPA -10"));
    line(QLatin1String("@?87 fattura n."), invoice.numeroFattura);
    line(QLatin1String("!TEX 7;BOT"));
    line(QLatin1String("@+@?51<"), invoice.periodo, QLatin1String(">@?10"), codeAmount(invoice.saldo),
        QLatin1String(">@?03"), accountCode, QLatin1String("<@?02896>@-"));
}

void PostelWriter::blankControls(qsizetype start)
{
    QChar* c = m_buffer.data();
    for (qsizetype i = start; i < m_buffer.size(); ++i) {
        if (c[i].unicode() < 0x20) {
            c[i] = QLatin1Char(' ');
        }
    }
}

void PostelWriter::writeEnd(qint64 letters)
{
    line(QLatin1String("@E"), QString::number(letters));
}

void PostelWriter::writeLetter(const PostelCase& c, const QList<PostelInvoice>& invoices, bool slips)
{
    writeAddress(c);
    writeInvoiceItems(0, invoices.size() > 0 ? &invoices[0] : nullptr);
    writeInvoiceItems(1, invoices.size() > 1 ? &invoices[1] : nullptr);
    writeTotal(c);
    if (slips) {
        writeSlipsStart();
        for (qsizetype i = 0; i < invoices.size(); ++i) {
            writeSlip(c, invoices[i], i == 0);
        }
    }
}

bool PostelWriter::flush(QString* error)
{
    if (m_error.isEmpty() && !m_buffer.isEmpty()) {
        const QByteArray bytes = Cp1252::encode(m_buffer);
        // A device may take part of a block; what it refuses outright is the error.
        for (qint64 done = 0; done < bytes.size();) {
            const qint64 n = m_device->write(bytes.constData() + done, bytes.size() - done);
            if (n <= 0) {
                m_error = m_device->errorString();
                if (m_error.isEmpty()) {
                    m_error = QStringLiteral("scrittura non riuscita");
                }
                break;
            }
            done += n;
        }
    }
    m_buffer.resize(0); // keeps the capacity for the next block
    if (!m_error.isEmpty() && error) {
        *error = m_error;
    }
    return m_error.isEmpty();
}

} // namespace zb32
