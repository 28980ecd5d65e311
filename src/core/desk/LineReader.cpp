// Line reading over a device, in chunks, with the byte position kept for progress bars.
#include "core/desk/LineReader.h"

#include "core/desk/Cp1252.h"

namespace zb32 {

namespace {

constexpr qint64 kChunk = 256 * 1024;

// True when the bytes hold at least one multi-byte UTF-8 sequence and nothing that is not UTF-8.
bool looksLikeUtf8(const char* data, qsizetype size)
{
    bool multiByte = false;
    for (qsizetype i = 0; i < size;) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        unsigned int cp = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= size) {
            return false; // a sequence cut short by the end of the line
        }
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(data[i + k]);
            if ((c & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)))
            || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        multiByte = true;
        i += extra + 1;
    }
    return multiByte;
}

// The offset of the first byte that no text line holds, or -1.
qsizetype firstControlByte(const char* data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != 0x1a) {
            return i;
        }
    }
    return -1;
}

} // namespace

LineReader::LineReader(QIODevice* device)
    : m_device(device)
{ }

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
            return deliver(cr, end, line);
        }
        if (m_buffer.size() - m_offset > kMaxLineBytes) {
            return tooLong();
        }
        searchFrom = m_buffer.size() - m_offset;
        if (!fill()) {
            if (!m_error.isEmpty()) {
                return Status::Error;
            }
            if (m_offset >= m_buffer.size()) {
                return Status::End;
            }
            return deliver(m_buffer.size(), m_buffer.size(), line);
        }
        searchFrom += m_offset; // fill() moved the data to the front
    }
}

LineReader::Status LineReader::tooLong()
{
    m_error = QStringLiteral("riga più lunga di %1 byte: il file non è un file di testo a righe").arg(kMaxLineBytes);
    return Status::Error;
}

LineReader::Status LineReader::deliver(qsizetype end, qsizetype next, QString* line)
{
    const char* data = m_buffer.constData() + m_offset;
    const qsizetype size = end - m_offset;
    if (size > kMaxLineBytes) {
        return tooLong();
    }
    if (m_refuseControl) {
        const qsizetype at = firstControlByte(data, size);
        if (at >= 0) {
            m_error = QStringLiteral("la riga contiene il carattere di controllo 0x%1 alla colonna %2: il file non è "
                                     "un file di testo")
                          .arg(static_cast<unsigned char>(data[at]), 2, 16, QLatin1Char('0'))
                          .arg(at + 1);
            return Status::Error;
        }
    }
    if (m_refuseUtf8 && looksLikeUtf8(data, size)) {
        m_error
            = QStringLiteral("la riga è scritta in UTF-8 e non in Windows-1252 (le colonne risulterebbero spostate)");
        return Status::Error;
    }
    *line = Cp1252::decode(data, size);
    m_position += next - m_offset;
    m_offset = next;
    ++m_lineNumber;
    return Status::Line;
}

} // namespace zb32
