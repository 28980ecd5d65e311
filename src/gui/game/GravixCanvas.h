// Paints the Gravix model's cells into the board and preview boxes with the game's tiles.
#pragma once

#include "core/game/TilePainter.h"

#include <QImage>
#include <array>

namespace zb32 {

class BoardBox;

class GravixCanvas : public TilePainter
{
public:
    GravixCanvas(BoardBox* griglia, BoardBox* anteprima);

    void DisegnaBlocco(Superficie box, int x, int y, int valore) override;
    void PulisciAnteprima() override;
    void setEmptyTile(int sfondo) override;

    // The tile painted for a cell value now (tile 0 is the empty tile in use).
    QImage tile(int valore) const;

private:
    BoardBox* m_griglia;
    BoardBox* m_anteprima;
    std::array<QImage, 21> m_blocchi; // imgBlock: 0 in use, 1..7, 10, 20 plain
    std::array<QImage, 16> m_sfondi; // imgSfondo
};

} // namespace zb32
