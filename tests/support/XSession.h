#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace ovelta::test {

/// A private X server (Xvfb) for tests that run the real program, with xdotool to find its windows and type
/// into them as a person would.
class XSession
{
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    /// False when Xvfb could not be started (the reason is in error()).
    bool isValid() const { return !m_display.isEmpty(); }
    QString display() const { return m_display; }
    QString error() const { return m_error; }

    /// Runs xdotool with the arguments on this display; returns its standard output, trimmed.
    QString xdotool(const QStringList& arguments, int timeoutMs = 10000) const;
    /// Visible windows of a process whose title equals title exactly; waits up to timeoutMs for one.
    QString waitForWindow(qint64 pid, const QString& title, int timeoutMs = 20000) const;
    /// Visible windows of a process, as "id title" lines.
    QStringList windowsOf(qint64 pid) const;
    QString windowTitle(const QString& id) const;
    QSize windowSize(const QString& id) const;
    /// Gives the window the keyboard focus and presses the keys (xdotool key names, e.g. "Return").
    void pressKeys(const QString& windowId, const QStringList& keys) const;
    /// Gives the window the keyboard focus and types the text.
    void typeText(const QString& windowId, const QString& text) const;

private:
    std::unique_ptr<QProcess> m_server;
    QString m_display;
    QString m_error;
};

/// A copy of the built program in a folder of its own (so its database file lands there), started with a
/// private runtime folder.
class ProgramCopy
{
public:
    /// Copies the program named by $OVELTA_BINARY into folder.
    static bool install(const QString& folder);
    static QString binaryIn(const QString& folder);

    /// Starts the copy in folder with the session's display; workingDir defaults to folder.
    ProgramCopy(const XSession& x, const QString& folder, const QString& runtimeDir,
                const QString& workingDir = QString());
    ~ProgramCopy();

    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    /// Waits for the process to end; true when it ended normally within the time.
    bool waitForExit(int timeoutMs = 20000);
    int exitCode() const { return m_process.exitCode(); }
    void kill();
    QByteArray output();

private:
    QProcess m_process;
};

} // namespace ovelta::test
