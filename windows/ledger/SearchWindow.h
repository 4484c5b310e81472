#pragma once

#include "ui/window/Controls.h"
#include "ui/window/LedgerWindow.h"

namespace ovelta {

class LedgerHost;

/// The search window (人情查询): fills the main grid with the records that match a date range, a direction and
/// part of a name, then closes. The result stays in the grid until the next ledger refill.
class SearchWindow : public LedgerWindow
{
    Q_OBJECT
public:
    explicit SearchWindow(LedgerHost& host, QWidget* parent = nullptr);

protected:
    void created() override;

private:
    void search();

    const SearchControls m_controls;
    LedgerHost& m_host;
};

} // namespace ovelta
