// zb32: the import desk window, or the command line when asked for one.
#include "app/DeskModule.h"
#include "cli/Cli.h"
#include "core/desk/Platform.h"
#include "core/desk/Workspace.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    zb32::restartWithAvx2StringFunctions(argv);
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const bool commandLine = zb32::Cli::wants(args);
    QString workspaceError;
    bool created = false;
    const bool workspaceOk = zb32::ensureDemoWorkspace(&created, &workspaceError);

    QString moduleError;
    if (commandLine) {
        // A command that draws needs fonts, hence a GUI application, but never a window: the
        // platform without a screen serves it, so it runs where there is no display at all.
        const zb32::DeskModule* drawing = nullptr;
        std::unique_ptr<QCoreApplication> app;
        if (zb32::Cli::needsGui(args)) {
            drawing = zb32::loadDeskModule(&moduleError);
            if (!drawing) {
                std::fprintf(stderr, "zb32: %s\n", qPrintable(moduleError));
                return zb32::Cli::Failed;
            }
            app.reset(drawing->newDrawingApplication(argc, argv));
        } else {
            app = std::make_unique<QCoreApplication>(argc, argv);
        }
        QCoreApplication::setApplicationName(QStringLiteral("zb32"));
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (!workspaceOk) {
            err << workspaceError << '\n';
        }
        return zb32::Cli(out, err, drawing ? drawing->previewPrintFile : nullptr).run(args);
    }

    const zb32::DeskModule* desk = zb32::loadDeskModule(&moduleError);
    if (!desk) {
        std::fprintf(stderr, "zb32: %s\n", qPrintable(moduleError));
        return 1;
    }
    return desk->runDesk(argc, argv, workspaceOk ? QString() : workspaceError);
}
