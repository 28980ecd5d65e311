// The seven piece templates.
#include "core/game/Modelli.h"

namespace zb32 {

void Modelli::CaricaPezzi()
{
    DefinisciPezzo(1, 4, 1, 5, 1, 6, 1, 6, 2, 5, 1, 7); // three in a row, one under the right end
    DefinisciPezzo(2, 4, 1, 5, 1, 6, 1, 4, 2, 5, 1, 5); // three in a row, one under the left end
    DefinisciPezzo(3, 4, 1, 5, 1, 5, 2, 6, 2, 5, 1, 6);
    DefinisciPezzo(4, 5, 1, 6, 1, 4, 2, 5, 2, 5, 1, 2);
    DefinisciPezzo(5, 4, 1, 5, 1, 6, 1, 5, 2, 5, 1, 1);
    DefinisciPezzo(6, 3, 1, 4, 1, 5, 1, 6, 1, 5, 1, 3); // straight four
    DefinisciPezzo(7, 4, 1, 5, 1, 4, 2, 5, 2, 0, 0, 4); // square
}

void Modelli::DefinisciPezzo(
    int tipo, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, int pernoX, int pernoY, int colore)
{
    if (tipo < 1 || tipo > kTipi) {
        return;
    }
    Pezzo& p = m_modelli[tipo];
    const auto punto = [](int x, int y) { return Punto { static_cast<qint16>(x), static_cast<qint16>(y) }; };
    p.blocchi = { punto(x1, y1), punto(x2, y2), punto(x3, y3), punto(x4, y4) };
    p.perno = punto(pernoX, pernoY);
    p.tipo = static_cast<qint16>(tipo);
    p.colore = static_cast<qint16>(colore);
}

const Pezzo& Modelli::operator[](int tipo) const
{
    return (tipo >= 1 && tipo <= kTipi) ? m_modelli[tipo] : m_modelli[0];
}

} // namespace zb32
