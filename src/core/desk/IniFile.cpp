// Private-profile reading written by us: QSettings would treat commas, quotes and
// backslashes as syntax, which connection strings are full of.
#include "core/desk/IniFile.h"

#include "core/desk/Cp1252.h"

#include <QFile>

namespace zb32 {

QString LeggiIni(const QString& file, const QString& section, const QString& key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    // Configuration files are small; one that is not is not ours to read whole. Reading only
    // what the file holds spares a 4 MiB buffer on every job start.
    constexpr qint64 kLimit = 4 * 1024 * 1024;
    return iniValue(f.read(qBound<qint64>(0, f.size(), kLimit)), section, key);
}

namespace {

// A file saved by a newer editor: UTF-8 or UTF-16 with its byte-order mark, read as such; any
// other file in the code page the collection system writes.
QString decodeIni(const QByteArray& content)
{
    if (content.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(content.constData() + 3, content.size() - 3);
    }
    const bool littleEndian = content.startsWith("\xFF\xFE");
    if (littleEndian || content.startsWith("\xFE\xFF")) {
        QString text((content.size() - 2) / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const auto a = uchar(content[2 + 2 * i]);
            const auto b = uchar(content[3 + 2 * i]);
            text[i] = QChar(littleEndian ? ushort(a | b << 8) : ushort(b | a << 8));
        }
        return text;
    }
    return Cp1252::decode(content);
}

} // namespace

QString iniValue(const QByteArray& content, const QString& section, const QString& key)
{
    const QString text = decodeIni(content);
    bool inSection = false;
    bool sectionSeen = false;
    const QString wantedKey = key.trimmed();
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed(); // also drops the CR of CR LF
        if (line.startsWith(QLatin1Char('['))) {
            if (sectionSeen && inSection) {
                break; // the first section of that name is the one that counts
            }
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QStringView name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section.trimmed(), Qt::CaseInsensitive) == 0;
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection) {
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            continue;
        }
        if (line.left(eq).trimmed().compare(wantedKey, Qt::CaseInsensitive) == 0) {
            QStringView value = line.mid(eq + 1).trimmed();
            // A value in a pair of quotes is the text inside them.
            if (value.size() >= 2 && value.front() == value.back()
                && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))) {
                value = value.mid(1, value.size() - 2);
            }
            return value.left(511).toString();
        }
    }
    return {};
}

} // namespace zb32
