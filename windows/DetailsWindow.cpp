#include "windows/DetailsWindow.h"

#include "ui/Catalogue.h"
#include "ui/FrameBox.h"
#include "ui/LedgerGrid.h"
#include "windows/AmountCapitals.h"

using namespace Qt::StringLiterals;

namespace ovelta {

DetailsWindow::DetailsWindow(LedgerGrid& grid, QWidget* parent)
    : LedgerWindow(Catalogue::detailsWindow(), parent)
    , m_grid(grid)
{
    connect(control<FrameBox>(u"外形框1"_s), &FrameBox::pressed, this, [this] { requestClose(); });
}

void DetailsWindow::created()
{
    const int row = m_grid.currentRow();
    if (row < LedgerGrid::FixedRows)
        return;
    setText(u"收送编辑框"_s, m_grid.cellText(row, 2));
    setText(u"姓名编辑框"_s, m_grid.cellText(row, 3));
    setText(u"时间编辑框"_s, m_grid.cellText(row, 4));
    setText(u"关系编辑框"_s, m_grid.cellText(row, 5));
    setText(u"类型编辑框"_s, m_grid.cellText(row, 6));
    // The money cell holds the amount without its symbol, and nothing at all for zero.
    setText(u"金额编辑框"_s, u"￥"_s + m_grid.cellText(row, 7));
    if (const std::optional<qint64> ticks = m_grid.amountAt(row))
        control<QWidget>(u"金额编辑框"_s)->setToolTip(AmountCapitals::toolTip(*ticks));
    setText(u"说明编辑框"_s, m_grid.cellText(row, 8));
}

} // namespace ovelta
