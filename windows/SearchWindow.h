#pragma once

#include "ui/LedgerWindow.h"

namespace ovelta {

class LedgerHost;

/// The search window (人情查询): fills the main grid with the records that match.
class SearchWindow : public LedgerWindow
{
    Q_OBJECT
public:
    explicit SearchWindow(LedgerHost& host, QWidget* parent = nullptr);

private:
    LedgerHost& m_host;
};

} // namespace ovelta
