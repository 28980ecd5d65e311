// A picture box of the game window that keeps what was painted into it: a grid of cells, each
// tile drawn at exactly one cell's size and place.
#pragma once

#include <QFrame>
#include <QImage>

namespace zb32 {

class BoardBox : public QFrame
{
    Q_OBJECT
public:
    BoardBox(int colonne, int righe, const QColor& sfondo, QWidget* parent = nullptr);

    // Sets the box's place (border included) and scales the grid to the inside.
    void place(const QRect& geometry);
    // Draws `tile` over cell (x, y), 1-based; cells outside the grid are ignored.
    void paintTile(int x, int y, const QImage& tile);
    // Fills the inside with the box's background colour.
    void clear();

    // What the inside shows now, and where a cell lies in it.
    const QImage& image() const { return m_image; }
    QRect cellRect(int x, int y) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_colonne;
    int m_righe;
    QColor m_sfondo;
    QImage m_image;
};

} // namespace zb32
