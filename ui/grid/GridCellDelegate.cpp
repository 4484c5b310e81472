#include "ui/grid/GridCellDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace ovelta {

QString GridCellDelegate::shownText(const QFont& font, const QString& text, int cellWidth)
{
    const int width = cellWidth - 2 * TextMargin;
    if (QFontMetricsF(font).horizontalAdvance(text) <= width)
        return text;
    return QFontMetrics(font).elidedText(text, Qt::ElideRight, qMax(0, width));
}

void GridCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    const QString text = cell.text;
    // The style draws the background, the selection and the focus; the text follows with the grid's margins.
    cell.text.clear();
    cell.features &= ~QStyleOptionViewItem::HasDisplay;
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    if (text.isEmpty())
        return;

    QPalette::ColorGroup group = QPalette::Normal;
    if (!(cell.state & QStyle::State_Enabled))
        group = QPalette::Disabled;
    else if (!(cell.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QPalette::ColorRole role = (cell.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
    const QRect textRect = cell.rect.adjusted(TextMargin, 0, -TextMargin, 0);
    painter->save();
    painter->setPen(cell.palette.color(group, role));
    painter->setFont(cell.font);
    painter->setClipRect(cell.rect, Qt::IntersectClip);
    painter->drawText(textRect, int(cell.displayAlignment) | Qt::TextSingleLine,
                      shownText(cell.font, text, cell.rect.width()));
    painter->restore();
}

bool GridCellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                 const QModelIndex& index)
{
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty() || shownText(option.font, text, option.rect.width()) == text) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
    return true;
}

} // namespace ovelta
