// An isolated set of drive folders (Z: and C:) in a temporary folder, with a configuration
// file that points at a given connection string. Restores the environment when destroyed.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace zb32::test {

class TestWorkspace
{
public:
    TestWorkspace();
    ~TestWorkspace();
    TestWorkspace(const TestWorkspace&) = delete;
    TestWorkspace& operator=(const TestWorkspace&) = delete;

    // Writes kx32.ini with [datiserver] connstring=...; an empty text writes no key at all.
    void writeIni(const QString& connString);
    // The import folder, created.
    QString importFolder() const;
    // Writes a file into the import folder (bytes as they stand) and returns its path.
    QString writeImportFile(const QString& name, const QByteArray& bytes) const;
    QString driveZ() const { return m_z; }
    QString driveC() const { return m_c; }

private:
    QTemporaryDir m_dir;
    QString m_z;
    QString m_c;
    QByteArray m_oldZ;
    QByteArray m_oldC;
};

} // namespace zb32::test
