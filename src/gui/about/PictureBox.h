// A picture box that reports clicks: press and release of the left button over it.
#pragma once

#include <QLabel>

namespace zb32 {

class PictureBox : public QLabel
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};

} // namespace zb32
