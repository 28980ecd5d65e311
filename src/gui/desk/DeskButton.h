// A push button whose caption wraps onto several lines, as the desk's narrow buttons need.
#pragma once

#include <QPushButton>

namespace zb32 {

class DeskButton : public QPushButton
{
    Q_OBJECT
public:
    explicit DeskButton(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace zb32
