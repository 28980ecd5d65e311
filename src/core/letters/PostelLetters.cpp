// The letter run: one reminder letter per case of a batch, in the print file of the day.
#include "core/letters/PostelLetters.h"

#include "core/letters/PostelWriter.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Formats.h"

#include <QDir>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <limits>

namespace zb32 {

namespace {

const QString kTestCase = QStringLiteral("31758/2003");

// One ordered pass over the batch's cases and their invoices, so the run costs one query
// however many cases there are. A case without invoices comes once, with empty invoice
// columns; the invoices of a case come together, oldest first (undated last, on every
// database alike), then by key, so the letter and its slips agree and a rerun is identical.
const QString kSelection = QStringLiteral(
    "Select p.contatore, p.posizione, p.[Tipo Mandato], p.[ragione sociale], p.Indirizzo, p.Cap, p.Citta, "
    "p.Provincia, p.altroriferimento, p.Assignment_id, p.[importo totale], "
    "f.ID, f.[numero fattura], f.[data fattura], f.saldo, f.periodo, f.[data scadenza] "
    "From [tabella pratiche] p Left Join [tabella fatture] f On f.conta = p.contatore "
    "Where p.lottoimportazione = ?%1 "
    "Order By p.contatore, Case When f.[data fattura] Is Null Then 1 Else 0 End, f.[data fattura], f.ID");
const QString kTestNarrowing = QStringLiteral(" And p.posizione = ?");

enum Column {
    Contatore,
    Posizione,
    TipoMandato,
    RagioneSociale,
    Indirizzo,
    Cap,
    Citta,
    Provincia,
    Altroriferimento,
    AssignmentId,
    ImportoTotale,
    InvoiceId,
    NumeroFattura,
    DataFattura,
    Saldo,
    Periodo,
    DataScadenza,
};

// Field values of the current row, converted the way the letter prints them; a value that
// does not convert stops the run with the field named.
class RowReader
{
public:
    explicit RowReader(const QSqlQuery& query)
        : m_q(query)
    { }

    QString text(int column) const
    {
        const QVariant v = m_q.value(column);
        return v.isNull() ? QString() : v.toString();
    }

    std::optional<QString> nullableText(int column) const
    {
        const QVariant v = m_q.value(column);
        return v.isNull() ? std::nullopt : std::optional<QString>(v.toString());
    }

    // Null reads as 0.
    bool currency(int column, const char* field, Currency* out, QString* error) const
    {
        const QVariant v = m_q.value(column);
        if (v.isNull()) {
            *out = Currency();
            return true;
        }
        bool ok = false;
        *out = Currency::fromVariant(v, &ok);
        return ok || refuse(v, field, QStringLiteral("un importo"), error);
    }

    // Null reads as an invalid date.
    bool date(int column, const char* field, QDate* out, QString* error) const
    {
        const QVariant v = m_q.value(column);
        *out = QDate();
        if (v.isNull()) {
            return true;
        }
        if (v.typeId() == QMetaType::QDate) {
            *out = v.toDate();
        } else if (v.typeId() == QMetaType::QDateTime) {
            *out = v.toDateTime().date();
        } else {
            // SQLite keeps dates as ISO text; a date typed in by hand may be dd/MM/yyyy.
            *out = parseDate(v.toString(), DateForm::IsoPrefix);
        }
        return out->isValid() || refuse(v, field, QStringLiteral("una data"), error);
    }

    bool key(int column, qint64* out, QString* error) const
    {
        const QVariant v = m_q.value(column);
        bool ok = false;
        *out = v.toLongLong(&ok);
        return ok || refuse(v, "contatore", QStringLiteral("un numero"), error);
    }

private:
    static bool refuse(const QVariant& v, const char* field, const QString& what, QString* error)
    {
        *error = QStringLiteral("il valore \"%1\" del campo %2 non è %3 valido")
                     .arg(v.toString(), QString::fromUtf8(field), what);
        return false;
    }

    const QSqlQuery& m_q;
};

bool readCase(const RowReader& row, PostelCase* c, QString* error)
{
    if (!row.key(Contatore, &c->key, error)) {
        return false;
    }
    c->posizione = row.text(Posizione);
    c->tipoMandato = row.text(TipoMandato);
    c->ragioneSociale = row.text(RagioneSociale);
    c->indirizzo = row.text(Indirizzo);
    c->cap = row.nullableText(Cap);
    c->citta = row.text(Citta);
    c->provincia = row.text(Provincia);
    c->altroriferimento = row.text(Altroriferimento);
    c->assignmentId = row.text(AssignmentId);
    return row.currency(ImportoTotale, "importo totale", &c->importoTotale, error);
}

bool readInvoice(const RowReader& row, PostelInvoice* f, QString* error)
{
    f->numeroFattura = row.text(NumeroFattura);
    f->periodo = row.text(Periodo);
    return row.date(DataFattura, "data fattura", &f->dataFattura, error)
        && row.currency(Saldo, "saldo", &f->saldo, error)
        && row.date(DataScadenza, "data scadenza", &f->dataScadenza, error);
}

// The letter being written. The first two invoices wait for the data block, which needs to
// know whether there is a second; every later one goes straight onto its slip page, so a case
// with any number of invoices keeps two in memory.
class LetterStream
{
public:
    LetterStream(PostelWriter& writer, bool slips)
        : m_writer(writer)
        , m_slips(slips)
    { }

    bool isOpen() const { return m_open; }
    const PostelCase& current() const { return m_case; }

    void begin(const PostelCase& c)
    {
        m_case = c;
        m_held = 0;
        m_itemsWritten = false;
        m_open = true;
        m_writer.writeAddress(m_case);
    }

    void addInvoice(const PostelInvoice& invoice)
    {
        if (m_held < 2) {
            m_invoices[m_held++] = invoice;
            return;
        }
        writeItems();
        if (m_slips) {
            m_writer.writeSlip(m_case, invoice, false);
        }
    }

    void end()
    {
        writeItems();
        m_open = false;
    }

private:
    void writeItems()
    {
        if (m_itemsWritten) {
            return;
        }
        m_writer.writeInvoiceItems(0, m_held > 0 ? &m_invoices[0] : nullptr);
        m_writer.writeInvoiceItems(1, m_held > 1 ? &m_invoices[1] : nullptr);
        m_writer.writeTotal(m_case);
        if (m_slips) {
            m_writer.writeSlipsStart();
            for (int i = 0; i < m_held; ++i) {
                m_writer.writeSlip(m_case, m_invoices[i], i == 0);
            }
        }
        m_itemsWritten = true;
    }

    PostelWriter& m_writer;
    bool m_slips;
    bool m_open = false;
    bool m_itemsWritten = false;
    PostelCase m_case;
    PostelInvoice m_invoices[2];
    int m_held = 0;
};

} // namespace

JobResult PostelDodadAzevaz(JobContext& ctx)
{
    const qint64 lotto = leadingInteger(ctx.batch.Text1[3], OutOfRange::Saturate);
    if (lotto == 0) {
        ctx.report.message(QStringLiteral("Manca lotto"));
        return JobResult::condition();
    }

    // The file is written under a temporary name beside the final one and takes its place only
    // when every letter is in it: a run that fails leaves the day's earlier file as it was.
    const QString path = resolveDrivePath(kPostelFolder + PostelWriter::fileName(ctx.report.today()));
    const QString shownPath = QDir::toNativeSeparators(path);
    QSaveFile file(path);
    // Unbuffered: the writer buffers already, and a write that fails (a full disk) must fail
    // where it is made. A buffer of the file's own would meet the failure only when commit()
    // empties it, and commit() does not report that, so a file cut short would take the place
    // of the earlier one as if it were whole.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        ctx.report.message(file.errorString() + QStringLiteral("\r\nper il file ") + shownPath);
        return JobResult::condition();
    }

    JobResult result;
    if (!openDatabase(ctx, &result)) {
        return result;
    }

    auto fail = [&](const QString& reason, const PostelCase* c) {
        file.cancelWriting();
        const QString where = c
            ? QStringLiteral("File %1, pratica %2 (contatore %3)").arg(shownPath, c->posizione).arg(c->key)
            : QStringLiteral("File %1").arg(shownPath);
        const QString text = QStringLiteral("Lettere Postel non create. %1: %2").arg(where, reason);
        ctx.report.error(text);
        return JobResult::failed(text);
    };

    PostelWriter writer(&file);
    writer.writeHeader();
    writer.writeTemplate(ctx.report.today());

    qint64 letters = 0;
    // A batch number beyond 32 bits names no batch: the selection is empty without asking.
    const bool selectable = lotto >= std::numeric_limits<qint32>::min() && lotto <= std::numeric_limits<qint32>::max();
    if (selectable) {
        QSqlQuery query(ctx.db.database());
        query.setForwardOnly(true);
        const QString sql = kSelection.arg(ctx.batch.chkTest ? kTestNarrowing : QString());
        if (!query.prepare(ctx.db.dialect().translate(sql))) {
            return fail(query.lastError().text(), nullptr);
        }
        query.addBindValue(lotto);
        if (ctx.batch.chkTest) {
            query.addBindValue(kTestCase);
        }
        if (!query.exec()) {
            return fail(query.lastError().text(), nullptr);
        }

        const RowReader row(query);
        LetterStream letter(writer, ctx.batch.cc);
        QString why;
        auto endLetter = [&] {
            letter.end();
            ++letters;
            ctx.report.setCaption(QString::number(letters));
        };
        while (query.next()) {
            qint64 key = -1;
            if (!row.key(Contatore, &key, &why)) {
                return fail(why, letter.isOpen() ? &letter.current() : nullptr);
            }
            if (!letter.isOpen() || key != letter.current().key) {
                if (letter.isOpen()) {
                    endLetter();
                    if (!writer.ok()) {
                        return fail(writer.errorString(), nullptr);
                    }
                }
                PostelCase c;
                if (!readCase(row, &c, &why)) {
                    return fail(why, &c);
                }
                letter.begin(c);
            }
            if (!query.isNull(InvoiceId)) {
                PostelInvoice invoice;
                if (!readInvoice(row, &invoice, &why)) {
                    return fail(why, &letter.current());
                }
                letter.addInvoice(invoice);
            }
        }
        if (query.lastError().isValid()) {
            return fail(query.lastError().text(), letter.isOpen() ? &letter.current() : nullptr);
        }
        if (letter.isOpen()) {
            endLetter();
        }
    }

    writer.writeEnd(letters);
    QString why;
    if (!writer.flush(&why)) {
        return fail(why, nullptr);
    }
    if (!file.commit()) {
        return fail(file.errorString(), nullptr);
    }
    ctx.report.message(QStringLiteral("Creati %1 Postel nel file %2").arg(letters).arg(shownPath));
    return JobResult::completed();
}

} // namespace zb32
