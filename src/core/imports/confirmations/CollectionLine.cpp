// The collections file's fixed columns.
#include "core/imports/confirmations/CollectionLine.h"

#include "core/desk/Formats.h"

namespace zb32 {

bool isWholeNumber(QStringView text)
{
    const QStringView t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        ++i;
    }
    if (i == t.size()) {
        return false;
    }
    for (; i < t.size(); ++i) {
        if (t[i].unicode() < '0' || t[i].unicode() > '9') {
            return false;
        }
    }
    return true;
}

CollectionLine decodeCollectionLine(const QString& line, const QDate& today)
{
    CollectionLine out;
    const QString t = line.trimmed();
    if (t.isEmpty()) {
        out.empty = true;
        return out;
    }
    out.length = t.size();
    ConfirmationRecord& r = out.record;
    r.position = leadingNumberText(columnsView(t, 8, 9).trimmed());
    r.invoiceNumber = columns(t, 17, 10);
    out.amountText = columns(t, 31, 8);
    out.amountIsNumber = isWholeNumber(out.amountText);
    if (out.amountIsNumber) {
        r.amount = leadingAmount(out.amountText, 100);
    }
    const QDate date = ddmmyyyyDate(columnsView(t, 47, 8), DdmmyyyyRest::AsFormData);
    out.dateFromFile = date.isValid();
    r.date = out.dateFromFile ? date : today;
    r.dateText = shortDate(r.date);
    r.code = columnsView(t, 61, 3).trimmed().toString();
    r.reference = columns(t, 64, 20);
    return out;
}

} // namespace zb32
