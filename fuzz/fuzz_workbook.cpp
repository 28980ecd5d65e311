// The workbook reader on arbitrary bytes: every sheet, every cell.
#include "FuzzSupport.h"
#include "core/desk/Workbook.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zb32::fuzz::useBuiltWorkbookReader();
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.xls"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    zb32::Workbook book;
    QString error;
    if (!book.open(path, &error)) {
        zb32::fuzz::checkReaderReport(error);
        return 0;
    }
    (void)zb32::RicavaPrimaTable(book);
    for (const QString& sheet : book.sheetNames()) {
        if (!book.selectSheet(sheet, &error)) {
            continue;
        }
        const int rows = qMin(book.rowCount(), 2000);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < qMin(book.columnCount(), 64); ++c) {
                (void)book.cell(r, c);
            }
        }
    }
    return 0;
}
