#pragma once

#include <QString>
#include <QStringList>

namespace ovelta::LedgerSchema {

/// The five CREATE TABLE statements, in creation order (收送礼 first).
QStringList createStatements();
/// The fourteen seed inserts, in order (the account first).
QStringList seedStatements();

/// Builds a complete new database file at path, keyed with password: every table and seed row, written under
/// a temporary name in the same folder and renamed into place only when all is in; mode 0600. Never touches
/// an existing file: false when path exists. On any failure false and no file is left behind.
bool createFile(const QString& path, const QString& password);

} // namespace ovelta::LedgerSchema
