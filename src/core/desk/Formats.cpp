// The shared text, date and money helpers.
#include "core/desk/Formats.h"

#include <QVarLengthArray>
#include <cstring>
#include <limits>

namespace zb32 {

namespace {

// The ASCII digits text[from, from + count) as a number; -1 when one is missing or not a digit.
int digitsAt(QStringView text, qsizetype from, qsizetype count)
{
    if (from + count > text.size()) {
        return -1;
    }
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            return -1;
        }
        value = value * 10 + (c - u'0');
    }
    return value;
}

// Day, separator, month, separator, year, and nothing after: day and month of one or two digits,
// the year of exactly `yearDigits`. The day of a date that does not exist is left to QDate.
bool readDayMonthYear(QStringView t, qsizetype yearDigits, bool anySeparator, int* y, int* m, int* d)
{
    auto isDigit = [&](qsizetype i) { return i < t.size() && t[i].unicode() >= u'0' && t[i].unicode() <= u'9'; };
    auto isSeparator = [&](qsizetype i) {
        if (i >= t.size()) {
            return false;
        }
        const QChar c = t[i];
        return c == QLatin1Char('/') || (anySeparator && (c == QLatin1Char('-') || c == QLatin1Char('.')));
    };
    auto oneOrTwo = [&](qsizetype* i) {
        if (!isDigit(*i)) {
            return -1;
        }
        const qsizetype count = isDigit(*i + 1) ? 2 : 1;
        const int value = digitsAt(t, *i, count);
        *i += count;
        return value;
    };
    qsizetype i = 0;
    *d = oneOrTwo(&i);
    if (*d < 0 || !isSeparator(i)) {
        return false;
    }
    ++i;
    *m = oneOrTwo(&i);
    if (*m < 0 || !isSeparator(i)) {
        return false;
    }
    ++i;
    // Four digits of year may carry a minus sign, as QDate has always read them ("-0044"); where
    // "-" separates, it cannot.
    const bool minus = yearDigits == 4 && !anySeparator && i < t.size() && t[i] == QLatin1Char('-');
    if (minus) {
        ++i;
    }
    if (t.size() - i != yearDigits) {
        return false;
    }
    *y = digitsAt(t, i, yearDigits);
    if (*y < 0) {
        return false;
    }
    if (minus) {
        *y = -*y; // -0000 is year 0, which no date has
    }
    return true;
}

// yyyy-MM-dd at the start of `t`. The ISO reading of the first ten characters takes any
// punctuation mark between month and day; the whole-text reading takes only "-", and a minus
// sign before the year.
QDate isoAtStart(QStringView t, bool wholeText)
{
    const qsizetype s = wholeText && t.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (wholeText ? t.size() != 10 + s : t.size() < 10) {
        return {};
    }
    if (t[s + 4] != QLatin1Char('-') || !(wholeText ? t[s + 7] == QLatin1Char('-') : t[s + 7].isPunct())) {
        return {};
    }
    const int y = digitsAt(t, s, 4);
    const int m = digitsAt(t, s + 5, 2);
    const int d = digitsAt(t, s + 8, 2);
    return y > 0 && m >= 0 && d >= 0 ? QDate(s ? -y : y, m, d) : QDate();
}

// Ten characters of a date, with the year, month and day at the given offsets and `separator`
// at the other two; false outside the years 1 to 9999.
template<typename Char> bool writeDate(const QDate& date, Char* out, int yearAt, int monthAt, int dayAt, Char separator)
{
    int y = 0;
    int m = 0;
    int d = 0;
    date.getDate(&y, &m, &d);
    if (y < 1 || y > 9999) {
        return false;
    }
    for (int i = 0; i < 10; ++i) {
        out[i] = separator;
    }
    const auto digit = [](int n) { return Char('0' + n); };
    out[yearAt] = digit(y / 1000);
    out[yearAt + 1] = digit(y / 100 % 10);
    out[yearAt + 2] = digit(y / 10 % 10);
    out[yearAt + 3] = digit(y % 10);
    out[monthAt] = digit(m / 10);
    out[monthAt + 1] = digit(m % 10);
    out[dayAt] = digit(d / 10);
    out[dayAt + 1] = digit(d % 10);
    return true;
}

// The leading-number rule: blanks, tabs and line feeds anywhere are passed over, a sign before
// the first digit or point, one decimal point, digits; anything else ends the number. Each digit
// goes to `digit(d, afterPoint)`, which stops the reading by returning false. False when it did;
// `negative` tells the sign.
template<typename Digit> bool readLeadingNumber(QStringView text, bool* negative, Digit&& digit)
{
    *negative = false;
    bool signSeen = false;
    bool pointSeen = false;
    bool digitSeen = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\t' || u == u'\n') {
            continue;
        }
        if ((u == u'-' || u == u'+') && !signSeen && !digitSeen && !pointSeen) {
            signSeen = true;
            *negative = u == u'-';
        } else if (u == u'.' && !pointSeen) {
            pointSeen = true;
        } else if (u >= u'0' && u <= u'9') {
            digitSeen = true;
            if (!digit(u, pointSeen)) {
                return false;
            }
        } else {
            break;
        }
    }
    return true;
}

} // namespace

QString leadingNumberText(QStringView text)
{
    // Read once per field of every line: the digits are gathered on the stack and the text is
    // made once.
    QVarLengthArray<char16_t, 32> intPart;
    QVarLengthArray<char16_t, 32> fracPart;
    bool negative = false;
    readLeadingNumber(text, &negative, [&](char16_t d, bool afterPoint) {
        (afterPoint ? fracPart : intPart).append(d);
        return true;
    });
    qsizetype lead = 0;
    while (lead < intPart.size() - 1 && intPart[lead] == u'0') {
        ++lead;
    }
    qsizetype fracSize = fracPart.size();
    while (fracSize > 0 && fracPart[fracSize - 1] == u'0') {
        --fracSize;
    }
    const qsizetype intSize = intPart.size() - lead;
    const bool zero = fracSize == 0 && (intSize == 0 || (intSize == 1 && intPart[lead] == u'0'));
    if (zero) {
        return QStringLiteral("0");
    }
    QString result;
    result.reserve(1 + qMax(intSize, qsizetype(1)) + 1 + fracSize);
    if (negative) {
        result += QLatin1Char('-');
    }
    if (intSize == 0) {
        result += QLatin1Char('0');
    } else {
        result.append(reinterpret_cast<const QChar*>(intPart.constData() + lead), intSize);
    }
    if (fracSize > 0) {
        result += QLatin1Char('.');
        result.append(reinterpret_cast<const QChar*>(fracPart.constData()), fracSize);
    }
    return result;
}

double leadingNumber(QStringView text)
{
    return leadingNumberText(text).toDouble();
}

namespace {

// leadingAmount's common case, read straight off the text: as leadingNumberText reads it, with
// the digits at most a Currency holds exactly. False where the text needs the general path.
bool exactLeadingAmount(QStringView text, int shift, Currency* amount)
{
    bool negative = false;
    qint64 digits = 0;
    int significant = 0;
    int decimals = shift;
    const bool fits = readLeadingNumber(text, &negative, [&](char16_t d, bool afterPoint) {
        if (significant > 0 || d != u'0') {
            ++significant;
        }
        digits = digits * 10 + (d - u'0');
        decimals += afterPoint ? 1 : 0;
        return significant <= 14 && decimals <= 4;
    });
    if (!fits) {
        return false;
    }
    qint64 raw = digits;
    for (int d = decimals; d < 4; ++d) {
        raw *= 10;
    }
    if (raw > Currency::kMaxRaw) {
        return false;
    }
    *amount = Currency::fromRaw(negative ? -raw : raw);
    return true;
}

} // namespace

Currency leadingAmount(QStringView text, int divisor)
{
    // Dividing by a power of ten is a shift of the decimal point, so the amount stays exact.
    int shift = 0;
    for (int d = divisor; d > 1; d /= 10) {
        ++shift;
    }
    if (Currency fast; exactLeadingAmount(text, shift, &fast)) {
        return fast; // every amount field of a creditor's file, read once per line
    }
    QString digits = leadingNumberText(text);
    if (shift > 0) {
        const bool negative = digits.startsWith(QLatin1Char('-'));
        if (negative) {
            digits.remove(0, 1);
        }
        qsizetype point = digits.indexOf(QLatin1Char('.'));
        if (point < 0) {
            point = digits.size();
        } else {
            digits.remove(point, 1);
        }
        while (point < shift) {
            digits.prepend(QLatin1Char('0'));
            ++point;
        }
        digits.insert(point - shift, QLatin1Char('.'));
        if (negative) {
            digits.prepend(QLatin1Char('-'));
        }
    }
    bool ok = false;
    Currency amount = Currency::fromDecimalText(digits, &ok);
    return ok ? amount : Currency::fromDouble(digits.toDouble());
}

qint64 leadingInteger(QStringView text, OutOfRange outOfRange)
{
    QString number = leadingNumberText(text);
    const qsizetype point = number.indexOf(QLatin1Char('.'));
    if (point >= 0) {
        number.truncate(point);
    }
    bool ok = false;
    const qint64 value = number.toLongLong(&ok);
    if (ok) {
        return value;
    }
    if (outOfRange == OutOfRange::Zero) {
        return 0;
    }
    return number.startsWith(QLatin1Char('-')) ? std::numeric_limits<qint64>::min()
                                               : std::numeric_limits<qint64>::max();
}

QString trimBlanks(const QString& text)
{
    if (!text.isEmpty() && text.front() != QLatin1Char(' ') && text.back() != QLatin1Char(' ')) {
        return text; // nothing to take off: the text itself, shared
    }
    return trimBlanks(QStringView(text));
}

QString trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' ')) {
        ++begin;
    }
    // A fixed-width field is mostly blanks at its end: they are passed over four at a time first.
    const char16_t* chars = text.utf16();
    constexpr quint64 kFourBlanks = 0x0020002000200020ULL;
    for (quint64 four = 0; end - begin >= 4; end -= 4) {
        std::memcpy(&four, chars + end - 4, sizeof four);
        if (four != kFourBlanks) {
            break;
        }
    }
    while (end > begin && chars[end - 1] == u' ') {
        --end;
    }
    if (begin == end) {
        return QStringLiteral("");
    }
    return text.mid(begin, end - begin).toString();
}

QString FormData(const QString& field)
{
    return field.left(2) + QLatin1Char('/') + field.mid(2, 2) + QLatin1Char('/') + field.right(4);
}

QString shortDate(const QDate& date)
{
    char16_t text[10];
    if (!writeDate(date, text, 6, 3, 0, u'/')) {
        return date.toString(QStringLiteral("dd/MM/yyyy"));
    }
    return QString(reinterpret_cast<const QChar*>(text), 10);
}

bool writeIsoDate(const QDate& date, char* out)
{
    // A job stores the same few dates row after row (the batch's, an invoice's): the last one
    // written on the thread is kept as text. (No date has the day it starts with.)
    thread_local qint64 lastDay = std::numeric_limits<qint64>::max();
    thread_local char lastText[10];
    if (const qint64 day = date.toJulianDay(); day != lastDay) {
        if (!writeDate(date, lastText, 0, 5, 8, '-')) {
            return false;
        }
        lastDay = day;
    }
    std::memcpy(out, lastText, sizeof lastText);
    return true;
}

QString isoDate(const QDate& date)
{
    char16_t text[10];
    if (!writeDate(date, text, 0, 5, 8, u'-')) {
        return date.toString(Qt::ISODate);
    }
    return QString(reinterpret_cast<const QChar*>(text), 10);
}

QDate parseDate(QStringView text, DateForms forms)
{
    const QStringView t = text.trimmed();
    if (forms & (DateForm::IsoPrefix | DateForm::IsoWhole)) {
        const QDate iso = isoAtStart(t, !forms.testFlag(DateForm::IsoPrefix));
        if (iso.isValid()) {
            return iso;
        }
    }
    const bool anySeparator = forms.testFlag(DateForm::AnySeparator);
    int y = 0;
    int m = 0;
    int d = 0;
    if (readDayMonthYear(t, 4, anySeparator, &y, &m, &d)) {
        return QDate(y, m, d);
    }
    if (forms.testFlag(DateForm::TwoDigitYear) && readDayMonthYear(t, 2, anySeparator, &y, &m, &d)) {
        // The day must exist in 19yy: 29/02/00 is no date, as it has always been read.
        if (!QDate::isValid(1900 + y, m, d)) {
            return {};
        }
        return QDate(y < 30 ? 2000 + y : 1900 + y, m, d);
    }
    return {};
}

QDate ddmmyyyyDate(QStringView field, DdmmyyyyRest rest)
{
    if (field.size() == 8) {
        const int day = digitsAt(field, 0, 2);
        const int month = digitsAt(field, 2, 2);
        const int year = digitsAt(field, 4, 4);
        if (day >= 0 && month >= 0 && year >= 0) {
            return QDate(year, month, day); // not a calendar date: invalid
        }
    }
    if (rest == DdmmyyyyRest::Invalid) {
        return {};
    }
    return parseShortDate(FormData(field.toString()));
}

QString FormSoldi(QVariant& amount)
{
    if (amount.isNull() || !amount.isValid()) {
        amount = QVariant(0);
    }
    return FormSoldi(Currency::fromVariant(amount));
}

QString FormSoldi(const Currency& amount)
{
    const QString text = QString(10, QLatin1Char(' ')) + amount.toGroupedText(1);
    return text.right(10);
}

QString Fill(QString& text, int width, int signedFlag)
{
    int digits = width;
    QString sign;
    if (signedFlag != 0) {
        digits = width - 1;
        sign = QStringLiteral("+");
        if (leadingNumber(text) < 0) {
            text = text.trimmed().mid(1);
            sign = QStringLiteral("-");
        }
    }
    if (text.size() < digits) {
        text = QString(digits - text.size(), QLatin1Char('0')) + text;
    }
    text = sign + text;
    return text.left(width);
}

QString Filla(const QString& text, int width)
{
    return (text.left(width) + QString(width, QLatin1Char(' '))).left(width);
}

} // namespace zb32
