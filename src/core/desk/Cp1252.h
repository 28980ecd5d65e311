// Windows-1252, the code page of the creditor files and of the print file.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace zb32::Cp1252 {

QString decode(const char* data, qsizetype size);
inline QString decode(const QByteArray& bytes)
{
    return decode(bytes.constData(), bytes.size());
}
// Characters outside the code page become "?".
QByteArray encode(QStringView text);

} // namespace zb32::Cp1252
