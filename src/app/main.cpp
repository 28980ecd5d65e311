// zb32: the import desk window, or the command line when asked for one.
#include "cli/Cli.h"
#include "core/desk/Platform.h"
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
