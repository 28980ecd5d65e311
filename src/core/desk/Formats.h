// The text, date and money helpers the jobs share; their output lands in fixed-width files.
#pragma once

#include "core/desk/Currency.h"

#include <QDate>
#include <QFlags>
#include <QString>
#include <QStringView>
#include <QVariant>

namespace zb32 {

// The leading number of a text, as the creditor files are read: blanks anywhere are skipped,
// one leading sign, one decimal point, reading stops at the first character that cannot
// continue the number; no number gives "0". Returned as canonical decimal text ("-12.5", "4711").
QString leadingNumberText(QStringView text);
double leadingNumber(QStringView text);
// The leading number as an amount, divided by `divisor` (100 for fields in hundredths).
Currency leadingAmount(QStringView text, int divisor = 1);

// What the leading integer gives when its digits do not fit 64 bits.
enum class OutOfRange {
    Zero, // a counter box: such a box counts as empty
    Saturate, // a batch number: still not 0, so it matches no batch
};
// The whole part of the leading number ("12abc" is 12, "-7.9" is -7, no number is 0).
qint64 leadingInteger(QStringView text, OutOfRange outOfRange);

// Only blanks (U+0020) are trimmed: the files pad with them, and a tab or a no-break space is
// content. Never a null text, so an empty field is stored as an empty text.
QString trimBlanks(QStringView text);
QString trimBlanks(const QString& text); // the same text, shared, when it has none to trim

// Columns of a fixed-width line: 1-based start, length; short lines give what is present.
inline QString columns(const QString& line, int start, int length)
{
    return line.mid(start - 1, length);
}
inline QStringView columnsView(const QString& line, int start, int length)
{
    return QStringView(line).mid(start - 1, length);
}
inline QString columnsFrom(const QString& line, int start)
{
    return line.mid(start - 1);
}

// DDMMYYYY → DD/MM/YYYY; not validated ("" gives "//").
QString FormData(const QString& field);

// A date as dd/MM/yyyy and as yyyy-MM-dd. Written directly for years 1 to 9999 (a job writes a
// few dates per input line); other years as QDate writes them, an invalid date as "".
QString shortDate(const QDate& date);
QString isoDate(const QDate& date);
// yyyy-MM-dd in the ten bytes at `out`; false outside the years 1 to 9999.
bool writeIsoDate(const QDate& date, char* out);

// The shapes a date text may take besides d/M/yyyy, which is always read (one or two digits of
// day and month, four of year; only real calendar dates). White space around the text is ignored.
enum class DateForm : unsigned {
    IsoPrefix = 0x1, // yyyy-MM-dd in the first ten characters, as SQLite returns a date or a
                     // date and time; tried first
    IsoWhole = 0x2, // exactly yyyy-MM-dd; tried first
    AnySeparator = 0x4, // "-" or "." wherever "/" is read
    TwoDigitYear = 0x8, // also d/M/yy, years 1930 to 2029
};
Q_DECLARE_FLAGS(DateForms, DateForm)
Q_DECLARE_OPERATORS_FOR_FLAGS(DateForms)

// The one reader of date texts; anything it does not read is an invalid date. Each caller names
// the shapes its input has always been read in, and they differ: a typed box or a Vi Diru field
// is d/M/yyyy only; a date read back for the letters may also start ISO; a field of the case
// database takes kFieldDateForms; a workbook cell is ISO only as the whole text.
QDate parseDate(QStringView text, DateForms forms = {});
inline QDate parseShortDate(QStringView text)
{
    return parseDate(text);
}
// The shapes of a date field of the case database: as SQLite stores it, or as a person typed it.
inline constexpr DateForms kFieldDateForms = DateForm::IsoPrefix | DateForm::AnySeparator | DateForm::TwoDigitYear;

// What a DDMMYYYY field that is not eight digits gives.
enum class DdmmyyyyRest {
    Invalid, // an Orb invoice date: nothing else is a date
    AsFormData, // a collections line: read as FormData writes it, so a short or blank-padded
                // field can still be a date ("0503201" is 05/03/3201)
};
// An eight-digit DDMMYYYY field as a calendar date, read without a format (one per input line).
QDate ddmmyyyyDate(QStringView field, DdmmyyyyRest rest = DdmmyyyyRest::Invalid);

// Money as a 10-character right-aligned text with Italian separators. A null amount is
// replaced by 0 in the caller's variable, as the letter run relies on.
QString FormSoldi(QVariant& amount);
QString FormSoldi(const Currency& amount);
// Zero padding to `width`; with `signedFlag` the first character is the sign. The text is
// changed in place to the padded text before the final cut.
QString Fill(QString& text, int width, int signedFlag = 0);
// Blank padding or cut to exactly `width` characters.
QString Filla(const QString& text, int width);

} // namespace zb32
