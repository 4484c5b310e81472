#pragma once

namespace ovelta {

class DatabaseConnection;
class ExternalDatabase;
class LedgerGrid;
class RecordSet;

/// The main window's three database objects, shared by every window.
struct DatabaseObjects
{
    DatabaseConnection& connection;
    RecordSet& recordSet;
    ExternalDatabase& external;
};

/// What the other windows need of the main window: its database objects, its grid, the ledger refill and a
/// way to bring it to the front.
class LedgerHost
{
public:
    virtual ~LedgerHost() = default;
    virtual DatabaseObjects database() = 0;
    virtual LedgerGrid& grid() = 0;
    /// Grid preparation followed by loading every record, newest first.
    virtual void ledgerRefill() = 0;
    /// Restores the main window when minimised and raises it.
    virtual void bringLedgerToFront() = 0;
};

} // namespace ovelta
