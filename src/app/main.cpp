// zb32: the import desk window, or the command line when asked for one.
#include "cli/Cli.h"
#include "core/desk/Workspace.h"
#include "gui/ItalianTranslation.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <memory>

#if defined(__GLIBC__) && defined(__x86_64__)
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// The C library picks its copy and fill functions by the processor. Where it has AVX-512 it picks
// ones that leave the upper vector registers in use, and every later SSE instruction of the
// process (Qt's text functions are full of them) pays for that: a case import spent 6 to 11 % of
// its time in memmove, and its CPU time fell by 13 % with the AVX2 functions. The choice is made
// as the program is loaded, so the program starts itself again, once, with them set aside
// (GLIBC_TUNABLES). A choice the environment already makes is kept; under valgrind, whose
// processes this would leave, nothing is done.
void restartWithAvx2StringFunctions(char* argv[])
{
    if (!__builtin_cpu_supports("avx512f")) {
        return;
    }
    const char* current = std::getenv("GLIBC_TUNABLES");
    const char* preload = std::getenv("LD_PRELOAD");
    if ((current && std::strstr(current, "glibc.cpu.hwcaps")) || (preload && std::strstr(preload, "vgpreload"))) {
        return;
    }
    const std::string before = current ? current : "";
    const std::string value = (before.empty() ? std::string() : before + ":") + "glibc.cpu.hwcaps=-AVX512F,-AVX512VL";
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) {
        return;
    }
    execv("/proc/self/exe", argv);
    // Not started again: this process goes on as it is.
    if (current) {
        setenv("GLIBC_TUNABLES", before.c_str(), 1);
    } else {
        unsetenv("GLIBC_TUNABLES");
    }
}

} // namespace
#endif

int main(int argc, char* argv[])
{
#if defined(__GLIBC__) && defined(__x86_64__)
    restartWithAvx2StringFunctions(argv);
#endif
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const bool commandLine = zb32::Cli::wants(args);
    QString workspaceError;
    bool created = false;
    const bool workspaceOk = zb32::ensureDemoWorkspace(&created, &workspaceError);

    if (commandLine) {
        // A command that draws needs fonts, hence a GUI application, but never a window: the
        // platform without a screen serves it, so it runs where there is no display at all.
        std::unique_ptr<QCoreApplication> app;
        if (zb32::Cli::needsGui(args)) {
#ifndef Q_OS_WIN
            qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
            app = std::make_unique<QGuiApplication>(argc, argv);
        } else {
            app = std::make_unique<QCoreApplication>(argc, argv);
        }
        QCoreApplication::setApplicationName(QStringLiteral("zb32"));
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (!workspaceOk) {
            err << workspaceError << '\n';
        }
        return zb32::Cli(out, err).run(args);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zb32"));
    QApplication::setApplicationVersion(QStringLiteral(ZB32_VERSION));
    zb32::installItalianTranslation(); // "Annulla", "Sì", "No" on every box's buttons
    auto* desk = new zb32::Form1();
    desk->setAttribute(Qt::WA_DeleteOnClose);
    desk->show();
    if (!workspaceOk) {
        zb32::MessageBox::ok(desk, workspaceError, {}, zb32::MessageBox::Icon::Warning);
    }
    return app.exec();
}
