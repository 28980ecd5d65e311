// The Gravix board with its pieces.
#include "core/game/Tabellone.h"

#include "core/game/RandomSource.h"
#include "core/game/TilePainter.h"

#include <algorithm>
#include <cmath>

namespace zb32 {

Tabellone::Tabellone(TilePainter& painter, RandomSource& random)
    : m_painter(painter)
    , m_random(random)
{ }

int Tabellone::Rand(int n)
{
    if (n < 1) {
        return 1;
    }
    const int r = static_cast<int>(std::floor(m_random.next() * n)) + 1;
    return std::clamp(r, 1, n); // a source that strays outside [0, 1) still gives 1..n
}

void Tabellone::RuotaPunto(Punto& blocco, Punto perno, int modo)
{
    const int s = (modo == kAntiorario) ? 1 : -1;
    const int x = perno.x + s * (blocco.y - perno.y);
    const int y = perno.y - s * (blocco.x - perno.x);
    blocco.x = static_cast<qint16>(x);
    blocco.y = static_cast<qint16>(y);
}

bool Tabellone::MuoviPezzo(int modo)
{
    const Pezzo copia = m_corrente;
    switch (modo) {
    case kSinistra:
    case kDestra:
        for (Punto& b : m_corrente.blocchi) {
            b.x = static_cast<qint16>(b.x + modo);
        }
        m_corrente.perno.x = static_cast<qint16>(m_corrente.perno.x + modo);
        break;
    case kGiu:
        for (Punto& b : m_corrente.blocchi) {
            b.y = static_cast<qint16>(b.y + 1);
        }
        m_corrente.perno.y = static_cast<qint16>(m_corrente.perno.y + 1);
        break;
    case kAntiorario:
    case kOrario:
        if (m_corrente.tipo != Modelli::kQuadrato) {
            for (Punto& b : m_corrente.blocchi) {
                RuotaPunto(b, m_corrente.perno, modo);
            }
        }
        break;
    default:
        break;
    }
    for (const Punto& b : m_corrente.blocchi) {
        if (!CellaLibera(b, copia)) {
            m_corrente = copia;
            return false;
        }
    }
    PosaPezzo(m_corrente, false);
    return true;
}

bool Tabellone::CellaLibera(Punto blocco, const Pezzo& precedente) const
{
    if (!Griglia::dentro(blocco.x, blocco.y)) {
        return false;
    }
    if (std::find(precedente.blocchi.begin(), precedente.blocchi.end(), blocco) != precedente.blocchi.end()) {
        return true; // a piece never collides with itself
    }
    return m_griglia.at(blocco.x, blocco.y) == Griglia::kVuota;
}

void Tabellone::PosaPezzo(const Pezzo& pezzo, bool nuovo)
{
    if (!nuovo) {
        for (const Punto& b : m_disegnato.blocchi) {
            if (Griglia::dentro(b.x, b.y)) {
                m_griglia.set(b.x, b.y, Griglia::kVuota);
            }
        }
    }
    for (const Punto& b : pezzo.blocchi) {
        if (Griglia::dentro(b.x, b.y)) {
            m_griglia.set(b.x, b.y, pezzo.colore);
        }
    }
    m_disegnato = pezzo;
    DisegnaGriglia();
}

bool Tabellone::NuovoPezzo()
{
    m_corrente = m_prossimo;
    m_prossimo = m_modelli[Rand(Modelli::kTipi)];
    if (m_corrente.tipo == 0) {
        m_corrente = m_prossimo; // the first piece since the window opened: same type as the preview
    }
    DisegnaAnteprima(m_prossimo);
    bool entra = true;
    for (const Punto& b : m_corrente.blocchi) {
        if (!Griglia::dentro(b.x, b.y) || m_griglia.at(b.x, b.y) != Griglia::kVuota) {
            entra = false;
        }
    }
    PosaPezzo(m_corrente, true);
    return entra;
}

void Tabellone::PulisciGriglia()
{
    for (int y = 1; y <= Griglia::kRighe; ++y) {
        for (int x = 1; x <= Griglia::kColonne; ++x) {
            m_griglia.set(x, y, Griglia::kVuota);
            m_painter.DisegnaBlocco(Superficie::Griglia, x, y, Griglia::kVuota);
        }
    }
}

void Tabellone::DisegnaGriglia(bool reset)
{
    if (reset) {
        m_vista.svuota();
    }
    for (int y = 1; y <= Griglia::kRighe; ++y) {
        for (int x = 1; x <= Griglia::kColonne; ++x) {
            const qint16 v = m_griglia.at(x, y);
            if (m_vista.at(x, y) != v) {
                m_painter.DisegnaBlocco(Superficie::Griglia, x, y, v);
                m_vista.set(x, y, v);
            }
        }
    }
}

void Tabellone::DisegnaVuote()
{
    for (int y = 1; y <= Griglia::kRighe; ++y) {
        for (int x = 1; x <= Griglia::kColonne; ++x) {
            if (m_griglia.at(x, y) == Griglia::kVuota) {
                m_painter.DisegnaBlocco(Superficie::Griglia, x, y, Griglia::kVuota);
            }
        }
    }
}

void Tabellone::DisegnaAnteprima(const Pezzo& pezzo)
{
    if (!m_anteprima) {
        return;
    }
    m_painter.PulisciAnteprima();
    for (const Punto& b : pezzo.blocchi) {
        m_painter.DisegnaBlocco(Superficie::Anteprima, b.x - 2, b.y, pezzo.colore); // spawn columns 3..6 → 1..4
    }
}

void Tabellone::RigheDifficolta(int righe)
{
    righe = std::clamp(righe, 0, Griglia::kRighe);
    for (int n = 0; n < righe; ++n) {
        const int y = Griglia::kRighe - n;
        for (int x = 1; x <= Griglia::kColonne; ++x) {
            if (Rand(10) > 6) {
                m_griglia.set(x, y, Griglia::kDifficolta);
            }
        }
    }
}

int Tabellone::RimuoviRighePiene()
{
    int righe = 0;
    for (int y = 1; y <= Griglia::kRighe; ++y) {
        while (m_griglia.rigaPiena(y)) {
            ++righe;
            for (int r = y; r > 1; --r) {
                for (int x = 1; x <= Griglia::kColonne; ++x) {
                    m_griglia.set(x, r, m_griglia.at(x, r - 1));
                }
            }
            for (int x = 1; x <= Griglia::kColonne; ++x) {
                m_griglia.set(x, 1, Griglia::kVuota);
            }
        }
    }
    return righe;
}

} // namespace zb32
