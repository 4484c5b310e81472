#pragma once

#include "windows/LedgerHost.h"

namespace ovelta {

/// The database check that opens the login window: opens "lgbk.xc" with its key, or after the user's consent
/// creates it with its five tables and seed rows; declining (or a file that exists but cannot be opened, or a
/// failed creation) ends the program after its message.
class DatabaseCheck
{
public:
    /// Returns true when the database is open; false when the program has ended.
    static bool run(DatabaseObjects db);
};

} // namespace ovelta
