// "zb32 run JOB [options]" and "zb32 initdb": the desk's jobs without a window.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace zb32 {

class Cli
{
public:
    enum ExitCode { Ok = 0, Condition = 1, Usage = 2, Failed = 3 };

    Cli(QTextStream& out, QTextStream& err);

    // Whether the arguments (without the program name) ask for the command line.
    static bool wants(const QStringList& args);
    int run(const QStringList& args);

private:
    int runJob(const QStringList& args);
    int initDb(const QStringList& args);
    int registro(const QStringList& args);
    int usage(const QString& problem);

    QTextStream& m_out;
    QTextStream& m_err;
};

} // namespace zb32
