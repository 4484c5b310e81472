#include "app/SingleInstance.h"

#include "ui/MessageBox.h"
#include "ui/Program.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta {

SingleInstance::Outcome SingleInstance::acquire(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Outcome::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return Outcome::First; // the descriptor stays open, and the lock held, until the process ends
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? Outcome::AlreadyRunning : Outcome::Unavailable;
}

void SingleInstance::check()
{
    if (acquire(QByteArrayLiteral(".")) != Outcome::AlreadyRunning)
        return;
    MessageBox::show(u"程序已经运行,请不要重复运行!"_s, u"信息提示"_s, MessageBox::OkOnly, MessageBox::Information);
    Program::end(0);
}

} // namespace ovelta
