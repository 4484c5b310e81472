#pragma once

#include "ui/LedgerWindow.h"

namespace ovelta {

class LedgerGrid;

/// The record details window: the ledger grid's current row in seven read-only boxes. A left press on its
/// background (the frame 外形框1) or Esc closes it; presses on a box or a label do not.
class DetailsWindow : public LedgerWindow
{
    Q_OBJECT
public:
    explicit DetailsWindow(LedgerGrid& grid, QWidget* parent = nullptr);

protected:
    void created() override;

private:
    LedgerGrid& m_grid;
};

} // namespace ovelta
