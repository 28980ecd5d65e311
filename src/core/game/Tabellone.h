// The Gravix board with its pieces: moves and turns with the collision test, landing, the next
// piece, full rows, difficulty rows, and painting the cells that changed.
#pragma once

#include "core/game/Griglia.h"
#include "core/game/Modelli.h"
#include "core/game/Pezzo.h"

namespace zb32 {

class RandomSource;
class TilePainter;

class Tabellone
{
public:
    // MuoviPezzo's modes.
    enum Modo : int {
        kSinistra = -1,
        kDestra = 1,
        kGiu = 2,
        kAntiorario = 3, // as seen on the screen
        kOrario = 4,
    };

    Tabellone(TilePainter& painter, RandomSource& random);

    // A uniform whole number 1..n.
    int Rand(int n);
    // A quarter turn of one block about the pivot (mode 3 counter-clockwise, 4 clockwise).
    static void RuotaPunto(Punto& blocco, Punto perno, int modo);

    void CaricaPezzi() { m_modelli.CaricaPezzi(); }
    // Moves or turns the falling piece whole, or leaves everything as it was and answers false.
    bool MuoviPezzo(int modo);
    bool CellaLibera(Punto blocco, const Pezzo& precedente) const;
    void PosaPezzo(const Pezzo& pezzo, bool nuovo);
    // The next piece comes in; false when it overlaps settled blocks (it is written all the same).
    bool NuovoPezzo();
    void PulisciGriglia();
    void DisegnaGriglia(bool reset = false);
    void DisegnaVuote();
    void DisegnaAnteprima(const Pezzo& pezzo);
    // Random difficulty blocks in the bottom `righe` rows, each cell with a chance of 4 in 10.
    void RigheDifficolta(int righe);
    // Removes every full row in one pass from the top, lowering what lies above; the count removed.
    int RimuoviRighePiene();

    bool anteprima() const { return m_anteprima; }
    void setAnteprima(bool on) { m_anteprima = on; }

    const Griglia& griglia() const { return m_griglia; }
    Griglia& griglia() { return m_griglia; }
    const Griglia& vista() const { return m_vista; }
    const Modelli& modelli() const { return m_modelli; }
    const Pezzo& corrente() const { return m_corrente; }
    const Pezzo& prossimo() const { return m_prossimo; }
    const Pezzo& disegnato() const { return m_disegnato; }

private:
    TilePainter& m_painter;
    RandomSource& m_random;
    Griglia m_griglia;
    Griglia m_vista; // what each cell was last painted with
    Modelli m_modelli;
    Pezzo m_corrente;
    Pezzo m_prossimo;
    Pezzo m_disegnato; // the falling piece as last written, to erase it before the next write
    bool m_anteprima = true;
};

} // namespace zb32
