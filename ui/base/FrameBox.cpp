#include "ui/base/FrameBox.h"

#include <QMouseEvent>
#include <QPainter>

namespace ovelta {

namespace {

constexpr int LineWidth = 2;
const QColor LineColour(0, 0, 255);

} // namespace

FrameBox::FrameBox(QWidget* parent)
    : QWidget(parent)
{
    // Only the outline is drawn; the window's background shows through the inside.
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
}

void FrameBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.fillRect(0, 0, w, LineWidth, LineColour);
    painter.fillRect(0, h - LineWidth, w, LineWidth, LineColour);
    painter.fillRect(0, 0, LineWidth, h, LineColour);
    painter.fillRect(w - LineWidth, 0, LineWidth, h, LineColour);
}

void FrameBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    int keys = 0;
    if (event->modifiers() & Qt::ControlModifier)
        keys += 1;
    if (event->modifiers() & Qt::ShiftModifier)
        keys += 2;
    if (event->modifiers() & Qt::AltModifier)
        keys += 4;
    event->accept();
    Q_EMIT pressed(event->position().toPoint(), keys);
}

} // namespace ovelta
