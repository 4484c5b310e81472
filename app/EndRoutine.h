#pragma once

namespace ovelta {

/// The one way the program ends: the shared texts are released, a session that changed the ledger file leaves a
/// backup of it (see TransferCommands::backupAtSessionEnd), the folders made this run for a ledger that never came
/// are removed, nothing else runs, and the process exits with the code given. Windows are not closed one by one;
/// the database connections end with the process (every statement that reported success is already on disk).
class EndRoutine
{
public:
    /// Installs the production end routine as the program's end handler.
    static void install();
    [[noreturn]] static void run(int exitCode);
};

} // namespace ovelta
