// A workbook (.xls, .xlsx or .ods), read by the reader process zb32-xls, for the expense confirmations.
#pragma once

#include "core/desk/WorkbookData.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace zb32 {

class Workbook
{
public:
    // Longest a reader process may take before it is given up as hung.
    static constexpr int kReaderTimeoutMs = 120000;

    bool open(const QString& path, QString* error);
    void close();

    // Sheet names in the workbook's own order.
    QStringList sheetNames() const;
    // Selects a sheet by its name (with or without brackets and "$").
    bool selectSheet(const QString& name, QString* error);
    int rowCount() const { return m_sheet ? m_sheet->rows : 0; }
    int columnCount() const { return m_sheet ? m_sheet->columns : 0; }
    // 0-based row and column, each cell as the sheet shows it after its last calculation (a
    // formula by its saved result): numbers as double, text as QString, true and false as bool,
    // an error as its text ("#DIV/0!"), a date cell as QDate, date and time as QDateTime, a time
    // as QTime, an empty cell as a null QVariant.
    QVariant cell(int row, int column) const;
    QVariant cell(int row, int column, QString* /*error*/) const { return cell(row, column); }

    // The reader program: $ZB32_XLS_READER, else zb32-xls beside the running program.
    static QString readerPath();

private:
    WorkbookData m_data;
    const WorkbookSheet* m_sheet = nullptr;
};

// The first table of a workbook as a database lists them, by name: sheet names sorted
// without regard to case, returned bracketed with their "$" ([Foglio1$]). Empty when none.
QString RicavaPrimaTable(const Workbook& workbook);

} // namespace zb32
