// What the three workbook readers share: the limits that keep a hostile file from exhausting the
// reader, the cells of one sheet as they are collected, and spreadsheet dates and number formats.
#pragma once

#include "core/desk/WorkbookData.h"

#include <QString>
#include <QStringView>
#include <QVariant>

namespace zb32::sheets {

struct Limits
{
    // A file on disk, and all that the reader inflates from a zipped one.
    static constexpr qint64 kMaxFileBytes = qint64(256) << 20;
    static constexpr qint64 kMaxInflatedBytes = qint64(256) << 20;
    // Cells holding a value, over all sheets: about 150 MiB of dump at most.
    static constexpr qint64 kMaxCells = 2'000'000;
    // The largest grid any of the formats can address.
    static constexpr qint64 kMaxRows = qint64(1) << 20;
    static constexpr qint64 kMaxColumns = qint64(1) << 14;
    static constexpr int kMaxSheets = 4096;
};

// Why a reader gave up: the text for the operator, and whether the file is encrypted.
struct ReadFailure
{
    enum class Kind { NotAWorkbook, Damaged, Encrypted, TooOld, TooLarge };
    Kind kind = Kind::Damaged;
    QString detail;
};

// How a number format shows a number: as a number, a date, a date with its time, or a time.
enum class FormatKind { Number, Date, DateTime, Time };

// The kind of one of the built-in format numbers shared by the .xls and .xlsx files.
FormatKind builtInFormatKind(int id);
// The kind of a format code ("dd/mm/yyyy", "[$-409]h:mm AM/PM", "#,##0.00"): dates show d or y,
// times h, s or AM/PM; m is minutes next to h or s and months elsewhere.
FormatKind formatCodeKind(QStringView code);
// A serial day number shown with `kind`, in the workbook's date system (days from 1899-12-30, with
// the nonexistent 29/02/1900 of the 1900 system, or from 1904-01-01). A number outside the years
// 1900..9999 stays a number.
QVariant serialValue(double serial, FormatKind kind, bool date1904);

// Collects the cells of one sheet; `cellsLeft` is shared by every sheet of the workbook.
class SheetBuilder
{
public:
    SheetBuilder(WorkbookSheet* sheet, qint64* cellsLeft)
        : m_sheet(sheet)
        , m_cellsLeft(cellsLeft)
    { }
    // A cell with a value (a null value is an empty cell and is dropped). Fails on a cell outside
    // the grid or past the cell limit.
    bool set(qint64 row, qint64 column, const QVariant& value, ReadFailure* failure);

private:
    WorkbookSheet* m_sheet;
    qint64* m_cellsLeft;
};

ReadFailure damaged(const QString& detail);
ReadFailure tooLarge(const QString& detail);

} // namespace zb32::sheets
