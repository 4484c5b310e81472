// The window services: modal and modeless opening, closing by the program and by the user, bringing an open
// window to the front, abandoning every window when the program ends, and the presses that reach a frame.

#include "GuiSupport.h"
#include "TempFolder.h"
#include "UiTestSupport.h"
#include "ui/base/FrameBox.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QEventLoop>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

/// What the handlers of probe windows saw, kept outside the windows so that it outlives them.
struct Log
{
    QStringList events;
    int count(const QString& event) const { return int(events.count(event)); }
};

/// A catalogue window whose handlers write to a log and can be given behaviour by the test.
class ProbeWindow : public LedgerWindow
{
public:
    ProbeWindow(const WindowDef& def, Log& log)
        : LedgerWindow(def)
        , m_log(log)
    {
    }

    std::function<void(ProbeWindow&)> onCreated;
    bool allowClose = true;

protected:
    void created() override
    {
        m_log.events << u"created"_s;
        if (onCreated)
            onCreated(*this);
    }
    bool closeQuery() override
    {
        m_log.events << u"closeQuery"_s;
        return allowClose;
    }
    void aboutToBeDestroyed() override { m_log.events << u"aboutToBeDestroyed"_s; }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            m_log.events << u"shown"_s;
        return LedgerWindow::event(event);
    }

private:
    Log& m_log;
};

/// A modal window that is not built from a layout table, as the report windows are not.
class PlainWindow : public ModalWindow
{
public:
    explicit PlainWindow(const QString& id)
        : ModalWindow(nullptr, Qt::Window)
    {
        setObjectName(id);
    }
};

/// The close event the window manager sends for the close box or Alt+F4.
void closeByWindowManager(QWidget* window)
{
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    // Sent as the platform sends it: sendEvent() would clear the spontaneous mark.
    QApplication::instance()->notify(window, &event);
}

void processPendingCloses()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class WindowServicesTest : public QObject
{
    Q_OBJECT

private:
    TempFolder m_folder;

private Q_SLOTS:
    void cleanup() { destroyAllWindows(); }

    void programCloseTakesEffectAfterTheHandlerReturns()
    {
        Log log;
        auto* window = new ProbeWindow(Catalogue::entryWindow(), log);
        window->openModeless();
        QPointer<LedgerWindow> guard(window);
        bool aliveAtHandlerEnd = false;
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* back = window->control<QPushButton>(u"返回按钮"_s);
        connect(back, &QPushButton::clicked, this, [&] {
            window->requestClose();
            QVERIFY(window->closeRequested());
            // A nested loop inside the same handler does not carry out the close either.
            QEventLoop loop;
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
            loop.exec();
            aliveAtHandlerEnd = !guard.isNull() && log.count(u"aboutToBeDestroyed"_s) == 0;
        });
        // Through the window system, so that the handler runs as it does inside the program's event loop.
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, back->geometry().center());
        QVERIFY(aliveAtHandlerEnd);
        QVERIFY(LedgerWindow::findOpen(u"entry"_s) == nullptr); // a window being closed counts as gone
        processPendingCloses();
        QVERIFY(guard.isNull());
        QCOMPARE(log.events, (QStringList{u"created"_s, u"shown"_s, u"aboutToBeDestroyed"_s}));
    }

    void userCloseAsksTheCloseQueryFirst()
    {
        Log log;
        auto* window = new ProbeWindow(Catalogue::searchWindow(), log);
        window->openModeless();
        QPointer<LedgerWindow> guard(window);
        window->allowClose = false;
        window->close();
        processPendingCloses();
        QVERIFY(!guard.isNull());
        QVERIFY(window->isVisible());
        QCOMPARE(LedgerWindow::findOpen(u"search"_s), window);
        QCOMPARE(log.count(u"aboutToBeDestroyed"_s), 0);

        window->allowClose = true;
        window->close();
        processPendingCloses();
        QVERIFY(guard.isNull());
        QCOMPARE(log.events,
                 (QStringList{u"created"_s, u"shown"_s, u"closeQuery"_s, u"closeQuery"_s, u"aboutToBeDestroyed"_s}));
    }

    void escAsksTheCloseQueryToo()
    {
        Log log;
        auto* window = new ProbeWindow(Catalogue::detailsWindow(), log);
        window->allowClose = false;
        window->openModeless();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QPointer<LedgerWindow> guard(window);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        processPendingCloses();
        QVERIFY(!guard.isNull());
        QCOMPARE(log.count(u"closeQuery"_s), 1);
    }

    void windowManagerCloseNeedsACloseBox()
    {
        Log log;
        auto* password = new ProbeWindow(Catalogue::passwordWindow(), log);
        password->openModeless();
        QPointer<LedgerWindow> guard(password);
        closeByWindowManager(password);
        processPendingCloses();
        QVERIFY(!guard.isNull());
        QCOMPARE(log.count(u"closeQuery"_s), 0);

        auto* login = new ProbeWindow(Catalogue::loginWindow(), log);
        login->openModeless();
        QPointer<LedgerWindow> loginGuard(login);
        closeByWindowManager(login);
        processPendingCloses();
        QVERIFY(loginGuard.isNull());
        QCOMPARE(log.count(u"closeQuery"_s), 1);
    }

    void modalOpeningDisablesTheOthersAndReturnsAfterDestruction()
    {
        Log log;
        auto* main = new ProbeWindow(Catalogue::mainWindow(), log);
        main->openModeless();
        auto* idle = new LedgerWindow(Catalogue::relationsWindow());
        idle->openModeless();
        idle->setEnabled(false);

        bool mainEnabledDuring = true;
        bool modalVisibleDuring = false;
        QTimer::singleShot(0, this, [&] {
            LedgerWindow* modal = LedgerWindow::findOpen(u"entry"_s);
            QVERIFY(modal != nullptr);
            mainEnabledDuring = main->isEnabled();
            modalVisibleDuring = modal->isVisible() && modal->isEnabled();
            QCOMPARE(modal->windowModality(), Qt::ApplicationModal);
            modal->requestClose();
        });
        auto* modal = new ProbeWindow(Catalogue::entryWindow(), log);
        QPointer<LedgerWindow> guard(modal);
        modal->openModal();
        // Back from the modal loop: the window is gone and its destruction handler has run.
        QVERIFY(guard.isNull());
        QVERIFY(!mainEnabledDuring);
        QVERIFY(modalVisibleDuring);
        QVERIFY(main->isEnabled());
        QVERIFY(!idle->isEnabled()); // its earlier state comes back
        QCOMPARE(log.events.mid(1), (QStringList{u"shown"_s, u"created"_s, u"shown"_s, u"aboutToBeDestroyed"_s}));
    }

    void nestedModalWindowsRestoreInTurn()
    {
        Log log;
        auto* main = new ProbeWindow(Catalogue::mainWindow(), log);
        main->openModeless();
        QStringList steps;
        QTimer::singleShot(0, this, [&] {
            LedgerWindow* outer = LedgerWindow::findOpen(u"search"_s);
            QTimer::singleShot(0, this, [&, outer] {
                steps << u"inner: outer %1, main %2"_s.arg(outer->isEnabled()).arg(main->isEnabled());
                LedgerWindow::findOpen(u"details"_s)->requestClose();
            });
            (new LedgerWindow(Catalogue::detailsWindow()))->openModal();
            steps << u"outer: outer %1, main %2"_s.arg(outer->isEnabled()).arg(main->isEnabled());
            outer->requestClose();
        });
        (new LedgerWindow(Catalogue::searchWindow()))->openModal();
        QCOMPARE(steps, (QStringList{u"inner: outer 0, main 0"_s, u"outer: outer 1, main 0"_s}));
        QVERIFY(main->isEnabled());
        QVERIFY(LedgerWindow::findOpen(u"search"_s) == nullptr);
        QVERIFY(LedgerWindow::findOpen(u"details"_s) == nullptr);
    }

    void modalLoopEndsWhenTheUserClosesTheWindow()
    {
        QTimer::singleShot(0, this, [] {
            LedgerWindow* modal = LedgerWindow::findOpen(u"relations"_s);
            QVERIFY(modal != nullptr);
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        auto* modal = new LedgerWindow(Catalogue::relationsWindow());
        QPointer<LedgerWindow> guard(modal);
        modal->openModal();
        QVERIFY(guard.isNull());
    }

    void modalWindowsOfEitherKindDisableEveryOtherWindowInTurn()
    {
        QWidget shown;
        shown.show();
        QWidget disabled;
        disabled.show();
        disabled.setEnabled(false);
        QWidget hidden;
        auto* unopened = new LedgerWindow(Catalogue::relationsWindow());
        QStringList steps;
        auto state = [&](const QString& step, QWidget* outer) {
            steps << u"%1: outer %2, shown %3, disabled %4, hidden %5, unopened %6"_s.arg(step)
                         .arg(outer->isEnabled())
                         .arg(shown.isEnabled())
                         .arg(disabled.isEnabled())
                         .arg(hidden.isEnabled())
                         .arg(unopened->isEnabled());
        };
        QTimer::singleShot(0, this, [&] {
            ModalWindow* outer = ModalWindow::findOpenWindow(u"plain"_s);
            QVERIFY(outer != nullptr);
            QVERIFY(LedgerWindow::findOpen(u"plain"_s) == nullptr); // not a window of that kind
            QCOMPARE(outer->windowModality(), Qt::ApplicationModal);
            QTimer::singleShot(0, this, [&, outer] {
                state(u"inner"_s, outer);
                LedgerWindow::findOpen(u"search"_s)->requestClose();
            });
            (new LedgerWindow(Catalogue::searchWindow()))->openModal();
            state(u"outer"_s, outer);
            outer->close();
        });
        QPointer<ModalWindow> outer(new PlainWindow(u"plain"_s));
        outer->openModal();
        QVERIFY(outer.isNull());
        state(u"after"_s, &shown);
        QCOMPARE(steps,
                 (QStringList{u"inner: outer 0, shown 0, disabled 0, hidden 1, unopened 0"_s,
                              u"outer: outer 1, shown 0, disabled 0, hidden 1, unopened 0"_s,
                              u"after: outer 1, shown 1, disabled 0, hidden 1, unopened 1"_s}));
        delete unopened;
    }

    void closeRequestedByTheCreationHandlerNeverShowsTheWindow()
    {
        Log log;
        auto* window = new ProbeWindow(Catalogue::entryWindow(), log);
        window->onCreated = [](ProbeWindow& w) { w.requestClose(); };
        QPointer<LedgerWindow> guard(window);
        window->openModal(); // must return without a loop to leave
        QVERIFY(guard.isNull());
        QCOMPARE(log.events, (QStringList{u"created"_s, u"aboutToBeDestroyed"_s}));
    }

    void creationHandlerRunsOnceBeforeTheWindowShows()
    {
        Log log;
        auto* window = new ProbeWindow(Catalogue::searchWindow(), log);
        bool visibleInCreated = true;
        window->onCreated = [&visibleInCreated](ProbeWindow& w) {
            visibleInCreated = w.isVisible();
            w.focus(u"收送组合框"_s);
        };
        window->openModeless();
        QVERIFY(!visibleInCreated);
        QVERIFY(QTest::qWaitForWindowActive(window));
        // A control focused by the creation handler keeps the focus when the window shows.
        QCOMPARE(focusedControl(window), u"收送组合框"_s);
        window->openModeless();
        QCOMPARE(log.count(u"created"_s), 1);
    }

    void openingAnOpenWindowOnlyBringsItToTheFront()
    {
        Log first;
        Log second;
        auto* main = new ProbeWindow(Catalogue::mainWindow(), first);
        main->openModeless();
        main->showMinimized();
        QTRY_VERIFY(main->isMinimized());

        auto* again = new ProbeWindow(Catalogue::mainWindow(), second);
        QPointer<LedgerWindow> againGuard(again);
        again->openModeless();
        processPendingCloses();
        QVERIFY(againGuard.isNull());
        QCOMPARE(second.events, QStringList());
        QVERIFY(!main->isMinimized());
        QVERIFY(main->isVisible());
        QCOMPARE(LedgerWindow::findOpen(u"main"_s), main);

        // The same for a modal opening: it returns at once, without a loop.
        auto* modalAgain = new ProbeWindow(Catalogue::mainWindow(), second);
        modalAgain->openModal();
        QVERIFY(second.events.isEmpty());
        QVERIFY(LedgerWindow::bringToFrontIfOpen(u"main"_s));
        QVERIFY(!LedgerWindow::bringToFrontIfOpen(u"search"_s));
    }

    void openingAWindowWhoseCloseIsPendingFinishesThatClose()
    {
        Log old;
        Log fresh;
        auto* first = new ProbeWindow(Catalogue::searchWindow(), old);
        first->openModeless();
        first->requestClose();
        auto* second = new ProbeWindow(Catalogue::searchWindow(), fresh);
        second->openModeless();
        QCOMPARE(old.count(u"aboutToBeDestroyed"_s), 1);
        QVERIFY(!first->isVisible());
        QCOMPARE(fresh.count(u"created"_s), 1);
        QCOMPARE(LedgerWindow::findOpen(u"search"_s), second);
        processPendingCloses();
        QCOMPARE(old.count(u"aboutToBeDestroyed"_s), 1);
        QCOMPARE(LedgerWindow::findOpen(u"search"_s), second);
    }

    void endingTheProgramAbandonsEveryWindow()
    {
        EndRecorder end;
        Log log;
        auto* main = new ProbeWindow(Catalogue::mainWindow(), log);
        main->openModeless();
        QPointer<LedgerWindow> mainGuard(main);
        bool innerReturned = false;
        QTimer::singleShot(0, this, [&] {
            QTimer::singleShot(0, this, [] { Program::end(0); });
            (new ProbeWindow(Catalogue::detailsWindow(), log))->openModal();
            innerReturned = true;
        });
        (new ProbeWindow(Catalogue::searchWindow(), log))->openModal();
        QVERIFY(innerReturned);
        QVERIFY(end.ended());
        QCOMPARE(end.code(), 0);
        QVERIFY(!main->isVisible());
        processPendingCloses();
        QVERIFY(mainGuard.isNull());
        // No handler ran on the way out.
        QCOMPARE(log.count(u"aboutToBeDestroyed"_s), 0);
        QCOMPARE(log.count(u"closeQuery"_s), 0);

        // Once ended, opening runs nothing and returns at once.
        auto* late = new ProbeWindow(Catalogue::entryWindow(), log);
        late->openModal();
        QCOMPARE(log.count(u"created"_s), 3);
    }

    void noHandlerRunsAfterTheEnd()
    {
        auto* window = openWindow(Catalogue::entryWindow());
        int clicks = 0;
        connect(window->control<QPushButton>(u"添加按钮"_s), &QPushButton::clicked, this, [&clicks] { ++clicks; });
        {
            EndRecorder end;
            Program::end(0);
            QTest::keyClick(window->control(u"姓名编辑框"_s), Qt::Key_Return);
            QTest::mouseClick(window->control(u"添加按钮"_s), Qt::LeftButton);
            QCOMPARE(clicks, 0);
        }
    }

    void detailsFrameReceivesBackgroundPressesOnly()
    {
        LedgerWindow* window = openWindow(Catalogue::detailsWindow());
        QWindow* handle = window->windowHandle();
        QList<QPair<QPoint, int>> presses;
        connect(window->control<FrameBox>(u"外形框1"_s), &FrameBox::pressed, this, [&presses](QPoint at, int keys) {
            presses.append({at, keys});
        });

        // Presses go through the window system, which finds the control under the pointer.
        QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, QPoint(380, 10));
        QTest::mouseClick(handle, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier, QPoint(200, 205));
        QTest::mouseClick(handle, Qt::LeftButton, Qt::AltModifier, QPoint(1, 1));
        QCOMPARE(presses.size(), 3);
        QCOMPARE(presses.at(0), (QPair<QPoint, int>(QPoint(380, 10), 0)));
        QCOMPARE(presses.at(1).second, 3);
        QCOMPARE(presses.at(2).second, 4);

        // Edit boxes (the note box inside the frame too) and labels keep their presses.
        for (const QString& name :
             {u"姓名编辑框"_s, u"收送编辑框"_s, u"说明编辑框"_s, u"透明标签7"_s, u"透明标签1"_s}) {
            QWidget* control = window->control(name);
            QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, control->mapTo(window, control->rect().center()));
            QVERIFY2(presses.size() == 3, qPrintable(name));
        }
        QTest::mouseClick(handle, Qt::RightButton, Qt::NoModifier, QPoint(380, 10));
        QCOMPARE(presses.size(), 3);
    }

    void loginWindowMovesWhenDraggedByItsBackground()
    {
        LedgerWindow* window = openWindow(Catalogue::loginWindow());
        QWindow* handle = window->windowHandle();
        const QPoint start = window->pos();
        QVERIFY(window->childAt(225, 125) == nullptr);
        QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, QPoint(225, 125));
        QTest::mouseMove(handle, QPoint(230, 132));
        QCOMPARE(window->pos(), start + QPoint(5, 7));
        // The window moved with the pointer, so the pointer is back over the point it pressed.
        QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, QPoint(225, 125));
        QCOMPARE(window->pos(), start + QPoint(5, 7));

        // A press on a label is a press on a control: no drag.
        const QPoint before = window->pos();
        const QPoint onLabel = window->control(u"透明标签1"_s)->geometry().center();
        QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, onLabel);
        QTest::mouseMove(handle, onLabel + QPoint(10, 10));
        QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, onLabel + QPoint(10, 10));
        QCoreApplication::processEvents();
        QCOMPARE(window->pos(), before);

        // Other windows do not move with their background.
        LedgerWindow* search = openWindow(Catalogue::searchWindow());
        const QPoint searchStart = search->pos();
        QTest::mousePress(search->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 130));
        QTest::mouseMove(search->windowHandle(), QPoint(310, 140));
        QTest::mouseRelease(search->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(310, 140));
        QCoreApplication::processEvents();
        QCOMPARE(search->pos(), searchStart);
    }

    void textsOfEveryKindReadAndWrite()
    {
        LedgerWindow entry(Catalogue::entryWindow());
        entry.setText(u"姓名编辑框"_s, u"张三"_s);
        QCOMPARE(entry.text(u"姓名编辑框"_s), u"张三"_s);
        entry.setText(u"透明标签1"_s, u"日期"_s);
        QCOMPARE(entry.text(u"透明标签1"_s), u"日期"_s);
        QCOMPARE(entry.text(u"添加按钮"_s), u"添加"_s);
        auto* combo = entry.control<QComboBox>(u"收送组合框"_s);
        combo->addItems({u"送礼"_s, u"收礼"_s});
        entry.setText(u"收送组合框"_s, u"收礼"_s);
        QCOMPARE(entry.text(u"收送组合框"_s), u"收礼"_s);
        entry.setText(u"日期框"_s, u"2024年2月29日"_s);
        QCOMPARE(entry.control<QDateTimeEdit>(u"日期框"_s)->date(), QDate(2024, 2, 29));

        LedgerWindow details(Catalogue::detailsWindow());
        details.setText(u"说明编辑框"_s, u"第一行\n第二行"_s);
        QCOMPARE(details.text(u"说明编辑框"_s), u"第一行\n第二行"_s);
    }
};

QTEST_MAIN(WindowServicesTest)
#include "test_window_services.moc"
