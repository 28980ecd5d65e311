// "zb32 run JOB [options]", "zb32 initdb" and the other commands: the desk's work without a window.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace zb32 {

struct PreviewResult;

class Cli
{
public:
    enum ExitCode { Ok = 0, Condition = 1, Usage = 2, Failed = 3 };

    // How "anteprima" checks a print file and draws its letters (render/PrintFilePreview.h): the
    // drawing is loaded only for that command. Without it the command fails, saying so.
    using Preview = PreviewResult (*)(const QString& printFile, const QString& pdfPath, qint64 from, qint64 to);

    Cli(QTextStream& out, QTextStream& err, Preview preview = nullptr);

    // Whether the arguments (without the program name) ask for the command line.
    static bool wants(const QStringList& args);
    // Whether the command draws (fonts, painting): it needs a GUI application, without a display.
    static bool needsGui(const QStringList& args);
    int run(const QStringList& args);

private:
    // `check`: the same job and options, reading the whole file and writing nothing.
    int runJob(const QStringList& args, bool check = false);
    int initDb(const QStringList& args);
    int registro(const QStringList& args);
    int annulla(const QStringList& args);
    int anteprima(const QStringList& args);
    int usage(const QString& problem);

    QTextStream& m_out;
    QTextStream& m_err;
    Preview m_preview = nullptr;
};

} // namespace zb32
