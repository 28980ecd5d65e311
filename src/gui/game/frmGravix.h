// The Gravix window: board, preview, level, lines, score and high scores, the overlay message,
// the menus and the keys. The game itself is the core's Partita; this window shows it and drives it.
#pragma once

#include "core/game/Partita.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTimer;

namespace zb32 {

class BoardBox;
class GravixCanvas;
class NameInput;
class RandomSource;
class RecordStore;
class Suoni;
class TabellaRecord;

class frmGravix : public QMainWindow
{
    Q_OBJECT
public:
    struct Options
    {
        RandomSource* random = nullptr; // null: the game's own, seeded from the time of day at load
        Suoni* suoni = nullptr; // null: the sound files beside the program
        bool driveTimer = true; // false: the fall timer runs but only tests tick the game
    };

    explicit frmGravix(QWidget* parent = nullptr);
    explicit frmGravix(const Options& options, QWidget* parent = nullptr);
    ~frmGravix() override;

    // Shows the game window, not modal, as an independent window: the one window of the program,
    // restored and brought to the front. Closing it hides it and ends its game; the next call
    // shows it again as just loaded.
    static frmGravix* showGame();

    // The texts of the key-help and score-table messages.
    static QString testoTasti();
    static QString testoPunteggi();

    Partita* partita() const { return m_partita; }
    GravixCanvas* canvas() const { return m_canvas.get(); }

    // Controls, under the game's own names.
    BoardBox* pctGriglia = nullptr;
    BoardBox* pctPreView = nullptr;
    std::array<QLabel*, 3> Label1 {};
    QLabel* lblLivello = nullptr;
    QLabel* lblLinee = nullptr;
    QLabel* lblPunti = nullptr;
    QFrame* Picture1 = nullptr;
    std::array<QLabel*, 3> lblRecN {};
    std::array<QLabel*, 3> lblRecP {};
    std::array<QLabel*, 2> lblMsg {};
    QTimer* tmrGioco = nullptr;
    QMenu* mnuParita = nullptr;
    QAction* mnuNuova = nullptr;
    QAction* mnuPausa = nullptr;
    QAction* mnuEsci = nullptr;
    QMenu* mnuOpzioni = nullptr;
    QMenu* mnuLivello = nullptr;
    std::array<QAction*, 10> mnuL {}; // 1..9
    QMenu* mnuDifficolta = nullptr;
    std::array<QAction*, 6> mnuD {}; // 0..5
    QAction* mnuPreview = nullptr;
    QAction* mnuSfondi = nullptr;
    QMenu* mnuAiuto = nullptr;
    QAction* mnuTasti = nullptr;
    QAction* mnuPunteggi = nullptr;
    QAction* mnuAbout = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void Form_Load();
    void makeGame();
    void mnuNuova_Click();
    void mnuPausa_Click();
    void mnuL_Click(int index);
    void mnuD_Click(int index);
    void mnuPreview_Click();
    void mnuSfondi_Click();
    void mnuTasti_Click();
    void mnuPunteggi_Click();
    void mnuAbout_Click();
    void pctGriglia_LostFocus();

    void onTimerChanged(int interval, bool active);
    void onMessageChanged(const QString& text, bool visible);
    void showRecords();
    void setRightAligned(QLabel* label, const QString& text);

    std::unique_ptr<RandomSource> m_ownRandom;
    RandomSource* m_random = nullptr;
    std::unique_ptr<Suoni> m_ownSuoni;
    Suoni* m_suoni = nullptr;
    std::unique_ptr<GravixCanvas> m_canvas;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<NameInput> m_names;
    std::unique_ptr<TabellaRecord> m_record;
    Partita* m_partita = nullptr;
    bool m_placed = false;
    bool m_driveTimer = true;
    bool m_closed = false;
};

} // namespace zb32
