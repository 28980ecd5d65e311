// Reading the compound file container; every table and chain is checked against the file.
#include "CompoundFile.h"

#include <QtEndian>

namespace zb32::sheets {

namespace {

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFree = 0xFFFFFFFF;
constexpr quint32 kNone = 0xFFFFFFFF;
const char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

quint32 u32(const QByteArray& b, qint64 at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 u16(const QByteArray& b, qint64 at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

} // namespace

bool CompoundFile::isCompoundFile(const QByteArray& bytes)
{
    return bytes.startsWith(QByteArray::fromRawData(kSignature, 8));
}

bool CompoundFile::chain(const QList<quint32>& table, quint32 start, QList<quint32>* sectors) const
{
    sectors->clear();
    quint32 s = start;
    while (s != kEndOfChain && s != kFree) {
        // A chain longer than the table loops.
        if (s >= quint32(table.size()) || sectors->size() >= table.size()) {
            return false;
        }
        sectors->append(s);
        s = table[s];
    }
    return true;
}

bool CompoundFile::open(const QByteArray& bytes, ReadFailure* failure)
{
    m_bytes = &bytes;
    if (bytes.size() < 512 || !isCompoundFile(bytes)) {
        *failure = { ReadFailure::Kind::NotAWorkbook, {} };
        return false;
    }
    const quint16 sectorShift = u16(bytes, 30);
    const quint16 miniShift = u16(bytes, 32);
    if ((sectorShift != 9 && sectorShift != 12) || miniShift != 6) {
        *failure = damaged(QStringLiteral("l'intestazione del contenitore non è valida"));
        return false;
    }
    m_sectorSize = qint64(1) << sectorShift;
    m_miniSectorSize = qint64(1) << miniShift;
    m_miniCutoff = u32(bytes, 56);
    const qint64 sectorCount = (bytes.size() - 512 + m_sectorSize - 1) / m_sectorSize;
    auto sectorAt = [&](quint32 s) -> qint64 { return 512 + qint64(s) * m_sectorSize; };
    auto sectorPresent
        = [&](quint32 s) { return qint64(s) < sectorCount && sectorAt(s) + m_sectorSize <= bytes.size(); };

    // The sectors of the sector table: 109 in the header, the rest in a chain of extension sectors.
    QList<quint32> fatSectors;
    const quint32 fatCount = u32(bytes, 44);
    if (fatCount > quint32(sectorCount) + 1) {
        *failure = damaged(QStringLiteral("la tabella dei settori è più grande del file"));
        return false;
    }
    for (int i = 0; i < 109 && quint32(fatSectors.size()) < fatCount; ++i) {
        fatSectors.append(u32(bytes, 76 + 4 * i));
    }
    quint32 extension = u32(bytes, 68);
    const qint64 perExtension = m_sectorSize / 4 - 1;
    int guard = 0;
    while (quint32(fatSectors.size()) < fatCount && extension != kEndOfChain && extension != kFree) {
        if (!sectorPresent(extension) || ++guard > sectorCount) {
            *failure = damaged(QStringLiteral("la tabella dei settori è interrotta"));
            return false;
        }
        const qint64 at = sectorAt(extension);
        for (qint64 i = 0; i < perExtension && quint32(fatSectors.size()) < fatCount; ++i) {
            fatSectors.append(u32(bytes, at + 4 * i));
        }
        extension = u32(bytes, at + 4 * perExtension);
    }
    m_fat.clear();
    for (quint32 s : fatSectors) {
        if (!sectorPresent(s)) {
            // A table sector past the end: the file was cut short.
            *failure = damaged(QStringLiteral("il file è troncato"));
            return false;
        }
        const qint64 at = sectorAt(s);
        for (qint64 i = 0; i < m_sectorSize / 4; ++i) {
            m_fat.append(u32(bytes, at + 4 * i));
        }
    }

    // The directory.
    QByteArray directory;
    if (!readChain(u32(bytes, 48), quint64(kNone), &directory, failure)) {
        return false;
    }
    m_entries.clear();
    for (qint64 at = 0; at + 128 <= directory.size(); at += 128) {
        Entry e;
        const int nameBytes = qMin<int>(u16(directory, at + 64), 64);
        QString name;
        for (int i = 0; i + 1 < nameBytes; i += 2) {
            const char16_t c = u16(directory, at + i);
            if (c == 0) {
                break;
            }
            name += QChar(c);
        }
        e.name = name;
        e.type = static_cast<unsigned char>(directory[at + 66]);
        e.left = u32(directory, at + 68);
        e.right = u32(directory, at + 72);
        e.child = u32(directory, at + 76);
        e.start = u32(directory, at + 116);
        e.size = u32(directory, at + 120);
        if (sectorShift == 12) {
            e.size |= quint64(u32(directory, at + 124)) << 32;
        }
        m_entries.append(e);
    }
    if (m_entries.isEmpty() || m_entries[0].type != 5) {
        *failure = damaged(QStringLiteral("manca l'indice del contenitore"));
        return false;
    }

    // The entries of the root storage: its child and that child's siblings, a tree of their own.
    m_rootChildren.clear();
    QList<bool> seen(m_entries.size(), false);
    QList<quint32> pending { m_entries[0].child };
    while (!pending.isEmpty()) {
        const quint32 i = pending.takeLast();
        if (i >= quint32(m_entries.size()) || seen[i]) {
            continue;
        }
        seen[i] = true;
        m_rootChildren.append(int(i));
        pending << m_entries[i].left << m_entries[i].right;
    }

    // The small streams live in the mini stream, the root entry's stream, in 64-byte sectors.
    m_miniFat.clear();
    m_miniStream.clear();
    const quint32 miniFatStart = u32(bytes, 60);
    if (miniFatStart != kEndOfChain && miniFatStart != kFree) {
        QByteArray miniFat;
        if (!readChain(miniFatStart, quint64(kNone), &miniFat, failure)) {
            return false;
        }
        for (qint64 at = 0; at + 4 <= miniFat.size(); at += 4) {
            m_miniFat.append(u32(miniFat, at));
        }
        if (!readChain(m_entries[0].start, m_entries[0].size, &m_miniStream, failure)) {
            return false;
        }
    }
    return true;
}

bool CompoundFile::readChain(quint32 start, quint64 size, QByteArray* out, ReadFailure* failure) const
{
    QList<quint32> sectors;
    if (!chain(m_fat, start, &sectors)) {
        *failure = damaged(QStringLiteral("una catena di settori è interrotta o chiusa su sé stessa"));
        return false;
    }
    out->clear();
    for (quint32 s : sectors) {
        const qint64 at = 512 + qint64(s) * m_sectorSize;
        if (at >= m_bytes->size()) {
            *failure = damaged(QStringLiteral("il file è troncato"));
            return false;
        }
        // The last sector of a file may be cut short by its writer.
        out->append(m_bytes->constData() + at, qMin(m_sectorSize, m_bytes->size() - at));
        if (quint64(out->size()) >= size) {
            break;
        }
    }
    if (size != quint64(kNone)) {
        if (quint64(out->size()) < size) {
            *failure = damaged(QStringLiteral("il file è troncato"));
            return false;
        }
        out->truncate(static_cast<qsizetype>(size));
    }
    return true;
}

QStringList CompoundFile::streamNames() const
{
    QStringList names;
    for (int i : m_rootChildren) {
        if (m_entries[i].type == 2) {
            names << m_entries[i].name;
        }
    }
    return names;
}

int CompoundFile::findStream(const QString& name) const
{
    for (int i : m_rootChildren) {
        if (m_entries[i].type == 2 && m_entries[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

bool CompoundFile::readStream(const QString& name, QByteArray* out, ReadFailure* failure) const
{
    const int index = findStream(name);
    if (index < 0) {
        *failure = damaged(QStringLiteral("manca il flusso %1").arg(name));
        return false;
    }
    const Entry& e = m_entries[index];
    if (e.size > quint64(m_bytes->size())) {
        *failure = damaged(QStringLiteral("il file è troncato"));
        return false;
    }
    if (e.size >= m_miniCutoff) {
        return readChain(e.start, e.size, out, failure);
    }
    QList<quint32> sectors;
    if (!chain(m_miniFat, e.start, &sectors)) {
        *failure = damaged(QStringLiteral("una catena di settori è interrotta o chiusa su sé stessa"));
        return false;
    }
    out->clear();
    for (quint32 s : sectors) {
        const qint64 at = qint64(s) * m_miniSectorSize;
        if (at + m_miniSectorSize > m_miniStream.size()) {
            *failure = damaged(QStringLiteral("il file è troncato"));
            return false;
        }
        out->append(m_miniStream.constData() + at, m_miniSectorSize);
        if (quint64(out->size()) >= e.size) {
            break;
        }
    }
    if (quint64(out->size()) < e.size) {
        *failure = damaged(QStringLiteral("il file è troncato"));
        return false;
    }
    out->truncate(static_cast<qsizetype>(e.size));
    return true;
}

} // namespace zb32::sheets
