#include "ProcessBench.h"

#include "BenchStats.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta::bench {

namespace {

QTemporaryDir& runtimeFolder()
{
    static QTemporaryDir folder;
    return folder;
}

/// The window's _NET_WM_PID, or -1.
qint64 windowPid(Display* display, Window window)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    qint64 pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data)
            == Success
        && data != nullptr && items == 1 && format == 32)
        pid = qint64(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

QString windowTitle(Display* display, Window window)
{
    const Atom nameAtom = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    QString title;
    if (XGetWindowProperty(display, window, nameAtom, 0, 1024, False, utf8, &type, &format, &items, &after, &data)
            == Success
        && data != nullptr && format == 8)
        title = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(items));
    if (data)
        XFree(data);
    return title;
}

/// A window of the program may be gone by the time its properties are asked for; that is no reason to end the
/// benchmark, which is what Xlib's own handler does.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

ProcessBench::ProcessBench()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        m_error = u"no pipe for Xvfb"_s;
        return;
    }
    m_server = std::make_unique<QProcess>();
    m_server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Xvfb writes the number of the display it picked to the pipe once it accepts clients.
    const int writeEnd = fds[1];
    m_server->setChildProcessModifier([writeEnd] { ::fcntl(writeEnd, F_SETFD, 0); });
    m_server->start(
        u"Xvfb"_s,
        {u"-displayfd"_s, QString::number(writeEnd), u"-screen"_s, u"0"_s, u"1024x768x24"_s, u"-nolisten"_s, u"tcp"_s});
    ::close(writeEnd);
    QByteArray number;
    if (m_server->waitForStarted(10000)) {
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number.append(c);
    }
    ::close(fds[0]);
    if (number.isEmpty()) {
        m_error = u"Xvfb did not start"_s;
        return;
    }
    m_displayName = u":"_s + QString::fromLatin1(number);
    m_display = XOpenDisplay(m_displayName.toLatin1().constData());
    if (!m_display) {
        m_error = u"cannot open the display of Xvfb"_s;
        return;
    }
    XSetErrorHandler(ignoreErrors);
    int damageError = 0;
    if (!XDamageQueryExtension(m_display, &m_damageEvent, &damageError)) {
        m_error = u"Xvfb has no DAMAGE extension"_s;
        XCloseDisplay(m_display);
        m_display = nullptr;
        return;
    }
    m_damageEvent += XDamageNotify;
    const Window root = DefaultRootWindow(m_display);
    XSelectInput(m_display, root, SubstructureNotifyMask);
    // Damage of the root window is every drawing on the screen, into any window (there is no compositor): one
    // object from the start, so that no first paint of a window can come before its watch. Each drawing is
    // reported as it happens, with the rectangle it covered.
    XDamageCreate(m_display, root, XDamageReportRawRectangles);
    XFlush(m_display);
    m_runtimeDir = runtimeFolder().path();
    startSessionBus();
}

bool ProcessBench::startSessionBus()
{
    m_bus = std::make_unique<QProcess>();
    m_bus->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The bus prints its address on its first line once it accepts clients.
    m_bus->start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--nopidfile"_s, u"--print-address"_s});
    if (!m_bus->waitForStarted(10000))
        return false;
    QByteArray address;
    while (!address.contains('\n') && m_bus->waitForReadyRead(10000))
        address += m_bus->readAll();
    m_busAddress = QString::fromLatin1(address.left(address.indexOf('\n')).trimmed());
    return hasSessionBus();
}

ProcessBench::~ProcessBench()
{
    if (m_display)
        XCloseDisplay(m_display);
    if (m_bus && m_bus->state() == QProcess::Running) {
        m_bus->terminate();
        m_bus->waitForFinished(5000);
    }
    if (m_server && m_server->state() == QProcess::Running) {
        m_server->terminate();
        if (!m_server->waitForFinished(5000))
            m_server->kill();
        m_server->waitForFinished(5000);
    }
}

bool ProcessBench::nextEvent(XEvent& event, const QDeadlineTimer& deadline)
{
    while (XPending(m_display) == 0) {
        if (deadline.hasExpired())
            return false;
        pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
        ::poll(&fd, 1, int(std::max<qint64>(1, deadline.remainingTime())));
    }
    XNextEvent(m_display, &event);
    return true;
}

unsigned long ProcessBench::waitForMappedWindow(qint64 pid, const QString& title, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    XEvent event;
    while (nextEvent(event, deadline)) {
        if (event.type != MapNotify)
            continue;
        const Window window = event.xmap.window;
        if (windowPid(m_display, window) == pid && windowTitle(m_display, window) == title)
            return window;
    }
    return 0;
}

bool ProcessBench::waitForPainted(unsigned long window, int timeoutMs)
{
    // The program's windows have no background of their own (the toolkit paints all of them), so the server
    // draws nothing into a window when it maps it: the first damage over the window after its map is the
    // program's first paint of it, put on the screen whole. The damage reported while the properties and the
    // place were asked for waits in the queue.
    XWindowAttributes place{};
    if (!XGetWindowAttributes(m_display, window, &place))
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    XEvent event;
    while (nextEvent(event, deadline)) {
        if (event.type != m_damageEvent)
            continue;
        const XRectangle& area = reinterpret_cast<const XDamageNotifyEvent&>(event).area;
        if (area.x < place.x + place.width && place.x < area.x + area.width && area.y < place.y + place.height
            && place.y < area.y + area.height)
            return true;
    }
    return false;
}

bool ProcessBench::xdotool(const QStringList& arguments)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_displayName);
    p.setProcessEnvironment(env);
    p.start(u"xdotool"_s, arguments);
    return p.waitForFinished(10000) && p.exitCode() == 0;
}

std::optional<ProcessBench::Start> ProcessBench::run(const QString& folder)
{
    if (!isValid())
        return std::nullopt;
    // Map notifications of earlier runs are of no interest.
    XSync(m_display, True);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_displayName);
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, m_runtimeDir);
    if (hasSessionBus())
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_busAddress);
    else
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder);
    program.setProcessChannelMode(QProcess::ForwardedChannels);

    Start start;
    QElapsedTimer timer;
    timer.start();
    program.start(QDir(folder).filePath(u"ovelta"_s), {});
    if (!program.waitForStarted(10000)) {
        m_error = u"the program did not start: "_s + program.errorString();
        return std::nullopt;
    }
    const unsigned long login = waitForMappedWindow(program.processId(), u"Ovelta"_s, 20000);
    bool ok = login != 0 && waitForPainted(login, 20000);
    start.toLogin = millisecondsSince(timer);
    if (!ok)
        m_error = u"no login window painted"_s;

    if (ok) {
        const QString id = QString::number(login);
        ok = xdotool({u"windowfocus"_s, u"--sync"_s, id}) && xdotool({u"type"_s, u"--delay"_s, u"5"_s, u"kelpo"_s});
        // The typed keys are in the server's queue ahead of Enter; the timing starts with sending Enter. The main
        // window is mapped once the login has closed and the grid holds its rows (the ledger is read before the
        // window is shown), so its first paint shows the grid with the ledger's first rows.
        timer.start();
        ok = ok && xdotool({u"key"_s, u"Return"_s});
        const unsigned long main = ok ? waitForMappedWindow(program.processId(), u"Ovelta"_s, 60000) : 0;
        ok = main != 0 && waitForPainted(main, 60000);
        start.loginToGrid = millisecondsSince(timer);
        if (!ok)
            m_error = u"no main window painted after the login"_s;
    }
    ::kill(pid_t(program.processId()), SIGKILL);
    program.waitForFinished(10000);
    if (!ok)
        return std::nullopt;
    return start;
}

} // namespace ovelta::bench
