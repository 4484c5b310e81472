#pragma once

// Helpers for tests that drive windows. Header-only, so that tests that do not link the window toolkit can
// still link the test support library.

#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"
#include "ui/window/LedgerWindow.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace ovelta::test {

/// Runs action on the modal widget of type T with that object name as soon as it is open (from the loop its
/// exec() runs), then makes sure it is closed, so that a failing check cannot leave the test waiting.
template <typename T> void whenModal(QObject* context, const QString& name, std::function<void(T*)> action)
{
    QTimer::singleShot(0, context, [context, name, action] {
        auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
        if (widget == nullptr || widget->objectName() != name) {
            whenModal<T>(context, name, action);
            return;
        }
        action(widget);
        if (widget->isVisible())
            widget->reject();
    });
}

/// Records every message box instead of showing it; answers come from setNextAnswer() or the default button.
class BoxRecorder
{
public:
    BoxRecorder() { MessageBox::startRecording(); }
    ~BoxRecorder() { MessageBox::stopRecording(); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    void answer(MessageBox::Answer a) { MessageBox::setNextAnswer(a); }
    QList<MessageBox::Record> shown() const { return MessageBox::shown(); }
    MessageBox::Record last() const { return MessageBox::last(); }
    int count() const { return int(MessageBox::shown().size()); }
    QStringList texts() const
    {
        QStringList t;
        for (const auto& r : MessageBox::shown())
            t << r.text;
        return t;
    }
    void clear() { MessageBox::clearShown(); }
};

/// Catches the end routine: records the exit code instead of ending the test process.
class EndRecorder
{
public:
    EndRecorder()
    {
        Program::resetEnded();
        Program::setEndHandler([this](int code) {
            m_code = code;
            // Leave every nested loop the way the real end would leave the process.
            LedgerWindow::abandonAll();
        });
    }
    ~EndRecorder()
    {
        Program::setEndHandler({});
        Program::resetEnded();
    }
    EndRecorder(const EndRecorder&) = delete;
    EndRecorder& operator=(const EndRecorder&) = delete;

    bool ended() const { return Program::hasEnded(); }
    int code() const { return m_code; }

private:
    int m_code = -1;
};

/// The control of that name in a window, failing the test with a message that says what was missing.
template <typename T = QWidget> T* findControl(QWidget* window, const QString& name)
{
    T* w = window ? window->findChild<T*>(name) : nullptr;
    if (w == nullptr)
        qFatal("no control %s in %s", qUtf8Printable(name),
               qUtf8Printable(window ? window->windowTitle() : QStringLiteral("(no window)")));
    return w;
}

/// The top-level window with that object name or id that is currently visible, or nullptr.
inline QWidget* visibleWindow(const QString& objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->objectName() == objectName)
            return w;
    }
    return nullptr;
}

} // namespace ovelta::test
