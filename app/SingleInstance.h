#pragma once

#include <QString>

namespace ovelta {

/// The guard against a second running copy. The marker is an exclusive lock on a file named after the
/// marker in the user's runtime folder ($XDG_RUNTIME_DIR, else the temporary folder with the user id
/// appended). The kernel drops the lock when the process ends, however it ends, so a copy that crashed or
/// was killed never blocks the next start.
class SingleInstance
{
public:
    static QString markerName();
    /// Where the marker lives for the current environment.
    static QString markerPath();

    enum class Outcome { First, AlreadyRunning, Unavailable };
    /// Takes the marker and keeps it for the life of the process.
    static Outcome acquire();

    /// The check run at start-up: returns when no other copy runs (or the marker cannot be had); otherwise
    /// shows "程序已经运行,请不要重复运行!" and ends the program with exit code 0.
    static void check();
};

} // namespace ovelta
