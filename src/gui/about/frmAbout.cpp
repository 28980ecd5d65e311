// The About box.
#include "frmAbout.h"

namespace zb32 {

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Informazioni su zb32"));
}

frmAbout* frmAbout::showAbout()
{
    auto* box = new frmAbout();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    return box;
}

} // namespace zb32
