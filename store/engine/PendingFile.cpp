#include "store/engine/PendingFile.h"

#include "store/engine/EngineConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

bool existsInAnyForm(const QByteArray& path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0 || errno != ENOENT;
}

bool syncPath(const QByteArray& path, int flags)
{
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

/// Gives the file its new name only when nothing of that name exists.
bool moveWithoutReplacing(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // Filesystems without the flag: a hard link fails just as surely when the target exists.
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

constexpr QStringView NameInfix = u".new-";
constexpr QStringView JournalSuffix = u"-journal";
constexpr qsizetype UniquePartLength = 6; // the XXXXXX of mkostemp, which it fills with letters and digits

QByteArray journalOf(const QByteArray& path)
{
    return path + "-journal";
}

/// Removes a temporary file of the folder and its journal when it is a regular file that no live process holds
/// locked.
bool removeIfAbandoned(int folder, const QByteArray& name)
{
    const int fd = ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    // The creator's lock goes with its process, so a file that can be locked has no creator any more.
    const bool abandoned = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (abandoned) {
        ::unlinkat(folder, journalOf(name).constData(), 0);
        ::unlinkat(folder, name.constData(), 0);
    }
    ::close(fd);
    return abandoned;
}

/// The names in the folder open at fd.
QList<QByteArray> namesIn(int folder)
{
    QList<QByteArray> names;
    const int listed = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    DIR* listing = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!listing) {
        if (listed >= 0)
            ::close(listed);
        return names;
    }
    while (const dirent* entry = ::readdir(listing))
        names.append(QByteArray(entry->d_name));
    ::closedir(listing);
    return names;
}

} // namespace

bool PendingFile::isTemporaryName(QStringView name, QStringView targetName)
{
    const qsizetype prefix = 1 + targetName.size() + NameInfix.size();
    if (targetName.isEmpty() || name.size() != prefix + UniquePartLength || !name.startsWith(u'.')
        || !name.sliced(1).startsWith(targetName) || !name.sliced(1 + targetName.size()).startsWith(NameInfix))
        return false;
    for (const QChar c : name.sliced(prefix)) {
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')))
            return false;
    }
    return true;
}

int PendingFile::removeLeftovers(const QString& target)
{
    const QFileInfo info(target);
    const QString targetName = info.fileName();
    // Everything is removed by name in the folder opened here, which is never reached through a symbolic link.
    const int folder
        = ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return 0;
    int removed = 0;
    for (const QByteArray& native : namesIn(folder)) {
        const QString name = QFile::decodeName(native);
        if (isTemporaryName(name, targetName)) {
            removed += removeIfAbandoned(folder, native) ? 1 : 0;
        } else if (name.endsWith(JournalSuffix) && isTemporaryName(name.chopped(JournalSuffix.size()), targetName)) {
            // A journal whose file is gone has nothing left to roll back.
            struct stat journal, file;
            if (::fstatat(folder, native.constData(), &journal, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(journal.st_mode)
                && ::fstatat(folder, native.chopped(JournalSuffix.size()).constData(), &file, AT_SYMLINK_NOFOLLOW) != 0
                && errno == ENOENT && ::unlinkat(folder, native.constData(), 0) == 0)
                ++removed;
        }
    }
    ::close(folder);
    return removed;
}

PendingFile::PendingFile(const QString& target, const QString& key)
    : m_target(target)
{
    const QByteArray targetPath = QFile::encodeName(target);
    if (target.isEmpty() || existsInAnyForm(targetPath))
        return;
    removeLeftovers(target);
    const QFileInfo info(target);
    QByteArray pattern
        = QFile::encodeName(info.dir().filePath(u"."_s + info.fileName() + NameInfix.toString() + u"XXXXXX"_s));
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    m_lock = fd;
    m_temporary = QFile::decodeName(pattern);
    // mkostemp makes it 0600 already; say so in case that ever changes.
    const bool owned = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (!owned || !EngineConnection::initialise(m_temporary, key))
        discard();
}

PendingFile::~PendingFile()
{
    discard();
    unlock();
}

void PendingFile::discard()
{
    if (m_temporary.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(m_temporary);
    ::unlink(path.constData());
    ::unlink(journalOf(path).constData());
    m_temporary.clear();
    unlock();
}

void PendingFile::unlock()
{
    // Closing any descriptor of a file drops the engine's own locks on it too, so this waits until every
    // connection to the file is closed (commit() requires that; the creators close theirs before dropping us).
    if (m_lock >= 0)
        ::close(m_lock);
    m_lock = -1;
}

bool PendingFile::commit()
{
    if (m_temporary.isEmpty())
        return false;
    const QByteArray from = QFile::encodeName(m_temporary);
    const QByteArray to = QFile::encodeName(m_target);
    if (!syncPath(from, O_RDONLY))
        return false;
    // A journal of an earlier database of that name that is gone would be taken for the new file's own and
    // rolled back into it, overwriting its pages with the old ones.
    if (!existsInAnyForm(to))
        ::unlink(journalOf(to).constData());
    if (!moveWithoutReplacing(from, to))
        return false;
    m_temporary.clear();
    unlock();
    // The new name must be on the disk as well as the contents.
    syncPath(QFile::encodeName(QFileInfo(m_target).path()), O_RDONLY | O_DIRECTORY);
    return true;
}

} // namespace ovelta
