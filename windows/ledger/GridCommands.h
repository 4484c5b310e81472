#pragma once

#include <QKeySequence>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QMenu;

namespace ovelta {

class MainWindow;

/// The commands of the ledger grid's context menu, as the main menu names them.
enum class GridCommandId {
    None, ///< a separator
    ModifyRecord,
    DeleteRecord,
    ViewRecord,
    PersonOfRow,
    People,
    Statistics,
    ExportCsv,
    Import,
    BackupNow,
    Restore,
    Privacy,
};

/// A command beyond the toolbar: an entry of the ledger grid's context menu, also reachable from the main window
/// by its shortcut.
struct GridCommand
{
    GridCommandId id;
    QString name; ///< the action's objectName
    QString caption; ///< the menu text; an entry without one is a separator
    QKeySequence shortcut;
    std::function<void(MainWindow&)> run;
    /// For a command that is on or off: whether it is on now (asked whenever the menu opens and after each run).
    std::function<bool()> isOn = {};
};

/// The grid's commands in menu order.
std::vector<GridCommand> gridCommands();

/// Gives the main window one action per command, with its shortcut working anywhere in the window, and gives the
/// ledger grid a context menu of those actions: a right click, the Menu key and Shift+F10 open it.
void installGridCommands(MainWindow& window);

/// The menu the grid shows, built from the window's command actions; the caller owns it.
QMenu* gridContextMenu(MainWindow& window);

/// The action of the command in the main window (after installGridCommands()).
QAction* gridCommandAction(const MainWindow& window, GridCommandId id);

/// Sets the commands that are on or off to their state now, as a menu that shows them must before it opens.
void refreshGridCommands(MainWindow& window);

} // namespace ovelta
