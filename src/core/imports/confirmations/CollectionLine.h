// Decoding one line of the collections file: a pure function, so it can be fuzzed on its own.
#pragma once

#include "core/imports/confirmations/ConfirmationRecord.h"

#include <QString>

namespace zb32 {

struct CollectionLine
{
    bool empty = false; // nothing but blanks: the reading ends here
    ConfirmationRecord record; // amount is 0 when amountIsNumber is false
    QString amountText; // columns 31-38 as they stand
    bool amountIsNumber = false; // the amount field is a whole number of cents
    bool dateFromFile = false; // false: the date field is not a real date and today is taken
    qsizetype length = 0; // characters of the trimmed line
    // The line ends before its record code: a record cut short, not a record of another code.
    bool truncated() const { return !empty && length < kCodeColumn; }

    static constexpr qsizetype kCodeColumn = 61;
};

// Columns are counted on the line trimmed of blanks at both ends: 8-16 position (its leading
// number as plain digits), 17-26 invoice number, 31-38 amount in cents, 47-54 date ddmmyyyy,
// 61-63 record code (trimmed), 64-83 reference.
CollectionLine decodeCollectionLine(const QString& line, const QDate& today);

// Whether a text is a whole number: blanks around, one optional sign, digits only.
bool isWholeNumber(QStringView text);

} // namespace zb32
