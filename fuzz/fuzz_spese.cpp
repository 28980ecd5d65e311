// The expense job on arbitrary workbook bytes: the reader process, the rows and the postings on
// a database that holds the cases the seed workbooks name.
#include "FuzzSupport.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zb32::fuzz::useBuiltWorkbookReader();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    zb32::BatchData batch;
    batch.Text1[5] = QStringLiteral("460");
    batch.chkRevocaCop = size % 2 == 1;
    const zb32::JobResult result = zb32::fuzz::runJobOn(
        zb32::JobId::Spese, QStringLiteral("spese.xls"), bytes, batch, zb32::fuzz::confirmationCases());
    zb32::fuzz::checkReaderReport(result.error);
    return 0;
}
