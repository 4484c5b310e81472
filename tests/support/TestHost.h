#pragma once

// A stand-in for the main window in window tests: the three database objects over a fresh ledger file in
// the current (temporary) folder, a ledger grid, and counters for what the windows asked of it.

#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/common/LedgerHost.h"
#include "windows/ledger/LedgerFill.h"

namespace ovelta::test {

class TestHost : public LedgerHost
{
public:
    TestHost() { m_grid.resize(550, 361); }

    /// Creates the ledger file with its tables and seed rows and connects the three objects to it.
    bool createAndConnect()
    {
        return LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()) && connectAll();
    }
    bool connectAll()
    {
        return connection.connect(LedgerFile::name(), LedgerFile::password()) && recordSet.bind(&connection)
            && external.connect(LedgerFile::name(), QString(), LedgerFile::password());
    }

    DatabaseObjects database() override { return {connection, recordSet, external}; }
    LedgerGrid& grid() override { return m_grid; }
    void ledgerRefill() override
    {
        ++refills;
        LedgerFill::refill(recordSet, m_grid);
    }
    void bringLedgerToFront() override { ++broughtToFront; }

    DatabaseConnection connection;
    RecordSet recordSet;
    ExternalDatabase external;
    int refills = 0;
    int broughtToFront = 0;

private:
    LedgerGrid m_grid;
};

} // namespace ovelta::test
