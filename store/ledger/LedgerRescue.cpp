#include "store/ledger/LedgerRescue.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta::LedgerRescue {

namespace {

QString systemError()
{
    return systemErrorText(errno);
}

bool exists(const QByteArray& path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

/// Copies the regular file from into a new file to (mode 0600, never replacing one), flushed to the disk.
Done copyFile(const QByteArray& from, const QByteArray& to)
{
    const int in = ::open(from.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (in < 0 || ::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        const Failure failure(Problem::FileUnreadable, {QFile::decodeName(from), systemError()});
        if (in >= 0)
            ::close(in);
        return failure;
    }
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = out >= 0;
    char buffer[1 << 16];
    for (ssize_t n = 0; ok && (n = ::read(in, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        for (ssize_t written = 0; ok && written < n;) {
            const ssize_t w = ::write(out, buffer + written, size_t(n - written));
            ok = w > 0 || (w < 0 && errno == EINTR);
            written += w > 0 ? w : 0;
        }
    }
    ok = ok && ::fsync(out) == 0;
    QString cause = ok ? QString() : systemError();
    ::close(in);
    if (out >= 0 && ::close(out) != 0 && ok) {
        ok = false;
        cause = systemError();
    }
    if (ok)
        return {};
    if (out >= 0)
        ::unlink(to.constData());
    return Failure(Problem::FileUnwritable, {QFile::decodeName(to), cause});
}

void flushFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString asideName(const QDateTime& when)
{
    return u"lgbk-损坏-"_s + when.toString(u"yyyyMMdd-HHmmss"_s) + u".xc"_s;
}

Result<QString> replaceWithBackup(const QString& ledgerPath, const QString& backupPath, const QDateTime& when)
{
    // Native names throughout: the ledger's folder may be named in bytes that are not UTF-8, and a relative
    // ledger path then resolves in it as it stands.
    const QByteArray ledger = QFile::encodeName(ledgerPath);
    const qsizetype slash = ledger.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : ledger.left(slash));
    const QByteArray prefix = slash < 0 ? QByteArray() : ledger.left(slash + 1);

    QByteArray kept = prefix + QFile::encodeName(asideName(when));
    for (int n = 2; exists(kept); ++n)
        kept = prefix + QFile::encodeName(asideName(when).chopped(3) + u"-%1.xc"_s.arg(n));
    if (const Done copied = copyFile(ledger, kept); !copied)
        return copied.failure();
    const QByteArray incoming = ledger + ".restoring";
    ::unlink(incoming.constData()); // a leftover of a restore cut off before its rename
    if (const Done copied = copyFile(QFile::encodeName(backupPath), incoming); !copied) {
        ::unlink(kept.constData());
        return copied.failure();
    }
    flushFolder(folder);
    // A journal beside the damaged file belongs to it, never to the copy that takes its place.
    const QByteArray journal = ledger + "-journal";
    if (exists(journal) && ::rename(journal.constData(), (kept + "-journal").constData()) != 0) {
        const Failure failure(Problem::JournalNotMoved, {QFile::decodeName(journal), systemError()});
        ::unlink(incoming.constData());
        ::unlink(kept.constData());
        return failure;
    }
    if (::rename(incoming.constData(), ledger.constData()) != 0) {
        const Failure failure(Problem::LedgerNotReplaced, {systemError()});
        ::unlink(incoming.constData());
        return failure;
    }
    flushFolder(folder);
    return QFile::decodeName(kept);
}

} // namespace ovelta::LedgerRescue
