// The collections-line decoder on arbitrary bytes, then the whole collections job on a database
// that holds the cases the seed lines name, so lookups succeed and the postings run.
#include "FuzzSupport.h"
#include "core/desk/Formats.h"
#include "core/imports/confirmations/CollectionLine.h"

#include <cstdint>

namespace {

using namespace zb32;

const QDate kToday(2026, 12, 7);

void decode(const QString& line)
{
    const CollectionLine d = decodeCollectionLine(line, kToday);
    ZB32_FUZZ_CHECK(d.empty == line.trimmed().isEmpty(), line);
    if (d.empty) {
        return;
    }
    const ConfirmationRecord& r = d.record;
    ZB32_FUZZ_CHECK(r.date.isValid() && (d.dateFromFile || r.date == kToday), line);
    // The direct date text must be the one the shared formatting gives.
    ZB32_FUZZ_CHECK(r.dateText == shortDate(r.date), r.dateText + QStringLiteral(" / ") + shortDate(r.date));
    if (d.dateFromFile) {
        // The direct reading of ddmmyyyy agrees with the shared reader it stands in for.
        const QString field = columns(line.trimmed(), 47, 8);
        ZB32_FUZZ_CHECK(parseShortDate(FormData(field)) == r.date, field);
    }
    ZB32_FUZZ_CHECK(d.amountIsNumber == isWholeNumber(d.amountText), line);
    ZB32_FUZZ_CHECK(!d.amountIsNumber || r.amount == leadingAmount(d.amountText, 100), d.amountText);
    ZB32_FUZZ_CHECK(r.invoiceNumber.size() <= 10, line);
    ZB32_FUZZ_CHECK(r.code.size() <= 3 && r.code == r.code.trimmed(), line);
    ZB32_FUZZ_CHECK(r.reference.size() <= 20, line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    fuzz::forEachLine(bytes, decode);
    BatchData batch;
    batch.Text1[5] = QStringLiteral("460");
    batch.chkRevocaCop = size % 2 == 1; // both ways of treating a paid-off case's collector
    fuzz::runJobOn(JobId::Incassi, QStringLiteral("incassi.txt"), bytes, batch, fuzz::confirmationCases());
    return 0;
}
