#pragma once

#include "ui/window/Controls.h"
#include "ui/window/LedgerWindow.h"
#include "windows/common/LedgerHost.h"

#include <functional>

namespace ovelta {

/// The main window (Ovelta): the menu bar with every command above the written client area, the ledger grid
/// 高级表格, the toolbar 工具条1 with its ten commands (Ctrl+N, Del, Ctrl+F, Ctrl+P and F5 run five of them), the
/// status bar 状态条1, and the program's three database objects 数据库连接, 记录集 and 外部数据库, which live as long
/// as the window and which every other window uses through LedgerHost.
///
/// The window never closes by itself: its close query either ends the program or keeps it open.
class MainWindow : public LedgerWindow, public LedgerHost
{
    Q_OBJECT
public:
    /// Toolbar commands by the 0-based index of their button.
    enum Command {
        AddRecord = 0,
        ModifyRecord = 1,
        DeleteRecord = 2,
        Search = 3,
        Relations = 4,
        Occasions = 5,
        Print = 6,
        ChangePassword = 7,
        Refresh = 8,
        Exit = 9,
    };

    /// With Build::Later the controls are built, and their handlers wired, once the start-up step has let the
    /// program go on: the window stays hidden until then, and the login window shows sooner.
    explicit MainWindow(QWidget* parent = nullptr, Build build = Build::Now);
    ~MainWindow() override;

    /// The first step of the creation handler, before the grid is coloured and filled: the single-instance
    /// check and the login. It returns false when the program has ended; the creation handler then stops at
    /// once and touches nothing else.
    void setStartupStep(std::function<bool()> step);

    DatabaseObjects database() override;
    LedgerGrid& grid() override;
    void ledgerRefill() override;
    void bringLedgerToFront() override;

    /// Runs the command of a toolbar button, as clicking it does; an index outside 0-9 does nothing.
    void runCommand(int index);
    /// The action of a toolbar button, which clicking the button triggers.
    QAction* commandAction(Command command) const;
    /// The grid's double-click: the record details window for the current row, or a warning without one.
    void openDetails();

    /// The product-and-version line of status bar pane 0.
    static QString productLine();

protected:
    void created() override;
    /// Asks "退出系统？"; Yes ends the program. Never lets the window close on its own.
    bool closeQuery() override;
    void aboutToBeDestroyed() override;

private:
    /// Takes the built controls into m_controls and connects the toolbar, the grid, the grid's commands and the
    /// menu bar to their handlers.
    void wireControls();
    void addRecord();
    void modifyRecord();
    void deleteRecord();
    void confirmExit();
    /// True when a data cell of the grid is focused.
    bool hasCurrentRecord() const;

    DatabaseConnection* m_connection;
    RecordSet* m_records;
    ExternalDatabase* m_external;
    /// Filled once the controls are built, which may be as late as created().
    MainControls m_controls;
    std::function<bool()> m_startupStep;
};

} // namespace ovelta
