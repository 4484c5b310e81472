#pragma once

#include "ui/LedgerWindow.h"

namespace ovelta {

class LedgerHost;

/// The record entry window (添加人情): adds a record, or modifies the one named by the shared selected record ID.
class EntryWindow : public LedgerWindow
{
    Q_OBJECT
public:
    explicit EntryWindow(LedgerHost& host, QWidget* parent = nullptr);

private:
    LedgerHost& m_host;
};

} // namespace ovelta
