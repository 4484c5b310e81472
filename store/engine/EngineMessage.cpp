#include "store/engine/EngineMessage.h"

#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;

namespace ovelta::EngineMessage {

QString text(int resultCode, const QString& engineText)
{
    switch (resultCode & 0xFF) {
    case SQLITE_BUSY:
        return u"数据库文件正被其他程序使用,请稍后再试!"_s;
    case SQLITE_LOCKED:
        return u"数据库正被锁定,请稍后再试!"_s;
    case SQLITE_READONLY:
        return u"数据库文件是只读的,不能保存改动。"_s;
    case SQLITE_FULL:
        return u"磁盘已满,不能写入数据库。"_s;
    case SQLITE_NOTADB:
        return u"文件不是数据库,或者数据库密码不对。"_s;
    case SQLITE_CORRUPT:
        return u"数据库文件已损坏。"_s;
    case SQLITE_IOERR:
        return u"读写数据库文件时出错。"_s;
    case SQLITE_CANTOPEN:
        return cannotOpen();
    case SQLITE_NOMEM:
        return u"内存不足,不能完成数据库操作。"_s;
    case SQLITE_TOOBIG:
        return u"数据太大,超出了数据库的限制。"_s;
    case SQLITE_PERM:
        return u"没有访问数据库文件的权限。"_s;
    case SQLITE_INTERRUPT:
        return u"数据库操作被中断。"_s;
    case SQLITE_NOLFS:
        return u"系统不支持这么大的数据库文件。"_s;
    case SQLITE_PROTOCOL:
        return u"数据库文件的锁定出错,请稍后再试!"_s;
    default:
        break;
    }
    static const QString NoSuchTable = u"no such table: "_s;
    if (engineText.startsWith(NoSuchTable))
        return u"数据库中没有表 %1。"_s.arg(engineText.mid(NoSuchTable.size()));
    return refused(engineText);
}

namespace {

FailureWatcher& watcher()
{
    static FailureWatcher installed = nullptr;
    return installed;
}

} // namespace

void setFailureWatcher(FailureWatcher installed)
{
    watcher() = installed;
}

QString last(sqlite3* db)
{
    const int code = sqlite3_extended_errcode(db);
    if (watcher() != nullptr)
        watcher()(db, code);
    return text(code, QString::fromUtf8(sqlite3_errmsg(db)));
}

QString refused(const QString& reason)
{
    return u"数据库操作失败:"_s + reason;
}

QString closed()
{
    return u"数据库没有连接,不能进行此操作。"_s;
}

QString cannotOpen()
{
    return u"无法打开数据库文件。"_s;
}

bool isTransient(int resultCode)
{
    return (resultCode & 0xFF) == SQLITE_BUSY || (resultCode & 0xFF) == SQLITE_LOCKED;
}

} // namespace ovelta::EngineMessage
