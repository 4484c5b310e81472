#include "windows/ledger/DetailsWindow.h"

#include "ui/base/EditBox.h"
#include "ui/base/FrameBox.h"
#include "ui/grid/LedgerGrid.h"
#include "ui/window/Catalogue.h"
#include "windows/common/AmountCapitals.h"

#include <QFocusEvent>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace ovelta {

DetailsWindow::DetailsWindow(LedgerGrid& grid, QWidget* parent)
    : LedgerWindow(Catalogue::detailsWindow(), parent)
    , m_controls(DetailsControls::from(*this))
    , m_grid(grid)
{
    connect(m_controls.frame, &FrameBox::pressed, this, [this] { requestClose(); });
    for (EditBox* box : m_controls.lineBoxes())
        box->installEventFilter(this);
}

QString DetailsWindow::amountText(std::optional<qint64> ticks)
{
    if (!ticks || *ticks == 0)
        return u"￥"_s;
    if (*ticks % 100 == 0)
        return u"￥"_s + LedgerGrid::moneyText(*ticks);
    // Digits below the fen: all four decimals, so that no amount that is not zero looks like ￥0.00. The
    // magnitude is computed unsigned so that the most negative amount cannot overflow.
    const quint64 magnitude = *ticks < 0 ? quint64(0) - quint64(*ticks) : quint64(*ticks);
    return u"￥%1%2.%3"_s.arg(*ticks < 0 ? u"-"_s : QString())
        .arg(magnitude / 10000)
        .arg(magnitude % 10000, 4, 10, QChar(u'0'));
}

void DetailsWindow::created()
{
    const int row = m_grid.currentRow();
    if (row < LedgerGrid::FixedRows)
        return;
    m_controls.direction->setText(m_grid.cellText(row, 2));
    m_controls.name->setText(m_grid.cellText(row, 3));
    m_controls.date->setText(m_grid.cellText(row, 4));
    m_controls.relation->setText(m_grid.cellText(row, 5));
    m_controls.occasion->setText(m_grid.cellText(row, 6));
    const std::optional<qint64> ticks = m_grid.amountAt(row);
    m_controls.amount->setText(amountText(ticks));
    if (ticks)
        m_controls.amount->setToolTip(AmountCapitals::toolTip(*ticks));
    m_controls.note->setPlainText(m_grid.cellText(row, 8));
    // A box too narrow for its text shows the text's start, not its end.
    for (EditBox* box : m_controls.lineBoxes())
        box->setCursorPosition(0);
}

bool DetailsWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Tab into a box selects its text as in any box, but from the end back to the start, so that the box keeps
    // showing the start of a text too long for it (a box selects all itself only when nothing is selected).
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        auto* box = qobject_cast<QLineEdit*>(watched);
        if (box != nullptr && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason))
            box->setSelection(int(box->text().size()), -int(box->text().size()));
    }
    return LedgerWindow::eventFilter(watched, event);
}

} // namespace ovelta
