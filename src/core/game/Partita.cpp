// A game of Gravix in time.
#include "core/game/Partita.h"

#include "core/game/Suoni.h"
#include "core/game/TabellaRecord.h"
#include "core/game/TilePainter.h"

#include <algorithm>

namespace zb32 {

namespace {

constexpr int kLivelloMassimo = 32767;

} // namespace

Partita::Partita(TilePainter& painter, RandomSource& random, Suoni& suoni, TabellaRecord& record, QObject* parent)
    : QObject(parent)
    , m_painter(painter)
    , m_tabellone(painter, random)
    , m_suoni(suoni)
    , m_record(record)
{ }

void Partita::Carica()
{
    m_tabellone.PulisciGriglia();
    m_tabellone.CaricaPezzi();
    m_record.CaricaRecord();
    Q_EMIT recordsChanged();
    MostraMessaggio(messaggioInizio());
    ImpostaLivello(kLivelloIniziale);
}

void Partita::tmrGioco_Timer()
{
    if (!m_tabellone.MuoviPezzo(Tabellone::kGiu)) {
        DropGriglia();
        m_suoni.Suona(Suoni::kAtterraggio);
        setPunti(m_punti + m_puntiBoost);
        m_puntiBoost = 0;
        if (!m_tabellone.NuovoPezzo()) {
            m_suoni.Suona(Suoni::kFinePartita);
            MostraMessaggio(messaggioFine());
            // Play resumed after GAME OVER ends here again: one game takes one place at most.
            if (!m_recordControllato) {
                m_recordControllato = true;
                m_record.ControllaRecord(m_punti);
            }
            Q_EMIT recordsChanged();
            setNuovaAbilitata(true);
        }
    }
    // Also in the landing tick: that bonus goes to the next piece.
    if (m_veloce) {
        m_puntiBoost += m_livello;
    }
}

void Partita::DropGriglia()
{
    const int righe = m_tabellone.RimuoviRighePiene();
    // Five or more rows (full difficulty rows beside the piece's) score as four.
    static constexpr int kPunti[] = { 0, 10, 50, 200, 500 };
    const int livello = m_livello; // the level before any rise in this landing
    if (righe > 0) {
        setPunti(m_punti + static_cast<qint64>(kPunti[std::min(righe, 4)]) * livello);
        m_suoni.Suona(righe >= 4 ? Suoni::kQuattroRighe : Suoni::kRighe);
    }
    setLinee(m_linee + righe);
    if (m_linee >= static_cast<qint64>(m_livello) * 8) {
        ImpostaLivello(m_livello + 1);
    }
}

void Partita::NuovaPartita(int difficolta)
{
    setNuovaAbilitata(false);
    m_tabellone.PulisciGriglia();
    ImpostaVelocita();
    m_tabellone.RigheDifficolta(difficolta);
    m_tabellone.DisegnaGriglia(true);
    m_tabellone.NuovoPezzo();
    m_veloce = false;
    m_puntiBoost = 0; // a bonus left from the last game's landing is not this game's
    m_recordControllato = false;
    setTimer(m_velocita, m_timerAttivo);
    setPunti(0);
    setLinee(0);
    m_record.CaricaRecord();
    Q_EMIT recordsChanged();
    NascondiMessaggio();
}

void Partita::ImpostaLivello(int livello)
{
    m_livello = std::clamp(livello, 1, kLivelloMassimo);
    Q_EMIT levelChanged(m_livello);
    ImpostaVelocita();
    // Past the last background there is no tile to take: the empty cells keep the one they show.
    if (m_sfondi && m_livello <= kUltimoSfondo) {
        aggiornaVuote();
    }
}

void Partita::ImpostaVelocita()
{
    m_velocita = velocita(m_livello);
    m_veloce = false;
    setTimer(m_velocita, m_timerAttivo);
}

int Partita::velocita(int livello)
{
    return std::max(1, 1200 / std::max(1, livello));
}

void Partita::pausa(bool b)
{
    m_stato = b;
    if (b) {
        MostraMessaggio(messaggioPausa());
    } else {
        NascondiMessaggio();
    }
}

void Partita::mnuPausa_Click()
{
    m_pausaMenu = !m_pausaMenu;
    pausa(m_pausaMenu);
}

void Partita::sospendi()
{
    pausa(true);
}

void Partita::MostraMessaggio(const QString& testo)
{
    setTimer(m_intervallo, false);
    m_messaggio = testo;
    m_messaggioVisibile = true;
    Q_EMIT messageChanged(m_messaggio, true);
}

void Partita::NascondiMessaggio()
{
    m_messaggioVisibile = false;
    Q_EMIT messageChanged(m_messaggio, false);
    setTimer(m_intervallo, true);
}

void Partita::tastoPremuto(Tasto tasto)
{
    if (m_stato) {
        return;
    }
    switch (tasto) {
    case Tasto::Destra:
        m_tabellone.MuoviPezzo(Tabellone::kDestra);
        m_suoni.Suona(Suoni::kSpostamento);
        break;
    case Tasto::Sinistra:
        m_tabellone.MuoviPezzo(Tabellone::kSinistra);
        m_suoni.Suona(Suoni::kSpostamento);
        break;
    case Tasto::Ruota:
        m_tabellone.MuoviPezzo(Tabellone::kAntiorario);
        m_suoni.Suona(Suoni::kRotazione);
        break;
    case Tasto::RuotaDestra:
        m_tabellone.MuoviPezzo(Tabellone::kOrario);
        m_suoni.Suona(Suoni::kRotazione);
        break;
    case Tasto::Giu:
        m_veloce = true;
        setTimer(kIntervalloVeloce, m_timerAttivo);
        break;
    case Tasto::Altro:
        break;
    }
}

void Partita::tastoRilasciato(Tasto tasto)
{
    if (tasto == Tasto::Giu) {
        m_veloce = false;
        setTimer(m_velocita, m_timerAttivo);
    }
    m_puntiBoost = 0;
}

void Partita::setSfondi(bool on)
{
    m_sfondi = on;
    aggiornaVuote();
}

void Partita::setAnteprima(bool on)
{
    m_painter.PulisciAnteprima();
    m_tabellone.setAnteprima(on);
}

int Partita::IndiceSelezionato(const QList<bool>& spunte)
{
    int indice = 0;
    for (int i = 0; i < spunte.size(); ++i) {
        if (spunte.at(i)) {
            indice = i;
        }
    }
    return indice;
}

void Partita::setTimer(int intervallo, bool attivo)
{
    if (intervallo == m_intervallo && attivo == m_timerAttivo) {
        return;
    }
    m_intervallo = intervallo;
    m_timerAttivo = attivo;
    Q_EMIT timerChanged(m_intervallo, m_timerAttivo);
}

void Partita::setPunti(qint64 punti)
{
    m_punti = punti;
    Q_EMIT scoreChanged(m_punti);
}

void Partita::setLinee(qint64 linee)
{
    m_linee = linee;
    Q_EMIT linesChanged(m_linee);
}

void Partita::setNuovaAbilitata(bool on)
{
    m_nuovaAbilitata = on;
    Q_EMIT newGameEnabledChanged(on);
}

void Partita::aggiornaVuote()
{
    // Ticking the option past the last background shows the plain tile.
    m_tileVuota = (m_sfondi && m_livello <= kUltimoSfondo) ? m_livello : TilePainter::kVuotaPiana;
    m_painter.setEmptyTile(m_tileVuota);
    m_tabellone.DisegnaVuote();
}

} // namespace zb32
