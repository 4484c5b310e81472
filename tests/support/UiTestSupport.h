#pragma once

// Helpers shared by the toolkit's window tests: opening plain catalogue windows and reading where the focus is.

#include "ui/window/Catalogue.h"
#include "ui/window/LedgerWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QTest>

namespace ovelta::test {

inline const WindowDef& defById(const QString& id)
{
    for (const WindowDef* def : Catalogue::all()) {
        if (def->id == id)
            return *def;
    }
    qFatal("no window %s in the catalogue", qUtf8Printable(id));
}

/// Opens a plain window of the catalogue without a modal loop and waits until it is the active window.
inline LedgerWindow* openWindow(const WindowDef& def)
{
    auto* window = new LedgerWindow(def);
    window->openModeless();
    if (!QTest::qWaitForWindowActive(window))
        qWarning("window %s did not become active", qUtf8Printable(def.id));
    return window;
}

/// Carries out pending closes, then deletes every window still there.
inline void destroyAllWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Deleting a window deletes its popups, which are top-level widgets too: collect the windows first.
    QList<QPointer<LedgerWindow>> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<LedgerWindow*>(w))
            windows.append(window);
    }
    for (const QPointer<LedgerWindow>& window : windows)
        delete window.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

/// Name of the window's control that holds the keyboard focus (itself or through an inner widget); empty for none.
inline QString focusedControl(const LedgerWindow* window)
{
    for (QWidget* w = QApplication::focusWidget(); w != nullptr && w != window; w = w->parentWidget()) {
        if (window->def().control(w->objectName()) != nullptr)
            return w->objectName();
    }
    return {};
}

inline QStringList namesOf(const QList<QWidget*>& widgets)
{
    QStringList names;
    for (const QWidget* w : widgets)
        names << w->objectName();
    return names;
}

} // namespace ovelta::test
