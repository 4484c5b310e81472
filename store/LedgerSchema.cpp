#include "LedgerSchema.h"

#include "EngineConnection.h"
#include "PendingFile.h"

using namespace Qt::StringLiterals;

namespace ovelta::LedgerSchema {

QStringList createStatements()
{
    return {
        u"CREATE TABLE 收送礼 (ID Counter,收送 Memo,姓名 Memo,时间 Time,关系 Memo,类型 Memo,金额 Currency,说明 Memo)"_s,
        u"CREATE TABLE 关系 (ID Counter,关系 Memo)"_s,
        u"CREATE TABLE 类型 (ID Counter,类型 Memo)"_s,
        u"CREATE TABLE 收送 (ID Counter,收送 Memo)"_s,
        u"CREATE TABLE 账号 (ID Counter,用户 Memo,密码 Memo)"_s,
    };
}

QStringList seedStatements()
{
    return {
        u"insert into 账号(用户,密码) values('admin','kelpo')"_s,
        u"insert into 关系 (关系) values ('亲戚')"_s,
        u"insert into 关系 (关系) values ('朋友')"_s,
        u"insert into 关系 (关系) values ('同学')"_s,
        u"insert into 关系 (关系) values ('同事')"_s,
        u"insert into 关系 (关系) values ('其他')"_s,
        u"insert into 类型 (类型) values ('结婚')"_s,
        u"insert into 类型 (类型) values ('生日')"_s,
        u"insert into 类型 (类型) values ('升职')"_s,
        u"insert into 类型 (类型) values ('乔迁')"_s,
        u"insert into 类型 (类型) values ('探病')"_s,
        u"insert into 类型 (类型) values ('丧礼')"_s,
        u"insert into 收送 (收送) values ('收礼')"_s,
        u"insert into 收送 (收送) values ('送礼')"_s,
    };
}

bool createFile(const QString& path, const QString& password)
{
    PendingFile pending(path, password);
    if (!pending.isValid())
        return false;
    {
        const auto engine = EngineConnection::open(pending.temporaryPath(), password);
        if (!engine || !engine->executeNative("BEGIN IMMEDIATE"))
            return false;
        for (const QString& statement : createStatements() + seedStatements()) {
            if (!engine->execute(statement))
                return false; // the connection ends with the transaction undone; the file goes too
        }
        if (!engine->executeNative("COMMIT"))
            return false;
    }
    return pending.commit();
}

} // namespace ovelta::LedgerSchema
