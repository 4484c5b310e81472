#include "ui/grid/GridHeaderView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>

namespace ovelta {

GridHeaderView::GridHeaderView(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(false);
    setSectionsMovable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Fixed);
    setStretchLastSection(false);
    setMinimumSectionSize(0);
    setFixedHeight(2 * RowHeight);
}

void GridHeaderView::setTitle(const QString& title)
{
    m_title = title;
    viewport()->update();
}

QSize GridHeaderView::sizeHint() const
{
    return {QHeaderView::sizeHint().width(), 2 * RowHeight};
}

void GridHeaderView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().window());

    // The title is one cell over all columns; it moves sideways with the columns like any merged cell.
    paintCell(painter, QRect(-offset(), 0, length(), RowHeight), m_title, -1);

    for (int section = 0; section < count(); ++section) {
        const int size = sectionSize(section);
        if (isSectionHidden(section) || size <= 0)
            continue;
        const QRect rect(sectionViewportPosition(section), RowHeight, size, RowHeight);
        if (rect.right() < 0 || rect.left() > viewport()->width())
            continue;
        const QString text = model() ? model()->headerData(section, orientation()).toString() : QString();
        paintCell(painter, rect, text, section);
    }
}

void GridHeaderView::paintCell(QPainter& painter, const QRect& rect, const QString& text, int section) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = section < 0 ? 0 : section;
    option.text = text;
    option.textAlignment = Qt::AlignCenter;
    option.position = QStyleOptionHeader::Middle;
    option.sortIndicator = QStyleOptionHeader::None;
    style()->drawControl(QStyle::CE_Header, &option, &painter, this);
}

void GridHeaderView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QHeaderView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT fixedRowsDoubleClicked();
}

} // namespace ovelta
