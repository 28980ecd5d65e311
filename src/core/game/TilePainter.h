// What the Gravix model paints through: one tile per cell of the board or of the preview.
#pragma once

namespace zb32 {

enum class Superficie { Griglia, Anteprima };

class TilePainter
{
public:
    // The empty-cell tile's other look: the plain tile instead of a background.
    static constexpr int kVuotaPiana = -1;

    virtual ~TilePainter() = default;
    // Paints tile `valore` (0 empty, 1..7 colours, 10 difficulty) on cell (x, y), both 1-based.
    virtual void DisegnaBlocco(Superficie box, int x, int y, int valore) = 0;
    virtual void PulisciAnteprima() = 0;
    // What tile 0 shows from the next painting on: background 0..15 or kVuotaPiana.
    virtual void setEmptyTile(int sfondo) = 0;
};

} // namespace zb32
