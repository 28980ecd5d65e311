// Drive paths. The one place that knows how a drive letter maps to a folder off Windows.
#include "core/desk/DrivePath.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtGlobal>

namespace zb32 {

QString driveRoot(QChar letter)
{
    const QChar up = letter.toUpper();
    const QByteArray var = "ZB32_DRIVE_" + QByteArray(1, static_cast<char>(up.toLatin1()));
    const QString fromEnv = qEnvironmentVariable(var.constData());
    if (!fromEnv.isEmpty()) {
        return QDir::cleanPath(fromEnv);
    }
    return QDir::homePath() + QStringLiteral("/.local/share/zb32/drives/") + up;
}

QString resolveDrivePath(const QString& windowsPath)
{
#ifdef Q_OS_WIN
    return windowsPath;
#else
    const bool hasDrive = windowsPath.size() >= 2 && windowsPath[1] == QLatin1Char(':') && windowsPath[0].isLetter();
    if (!hasDrive) {
        return QString(windowsPath).replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    QString path = driveRoot(windowsPath[0]);
    const QString rest = windowsPath.mid(2);
    const QStringList parts = rest.split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts);
    bool existing = QFileInfo(path).isDir();
    for (const QString& part : parts) {
        QString chosen = part;
        if (existing && part != QLatin1String(".") && part != QLatin1String("..")) {
            if (!QFileInfo::exists(path + QLatin1Char('/') + part)) {
                const QStringList entries
                    = QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
                for (const QString& e : entries) {
                    if (e.compare(part, Qt::CaseInsensitive) == 0) {
                        chosen = e;
                        break;
                    }
                }
            }
        }
        path += QLatin1Char('/') + chosen;
        existing = existing && QFileInfo(path).isDir();
    }
    if (rest.endsWith(QLatin1Char('\\')) || rest.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return path;
#endif
}

} // namespace zb32
