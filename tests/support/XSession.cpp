#include "XSession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QSize>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta::test {

XSession::XSession()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        m_error = u"no pipe for Xvfb"_s;
        return;
    }
    m_server = std::make_unique<QProcess>();
    m_server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Xvfb writes the display number it picked to the pipe once it accepts clients.
    const int writeEnd = fds[1];
    m_server->setChildProcessModifier([writeEnd] { ::fcntl(writeEnd, F_SETFD, 0); });
    // -noreset: the server does not start over whenever its last client has gone, which a program started right
    // after the previous one ended could find it doing, and be refused.
    m_server->start(u"Xvfb"_s,
                    {u"-displayfd"_s, QString::number(writeEnd), u"-screen"_s, u"0"_s, u"1024x768x24"_s, u"-nolisten"_s,
                     u"tcp"_s, u"-noreset"_s});
    ::close(writeEnd);
    if (!m_server->waitForStarted(10000)) {
        m_error = u"Xvfb did not start: "_s + m_server->errorString();
        ::close(fds[0]);
        return;
    }
    QByteArray number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        number.append(c);
    ::close(fds[0]);
    if (number.isEmpty()) {
        m_error = u"Xvfb gave no display number"_s;
        return;
    }
    m_display = u":"_s + QString::fromLatin1(number);
}

XSession::~XSession()
{
    if (m_server && m_server->state() == QProcess::Running) {
        m_server->terminate();
        if (!m_server->waitForFinished(5000))
            m_server->kill();
        m_server->waitForFinished(5000);
    }
}

QString XSession::xdotool(const QStringList& arguments, int timeoutMs) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_display);
    p.setProcessEnvironment(env);
    p.start(u"xdotool"_s, arguments);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QStringList XSession::windowsOf(qint64 pid) const
{
    QStringList result;
    const QStringList ids
        = xdotool({u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid)}).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& id : ids)
        result << id + u' ' + windowTitle(id);
    return result;
}

QString XSession::waitForWindow(qint64 pid, const QString& title, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        for (const QString& line : windowsOf(pid)) {
            const qsizetype blank = line.indexOf(u' ');
            if (line.mid(blank + 1) == title)
                return line.left(blank);
        }
        QThread::msleep(100);
    }
    return {};
}

QString XSession::windowTitle(const QString& id) const
{
    return xdotool({u"getwindowname"_s, id});
}

QSize XSession::windowSize(const QString& id) const
{
    // "Geometry: 560x446" is the second line of the answer.
    const QString text = xdotool({u"getwindowgeometry"_s, id});
    const qsizetype at = text.indexOf(u"Geometry: "_s);
    if (at < 0)
        return {};
    const QStringList wh = text.mid(at + 10).section(u'\n', 0, 0).split(u'x');
    return wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
}

void XSession::pressKeys(const QString& windowId, const QStringList& keys) const
{
    xdotool({u"windowfocus"_s, u"--sync"_s, windowId});
    xdotool(QStringList{u"key"_s, u"--delay"_s, u"50"_s} + keys);
}

void XSession::typeText(const QString& windowId, const QString& text) const
{
    xdotool({u"windowfocus"_s, u"--sync"_s, windowId});
    xdotool({u"type"_s, u"--delay"_s, u"30"_s, text});
}

bool ProgramCopy::install(const QString& folder)
{
    const QString source = qEnvironmentVariable("OVELTA_BINARY");
    const QString target = binaryIn(folder);
    return !source.isEmpty() && QFile::copy(source, target)
        && QFile::setPermissions(target, QFile::permissions(source));
}

QString ProgramCopy::binaryIn(const QString& folder)
{
    return QDir(folder).filePath(u"ovelta"_s);
}

ProgramCopy::ProgramCopy(const XSession& x, const QString& folder, const QString& runtimeDir, const QString& workingDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, x.display());
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, runtimeDir);
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(workingDir.isEmpty() ? folder : workingDir);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(binaryIn(folder), {});
    m_process.waitForStarted(10000);
}

ProgramCopy::~ProgramCopy()
{
    kill();
}

bool ProgramCopy::waitForExit(int timeoutMs)
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(timeoutMs))
        return false;
    return m_process.exitStatus() == QProcess::NormalExit;
}

void ProgramCopy::kill()
{
    if (m_process.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(10000);
    }
}

QByteArray ProgramCopy::output()
{
    return m_process.readAll();
}

} // namespace ovelta::test
