// JSON text written by hand.
#include "core/desk/JsonText.h"

#include <QLocale>
#include <QVariant>
#include <cmath>

namespace zb32 {

void appendJsonText(QByteArray* out, QStringView text)
{
    // Printable ASCII, most texts and every field name, is written as it is read, with no UTF-8
    // copy between; anything else goes through one.
    const qsizetype start = out->size();
    out->resize(start + text.size() + 2);
    char* p = out->data() + start;
    *p++ = '"';
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x20 || u >= 0x7f || u == u'"' || u == u'\\') {
            out->resize(start);
            appendJsonUtf8(out, text.toUtf8());
            return;
        }
        *p++ = char(u);
    }
    *p = '"';
}

void appendJsonUtf8(QByteArray* out, const QByteArray& bytes)
{
    out->append('"');
    // The runs between characters to escape go whole.
    qsizetype from = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c != '"' && c != '\\') {
            continue;
        }
        out->append(bytes.constData() + from, i - from);
        if (c < 0x20) {
            out->append("\\u00").append(QByteArray::number(c, 16).rightJustified(2, '0'));
        } else {
            out->append('\\').append(char(c));
        }
        from = i + 1;
    }
    out->append(bytes.constData() + from, bytes.size() - from).append('"');
}

void appendJsonValue(QByteArray* out, const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        out->append(value.toBool() ? "true" : "false");
        return;
    case QJsonValue::Double: {
        const QVariant number = value.toVariant();
        if (number.typeId() == QMetaType::LongLong) {
            out->append(QByteArray::number(number.toLongLong()));
            return;
        }
        const double d = value.toDouble();
        out->append(std::isfinite(d) ? QByteArray::number(d, 'g', QLocale::FloatingPointShortest) : "null");
        return;
    }
    case QJsonValue::String:
        appendJsonText(out, value.toString());
        return;
    default:
        out->append("null");
    }
}

} // namespace zb32
