// The seven piece templates of Gravix, at their spawn positions.
#pragma once

#include "core/game/Pezzo.h"

namespace zb32 {

class Modelli
{
public:
    static constexpr int kTipi = 7;
    static constexpr int kQuadrato = 7; // the 2 x 2 square never turns

    // Fills the seven templates; before this every template is the empty piece.
    void CaricaPezzi();
    void DefinisciPezzo(
        int tipo, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, int pernoX, int pernoY, int colore);

    // Templates 1..7; anything else is the empty piece.
    const Pezzo& operator[](int tipo) const;

private:
    std::array<Pezzo, kTipi + 1> m_modelli {};
};

} // namespace zb32
