#include "windows/ledger/MainMenu.h"

#include "windows/ledger/GridCommands.h"
#include "windows/ledger/HelpWindows.h"
#include "windows/ledger/MainWindow.h"
#include "windows/reports/GiftBookWindow.h"
#include "windows/transfer/TransferCommands.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// One entry of a menu; an entry without a caption is a separator.
struct Entry
{
    QString caption; ///< with its mnemonic
    GridCommandId command = GridCommandId::None; ///< the grid's command whose action the entry triggers
    std::function<void(MainWindow&)> run = {}; ///< a command of the menu's own, when there is no grid command
    QKeySequence shortcut = {}; ///< the key of a command of the menu's own
    int toolButton = -1; ///< the toolbar button (MainWindow::Command) whose action the entry triggers
};

Entry toolbarEntry(const QString& caption, MainWindow::Command command)
{
    Entry entry{caption};
    entry.toolButton = command;
    return entry;
}

struct Menu
{
    QString name;
    QString title;
    std::vector<Entry> entries;
};

std::vector<Menu> menus()
{
    return {
        {u"账目菜单"_s,
         u"账目(&Z)"_s,
         {
             toolbarEntry(u"添加人情(&A)"_s, MainWindow::AddRecord),
             toolbarEntry(u"修改人情(&M)"_s, MainWindow::ModifyRecord),
             toolbarEntry(u"删除人情(&D)"_s, MainWindow::DeleteRecord),
             {u"查看账目(&V)"_s, GridCommandId::ViewRecord},
             toolbarEntry(u"查询人情(&F)"_s, MainWindow::Search),
             {},
             toolbarEntry(u"打印账目(&P)"_s, MainWindow::Print),
             toolbarEntry(u"刷新数据(&R)"_s, MainWindow::Refresh),
             {},
             toolbarEntry(u"退出系统(&X)"_s, MainWindow::Exit),
         }},
        {u"往来菜单"_s,
         u"往来(&W)"_s,
         {
             {u"查看此人往来(&V)"_s, GridCommandId::PersonOfRow},
             {u"往来汇总(&S)"_s, GridCommandId::People},
             {u"人情统计(&T)"_s, GridCommandId::Statistics},
             {},
             {u"礼簿(&L)"_s,
              {},
              [](MainWindow& window) { (new GiftBookWindow(window))->openModal(); },
              QKeySequence(Qt::CTRL | Qt::Key_L)},
         }},
        {u"数据菜单"_s,
         u"数据(&S)"_s,
         {
             {u"导出CSV(&E)"_s, GridCommandId::ExportCsv},
             {u"导出Excel(&X)…"_s, {}, [](MainWindow& window) { TransferCommands::exportExcel(window); }},
             {u"导入CSV/Excel(&I)"_s, GridCommandId::Import},
             {},
             {u"立即备份(&B)"_s, GridCommandId::BackupNow},
             {u"从备份恢复(&R)"_s, GridCommandId::Restore},
             {},
             {u"账簿加密(&J)"_s, GridCommandId::Privacy},
             {},
             {u"打开账簿所在文件夹(&O)"_s, {}, [](MainWindow&) { FolderCommands::openLedgerFolder(); }},
         }},
        {u"设置菜单"_s,
         u"设置(&E)"_s,
         {
             toolbarEntry(u"来往关系(&G)"_s, MainWindow::Relations),
             toolbarEntry(u"酒席类型(&L)"_s, MainWindow::Occasions),
             toolbarEntry(u"修改口令(&P)"_s, MainWindow::ChangePassword),
         }},
        {u"帮助菜单"_s,
         u"帮助(&H)"_s,
         {
             {u"快捷键(&K)"_s,
              {},
              [](MainWindow& window) { (new KeysWindow(window))->openModal(); },
              QKeySequence(Qt::Key_F1)},
             {u"关于(&A)"_s, {}, [](MainWindow&) { (new AboutWindow)->openModal(); }},
         }},
    };
}

/// An entry that triggers the action of its toolbar button or context-menu entry, and shows that action's key
/// and state.
void forward(QAction* item, QAction* source, const QString& caption)
{
    const QPointer<QAction> guard(item);
    const auto mirror = [guard, source, caption] {
        if (guard.isNull())
            return;
        const QString key = source->shortcut().toString(QKeySequence::NativeText);
        // QMenu shows the text after a tab in its shortcut column; the key itself stays with the source.
        guard->setText(key.isEmpty() ? caption : caption + u'\t' + key);
        guard->setEnabled(source->isEnabled());
        guard->setChecked(source->isChecked());
    };
    item->setCheckable(source->isCheckable());
    mirror();
    QObject::connect(source, &QAction::changed, item, mirror);
    QObject::connect(item, &QAction::triggered, source, [source, mirror] {
        source->trigger();
        mirror();
    });
}

} // namespace

void installMainMenu(MainWindow& window)
{
    QMenuBar* bar = window.menuBar();
    if (bar == nullptr)
        return;
    for (const Menu& def : menus()) {
        QMenu* menu = bar->addMenu(def.title);
        menu->setObjectName(def.name);
        menu->setFont(bar->font());
        // The on or off state of a command is asked for whenever its menu opens, as the context menu does.
        QObject::connect(menu, &QMenu::aboutToShow, &window, [&window] { refreshGridCommands(window); });
        for (const Entry& entry : def.entries) {
            if (entry.caption.isEmpty()) {
                menu->addSeparator();
                continue;
            }
            const QString name = plainCaption(entry.caption) + u"菜单项"_s;
            if (entry.toolButton >= 0 || entry.command != GridCommandId::None) {
                auto* source = entry.toolButton >= 0 ? window.commandAction(MainWindow::Command(entry.toolButton))
                                                     : gridCommandAction(window, entry.command);
                if (source == nullptr)
                    qFatal("no action for the menu entry %s", qUtf8Printable(entry.caption));
                auto* item = new QAction(menu);
                item->setObjectName(name);
                forward(item, source, entry.caption);
                menu->addAction(item);
                continue;
            }
            // A command of the menu's own; its key works anywhere in the window.
            auto* item = new QAction(entry.caption, &window);
            item->setObjectName(name);
            if (!entry.shortcut.isEmpty()) {
                item->setShortcut(entry.shortcut);
                item->setShortcutContext(Qt::WindowShortcut);
                window.addAction(item);
            }
            QObject::connect(item, &QAction::triggered, &window, [&window, run = entry.run] { run(window); });
            menu->addAction(item);
        }
    }
}

} // namespace ovelta
