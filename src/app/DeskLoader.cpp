// The executable's side: the desk's module found beside the executable and loaded once.
#include "app/DeskModule.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace zb32 {

namespace {

// The executable's own folder, before any application object exists to say it.
QString executableDir()
{
#ifdef Q_OS_WIN
    wchar_t path[MAX_PATH];
    const DWORD size = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return QFileInfo(QString::fromWCharArray(path, int(size))).absolutePath();
#else
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
#endif
}

} // namespace

const DeskModule* loadDeskModule(QString* error)
{
    static const DeskModule* loaded = nullptr;
    if (loaded) {
        return loaded;
    }
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("zb32desk.dll");
#else
    const QString name = QStringLiteral("libzb32desk.so");
#endif
    const QString path = QDir(executableDir()).filePath(name);
    if (!QFileInfo::exists(path)) {
        *error = QStringLiteral("manca il modulo delle finestre: %1").arg(QDir::toNativeSeparators(path));
        return nullptr;
    }
    // Loaded for the process's life (a QLibrary leaves its library loaded as it goes): its windows
    // and fonts are in use until the end.
    static QLibrary library;
    library.setFileName(path);
    using Entry = const DeskModule* (*)();
    const auto entry = library.load() ? reinterpret_cast<Entry>(library.resolve("zb32DeskModule")) : nullptr;
    if (!entry) {
        *error = QStringLiteral("il modulo delle finestre non si carica: %1: %2")
                     .arg(QDir::toNativeSeparators(path), library.errorString());
        return nullptr;
    }
    loaded = entry();
    return loaded;
}

} // namespace zb32
