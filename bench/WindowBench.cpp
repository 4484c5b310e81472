#include "WindowBench.h"

#include "BenchMainWindow.h"
#include "BenchStats.h"
#include "PaintWatcher.h"

#include "store/jet/DatabaseConnection.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "ui/base/MessageBox.h"
#include "ui/base/SharedState.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/ledger/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace ovelta::bench {

namespace {

/// Lets callbacks posted for one command run only while that command runs: once it has returned, a callback
/// still waiting (a window that never opened) does nothing.
class CommandScope
{
public:
    CommandScope()
        : m_alive(std::make_shared<bool>(true))
    {
    }
    ~CommandScope() { *m_alive = false; }
    std::shared_ptr<bool> alive() const { return m_alive; }

private:
    std::shared_ptr<bool> m_alive;
};

/// Runs action once the window with that id is open and visible, from the event loop that shows it; the
/// action answers true when it is done, false to be asked again in the next pass of the loop.
void whenOpen(std::shared_ptr<bool> alive, const QString& windowId, std::function<bool(LedgerWindow*)> action)
{
    QTimer::singleShot(0, QCoreApplication::instance(), [alive, windowId, action] {
        if (!*alive)
            return;
        LedgerWindow* window = LedgerWindow::findOpen(windowId);
        if (!(window && window->isVisible() && action(window)))
            whenOpen(alive, windowId, action);
    });
}

QDate day(const QString& text)
{
    return QDate::fromString(text, u"yyyy-MM-dd"_s);
}

} // namespace

WindowBench::WindowBench(const QString& folder)
{
    m_main = openMainWindow(folder);
    noteBoxes(u"opening the main window"_s);
}

WindowBench::~WindowBench()
{
    m_main->requestClose();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void WindowBench::noteBoxes(const QString& where)
{
    for (const MessageBox::Record& box : MessageBox::shown())
        m_errors << where + u": box \""_s + box.text + u"\""_s;
    MessageBox::clearShown();
}

double WindowBench::refill(qint64 expectedRows)
{
    QElapsedTimer timer;
    timer.start();
    m_main->runCommand(MainWindow::Refresh);
    const double ms = millisecondsSince(timer);
    noteBoxes(u"refill"_s);
    if (m_main->grid().rowCount() != expectedRows + LedgerGrid::FixedRows) {
        m_errors << u"refill: the grid holds %1 rows, not %2"_s.arg(m_main->grid().rowCount() - LedgerGrid::FixedRows)
                        .arg(expectedRows);
        return -1;
    }
    return ms;
}

double WindowBench::searchByName(const QString& namePart)
{
    double ms = -1;
    CommandScope scope;
    whenOpen(scope.alive(), u"search"_s, [&ms, namePart](LedgerWindow* window) {
        window->setText(u"姓名编辑框"_s, namePart);
        QElapsedTimer timer;
        timer.start();
        window->control<QPushButton>(u"查询按钮"_s)->click();
        ms = millisecondsSince(timer);
        return true;
    });
    m_main->runCommand(MainWindow::Search);
    noteBoxes(u"search by name"_s);
    return ms;
}

double WindowBench::searchByDates(const QString& first, const QString& last)
{
    double ms = -1;
    CommandScope scope;
    whenOpen(scope.alive(), u"search"_s, [&ms, first, last](LedgerWindow* window) {
        window->control<QCheckBox>(u"选择框1"_s)->setChecked(true);
        window->control<QDateTimeEdit>(u"起始日期框"_s)->setDate(day(first));
        window->control<QDateTimeEdit>(u"截止日期框"_s)->setDate(day(last));
        QElapsedTimer timer;
        timer.start();
        window->control<QPushButton>(u"查询按钮"_s)->click();
        ms = millisecondsSince(timer);
        return true;
    });
    m_main->runCommand(MainWindow::Search);
    noteBoxes(u"search by dates"_s);
    return ms;
}

qint64 WindowBench::foundRows() const
{
    return m_main->grid().rowCount() - LedgerGrid::FixedRows;
}

double WindowBench::timeWindowOpen(int command, const QString& windowId,
                                   const std::function<void(LedgerWindow*)>& inspect)
{
    PaintWatcher watcher(windowId);
    double ms = -1;
    QElapsedTimer timer;
    CommandScope scope;
    whenOpen(scope.alive(), windowId, [&](LedgerWindow* window) {
        if (watcher.paints() == 0)
            return false;
        ms = millisecondsSince(timer);
        if (inspect)
            inspect(window);
        window->requestClose();
        return true;
    });
    timer.start();
    m_main->runCommand(command);
    return ms;
}

double WindowBench::openEntryToAdd()
{
    const double ms = timeWindowOpen(MainWindow::AddRecord, u"entry"_s);
    noteBoxes(u"entry window (add)"_s);
    return ms;
}

double WindowBench::openEntryToModify(qint64 id)
{
    LedgerGrid& grid = m_main->grid();
    const QString key = QString::number(id);
    int row = -1;
    for (int r = LedgerGrid::FixedRows; r < grid.rowCount() && row < 0; ++r) {
        if (grid.cellText(r, 0) == key)
            row = r;
    }
    if (row < 0) {
        m_errors << u"entry window (modify): no grid row holds the record %1"_s.arg(id);
        return -1;
    }
    grid.setCurrentCell(row, 3);
    QString shownName;
    const double ms = timeWindowOpen(MainWindow::ModifyRecord, u"entry"_s,
                                     [&shownName](LedgerWindow* window) { shownName = window->text(u"姓名编辑框"_s); });
    noteBoxes(u"entry window (modify)"_s);
    if (shownName != grid.cellText(row, 3)) {
        m_errors << u"entry window (modify): shows the name \"%1\", not \"%2\""_s.arg(shownName, grid.cellText(row, 3));
        return -1;
    }
    return ms;
}

} // namespace ovelta::bench
