#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <memory>
#include <optional>

struct _XDisplay;
union _XEvent;

namespace ovelta::bench {

/// The real program as a user starts it: a copy of the built binary in a folder of its own beside its ledger
/// file, on a private X server (Xvfb), with a session message bus of its own as a desktop session has one
/// (without one, the toolkit's accessibility support spends its start trying to launch a bus). Windows are seen the
/// moment the server maps them, and painted the moment the program draws into them: this process listens to the root
/// window's map notifications and to the damage (X DAMAGE extension) of the whole screen itself, with no polling in
/// between.
class ProcessBench
{
public:
    struct Start
    {
        double toLogin = -1; ///< from starting the process to the login window painted
        double loginToGrid = -1; ///< from sending the Enter key on the login button to the main window painted
    };

    ProcessBench();
    ~ProcessBench();
    ProcessBench(const ProcessBench&) = delete;
    ProcessBench& operator=(const ProcessBench&) = delete;

    bool isValid() const { return m_display != nullptr; }
    /// True when the program runs with a session bus (dbus-daemon is installed).
    bool hasSessionBus() const { return !m_busAddress.isEmpty(); }
    QString error() const { return m_error; }

    /// Starts the program in folder (which holds the program copy "ovelta" and its "lgbk.xc"), logs in as admin
    /// and ends the process once the main window is painted. Nothing on failure (see error()).
    std::optional<Start> run(const QString& folder);

private:
    /// The next event within the deadline; false when none came.
    bool nextEvent(_XEvent& event, const QDeadlineTimer& deadline);
    /// The first window of process pid titled title that is mapped within timeoutMs; 0 when none.
    unsigned long waitForMappedWindow(qint64 pid, const QString& title, int timeoutMs);
    /// Waits for the first drawing into the mapped window from now on; false when none came within timeoutMs.
    bool waitForPainted(unsigned long window, int timeoutMs);
    bool xdotool(const QStringList& arguments);

    /// Starts a private session bus; false (and no bus) when dbus-daemon is missing or does not start.
    bool startSessionBus();

    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_bus;
    QString m_busAddress;
    QString m_displayName;
    ::_XDisplay* m_display = nullptr;
    int m_damageEvent = -1; ///< the event code of the damage notifications
    QString m_runtimeDir;
    QString m_error;
};

} // namespace ovelta::bench
