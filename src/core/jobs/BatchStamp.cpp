// Reading and stamping the batch boxes.
#include "core/jobs/BatchStamp.h"

#include "core/desk/Formats.h"
#include "core/desk/Recordset.h"
#include "core/jobs/BatchData.h"

namespace zb32 {

namespace {

// The boxes were always read as a date field of the case database reads a typed date.

// The batch number is a whole number the database stores in 32 bits.
bool readBatchNumber(const QString& text, qint64* out)
{
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok);
    if (!ok || n > 2147483647LL || n < -2147483648LL) {
        return false;
    }
    *out = n;
    return true;
}

} // namespace

BatchStamp BatchStamp::texts(const BatchData& batch)
{
    BatchStamp s;
    s.fileName = batch.Text1[4];
    s.tipoMandato = batch.Text1[5];
    s.tipoIntervento = batch.Text1[2];
    s.situazioneAffido = batch.Text1[6];
    return s;
}

bool BatchStamp::read(const BatchData& batch, BatchStamp* stamp, QString* error)
{
    BatchStamp s = texts(batch);
    auto refuse = [&](const char* box, const char* what, const QString& text) {
        *error = QStringLiteral("%1 non %2: \"%3\"").arg(QLatin1String(box), QLatin1String(what), text);
        return false;
    };
    s.dataAffido = parseDate(batch.Text1[0], kFieldDateForms);
    if (!s.dataAffido.isValid()) {
        return refuse("Data Affido", "valida", batch.Text1[0]);
    }
    s.scadenzaMandato = parseDate(batch.Text1[1], kFieldDateForms);
    if (!s.scadenzaMandato.isValid()) {
        return refuse("Scadenza", "valida", batch.Text1[1]);
    }
    if (!readBatchNumber(batch.Text1[3], &s.lotto)) {
        return refuse("Lotto", "valido", batch.Text1[3]);
    }
    *stamp = s;
    return true;
}

bool BatchStamp::apply(Recordset& cases, QString* error) const
{
    return cases.setValue(QStringLiteral("Tipo Mandato"), tipoMandato, error)
        && cases.setValue(QStringLiteral("data Affido"), dataAffido, error)
        && cases.setValue(QStringLiteral("scadenza mandato"), scadenzaMandato, error)
        && cases.setValue(QStringLiteral("Tipo Intervento"), tipoIntervento, error)
        && cases.setValue(QStringLiteral("Situazione Affido"), situazioneAffido, error)
        && cases.setValue(QStringLiteral("lottoimportazione"), lotto, error);
}

} // namespace zb32
