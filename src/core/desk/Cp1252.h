// Windows-1252, the code page of the creditor files and of the print file.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zb32::Cp1252 {

QString decode(const char* data, qsizetype size);
inline QString decode(const QByteArray& bytes)
{
    return decode(bytes.constData(), bytes.size());
}
// Characters outside the code page become "?".
QByteArray encode(QStringView text);

// The offset of the first byte of data[from, size) with its high bit set, or `size`: text files
// are mostly plain ASCII, passed over sixteen or eight bytes at a time.
inline qsizetype asciiEnd(const char* data, qsizetype from, qsizetype size)
{
    qsizetype i = from;
#if defined(__SSE2__)
    for (; i + 16 <= size; i += 16) {
        if (_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i))) != 0) {
            break;
        }
    }
#endif
    for (; i + 8 <= size; i += 8) {
        quint64 w = 0;
        std::memcpy(&w, data + i, sizeof w);
        if ((w & 0x8080808080808080ULL) != 0) {
            break;
        }
    }
    while (i < size && static_cast<unsigned char>(data[i]) < 0x80) {
        ++i;
    }
    return i;
}

} // namespace zb32::Cp1252
