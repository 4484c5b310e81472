#include "windows/ledger/LedgerFill.h"

#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "ui/grid/LedgerGrid.h"

#include <deque>
#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta::LedgerFill {

namespace {

/// Rows handed to the grid at a time: large enough that a million records need few insertions, small enough
/// that the rows in flight stay a small fraction of the grid's own storage.
constexpr size_t BatchRows = 4096;

/// Reads the record set's current row as the grid takes it: the texts as the set's own bytes, without a
/// string for each. A value that is no text (written by another program) is converted as readText does, into
/// kept, which holds the converted texts until the batch has been appended.
LedgerRowView readRow(const RecordSet& records, std::deque<QByteArray>& kept)
{
    static const QString Time = u"时间"_s, Id = u"ID"_s, Direction = u"收送"_s, Name = u"姓名"_s, Relation = u"关系"_s,
                         Occasion = u"类型"_s, Amount = u"金额"_s, Note = u"说明"_s;
    auto text = [&](const QString& column, QByteArrayView& bytes) {
        if (records.readUtf8(column, bytes))
            return;
        QString converted;
        records.readText(column, converted);
        kept.push_back(converted.toUtf8());
        bytes = kept.back();
    };
    LedgerRowView row;
    // The date alone: a date-time of the local zone would ask the system for its time zone on every row.
    records.readDate(Time, row.date, row.secondOfDay);
    records.readInteger(Id, row.id);
    text(Direction, row.direction);
    text(Name, row.name);
    text(Relation, row.relation);
    text(Occasion, row.occasion);
    // A NULL amount (or one of another kind) shows as an empty cell.
    row.hasAmount = records.readCurrency(Amount, row.amountTicks);
    if (!row.hasAmount)
        row.amountTicks = 0;
    text(Note, row.note);
    return row;
}

} // namespace

int appendAll(RecordSet& records, LedgerGrid& grid)
{
    int appended = 0;
    std::vector<LedgerRowView> batch;
    batch.reserve(BatchRows);
    std::deque<QByteArray> kept;
    auto flush = [&] {
        appended += int(batch.size());
        grid.appendRowViews(batch);
        batch.clear();
        kept.clear();
    };
    records.moveFirst();
    while (!records.atEnd()) {
        batch.push_back(readRow(records, kept));
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
    records.openOrdered(LedgerStatements::ledgerTable(), LedgerStatements::refillOrder());
    appendAll(records, grid);
    records.close();
    grid.repaintNow();
}

} // namespace ovelta::LedgerFill
