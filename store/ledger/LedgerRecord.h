#pragma once

#include "store/value/Failure.h"
#include "store/value/JetDateTime.h"

#include <QString>
#include <optional>

namespace ovelta {

class EngineConnection;
class EngineStatement;

/// One row of 收送礼 with its values as stored: a record may have no date and no amount. The one shape of a
/// record for the program's own features (export, import, a person's records, the grid's update after an edit).
struct LedgerRecord
{
    qint64 id = 0;
    QString direction; ///< 收送
    QString name; ///< 姓名
    std::optional<JetDateTime> time; ///< 时间
    QString relation; ///< 关系
    QString occasion; ///< 类型
    std::optional<qint64> amount; ///< 金额 in ten-thousandths
    QString note; ///< 说明

    /// Equal in every column but the ID.
    bool sameContent(const LedgerRecord& other) const
    {
        return direction == other.direction && name == other.name && time == other.time && relation == other.relation
            && occasion == other.occasion && amount == other.amount && note == other.note;
    }
};

namespace LedgerRecords {

/// The columns a record is read from, in the order at() reads them, for a SELECT of the program's own.
inline constexpr const char* Columns = "ID,收送,姓名,时间,关系,类型,金额,说明";

/// The record at the statement's current row, whose first columns are Columns.
LedgerRecord at(const EngineStatement& statement);

/// The record with that ID, read with the ID bound; empty when there is none.
Result<std::optional<LedgerRecord>> byId(EngineConnection& engine, qint64 id);

} // namespace LedgerRecords
} // namespace ovelta
