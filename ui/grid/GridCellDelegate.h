#pragma once

#include <QStyledItemDelegate>

namespace ovelta {

/// Draws the ledger grid's data cells: the row's background, the selection, and the cell's text on one line,
/// TextMargin pixels in from either edge of the cell. A text that does not fit is elided on the screen, and
/// hovering over its cell shows the whole text as a tooltip.
class GridCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int TextMargin = 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    /// The text as drawn in a cell of that width: whole when it fits, elided otherwise.
    static QString shownText(const QFont& font, const QString& text, int cellWidth);
};

} // namespace ovelta
