#include "windows/LedgerFill.h"

#include "store/RecordSet.h"
#include "ui/LedgerGrid.h"

#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta::LedgerFill {

namespace {

/// Rows handed to the grid at a time: large enough that a million records need few insertions, small enough
/// that the rows in flight stay a small fraction of the grid's own storage.
constexpr size_t BatchRows = 4096;

} // namespace

LedgerRow readRow(const RecordSet& records)
{
    LedgerRow row;
    // The date alone: a date-time of the local zone would ask the system for its time zone on every row.
    records.readDate(u"时间"_s, row.date);
    records.readInteger(u"ID"_s, row.id);
    records.readText(u"收送"_s, row.direction);
    records.readText(u"姓名"_s, row.name);
    records.readText(u"关系"_s, row.relation);
    records.readText(u"类型"_s, row.kind);
    qint64 ticks = 0;
    row.hasAmount = !records.isNull(u"金额"_s) && records.readCurrency(u"金额"_s, ticks);
    row.amountTicks = row.hasAmount ? ticks : 0;
    records.readText(u"说明"_s, row.note);
    return row;
}

int appendAll(RecordSet& records, LedgerGrid& grid)
{
    int appended = 0;
    std::vector<LedgerRow> batch;
    batch.reserve(BatchRows);
    auto flush = [&] {
        appended += int(batch.size());
        grid.appendRows(std::move(batch));
        batch.clear();
        batch.reserve(BatchRows);
    };
    records.moveFirst();
    while (!records.atEnd()) {
        batch.push_back(readRow(records));
        if (batch.size() == BatchRows)
            flush();
        records.moveNext();
    }
    if (!batch.empty())
        flush();
    return appended;
}

void refill(RecordSet& records, LedgerGrid& grid)
{
    grid.prepare();
    // A failed open has already been reported by the record set; the loop then finds no rows and the grid
    // keeps its two fixed rows.
    records.openOrdered(u"收送礼"_s, u"时间 DESC"_s);
    appendAll(records, grid);
    records.close();
    grid.repaintNow();
}

} // namespace ovelta::LedgerFill
