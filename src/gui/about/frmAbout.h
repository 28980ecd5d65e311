// The About box: title, version, a text drawn from the pool, the system-information tool, and
// the hidden way into the game.
#pragma once

#include <QDialog>
#include <array>

class QFrame;
class QLabel;
class QPushButton;

namespace zb32 {

class PictureBox;

class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    // Opens the About box, not modal, as an independent window; an open one is brought forward.
    static frmAbout* showAbout();

    // Clicks on the icon since the program started.
    static int ClickIcona();
    // Tests start the count afresh.
    static void resetClickIcona();
    // The last Shift/Ctrl/Alt state seen: 1 Shift, 2 Ctrl, 4 Alt.
    int iShift() const { return m_iShift; }
    // The note a picture click shows.
    static QString notaFunzioni();
    // True when the pictures and the maintenance buttons all lie inside the window.
    bool hiddenAreaShown() const;

    // Controls, under their design names.
    PictureBox* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    std::array<QFrame*, 2> Line1 {};
    QLabel* lblDisclaimer = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    QPushButton* Command1 = nullptr;
    std::array<PictureBox*, 4> Picture1 {};
    QPushButton* cmdFinestre = nullptr;
    QPushButton* cmdProva = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void Command1_Click();
    void picIcon_Click();
    void Picture1_Click(int index);
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void cmdFinestre_Click();
    void cmdProva_Click();
    // Shows a drawn text, with the font made smaller when the text would not fit the label.
    void showDisclaimer(const QString& text);

    qint16 m_iShift = 0;
};

} // namespace zb32
