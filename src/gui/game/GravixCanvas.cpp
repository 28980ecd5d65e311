// Paints the Gravix model's cells with the game's tiles.
#include "gui/game/GravixCanvas.h"

#include "gui/game/BoardBox.h"
#include "gui/game/GravixTiles.h"

namespace zb32 {

GravixCanvas::GravixCanvas(BoardBox* griglia, BoardBox* anteprima)
    : m_griglia(griglia)
    , m_anteprima(anteprima)
{
    for (int i = 0; i < static_cast<int>(m_blocchi.size()); ++i) {
        m_blocchi[static_cast<std::size_t>(i)] = GravixTiles::blocco(i);
    }
    for (int i = 0; i < static_cast<int>(m_sfondi.size()); ++i) {
        m_sfondi[static_cast<std::size_t>(i)] = GravixTiles::sfondo(i);
    }
}

void GravixCanvas::DisegnaBlocco(Superficie box, int x, int y, int valore)
{
    const QImage t = tile(valore);
    if (t.isNull()) {
        return;
    }
    (box == Superficie::Griglia ? m_griglia : m_anteprima)->paintTile(x, y, t);
}

void GravixCanvas::PulisciAnteprima()
{
    m_anteprima->clear();
}

void GravixCanvas::setEmptyTile(int sfondo)
{
    const bool haSfondo = sfondo >= 0 && sfondo < static_cast<int>(m_sfondi.size());
    m_blocchi[0] = haSfondo ? m_sfondi[static_cast<std::size_t>(sfondo)] : m_blocchi[GravixTiles::kPiana];
}

QImage GravixCanvas::tile(int valore) const
{
    if (valore < 0 || valore >= static_cast<int>(m_blocchi.size())) {
        return {};
    }
    return m_blocchi[static_cast<std::size_t>(valore)];
}

} // namespace zb32
