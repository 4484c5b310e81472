#include "windows/ledger/EntryWindow.h"

#include "windows/common/AmountKeys.h"

#include "store/jet/DatabaseConnection.h"
#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/value/BlankText.h"
#include "store/value/Money.h"
#include "ui/base/DatePicker.h"
#include "ui/base/EditBox.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"
#include "ui/base/SharedState.h"
#include "ui/window/Catalogue.h"
#include "windows/common/LedgerHost.h"
#include "windows/ledger/LedgerUpdate.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

const QString AddMode = u"添加"_s;
const QString ModifyMode = u"修改"_s;
/// The columns of a ledger record.
const QStringList& recordColumns()
{
    static const QStringList columns{u"时间"_s, u"收送"_s, u"姓名"_s, u"关系"_s, u"类型"_s, u"金额"_s, u"说明"_s};
    return columns;
}

/// The amount as the window shows a stored one: rounded to cents with halves away from zero, then written with
/// at most 13 significant digits in the shortest form, as "%.13g" writes it (100, 66.6; 12.3456 shows 12.35).
QString shownAmount(qint64 ticks)
{
    const quint64 magnitude = ticks < 0 ? 0 - static_cast<quint64>(ticks) : static_cast<quint64>(ticks);
    const quint64 cents = magnitude / 100 + (magnitude % 100 >= 50 ? 1 : 0);
    const double value = static_cast<double>(cents) / 100;
    return QString::asprintf("%.13g", ticks < 0 && cents != 0 ? -value : value);
}

/// The text of a failure and, on a second line, why the engine refused it (when it said).
QString withReason(const QString& text, const QString& reason)
{
    return reason.isEmpty() ? text : text + u"\n"_s + reason;
}

} // namespace

EntryWindow::EntryWindow(LedgerHost& host, QWidget* parent)
    : LedgerWindow(Catalogue::entryWindow(), parent)
    , m_controls(EntryControls::from(*this))
    , m_host(host)
{
    connect(m_controls.save, &QPushButton::clicked, this, [this] { save(); });
    connect(m_controls.back, &QPushButton::clicked, this, [this] { returnToLedger(); });
    m_controls.amount->setCharFilter(&AmountKeys::filter);
}

void EntryWindow::openModal()
{
    LedgerHost& host = m_host;
    EntryWindow* window = this;
    for (;;) {
        bool reopen = false;
        window->m_reopenRequest = &reopen;
        // The window is gone once this returns; only the locals are left to read.
        window->LedgerWindow::openModal();
        if (!reopen || Program::hasEnded())
            return;
        window = new EntryWindow(host);
    }
}

void EntryWindow::created()
{
    const DatabaseObjects db = m_host.database();
    // A failed connect shows itself: the lists stay empty and a record to modify is not found.
    db.connection.connect(LedgerFile::name(), LedgerFile::sessionKey());
    db.recordSet.bind(&db.connection);

    fillList(m_controls.direction, u"收送"_s);
    fillList(m_controls.relation, u"关系"_s);
    fillList(m_controls.occasion, u"类型"_s);

    // The mode is fixed for the life of the window, whatever the shared text becomes later.
    m_mode = SharedState::instance().entryMode;
    QPushButton* saveButton = m_controls.save;
    if (m_mode == AddMode) {
        m_controls.date->setLocalDateTime(Program::now());
        saveButton->setText(AddMode);
        setWindowTitle(u"添加新的收支账目"_s);
    } else if (m_mode == ModifyMode) {
        saveButton->setText(u"保存"_s);
        setWindowTitle(u"修改编号为"_s + SharedState::instance().selectedRecordId + u"的账目信息"_s);
        loadRecord();
    }
    focus(m_controls.direction);
}

void EntryWindow::fillList(QComboBox* box, const QString& table)
{
    box->clear();
    RecordSet& records = m_host.database().recordSet;
    records.openTable(table);
    records.moveFirst();
    while (!records.atEnd()) {
        QString entry;
        records.readText(table, entry);
        box->addItem(entry);
        records.moveNext();
    }
    records.close();
    // A filled list starts without a selection: the user picks every entry of a new record.
    box->setCurrentIndex(-1);
}

void EntryWindow::loadRecord()
{
    RecordSet& records = m_host.database().recordSet;
    records.openTable(u"收送礼"_s);
    records.moveFirst();
    QString direction, name, relation, occasion, note;
    QDate date;
    qint64 ticks = 0;
    if (records.find(LedgerStatements::findRecord(SharedState::instance().selectedRecordId), 1)) {
        records.readText(u"收送"_s, direction);
        records.readText(u"姓名"_s, name);
        // The calendar date as stored: no conversion through the local time, which skips the midnight of
        // some days.
        records.readDate(u"时间"_s, date);
        records.readText(u"关系"_s, relation);
        records.readText(u"类型"_s, occasion);
        records.readCurrency(u"金额"_s, ticks);
        records.readText(u"说明"_s, note);
        // Every column as stored (a date-time as its canonical text, with its time of day), for a save that
        // leaves it alone.
        for (const QString& column : recordColumns()) {
            QString stored;
            if (column == u"金额"_s)
                stored = Money::toLiteral(ticks);
            else
                records.readText(column, stored);
            m_stored.insert(column, records.isNull(column) ? LedgerStatements::StoredValue() : stored);
        }
        records.close();
    } else {
        MessageBox::show(u"打开数据库错误！"_s, u"打开数据库错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        records.close();
        requestClose();
    }

    if (date.isValid())
        m_controls.date->setDate(date);
    selectExactly(m_controls.direction, direction);
    m_controls.name->setText(name);
    selectExactly(m_controls.occasion, occasion);
    // Only shown rounded: left alone, the amount goes back with every decimal it has.
    m_controls.amount->setText(shownAmount(ticks));
    selectExactly(m_controls.relation, relation);
    m_controls.note->setText(note);

    for (auto it = m_stored.cbegin(); it != m_stored.cend(); ++it)
        m_shown.insert(it.key(), shownState(it.key()));
}

bool EntryWindow::isUnchanged(const QString& column) const
{
    return m_stored.contains(column) && shownState(column) == m_shown.value(column);
}

QWidget* EntryWindow::editorOf(const QString& column) const
{
    const QList<std::pair<QString, QWidget*>> editors{
        {u"时间"_s, m_controls.date},     {u"收送"_s, m_controls.direction}, {u"姓名"_s, m_controls.name},
        {u"关系"_s, m_controls.relation}, {u"类型"_s, m_controls.occasion},  {u"金额"_s, m_controls.amount},
        {u"说明"_s, m_controls.note},
    };
    for (const auto& [name, editor] : editors) {
        if (name == column)
            return editor;
    }
    return nullptr;
}

QString EntryWindow::shownState(const QString& column) const
{
    QWidget* editor = editorOf(column);
    if (editor == nullptr)
        return {};
    if (editor == m_controls.date)
        return m_controls.date->date().toString(Qt::ISODate);
    if (const auto* box = qobject_cast<QComboBox*>(editor))
        return QString::number(box->currentIndex());
    return qobject_cast<EditBox*>(editor)->text();
}

void EntryWindow::selectExactly(QComboBox* box, const QString& text)
{
    int index = -1;
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i) == text) {
            index = i;
            break;
        }
    }
    box->setCurrentIndex(index);
}

void EntryWindow::warnAndFocus(const QString& text, QWidget* control)
{
    MessageBox::show(text, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Information);
    focus(control);
}

void EntryWindow::save()
{
    LedgerStatements::EntryValues values;
    values.date = m_controls.date->date();

    QComboBox* directionBox = m_controls.direction;
    if (directionBox->currentIndex() < 0) {
        warnAndFocus(u"请选择是收礼还是送礼。"_s, directionBox);
        return;
    }
    values.direction = directionBox->currentText();

    values.relation = m_controls.relation->currentText();
    if (BlankText::trimmed(values.relation).isEmpty()) {
        warnAndFocus(u"请选择所属关系。"_s, m_controls.relation);
        return;
    }

    const QString amountText = m_controls.amount->text();
    // Blanks are content here; a text of blanks only is refused by the number check below.
    if (amountText.isEmpty()) {
        warnAndFocus(u"请输入账目的金额。"_s, m_controls.amount);
        return;
    }
    // An amount left as shown is not read from its rounded text: the stored one goes back.
    if (!isUnchanged(u"金额"_s)) {
        const std::optional<qint64> ticks = Money::parseUserAmount(amountText);
        if (!ticks) {
            warnAndFocus(u"请输入正确的账目金额。"_s, m_controls.amount);
            return;
        }
        values.amountTicks = *ticks;
    }

    QComboBox* occasionBox = m_controls.occasion;
    if (occasionBox->currentIndex() < 0) {
        warnAndFocus(u"请选择所属类型。"_s, occasionBox);
        return;
    }
    values.occasion = occasionBox->currentText();

    values.note = m_controls.note->text();
    values.name = m_controls.name->text();

    DatabaseConnection& connection = m_host.database().connection;
    if (m_mode == AddMode) {
        if (!connection.execute(LedgerStatements::addRecord(values))) {
            MessageBox::show(withReason(u"添加账目失败。"_s, connection.lastError()), u"添加账目失败"_s,
                             MessageBox::OkOnly, MessageBox::Stop);
            return;
        }
        MessageBox::show(u"成功添加账目信息。"_s, u"添加账目成功"_s, MessageBox::OkOnly, MessageBox::Information);
        LedgerUpdate::afterAdd(m_host);
        reopenForNextRecord();
    } else if (m_mode == ModifyMode) {
        const MessageBox::Answer answer = MessageBox::show(u"确定要修改选定的账目吗？"_s, u"修改账目信息提示"_s,
                                                           MessageBox::YesNo, MessageBox::Question, 1);
        if (answer != MessageBox::Yes)
            return;
        // What the user left as it was goes back exactly as stored.
        LedgerStatements::UnchangedColumns unchanged;
        for (auto it = m_stored.cbegin(); it != m_stored.cend(); ++it) {
            if (isUnchanged(it.key()))
                unchanged.insert(it.key(), it.value());
        }
        const QString statement
            = LedgerStatements::modifyRecord(values, SharedState::instance().selectedRecordId, unchanged);
        const bool ran = !statement.isEmpty() && connection.execute(statement);
        // A record that another program deleted since the window opened is not stored: that is a failure too,
        // with no reason from the engine.
        if (!ran || connection.changedRows() != 1) {
            const QString reason = !statement.isEmpty() && !ran ? connection.lastError() : QString();
            MessageBox::show(withReason(u"修改账目失败。"_s, reason), u"修改账目失败"_s, MessageBox::OkOnly,
                             MessageBox::Stop);
            return;
        }
        MessageBox::show(u"成功修改账目信息。"_s, u"修改账目成功"_s, MessageBox::OkOnly, MessageBox::Information);
        LedgerUpdate::afterModify(m_host, SharedState::instance().selectedRecordId);
        requestClose();
    }
}

void EntryWindow::reopenForNextRecord()
{
    if (m_reopenRequest != nullptr) {
        *m_reopenRequest = true;
    } else {
        // Opened without this class's loop: the fresh window follows once this one is gone.
        LedgerHost* host = &m_host;
        QTimer::singleShot(0, QCoreApplication::instance(), [host] { (new EntryWindow(*host))->openModal(); });
    }
    requestClose();
}

void EntryWindow::returnToLedger()
{
    requestClose();
    m_host.bringLedgerToFront();
}

} // namespace ovelta
