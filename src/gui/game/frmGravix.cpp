// The game window.
#include "frmGravix.h"

namespace zb32 {

frmGravix::frmGravix(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Gravix"));
}

frmGravix* frmGravix::showGame()
{
    auto* game = new frmGravix();
    game->setAttribute(Qt::WA_DeleteOnClose);
    game->show();
    return game;
}

} // namespace zb32
