#pragma once

#include "ui/window/ModalWindow.h"

namespace ovelta {

/// A window of the people and statistics commands: an ordinary window of widgets laid out by Qt, sized for a
/// 1280×800 screen and resizable, that opens modally as the program's other windows do (ModalWindow): while it
/// is open the program's other windows are disabled, the code that opened it continues when it has been
/// destroyed, and Esc closes it; Esc in an open drop-down (a combo box's list) closes the drop-down only. It keeps
/// nothing when closed; every opening reads the ledger afresh.
///
/// These windows are not built from layout tables, so the shared keys of those windows (Tab by tab keys, Enter on
/// a default button) are left to Qt here: Tab follows the widgets' order and Enter acts on the focused widget.
class ReportWindow : public ModalWindow
{
    Q_OBJECT
public:
    /// id: a stable name of the window kind, also its objectName; caption: the title.
    /// openModal() runs load() before the window is shown; when load() refuses, the window is destroyed
    /// without being shown.
    ReportWindow(const QString& id, const QString& caption, QWidget* parent = nullptr);

    /// The open window with that id, or nullptr.
    static ReportWindow* findOpen(const QString& id);

protected:
    /// Reads what the window shows, before it is first shown. False: the window is not shown (the
    /// implementation has told the user why).
    virtual bool load() { return true; }

private:
    void created() override;
    void escape();
};

} // namespace ovelta
