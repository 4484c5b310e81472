#include "PendingFile.h"

#include "EngineConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

} // namespace

PendingFile::PendingFile(const QString& target, const QString& key)
    : m_target(target)
{
    const QByteArray targetPath = QFile::encodeName(target);
    if (target.isEmpty() || existsInAnyForm(targetPath))
        return;
    const QFileInfo info(target);
    QByteArray pattern = QFile::encodeName(info.dir().filePath(u"."_s + info.fileName() + u".new-XXXXXX"_s));
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    // mkostemp makes it 0600 already; say so in case that ever changes.
    const bool owned = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    ::close(fd);
    m_temporary = QFile::decodeName(pattern);
    if (!owned || !EngineConnection::initialise(m_temporary, key))
        discard();
}

PendingFile::~PendingFile()
{
    discard();
}

void PendingFile::discard()
{
    if (m_temporary.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(m_temporary);
    ::unlink(path.constData());
    ::unlink((path + "-journal").constData());
    m_temporary.clear();
}

bool PendingFile::commit()
{
    if (m_temporary.isEmpty())
        return false;
    const QByteArray from = QFile::encodeName(m_temporary);
    const QByteArray to = QFile::encodeName(m_target);
    if (!syncPath(from, O_RDONLY) || !moveWithoutReplacing(from, to))
        return false;
    m_temporary.clear();
    // The new name must be on the disk as well as the contents.
    syncPath(QFile::encodeName(QFileInfo(m_target).absolutePath()), O_RDONLY | O_DIRECTORY);
    return true;
}

} // namespace ovelta
