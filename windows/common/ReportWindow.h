#pragma once

#include <QPointer>
#include <QWidget>

class QEventLoop;

namespace ovelta {

/// A window of the people and statistics commands: an ordinary window of widgets laid out by Qt, sized for a
/// 1280×800 screen and resizable, that opens modally as the program's other windows do: while it is open the
/// program's other windows are disabled, the code that opened it continues when it has been destroyed, and
/// Esc closes it; Esc in an open drop-down (a combo box's list) closes the drop-down only. It keeps nothing when
/// closed; every opening reads the ledger afresh.
///
/// These windows are not built from layout tables, so the shared keys of those windows (Tab by tab keys, Enter on
/// a default button) are left to Qt here: Tab follows the widgets' order and Enter acts on the focused widget.
class ReportWindow : public QWidget
{
    Q_OBJECT
public:
    /// id: a stable name of the window kind, also its objectName; caption: the title.
    ReportWindow(const QString& id, const QString& caption, QWidget* parent = nullptr);
    ~ReportWindow() override;

    QString id() const { return objectName(); }

    /// Runs load(), shows the window, disables the program's other windows and returns once the window has
    /// been destroyed. Takes ownership: the window deletes itself when it closes (or at once when load()
    /// refuses), so it must have been created with new. When a window with the same id is open already, that
    /// one is raised and this one discarded.
    void openModal();

    /// The open window with that id, or nullptr.
    static ReportWindow* findOpen(const QString& id);

protected:
    /// Reads what the window shows, before it is first shown. False: the window is not shown (the
    /// implementation has told the user why).
    virtual bool load() { return true; }

private:
    void escape();
    void disableOthers();
    void restoreOthers();

    QEventLoop* m_loop = nullptr;
    bool m_open = false;
    QList<QPair<QPointer<QWidget>, bool>> m_disabledOthers;
    QPointer<QWidget> m_previousActive;
};

} // namespace ovelta
