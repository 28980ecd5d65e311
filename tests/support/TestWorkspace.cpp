// Temporary drive folders for tests.
#include "TestWorkspace.h"

#include <QDir>
#include <QFile>

namespace zb32::test {

TestWorkspace::TestWorkspace()
    : m_oldZ(qgetenv("ZB32_DRIVE_Z"))
    , m_oldC(qgetenv("ZB32_DRIVE_C"))
{
    m_z = m_dir.path() + QStringLiteral("/Z");
    m_c = m_dir.path() + QStringLiteral("/C");
    QDir().mkpath(m_z + QStringLiteral("/work/kx32/dati"));
    QDir().mkpath(m_z + QStringLiteral("/work/kx32/import"));
    QDir().mkpath(m_c);
    qputenv("ZB32_DRIVE_Z", QFile::encodeName(m_z));
    qputenv("ZB32_DRIVE_C", QFile::encodeName(m_c));
}

TestWorkspace::~TestWorkspace()
{
    if (m_oldZ.isNull()) {
        qunsetenv("ZB32_DRIVE_Z");
    } else {
        qputenv("ZB32_DRIVE_Z", m_oldZ);
    }
    if (m_oldC.isNull()) {
        qunsetenv("ZB32_DRIVE_C");
    } else {
        qputenv("ZB32_DRIVE_C", m_oldC);
    }
}

void TestWorkspace::writeIni(const QString& connString)
{
    QFile f(m_z + QStringLiteral("/work/kx32/dati/kx32.ini"));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QByteArray text = "[altro]\r\nchiave=valore\r\n[datiserver]\r\n";
    if (!connString.isEmpty()) {
        text += "connstring=" + connString.toUtf8() + "\r\n";
    }
    f.write(text);
}

QString TestWorkspace::importFolder() const
{
    return m_z + QStringLiteral("/work/kx32/import");
}

QString TestWorkspace::writeImportFile(const QString& name, const QByteArray& bytes) const
{
    const QString path = importFolder() + QLatin1Char('/') + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    return path;
}

} // namespace zb32::test
