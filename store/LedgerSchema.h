#pragma once

#include <QString>

namespace ovelta::LedgerSchema {

/// Builds a complete new database file at path, keyed with password: every table and seed row, written under
/// a temporary name in the same folder and renamed into place only when all is in; mode 0600. Never touches
/// an existing file: false when path exists. On any failure false and no file is left behind.
bool createFile(const QString& path, const QString& password);

} // namespace ovelta::LedgerSchema
