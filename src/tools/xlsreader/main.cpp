// zb32-xls: reads an .xls workbook with FreeXL and writes its cells to stdout for the program.
// Workbooks come from outside; a damaged one must not take the desk down with it, so the
// parsing happens here, in a process of its own.
#include "core/desk/WorkbookData.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTime>
#include <cstdio>
#include <freexl.h>

namespace {

QString reason(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("file non trovato");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("memoria insufficiente");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
        return QStringLiteral("il file non è una cartella di lavoro Excel (.xls)");
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_CFBF_SEEK_ERROR:
        // What the file's own header promises is not there: cut short, or too short to be one.
        return QStringLiteral("il file è troncato, o non è una cartella di lavoro Excel (.xls)");
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("il file non contiene una cartella di lavoro");
    case FREEXL_CFBF_EMPTY_FAT_CHAIN:
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
    case FREEXL_BIFF_INVALID_BOF:
    case FREEXL_BIFF_INVALID_SST:
    case FREEXL_BIFF_ILLEGAL_SST_INDEX:
    case FREEXL_INVALID_MINI_STREAM:
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
    case FREEXL_CRAFTED_FILE:
        return QStringLiteral("il file è danneggiato e non si legge come cartella di lavoro Excel (.xls) (errore %1)")
            .arg(code);
    default:
        return QStringLiteral("il file non si legge come cartella di lavoro Excel (errore %1)").arg(code);
    }
}

int fail(const QString& why)
{
    std::fputs(why.toUtf8().constData(), stderr);
    return 2;
}

QVariant cellValue(const FreeXL_CellValue& v)
{
    switch (v.type) {
    case FREEXL_CELL_INT:
        return QVariant(static_cast<qlonglong>(v.value.int_value));
    case FREEXL_CELL_DOUBLE:
        return QVariant(v.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
        return QVariant(QString::fromUtf8(v.value.text_value));
    case FREEXL_CELL_DATE:
        return QVariant(QDate::fromString(QString::fromLatin1(v.value.text_value), Qt::ISODate));
    case FREEXL_CELL_DATETIME:
        return QVariant(
            QDateTime::fromString(QString::fromLatin1(v.value.text_value), QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    case FREEXL_CELL_TIME:
        return QVariant(QTime::fromString(QString::fromLatin1(v.value.text_value), QStringLiteral("HH:mm:ss")));
    default:
        return QVariant();
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        return fail(QStringLiteral("uso: zb32-xls FILE.xls"));
    }
    const void* handle = nullptr;
    const int rc = freexl_open(argv[1], &handle);
    if (rc != FREEXL_OK) {
        return fail(reason(rc));
    }
    unsigned int info = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info != FREEXL_BIFF_PLAIN) {
        freexl_close(handle);
        return fail(QStringLiteral("la cartella di lavoro è protetta da password"));
    }
    unsigned int count = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) {
        count = 0;
    }
    zb32::WorkbookData data;
    for (unsigned int i = 0; i < count && i < 65535; ++i) {
        zb32::WorkbookSheet sheet;
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle, static_cast<unsigned short>(i), &name) == FREEXL_OK && name) {
            sheet.name = QString::fromUtf8(name);
        }
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_select_active_worksheet(handle, static_cast<unsigned short>(i)) == FREEXL_OK
            && freexl_worksheet_dimensions(handle, &rows, &columns) == FREEXL_OK) {
            sheet.rows = static_cast<qint32>(qMin<unsigned int>(rows, 1u << 20));
            sheet.columns = columns;
            for (qint32 r = 0; r < sheet.rows; ++r) {
                for (int c = 0; c < sheet.columns; ++c) {
                    FreeXL_CellValue v;
                    if (freexl_get_cell_value(handle, static_cast<unsigned int>(r), static_cast<unsigned short>(c), &v)
                        != FREEXL_OK) {
                        continue;
                    }
                    const QVariant value = cellValue(v);
                    if (value.isValid()) {
                        sheet.cells.insert(zb32::WorkbookSheet::keyOf(r, c), value);
                    }
                }
            }
        }
        data.sheets.append(std::move(sheet));
    }
    freexl_close(handle);
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly)) {
        return fail(QStringLiteral("uscita non scrivibile"));
    }
    QDataStream stream(&out);
    data.write(stream);
    out.flush();
    return 0;
}
