// The game window.
#pragma once

#include <QMainWindow>

namespace zb32 {

class frmGravix : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmGravix(QWidget* parent = nullptr);

    // Opens a new game window, not modal, as an independent window.
    static frmGravix* showGame();
};

} // namespace zb32
