#pragma once

#include <QString>

struct sqlite3;

namespace ovelta {

/// The text the program shows for a failure of the engine: a Chinese sentence for the common failures (the
/// file locked or busy, read-only, the disk full, not a database or the wrong key, a damaged file, a missing
/// table, an input/output error, no memory, data too large, no permission, an interruption), and for any other
/// failure a Chinese lead followed by the engine's own text.
namespace EngineMessage {

/// For the engine's result code (primary or extended) and its own text of the failure.
QString text(int resultCode, const QString& engineText);
/// For the last failure on that connection.
QString last(sqlite3* db);
/// For a failure found before the engine ran anything (a statement the program's SQL does not allow).
QString refused(const QString& reason);
/// The connection is closed and could not be opened again.
QString closed();
/// The file cannot be opened (missing, or named in a way the connection cannot carry).
QString cannotOpen();
/// True for the failures that end by themselves once another program lets go of the file (locked, busy).
bool isTransient(int resultCode);

/// Called by last() with the connection and its result code, for every failure a text is made of: the store
/// watches there for a file found damaged.
using FailureWatcher = void (*)(sqlite3* db, int resultCode);
void setFailureWatcher(FailureWatcher watcher);

} // namespace EngineMessage
} // namespace ovelta
