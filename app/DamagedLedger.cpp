#include "app/DamagedLedger.h"

#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerRescue.h"
#include "store/ledger/PrivateLedger.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"

#include <QCoreApplication>
#include <QTimer>
#include <optional>

using namespace Qt::StringLiterals;

namespace ovelta::DamagedLedger {

namespace {

const QString Title = u"数据库文件已损坏"_s;

struct GoodBackup
{
    LedgerBackup::Backup backup;
    qint64 records = 0;
};

/// The newest backup that opens with the ledger's key and passes the engine's integrity check.
std::optional<GoodBackup> newestGoodBackup()
{
    // The backup folder by its relative name: the ledger's folder is the current directory, whatever bytes
    // name it.
    for (const LedgerBackup::Backup& backup : LedgerBackup::list(u"备份"_s)) {
        if (const auto records = LedgerBackup::verify(backup.path, PrivateLedger::keyOpening(backup.path)))
            return GoodBackup{backup, *records};
    }
    return std::nullopt;
}

} // namespace

void watch()
{
    EngineConnection::watchForDamage(LedgerFile::name(), [] {
        // Found inside a read that is still unwinding: the user is asked once it has returned.
        QTimer::singleShot(0, QCoreApplication::instance(), [] {
            if (!Program::hasEnded())
                offer();
        });
    });
}

namespace {

/// Offers the good backup after lead, restores it when the user agrees, and ends the program.
void offerBackup(const QString& lead, const GoodBackup* good)
{
    const QString when = good->backup.time.toString(u"yyyy年M月d日 HH:mm:ss"_s);
    const MessageBox::Answer answer = MessageBox::show(
        lead
            + u"\n\n最新的完好备份是%1的备份,共%2条账目。\n是否用它恢复账簿?损坏的文件会改名保留在账簿旁边。\n"
              u"选“是”恢复后系统退出,请重新启动;选“否”系统直接退出。"_s.arg(when)
                  .arg(good->records),
        Title, MessageBox::YesNo, MessageBox::Stop, 0);
    if (answer == MessageBox::Yes) {
        // No connection may keep the damaged file open while another takes its name.
        EngineConnection::closeAll();
        const Result<QString> aside
            = LedgerRescue::replaceWithBackup(LedgerFile::name(), good->backup.path, Program::now());
        Done restored = aside ? Done() : Done(aside.failure());
        // A private ledger stays private: a backup keyed otherwise, or without the private mark, is keyed anew.
        const bool isPrivateSession = LedgerFile::sessionKey() != LedgerFile::password();
        if (restored && isPrivateSession && !PrivateLedger::isPrivate(LedgerFile::name())) {
            restored = PrivateLedger::rekey(LedgerFile::name(), PrivateLedger::keyOpening(LedgerFile::name()),
                                            LedgerFile::sessionKey(), true, {});
        }
        if (restored) {
            MessageBox::show(
                u"已用%1的备份恢复账簿,共%2条账目。\n损坏的文件保存为“%3”。\n系统即将退出,请重新启动程序。"_s.arg(when)
                    .arg(good->records)
                    .arg(*aside),
                Title, MessageBox::OkOnly, MessageBox::Information);
        } else {
            MessageBox::show(u"恢复失败,账簿文件保持原样:\n%1\n系统即将退出!"_s.arg(restored.errorText()), Title,
                             MessageBox::OkOnly, MessageBox::Stop);
        }
    }
    Program::end(0);
}

} // namespace

void offer()
{
    const QString lead
        = u"数据库文件 %1 已损坏,有些账目读不出来。\n为了不让损坏扩大,这次运行不会再往账簿里写入任何内容。"_s.arg(
            LedgerFile::name());
    const std::optional<GoodBackup> good = newestGoodBackup();
    if (!good) {
        MessageBox::show(lead + u"\n\n没有找到可以用来恢复的完好备份。损坏的文件保持原样,系统即将退出!"_s, Title,
                         MessageBox::OkOnly, MessageBox::Stop);
        Program::end(0);
        return;
    }
    offerBackup(lead, &*good);
}

bool offerAtStart()
{
    const std::optional<GoodBackup> good = newestGoodBackup();
    if (!good)
        return false;
    offerBackup(u"数据库文件 %1 已存在但无法打开,可能已经损坏。未做任何改动。"_s.arg(LedgerFile::name()), &*good);
    return true;
}

} // namespace ovelta::DamagedLedger
