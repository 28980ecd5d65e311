// The desk's windows and the drawing of letters live in a module of their own, beside the
// executable, loaded only when the desk opens or a command draws. A job run from the command line
// then loads none of Qt's widgets, painting, sound or their libraries (some forty fewer): it starts
// sooner and keeps some 10 MB less of them in memory. The module takes the core from the
// executable, so both share one copy of it.
#pragma once

#include "cli/Cli.h"

#include <QString>

class QCoreApplication;

namespace zb32 {

struct DeskModule
{
    // The desk's window, until it closes; `workspaceError` (when not empty) is shown on it.
    int (*runDesk)(int argc, char* argv[], const QString& workspaceError);
    // An application that draws without a display (the platform without a screen).
    QCoreApplication* (*newDrawingApplication)(int& argc, char* argv[]);
    // previewPrintFile (render/PrintFilePreview.h).
    Cli::Preview previewPrintFile;
};

// The module beside the executable, loaded once; nullptr with the reason (its path named).
const DeskModule* loadDeskModule(QString* error);

} // namespace zb32

// The module's one entry, looked up by this name.
extern "C" const zb32::DeskModule* zb32DeskModule();
