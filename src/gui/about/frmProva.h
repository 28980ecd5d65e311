// Maintenance: the test window. Shows where the configuration file is, its connection string
// with any password masked, and whether a connection with it opens.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace zb32 {

class frmProva : public QWidget
{
    Q_OBJECT
public:
    explicit frmProva(QWidget* parent = nullptr);

    // Opens a test window as an independent window.
    static frmProva* showTest();

    QLabel* lblIni = nullptr;
    QLabel* lblConnString = nullptr;
    QLabel* lblStato = nullptr;
    QPushButton* cmdConnetti = nullptr;

    // Reads the configuration file again and tries to open a connection of its own with it;
    // true when it opened. The desk's connection is not touched.
    bool cmdConnetti_Click();

private:
    // Fills the labels from the configuration file as it is now; the connection string read.
    QString leggiConfigurazione();
};

} // namespace zb32
