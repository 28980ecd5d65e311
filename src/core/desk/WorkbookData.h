// The cells of a workbook as the reader process hands them over: sheet names and typed cells.
#pragma once

#include <QDataStream>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

namespace zb32 {

struct WorkbookSheet
{
    QString name;
    qint32 rows = 0;
    qint32 columns = 0;
    QHash<qint64, QVariant> cells; // key: row * 65536 + column; empty cells are absent

    static qint64 keyOf(int row, int column) { return qint64(row) * 65536 + column; }
};

struct WorkbookData
{
    QList<WorkbookSheet> sheets;

    void write(QDataStream& out) const;
    // False when the stream is not a whole, well-formed dump.
    bool read(QDataStream& in);
};

} // namespace zb32
