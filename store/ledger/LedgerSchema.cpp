#include "store/ledger/LedgerSchema.h"

#include "store/engine/PendingFile.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/LedgerStatements.h"

using namespace Qt::StringLiterals;

namespace ovelta::LedgerSchema {

Done createFile(const QString& path, const QString& password)
{
    const Failure notCreated(Problem::LedgerNotCreated, {path});
    PendingFile pending(path, password);
    if (!pending.isValid())
        return notCreated;
    {
        // The ledger table through 数据库连接, the other tables and the seed rows through 外部数据库.
        DatabaseConnection connection;
        ExternalDatabase external;
        const QStringList creates = LedgerStatements::createTables();
        const QStringList seeds = LedgerStatements::seedRows();
        bool ok = connection.connect(pending.temporaryPath(), password) && connection.execute(creates.first())
            && external.connect(pending.temporaryPath(), QString(), password, false, true);
        for (qsizetype i = 1; ok && i < creates.size(); ++i)
            ok = external.execute(creates[i]);
        for (qsizetype i = 0; ok && i < seeds.size(); ++i)
            ok = external.execute(seeds[i]);
        // Both connections end here, before the file takes its name; a failed creation leaves nothing behind.
        if (!ok)
            return notCreated;
    }
    if (!pending.commit())
        return notCreated;
    return {};
}

} // namespace ovelta::LedgerSchema
