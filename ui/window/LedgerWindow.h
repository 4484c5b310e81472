#pragma once

#include "ui/base/WindowDef.h"

#include <QList>
#include <QPair>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QComboBox;
class QDateTimeEdit;
class QEventLoop;
class QMenuBar;

namespace ovelta {

/// A top-level window built from its layout data, with the behaviour every window shares: centred start,
/// fixed size, tab sequence from the tab keys, Enter clicks the default button, Esc closes where the layout
/// says so, modal opening with a nested loop, and closing by the program after the running handler returns.
///
/// Subclasses wire their handlers in their constructor (controls exist by then) and put the creation
/// handler in created(), which runs once before the window is first shown.
class LedgerWindow : public QWidget
{
    Q_OBJECT
public:
    /// When the controls are built: with the window, or later, by the window's own created() calling
    /// buildControls() before the window is first shown. A window that stays hidden for a while, such as the main
    /// window during the login, can leave that work until it is needed.
    enum class Build { Now, Later };

    explicit LedgerWindow(const WindowDef& def, QWidget* parent = nullptr, Build build = Build::Now);
    ~LedgerWindow() override;

    const WindowDef& def() const { return m_def; }

    /// The menu bar of a window whose layout asks for one, built with the controls; else nullptr.
    QMenuBar* menuBar() const { return m_menuBar; }
    /// The widget the controls are built in: the area below the menu bar, or the window itself without one.
    QWidget* clientArea() const;
    /// Places the menu bar at its height for the menus it holds now, the client area below it, and fixes the
    /// window's size to both; call after filling the bar.
    void fitMenuBar();

    /// The control of that name; aborts the test or program with "no control NAME in CAPTION" when missing.
    /// The windows' own code reaches its controls through their typed sets (Controls.h), which are filled
    /// with this; tests and benchmarks find controls by name with it.
    QWidget* control(const QString& name) const;
    template <typename T> T* control(const QString& name) const { return qobject_cast<T*>(control(name)); }

    /// Text of an edit box (single or multi-line), label, button or check box; the shown text of a combo box.
    QString text(const QString& name) const;
    void setText(const QString& name, const QString& text);
    void focus(const QString& name);
    /// Focuses the control, which also becomes the one the window gives the focus back to when activated.
    void focus(QWidget* control);

    /// Visible and enabled tab stops, in Tab order (ascending tab key; equal keys in reverse table order).
    QList<QWidget*> tabSequence() const;

    /// Opens this window modally: fires created(), shows it, disables the other windows and returns once the
    /// window has been destroyed. Takes ownership (the window deletes itself when it closes), so the window must
    /// have been created with new. A parent named at construction has no effect on a modal window.
    ///
    /// When a window with the same id is open already, that one is restored and raised instead and this one is
    /// discarded without firing created(). When the created handler requests a close, the window is destroyed
    /// without being shown. Returns at once when the program has ended.
    void openModal();
    /// Opens this window without a modal loop (the main window): fires created() and shows it. The window
    /// deletes itself when it closes, as with openModal().
    void openModeless();

    /// If a window with this id is open, restores and raises it and returns true.
    static bool bringToFrontIfOpen(const QString& id);
    /// The opened window with this id whose close is not under way, or nullptr.
    static LedgerWindow* findOpen(const QString& id);
    /// Restores the window when minimised, raises and activates it.
    void bringToFront();

    /// When the program ends under a test end handler: every open window is hidden and destroyed later and
    /// every modal loop is left, without running any window handler.
    static void abandonAll();

    /// Close by the program: the window is destroyed after the running handler returns; the close query does
    /// not run, aboutToBeDestroyed() does.
    void requestClose();
    bool closeRequested() const { return m_stage == Stage::CloseRequested; }

Q_SIGNALS:
    void destroying();

protected:
    /// Runs once before the window is first shown; the controls exist by then, unless the window builds them here.
    virtual void created() { }
    /// Builds the controls from the layout data (below the menu bar, when the layout asks for one) and sets their
    /// tab order, once; does nothing when they exist.
    void buildControls();
    bool controlsBuilt() const { return m_controlsBuilt; }
    /// A close asked for by the user (close box, Alt+F4, Esc where it closes). False keeps the window open.
    virtual bool closeQuery() { return true; }
    /// Runs while the window is being destroyed, however the close came about.
    virtual void aboutToBeDestroyed() { }

    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    friend class KeyRouter;
    /// Enter: the focused default button, else the first visible and enabled default button in table order.
    void pressEnter();
    /// Esc: closes as the close box would, where the layout says Esc closes.
    void pressEsc();
    /// Tab and Shift+Tab: the next or previous control of the tab sequence, wrapping at both ends.
    void moveFocus(bool forward);
    /// The visible and enabled button or check box whose caption has "&" before that letter or digit.
    QAbstractButton* mnemonicTarget(QChar key) const;
    /// The control of this window's table that is, or contains, the widget; nullptr for none.
    QWidget* controlOwning(QWidget* widget) const;
    void noteFocus(QWidget* widget);
    void focusOnActivation();

    QList<QWidget*> orderedTabStops(bool usableOnly) const;
    bool begin();
    void finishClose();
    void discard();
    void destroyNow();
    void disableOthers();
    void restoreOthers();

    /// Where the window is in its life. The stage only moves on, though not every window passes every stage: one
    /// closed before it was shown skips Shown, one discarded without being opened goes from Built to Destroyed.
    enum class Stage {
        Built, ///< constructed and not opened
        Opened, ///< owns itself, and created() runs or has run; not shown yet
        Shown, ///< shown since it was opened
        Closing, ///< the user's close was allowed; destroyed when the event loop gets back
        CloseRequested, ///< closed by the program, perhaps after a user's close; destroyed after the handler returns
        Destroyed, ///< aboutToBeDestroyed() and destroying() have run, or it was discarded; deletion follows
    };
    /// Opened, and no close under way.
    bool isOpen() const { return m_stage == Stage::Opened || m_stage == Stage::Shown; }
    bool closeUnderWay() const { return m_stage == Stage::Closing || m_stage == Stage::CloseRequested; }

    WindowDef m_def;
    QMenuBar* m_menuBar = nullptr;
    QWidget* m_client = nullptr;
    Stage m_stage = Stage::Built;
    /// Not a stage: the controls are built while the window is Built (Build::Now) or Opened (Build::Later).
    bool m_controlsBuilt = false;
    /// Not a stage: the program ended under a test's end handler, at whatever stage the window was. The stage
    /// still moves on to Destroyed, but none of the window's handlers runs any more.
    bool m_abandoned = false;
    QEventLoop* m_loop = nullptr;
    QPointer<QWidget> m_lastFocus;
    QPointer<QWidget> m_previousActive;
    QList<QPair<QPointer<LedgerWindow>, bool>> m_disabledOthers;
    QPoint m_dragOffset;
    bool m_dragging = false;
};

} // namespace ovelta
