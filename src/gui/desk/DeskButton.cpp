// Wrapped captions: the button keeps its whole caption as text() (and for accessibility),
// and paints it word-wrapped.
#include "DeskButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace zb32 {

DeskButton::DeskButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
}

void DeskButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignCenter | Qt::TextWordWrap, text());
}

} // namespace zb32
