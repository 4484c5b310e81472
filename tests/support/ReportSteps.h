#pragma once

// Drives the modal people and statistics windows while the code that opens them runs its nested loops.

#include "windows/common/ReportWindow.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace ovelta::test {

/// One script per window: it runs once on the open and visible window with that id, from inside the window's
/// own loop, and the window is closed after it (unless the script closed it), so a failing check cannot hang
/// the test. A script may open further windows; their scripts run inside it.
struct ReportStep
{
    QString id;
    std::function<void(ReportWindow&)> script;
    bool ran = false;
};

inline void runWithWindows(QList<ReportStep>& steps, const std::function<void()>& opener)
{
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, &timer, [&steps] {
        for (ReportStep& step : steps) {
            if (step.ran)
                continue;
            ReportWindow* window = ReportWindow::findOpen(step.id);
            if (window == nullptr || !window->isVisible())
                continue;
            step.ran = true;
            QPointer<ReportWindow> guard(window);
            if (step.script)
                step.script(*window);
            if (guard)
                guard->close();
            return;
        }
    });
    timer.start();
    opener();
    timer.stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

/// Runs opener with one script on the window of that id; true when the window was open and the script ran.
inline bool whileOpen(const QString& id, const std::function<void()>& opener,
                      const std::function<void(ReportWindow&)>& script = {})
{
    QList<ReportStep> steps{{id, script}};
    runWithWindows(steps, opener);
    return steps.first().ran;
}

} // namespace ovelta::test
