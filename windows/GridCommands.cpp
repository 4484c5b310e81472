#include "windows/GridCommands.h"

#include "ui/LedgerGrid.h"
#include "windows/MainWindow.h"
#include "windows/TransferCommands.h"

#include <QAction>
#include <QMenu>
#include <QShortcut>

using namespace Qt::StringLiterals;

namespace ovelta {

std::vector<GridCommand> gridCommands()
{
    return {
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
        action->setObjectName(command.name);
        action->setShortcut(command.shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setProperty("gridCommand", true);
        QObject::connect(action, &QAction::triggered, &window,
                         [&window, run = std::move(command.run)] { run(window); });
        window.addAction(action);
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
