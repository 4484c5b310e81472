#include "windows/GridCommands.h"

#include "ui/LedgerGrid.h"
#include "ui/MessageBox.h"
#include "windows/MainWindow.h"
#include "windows/PeopleWindow.h"
#include "windows/PersonWindow.h"
#include "windows/StatisticsWindow.h"
#include "windows/TransferCommands.h"

#include <QAction>
#include <QMenu>
#include <QShortcut>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// 查看此人往来: the records of the person named in the grid's current row.
void openPersonOfCurrentRow(MainWindow& window)
{
    LedgerGrid& grid = window.grid();
    const int row = grid.currentRow();
    // A focus on a fixed row would take the header "姓名" for a name.
    if (row < LedgerGrid::FixedRows || grid.currentColumn() < 0) {
        MessageBox::show(u"请选择要查看往来的账目。"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Warning);
        return;
    }
    (new PersonWindow(window, grid.cellText(row, 3)))->openModal();
}

} // namespace

std::vector<GridCommand> gridCommands()
{
    // The record commands of the toolbar come first, so that a keyboard user can modify, delete or look at the
    // current record through the Menu key. An entry without a caption is a separator.
    return {
        {u"修改人情命令"_s, u"修改人情"_s, {}, [](MainWindow& w) { w.runCommand(MainWindow::ModifyRecord); }},
        {u"删除人情命令"_s, u"删除人情"_s, {}, [](MainWindow& w) { w.runCommand(MainWindow::DeleteRecord); }},
        {u"查看账目命令"_s, u"查看账目"_s, {}, [](MainWindow& w) { w.openDetails(); }},
        {},
        {u"查看此人往来命令"_s, u"查看此人往来"_s, QKeySequence(Qt::CTRL | Qt::Key_D), openPersonOfCurrentRow},
        {u"往来汇总命令"_s, u"往来汇总"_s, QKeySequence(Qt::CTRL | Qt::Key_H),
         [](MainWindow& window) { (new PeopleWindow(window))->openModal(); }},
        {u"人情统计命令"_s, u"人情统计"_s, QKeySequence(Qt::CTRL | Qt::Key_T),
         [](MainWindow& window) { (new StatisticsWindow(window))->openModal(); }},
        {},
        {u"导出CSV"_s, u"导出CSV"_s, QKeySequence(Qt::CTRL | Qt::Key_E),
         [](MainWindow& w) { TransferCommands::exportCsv(w); }},
        {u"导入CSV"_s, u"导入CSV"_s, QKeySequence(Qt::CTRL | Qt::Key_I),
         [](MainWindow& w) { TransferCommands::importCsv(w); }},
        {u"立即备份"_s, u"立即备份"_s, QKeySequence(Qt::CTRL | Qt::Key_B),
         [](MainWindow& w) { TransferCommands::backupNow(w); }},
        {u"从备份恢复"_s, u"从备份恢复"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B),
         [](MainWindow& w) { TransferCommands::restoreBackup(w); }},
    };
}

namespace {

QList<QAction*> commandActions(MainWindow& window)
{
    QList<QAction*> actions;
    for (QAction* action : window.actions()) {
        if (action->property("gridCommand").toBool())
            actions.append(action);
    }
    return actions;
}

void openMenuAt(MainWindow& window, const QPoint& globalPos)
{
    QMenu* menu = gridContextMenu(window);
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

} // namespace

void installGridCommands(MainWindow& window)
{
    for (GridCommand& command : gridCommands()) {
        auto* action = new QAction(command.caption, &window);
        action->setProperty("gridCommand", true);
        window.addAction(action);
        if (command.caption.isEmpty()) {
            action->setSeparator(true);
            continue;
        }
        action->setObjectName(command.name);
        action->setShortcut(command.shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(action, &QAction::triggered, &window,
                         [&window, run = std::move(command.run)] { run(window); });
    }

    LedgerGrid& grid = window.grid();
    grid.setContextMenuPolicy(Qt::CustomContextMenu);
    // A scroll area reports the position in its viewport's coordinates.
    QObject::connect(&grid, &QWidget::customContextMenuRequested, &window,
                     [&window, &grid](const QPoint& pos) { openMenuAt(window, grid.viewport()->mapToGlobal(pos)); });
    // The X11 desktops' other menu key; the Menu key itself arrives as a context-menu event.
    auto* shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), &grid);
    shiftF10->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shiftF10, &QShortcut::activated, &window, [&window, &grid] {
        const QModelIndex current = grid.currentIndex();
        const QPoint pos = current.isValid() ? grid.visualRect(current).bottomLeft() : QPoint(0, 0);
        openMenuAt(window, grid.viewport()->mapToGlobal(pos));
    });
}

QMenu* gridContextMenu(MainWindow& window)
{
    auto* menu = new QMenu(&window);
    menu->setObjectName(u"表格菜单"_s);
    menu->addActions(commandActions(window));
    return menu;
}

} // namespace ovelta
