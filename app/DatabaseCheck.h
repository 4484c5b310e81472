#pragma once

#include "windows/common/LedgerHost.h"

namespace ovelta {

/// The database check that opens the login window: opens "lgbk.xc" with its key, or, when no file of that name
/// exists, after the user's consent creates it with its five tables and seed rows. Declining, a failed creation,
/// a file that another program holds locked and a file that exists but cannot be opened end the program after
/// their message; the last two are never asked about and never touched.
class DatabaseCheck
{
public:
    /// Returns true when the database is open; false when the program has ended.
    static bool run(DatabaseObjects db);
};

} // namespace ovelta
