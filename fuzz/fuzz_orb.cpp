// The Orb reader on arbitrary bytes: every line decoded field by field, then the whole job.
#include "FuzzSupport.h"
#include "core/desk/Formats.h"
#include "core/imports/orb/OrbLine.h"

#include <cstdint>

namespace {

using zb32::OrbLine;

void checkField(const QString& field, int length, const OrbLine& line)
{
    ZB32_FUZZ_CHECK(field.size() <= length, line.text());
}

void checkDate(const QString& field)
{
    const QDate date = zb32::ddmmyyyyDate(field);
    if (date.isValid()) {
        // Only eight digits make a date, and they are the date they read as.
        ZB32_FUZZ_CHECK(date.toString(QStringLiteral("ddMMyyyy")) == field, field);
    }
}

void decode(const QString& raw)
{
    const QString stripped = zb32::trimBlanks(raw);
    ZB32_FUZZ_CHECK(!stripped.startsWith(QLatin1Char(' ')) && !stripped.endsWith(QLatin1Char(' ')), raw);
    const OrbLine line(stripped);
    checkField(line.code(), 3, line);
    checkField(line.account(), 15, line);
    switch (line.kind()) {
    case OrbLine::Kind::Case:
        for (const QString& f : { line.debtorStatus(), line.name(), line.address(), line.town(), line.company() }) {
            checkField(f, 40, line);
        }
        checkField(line.postcode(), 5, line);
        checkField(line.province(), 2, line);
        checkField(line.taxCode(), 16, line);
        checkField(line.phone1(), 14, line);
        checkField(line.phone2(), 14, line);
        checkField(line.subscriptionExpiry(), 12, line);
        (void)line.deposit().toPlainText(QLatin1Char(','));
        break;
    case OrbLine::Kind::Contract:
        checkField(line.contractDate(), 8, line);
        for (const QString& f : { line.decoder1(), line.decoder2(), line.card1(), line.card2() }) {
            checkField(f, 15, line);
        }
        break;
    case OrbLine::Kind::Assignment:
        (void)line.assignedTotal().toPlainText(QLatin1Char(','));
        checkField(line.amountBand(), 2, line);
        break;
    case OrbLine::Kind::Detail:
        checkField(line.period(), 15, line);
        checkField(line.invoiceNumber(), 15, line);
        checkDate(line.invoiceDate());
        checkDate(line.dueDate());
        (void)line.outstanding().toPlainText(QLatin1Char(','));
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    zb32::fuzz::forEachLine(bytes, decode);
    zb32::fuzz::runJobOn(zb32::JobId::Orb, QStringLiteral("orb.txt"), bytes);
    return 0;
}
