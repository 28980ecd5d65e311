// Wrapped captions: the button keeps its whole caption as text() (and for accessibility),
// and paints it word-wrapped.
#include "gui/desk/DeskButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace zb32 {

DeskButton::DeskButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{ }

void DeskButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    // Where the designed font is missing, its stand-in may be wider: shrink until the caption fits.
    const QRect area = rect().adjusted(3, 2, -3, -2);
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    QFont f = font();
    while (f.pointSizeF() > 6.0) {
        const QRect needed = QFontMetrics(f).boundingRect(area, flags, text());
        if (needed.width() <= area.width() && needed.height() <= area.height()) {
            break;
        }
        f.setPointSizeF(f.pointSizeF() - 0.5);
    }
    p.setFont(f);
    p.drawText(area, flags, text());
}

} // namespace zb32
