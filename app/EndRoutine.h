#pragma once

namespace ovelta {

/// The one way the program ends: the shared texts are released, a session that changed the ledger file leaves a
/// backup of it (see TransferCommands::backupAtSessionEnd), every database connection is closed, the folders made
/// this run for a ledger that never came are removed, nothing else runs, and the process exits with the code
/// given. Windows are not closed one by one.
class EndRoutine
{
public:
    /// Installs the production end routine as the program's end handler.
    static void install();
    [[noreturn]] static void run(int exitCode);
};

} // namespace ovelta
