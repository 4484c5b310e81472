#pragma once

#include "ui/window/Controls.h"
#include "ui/window/LedgerWindow.h"

#include <optional>

namespace ovelta {

class LedgerGrid;

/// The record details window: the ledger grid's current row in seven read-only boxes. A left press on its
/// background (the frame 外形框1) or Esc closes it; presses on a box or a label do not. Every box shows the start
/// of its text, also when Tab brings the focus to it.
class DetailsWindow : public LedgerWindow
{
    Q_OBJECT
public:
    explicit DetailsWindow(LedgerGrid& grid, QWidget* parent = nullptr);

    /// The text of the amount box: "￥" and two decimals (￥500.00, ￥-20.00), "￥" alone for zero or no amount;
    /// an amount with digits below the fen shows all four decimals (￥0.0001, ￥12.3456).
    static QString amountText(std::optional<qint64> ticks);

protected:
    void created() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const DetailsControls m_controls;
    LedgerGrid& m_grid;
};

} // namespace ovelta
