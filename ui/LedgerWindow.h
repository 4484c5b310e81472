#pragma once

#include "ui/WindowSpec.h"

#include <QPointer>
#include <QWidget>

class QComboBox;
class QDateTimeEdit;

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
    explicit LedgerWindow(const WindowSpec& spec, QWidget* parent = nullptr);
    ~LedgerWindow() override;

    const WindowSpec& spec() const { return m_spec; }

    /// The control of that name; aborts the test or program with "no control NAME in CAPTION" when missing.
    QWidget* control(const QString& name) const;
    template <typename T> T* control(const QString& name) const { return qobject_cast<T*>(control(name)); }

    /// Text of an edit box (single or multi-line), label, button or check box; the shown text of a combo box.
    QString text(const QString& name) const;
    void setText(const QString& name, const QString& text);
    void focus(const QString& name);

    /// Visible and enabled tab stops, in Tab order (ascending tab key; equal keys in reverse table order).
    QList<QWidget*> tabSequence() const;

    /// Opens this window modally: fires created(), shows it, disables the other windows and returns once the
    /// window has been destroyed. Takes ownership (the window deletes itself when it closes).
    void openModal();
    /// Opens this window without a modal loop (the main window).
    void openModeless();

    /// If a window with this id is open, restores and raises it and returns true.
    static bool bringToFrontIfOpen(const QString& id);
    static LedgerWindow* findOpen(const QString& id);
    void bringToFront();

    /// When the program ends under a test end handler: every open window is hidden and destroyed later and
    /// every modal loop is left, without running any window handler.
    static void abandonAll();

    /// Close by the program: the window is destroyed after the running handler returns; the close query does
    /// not run, aboutToBeDestroyed() does.
    void requestClose();
    bool closeRequested() const { return m_closeRequested; }

Q_SIGNALS:
    void destroying();

protected:
    /// Runs once after the controls exist and before the window is first shown.
    virtual void created() {}
    /// A close asked for by the user (close box, Alt+F4, Esc where it closes). False keeps the window open.
    virtual bool closeQuery() { return true; }
    /// Runs while the window is being destroyed, however the close came about.
    virtual void aboutToBeDestroyed() {}

    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    friend class KeyRouter;
    void pressEnter();
    void pressEsc();
    void destroyNow();

    WindowSpec m_spec;
    bool m_created = false;
    bool m_closeRequested = false;
    bool m_destroyed = false;
    QPoint m_dragOffset;
    bool m_dragging = false;
};

} // namespace ovelta
