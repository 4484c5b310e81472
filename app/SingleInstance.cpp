#include "app/SingleInstance.h"

#include "store/ledger/LedgerFile.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// The descriptor that holds the lock on the ledger file, with the file's identity.
struct HeldFile
{
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
};

HeldFile& heldFile()
{
    static HeldFile held;
    return held;
}

SingleInstance::Outcome lockDescriptor(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return SingleInstance::Outcome::First;
    return errno == EWOULDBLOCK ? SingleInstance::Outcome::AlreadyRunning : SingleInstance::Outcome::Unavailable;
}

void refuseSecondCopy()
{
    MessageBox::show(u"程序已经运行,请不要重复运行!"_s, u"信息提示"_s, MessageBox::OkOnly, MessageBox::Information);
    Program::end(0);
}

} // namespace

SingleInstance::Outcome SingleInstance::acquire(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Outcome::Unavailable;
    const Outcome outcome = lockDescriptor(fd);
    if (outcome != Outcome::First)
        ::close(fd); // otherwise the descriptor stays open, and the lock held, until the process ends
    return outcome;
}

SingleInstance::Outcome SingleInstance::acquireFile(const QByteArray& path)
{
    // Never blocks: a named pipe of the ledger's name opens at once without a writer and is then refused.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Outcome::Unavailable;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Outcome::Unavailable;
    }
    HeldFile& held = heldFile();
    if (held.fd >= 0 && held.device == info.st_dev && held.inode == info.st_ino) {
        // Held already. Closing this second descriptor would drop the engine's own record locks on the file too,
        // so it stays open with the first.
        return Outcome::First;
    }
    const Outcome outcome = lockDescriptor(fd);
    if (outcome != Outcome::First) {
        ::close(fd);
        return outcome;
    }
    // The file held before was replaced by this one; its descriptor holds nothing worth keeping.
    if (held.fd >= 0)
        ::close(held.fd);
    held = HeldFile{fd, info.st_dev, info.st_ino};
    return outcome;
}

void SingleInstance::check()
{
    if (acquire(QByteArrayLiteral(".")) == Outcome::AlreadyRunning) {
        refuseSecondCopy();
        return;
    }
    lockLedgerFile();
}

void SingleInstance::lockLedgerFile()
{
    if (acquireFile(QFile::encodeName(LedgerFile::name())) == Outcome::AlreadyRunning)
        refuseSecondCopy();
}

} // namespace ovelta
