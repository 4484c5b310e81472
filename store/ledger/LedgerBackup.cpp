#include "store/ledger/LedgerBackup.h"

#include "store/engine/ChangeWatch.h"
#include "store/engine/EngineConnection.h"
#include "store/engine/PendingFile.h"
#include "store/engine/RowSnapshot.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta::LedgerBackup {

namespace {

const QRegularExpression& namePattern()
{
    static const QRegularExpression pattern(u"^lgbk-(\\d{8})-(\\d{6})(?:-(\\d{1,4}))?\\.xc$"_s);
    return pattern;
}

/// Removes the temporary files of backups whose writer is gone (see PendingFile).
void removeAbandoned(const QDir& folder)
{
    static const QRegularExpression temporary(u"^\\.(lgbk-[0-9-]+\\.xc)\\.new-"_s);
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QSet<QString> targets;
    for (const QString& name : names) {
        if (const auto match = temporary.match(name); match.hasMatch())
            targets.insert(match.captured(1));
    }
    for (const QString& target : targets)
        PendingFile::removeLeftovers(folder.filePath(target));
}

/// A descriptor of the backup folder, opened without following a link; closed when dropped.
class FolderHandle
{
public:
    FolderHandle() = default;
    explicit FolderHandle(int fd)
        : m_fd(fd)
    {
    }
    ~FolderHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

/// Opens the backup folder when it is a real folder of the user's own: never through a symbolic link, and never
/// one that belongs to someone else. With create, a missing folder is made (mode 0700). Empty with the
/// reason in error otherwise; *missing tells a folder that is not there (without create).
Result<int> openFolder(const QString& folderPath, bool create)
{
    const QByteArray native = QFile::encodeName(folderPath);
    const QStringList shownFolder{shown(folderPath)};
    struct stat info;
    if (::lstat(native.constData(), &info) != 0) {
        if (errno == ENOENT && !create)
            return Failure(Problem::BackupFolderMissing, shownFolder);
        if (errno != ENOENT || ::mkdir(native.constData(), S_IRWXU) != 0)
            return Failure(Problem::BackupFolderNotMade, shownFolder);
    } else if (S_ISLNK(info.st_mode)) {
        return Failure(Problem::BackupFolderIsLink, shownFolder);
    } else if (!S_ISDIR(info.st_mode)) {
        return Failure(Problem::BackupFolderNotMade, shownFolder);
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Failure(Problem::BackupFolderUnopened, shownFolder);
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return Failure(Problem::BackupFolderNotOwn, shownFolder);
    }
    return fd;
}

} // namespace

QString folderOf(const QString& ledgerPath)
{
    // Relative to the ledger's own name: a folder whose name is no UTF-8 is reached by the current folder.
    const QString folder = QFileInfo(ledgerPath).path();
    return folder == u"."_s ? u"备份"_s : QDir(folder).filePath(u"备份"_s);
}

QString shownPath(const QString& path)
{
    return shown(path);
}

Done checkFolder(const QString& folderPath)
{
    const auto fd = openFolder(folderPath, false);
    if (fd)
        ::close(*fd);
    if (fd || fd.failure().problem() == Problem::BackupFolderMissing)
        return {};
    return fd.failure();
}

void watchChanges(const QString& ledgerPath)
{
    ChangeWatch::watch(ledgerPath);
}

qint64 changesSinceWatch()
{
    return ChangeWatch::changes();
}

QString nameFor(const QDateTime& when)
{
    return u"lgbk-"_s + when.toString(u"yyyyMMdd-HHmmss"_s) + u".xc"_s;
}

std::optional<QDateTime> timeOfName(const QString& name)
{
    const auto match = namePattern().match(name);
    if (!match.hasMatch())
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(match.captured(1) + match.captured(2), u"yyyyMMddHHmmss"_s);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

QList<Backup> list(const QString& folderPath)
{
    const auto fd = openFolder(folderPath, false);
    if (!fd)
        return {};
    ::close(*fd);
    const QDir folder(folderPath);
    removeAbandoned(folder);
    QList<Backup> backups;
    const QFileInfoList entries = folder.entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const auto time = timeOfName(entry.fileName());
        if (!time)
            continue;
        backups.append(Backup{folder.filePath(entry.fileName()), *time, entry.size()});
    }
    std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
        if (a.time != b.time)
            return a.time > b.time;
        // lgbk-...-2.xc was made after lgbk-....xc of the same second
        const auto suffix
            = [](const Backup& x) { return namePattern().match(QFileInfo(x.path).fileName()).captured(3).toInt(); };
        return suffix(a) > suffix(b);
    });
    return backups;
}

Result<QString> create(const QString& ledgerPath, const QString& key, const QDateTime& when)
{
    const QString folderPath = folderOf(ledgerPath);
    const auto fd = openFolder(folderPath, true);
    if (!fd)
        return fd.failure();
    const FolderHandle handle(*fd);
    ::fchmod(handle.fd(), S_IRWXU);
    // The copy is written into the folder checked and opened above, through the system's name of its
    // descriptor, so that the folder cannot be swapped for a link in between; the folder's own name where the
    // system has no such names.
    const QString throughDescriptor = u"/proc/self/fd/%1"_s.arg(handle.fd());
    struct stat opened, named;
    const bool sameFolder = ::fstat(handle.fd(), &opened) == 0
        && ::stat(QFile::encodeName(throughDescriptor).constData(), &named) == 0 && opened.st_dev == named.st_dev
        && opened.st_ino == named.st_ino;
    const QDir folder(sameFolder ? throughDescriptor : folderPath);
    const auto source = EngineConnection::open(ledgerPath, key, EngineConnection::Options{true, false});
    if (!source)
        return Failure(Problem::LedgerUnopened, {shown(ledgerPath)});
    const QString base = nameFor(when).chopped(3);
    QString target = folder.filePath(base + u".xc"_s);
    for (int n = 2; QFileInfo::exists(target) && n < 10000; ++n)
        target = folder.filePath(base + u'-' + QString::number(n) + u".xc"_s);
    PendingFile pending(target, key);
    if (!pending.isValid())
        return Problem::BackupUnwritable;
    {
        const auto destination
            = EngineConnection::open(pending.temporaryPath(), key, EngineConnection::Options{false, true});
        // The copy is a file of its own under a temporary name until it is whole: a crash leaves only a
        // temporary file that nothing lists, so it needs no journal, and PendingFile::commit() flushes it.
        if (!destination || !destination->executeNative("PRAGMA journal_mode=OFF")
            || !destination->executeNative("PRAGMA synchronous=OFF"))
            return Problem::BackupUnwritable;
        QString reason;
        if (!EngineConnection::copy(*destination, *source, &reason))
            return Failure(Problem::BackupUnfinished, {reason});
    }
    if (!pending.commit())
        return Problem::BackupUnsaved;
    return QDir(folderPath).filePath(QFileInfo(target).fileName());
}

QList<int> keptIndexes(const QList<QDateTime>& newestFirst, const QDate& today)
{
    QList<int> kept;
    QSet<int> monthsSeen;
    const int thisMonth = today.year() * 12 + today.month() - 1;
    for (int i = 0; i < newestFirst.size(); ++i) {
        const QDate date = newestFirst[i].date();
        const int month = date.year() * 12 + date.month() - 1;
        bool keep = i < 10;
        if (month <= thisMonth && month > thisMonth - 12 && !monthsSeen.contains(month)) {
            monthsSeen.insert(month);
            keep = true;
        }
        if (keep)
            kept.append(i);
    }
    return kept;
}

int rotate(const QString& folder, const QDate& today)
{
    const auto fd = openFolder(folder, false);
    if (!fd)
        return 0;
    const FolderHandle handle(*fd);
    const QList<Backup> backups = list(folder);
    QList<QDateTime> times;
    for (const Backup& backup : backups)
        times.append(backup.time);
    const QList<int> kept = keptIndexes(times, today);
    int removed = 0;
    for (int i = 0; i < backups.size(); ++i) {
        // Removed by name in the folder opened above, never through a link.
        const QByteArray name = QFile::encodeName(QFileInfo(backups[i].path).fileName());
        if (!kept.contains(i) && ::unlinkat(handle.fd(), name.constData(), 0) == 0)
            ++removed;
    }
    return removed;
}

Result<qint64> verify(const QString& path, const QString& key)
{
    const auto backup = EngineConnection::open(path, key, EngineConnection::Options{true, false});
    if (!backup)
        return Problem::BackupUnopened;
    {
        EngineStatement check(*backup, "PRAGMA integrity_check");
        if (!check || check.step() != EngineStatement::Step::Row || check.utf8(0) != "ok")
            return Problem::BackupDamaged;
    }
    EngineStatement count(*backup, "SELECT count(*) FROM 收送礼");
    if (!count || count.step() != EngineStatement::Step::Row)
        return Problem::BackupWithoutTable;
    return count.integer(0);
}

Result<qint64> countRecords(const QString& path, const QString& key)
{
    const auto backup = EngineConnection::open(path, key, EngineConnection::Options{true, false});
    if (!backup)
        return Problem::BackupUnopened;
    EngineStatement count(*backup, "SELECT count(*) FROM 收送礼");
    if (!count || count.step() != EngineStatement::Step::Row)
        return Problem::BackupWithoutTable;
    return count.integer(0);
}

Done restore(EngineConnection& ledger, const QString& backupPath, const QString& key)
{
    const auto backup = EngineConnection::open(backupPath, key, EngineConnection::Options{true, false});
    if (!backup)
        return Problem::BackupUnopened;
    // No row of the ledger may still be read lazily while its pages are replaced.
    RowSnapshot::completeAll();
    if (ledger.inTransaction())
        return Problem::LedgerBusy;
    QString reason;
    if (!EngineConnection::copy(ledger, *backup, &reason))
        return Failure(Problem::RestoreUnfinished, {reason});
    // The engine's backup writes the pages without a commit of the connection: the change is counted here.
    ChangeWatch::countOne();
    return {};
}

QByteArray stampOf(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(info.st_mtim.tv_nsec))
        + ':' + QByteArray::number(qint64(info.st_size)) + ':' + QByteArray::number(quint64(info.st_ino));
}

} // namespace ovelta::LedgerBackup
