#pragma once

#include <QString>
#include <QtGlobal>

namespace ovelta::ChangeWatch {

/// Starts counting the changes of the content of the file at path from now (again): every connection of this
/// process opened from now on to that file (a relative name resolves in the current folder at each open) counts
/// each commit that inserted, updated or deleted rows. Rolled-back transactions, a hot journal rolled back on
/// opening and mere reads count nothing.
void watch(const QString& path);
/// The changes counted since watch().
qint64 changes();
/// Counts one change made without a commit of a connection (the engine's online backup into the file).
void countOne();

} // namespace ovelta::ChangeWatch
