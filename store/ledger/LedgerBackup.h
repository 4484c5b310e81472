#pragma once

#include "store/value/Failure.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace ovelta {

class EngineConnection;

/// Copies of the ledger file in a folder "备份" beside it, made with the engine's online backup: consistent,
/// encrypted with the ledger's own key, written under a temporary name and renamed only when whole. A copy is
/// named after its time: lgbk-YYYYMMDD-HHMMSS.xc (with -2, -3 ... when that name is taken). Nothing here shows
/// a message: failures are results, with a message for the user in error.
namespace LedgerBackup {

struct Backup
{
    QString path;
    QDateTime time; ///< from the name
    qint64 bytes = 0;
};

/// The folder of the backups of a ledger file: "备份" in the ledger's folder, relative when the ledger's name is
/// (so that a folder whose name is no UTF-8 is reached through the current folder).
QString folderOf(const QString& ledgerPath);
/// A path as the user is shown it: absolute, with the system's separators.
QString shownPath(const QString& path);
/// Why the backup folder cannot take or give backups (a symbolic link, no folder, someone else's); done when
/// it can or does not exist yet. Backups are never written, listed or removed through a link.
Done checkFolder(const QString& folder);
/// The name of a backup made at that time (without the -N of a taken name).
QString nameFor(const QDateTime& when);
/// The time a backup's name gives; empty for every other name (temporary files included).
std::optional<QDateTime> timeOfName(const QString& name);

/// The backups in the folder, newest first. Only names of the form above; the temporary files of backups cut off
/// by a crash are never listed (and are removed here when no live process is writing them).
QList<Backup> list(const QString& folder);

/// Writes a backup of the ledger file into its backup folder (made when missing, mode 0700), named after when.
/// A backup folder that is a symbolic link, no folder, or not the user's own is refused (see checkFolder).
/// The ledger is only read. The new file's path.
Result<QString> create(const QString& ledgerPath, const QString& key, const QDateTime& when);

/// Which of the backups (times newest first) rotation keeps: the newest 10, and the newest of each calendar
/// month among the 12 that end with today's month. Indexes into the list, ascending.
QList<int> keptIndexes(const QList<QDateTime>& newestFirst, const QDate& today);
/// Removes the backups that rotation does not keep; returns how many were removed.
int rotate(const QString& folder, const QDate& today);

/// Opens a backup with the key and checks it whole (the engine's integrity check, the ledger table readable).
/// The number of records.
Result<qint64> verify(const QString& path, const QString& key);

/// The number of records of a backup, read without the full check (for the list).
Result<qint64> countRecords(const QString& path, const QString& key);

/// Copies a verified backup into the open ledger through its own connection, in one write transaction of the
/// ledger: a crash during the copy leaves the old ledger, rolled back from the ledger's own journal on the next
/// open. The backup file is only read.
Done restore(EngineConnection& ledger, const QString& backupPath, const QString& key);

/// What tells a changed file: its modification time to the nanosecond, size and inode; empty when missing.
QByteArray stampOf(const QString& path);

/// Starts counting the changes of the ledger's content from now (again): every connection of this process
/// opened from now on to the file at ledgerPath (a relative name resolves in the current folder at each open)
/// counts each commit that inserted, updated or deleted rows, and restore() counts too. Rolled-back
/// transactions, a hot journal rolled back on opening and mere reads count nothing.
void watchChanges(const QString& ledgerPath);
/// The changes of the ledger's content counted since watchChanges().
qint64 changesSinceWatch();

} // namespace LedgerBackup
} // namespace ovelta
