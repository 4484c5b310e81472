#pragma once

#include "ui/base/WindowDef.h"
#include "ui/window/ModalWindow.h"

#include <QList>
#include <QPointer>

class QAbstractButton;
class QComboBox;
class QDateTimeEdit;
class QMenuBar;

namespace ovelta {

/// A top-level window built from its layout data, with the behaviour every window shares: centred start,
/// fixed size, tab sequence from the tab keys, Enter clicks the default button, Esc closes where the layout
/// says so, and the window manager's close only with a close box. Opening, modality and the close by the
/// program after the running handler returns come from ModalWindow.
///
/// Subclasses wire their handlers in their constructor (controls exist by then) and put the creation
/// handler in created(), which runs once before the window is first shown.
class LedgerWindow : public ModalWindow
{
    Q_OBJECT
public:
    /// When the controls are built: with the window, or later, by the window's own created() calling
    /// buildControls() before the window is first shown. A window that stays hidden for a while, such as the main
    /// window during the login, can leave that work until it is needed.
    enum class Build { Now, Later };

    explicit LedgerWindow(const WindowDef& def, QWidget* parent = nullptr, Build build = Build::Now);

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

    /// If a window with this id is open, restores and raises it and returns true.
    static bool bringToFrontIfOpen(const QString& id);
    /// The opened window with this id whose close is not under way, or nullptr.
    static LedgerWindow* findOpen(const QString& id);

protected:
    /// Builds the controls from the layout data (below the menu bar, when the layout asks for one) and sets their
    /// tab order, once; does nothing when they exist.
    void buildControls();
    bool controlsBuilt() const { return m_controlsBuilt; }
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

    WindowDef m_def;
    QMenuBar* m_menuBar = nullptr;
    QWidget* m_client = nullptr;
    /// Not a stage: the controls are built while the window is Built (Build::Now) or Opened (Build::Later).
    bool m_controlsBuilt = false;
    QPointer<QWidget> m_lastFocus;
    QPoint m_dragOffset;
    bool m_dragging = false;
};

} // namespace ovelta
