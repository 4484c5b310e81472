#pragma once

#include "store/value/Failure.h"

#include <QString>

namespace ovelta::LedgerSchema {

/// Builds a complete new database file at path, keyed with password, through the program's database objects:
/// the ledger table through 数据库连接, the other four tables and the fourteen seed rows through 外部数据库.
/// Written under a temporary name in the same folder and renamed into place only when all is in; mode 0600.
/// This is the one way a ledger file comes to be: the first start, the tests and the benchmark all use it.
/// Never touches an existing file: fails when path exists. On any failure no file is left behind.
Done createFile(const QString& path, const QString& password);

} // namespace ovelta::LedgerSchema
