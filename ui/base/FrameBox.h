#pragma once

#include <QWidget>

namespace ovelta {

/// A 2-pixel blue (0,0,255) rectangle outline over the window background. Presses that fall on the window's
/// background land here and are reported by pressed() with the key state (1 Ctrl, 2 Shift, 4 Alt, added).
class FrameBox : public QWidget
{
    Q_OBJECT
public:
    explicit FrameBox(QWidget* parent = nullptr);

Q_SIGNALS:
    void pressed(QPoint position, int keys);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace ovelta
