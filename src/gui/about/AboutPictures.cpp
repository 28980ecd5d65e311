// Painting of the About box's pictures: falling blocks in four small scenes.
#include "gui/about/AboutPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <array>

namespace zb32 {

namespace {

constexpr std::array<QSize, kAboutPictures> kSizes { QSize(142, 200), QSize(127, 168), QSize(110, 204),
    QSize(191, 131) };

// One bevelled block: light edges top and left, dark edges bottom and right.
void block(QPainter& p, const QRectF& r, const QColor& c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(r);
    const qreal e = qMax<qreal>(1.5, r.width() / 6);
    QPainterPath light;
    light.moveTo(r.topLeft());
    light.lineTo(r.topRight());
    light.lineTo(r.topRight() + QPointF(-e, e));
    light.lineTo(r.topLeft() + QPointF(e, e));
    light.lineTo(r.bottomLeft() + QPointF(e, -e));
    light.lineTo(r.bottomLeft());
    light.closeSubpath();
    p.setBrush(c.lighter(150));
    p.drawPath(light);
    QPainterPath dark;
    dark.moveTo(r.bottomRight());
    dark.lineTo(r.bottomLeft());
    dark.lineTo(r.bottomLeft() + QPointF(e, -e));
    dark.lineTo(r.bottomRight() + QPointF(-e, -e));
    dark.lineTo(r.topRight() + QPointF(-e, e));
    dark.lineTo(r.topRight());
    dark.closeSubpath();
    p.setBrush(c.darker(170));
    p.drawPath(dark);
}

// Cells given as (column, row) pairs on a grid of `cell` pixels starting at `origin`.
void piece(QPainter& p, QPointF origin, qreal cell, std::initializer_list<QPoint> cells, const QColor& c)
{
    for (const QPoint& q : cells) {
        block(p, QRectF(origin.x() + q.x() * cell, origin.y() + q.y() * cell, cell, cell), c);
    }
}

void sky(QPainter& p, const QSize& s, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(0, 0, 0, s.height());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(QRect(QPoint(0, 0), s), g);
}

void stars(QPainter& p, const QSize& s, int count, quint32 seed)
{
    QRandomGenerator rng(seed); // fixed seed: the same sky every time
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const qreal x = rng.bounded(s.width());
        const qreal y = rng.bounded(s.height() / 2);
        const int a = 120 + rng.bounded(136);
        p.setBrush(QColor(255, 255, 230, a));
        const qreal d = 0.8 + rng.bounded(2) * 0.7;
        p.drawEllipse(QPointF(x, y), d, d);
    }
}

// A night over a stack of blocks, a T piece on its way down.
void paintNight(QPainter& p, const QSize& s)
{
    sky(p, s, QColor(10, 14, 48), QColor(40, 60, 120));
    stars(p, s, 40, 1101);
    p.setBrush(QColor(250, 245, 200));
    p.drawEllipse(QPointF(112, 26), 11, 11);
    p.setBrush(QColor(10, 14, 48));
    p.drawEllipse(QPointF(117, 22), 10, 10);
    const qreal c = 14;
    const QPointF o(8, s.height() - 5 * c - 4);
    piece(p, o, c, { { 0, 4 }, { 1, 4 }, { 2, 4 }, { 3, 4 } }, QColor(40, 190, 210));
    piece(p, o, c, { { 4, 4 }, { 5, 4 }, { 5, 3 }, { 6, 3 } }, QColor(220, 60, 60));
    piece(p, o, c, { { 7, 4 }, { 8, 4 }, { 8, 3 }, { 7, 3 } }, QColor(235, 200, 40));
    piece(p, o, c, { { 0, 3 }, { 0, 2 }, { 1, 3 }, { 2, 3 } }, QColor(60, 90, 220));
    piece(p, o, c, { { 3, 3 }, { 4, 3 }, { 4, 2 }, { 4, 1 } }, QColor(240, 140, 30));
    piece(p, QPointF(36, 40), c, { { 0, 0 }, { 1, 0 }, { 2, 0 }, { 1, 1 } }, QColor(160, 70, 200));
    p.setPen(QPen(QColor(255, 255, 255, 90), 1, Qt::DashLine));
    p.drawLine(QPointF(57, 72), QPointF(57, 120));
}

// A dusk: an L piece turning in the air above the ground.
void paintDusk(QPainter& p, const QSize& s)
{
    sky(p, s, QColor(250, 170, 90), QColor(120, 50, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 225, 120));
    p.drawEllipse(QPointF(s.width() / 2.0, 118), 30, 30);
    p.setBrush(QColor(50, 20, 60));
    p.drawRect(QRectF(0, 128, s.width(), s.height() - 128));
    p.save();
    p.translate(62, 60);
    p.rotate(-20);
    piece(p, QPointF(-21, -28), 14, { { 0, 0 }, { 0, 1 }, { 0, 2 }, { 1, 2 } }, QColor(240, 140, 30));
    p.restore();
    const qreal c = 12;
    const QPointF o(3.5, 128 - c);
    for (int i = 0; i < 10; ++i) {
        if (i != 6) {
            block(p, QRectF(o.x() + i * c, o.y(), c, c), QColor(70 + i * 12, 160 - i * 6, 200));
        }
    }
}

// A narrow well: the long piece drops straight towards a gap one cell wide.
void paintWell(QPainter& p, const QSize& s)
{
    p.fillRect(QRect(QPoint(0, 0), s), QColor(24, 24, 32));
    const qreal c = 13;
    const qreal left = (s.width() - 7 * c) / 2;
    p.fillRect(QRectF(0, 0, left, s.height()), QColor(90, 90, 110));
    p.fillRect(QRectF(left + 7 * c, 0, s.width() - left - 7 * c, s.height()), QColor(90, 90, 110));
    const qreal bottom = s.height() - 6;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 7; ++col) {
            if (col != 4) {
                block(p, QRectF(left + col * c, bottom - (row + 1) * c, c, c),
                    QColor::fromHsv((col * 47 + row * 90) % 360, 170, 220));
            }
        }
    }
    piece(p, QPointF(left + 4 * c, 30), c, { { 0, 0 }, { 0, 1 }, { 0, 2 }, { 0, 3 } }, QColor(40, 190, 210));
    p.setPen(QPen(QColor(140, 230, 240, 110), 1.2));
    for (int i = 0; i < 3; ++i) {
        const qreal x = left + 4 * c + 2 + i * 4.5;
        p.drawLine(QPointF(x, 8 + i * 3), QPointF(x, 26));
    }
}

// A full row flashing before it clears.
void paintFlash(QPainter& p, const QSize& s)
{
    sky(p, s, QColor(20, 70, 60), QColor(10, 30, 30));
    const qreal c = 15;
    const qreal left = (s.width() - 12 * c) / 2;
    const qreal bottom = s.height() - 4;
    const int heights[12] = { 2, 3, 3, 2, 4, 5, 3, 2, 2, 3, 4, 2 };
    for (int col = 0; col < 12; ++col) {
        for (int row = 0; row < heights[col]; ++row) {
            block(p, QRectF(left + col * c, bottom - (row + 1) * c, c, c),
                QColor::fromHsv((col * 30 + row * 70) % 360, 160, 210));
        }
    }
    const QRectF flash(left, bottom - 2 * c, 12 * c, c);
    p.fillRect(flash, QColor(255, 255, 240, 210));
    p.setPen(QPen(QColor(255, 255, 200), 2));
    for (int i = 0; i < 5; ++i) {
        const qreal x = left + 15 + i * 36;
        p.drawLine(QPointF(x, flash.top() - 6), QPointF(x - 4, flash.top() - 16));
        p.drawLine(QPointF(x + 6, flash.bottom() + 2), QPointF(x + 10, flash.bottom() + 8));
    }
    piece(p, QPointF(left + 7 * c, 12), c, { { 0, 0 }, { 1, 0 }, { 1, 1 }, { 2, 1 } }, QColor(60, 200, 90));
}

} // namespace

QSize aboutPictureSize(int index)
{
    return index >= 0 && index < kAboutPictures ? kSizes[static_cast<size_t>(index)] : QSize();
}

QImage aboutPicture(int index)
{
    const QSize s = aboutPictureSize(index);
    if (s.isEmpty()) {
        return {};
    }
    QImage image(s, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 0:
        paintNight(p, s);
        break;
    case 1:
        paintDusk(p, s);
        break;
    case 2:
        paintWell(p, s);
        break;
    default:
        paintFlash(p, s);
        break;
    }
    return image;
}

} // namespace zb32
