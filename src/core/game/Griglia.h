// The Gravix board: 9 columns by 15 rows of cell values, addressed 1-based from the top left.
#pragma once

#include <QtGlobal>
#include <array>

namespace zb32 {

class Griglia
{
public:
    static constexpr int kColonne = 9;
    static constexpr int kRighe = 15;
    static constexpr qint16 kVuota = 0;
    static constexpr qint16 kDifficolta = 10;

    static bool dentro(int x, int y) { return x >= 1 && x <= kColonne && y >= 1 && y <= kRighe; }

    // Cells outside the board read as empty and ignore writes; callers test `dentro` first.
    qint16 at(int x, int y) const;
    void set(int x, int y, qint16 valore);
    void svuota();
    bool rigaPiena(int y) const;
    bool rigaVuota(int y) const;

    friend bool operator==(const Griglia&, const Griglia&) = default;

private:
    static int indice(int x, int y) { return (y - 1) * kColonne + (x - 1); }

    std::array<qint16, kColonne * kRighe> m_celle {};
};

} // namespace zb32
