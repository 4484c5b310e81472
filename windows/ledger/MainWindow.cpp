#include "windows/ledger/MainWindow.h"

#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"
#include "ui/base/SharedState.h"
#include "ui/grid/LedgerGrid.h"
#include "ui/window/Catalogue.h"
#include "windows/common/AmountCapitals.h"
#include "windows/ledger/DetailsWindow.h"
#include "windows/ledger/EntryWindow.h"
#include "windows/ledger/GridCommands.h"
#include "windows/ledger/LedgerFill.h"
#include "windows/ledger/LedgerUpdate.h"
#include "windows/ledger/ListWindow.h"
#include "windows/ledger/MainMenu.h"
#include "windows/ledger/PasswordWindow.h"
#include "windows/ledger/SearchWindow.h"

#include <QAction>
#include <QLabel>
#include <QToolBar>

using namespace Qt::StringLiterals;

namespace ovelta {

MainWindow::MainWindow(QWidget* parent, Build build)
    : LedgerWindow(Catalogue::mainWindow(), parent, build)
    , m_connection(new DatabaseConnection(this))
    , m_records(new RecordSet(this))
    , m_external(new ExternalDatabase(this))
{
    m_connection->setObjectName(u"数据库连接"_s);
    m_records->setObjectName(u"记录集"_s);
    m_external->setObjectName(u"外部数据库"_s);
    m_records->bind(m_connection);

    // The data layer's only message: a refused open of the record set shows the engine's own text under the
    // system's own title for such boxes, not the program's "信息：".
    RecordSet::setErrorReporter([](const QString& engineMessage) { MessageBox::show(engineMessage, u"错误"_s); });
    if (controlsBuilt())
        wireControls();
}

MainWindow::~MainWindow() = default;

void MainWindow::wireControls()
{
    m_controls = MainControls::from(*this);
    m_controls.grid->setAmountToolTip(&AmountCapitals::toolTip);
    // Each toolbar action carries the 0-based index of its button.
    connect(m_controls.toolBar, &QToolBar::actionTriggered, this,
            [this](QAction* action) { runCommand(action->data().toInt()); });
    // The keys of the toolbar's everyday commands, which the menu bar shows.
    const QList<QPair<Command, QKeySequence>> keys = {
        {AddRecord, QKeySequence(Qt::CTRL | Qt::Key_N)},
        {DeleteRecord, QKeySequence(Qt::Key_Delete)},
        {Search, QKeySequence(Qt::CTRL | Qt::Key_F)},
        {Print, QKeySequence(Qt::CTRL | Qt::Key_P)},
        {Refresh, QKeySequence(Qt::Key_F5)},
    };
    for (const auto& [command, key] : keys) {
        QAction* action = commandAction(command);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    connect(m_controls.grid, &LedgerGrid::cellDoubleClicked, this, &MainWindow::openDetails);
    installGridCommands(*this);
    installMainMenu(*this);
    fitMenuBar();
}

void MainWindow::setStartupStep(std::function<bool()> step)
{
    m_startupStep = std::move(step);
}

DatabaseObjects MainWindow::database()
{
    return {*m_connection, *m_records, *m_external};
}

LedgerGrid& MainWindow::grid()
{
    return *m_controls.grid;
}

void MainWindow::ledgerRefill()
{
    LedgerFill::refill(*m_records, *m_controls.grid);
    LedgerUpdate::refilled(*this);
}

void MainWindow::bringLedgerToFront()
{
    bringToFront();
}

QString MainWindow::productLine()
{
    return u"Ovelta V1.3"_s;
}

void MainWindow::created()
{
    if (m_startupStep && !m_startupStep())
        return;
    if (!controlsBuilt()) {
        buildControls();
        wireControls();
    }
    m_controls.grid->setRowColours(QColor(236, 236, 236), QColor(192, 192, 192));
    ledgerRefill();
    m_controls.productPane->setText(productLine());
    m_controls.datePane->setText(u" "_s + LedgerGrid::dateText(Program::now().date()));
}

bool MainWindow::closeQuery()
{
    if (MessageBox::show(u"退出系统？"_s, u"退出提示"_s, MessageBox::YesNo, MessageBox::Warning, 1) == MessageBox::Yes)
        Program::end(0);
    return false;
}

void MainWindow::aboutToBeDestroyed()
{
    m_records->close();
    m_connection->close();
}

void MainWindow::runCommand(int index)
{
    switch (index) {
    case AddRecord:
        addRecord();
        break;
    case ModifyRecord:
        modifyRecord();
        break;
    case DeleteRecord:
        deleteRecord();
        break;
    case Search:
        (new SearchWindow(*this))->openModal();
        break;
    case Relations:
        (new ListWindow(*this, ListWindow::Relations))->openModal();
        break;
    case Occasions:
        (new ListWindow(*this, ListWindow::Occasions))->openModal();
        break;
    case Print:
        m_controls.grid->openPrintPreview();
        break;
    case ChangePassword:
        (new PasswordWindow(*this))->openModal();
        break;
    case Refresh:
        ledgerRefill();
        break;
    case Exit:
        confirmExit();
        break;
    default:
        break;
    }
}

QAction* MainWindow::commandAction(Command command) const
{
    return m_controls.toolActions.at(command);
}

bool MainWindow::hasCurrentRecord() const
{
    // A focus on a fixed row would hand the header text "ID" to modify and delete as a record key.
    return m_controls.grid->currentRow() >= LedgerGrid::FixedRows && m_controls.grid->currentColumn() >= 0;
}

void MainWindow::addRecord()
{
    SharedState::instance().entryMode = u"添加"_s;
    (new EntryWindow(*this))->openModal();
}

void MainWindow::modifyRecord()
{
    if (!hasCurrentRecord()) {
        MessageBox::show(u"请选择要修改的账目。"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Warning);
        return;
    }
    SharedState& shared = SharedState::instance();
    shared.selectedRecordId = m_controls.grid->cellText(m_controls.grid->currentRow(), 0);
    shared.entryMode = u"修改"_s;
    (new EntryWindow(*this))->openModal();
}

void MainWindow::deleteRecord()
{
    if (!hasCurrentRecord()) {
        MessageBox::show(u"请选择要删除的账目。"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Warning);
        return;
    }
    if (MessageBox::show(u"确定要删除选定的账目吗？\r\n数据删除后不可恢复。"_s, u"删除账目信息提示"_s,
                         MessageBox::YesNo, MessageBox::Warning, 1)
        != MessageBox::Yes)
        return;
    // The key comes from the grid's hidden ID column, which only ever holds a record's integer ID.
    const QString id = m_controls.grid->cellText(m_controls.grid->currentRow(), 0);
    SharedState::instance().selectedRecordId = id;
    const QString statement = LedgerStatements::deleteRecord(id);
    // A record that another program deleted in the meantime is not deleted here: that is a failure too.
    if (statement.isEmpty() || !m_connection->execute(statement) || m_connection->changedRows() != 1) {
        MessageBox::show(u"删除账目失败。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    MessageBox::show(u"成功删除账目信息。"_s, u"提示"_s, MessageBox::OkOnly, MessageBox::Information);
    LedgerUpdate::afterDelete(*this, id);
}

void MainWindow::confirmExit()
{
    if (MessageBox::show(u"确定要退出吗？"_s, u"退出提示"_s, MessageBox::YesNo, MessageBox::Warning, 1)
        == MessageBox::Yes)
        Program::end(0);
}

void MainWindow::openDetails()
{
    if (!hasCurrentRecord()) {
        MessageBox::show(u"没有选择数据！"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Warning);
        return;
    }
    (new DetailsWindow(*m_controls.grid))->openModal();
}

} // namespace ovelta
