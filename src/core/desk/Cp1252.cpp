// Windows-1252 by table: fast, and independent of the codecs a Qt build happens to carry.
#include "core/desk/Cp1252.h"

#include <array>

namespace zb32::Cp1252 {

namespace {

// 0x80..0x9F; the five unassigned bytes map to the C1 control of the same value.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC,
    0x0081,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0x008D,
    0x017D,
    0x008F,
    0x0090,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0x009D,
    0x017E,
    0x0178,
};

} // namespace

QString decode(const char* data, qsizetype size)
{
    // Latin-1 is Windows-1252 but for 0x80..0x9F: Qt's own widening does the bulk, then those
    // bytes, rare in a creditor's file, are put right.
    QString out = QString::fromLatin1(data, size);
    QChar* dst = nullptr;
    for (qsizetype i = asciiEnd(data, 0, size); i < size; i = asciiEnd(data, i + 1, size)) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b < 0xA0) {
            if (!dst) {
                dst = out.data();
            }
            dst[i] = QChar(kHigh[b - 0x80]);
        }
    }
    return out;
}

QByteArray encode(QStringView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char* dst = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        unsigned char b = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            b = static_cast<unsigned char>(c);
        } else {
            for (int k = 0; k < 32; ++k) {
                if (kHigh[k] == c) {
                    b = static_cast<unsigned char>(0x80 + k);
                    break;
                }
            }
        }
        dst[i] = static_cast<char>(b);
    }
    return out;
}

} // namespace zb32::Cp1252
