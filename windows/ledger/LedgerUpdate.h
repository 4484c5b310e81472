#pragma once

#include <QString>

namespace ovelta {

class LedgerHost;

/// Brings the ledger grid up to date after one add, modify or delete without reading the whole ledger again:
/// the one changed record is read by its ID and its row inserted, replaced or removed at its place in the
/// ledger's order, and the grid is left as a refill leaves it (no row current, running numbers from 1).
///
/// This is done only while the grid still shows the whole ledger as the last refill read it and nothing but
/// that one edit has changed the file since: no other connection committed (the engine's data version of the
/// program's connection), the program's connection changed exactly one row, and the grid has not been filled
/// otherwise (a search result). In every other case, and whenever the record cannot be read, the grid is
/// refilled through the host. 刷新数据 always refills.
namespace LedgerUpdate {

enum class Outcome { InPlace, Refilled };

/// To be called after each ledger refill of the host's grid: the grid now shows the whole ledger as the
/// host's connection reads it. Until this is called for a grid, every update refills.
void refilled(LedgerHost& host);

/// After the record entry window added a record on the host's connection.
Outcome afterAdd(LedgerHost& host);
/// After the record with that ID was modified on the host's connection.
Outcome afterModify(LedgerHost& host, const QString& recordId);
/// After the record with that ID was deleted on the host's connection.
Outcome afterDelete(LedgerHost& host, const QString& recordId);

} // namespace LedgerUpdate
} // namespace ovelta
