// The main window's menu bar: its place above the written client area, every entry running the handler of its
// toolbar button, context-menu entry or key, the Alt mnemonics, the keys window against the keys actually
// installed, and the about window with its folder buttons.

#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerFile.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/common/FileChooser.h"
#include "windows/common/ReportWindow.h"
#include "windows/ledger/HelpWindows.h"
#include "windows/ledger/MainWindow.h"

#include "GuiSupport.h"
#include "LedgerFixture.h"
#include "ReportSteps.h"

#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

/// Takes the file URLs the program hands to the desktop, instead of a file manager.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

class TestMainMenu : public QObject
{
    Q_OBJECT

private:
    MainWindow* openMain()
    {
        auto* window = new MainWindow(nullptr, LedgerWindow::Build::Later);
        m_main = window;
        window->setStartupStep([window] {
            DatabaseObjects db = window->database();
            return db.connection.connect(LedgerFile::name(), LedgerFile::password())
                && db.recordSet.bind(&db.connection)
                && db.external.connect(LedgerFile::name(), QString(), LedgerFile::password());
        });
        window->openModeless();
        return window;
    }

    /// What an action leads to: every modal window it opens (closed at once, answering nothing), every box
    /// (answered with its default button), every file dialog (cancelled), every folder handed to the desktop,
    /// and the grid's current row afterwards.
    QStringList trace(MainWindow& w, const std::function<void()>& act)
    {
        m_boxes->clear();
        const qsizetype files = FileChooser::requests().size();
        m_urls.urls.clear();
        QStringList seen;
        QTimer timer;
        timer.setInterval(0);
        connect(&timer, &QTimer::timeout, &timer, [&seen] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->isVisible())
                return;
            if (auto* window = qobject_cast<LedgerWindow*>(modal)) {
                if (window->closeRequested())
                    return;
                seen << u"window "_s + window->objectName();
                window->requestClose();
            } else {
                seen << u"window "_s + modal->objectName() + u' ' + modal->windowTitle();
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
            }
        });
        timer.start();
        act();
        timer.stop();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const MessageBox::Record& box : m_boxes->shown())
            seen << u"box "_s + box.title + u": "_s + box.text;
        const QList<FileChooser::Request> requests = FileChooser::requests();
        for (qsizetype i = files; i < requests.size(); ++i)
            seen << u"file dialog "_s + requests.at(i).caption;
        for (const QUrl& url : m_urls.urls)
            seen << u"folder "_s + url.toLocalFile();
        seen << u"row %1"_s.arg(w.grid().currentRow());
        return seen;
    }

    /// The non-separator entries of the menu bar, by objectName.
    static QList<QAction*> entries(MainWindow& w)
    {
        QList<QAction*> items;
        for (QAction* title : w.menuBar()->actions()) {
            for (QAction* item : title->menu()->actions()) {
                if (!item->isSeparator())
                    items << item;
            }
        }
        return items;
    }

    /// Every key installed in the main window, with the caption of what it runs.
    static QList<QPair<QKeySequence, QString>> installedKeys(MainWindow& w)
    {
        QList<QPair<QKeySequence, QString>> keys;
        for (QAction* action : w.findChildren<QAction*>()) {
            for (const QKeySequence& key : action->shortcuts())
                keys.append({key, plainCaption(action->text())});
        }
        for (QShortcut* shortcut : w.findChildren<QShortcut*>())
            keys.append({shortcut->key(), shortcut->whatsThis()});
        return keys;
    }

    std::unique_ptr<LedgerFixture> m_fixture;
    BoxRecorder* m_boxes = nullptr;
    QPointer<MainWindow> m_main;
    UrlRecorder m_urls;

private Q_SLOTS:
    void init()
    {
        m_fixture = std::make_unique<LedgerFixture>(
            LedgerFixture::Options().unconnected().pinnedAt(QDateTime(QDate(2024, 3, 5), QTime(9, 41))));
        QVERIFY(m_fixture->isValid());
        m_boxes = &m_fixture->boxes();
        FileChooser::startRecording();
        QDesktopServices::setUrlHandler(u"file"_s, &m_urls, "open");
        DatabaseConnection connection;
        QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
        for (const QString& name : {u"张三"_s, u"李四"_s, u"王五"_s})
            QVERIFY(connection.execute(u"insert into 收送礼 (收送,姓名,时间,关系,类型,金额,说明) values "
                                       u"('收礼','%1','2011-6-2','朋友','结婚','500','')"_s.arg(name)));
    }

    void cleanup()
    {
        QDesktopServices::unsetUrlHandler(u"file"_s);
        FileChooser::stopRecording();
        delete m_main.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_fixture.reset();
    }

    void menuBarSitsAboveTheWrittenClientArea()
    {
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QMenuBar* bar = w.menuBar();
        QVERIFY(bar != nullptr);
        const int height = bar->height();
        QVERIFY(height >= bar->fontMetrics().height());
        QCOMPARE(bar->geometry(), QRect(0, 0, 560, height));
        QCOMPARE(w.size(), QSize(560, 446 + height));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        // Every written control keeps its written place in the area below the bar.
        const QList<QPair<QString, QRect>> places = {
            {u"高级表格"_s, {4, 58, 550, 361}},
            {u"状态条1"_s, {0, 426, 560, 20}},
        };
        for (const auto& [name, rect] : places)
            QCOMPARE(QRect(w.control(name)->mapTo(&w, QPoint(0, 0)), rect.size()), rect.translated(0, height));
        QCOMPARE(w.control(u"工具条1"_s)->mapTo(&w, QPoint(0, 0)), QPoint(0, height));
        QVERIFY(w.control(u"工具条1"_s)->height() <= 58);
        QCOMPARE(bar->actions().size(), 5);
        // The toolbar's keys leave its buttons' tooltips as they were: the caption, none on button 5.
        const QList<QAction*> buttons = findControl<QToolBar>(&w, u"工具条1"_s)->actions();
        for (int i = 0; i < buttons.size(); ++i)
            QCOMPARE(findControl<QToolBar>(&w, u"工具条1"_s)->widgetForAction(buttons.at(i))->toolTip(),
                     i == 5 ? QString() : buttons.at(i)->text());

        // The written keys stay: the grid is the only tab stop, and Enter and Esc do nothing.
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(w.tabSequence(), QList<QWidget*>{&w.grid()});
        w.grid().setFocus();
        for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Escape}) {
            QTest::keyClick(QApplication::focusWidget(), key);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(&w.grid()));
        }
        QVERIFY(w.isVisible());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(m_boxes->count(), 0);
    }

    void everyEntryRunsTheHandlerOfItsButtonEntryOrKey_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("source"); // the toolbar or context-menu action, when there is one
        QTest::addColumn<QKeySequence>("key"); // the key that runs it, when there is one
        QTest::addColumn<QString>("outcome"); // what it leads to first
        const auto row
            = [](const QString& entry, const QString& source, const QKeySequence& key, const QString& outcome) {
                  QTest::newRow(qPrintable(entry)) << entry << source << key << outcome;
              };
        using K = QKeySequence;
        row(u"添加人情"_s, u"工具条1_0"_s, K(Qt::CTRL | Qt::Key_N), u"window entry"_s);
        row(u"修改人情"_s, u"工具条1_1"_s, {}, u"window entry"_s);
        row(u"删除人情"_s, u"工具条1_2"_s, K(Qt::Key_Delete), u"box 删除账目信息提示: "_s);
        row(u"查看账目"_s, u"查看账目命令"_s, {}, u"window details"_s);
        row(u"查询人情"_s, u"工具条1_3"_s, K(Qt::CTRL | Qt::Key_F), u"window search"_s);
        row(u"打印账目"_s, u"工具条1_6"_s, K(Qt::CTRL | Qt::Key_P), u"window 打印预览"_s);
        row(u"刷新数据"_s, u"工具条1_8"_s, K(Qt::Key_F5), u"row -1"_s);
        row(u"退出系统"_s, u"工具条1_9"_s, {}, u"box 退出提示: 确定要退出吗？"_s);
        row(u"查看此人往来"_s, u"查看此人往来命令"_s, K(Qt::CTRL | Qt::Key_D), u"window person 往来明细 - 李四"_s);
        row(u"往来汇总"_s, u"往来汇总命令"_s, K(Qt::CTRL | Qt::Key_H), u"window people"_s);
        row(u"人情统计"_s, u"人情统计命令"_s, K(Qt::CTRL | Qt::Key_T), u"window statistics"_s);
        row(u"礼簿"_s, {}, K(Qt::CTRL | Qt::Key_L), u"window giftBook 礼簿"_s);
        row(u"导出CSV"_s, u"导出CSV"_s, K(Qt::CTRL | Qt::Key_E), u"file dialog 导出CSV"_s);
        row(u"导出Excel"_s, {}, {}, u"file dialog 导出Excel"_s);
        row(u"导入CSV/Excel"_s, u"导入CSV/Excel"_s, K(Qt::CTRL | Qt::Key_I), u"file dialog 导入CSV/Excel"_s);
        row(u"立即备份"_s, u"立即备份"_s, K(Qt::CTRL | Qt::Key_B), u"box 立即备份: "_s);
        row(u"从备份恢复"_s, u"从备份恢复"_s, K(Qt::CTRL | Qt::SHIFT | Qt::Key_B), u"box 从备份恢复: "_s);
        row(u"账簿加密"_s, u"账簿加密命令"_s, {}, u"box 账簿加密: "_s);
        row(u"打开账簿所在文件夹"_s, u"账簿文件夹按钮"_s, {}, u"folder "_s);
        row(u"来往关系"_s, u"工具条1_4"_s, {}, u"window relations"_s);
        row(u"酒席类型"_s, u"工具条1_5"_s, {}, u"window banquetTypes"_s);
        row(u"修改口令"_s, u"工具条1_7"_s, {}, u"window password"_s);
        row(u"快捷键"_s, {}, K(Qt::Key_F1), u"window keys 快捷键"_s);
        row(u"关于"_s, {}, {}, u"window about 关于"_s);
    }

    void everyEntryRunsTheHandlerOfItsButtonEntryOrKey()
    {
        QFETCH(QString, entry);
        QFETCH(QString, source);
        QFETCH(QKeySequence, key);
        QFETCH(QString, outcome);
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowActive(&w));

        // The table covers the menu bar, entry by entry.
        QStringList names;
        for (QAction* item : entries(w))
            names << item->objectName();
        QCOMPARE(names.size(), 24);
        auto* item = w.findChild<QAction*>(entry + u"菜单项"_s);
        QVERIFY2(item != nullptr && names.contains(item->objectName()), qPrintable(entry));
        QCOMPARE(plainCaption(item->text()), entry);

        const auto fromRow = [&](const std::function<void()>& act) {
            w.grid().setFocus();
            w.grid().setCurrentCell(3, 3);
            // Each backup is the first of its minute.
            QDir(u"备份"_s).removeRecursively();
            return trace(w, act);
        };
        const QStringList byMenu = fromRow([&] { item->trigger(); });
        QVERIFY2(byMenu.first().startsWith(outcome), qPrintable(byMenu.join(u" | "_s)));
        if (outcome.startsWith(u"folder"_s))
            QCOMPARE(byMenu.first(), u"folder "_s + QDir::currentPath()); // the ledger's folder

        if (auto* action = source.isEmpty() ? nullptr : w.findChild<QAction*>(source)) {
            // The entry triggers the very action of the button or context-menu entry, and shows its key.
            QSignalSpy triggered(action, &QAction::triggered);
            QCOMPARE(fromRow([&] { item->trigger(); }), byMenu);
            QCOMPARE(triggered.count(), 1);
            QCOMPARE(fromRow([&] { action->trigger(); }), byMenu);
            QCOMPARE(item->text().section(u'\t', 1), action->shortcut().toString(QKeySequence::NativeText));
            QCOMPARE(item->isCheckable(), action->isCheckable());
            QCOMPARE(action->shortcut(), key);
        } else if (!source.isEmpty()) {
            // A button of the about window.
            QStringList byButton;
            QVERIFY(whileOpen(
                u"about"_s, [&] { (new AboutWindow)->openModal(); },
                [&](ReportWindow& about) {
                    byButton = fromRow([&] { findControl<QPushButton>(&about, source)->click(); });
                }));
            QCOMPARE(byButton, byMenu);
        }
        if (!key.isEmpty()) {
            // A closed dialog of the toolkit's own leaves the window to the window system to activate again.
            w.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QCOMPARE(fromRow([&] { QTest::keySequence(&w.grid(), key); }), byMenu);
        }
    }

    void mnemonicsOpenTheirMenusAndDoNotClash()
    {
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const auto mnemonic = [](const QAction* action) {
            return QKeySequence::mnemonic(action->text().section(u'\t', 0, 0)).toString();
        };
        QStringList titles;
        for (QAction* title : w.menuBar()->actions()) {
            titles << mnemonic(title);
            QStringList items;
            for (QAction* item : title->menu()->actions()) {
                if (item->isSeparator())
                    continue;
                QVERIFY2(!mnemonic(item).isEmpty(), qPrintable(item->text()));
                QVERIFY2(!items.contains(mnemonic(item)), qPrintable(item->text()));
                items << mnemonic(item);
            }
            // Alt and the letter open the menu from the grid.
            const QKeySequence key = QKeySequence::mnemonic(title->text());
            QVERIFY2(!key.isEmpty(), qPrintable(title->text()));
            QTest::keyClick(&w.grid(), key[0].key(), Qt::AltModifier);
            QTRY_COMPARE(QApplication::activePopupWidget(), title->menu());
            title->menu()->close();
            QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        }
        QCOMPARE(titles, QStringList({u"Alt+Z"_s, u"Alt+W"_s, u"Alt+S"_s, u"Alt+E"_s, u"Alt+H"_s}));

        // Where the style lets Alt alone move into the menu bar, the bar keeps its keys: Right and Enter open the
        // second menu, Esc leaves it.
        std::unique_ptr<QStyle> windowsStyle(QStyleFactory::create(u"Windows"_s));
        QVERIFY(windowsStyle);
        w.menuBar()->setStyle(windowsStyle.get());
        QVERIFY(w.menuBar()->style()->styleHint(QStyle::SH_MenuBar_AltKeyNavigation, nullptr, w.menuBar()));
        w.grid().setFocus();
        QTest::keyPress(&w.grid(), Qt::Key_Alt, Qt::AltModifier);
        QTest::keyRelease(&w.grid(), Qt::Key_Alt);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.menuBar()));
        QTest::keyClick(w.menuBar(), Qt::Key_Right);
        QTest::keyClick(w.menuBar(), Qt::Key_Return);
        QTRY_COMPARE(QApplication::activePopupWidget(), w.menuBar()->actions().at(1)->menu());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QTest::keyClick(w.menuBar(), Qt::Key_Escape);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(&w.grid()));
        w.menuBar()->setStyle(nullptr);
        QCOMPARE(m_boxes->count(), 0);
    }

    /// Every button of a window has a mnemonic of its own, and Tab leaves every table instead of walking its cells.
    static void checkKeyboard(QWidget& window)
    {
        QStringList letters;
        for (const QPushButton* button : window.findChildren<QPushButton*>()) {
            const QRegularExpressionMatch match = QRegularExpression(u"\\(&(.)\\)$"_s).match(button->text());
            QVERIFY2(match.hasMatch(), qPrintable(button->text()));
            QVERIFY2(!letters.contains(match.captured(1)), qPrintable(button->text()));
            letters << match.captured(1);
        }
        for (const QAbstractItemView* table : window.findChildren<QAbstractItemView*>())
            QVERIFY2(!table->tabKeyNavigation(), qPrintable(table->objectName()));
    }

    void keysWindowListsEveryInstalledKey()
    {
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const QList<QPair<QKeySequence, QString>> keys = installedKeys(w);
        QStringList texts;
        for (const auto& [key, caption] : keys) {
            const QString text = key.toString(QKeySequence::NativeText);
            // No two commands share a key: a shared one would run neither.
            QVERIFY2(!texts.contains(text), qPrintable(text));
            QVERIFY2(!caption.isEmpty(), qPrintable(text));
            texts << text;
        }
        for (const QString& key :
             {u"Ctrl+N"_s, u"Del"_s, u"Ctrl+F"_s, u"Ctrl+P"_s, u"F5"_s, u"F1"_s, u"Ctrl+D"_s, u"Ctrl+H"_s, u"Ctrl+T"_s,
              u"Ctrl+L"_s, u"Ctrl+E"_s, u"Ctrl+I"_s, u"Ctrl+B"_s, u"Ctrl+Shift+B"_s, u"Shift+F10"_s})
            QVERIFY2(texts.contains(key), qPrintable(key));
        // Every key the menu bar shows is one that is installed.
        for (QAction* item : entries(w)) {
            const QString shown = item->text().section(u'\t', 1);
            QVERIFY2(shown.isEmpty() || texts.contains(shown), qPrintable(item->text()));
        }

        QStringList rows;
        QVERIFY(whileOpen(
            u"keys"_s, [&] { QTest::keyClick(&w.grid(), Qt::Key_F1); },
            [&](ReportWindow& window) {
                rows = qobject_cast<KeysWindow*>(&window)->rows();
                checkKeyboard(window);
            }));
        for (const auto& [key, caption] : keys) {
            const QString row = key.toString(QKeySequence::NativeText) + u'\t' + caption;
            QVERIFY2(rows.contains(row), qPrintable(row));
        }
        // Then the keys every window shares.
        for (const QString& key : {u"Tab"_s, u"Shift+Tab"_s, u"Enter"_s, u"Esc"_s, u"Alt+字母"_s, u"菜单键"_s})
            QCOMPARE(rows.filter(QRegularExpression(u"^\\Q"_s + key + u"\\E\t"_s)).size(), 1);
        QCOMPARE(rows.size(), keys.size() + 7);
    }

    void aboutShowsTheFoldersAndLibraries()
    {
        MainWindow& w = *openMain();
        const QString ledger = QDir::currentPath();
        const QString backups = QDir(ledger).filePath(u"备份"_s);
        QVERIFY(whileOpen(
            u"about"_s, [&] { w.findChild<QAction*>(u"关于菜单项"_s)->trigger(); },
            [&](ReportWindow& about) {
                checkKeyboard(about);
                QCOMPARE(findControl<QLabel>(&about, u"版本标签"_s)->text(), u"Ovelta V1.3　人情往来账簿"_s);
                QCOMPARE(findControl<QLabel>(&about, u"账簿位置标签"_s)->text(), u"账簿在："_s + ledger);
                QCOMPARE(findControl<QLabel>(&about, u"备份位置标签"_s)->text(), u"备份在："_s + backups);
                const QString libraries = findControl<QLabel>(&about, u"程序库标签"_s)->text();
                for (const QString& part :
                     {u"Qt "_s + QString::fromLatin1(qVersion()) + u"（LGPL-3.0）"_s, u"SQLCipher"_s,
                      u"（BSD-3-Clause）"_s, u"OpenSSL"_s, u"（Apache-2.0）"_s, u"libxlsxwriter 1."_s,
                      u"（BSD-2-Clause）"_s, u"Qt Charts（GPL-3.0）"_s, u"ICU "_s, u"minizip（Zlib）"_s, u"FreeXL "_s})
                    QVERIFY2(libraries.contains(part), qPrintable(part));

                struct Press
                {
                    QString button;
                    bool backupsMade;
                    QStringList folders; // handed to the desktop
                    QString box;
                };
                const QList<Press> presses = {
                    {u"账簿文件夹按钮"_s, false, {ledger}, {}},
                    {u"备份文件夹按钮"_s, false, {}, u"还没有备份：备份文件夹“%1”在第一次备份时建立。"_s.arg(backups)},
                    {u"备份文件夹按钮"_s, true, {backups}, {}},
                };
                for (const Press& press : presses) {
                    if (press.backupsMade)
                        QVERIFY(QDir(ledger).mkdir(u"备份"_s));
                    m_boxes->clear();
                    m_urls.urls.clear();
                    findControl<QPushButton>(&about, press.button)->click();
                    QStringList folders;
                    for (const QUrl& url : m_urls.urls)
                        folders << url.toLocalFile();
                    QCOMPARE(folders, press.folders);
                    QCOMPARE(m_boxes->texts(), press.box.isEmpty() ? QStringList() : QStringList{press.box});
                    if (!press.box.isEmpty()) {
                        QCOMPARE(m_boxes->last().title, u"打开备份文件夹"_s);
                        QCOMPARE(m_boxes->last().buttons, MessageBox::OkOnly);
                        QCOMPARE(m_boxes->last().icon, MessageBox::Information);
                    }
                }
            }));
    }

    void privacyEntryShowsTheLedgerState()
    {
        MainWindow& w = *openMain();
        QVERIFY(w.database().connection.execute(u"update 账号 set 密码='红包2024'"_s));
        auto* entry = w.findChild<QAction*>(u"账簿加密菜单项"_s);
        auto* command = w.findChild<QAction*>(u"账簿加密命令"_s);
        QVERIFY(entry->isCheckable());
        // Answered No, then Yes, then No: the entry is ticked exactly while the ledger is encrypted.
        for (const auto& [answer, on] : QList<QPair<MessageBox::Answer, bool>>{
                 {MessageBox::No, false}, {MessageBox::Yes, true}, {MessageBox::No, true}}) {
            m_boxes->answer(answer);
            entry->trigger();
            QCOMPARE(entry->isChecked(), on);
            QCOMPARE(command->isChecked(), on);
        }
        // Changed behind the menu's back, the entry shows the ledger's state when its menu opens.
        command->setChecked(false);
        QCOMPARE(entry->isChecked(), false);
        QMenu* data = w.findChild<QMenu*>(u"数据菜单"_s);
        data->popup(QPoint(0, 0));
        QCOMPARE(entry->isChecked(), true);
        data->close();
    }
};

QTEST_MAIN(TestMainMenu)
#include "test_main_menu.moc"
