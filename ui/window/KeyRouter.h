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
/// Qt's own handling of each of these keys differs from what the windows do, which is why each is routed here:
/// - Tab and Shift+Tab: the focus chain has the windows' order (buildControls() sets it), but a date picker
///   takes Tab itself to step through its year, month and day before it lets the focus go.
/// - Enter: Qt presses a default button that does not have the focus only inside a QDialog; these windows are
///   plain widgets.
/// - Esc: likewise, only a QDialog closes on Esc.
/// - Alt mnemonics: Qt's mnemonic shortcut clicks a button with a delay (it shows the button down and clicks
///   about 100 ms later, from a timer), and only moves the focus when two buttons share the letter; here the
///   first such button in table order is clicked at once.
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
