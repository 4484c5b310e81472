#pragma once

// Drives the modal windows of one kind while the code that opens them runs its nested loops.

#include "GuiSupport.h"
#include "ui/window/LedgerWindow.h"

#include <QPointer>
#include <QTimer>
#include <functional>

namespace ovelta::test {

/// Runs steps on the open window with a given id while opener() runs: on each turn of the event loop the next
/// step gets the window of that id that is open at that moment (windows already asked to close are skipped).
/// A window still open after the last step is closed by the program and counted in leftOpen, so a test that
/// goes wrong fails instead of hanging.
class ModalSteps
{
public:
    using Step = std::function<void(LedgerWindow*)>;

    ModalSteps(QString id, QList<Step> steps)
        : m_id(std::move(id))
        , m_steps(std::move(steps))
    {
    }

    void run(const std::function<void()>& opener)
    {
        QTimer timer;
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { tick(); });
        timer.start();
        opener();
        timer.stop();
    }

    int stepsRun = 0;
    int leftOpen = 0;
    int windowsSeen = 0;

private:
    void tick()
    {
        auto* window = qobject_cast<LedgerWindow*>(visibleWindow(m_id));
        if (window == nullptr || window->closeRequested())
            return;
        if (window != m_last) {
            ++windowsSeen;
            m_last = window;
        }
        if (stepsRun < m_steps.size()) {
            m_steps[stepsRun++](window);
        } else {
            ++leftOpen;
            window->requestClose();
        }
    }

    QString m_id;
    QList<Step> m_steps;
    QPointer<LedgerWindow> m_last;
};

} // namespace ovelta::test
