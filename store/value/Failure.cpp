#include "store/value/Failure.h"

#include <cerrno>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

struct Sentence
{
    Problem problem;
    const char16_t* text;
};

// Every text the store's functions give the user, in one place.
constexpr Sentence Sentences[] = {
    // The ledger and its engine.
    {Problem::NoLedger, u"没有打开账簿。"},
    {Problem::Engine, u"%1"},
    {Problem::Overflow, u"金额合计超出了可以计算的范围，无法汇总。"},
    {Problem::RecordGone, u"这条账目已经不在账簿中。"},
    {Problem::Cancelled, u"已取消。"},
    {Problem::ReadRecords, u"读取账目失败：\n%1"},
    {Problem::TotalsUnread, u"读取账目失败，无法汇总。"},
    {Problem::DiskFull, u"磁盘已满。"},
    {Problem::DiskQuota, u"超出了磁盘配额。"},
    {Problem::FileTooLarge, u"文件太大，超出了系统允许的大小。"},
    {Problem::NoWritePermission, u"没有写入权限。"},
    {Problem::ReadOnlyDisk, u"磁盘是只读的。"},
    {Problem::NoSuchFolder, u"文件夹不存在。"},
    {Problem::DiskError, u"读写磁盘时出错。"},
    {Problem::IsFolder, u"这是一个文件夹。"},
    {Problem::NameTooLong, u"文件名太长。"},
    {Problem::SystemError, u"系统错误（错误号%1）。"},

    // Backups, the damaged ledger's rescue and the ledger's key.
    {Problem::FileUnreadable, u"无法读取文件“%1”：%2"},
    {Problem::FileUnwritable, u"无法写入文件“%1”：%2"},
    {Problem::JournalNotMoved, u"无法移开日志文件“%1”：%2"},
    {Problem::LedgerNotReplaced, u"无法替换账簿文件：%1"},
    {Problem::BackupFolderNotMade, u"无法创建备份文件夹“%1”。"},
    {Problem::BackupFolderIsLink,
     u"备份文件夹“%"
     u"1”是一个符号链接，不是真正的文件夹。为了安全，程序不会在链接指向的地方写入或删除备份。请把它换成一个普通的文件夹"
     u"。"},
    {Problem::BackupFolderUnopened, u"无法打开备份文件夹“%1”。"},
    {Problem::BackupFolderNotOwn, u"备份文件夹“%1”不属于当前用户。为了安全，程序不在其中写入或删除备份。"},
    {Problem::BackupFolderMissing, u"备份文件夹“%1”不存在。"},
    {Problem::LedgerUnopened, u"无法打开账本文件“%1”。"},
    {Problem::BackupUnwritable, u"无法在备份文件夹中写入文件（磁盘可能已满或没有写入权限）。"},
    {Problem::BackupUnfinished, u"备份没有写完：%1"},
    {Problem::BackupUnsaved, u"备份文件无法保存（磁盘可能已满）。"},
    {Problem::BackupUnopened, u"备份文件无法打开（文件损坏，或不是本程序的备份）。"},
    {Problem::BackupDamaged, u"备份文件已损坏（完整性检查没有通过）。"},
    {Problem::BackupWithoutTable, u"备份文件中没有账目表。"},
    {Problem::LedgerBusy, u"账本正在写入，请稍后再试。"},
    {Problem::RestoreUnfinished, u"恢复没有完成，账本保持原样：%1"},

    {Problem::LedgerInUse, u"无法打开账本，或账本正被其他程序使用。"},
    {Problem::KeyUnsupported, u"本程序所用的加密引擎不能这样加密账簿。"},
    {Problem::CopyUnwritable, u"无法在账本的文件夹中写入新文件（磁盘可能已满或没有写入权限）。"},
    {Problem::CopyUnfinished, u"账本没有重写完：%1"},
    {Problem::CopyUnsaved, u"新文件无法保存（磁盘可能已满）。"},
    {Problem::LedgerNotCreated, u"无法创建账簿文件“%1”。"},

    // Transfers: CSV and workbooks, in and out.
    {Problem::WorkbookNotCreated, u"无法创建Excel文件：%1"},
    {Problem::WorkbookNoMemory, u"无法创建Excel文件：内存不足。"},
    {Problem::FileIncomplete, u"写成的文件不完整，磁盘可能已满。"},
    {Problem::WorkbookUnreadable, u"%1"},
    {Problem::NotAWorkbook, u"文件不是Excel工作簿。"},
    {Problem::NotAList, u"“%1”不是程序的列表。"},
    {Problem::FileNotCreated, u"无法在“%1”中创建文件：%2"},
    {Problem::FileNotWritten, u"写入文件失败：%1"},
    {Problem::FileNotSaved, u"保存文件失败：%1"},
};

} // namespace

QString systemErrorText(int error)
{
    switch (error) {
    case ENOSPC:
        return Failure(Problem::DiskFull).text();
    case EDQUOT:
        return Failure(Problem::DiskQuota).text();
    case EFBIG:
        return Failure(Problem::FileTooLarge).text();
    case EACCES:
    case EPERM:
        return Failure(Problem::NoWritePermission).text();
    case EROFS:
        return Failure(Problem::ReadOnlyDisk).text();
    case ENOENT:
    case ENOTDIR:
        return Failure(Problem::NoSuchFolder).text();
    case EIO:
        return Failure(Problem::DiskError).text();
    case EISDIR:
        return Failure(Problem::IsFolder).text();
    case ENAMETOOLONG:
        return Failure(Problem::NameTooLong).text();
    default:
        return Failure(Problem::SystemError, {QString::number(error)}).text();
    }
}

QString Failure::text() const
{
    for (const Sentence& s : Sentences) {
        if (s.problem != m_problem)
            continue;
        // One pass, so that a value holding "%2" (a file's name) is not filled in again.
        const QString sentence = QString::fromUtf16(s.text);
        QString text;
        for (qsizetype i = 0; i < sentence.size(); ++i) {
            const int n = i + 1 < sentence.size() ? sentence.at(i + 1).digitValue() : -1;
            if (sentence.at(i) == u'%' && n >= 1 && n <= m_values.size()) {
                text += m_values.at(n - 1);
                ++i;
            } else {
                text += sentence.at(i);
            }
        }
        return text;
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace ovelta
