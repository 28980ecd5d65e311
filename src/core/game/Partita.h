// A game of Gravix in time: the fall step, full rows and their points, lines, levels and speeds,
// difficulty rows, fast drop and its bonus, pause, the overlay message and the game-over sequence.
// The window shows what the signals say and drives the fall timer and the keys.
#pragma once

#include "core/game/Tabellone.h"
#include "core/game/TilePainter.h"

#include <QList>
#include <QObject>
#include <QString>

namespace zb32 {

class Suoni;
class TabellaRecord;

class Partita : public QObject
{
    Q_OBJECT
public:
    enum class Tasto { Destra, Sinistra, Ruota, RuotaDestra, Giu, Altro };

    static constexpr int kIntervalloVeloce = 30; // fast drop, ms
    static constexpr int kLivelloIniziale = 5;
    static constexpr int kUltimoSfondo = 15; // background tiles exist for levels 0..15
    static QString messaggioInizio() { return QStringLiteral("Premi F2 per iniziare"); }
    static QString messaggioPausa() { return QStringLiteral("Premi F3 per continuare"); }
    static QString messaggioFine() { return QStringLiteral("GAME OVER"); }

    Partita(TilePainter& painter, RandomSource& random, Suoni& suoni, TabellaRecord& record, QObject* parent = nullptr);

    // The window's load: empty board, templates, high scores, the start message, level 5.
    void Carica();

    void tmrGioco_Timer();
    void DropGriglia();
    void NuovaPartita(int difficolta);
    void ImpostaLivello(int livello);
    void ImpostaVelocita();
    void pausa(bool b);
    // The pause menu item: toggles its own flag and pauses or resumes by it.
    void mnuPausa_Click();
    // Focus loss or minimising: pauses whatever the state, before the first game and after the last
    // too, leaving the menu item's flag alone (so the first F3 after it keeps the pause).
    void sospendi();
    void MostraMessaggio(const QString& testo);
    void NascondiMessaggio();

    void tastoPremuto(Tasto tasto);
    void tastoRilasciato(Tasto tasto);

    // The background option: tile 0 shows the level's background, or the plain tile.
    void setSfondi(bool on);
    bool sfondi() const { return m_sfondi; }
    // The preview option: the preview is cleared now and painted again from the next piece on.
    void setAnteprima(bool on);
    bool anteprima() const { return m_tabellone.anteprima(); }

    // Index of the last ticked item of a menu array; 0 when none is.
    static int IndiceSelezionato(const QList<bool>& spunte);
    // The fall interval of a level, ms.
    static int velocita(int livello);

    int iLivello() const { return m_livello; }
    int iVelocita() const { return m_velocita; }
    int iPuntiBoost() const { return m_puntiBoost; }
    bool bStato() const { return m_stato; }
    bool bPausaMenu() const { return m_pausaMenu; }
    int intervallo() const { return m_intervallo; }
    bool timerAttivo() const { return m_timerAttivo; }
    bool discesaVeloce() const { return m_veloce; }
    qint64 punti() const { return m_punti; }
    qint64 linee() const { return m_linee; }
    QString messaggio() const { return m_messaggio; }
    bool messaggioVisibile() const { return m_messaggioVisibile; }
    bool nuovaAbilitata() const { return m_nuovaAbilitata; }
    // The tile the empty cells show: a background 0..15 or TilePainter::kVuotaPiana.
    int tileVuota() const { return m_tileVuota; }

    Tabellone& tabellone() { return m_tabellone; }
    const Tabellone& tabellone() const { return m_tabellone; }
    TabellaRecord& record() { return m_record; }

Q_SIGNALS:
    void timerChanged(int interval, bool active);
    void messageChanged(const QString& text, bool visible);
    void levelChanged(int level);
    void scoreChanged(qint64 score);
    void linesChanged(qint64 lines);
    void newGameEnabledChanged(bool enabled);
    void recordsChanged();

private:
    void setTimer(int intervallo, bool attivo);
    void setPunti(qint64 punti);
    void setLinee(qint64 linee);
    void setNuovaAbilitata(bool on);
    void aggiornaVuote();

    TilePainter& m_painter;
    Tabellone m_tabellone;
    Suoni& m_suoni;
    TabellaRecord& m_record;
    int m_livello = kLivelloIniziale;
    int m_velocita = 1200 / kLivelloIniziale;
    int m_puntiBoost = 0;
    bool m_stato = false;
    bool m_pausaMenu = false;
    int m_intervallo = 1200 / kLivelloIniziale;
    bool m_timerAttivo = false;
    bool m_veloce = false; // the interval was last set by the down arrow
    qint64 m_punti = 0;
    qint64 m_linee = 0;
    QString m_messaggio;
    bool m_messaggioVisibile = false;
    bool m_nuovaAbilitata = true;
    bool m_sfondi = true;
    int m_tileVuota = TilePainter::kVuotaPiana;
    bool m_recordControllato = false; // this game's score has had its chance at the table
};

} // namespace zb32
