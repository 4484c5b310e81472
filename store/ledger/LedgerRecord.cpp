#include "store/ledger/LedgerRecord.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/EngineStatement.h"

#include <string>

namespace ovelta::LedgerRecords {

LedgerRecord at(const EngineStatement& statement)
{
    LedgerRecord record;
    record.id = statement.integer(0);
    record.direction = statement.text(1);
    record.name = statement.text(2);
    if (!statement.isNull(3)) {
        const std::string_view time = statement.utf8(3);
        record.time = JetDateTime::fromCanonical(time.data(), qsizetype(time.size()));
    }
    record.relation = statement.text(4);
    record.occasion = statement.text(5);
    if (!statement.isNull(6))
        record.amount = statement.integer(6);
    record.note = statement.text(7);
    return record;
}

Result<std::optional<LedgerRecord>> byId(EngineConnection& engine, qint64 id)
{
    EngineStatement statement(engine, std::string("SELECT ") + Columns + " FROM 收送礼 WHERE ID=?1");
    if (!statement)
        return Failure(Problem::Engine, {engine.lastError()});
    statement.bind(1, id);
    switch (statement.step()) {
    case EngineStatement::Step::Row:
        return std::optional<LedgerRecord>(at(statement));
    case EngineStatement::Step::End:
        return std::optional<LedgerRecord>();
    case EngineStatement::Step::Failed:
        break;
    }
    return Failure(Problem::Engine, {statement.failure()});
}

} // namespace ovelta::LedgerRecords
