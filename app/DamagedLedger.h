#pragma once

namespace ovelta {

/// What the program does when it finds its ledger damaged. From then on nothing is written into the file (the
/// store makes every connection to it read-only); the user is told what is wrong and offered the newest backup
/// that passes its check, restored in the damaged file's place with the damaged file kept beside it, or the end
/// of the program. Either way the program then ends, and its end makes no backup of the damaged file.
namespace DamagedLedger {

/// Watches the ledger file of the current directory from now on: the first damage found in it, by any read of
/// any window, leads to offer() as soon as the running handler has returned.
void watch();

/// Tells the user the ledger is damaged, offers the newest good backup, restores it when asked, and ends the
/// program with exit code 0.
void offer();

/// The same offer for a ledger file that does not open at all at start-up (its first page damaged, or a file
/// of another key): false, with nothing shown, when there is no good backup to offer; otherwise the program has
/// ended.
bool offerAtStart();

} // namespace DamagedLedger
} // namespace ovelta
