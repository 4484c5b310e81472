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

void setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool exists(const QByteArray& path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

/// Copies the regular file from into a new file to (mode 0600, never replacing one), flushed to the disk.
bool copyFile(const QByteArray& from, const QByteArray& to, QString* error)
{
    const int in = ::open(from.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (in < 0 || ::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        setError(error, u"无法读取文件“%1”：%2"_s.arg(QFile::decodeName(from), systemError()));
        if (in >= 0)
            ::close(in);
        return false;
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
    if (!ok)
        setError(error, u"无法写入文件“%1”：%2"_s.arg(QFile::decodeName(to), systemError()));
    ::close(in);
    if (out >= 0 && ::close(out) != 0 && ok) {
        ok = false;
        setError(error, u"无法写入文件“%1”：%2"_s.arg(QFile::decodeName(to), systemError()));
    }
    if (!ok && out >= 0)
        ::unlink(to.constData());
    return ok;
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

bool replaceWithBackup(const QString& ledgerPath, const QString& backupPath, const QDateTime& when, QString* aside,
                       QString* error)
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
    if (!copyFile(ledger, kept, error))
        return false;
    const QByteArray incoming = ledger + ".restoring";
    ::unlink(incoming.constData()); // a leftover of a restore cut off before its rename
    if (!copyFile(QFile::encodeName(backupPath), incoming, error)) {
        ::unlink(kept.constData());
        return false;
    }
    flushFolder(folder);
    // A journal beside the damaged file belongs to it, never to the copy that takes its place.
    const QByteArray journal = ledger + "-journal";
    if (exists(journal) && ::rename(journal.constData(), (kept + "-journal").constData()) != 0) {
        setError(error, u"无法移开日志文件“%1”：%2"_s.arg(QFile::decodeName(journal), systemError()));
        ::unlink(incoming.constData());
        ::unlink(kept.constData());
        return false;
    }
    if (::rename(incoming.constData(), ledger.constData()) != 0) {
        setError(error, u"无法替换账簿文件：%1"_s.arg(systemError()));
        ::unlink(incoming.constData());
        return false;
    }
    flushFolder(folder);
    if (aside)
        *aside = QFile::decodeName(kept);
    return true;
}

} // namespace ovelta::LedgerRescue
