// The module's side: the desk's window and the drawing of letters, for the executable.
#include "app/DeskModule.h"

#include "gui/ItalianTranslation.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"
#include "render/PrintFilePreview.h"

#include <QApplication>
#include <QGuiApplication>

namespace {

int runDesk(int argc, char* argv[], const QString& workspaceError)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zb32"));
    QApplication::setApplicationVersion(QStringLiteral(ZB32_VERSION));
    zb32::installItalianTranslation(); // "Annulla", "Sì", "No" on every box's buttons
    auto* desk = new zb32::Form1();
    desk->setAttribute(Qt::WA_DeleteOnClose);
    desk->show();
    if (!workspaceError.isEmpty()) {
        zb32::MessageBox::ok(desk, workspaceError, {}, zb32::MessageBox::Icon::Warning);
    }
    return app.exec();
}

QCoreApplication* newDrawingApplication(int& argc, char* argv[])
{
#ifndef Q_OS_WIN
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    return new QGuiApplication(argc, argv);
}

const zb32::DeskModule kModule { runDesk, newDrawingApplication, zb32::previewPrintFile };

} // namespace

extern "C" Q_DECL_EXPORT const zb32::DeskModule* zb32DeskModule()
{
    return &kModule;
}
