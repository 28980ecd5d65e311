// The zb32 executable as a process.
#include "Zb32Process.h"

#include <QProcess>

namespace zb32::test {

Zb32Run runZb32(const QStringList& args, const QProcessEnvironment& extra, int timeoutMs)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : extra.keys()) {
        env.insert(key, extra.value(key));
    }
    p.setProcessEnvironment(env);
    p.setProgram(qEnvironmentVariable("ZB32_BINARY"));
    p.setArguments(args);
    p.start();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
        QString::fromUtf8(p.readAllStandardError()) };
}

} // namespace zb32::test
