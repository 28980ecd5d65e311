// zb32-xls: reads a workbook (.xls, .xlsx, .ods) and writes its cells to stdout for the program.
// Workbooks come from outside; a damaged one must not take the desk down with it, so the
// parsing happens here, in a process of its own. With --text the cells are printed instead, one
// line per cell: sheet, row and column (from 1), type and value, for looking into a file by hand.
#include "WorkbookFile.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <QTime>
#include <algorithm>
#include <cstdio>

namespace {

int fail(const QString& why)
{
    std::fputs(why.toUtf8().constData(), stderr);
    return 2;
}

void printCells(const zb32::WorkbookData& data)
{
    QTextStream out(stdout);
    for (const zb32::WorkbookSheet& sheet : data.sheets) {
        out << "[" << sheet.name << "] " << sheet.rows << "x" << sheet.columns << "\n";
        QList<qint64> keys = sheet.cells.keys();
        std::sort(keys.begin(), keys.end());
        for (qint64 key : keys) {
            const QVariant v = sheet.cells.value(key);
            QString text = v.toString();
            if (v.typeId() == QMetaType::Double) {
                text = QString::number(v.toDouble(), 'g', 17);
            } else if (v.typeId() == QMetaType::QDateTime) {
                text = v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            }
            out << sheet.name << "\t" << key / 65536 + 1 << "\t" << key % 65536 + 1 << "\t" << v.typeName() << "\t"
                << text << "\n";
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    const bool text = argc == 3 && qstrcmp(argv[1], "--text") == 0;
    if (argc != 2 && !text) {
        return fail(QStringLiteral("uso: zb32-xls [--text] FILE"));
    }
    zb32::WorkbookData data;
    QString error;
    if (!zb32::sheets::readWorkbookFile(QFile::decodeName(argv[argc - 1]), &data, &error)) {
        return fail(error);
    }
    if (text) {
        printCells(data);
        return 0;
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly)) {
        return fail(QStringLiteral("uscita non scrivibile"));
    }
    QDataStream stream(&out);
    data.write(stream);
    out.flush();
    return 0;
}
