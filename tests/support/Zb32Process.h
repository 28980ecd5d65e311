// Runs the zb32 executable as a separate process, as a clerk's script would, and collects
// its exit status and what it printed.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace zb32::test {

struct Zb32Run
{
    int exitCode = -1; // -1 when the process crashed or did not end in time
    QString out;
    QString err;
};

// The environment is the test's own (TestWorkspace points the drives at its folders), plus
// `extra` (for instance ZB32_TODAY).
Zb32Run runZb32(const QStringList& args, const QProcessEnvironment& extra = {}, int timeoutMs = 120000);

} // namespace zb32::test
