#pragma once

#include <QObject>

class QKeyEvent;

namespace ovelta {

class LedgerWindow;

/// Routes the keys every window shares (Tab and Shift+Tab, Enter, Esc, Alt mnemonics) to the window whose
/// control has the focus, whichever child widget that is (a combo box's or date picker's inner editor too).
/// It watches the whole application, so that no control can swallow these keys first; keys go on untouched
/// while a popup (an open drop-down list, calendar or menu) is up or a menu bar holds the focus, and in windows
/// that are not LedgerWindows.
///
/// After the program has ended, no input reaches any LedgerWindow, so no handler runs.
class KeyRouter : public QObject
{
    Q_OBJECT
public:
    /// Installs the one router on the application; later calls do nothing.
    static void install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Route { None, Next, Previous, Enter, Escape, Mnemonic };

    explicit KeyRouter(QObject* parent);
    static LedgerWindow* windowOf(QObject* object);
    static Route routeFor(LedgerWindow* window, const QKeyEvent* event);
    static void dispatch(LedgerWindow* window, Route route, const QKeyEvent* event);
};

} // namespace ovelta
