// The Gravix board.
#include "core/game/Griglia.h"

namespace zb32 {

qint16 Griglia::at(int x, int y) const
{
    Q_ASSERT(dentro(x, y));
    return dentro(x, y) ? m_celle[indice(x, y)] : kVuota;
}

void Griglia::set(int x, int y, qint16 valore)
{
    Q_ASSERT(dentro(x, y));
    if (dentro(x, y)) {
        m_celle[indice(x, y)] = valore;
    }
}

void Griglia::svuota()
{
    m_celle.fill(kVuota);
}

bool Griglia::rigaPiena(int y) const
{
    for (int x = 1; x <= kColonne; ++x) {
        if (at(x, y) == kVuota) {
            return false;
        }
    }
    return true;
}

bool Griglia::rigaVuota(int y) const
{
    for (int x = 1; x <= kColonne; ++x) {
        if (at(x, y) != kVuota) {
            return false;
        }
    }
    return true;
}

} // namespace zb32
