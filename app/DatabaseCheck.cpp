#include "app/DatabaseCheck.h"

#include "app/DamagedLedger.h"
#include "app/SingleInstance.h"
#include "store/engine/LedgerProbe.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/PrivateLedger.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

void openedDatabase(DatabaseObjects db)
{
    db.recordSet.bind(&db.connection);
    db.recordSet.setFilter(QString());
}

/// Creates the database file and connects both of the main window's objects to it (数据库连接 and 外部数据库).
/// False, with nothing left behind, on any failure.
bool createDatabase(DatabaseObjects db)
{
    const QString file = LedgerFile::name();
    const QString password = LedgerFile::password();
    if (!LedgerSchema::createFile(file, password))
        return false;
    if (db.connection.connect(file, password) && db.external.connect(file, QString(), password, false, true))
        return true;
    // The file is in place but does not open: a creation that cannot be used is undone.
    db.connection.close();
    db.external.disconnect();
    QFile::remove(file);
    return false;
}

} // namespace

bool DatabaseCheck::run(DatabaseObjects db)
{
    const QString file = LedgerFile::name();
    // A private ledger opens with the login password only, which the login window connects it with.
    if (PrivateLedger::isPrivate(file))
        return true;
    if (db.connection.connect(file, LedgerFile::password())) {
        openedDatabase(db);
        return true;
    }

    // Only a missing file earns the question; a file that is there is never replaced, so asking would only
    // lead to a refusal.
    switch (LedgerProbe::inspect(file)) {
    case LedgerProbe::State::InUse:
        MessageBox::show(u"数据库文件正被其他程序使用,请稍后再试!"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        Program::end(0);
        return false;
    case LedgerProbe::State::Present:
        // The lock that made the first try fail may have gone in the meantime.
        if (db.connection.connect(file, LedgerFile::password())) {
            openedDatabase(db);
            return true;
        }
        // A damaged file that a good backup can replace is offered that backup; the file is kept aside.
        if (DamagedLedger::offerAtStart())
            return false;
        MessageBox::show(u"数据库文件已存在但无法打开,未做任何改动,系统即将退出!"_s, u"错误"_s, MessageBox::OkOnly,
                         MessageBox::Stop);
        Program::end(0);
        return false;
    case LedgerProbe::State::NotAFile:
        MessageBox::show(
            u"数据库文件“%1”不是普通文件(可能是文件夹或管道),无法打开,未做任何改动,系统即将退出!"_s.arg(file),
            u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        Program::end(0);
        return false;
    case LedgerProbe::State::Missing:
        break;
    }

    const MessageBox::Answer answer = MessageBox::show(u"没有找到数据库,是否要重新创建数据库?"_s, QString(),
                                                       MessageBox::YesNo, MessageBox::Warning, 0);
    if (answer != MessageBox::Yes) {
        MessageBox::show(u"没有创建数据库,系统即将退出!"_s, u"退出"_s, MessageBox::OkOnly, MessageBox::Stop);
        Program::end(0);
        return false;
    }
    if (!createDatabase(db)) {
        MessageBox::show(u"创建数据库失败,系统即将退出!"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        Program::end(0);
        return false;
    }
    // The new file is this copy's: a second copy that reached it through another path is refused from now on.
    SingleInstance::lockLedgerFile();
    if (Program::hasEnded())
        return false;
    openedDatabase(db);
    MessageBox::show(u"成功创建数据库!"_s, u"提示"_s, MessageBox::OkOnly, MessageBox::Information);
    return true;
}

} // namespace ovelta
