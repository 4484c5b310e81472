#pragma once

#include <QString>

namespace ovelta {

/// What stands under the ledger's file name when a connection to it failed: nothing at all, something that is
/// no regular file (a folder, a named pipe, a device: never opened, since a pipe would block whoever reads it),
/// a file that another connection holds locked against readers, or a file that is there and free to read
/// (whether it is a ledger with our key is for the connection to say). Reads nothing but the engine's locks and
/// touches nothing.
class LedgerProbe
{
public:
    enum class State { Missing, NotAFile, InUse, Present };

    /// The state of the file at path. Does not wait for a lock to go away: a caller that wants to wait has
    /// already done so in the connection that failed.
    static State inspect(const QString& path);
};

} // namespace ovelta
