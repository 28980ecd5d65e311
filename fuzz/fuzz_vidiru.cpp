// The Vi Diru reader on arbitrary bytes: every record decoded, then the whole job.
#include "FuzzSupport.h"
#include "core/desk/Formats.h"
#include "core/imports/vidiru/ViDiruRecords.h"

#include <cstdint>

namespace {

using namespace zb32;

// A refused amount says why; an accepted one is what the text says.
void checkAmount(bool ok, const QString& error, const QString& line)
{
    ZB32_FUZZ_CHECK(ok || !error.isEmpty(), line);
}

void checkDate(const QString& line, int start, int length)
{
    const QDate date = ViDiru::date(line, start, length);
    // The direct reading of dd/MM/yyyy must agree with the shared reader it stands in for.
    const QDate reference = parseShortDate(ViDiru::field(line, start, length));
    ZB32_FUZZ_CHECK(date == reference || (!date.isValid() && !reference.isValid()),
        ViDiru::field(line, start, length) + QStringLiteral(": ") + date.toString() + QStringLiteral(" / ")
            + reference.toString());
}

void decode(const QString& line)
{
    QString error;
    switch (ViDiru::recordCode(line)) {
    case ViDiruCode::Header: {
        const ViDiruHeader h = ViDiruHeader::read(line);
        ZB32_FUZZ_CHECK(h.cap.size() <= 5 && h.provincia.size() <= 2 && h.telefono2.size() <= 12, line);
        (void)h.memoec();
        checkDate(line, 299, 10);
        break;
    }
    case ViDiruCode::Note:
        ZB32_FUZZ_CHECK(readViDiruNote(line).size() <= line.size(), line);
        break;
    case ViDiruCode::Component: {
        ViDiruComponent c;
        checkAmount(ViDiruComponent::read(line, &c, &error), error, line);
        break;
    }
    case ViDiruCode::Total: {
        Currency total;
        checkAmount(readViDiruTotal(line, &total, &error), error, line);
        break;
    }
    case ViDiruCode::Instalment: {
        ViDiruInstalment i;
        checkAmount(ViDiruInstalment::read(line, &i, &error), error, line);
        checkDate(line, 21, 10);
        break;
    }
    case ViDiruCode::Amount:
    case ViDiruCode::Other:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    zb32::fuzz::forEachLine(bytes, decode);
    zb32::fuzz::runJobOn(zb32::JobId::ViDiru, QStringLiteral("vidiru.txt"), bytes);
    return 0;
}
