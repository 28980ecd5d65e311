// Line reading over a device, in chunks, with the byte position kept for progress bars.
#include "LineReader.h"

#include "Cp1252.h"

namespace zb32 {

namespace {
constexpr qint64 kChunk = 256 * 1024;
}

LineReader::LineReader(QIODevice* device)
    : m_device(device)
{
}

bool LineReader::fill()
{
    if (m_atEnd) {
        return false;
    }
    if (m_offset > 0) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + kChunk);
    const qint64 got = m_device->read(m_buffer.data() + old, kChunk);
    if (got < 0) {
        m_buffer.resize(old);
        m_error = m_device->errorString();
        m_atEnd = true;
        return false;
    }
    m_buffer.resize(old + got);
    if (got == 0) {
        m_atEnd = true;
        return false;
    }
    return true;
}

LineReader::Status LineReader::readLine(QString* line)
{
    qsizetype searchFrom = m_offset;
    for (;;) {
        const qsizetype cr = m_buffer.indexOf('\r', searchFrom);
        if (cr >= 0) {
            // A CR at the very end of the buffer may be followed by an LF not read yet.
            if (cr + 1 >= m_buffer.size() && !m_atEnd) {
                const qsizetype rel = cr - m_offset;
                fill();
                searchFrom = m_offset + rel;
                continue;
            }
            qsizetype end = cr + 1;
            if (end < m_buffer.size() && m_buffer[end] == '\n') {
                ++end;
            }
            *line = Cp1252::decode(m_buffer.constData() + m_offset, cr - m_offset);
            m_position += end - m_offset;
            m_offset = end;
            ++m_lineNumber;
            return Status::Line;
        }
        if (m_buffer.size() - m_offset > kMaxLineBytes) {
            m_error = QStringLiteral("riga %1 più lunga di %2 byte").arg(m_lineNumber + 1).arg(kMaxLineBytes);
            return Status::Error;
        }
        searchFrom = m_buffer.size() - m_offset;
        if (!fill()) {
            if (!m_error.isEmpty()) {
                return Status::Error;
            }
            if (m_offset >= m_buffer.size()) {
                return Status::End;
            }
            *line = Cp1252::decode(m_buffer.constData() + m_offset, m_buffer.size() - m_offset);
            m_position += m_buffer.size() - m_offset;
            m_offset = m_buffer.size();
            ++m_lineNumber;
            return Status::Line;
        }
        searchFrom += m_offset; // fill() moved the data to the front
    }
}

} // namespace zb32
