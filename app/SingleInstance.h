#pragma once

#include <QByteArray>

namespace ovelta {

/// The guard against a second copy on the same ledger. The markers are exclusive flock() locks on the ledger's
/// folder and on the ledger file itself: they need no file of their own, every copy that uses the same ledger
/// sees them whatever its environment, and the file's lock follows the file (its device and inode), so a second
/// path to the same file (a link, a hard link in another folder, a folder the copy may not list) meets it too.
/// The kernel drops the locks when the process ends, however it ends, so a copy that crashed or was killed never
/// blocks the next start. flock() locks are apart from the engine's own record locks on the same file.
class SingleInstance
{
public:
    enum class Outcome { First, AlreadyRunning, Unavailable };
    /// Locks folder (by its native name) and keeps the lock for the life of the process.
    static Outcome acquire(const QByteArray& folder);
    /// Locks the regular file at path (by its native name), never blocking, also not on a named pipe; keeps the
    /// lock for the life of the process, or until lockLedgerFile() moves it to a file that replaced this one.
    /// Unavailable when there is no regular file to lock.
    static Outcome acquireFile(const QByteArray& path);

    /// The check run at start-up on the current directory, which start-up made the ledger's folder, and on the
    /// ledger file in it when there is one: returns when no other copy uses that ledger (or nothing can be
    /// locked); otherwise shows "程序已经运行,请不要重复运行!" and ends the program with exit code 0.
    static void check();
    /// Locks the ledger file of the current directory after it was created or replaced by another file of that
    /// name; a copy that meets another copy's lock there is ended as check() ends it.
    static void lockLedgerFile();
};

} // namespace ovelta
