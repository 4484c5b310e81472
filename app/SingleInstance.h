#pragma once

#include <QByteArray>

namespace ovelta {

/// The guard against a second copy on the same ledger. The marker is an exclusive flock() on the ledger's
/// folder itself: it needs no file of its own, every copy that uses the same ledger sees it whatever its
/// environment, and only a process that may open the ledger's folder can hold it. The kernel drops the lock
/// when the process ends, however it ends, so a copy that crashed or was killed never blocks the next start.
class SingleInstance
{
public:
    enum class Outcome { First, AlreadyRunning, Unavailable };
    /// Locks folder (by its native name) and keeps the lock for the life of the process.
    static Outcome acquire(const QByteArray& folder);

    /// The check run at start-up on the current directory, which start-up made the ledger's folder: returns
    /// when no other copy uses that ledger (or the folder cannot be locked); otherwise shows
    /// "程序已经运行,请不要重复运行!" and ends the program with exit code 0.
    static void check();
};

} // namespace ovelta
