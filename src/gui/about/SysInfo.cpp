// The system-information tool: registry values on Windows, the PATH elsewhere.
#include "gui/about/SysInfo.h"

#include "gui/desk/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <QSettings>
#endif

Q_LOGGING_CATEGORY(lcSysInfo, "zb32.about.sysinfo")

namespace zb32 {

namespace {

QString upToNul(QString text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0) {
        text.truncate(nul);
    }
    return text;
}

#ifdef Q_OS_WIN
QString rootName(KeyRoot root)
{
    switch (root) {
    case KeyRoot::ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case KeyRoot::CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case KeyRoot::Users:
        return QStringLiteral("HKEY_USERS");
    case KeyRoot::LocalMachine:
        break;
    }
    return QStringLiteral("HKEY_LOCAL_MACHINE");
}
#endif

} // namespace

#ifdef Q_OS_WIN

bool GetKeyValue(KeyRoot keyRoot, const QString& keyName, const QString& subKeyRef, QString& keyVal)
{
    // Read access is all a lookup needs; asking for more fails for ordinary users on HKLM.
    QString full = rootName(keyRoot) + QLatin1Char('\\') + keyName;
    while (full.endsWith(QLatin1Char('\\'))) {
        full.chop(1);
    }
    const qsizetype cut = full.lastIndexOf(QLatin1Char('\\'));
    QSettings parent(full.left(cut), QSettings::NativeFormat);
    if (!parent.childGroups().contains(full.mid(cut + 1), Qt::CaseInsensitive)) {
        keyVal.clear();
        return false;
    }
    QSettings key(full, QSettings::NativeFormat);
    const QVariant value = key.value(subKeyRef);
    if (value.typeId() == QMetaType::QString) {
        keyVal = upToNul(value.toString());
    }
    return true;
}

QList<SysInfoSource> sysInfoSources()
{
    return {
        { KeyRoot::LocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"),
            {} },
        { KeyRoot::LocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"),
            QStringLiteral("MSINFO32.EXE") },
    };
}

#else

bool GetKeyValue(KeyRoot, const QString& keyName, const QString& subKeyRef, QString& keyVal)
{
    QString found;
    for (const QString& name : keyName.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        found = QStandardPaths::findExecutable(name.trimmed());
        if (!found.isEmpty()) {
            break;
        }
    }
    if (found.isEmpty()) {
        keyVal.clear();
        return false;
    }
    if (subKeyRef.compare(QLatin1String("PATH"), Qt::CaseInsensitive) == 0) {
        keyVal = upToNul(found);
    } else if (subKeyRef.compare(QLatin1String("FOLDER"), Qt::CaseInsensitive) == 0) {
        keyVal = QFileInfo(found).absolutePath();
    }
    return true;
}

QList<SysInfoSource> sysInfoSources()
{
    // First a hardware-information tool, then the desktop's system monitor.
    return {
        { KeyRoot::LocalMachine, QStringLiteral("hardinfo2;hardinfo"), QStringLiteral("PATH"), {} },
        { KeyRoot::LocalMachine,
            QStringLiteral(
                "gnome-system-monitor;plasma-systemmonitor;ksysguard;mate-system-monitor;xfce4-taskmanager;lxtask"),
            QStringLiteral("PATH"), {} },
    };
}

#endif

QString sysInfoMissingText()
{
    return QStringLiteral("Informazioni di sistema non disponibili in questo momento");
}

bool StartSysInfo(QWidget* parent)
{
    for (const SysInfoSource& source : sysInfoSources()) {
        QString value;
        if (!GetKeyValue(source.root, source.keyName, source.valueName, value)) {
            continue;
        }
        QString program = value;
        if (!source.fileName.isEmpty()) {
            program = QDir(value).filePath(source.fileName);
            if (!QFileInfo::exists(program)) {
                continue;
            }
        }
        // A tool that is listed but does not start (an empty or stale path) lets the next one try.
        if (!program.isEmpty() && QProcess::startDetached(program, {})) {
            qCInfo(lcSysInfo) << "started" << program;
            return true;
        }
        qCWarning(lcSysInfo) << "could not start" << program;
    }
    MessageBox::ok(parent, sysInfoMissingText());
    return false;
}

} // namespace zb32
