#include "app/SingleInstance.h"

#include "ui/MessageBox.h"
#include "ui/Program.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta {

QString SingleInstance::markerName()
{
    return u"MySemaphoreName"_s;
}

QString SingleInstance::markerPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return QDir(runtime).filePath(markerName());
    return QDir(QDir::tempPath()).filePath(markerName() + u'-' + QString::number(::getuid()));
}

SingleInstance::Outcome SingleInstance::acquire()
{
    const QByteArray path = QFile::encodeName(markerPath());
    // O_NOFOLLOW: in a shared temporary folder someone else's link must not redirect us.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
    if (acquire() != Outcome::AlreadyRunning)
        return;
    MessageBox::show(u"程序已经运行,请不要重复运行!"_s, u"信息提示"_s, MessageBox::OkOnly, MessageBox::Information);
    Program::end(0);
}

} // namespace ovelta
