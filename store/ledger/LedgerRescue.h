#pragma once

#include "store/value/Failure.h"

#include <QDateTime>
#include <QString>

namespace ovelta {

/// Puts a backup in the place of a damaged ledger file. Nothing here shows a message: failures are results, with
/// a message for the user in error.
namespace LedgerRescue {

/// The name the damaged file keeps beside the ledger: lgbk-损坏-YYYYMMDD-HHMMSS.xc (with -2, -3 ... when taken).
/// It is no backup's name, so rotating the backups never removes it.
QString asideName(const QDateTime& when);

/// Replaces the ledger file at ledgerPath with a copy of the backup file and keeps the damaged file, with a
/// journal of it, beside it under asideName(when). The ledger's name never stands empty: the damaged file is
/// copied aside and the backup copied under a temporary name and flushed to the disk before that copy is renamed
/// over the ledger, so a crash leaves either the damaged ledger or the restored one. Every connection to the
/// ledger must be closed first. The path of the kept file; on failure the ledger is as it was.
Result<QString> replaceWithBackup(const QString& ledgerPath, const QString& backupPath, const QDateTime& when);

} // namespace LedgerRescue
} // namespace ovelta
