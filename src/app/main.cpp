// zb32: the import desk window, or the command line when asked for one.
#include "cli/Cli.h"
#include "core/desk/Workspace.h"
#include "gui/ItalianTranslation.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const bool commandLine = zb32::Cli::wants(args);
    QString workspaceError;
    bool created = false;
    const bool workspaceOk = zb32::ensureDemoWorkspace(&created, &workspaceError);

    if (commandLine) {
        QCoreApplication app(argc, argv);
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
