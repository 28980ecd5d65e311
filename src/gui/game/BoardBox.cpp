// A picture box that keeps what was painted into it.
#include "gui/game/BoardBox.h"

#include <QPainter>

namespace zb32 {

BoardBox::BoardBox(int colonne, int righe, const QColor& sfondo, QWidget* parent)
    : QFrame(parent)
    , m_colonne(colonne)
    , m_righe(righe)
    , m_sfondo(sfondo)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BoardBox::place(const QRect& geometry)
{
    setGeometry(geometry);
    m_image = QImage(contentsRect().size(), QImage::Format_RGB32);
    clear();
}

void BoardBox::paintTile(int x, int y, const QImage& tile)
{
    const QRect r = cellRect(x, y);
    if (r.isEmpty() || m_image.isNull()) {
        return;
    }
    QPainter p(&m_image);
    p.drawImage(r, tile);
    p.end();
    update(r.translated(contentsRect().topLeft()));
}

void BoardBox::clear()
{
    m_image.fill(m_sfondo);
    update();
}

QRect BoardBox::cellRect(int x, int y) const
{
    if (x < 1 || x > m_colonne || y < 1 || y > m_righe) {
        return {};
    }
    // Cells split the inside evenly, like a scale of columns × rows units over it.
    const int w = m_image.width();
    const int h = m_image.height();
    const int left = (x - 1) * w / m_colonne;
    const int top = (y - 1) * h / m_righe;
    return QRect(left, top, x * w / m_colonne - left, y * h / m_righe - top);
}

void BoardBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), m_image);
}

} // namespace zb32
