// An .xls workbook read cell by cell (FreeXL), for the expense confirmations.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

namespace zb32 {

class Workbook
{
public:
    Workbook() = default;
    ~Workbook();
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    bool open(const QString& path, QString* error);
    void close();

    // Sheet names in the workbook's own order.
    QStringList sheetNames() const { return m_sheets; }
    // Selects a sheet by its name (with or without brackets and "$").
    bool selectSheet(const QString& name, QString* error);
    int rowCount() const { return static_cast<int>(m_rows); }
    int columnCount() const { return m_columns; }
    // 0-based row and column. Numbers as qlonglong or double, text as QString, a date cell as
    // QDate, date and time as QDateTime, a time as QTime, an empty cell as a null QVariant.
    QVariant cell(int row, int column, QString* error = nullptr) const;

private:
    const void* m_handle = nullptr;
    QStringList m_sheets;
    unsigned int m_rows = 0;
    int m_columns = 0;
};

// The first table of a workbook as a database lists them, by name: sheet names sorted
// without regard to case, returned bracketed with their "$" ([Foglio1$]). Empty when none.
QString RicavaPrimaTable(const Workbook& workbook);

} // namespace zb32
