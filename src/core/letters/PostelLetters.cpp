// The letter run: one reminder letter per case of a batch, in the print file of the day.
#include "core/letters/PostelLetters.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Formats.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/desk/Sha256.h"
#include "core/jobs/ImportRegister.h"
#include "core/jobs/Stopwatch.h"
#include "core/letters/PostelWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
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

// The case and invoice of the current row; a value that does not convert stops the run with
// the field named.
bool readCase(const Recordset& row, PostelCase* c, QString* error)
{
    c->key = row.key();
    c->posizione = row.text(QStringLiteral("posizione"));
    c->tipoMandato = row.text(QStringLiteral("Tipo Mandato"));
    c->ragioneSociale = row.text(QStringLiteral("ragione sociale"));
    c->indirizzo = row.text(QStringLiteral("Indirizzo"));
    const QString cap = QStringLiteral("Cap");
    c->cap = row.isNull(cap) ? std::nullopt : std::optional<QString>(row.text(cap));
    c->citta = row.text(QStringLiteral("Citta"));
    c->provincia = row.text(QStringLiteral("Provincia"));
    c->altroriferimento = row.text(QStringLiteral("altroriferimento"));
    c->assignmentId = row.text(QStringLiteral("Assignment_id"));
    return row.currency(QStringLiteral("importo totale"), &c->importoTotale, error);
}

bool readInvoice(const Recordset& row, PostelInvoice* f, QString* error)
{
    f->numeroFattura = row.text(QStringLiteral("numero fattura"));
    f->periodo = row.text(QStringLiteral("periodo"));
    return row.date(QStringLiteral("data fattura"), &f->dataFattura, error)
        && row.currency(QStringLiteral("saldo"), &f->saldo, error)
        && row.date(QStringLiteral("data scadenza"), &f->dataScadenza, error);
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
    // The batch number is the integer the box starts with ("12abc" is 12, "1 or 1=1" is 1); 0
    // means there is none, and one past 64 bits matches no batch.
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
    QElapsedTimer runTimer;
    runTimer.start();
    qint64 registerNs = 0;
    // A batch still being imported, or stopped half-way, would give the letters of part of it.
    ImportRegister reg(ctx.db);
    {
        const Stopwatch watch(&registerNs);
        ImportRegister::Earlier unfinished;
        QString importFile;
        QString why;
        if (!reg.unfinishedImport(lotto, ctx.report.now(), &unfinished, &importFile, &why)) {
            file.cancelWriting();
            const QString text = QStringLiteral("Lettere Postel non create: il registro delle importazioni non si "
                                                "legge: %1")
                                     .arg(why);
            ctx.report.error(text);
            return JobResult::failed(text);
        }
        if (unfinished.run > 0) {
            file.cancelWriting();
            const bool running = unfinished.state == ImportRegister::State::Running;
            ctx.report.message(
                QStringLiteral("Lettere Postel non create: l'importazione del lotto %1 dal file %2 "
                               "(iniziata il %3 alle %4 da %5) %6. Concluderla prima di creare le "
                               "lettere.")
                    .arg(QString::number(lotto), importFile, shortDate(unfinished.start.date()),
                        unfinished.start.toString(QStringLiteral("HH:mm")), unfinished.workstation,
                        running ? QStringLiteral("è in corso")
                                : QStringLiteral("si è fermata dopo la riga %1").arg(unfinished.lastLineSaved)));
            return JobResult::condition();
        }
    }
    // Recorded once it ends; a database that cannot take the row (read only) still gets its letters.
    auto record = [&](ImportRegister::State state, qint64 letters, const QString& message) {
        const Stopwatch watch(&registerNs);
        QFile written(path);
        Sha256 sha;
        ImportRegister::Run run { ctx.job, QFileInfo(path).fileName(), 0, {} };
        if (state == ImportRegister::State::Completed && written.open(QIODevice::ReadOnly) && sha.addData(&written)) {
            run.size = written.size();
            run.sha256 = sha.hexResult();
        }
        QString ignored;
        reg.recordLetters(run, ctx.batch, letters, state, message, ctx.report.now(), &ignored);
    };

    auto fail = [&](const QString& reason, const PostelCase* c) {
        file.cancelWriting();
        const QString where = c
            ? QStringLiteral("File %1, pratica %2 (contatore %3)").arg(shownPath, c->posizione).arg(c->key)
            : QStringLiteral("File %1").arg(shownPath);
        const QString text = QStringLiteral("Lettere Postel non create. %1: %2").arg(where, reason);
        record(ImportRegister::State::Stopped, 0, text);
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
        Recordset row(ctx.db, Schema::kCases, { Schema::kInvoices });
        const QString sql = kSelection.arg(ctx.batch.chkTest ? kTestNarrowing : QString());
        QVariantList values { lotto };
        if (ctx.batch.chkTest) {
            values << kTestCase;
        }
        QString why;
        if (!row.open(sql, values, &why, Recordset::Mode::ForwardOnly)) {
            return fail(why, nullptr);
        }

        LetterStream letter(writer, ctx.batch.cc);
        auto endLetter = [&] {
            letter.end();
            ++letters;
            ctx.report.setCaption(QString::number(letters));
        };
        while (!row.eof()) {
            const qint64 key = row.key();
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
            if (!row.isNull(QStringLiteral("ID"))) {
                PostelInvoice invoice;
                if (!readInvoice(row, &invoice, &why)) {
                    return fail(why, &letter.current());
                }
                letter.addInvoice(invoice);
            }
            if (!row.moveNext(&why)) {
                return fail(why, letter.isOpen() ? &letter.current() : nullptr);
            }
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
    const QString closing = QStringLiteral("Creati %1 Postel nel file %2").arg(letters).arg(shownPath);
    record(ImportRegister::State::Completed, letters, closing);
    qCInfo(lcTiming, "%s: register %.3f s of %.3f s, %.1f %%", qUtf8Printable(ctx.job), registerNs / 1e9,
        runTimer.nsecsElapsed() / 1e9, 100.0 * registerNs / std::max<qint64>(1, runTimer.nsecsElapsed()));
    ctx.report.message(closing);
    return JobResult::completed();
}

} // namespace zb32
