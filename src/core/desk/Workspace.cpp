// First-start workspace.
#include "core/desk/Workspace.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Cp1252.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Schema.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

static void initSampleResources()
{
    Q_INIT_RESOURCE(samples);
}

namespace zb32 {

bool ensureDemoWorkspace(bool* created, QString* error)
{
    if (created) {
        *created = false;
    }
    const QString root = driveRoot(QLatin1Char('Z'));
    if (QFileInfo::exists(root)) {
        return true;
    }
    initSampleResources();
    auto fail = [&](const QString& why) {
        if (error) {
            *error = QStringLiteral("Impossibile creare l'area di lavoro dimostrativa in %1: %2").arg(root, why);
        }
        return false;
    };
    const QString dati = root + QStringLiteral("/work/kx32/dati");
    const QString import = root + QStringLiteral("/work/kx32/import");
    if (!QDir().mkpath(dati) || !QDir().mkpath(import)) {
        return fail(QStringLiteral("cartelle non create"));
    }
    const QString connString = QStringLiteral("Provider=SQLite;Data Source=Z:\\work\\kx32\\dati\\kx32.db");
    QFile ini(dati + QStringLiteral("/kx32.ini"));
    if (!ini.open(QIODevice::WriteOnly)) {
        return fail(ini.errorString());
    }
    ini.write(Cp1252::encode(QStringLiteral("[datiserver]\r\nconnstring=%1\r\n").arg(connString)));
    ini.close();

    QString why;
    {
        CaseDatabase db;
        if (!db.open(connString, &why, true) || !Schema::create(db, &why)) {
            return fail(why);
        }
    }
    QDirIterator it(QStringLiteral(":/samples"), QDir::Files);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = import + QLatin1Char('/') + QFileInfo(source).fileName();
        if (!QFile::copy(source, target)) {
            return fail(QStringLiteral("file di esempio %1 non copiato").arg(target));
        }
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    if (created) {
        *created = true;
    }
    return true;
}

} // namespace zb32
