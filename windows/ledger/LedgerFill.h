#pragma once

namespace ovelta {

class LedgerGrid;
class RecordSet;

namespace LedgerFill {

/// Walks the open record set from its first row to the end, appending each record (ID, 收送, 姓名, 时间, 关系,
/// 类型, 金额, 说明) to the grid in batches. Returns the number of rows appended. The set stays open.
int appendAll(RecordSet& records, LedgerGrid& grid);
/// The ledger refill: grid preparation, "select * from 收送礼 order by 时间 DESC", every row appended, the record
/// set closed and the grid repainted. When the open fails the grid keeps its two fixed rows.
void refill(RecordSet& records, LedgerGrid& grid);

} // namespace LedgerFill
} // namespace ovelta
