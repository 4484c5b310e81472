#pragma once

#include "store/ledger/LedgerRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace ovelta {

class EngineConnection;

/// Reading the ledger's records for the export, and the CSV text of the export. Every statement binds its values.
namespace LedgerTransfer {

/// The columns of a ledger CSV, in order: 收送,姓名,时间,关系,类型,金额,说明.
QStringList header();

/// Every record, newest first (as the grid lists them).
Result<std::vector<LedgerRecord>> readAll(EngineConnection& engine);
/// The records of these IDs in this order; IDs that are no longer in the ledger are left out.
Result<std::vector<LedgerRecord>> readByIds(EngineConnection& engine, const QList<qint64>& ids);
/// The number of records; -1 when it cannot be read.
qint64 recordCount(EngineConnection& engine);
/// The entries of a lookup list (关系, 类型 or 收送) in the engine's order.
Result<QStringList> listEntries(EngineConnection& engine, const QString& table);

/// A date as the export writes it: YYYY-MM-DD, with " HH:MM:SS" only when the time is not midnight.
QString dateText(const JetDateTime& time);
/// The seven texts of a record as the export writes them: texts guarded against formulas, the date as
/// dateText(), the amount as its shortest exact decimal; a missing date or amount is the empty text.
QStringList fields(const LedgerRecord& record);
/// The whole export: UTF-8 with a byte-order mark, the header row, one row per record, CRLF line ends.
QByteArray csv(const std::vector<LedgerRecord>& records);

/// The file that writeWhole(path) replaces: path itself, or the file a symbolic link at path points to (native
/// bytes; the link itself stays).
QByteArray replacedFile(const QString& path);

/// Writes the bytes as the whole file at path: under a temporary name in the same folder, flushed, then
/// renamed over path, so that path holds the old content or the new one and never a part. A symbolic link at
/// path is kept and the file it points to is replaced (see replacedFile). When any step fails the old file is
/// unchanged.
Done writeWhole(const QString& path, const QByteArray& bytes);

} // namespace LedgerTransfer
} // namespace ovelta
