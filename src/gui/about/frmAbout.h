// The About box.
#pragma once

#include <QDialog>

namespace zb32 {

class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // Opens a new About box, not modal, as an independent window.
    static frmAbout* showAbout();
};

} // namespace zb32
