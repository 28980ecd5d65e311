// The Gravix tiles, drawn by code: bevelled piece and difficulty tiles, the plain empty tile and
// sixteen patterned backgrounds, one per level.
#pragma once

#include <QColor>
#include <QImage>
#include <QList>

namespace zb32 {

class GravixTiles
{
public:
    static constexpr int kLato = 20; // pixels
    static constexpr int kPiana = 20; // index of the plain empty tile
    static constexpr int kSfondi = 16;

    // Tile `index` of the block images: 0 and 20 plain, 1..7 the colours, 10 difficulty.
    // Any other index gives a null image.
    static QImage blocco(int index);
    // Background 0..15; any other index gives a null image.
    static QImage sfondo(int index);

    static QColor faccia(int index);
    static QColor bordoScuro(int index);
    static QList<QColor> coloriSfondo(int index);
};

} // namespace zb32
