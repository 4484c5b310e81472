#pragma once

#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/common/LedgerHost.h"

namespace ovelta::bench {

/// The database objects the newer windows borrow, without a main window: their measurements open such a window
/// over a connection of their own.
class BenchHost : public LedgerHost
{
public:
    DatabaseObjects database() override { return {connection, records, external}; }
    LedgerGrid& grid() override { return m_grid; }
    void ledgerRefill() override { }
    void bringLedgerToFront() override { }

    DatabaseConnection connection;
    RecordSet records;
    ExternalDatabase external;

private:
    LedgerGrid m_grid;
};

} // namespace ovelta::bench
