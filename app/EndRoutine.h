#pragma once

namespace ovelta {

/// The one way the program ends: the shared texts are released, a session that changed the ledger file leaves a
/// backup of it (see TransferCommands::backupAtSessionEnd), every database connection is closed, the folders made
/// this run for a ledger that never came are removed, nothing else runs, and the process exits with the code
/// given. Windows are not closed one by one.
class EndRoutine
{
public:
    /// Installs the production end routine as the program's end handler, and notes the ledger file of the
    /// current folder as the session found it.
    static void install();
    /// Notes the ledger file as the session found it again, once the program is in the ledger's folder: a
    /// session that leaves it as it was makes no backup.
    static void noteLedgerAtStart();
    [[noreturn]] static void run(int exitCode);
};

} // namespace ovelta
