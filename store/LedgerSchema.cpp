#include "LedgerSchema.h"

#include "EngineConnection.h"
#include "LedgerStatements.h"
#include "PendingFile.h"

using namespace Qt::StringLiterals;

namespace ovelta::LedgerSchema {

bool createFile(const QString& path, const QString& password)
{
    PendingFile pending(path, password);
    if (!pending.isValid())
        return false;
    {
        const auto engine = EngineConnection::open(pending.temporaryPath(), password);
        if (!engine || !engine->executeNative("BEGIN IMMEDIATE"))
            return false;
        for (const QString& statement : LedgerStatements::createTables() + LedgerStatements::seedRows()) {
            if (!engine->execute(statement))
                return false; // the connection ends with the transaction undone; the file goes too
        }
        if (!engine->executeNative("COMMIT"))
            return false;
    }
    return pending.commit();
}

} // namespace ovelta::LedgerSchema
