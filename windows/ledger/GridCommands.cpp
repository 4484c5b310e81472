#include "windows/ledger/GridCommands.h"

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/PrivateLedger.h"
#include "ui/base/MessageBox.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/ledger/MainWindow.h"
#include "windows/ledger/PasswordWindow.h"
#include "windows/reports/PeopleWindow.h"
#include "windows/reports/PersonWindow.h"
#include "windows/reports/StatisticsWindow.h"
#include "windows/transfer/TransferCommands.h"

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

/// The password of the first account, which keys a private ledger (as the password window changes it).
QString accountPassword(MainWindow& window)
{
    const auto engine = window.database().connection.ready();
    if (!engine)
        return {};
    return PrivateLedger::accountPassword(*engine);
}

/// 账簿加密: keys the ledger with the login password, or a private ledger again with the program's own key,
/// after asking; every connection of the main window is opened again on the file that results.
void toggleLedgerPrivacy(MainWindow& window)
{
    const QString title = u"账簿加密"_s;
    const QString file = LedgerFile::name();
    const bool wasPrivate = PrivateLedger::isPrivate(file);
    const QString question = wasPrivate
        ? u"取消加密后，不需要登录口令也能读取账簿文件。\n\n确定要取消账簿加密吗？"_s
        : u"加密后，账簿只能用登录口令打开：没有口令，任何人都无法打开账簿，本程序的作者也不能。\n"
          u"如果忘记了口令，账簿将永远无法打开。\n\n确定要加密账簿吗？"_s;
    if (MessageBox::show(question, title, MessageBox::YesNo, MessageBox::Warning, 1) != MessageBox::Yes)
        return;
    const QString key = wasPrivate ? LedgerFile::password() : accountPassword(window);
    if (key.isEmpty()) {
        MessageBox::show(u"没有找到登录口令，账簿没有加密。"_s, title, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    // The password every new ledger starts with is in the program for anyone to read: it protects nothing.
    if (!wasPrivate && key == u"kelpo"_s) {
        MessageBox::show(u"登录口令还是初始口令，加密不能保护账簿。\n请先修改口令，再加密账簿。"_s, title,
                         MessageBox::OkOnly, MessageBox::Information);
        return;
    }
    if (!PrivateLedger::canKey(key)) {
        MessageBox::show(u"登录口令中有“;”等不能用来加密账簿的字符。\n请先修改口令，再加密账簿。"_s, title,
                         MessageBox::OkOnly, MessageBox::Information);
        return;
    }
    const QString old = LedgerFile::sessionKey();
    EngineConnection::closeAll();
    const Done done = PrivateLedger::rekey(file, old, key, !wasPrivate, {});
    PasswordWindow::reconnectLedger(window, done ? key : old);
    window.ledgerRefill();
    if (!done) {
        MessageBox::show(u"没有完成，账簿保持原样：\n"_s + done.errorText(), title, MessageBox::OkOnly,
                         MessageBox::Stop);
        return;
    }
    MessageBox::show(wasPrivate ? u"已取消账簿加密。"_s : u"账簿已加密，以后只有用登录口令才能打开。"_s, title,
                     MessageBox::OkOnly, MessageBox::Information);
}

} // namespace

std::vector<GridCommand> gridCommands()
{
    // The record commands of the toolbar come first, so that a keyboard user can modify, delete or look at the
    // current record through the Menu key. An entry without a caption is a separator.
    return {
        {GridCommandId::ModifyRecord,
         u"修改人情命令"_s,
         u"修改人情"_s,
         {},
         [](MainWindow& w) { w.runCommand(MainWindow::ModifyRecord); }},
        {GridCommandId::DeleteRecord,
         u"删除人情命令"_s,
         u"删除人情"_s,
         {},
         [](MainWindow& w) { w.runCommand(MainWindow::DeleteRecord); }},
        {GridCommandId::ViewRecord, u"查看账目命令"_s, u"查看账目"_s, {}, [](MainWindow& w) { w.openDetails(); }},
        {},
        {GridCommandId::PersonOfRow, u"查看此人往来命令"_s, u"查看此人往来"_s, QKeySequence(Qt::CTRL | Qt::Key_D),
         openPersonOfCurrentRow},
        {GridCommandId::People, u"往来汇总命令"_s, u"往来汇总"_s, QKeySequence(Qt::CTRL | Qt::Key_H),
         [](MainWindow& window) { (new PeopleWindow(window))->openModal(); }},
        {GridCommandId::Statistics, u"人情统计命令"_s, u"人情统计"_s, QKeySequence(Qt::CTRL | Qt::Key_T),
         [](MainWindow& window) { (new StatisticsWindow(window))->openModal(); }},
        {},
        {GridCommandId::ExportCsv, u"导出CSV"_s, u"导出CSV"_s, QKeySequence(Qt::CTRL | Qt::Key_E),
         [](MainWindow& w) { TransferCommands::exportCsv(w); }},
        {GridCommandId::Import, u"导入CSV/Excel"_s, u"导入CSV/Excel"_s, QKeySequence(Qt::CTRL | Qt::Key_I),
         [](MainWindow& w) { TransferCommands::importCsv(w); }},
        {GridCommandId::BackupNow, u"立即备份"_s, u"立即备份"_s, QKeySequence(Qt::CTRL | Qt::Key_B),
         [](MainWindow& w) { TransferCommands::backupNow(w); }},
        {GridCommandId::Restore, u"从备份恢复"_s, u"从备份恢复"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B),
         [](MainWindow& w) { TransferCommands::restoreBackup(w); }},
        {},
        {GridCommandId::Privacy,
         u"账簿加密命令"_s,
         u"账簿加密"_s,
         {},
         toggleLedgerPrivacy,
         [] { return PrivateLedger::isPrivate(LedgerFile::name()); }},
    };
}

namespace {

/// The property that marks the window's actions of the grid's commands, with the command's GridCommandId.
constexpr auto CommandProperty = "gridCommand";

QList<QAction*> commandActions(const MainWindow& window)
{
    QList<QAction*> actions;
    for (QAction* action : window.actions()) {
        if (action->property(CommandProperty).isValid())
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
        action->setProperty(CommandProperty, int(command.id));
        window.addAction(action);
        if (command.caption.isEmpty()) {
            action->setSeparator(true);
            continue;
        }
        action->setObjectName(command.name);
        action->setShortcut(command.shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setCheckable(bool(command.isOn));
        QObject::connect(action, &QAction::triggered, &window,
                         [&window, action, run = std::move(command.run), isOn = command.isOn] {
                             run(window);
                             if (isOn)
                                 action->setChecked(isOn());
                         });
    }

    LedgerGrid& grid = window.grid();
    grid.setContextMenuPolicy(Qt::CustomContextMenu);
    // A scroll area reports the position in its viewport's coordinates.
    QObject::connect(&grid, &QWidget::customContextMenuRequested, &window,
                     [&window, &grid](const QPoint& pos) { openMenuAt(window, grid.viewport()->mapToGlobal(pos)); });
    // The X11 desktops' other menu key; the Menu key itself arrives as a context-menu event.
    auto* shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), &grid);
    shiftF10->setObjectName(u"表格菜单键"_s);
    shiftF10->setWhatsThis(u"打开表格的右键菜单"_s);
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
    refreshGridCommands(window);
    menu->addActions(commandActions(window));
    return menu;
}

QAction* gridCommandAction(const MainWindow& window, GridCommandId id)
{
    for (QAction* action : commandActions(window)) {
        if (action->property(CommandProperty).toInt() == int(id))
            return action;
    }
    return nullptr;
}

void refreshGridCommands(MainWindow& window)
{
    for (const GridCommand& command : gridCommands()) {
        QAction* action = command.id == GridCommandId::None ? nullptr : gridCommandAction(window, command.id);
        if (command.isOn && action)
            action->setChecked(command.isOn());
    }
}

} // namespace ovelta
