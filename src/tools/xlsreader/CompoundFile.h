// The compound file container of .xls workbooks: a little file system of sectors, whose streams
// ("Workbook", "Book") hold the records of the workbook.
#pragma once

#include "SheetBuilder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zb32::sheets {

class CompoundFile
{
public:
    static bool isCompoundFile(const QByteArray& bytes);

    // Reads the header, the sector tables and the directory of `bytes` (kept by reference).
    bool open(const QByteArray& bytes, ReadFailure* failure);
    // Names of the streams directly in the root storage.
    QStringList streamNames() const;
    bool hasStream(const QString& name) const { return findStream(name) >= 0; }
    // The whole stream (names compare without regard to case).
    bool readStream(const QString& name, QByteArray* out, ReadFailure* failure) const;

private:
    struct Entry
    {
        QString name;
        int type = 0; // 1 storage, 2 stream, 5 root
        quint32 left = 0xFFFFFFFF;
        quint32 right = 0xFFFFFFFF;
        quint32 child = 0xFFFFFFFF;
        quint32 start = 0;
        quint64 size = 0;
    };

    int findStream(const QString& name) const;
    // Follows a chain of the sector table from `start`, bounded by the table's size.
    bool chain(const QList<quint32>& table, quint32 start, QList<quint32>* sectors) const;
    bool readChain(quint32 start, quint64 size, QByteArray* out, ReadFailure* failure) const;

    const QByteArray* m_bytes = nullptr;
    qint64 m_sectorSize = 512;
    qint64 m_miniSectorSize = 64;
    quint32 m_miniCutoff = 4096;
    QList<quint32> m_fat;
    QList<quint32> m_miniFat;
    QByteArray m_miniStream;
    QList<Entry> m_entries;
    QList<int> m_rootChildren;
};

} // namespace zb32::sheets
