#include "ui/window/KeyRouter.h"

#include "ui/base/Program.h"
#include "ui/window/LedgerWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>

namespace ovelta {

namespace {

QPointer<KeyRouter>& installed()
{
    static QPointer<KeyRouter> router;
    return router;
}

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

/// The letter or digit of an Alt mnemonic key, or a null character.
QChar mnemonicKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (!(mods & Qt::AltModifier) || (mods & (Qt::ControlModifier | Qt::MetaModifier)))
        return {};
    const int key = event->key();
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return QChar(key);
    return {};
}

} // namespace

KeyRouter::KeyRouter(QObject* parent)
    : QObject(parent)
{
}

void KeyRouter::install()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || !installed().isNull())
        return;
    installed() = new KeyRouter(app);
    app->installEventFilter(installed());
}

LedgerWindow* KeyRouter::windowOf(QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr)
        return nullptr;
    return qobject_cast<LedgerWindow*>(widget->window());
}

KeyRouter::Route KeyRouter::routeFor(LedgerWindow* window, const QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool plain = !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    switch (event->key()) {
    case Qt::Key_Tab:
        if (plain)
            return (mods & Qt::ShiftModifier) ? Route::Previous : Route::Next;
        return Route::None;
    case Qt::Key_Backtab:
        return plain ? Route::Previous : Route::None;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (!plain)
            return Route::None;
        // An editable multi-line box takes the Enter as a line break.
        auto* text = qobject_cast<QPlainTextEdit*>(QApplication::focusWidget());
        if (text != nullptr && !text->isReadOnly() && window->isAncestorOf(text))
            return Route::None;
        return Route::Enter;
    }
    case Qt::Key_Escape:
        return mods == Qt::NoModifier ? Route::Escape : Route::None;
    default:
        break;
    }
    const QChar key = mnemonicKey(event);
    if (!key.isNull() && window->mnemonicTarget(key) != nullptr)
        return Route::Mnemonic;
    return Route::None;
}

void KeyRouter::dispatch(LedgerWindow* window, Route route, const QKeyEvent* event)
{
    switch (route) {
    case Route::Next:
        window->moveFocus(true);
        break;
    case Route::Previous:
        window->moveFocus(false);
        break;
    case Route::Enter:
        window->pressEnter();
        break;
    case Route::Escape:
        window->pressEsc();
        break;
    case Route::Mnemonic:
        if (QAbstractButton* button = window->mnemonicTarget(mnemonicKey(event)))
            button->click();
        break;
    case Route::None:
        break;
    }
}

bool KeyRouter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride && type != QEvent::FocusIn
        && !(Program::hasEnded() && isInput(type)))
        return QObject::eventFilter(watched, event);

    LedgerWindow* window = windowOf(watched);
    if (window == nullptr)
        return QObject::eventFilter(watched, event);
    if (Program::hasEnded()) {
        if (isInput(type)) {
            event->accept();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
    if (type == QEvent::FocusIn) {
        window->noteFocus(qobject_cast<QWidget*>(watched));
        return QObject::eventFilter(watched, event);
    }
    // An open drop-down list, calendar or menu keeps its own keys, and so does a menu bar the user is moving
    // along with the keyboard.
    if (QApplication::activePopupWidget() != nullptr || qobject_cast<QMenuBar*>(QApplication::focusWidget()) != nullptr)
        return QObject::eventFilter(watched, event);

    auto* key = static_cast<QKeyEvent*>(event);
    const Route route = routeFor(window, key);
    if (route == Route::None)
        return QObject::eventFilter(watched, event);
    // Claiming the override keeps Qt's own shortcuts (button mnemonics) from acting; the key press follows.
    event->accept();
    if (type == QEvent::KeyPress)
        dispatch(window, route, key);
    return true;
}

} // namespace ovelta
