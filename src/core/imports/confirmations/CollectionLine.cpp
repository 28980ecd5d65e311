// The collections file's fixed columns.
#include "core/imports/confirmations/CollectionLine.h"

#include "core/desk/Formats.h"

namespace zb32 {

namespace {

// Columns past the end of a short line read as an empty text, never as a null one.
QString field(const QString& line, int start, int length)
{
    const QString text = columns(line, start, length);
    return text.isNull() ? QStringLiteral("") : text;
}

// The ddmmyyyy field through FormData, as a real calendar date or an invalid one. Eight digits,
// by far the usual field, are read directly; FormData's text is only parsed for the rest.
QDate eventDate(const QString& field)
{
    if (field.size() == 8) {
        int digits[8];
        bool allDigits = true;
        for (int i = 0; i < 8 && allDigits; ++i) {
            const char16_t c = field[i].unicode();
            allDigits = c >= u'0' && c <= u'9';
            digits[i] = c - u'0';
        }
        if (allDigits) {
            return QDate(digits[4] * 1000 + digits[5] * 100 + digits[6] * 10 + digits[7], digits[2] * 10 + digits[3],
                digits[0] * 10 + digits[1]);
        }
    }
    return parseShortDate(FormData(field));
}

} // namespace

QString dateText(const QDate& date)
{
    int y = 0;
    int m = 0;
    int d = 0;
    date.getDate(&y, &m, &d);
    if (y < 1 || y > 9999) {
        return shortDate(date);
    }
    const char16_t text[10] = { char16_t(u'0' + d / 10), char16_t(u'0' + d % 10), u'/', char16_t(u'0' + m / 10),
        char16_t(u'0' + m % 10), u'/', char16_t(u'0' + y / 1000), char16_t(u'0' + y / 100 % 10),
        char16_t(u'0' + y / 10 % 10), char16_t(u'0' + y % 10) };
    return QString(reinterpret_cast<const QChar*>(text), 10);
}

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
    r.position = leadingNumberText(columns(t, 8, 9).trimmed());
    r.invoiceNumber = field(t, 17, 10);
    out.amountText = field(t, 31, 8);
    out.amountIsNumber = isWholeNumber(out.amountText);
    if (out.amountIsNumber) {
        r.amount = leadingAmount(out.amountText, 100);
    }
    const QDate date = eventDate(columns(t, 47, 8));
    out.dateFromFile = date.isValid();
    r.date = out.dateFromFile ? date : today;
    r.dateText = dateText(r.date);
    r.code = field(t, 61, 3).trimmed();
    r.reference = field(t, 64, 20);
    return out;
}

} // namespace zb32
