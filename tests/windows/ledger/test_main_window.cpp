// The real main window over a prepared ledger file: the grid as the refill leaves it, the toolbar commands,
// the delete flow, the record details window, the close query and the status bar.

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/PrivateLedger.h"
#include "ui/base/FrameBox.h"
#include "ui/base/SharedState.h"
#include "ui/grid/LedgerGrid.h"
#include "ui/grid/LedgerGridModel.h"
#include "windows/ledger/GridCommands.h"
#include "windows/ledger/MainWindow.h"

#include "DrawnText.h"
#include "GuiSupport.h"
#include "LedgerFixture.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

struct Gift
{
    QString direction;
    QString name;
    QString time; ///< as the record entry window writes it: year-month-day, maybe with a time of day
    QString amount;
    QString note;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    /// Adds ledger records through a connection of its own, as another window would have saved them.
    static void addGifts(const QList<Gift>& gifts)
    {
        DatabaseConnection connection;
        QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
        for (const Gift& g : gifts) {
            QVERIFY2(connection.execute(u"insert into 收送礼 (收送,姓名,时间,关系,类型,金额,说明) values ('"_s
                                        + g.direction + u"','"_s + g.name + u"','"_s + g.time + u"','朋友','结婚','"_s
                                        + g.amount + u"','"_s + g.note + u"')"_s),
                     qPrintable(g.name));
        }
    }

    /// Number of ledger records in the file, counted through a connection of its own.
    static int recordCount()
    {
        DatabaseConnection connection;
        RecordSet records;
        if (!connection.connect(LedgerFile::name(), LedgerFile::password()) || !records.bind(&connection)
            || !records.open(u"select * from 收送礼"_s))
            return -1;
        return records.rowCount();
    }

    /// Opens the main window as the program does (its controls built once the start-up step has passed), with a
    /// start-up step that only connects its objects to the ledger file (the login has its own tests).
    MainWindow* openMain(LedgerWindow::Build build = LedgerWindow::Build::Later,
                         const std::function<void(MainWindow&)>& duringStep = {})
    {
        auto* window = new MainWindow(nullptr, build);
        m_main = window;
        window->setStartupStep([window, duringStep] {
            if (duringStep)
                duringStep(*window);
            DatabaseObjects db = window->database();
            return db.connection.connect(LedgerFile::name(), LedgerFile::password())
                && db.recordSet.bind(&db.connection)
                && db.external.connect(LedgerFile::name(), QString(), LedgerFile::password());
        });
        window->openModeless();
        return window;
    }

    /// Every named widget of the window with its place, in a fixed order.
    static QStringList controlsOf(const QWidget& window)
    {
        QStringList controls;
        for (const QWidget* w : window.findChildren<QWidget*>()) {
            if (!w->objectName().isEmpty())
                controls << u"%1 %2,%3 %4x%5 %6"_s.arg(w->objectName())
                                .arg(w->x())
                                .arg(w->y())
                                .arg(w->width())
                                .arg(w->height())
                                .arg(w->isVisibleTo(&window));
        }
        controls.sort();
        return controls;
    }

    /// Runs an action that opens a modal window, and the script inside that window's loop. A window the script
    /// leaves open is closed afterwards, so a failing check cannot hang the test. Returns whether a modal
    /// window with that id was seen.
    static bool whileModal(const QString& id, const std::function<void()>& action,
                           const std::function<void(LedgerWindow&)>& script = {})
    {
        bool seen = false;
        QTimer::singleShot(0, qApp, [&] {
            LedgerWindow* modal = LedgerWindow::findOpen(id);
            if (modal == nullptr)
                return;
            seen = true;
            QPointer<LedgerWindow> guard(modal);
            if (script)
                script(*modal);
            if (guard && !guard->closeRequested() && !Program::hasEnded())
                guard->requestClose();
        });
        action();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return seen;
    }

    static QStringList column(const LedgerGrid& grid, int col)
    {
        QStringList texts;
        for (int row = LedgerGrid::FixedRows; row < grid.rowCount(); ++row)
            texts << grid.cellText(row, col);
        return texts;
    }

    static void checkBox(const MessageBox::Record& box, const QString& text, const QString& title,
                         MessageBox::Buttons buttons, MessageBox::Icon icon, MessageBox::Answer defaultButton)
    {
        QCOMPARE(box.text, text);
        QCOMPARE(box.title, title);
        QCOMPARE(box.buttons, buttons);
        QCOMPARE(box.icon, icon);
        QCOMPARE(box.defaultButton, defaultButton);
    }

    static QString statusPane(MainWindow& w, int pane)
    {
        return findControl<QLabel>(findControl<QStatusBar>(&w, u"状态条1"_s), u"状态条1_"_s + QString::number(pane))
            ->text();
    }

    static void doubleClickGrid(LedgerGrid& grid)
    {
        QWidget* area = grid.viewport();
        QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(area->width() / 2, area->height() - 5));
    }

    const QList<Gift> m_three{
        {u"收礼"_s, u"张三"_s, u"2011-6-2 15:30:00"_s, u"500"_s, u"喜酒"_s},
        {u"送礼"_s, u"李四"_s, u"2012-1-15"_s, u"1234.5"_s, QString()},
        {u"收礼"_s, u"王五"_s, u"2010-12-31"_s, u"-20"_s, u"退回"_s},
    };

    std::unique_ptr<LedgerFixture> m_fixture;
    BoxRecorder* m_boxes = nullptr;
    EndRecorder* m_end = nullptr;
    QPointer<MainWindow> m_main;

private Q_SLOTS:
    void init()
    {
        // The main window connects its own objects.
        m_fixture = std::make_unique<LedgerFixture>(
            LedgerFixture::Options().unconnected().pinnedAt(QDateTime(QDate(2024, 3, 5), QTime(9, 41))));
        QVERIFY(m_fixture->isValid());
        m_boxes = &m_fixture->boxes();
        m_end = &m_fixture->end();
    }

    void cleanup()
    {
        delete m_main.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_fixture.reset();
    }

    void emptyLedgerShowsTheFixedRowsAndWarns()
    {
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(grid.cellText(0, 0), u"总 收 送 礼 记 录"_s);
        QStringList headers;
        for (int col = 0; col < LedgerGrid::Columns; ++col)
            headers << grid.cellText(1, col);
        QCOMPARE(headers,
                 QStringList({u"ID"_s, u"序号"_s, u"收送"_s, u"姓名"_s, u"时间"_s, u"关系"_s, u"类型"_s, u"金额"_s,
                              u"说明"_s}));
        QCOMPARE(grid.currentRow(), -1);
        QCOMPARE(m_boxes->count(), 0);

        w.runCommand(MainWindow::ModifyRecord);
        w.runCommand(MainWindow::DeleteRecord);
        doubleClickGrid(grid);
        QCOMPARE(m_boxes->count(), 3);
        const QList<MessageBox::Record> boxes = m_boxes->shown();
        checkBox(boxes[0], u"请选择要修改的账目。"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Warning,
                 MessageBox::Ok);
        checkBox(boxes[1], u"请选择要删除的账目。"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Warning,
                 MessageBox::Ok);
        checkBox(boxes[2], u"没有选择数据！"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Warning, MessageBox::Ok);
        QVERIFY(SharedState::instance().entryMode.isEmpty());
        QVERIFY(SharedState::instance().selectedRecordId.isEmpty());
    }

    void ledgerShowsRecordsNewestFirst()
    {
        addGifts(m_three);
        addGifts({{u"送礼"_s, u"赵六"_s, u"2009-5-1"_s, u"0"_s, u"空"_s}});
        MainWindow& w = *openMain();
        const LedgerGrid& grid = w.grid();
        QCOMPARE(grid.rowCount(), 6);
        QCOMPARE(column(grid, 0), QStringList({u"2"_s, u"1"_s, u"3"_s, u"4"_s}));
        QCOMPARE(column(grid, 1), QStringList({u"1"_s, u"2"_s, u"3"_s, u"4"_s}));
        QCOMPARE(column(grid, 2), QStringList({u"送礼"_s, u"收礼"_s, u"收礼"_s, u"送礼"_s}));
        QCOMPARE(column(grid, 3), QStringList({u"李四"_s, u"张三"_s, u"王五"_s, u"赵六"_s}));
        QCOMPARE(column(grid, 4),
                 QStringList({u"2012年1月15日"_s, u"2011年6月2日"_s, u"2010年12月31日"_s, u"2009年5月1日"_s}));
        QCOMPARE(column(grid, 7), QStringList({u"1234.50"_s, u"500.00"_s, u"-20.00"_s, QString()}));
        QCOMPARE(column(grid, 8), QStringList({QString(), u"喜酒"_s, u"退回"_s, u"空"_s}));
        QCOMPARE(grid.currentRow(), -1);
        // Colours alternate by row index from the first data row on.
        QCOMPARE(grid.rowBackground(2), QColor(236, 236, 236));
        QCOMPARE(grid.rowBackground(3), QColor(192, 192, 192));
        QCOMPARE(grid.rowBackground(4), QColor(236, 236, 236));
        QCOMPARE(grid.rowBackground(5), QColor(192, 192, 192));
    }

    void statusBarShowsProductAndToday()
    {
        MainWindow& w = *openMain();
        QCOMPARE(statusPane(w, 0), u"Ovelta V1.3"_s);
        QCOMPARE(statusPane(w, 1), u" 2024年3月5日"_s);
    }

    /// The program builds the hidden main window's controls only after the login: the window it then shows is the
    /// one built at once, control for control, with its handlers wired.
    void controlsBuiltAfterTheLoginAreTheSameAsBuiltAtOnce()
    {
        addGifts(m_three);
        QStringList atOnce;
        QList<QWidget*> atOnceTabs;
        {
            MainWindow& w = *openMain(LedgerWindow::Build::Now);
            atOnce = controlsOf(w);
            for (QWidget* stop : w.tabSequence())
                atOnceTabs << stop;
            QCOMPARE(atOnceTabs.size(), 1);
            QCOMPARE(atOnceTabs.first()->objectName(), u"高级表格"_s);
            delete m_main.data();
        }

        bool bareDuringTheStep = false;
        MainWindow& w = *openMain(LedgerWindow::Build::Later, [&bareDuringTheStep](MainWindow& hidden) {
            bareDuringTheStep = hidden.findChildren<QWidget*>().isEmpty();
        });
        QVERIFY(bareDuringTheStep);
        QCOMPARE(controlsOf(w), atOnce);
        QCOMPARE(w.grid().rowCount(), 5);
        QCOMPARE(statusPane(w, 0), u"Ovelta V1.3"_s);

        // The toolbar, the grid and the grid's commands answer as in a window built at once.
        QCOMPARE(w.tabSequence().size(), 1);
        QCOMPARE(w.tabSequence().first(), static_cast<QWidget*>(&w.grid()));
        findControl<QToolBar>(&w, u"工具条1"_s)->actions().at(MainWindow::ModifyRecord)->trigger();
        doubleClickGrid(w.grid());
        QCOMPARE(m_boxes->count(), 2);
        checkBox(m_boxes->shown().at(0), u"请选择要修改的账目。"_s, u"系统提示"_s, MessageBox::OkOnly,
                 MessageBox::Warning, MessageBox::Ok);
        checkBox(m_boxes->shown().at(1), u"没有选择数据！"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Warning,
                 MessageBox::Ok);
    }

    void refusedStartupLeavesTheWindowUntouched()
    {
        addGifts(m_three);
        auto* window = new MainWindow;
        m_main = window;
        int steps = 0;
        window->setStartupStep([&steps] {
            ++steps;
            return false;
        });
        window->openModeless();
        QCOMPARE(steps, 1);
        QCOMPARE(statusPane(*window, 0), QString());
        QVERIFY(window->grid().rowCount() < 3);
        QCOMPARE(m_boxes->count(), 0);
        // Built after the step, as the program builds it: a refused start-up builds nothing at all.
        delete m_main.data();
        window = new MainWindow(nullptr, LedgerWindow::Build::Later);
        m_main = window;
        window->setStartupStep([] { return false; });
        window->openModeless();
        QVERIFY(window->findChildren<QWidget*>().isEmpty());
        QCOMPARE(m_boxes->count(), 0);
    }

    void deleteAnsweredNoChangesNothing()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        grid.setCurrentCell(3, 3);
        m_boxes->answer(MessageBox::No);
        w.runCommand(MainWindow::DeleteRecord);
        QCOMPARE(m_boxes->count(), 1);
        checkBox(m_boxes->last(), u"确定要删除选定的账目吗？\r\n数据删除后不可恢复。"_s, u"删除账目信息提示"_s,
                 MessageBox::YesNo, MessageBox::Warning, MessageBox::No);
        QCOMPARE(recordCount(), 3);
        QCOMPARE(grid.rowCount(), 5);
        QCOMPARE(grid.currentRow(), 3);
        QVERIFY(SharedState::instance().selectedRecordId.isEmpty());
    }

    void deleteAnsweredYesDeletesThatRecord()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        grid.setCurrentCell(3, 5); // 张三, ID 1; any column of the row will do
        m_boxes->answer(MessageBox::Yes);
        w.runCommand(MainWindow::DeleteRecord);
        QCOMPARE(m_boxes->count(), 2);
        checkBox(m_boxes->last(), u"成功删除账目信息。"_s, u"提示"_s, MessageBox::OkOnly, MessageBox::Information,
                 MessageBox::Ok);
        QCOMPARE(recordCount(), 2);
        QCOMPARE(SharedState::instance().selectedRecordId, u"1"_s);
        QCOMPARE(column(grid, 3), QStringList({u"李四"_s, u"王五"_s}));
        QCOMPARE(column(grid, 0), QStringList({u"2"_s, u"3"_s}));
        QCOMPARE(column(grid, 1), QStringList({u"1"_s, u"2"_s}));
        QCOMPARE(grid.currentRow(), -1);

        // No row is current after the refill: deleting again at once only warns.
        m_boxes->clear();
        w.runCommand(MainWindow::DeleteRecord);
        QCOMPARE(m_boxes->texts(), QStringList{u"请选择要删除的账目。"_s});
        QCOMPARE(recordCount(), 2);
    }

    void deletingTheNewestRenumbers()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        grid.setCurrentCell(2, 1);
        m_boxes->answer(MessageBox::Yes);
        w.runCommand(MainWindow::DeleteRecord);
        QCOMPARE(column(grid, 1), QStringList({u"1"_s, u"2"_s}));
        QCOMPARE(column(grid, 0), QStringList({u"1"_s, u"3"_s}));
        QCOMPARE(grid.rowBackground(2), QColor(236, 236, 236));
        QCOMPARE(grid.rowBackground(3), QColor(192, 192, 192));
    }

    void failingDeleteKeepsTheGrid()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        // A trigger that refuses every delete, in the engine's own SQL (the ledger's dialect has no triggers).
        QVERIFY(w.database().connection.engine()->executeNative(
            "create trigger keep_gifts before delete on 收送礼 begin select raise(abort, 'kept'); end"));
        LedgerGrid& grid = w.grid();
        grid.setCurrentCell(4, 2);
        m_boxes->answer(MessageBox::Yes);
        w.runCommand(MainWindow::DeleteRecord);
        QCOMPARE(m_boxes->count(), 2);
        checkBox(m_boxes->last(), u"删除账目失败。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop, MessageBox::Ok);
        QCOMPARE(recordCount(), 3);
        QCOMPARE(grid.rowCount(), 5);
        QCOMPARE(grid.currentRow(), 4);
        QCOMPARE(grid.cellText(4, 3), u"王五"_s);
    }

    void deleteOfARecordDeletedElsewhereFails()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        grid.setCurrentCell(4, 2);
        QCOMPARE(grid.cellText(4, 3), u"王五"_s);
        {
            DatabaseConnection other;
            QVERIFY(other.connect(LedgerFile::name(), LedgerFile::password()));
            QVERIFY(other.execute(u"delete from 收送礼 where ID=3"_s));
        }
        m_boxes->answer(MessageBox::Yes);
        w.runCommand(MainWindow::DeleteRecord);
        QCOMPARE(m_boxes->count(), 2);
        checkBox(m_boxes->last(), u"删除账目失败。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop, MessageBox::Ok);
        QCOMPARE(recordCount(), 2);
        QCOMPARE(grid.rowCount(), 5);
        QCOMPARE(grid.currentRow(), 4);
    }

    void refreshLeavesNoCurrentRow()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        grid.setCurrentCell(2, 3);
        addGifts({{u"收礼"_s, u"新人"_s, u"2020-2-2"_s, u"88"_s, QString()}});
        w.runCommand(MainWindow::Refresh);
        QCOMPARE(grid.currentRow(), -1);
        QCOMPARE(grid.rowCount(), 6);
        QCOMPARE(grid.cellText(2, 3), u"新人"_s);
        w.runCommand(MainWindow::ModifyRecord);
        QCOMPARE(m_boxes->texts(), QStringList{u"请选择要修改的账目。"_s});
    }

    void refusedLedgerOpenShowsTheEngineText()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        QVERIFY(w.database().connection.engine()->executeNative("DROP TABLE 收送礼"));
        w.runCommand(MainWindow::Refresh);
        QCOMPARE(m_boxes->count(), 1);
        const MessageBox::Record box = m_boxes->last();
        QVERIFY(!box.text.isEmpty());
        QCOMPARE(box.title, u"错误"_s);
        QCOMPARE(box.buttons, MessageBox::OkOnly);
        QCOMPARE(box.icon, MessageBox::NoIcon);
        QCOMPARE(w.grid().rowCount(), 2);
    }

    void toolbarButtonsRunTheirCommands()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        auto* toolbar = findControl<QToolBar>(&w, u"工具条1"_s);
        const QList<QAction*> actions = toolbar->actions();
        QCOMPARE(actions.size(), 10);
        w.grid().setCurrentCell(3, 3);
        actions.at(MainWindow::Refresh)->trigger();
        QCOMPARE(w.grid().currentRow(), -1);
        actions.at(MainWindow::Exit)->trigger();
        QCOMPARE(m_boxes->texts(), QStringList{u"确定要退出吗？"_s});
    }

    void addAndModifyOpenTheEntryWindow()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        QString modeSeen;
        QVERIFY(whileModal(
            u"entry"_s, [&] { w.runCommand(MainWindow::AddRecord); },
            [&](LedgerWindow&) { modeSeen = SharedState::instance().entryMode; }));
        QCOMPARE(modeSeen, u"添加"_s);
        QVERIFY(SharedState::instance().selectedRecordId.isEmpty());

        w.grid().setCurrentCell(4, 6); // 王五, ID 3
        QVERIFY(whileModal(
            u"entry"_s, [&] { w.runCommand(MainWindow::ModifyRecord); },
            [&](LedgerWindow&) { modeSeen = SharedState::instance().entryMode; }));
        QCOMPARE(modeSeen, u"修改"_s);
        QCOMPARE(SharedState::instance().selectedRecordId, u"3"_s);
    }

    void listCommandsOpenTheirWindows_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("window");
        QTest::newRow("search") << int(MainWindow::Search) << u"search"_s;
        QTest::newRow("relations") << int(MainWindow::Relations) << u"relations"_s;
        QTest::newRow("banquet types") << int(MainWindow::Occasions) << u"banquetTypes"_s;
        QTest::newRow("password") << int(MainWindow::ChangePassword) << u"password"_s;
    }

    void listCommandsOpenTheirWindows()
    {
        QFETCH(int, command);
        QFETCH(QString, window);
        MainWindow& w = *openMain();
        QVERIFY(whileModal(window, [&] { w.runCommand(command); }));
        QVERIFY(LedgerWindow::findOpen(window) == nullptr);
    }

    void printCommandOpensThePreview()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        QString title;
        QTimer::singleShot(0, qApp, [&] {
            QWidget* preview = QApplication::activeModalWidget();
            if (preview == nullptr)
                return;
            title = preview->windowTitle();
            preview->close();
        });
        w.runCommand(MainWindow::Print);
        QCOMPARE(title, u"打印预览"_s);
    }

    void exitCommandAsksFirst()
    {
        MainWindow& w = *openMain();
        m_boxes->answer(MessageBox::No);
        w.runCommand(MainWindow::Exit);
        checkBox(m_boxes->last(), u"确定要退出吗？"_s, u"退出提示"_s, MessageBox::YesNo, MessageBox::Warning,
                 MessageBox::No);
        QVERIFY(!m_end->ended());
        QVERIFY(w.isVisible());

        m_boxes->answer(MessageBox::Yes);
        w.runCommand(MainWindow::Exit);
        QVERIFY(m_end->ended());
        QCOMPARE(m_end->code(), 0);
    }

    void closeQueryEndsOnlyOnYes()
    {
        MainWindow& w = *openMain();
        m_boxes->answer(MessageBox::No);
        w.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_main);
        QVERIFY(w.isVisible());
        QVERIFY(!m_end->ended());
        checkBox(m_boxes->last(), u"退出系统？"_s, u"退出提示"_s, MessageBox::YesNo, MessageBox::Warning,
                 MessageBox::No);

        m_boxes->answer(MessageBox::Yes);
        w.close();
        QVERIFY(m_end->ended());
        QCOMPARE(m_end->code(), 0);
        QCOMPARE(m_boxes->count(), 2);
    }

    void detailsShowTheCurrentRow()
    {
        addGifts(m_three);
        addGifts({{u"送礼"_s, u"赵六"_s, u"2009-5-1"_s, u"0"_s, u"第一行\n第二行"_s}});
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();

        const auto detailsOf = [&](int row) -> QStringList {
            grid.setCurrentCell(row, 4);
            QStringList texts;
            const bool seen = whileModal(
                u"details"_s, [&] { doubleClickGrid(grid); },
                [&](LedgerWindow& d) {
                    for (const QString& box : {u"收送编辑框"_s, u"姓名编辑框"_s, u"时间编辑框"_s, u"关系编辑框"_s,
                                               u"类型编辑框"_s, u"金额编辑框"_s, u"说明编辑框"_s})
                        texts << d.text(box);
                });
            if (!seen)
                texts << u"(no details window)"_s;
            return texts;
        };
        QCOMPARE(
            detailsOf(3),
            QStringList({u"收礼"_s, u"张三"_s, u"2011年6月2日"_s, u"朋友"_s, u"结婚"_s, u"￥500.00"_s, u"喜酒"_s}));
        QCOMPARE(
            detailsOf(4),
            QStringList({u"收礼"_s, u"王五"_s, u"2010年12月31日"_s, u"朋友"_s, u"结婚"_s, u"￥-20.00"_s, u"退回"_s}));
        QCOMPARE(
            detailsOf(5),
            QStringList({u"送礼"_s, u"赵六"_s, u"2009年5月1日"_s, u"朋友"_s, u"结婚"_s, u"￥"_s, u"第一行\n第二行"_s}));
        QCOMPARE(m_boxes->count(), 0);
        // The window shows the row and changes nothing.
        QCOMPARE(grid.currentRow(), 5);
        QCOMPARE(recordCount(), 4);
    }

    // The details window shows every amount from its start ("￥" and the first digits, however long it is, also
    // when Tab brings the focus to it), and no amount that is not zero as ￥0.00: digits below the fen show.
    void detailsShowEveryAmountFromItsStart()
    {
        struct Amount
        {
            QString stored;
            QString shown;
        };
        const QList<Amount> amounts{
            {u"500"_s, u"￥500.00"_s},
            {u"1234.5"_s, u"￥1234.50"_s},
            {u"-20"_s, u"￥-20.00"_s},
            {u"0"_s, u"￥"_s},
            {u"0.0001"_s, u"￥0.0001"_s},
            {u"-0.0001"_s, u"￥-0.0001"_s},
            {u"0.005"_s, u"￥0.0050"_s},
            {u"12.3456"_s, u"￥12.3456"_s},
            {u"12.34"_s, u"￥12.34"_s},
            {u"-7.0009"_s, u"￥-7.0009"_s},
            {u"900000000000000"_s, u"￥900000000000000.00"_s},
            {u"922337203685477.5807"_s, u"￥922337203685477.5807"_s},
            {u"-922337203685477.5808"_s, u"￥-922337203685477.5808"_s},
            {u"-922337203685477.58"_s, u"￥-922337203685477.58"_s},
        };
        QList<Gift> gifts;
        for (qsizetype i = 0; i < amounts.size(); ++i) // newest first: the k-th amount is the k-th record
            gifts.append({u"收礼"_s, u"张三"_s, QDate(2020, 1, 31).addDays(-i).toString(u"yyyy-M-d"_s),
                          amounts[i].stored, QString()});
        addGifts(gifts);
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // What is wrong with where the box shows its text, or nothing: the cursor and the leftmost text drawn,
        // which must begin with "￥" and lie inside the box.
        const auto startFault = [](QLineEdit* box) -> QString {
            if (box->cursorPosition() != 0)
                return u"cursor at %1"_s.arg(box->cursorPosition());
            const QList<DrawnText> drawn = drawnTexts(box);
            if (drawn.isEmpty())
                return u"nothing drawn"_s;
            DrawnText first = drawn.first();
            for (const DrawnText& t : drawn) {
                if (t.rect.left() < first.rect.left())
                    first = t;
            }
            if (!first.text.startsWith(u'￥'))
                return u"drawn first: "_s + first.text;
            if (first.rect.left() < first.clip.left() - 0.5)
                return u"starts at %1, the box shows from %2"_s.arg(first.rect.left()).arg(first.clip.left());
            return {};
        };
        for (qsizetype i = 0; i < amounts.size(); ++i) {
            const QString shown = amounts[i].shown;
            grid.setCurrentCell(LedgerGrid::FixedRows + int(i), 3);
            QString text;
            QVERIFY(whileModal(
                u"details"_s, [&] { w.openDetails(); },
                [&](LedgerWindow& d) {
                    QVERIFY(QTest::qWaitForWindowActive(&d));
                    auto* box = findControl<QLineEdit>(&d, u"金额编辑框"_s);
                    text = box->text();
                    const QString onOpening = startFault(box);
                    QVERIFY2(onOpening.isEmpty(), qPrintable(shown + u" on opening: "_s + onOpening));
                    // The keyboard's way into the box selects it, as Tab does in every box, and keeps its start.
                    for (int tabs = 0; tabs < 8 && d.focusWidget() != box; ++tabs)
                        QTest::keyClick(d.focusWidget() ? d.focusWidget() : &d, Qt::Key_Tab);
                    QCOMPARE(d.focusWidget(), box);
                    QCOMPARE(box->selectedText(), box->text());
                    const QString afterTab = startFault(box);
                    QVERIFY2(afterTab.isEmpty(), qPrintable(shown + u" after Tab: "_s + afterTab));
                }));
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(text, shown);
        }
        QCOMPARE(m_boxes->count(), 0);
    }

    // Every amount shows itself in capitals: in the grid and in the details window, rounded to fen and saying so.
    void amountsShowTheirCapitalsAsTooltips()
    {
        addGifts({{u"收礼"_s, u"张三"_s, u"2011-6-2"_s, u"1200"_s, QString()},
                  {u"收礼"_s, u"李四"_s, u"2011-6-1"_s, u"12.3456"_s, QString()},
                  {u"送礼"_s, u"王五"_s, u"2011-5-31"_s, u"-20"_s, QString()}});
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        const QStringList expected{u"大写：壹仟贰佰元整"_s, u"大写：壹拾贰元叁角伍分（已按分四舍五入）"_s,
                                   u"大写：负贰拾元整"_s};
        for (int i = 0; i < expected.size(); ++i) {
            const QModelIndex cell = grid.model()->index(i, LedgerGridModel::MoneyColumn);
            QCOMPARE(cell.data(Qt::ToolTipRole).toString(), expected[i]);
            QString shown;
            grid.setCurrentCell(LedgerGrid::FixedRows + i, 4);
            QVERIFY(whileModal(
                u"details"_s, [&] { doubleClickGrid(grid); },
                [&](LedgerWindow& d) { shown = d.findChild<QWidget*>(u"金额编辑框"_s)->toolTip(); }));
            QCOMPARE(shown, expected[i]);
        }
        // The other columns have none.
        QVERIFY(grid.model()->index(0, 3).data(Qt::ToolTipRole).isNull());
    }

    void keyboardAloneReachesTheRecordCommands()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        std::unique_ptr<QMenu> menu(gridContextMenu(w));
        QStringList captions;
        for (QAction* action : menu->actions())
            captions << (action->isSeparator() ? u"-"_s : action->text());
        QCOMPARE(captions.mid(0, 4), QStringList({u"修改人情"_s, u"删除人情"_s, u"查看账目"_s, u"-"_s}));
        const auto command = [&](const QString& name) { return w.findChild<QAction*>(name); };

        // Down makes the first record current; the menu's commands then act on it, as the toolbar's would.
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.currentRow(), LedgerGrid::FixedRows);
        QVERIFY(whileModal(u"details"_s, [&] { command(u"查看账目命令"_s)->trigger(); }));
        QVERIFY(whileModal(u"entry"_s, [&] { command(u"修改人情命令"_s)->trigger(); }));
        QCOMPARE(SharedState::instance().entryMode, u"修改"_s);
        QCOMPARE(SharedState::instance().selectedRecordId, u"2"_s); // 李四, the newest
        m_boxes->answer(MessageBox::Yes);
        command(u"删除人情命令"_s)->trigger();
        QCOMPARE(m_boxes->texts(),
                 QStringList({u"确定要删除选定的账目吗？\r\n数据删除后不可恢复。"_s, u"成功删除账目信息。"_s}));
        QCOMPARE(column(grid, 3), QStringList({u"张三"_s, u"王五"_s}));
    }

    void ledgerPrivacyIsToggledAfterAsking()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        auto* command = w.findChild<QAction*>(u"账簿加密命令"_s);
        QVERIFY(command);
        QVERIFY(command->isCheckable());
        struct Step
        {
            QString account; // the account's password set before, when not empty
            MessageBox::Answer answer;
            bool privateAfter;
            QString key; // the one key that opens the file afterwards
            QStringList texts;
        };
        const QString on = u"加密后，账簿只能用登录口令打开：没有口令，任何人都无法打开账簿，本程序的作者也不能。\n"
                           u"如果忘记了口令，账簿将永远无法打开。\n\n确定要加密账簿吗？"_s;
        const QString off = u"取消加密后，不需要登录口令也能读取账簿文件。\n\n确定要取消账簿加密吗？"_s;
        const QString seeded = u"登录口令还是初始口令，加密不能保护账簿。\n请先修改口令，再加密账簿。"_s;
        const QString unfit = u"登录口令中有“;”等不能用来加密账簿的字符。\n请先修改口令，再加密账簿。"_s;
        const QString password = u"红包2024"_s;
        const QList<Step> steps = {
            {{}, MessageBox::No, false, LedgerFile::password(), {on}},
            {{}, MessageBox::Yes, false, LedgerFile::password(), {on, seeded}},
            {u"红;包"_s, MessageBox::Yes, false, LedgerFile::password(), {on, unfit}},
            {password, MessageBox::Yes, true, password, {on, u"账簿已加密，以后只有用登录口令才能打开。"_s}},
            {{}, MessageBox::No, true, password, {off}},
            {{}, MessageBox::Yes, false, LedgerFile::password(), {off, u"已取消账簿加密。"_s}},
        };
        for (const Step& step : steps) {
            if (!step.account.isEmpty())
                QVERIFY(w.database().connection.execute(u"update 账号 set 密码='"_s + step.account + u"'"_s));
            m_boxes->clear();
            m_boxes->answer(step.answer);
            command->trigger();
            QCOMPARE(m_boxes->texts(), step.texts);
            const MessageBox::Record question = m_boxes->shown().front();
            QCOMPARE(question.title, u"账簿加密"_s);
            QCOMPARE(question.buttons, MessageBox::YesNo);
            QCOMPARE(question.icon, MessageBox::Warning);
            QCOMPARE(question.defaultButton, MessageBox::No);
            QCOMPARE(PrivateLedger::isPrivate(LedgerFile::name()), step.privateAfter);
            QCOMPARE(command->isChecked(), step.privateAfter);
            std::unique_ptr<QMenu> menu(gridContextMenu(w));
            QCOMPARE(command->isChecked(), step.privateAfter);
            QCOMPARE(LedgerFile::sessionKey(), step.key);
            QVERIFY(EngineConnection::open(LedgerFile::name(), step.key));
            QCOMPARE(bool(EngineConnection::open(LedgerFile::name(), password)), step.key == password);
            // Every object of the main window works on the file as it is now.
            QCOMPARE(column(w.grid(), 3), QStringList({u"李四"_s, u"张三"_s, u"王五"_s}));
            QVERIFY(w.database().connection.execute(u"update 收送礼 set 说明='改' where 姓名='张三'"_s));
            QVERIFY(w.database().external.execute(u"update 收送礼 set 说明='再改' where 姓名='张三'"_s));
        }
    }

    void detailsCloseOnTheBackgroundOrEsc()
    {
        addGifts(m_three);
        MainWindow& w = *openMain();
        LedgerGrid& grid = w.grid();
        grid.setCurrentCell(2, 2);

        // Presses go through the window system, so each lands on whatever lies under the pointer.
        const auto press = [](LedgerWindow& d, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
            QTest::mouseClick(d.windowHandle(), button, {}, at);
        };
        bool openAfterOtherPresses = false;
        bool closedByBackground = false;
        QVERIFY(whileModal(
            u"details"_s, [&] { w.openDetails(); },
            [&](LedgerWindow& d) {
                QVERIFY(QTest::qWaitForWindowExposed(&d));
                press(d, QPoint(320, 103)); // 金额编辑框
                press(d, QPoint(200, 150)); // 说明编辑框, which lies inside the frame
                press(d, QPoint(233, 33)); // the label 姓    名
                press(d, QPoint(47, 68)); // the label 时间日期
                press(d, QPoint(5, 200), Qt::RightButton);
                openAfterOtherPresses = !d.closeRequested() && d.isVisible();
                // The press may finish the close at once, so the window must not be touched afterwards.
                QPointer<LedgerWindow> details(&d);
                press(d, QPoint(5, 200));
                closedByBackground = !details || details->closeRequested();
            }));
        QVERIFY(openAfterOtherPresses);
        QVERIFY(closedByBackground);

        bool closedByEsc = false;
        QVERIFY(whileModal(
            u"details"_s, [&] { w.openDetails(); },
            [&](LedgerWindow& d) {
                QPointer<LedgerWindow> details(&d);
                QVERIFY(QTest::qWaitForWindowActive(&d));
                QTest::keyClick(d.focusWidget() ? d.focusWidget() : &d, Qt::Key_Escape);
                QTRY_VERIFY(!details || details->closeRequested() || !details->isVisible());
                closedByEsc = true;
            }));
        QVERIFY(closedByEsc);
        QVERIFY(m_main);
        QCOMPARE(m_boxes->count(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
