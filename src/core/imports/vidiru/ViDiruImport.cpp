// The Vi Diru case import: one case per header, its notes and amounts, one invoice per instalment.
#include "core/imports/vidiru/ViDiruImport.h"

#include "core/imports/vidiru/ViDiruRecords.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Formats.h"
#include "core/desk/LineReader.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/desk/WriteBatch.h"

#include <QFile>
#include <QFileInfo>
#include <memory>

namespace zb32 {

namespace {

// The platform reports the read position of a text file in blocks of this many bytes.
constexpr qint64 kProgressBlock = 128;

// The batch fields stamped on every case, in the order they are written.
constexpr int kStampCount = 6;
const QString kStampFields[kStampCount] = {
    QStringLiteral("Tipo Mandato"),
    QStringLiteral("data Affido"),
    QStringLiteral("scadenza mandato"),
    QStringLiteral("Tipo Intervento"),
    QStringLiteral("Situazione Affido"),
    QStringLiteral("lottoimportazione"),
};

class ViDiruRun
{
public:
    ViDiruRun(JobContext& ctx, const QString& path)
        : m_ctx(ctx)
        , m_path(path)
        , m_cases(ctx.db, Schema::kCases)
        , m_invoices(ctx.db, Schema::kInvoices)
        , m_clienti(leadingInteger(ctx.batch.Scheda4, OutOfRange::Zero))
        , m_fatture(leadingInteger(ctx.batch.Scheda0, OutOfRange::Zero))
        , m_savedClienti(m_clienti)
        , m_savedFatture(m_fatture)
    { }

    JobResult exec();

private:
    // Whether a line changes anything: unknown codes, "IBGI0005" and short components or
    // instalments are passed over.
    static bool writes(ViDiruCode code, const QString& line);
    bool handle(ViDiruCode code, const QString& line, QString* error);
    bool header(const QString& line, QString* error);
    bool note(const QString& line, QString* error);
    bool component(const QString& line, QString* error);
    bool total(const QString& line, QString* error);
    bool instalment(const QString& line, QString* error);
    JobResult stop(qint64 line, const QString& reason);

    JobContext& m_ctx;
    QString m_path;
    Recordset m_cases;
    Recordset m_invoices;
    qint64 m_clienti;
    qint64 m_fatture;
    // The counts as of the last commit, for the boxes when a group is lost.
    qint64 m_savedClienti;
    qint64 m_savedFatture;
    int m_commitsSeen = 0;
    bool m_haveCase = false;
    bool m_stamped = false;
    QVariant m_stamps[kStampCount]; // as converted for the first case
    std::unique_ptr<WriteBatch> m_batch;
};

JobResult ViDiruRun::exec()
{
    QString error;
    if (!m_cases.openForAppend(&error) || !m_invoices.openForAppend(&error)) {
        return stop(0, error);
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        return stop(0, file.errorString());
    }
    m_ctx.report.setProgressMaximum(file.size() + kProgressBlock);
    m_batch = std::make_unique<WriteBatch>(m_ctx.db);
    LineReader reader(&file);
    QString line;
    for (;;) {
        const qint64 before = reader.position();
        const LineReader::Status status = reader.readLine(&line);
        if (status == LineReader::Status::End) {
            break;
        }
        if (status == LineReader::Status::Error) {
            return stop(reader.lineNumber() + 1, reader.errorString());
        }
        m_ctx.report.setProgress(before / kProgressBlock * kProgressBlock);
        const ViDiruCode code = ViDiru::recordCode(line);
        if (!writes(code, line)) {
            continue;
        }
        const qint64 clienti = m_clienti;
        const qint64 fatture = m_fatture;
        m_batch->setLine(reader.lineNumber());
        if (!m_batch->beginLine(&error) || !handle(code, line, &error)) {
            // Nothing of the failing line stays, in the database or in the records at hand.
            m_cases.cancelUpdate();
            m_invoices.cancelUpdate();
            m_batch->abandonLine();
            return stop(reader.lineNumber(), error);
        }
        if (!m_batch->endLine(&error)) {
            return stop(reader.lineNumber(), error);
        }
        if (m_batch->commitCount() != m_commitsSeen) {
            m_commitsSeen = m_batch->commitCount();
            m_savedClienti = m_clienti;
            m_savedFatture = m_fatture;
        }
        // The boxes count what was saved.
        if (m_clienti != clienti) {
            m_ctx.report.setCounter(JobReporter::Clienti, QString::number(m_clienti));
        }
        if (m_fatture != fatture) {
            m_ctx.report.setCounter(JobReporter::Fatture, QString::number(m_fatture));
        }
    }
    // Every handled line saved its records already; this only catches what is left over.
    if (m_cases.hasPendingChanges() && !m_cases.update(&error)) {
        return stop(reader.lineNumber(), error);
    }
    if (!m_batch->finish(&error)) {
        return stop(reader.lineNumber(), error);
    }
    m_cases.close();
    m_invoices.close();
    file.close();
    m_ctx.report.message(QStringLiteral("Importazione conclusa"));
    return JobResult::completed();
}

JobResult ViDiruRun::stop(qint64 line, const QString& reason)
{
    QString why = reason;
    if (m_batch) {
        QString ignored;
        m_batch->finish(&ignored);
        why = m_batch->stopReason(reason);
        if (m_batch->hasFailed()) {
            // The boxes go back to what is in the database.
            if (m_clienti != m_savedClienti) {
                m_ctx.report.setCounter(JobReporter::Clienti, QString::number(m_savedClienti));
            }
            if (m_fatture != m_savedFatture) {
                m_ctx.report.setCounter(JobReporter::Fatture, QString::number(m_savedFatture));
            }
        }
    }
    m_cases.close();
    m_invoices.close();
    const QString name = m_ctx.batch.Text1[4];
    const QString text
        = line > 0 ? lineError(name, line, why) : QStringLiteral("Importazione interrotta. File %1: %2").arg(name, why);
    m_ctx.report.error(text);
    return JobResult::failed(text);
}

bool ViDiruRun::writes(ViDiruCode code, const QString& line)
{
    switch (code) {
    case ViDiruCode::Header:
    case ViDiruCode::Note:
    case ViDiruCode::Total:
        return true;
    case ViDiruCode::Component:
        return line.size() >= ViDiru::kMinComponentLength;
    case ViDiruCode::Instalment:
        return line.size() >= ViDiru::kMinInstalmentLength;
    case ViDiruCode::Amount:
    case ViDiruCode::Other:
        return false;
    }
    return false;
}

bool ViDiruRun::handle(ViDiruCode code, const QString& line, QString* error)
{
    if (code != ViDiruCode::Header && !m_haveCase) {
        *error = QStringLiteral("il record %1 viene prima del primo record IBGI0001: non c'è una pratica a cui "
                                "attribuirlo")
                     .arg(ViDiru::codeText(code));
        return false;
    }
    switch (code) {
    case ViDiruCode::Header:
        return header(line, error);
    case ViDiruCode::Note:
        return note(line, error);
    case ViDiruCode::Component:
        return component(line, error);
    case ViDiruCode::Total:
        return total(line, error);
    case ViDiruCode::Instalment:
        return instalment(line, error);
    case ViDiruCode::Amount:
    case ViDiruCode::Other:
        break;
    }
    return true;
}

bool ViDiruRun::header(const QString& line, QString* error)
{
    const ViDiruHeader h = ViDiruHeader::read(line);
    const auto& t = m_ctx.batch.Text1;
    Recordset& rs = m_cases;
    if (!rs.addNew(error)) {
        return false;
    }
    // The batch texts are converted once, on the first header; later cases take the values.
    const QString* texts[] = { &t[5], &t[0], &t[1], &t[2], &t[6], &t[3] };
    for (int i = 0; i < kStampCount; ++i) {
        if (!rs.setValue(kStampFields[i], m_stamps[i].isValid() ? m_stamps[i] : QVariant(*texts[i]), error)) {
            return false;
        }
    }
    auto setIf = [&](const QString& field, const QString& value, bool when) {
        return !when || rs.setValue(field, value, error);
    };
    auto filled = [](const QString& text) { return !trimBlanks(text).isEmpty(); };
    if (!rs.setValue(QStringLiteral("posizione"), h.posizione, error)
        || !rs.setValue(QStringLiteral("altroriferimento"), h.altroriferimento, error)
        || !rs.setValue(QStringLiteral("memoec"), h.memoec(), error)
        || !rs.setValue(QStringLiteral("ragione sociale"), h.ragioneSociale, error)
        || !setIf(QStringLiteral("P_iva"), h.pIva, filled(h.pIva))
        || (h.dataNascita.isValid() && !rs.setValue(QStringLiteral("data nascita"), h.dataNascita, error))
        || !setIf(QStringLiteral("luogo nascita"), h.luogoNascita, filled(h.luogoNascita))
        || !setIf(QStringLiteral("memo"), h.memo, filled(h.memo))
        || !rs.setValue(QStringLiteral("indirizzo"), h.indirizzo, error)
        || !rs.setValue(QStringLiteral("cap"), h.cap, error) || !rs.setValue(QStringLiteral("citta"), h.citta, error)
        || !rs.setValue(QStringLiteral("provincia"), h.provincia, error)
        || !setIf(QStringLiteral("recapito"), h.recapito, filled(h.recapito))
        || !setIf(QStringLiteral("telefono1"), h.telefono1, filled(h.telefono1))
        || !setIf(QStringLiteral("telefono2"), h.telefono2, filled(h.telefono2)) || !rs.update(error)) {
        return false;
    }
    ++m_clienti;
    m_haveCase = true;
    if (!m_stamped) {
        m_stamped = true;
        for (int i = 0; i < kStampCount; ++i) {
            m_stamps[i] = rs.value(kStampFields[i]);
        }
    }
    return true;
}

bool ViDiruRun::note(const QString& line, QString* error)
{
    const QString memo = QStringLiteral("memo");
    QString text = m_cases.text(memo);
    if (!m_cases.isNull(memo)) {
        text += QStringLiteral("\r\n");
    }
    text += readViDiruNote(line);
    return m_cases.setValue(memo, text, error) && m_cases.update(error);
}

bool ViDiruRun::component(const QString& line, QString* error)
{
    ViDiruComponent c;
    if (!ViDiruComponent::read(line, &c, error)) {
        return false;
    }
    const QVariant amount = QVariant::fromValue(c.amount);
    switch (c.kind) {
    case ViDiruComponent::Kind::Sorte:
        if (!m_cases.setValue(QStringLiteral("rate arretrate"), 1, error)
            || !m_cases.setValue(QStringLiteral("importo rata"), amount, error)) {
            return false;
        }
        break;
    case ViDiruComponent::Kind::Inter:
        if (!m_cases.setValue(QStringLiteral("importo interessi"), amount, error)) {
            return false;
        }
        break;
    case ViDiruComponent::Kind::Spese: {
        const QString spese = QStringLiteral("importo spese");
        Currency sum = c.amount;
        if (!m_cases.isNull(spese) && !Currency::add(m_cases.currency(spese), c.amount, &sum)) {
            *error = QStringLiteral("l'importo %1 porta le spese della pratica oltre il massimo gestito")
                         .arg(c.amount.toPlainText(QLatin1Char(',')));
            return false;
        }
        if (!m_cases.setValue(spese, QVariant::fromValue(sum), error)) {
            return false;
        }
        break;
    }
    }
    return m_cases.update(error);
}

bool ViDiruRun::total(const QString& line, QString* error)
{
    Currency amount;
    return readViDiruTotal(line, &amount, error)
        && m_cases.setValue(QStringLiteral("importo totale"), QVariant::fromValue(amount), error)
        && m_cases.update(error);
}

bool ViDiruRun::instalment(const QString& line, QString* error)
{
    ViDiruInstalment i;
    if (!ViDiruInstalment::read(line, &i, error)) {
        return false;
    }
    Recordset& rs = m_invoices;
    if (!rs.addNew(error) || !rs.setValue(QStringLiteral("conta"), m_cases.key(), error)
        || !rs.setValue(QStringLiteral("numero fattura"), i.numeroFattura, error)
        || !rs.setValue(QStringLiteral("periodo"), i.periodo, error)
        || (i.scadenza.isValid()
            && (!rs.setValue(QStringLiteral("data FATTURA"), i.scadenza, error)
                || !rs.setValue(QStringLiteral("data scadenza"), i.scadenza, error)))
        || !rs.setValue(QStringLiteral("saldo"), QVariant::fromValue(i.saldo), error) || !rs.update(error)) {
        return false;
    }
    ++m_fatture;
    return true;
}

} // namespace

JobResult ImportaViDiru(JobContext& ctx)
{
    JobResult result;
    if (!openDatabase(ctx, &result)) {
        return result;
    }
    const QString path = resolveDrivePath(kImportFolder + ctx.batch.Text1[4]);
    // A folder (an empty file name names the import folder itself) is not an input file.
    if (!QFileInfo(path).isFile()) {
        ctx.report.message(QStringLiteral("FILE MANCANTE"));
        return JobResult::condition();
    }
    ViDiruRun run(ctx, path);
    return run.exec();
}

} // namespace zb32
