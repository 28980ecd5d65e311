// The expense-confirmation workbook: the first sheet by name, headings in the first row, one
// confirmation per further row in columns 1 (position), 2 (date), 3 (amount) and 6 (reference).
#pragma once

#include "core/desk/Workbook.h"
#include "core/imports/confirmations/ConfirmationRecord.h"

#include <QVariant>

namespace zb32 {

class ExpenseWorkbook
{
public:
    enum class Row {
        Record, // a confirmation
        Blank, // none of the four columns holds anything: not a confirmation
        Unreadable, // position, date or amount missing or not convertible
    };

    bool open(const QString& path, QString* error);
    QString sheet() const { return m_sheet; }
    // Data rows, the heading row not counted.
    int recordCount() const;
    // Reads data row `index` (1 = the row under the headings).
    Row read(int index, ConfirmationRecord* record, QString* error) const;
    // The row number the operator sees in the sheet (the headings are row 1).
    static int sheetRow(int index) { return index + 1; }

private:
    Workbook m_book;
    QString m_sheet;
};

// A cell read as text: text as it stands, whole numbers without decimals, other numbers with a
// decimal comma, dates dd/MM/yyyy, true and false as VERO and FALSO; an empty cell is a null text.
QString cellText(const QVariant& cell);
// A cell read as a date: a date cell, or a text dd/MM/yyyy (also d/M/yy, "-" or "." between,
// yyyy-MM-dd). Anything else is an invalid date.
QDate cellDate(const QVariant& cell);
// A cell read as an amount in euros: a number, or a text with a decimal comma ("1.234,50").
bool cellAmount(const QVariant& cell, Currency* amount);

} // namespace zb32
