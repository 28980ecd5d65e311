// The text, date and money helpers the jobs share; their output lands in fixed-width files.
#pragma once

#include "core/desk/Currency.h"

#include <QDate>
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

// Columns of a fixed-width line: 1-based start, length; short lines give what is present.
inline QString columns(const QString& line, int start, int length)
{
    return line.mid(start - 1, length);
}
inline QString columnsFrom(const QString& line, int start)
{
    return line.mid(start - 1);
}

// DDMMYYYY → DD/MM/YYYY; not validated ("" gives "//").
QString FormData(const QString& field);
// A date as dd/MM/yyyy, and back; only real calendar dates parse.
QString shortDate(const QDate& date);
QDate parseShortDate(QStringView text);
// A date as a person or a database writes it: ISO yyyy-MM-dd (a time may follow), or d/M/yyyy
// and d/M/yy with '/', '-' or '.' between (two-digit years are 1930..2029). Invalid otherwise.
QDate parseDateText(const QString& text);

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
