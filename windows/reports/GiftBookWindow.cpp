#include "windows/reports/GiftBookWindow.h"
#include "store/value/BlankText.h"

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerTotals.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/value/Money.h"
#include "store/value/Pinyin.h"
#include "ui/base/EditBox.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"
#include "windows/common/AmountCapitals.h"
#include "windows/common/AmountKeys.h"
#include "windows/common/LedgerHost.h"
#include "windows/common/ReportText.h"
#include "windows/reports/GiftBookPrint.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <limits>
#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

const QString Title = u"礼簿"_s;
const QString Prompt = u"系统提示"_s;
constexpr int MaxCandidates = 8;
/// The days of events read at a time for the list of earlier events; the next ones when it is scrolled to its end.
constexpr int EventDaysPerPage = 40;
enum Column { NameColumn, RelationColumn, AmountColumn, NoteColumn, ColumnCount };

/// The first date the date box offers stands for the records without a date.
const QDate NoDate(1752, 9, 14);

bool isEnter(const QKeyEvent* key)
{
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !(key->modifiers() & ~Qt::KeypadModifier);
}

/// Selects the entry with exactly that text, adding it (in this window only) when the list lacks it, so that
/// an event of the ledger shows whatever it was stored with.
void selectText(QComboBox* box, const QString& text)
{
    int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        box->addItem(text);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

/// The relation column edits with a drop-down of the 关系 list, as the entry line does.
class RelationDelegate : public QStyledItemDelegate
{
public:
    RelationDelegate(const QStringList& relations, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_relations(relations)
    {
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* box = new QComboBox(parent);
        box->setObjectName(u"关系编辑框"_s);
        box->addItems(m_relations);
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        selectText(static_cast<QComboBox*>(editor), index.data().toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }

private:
    QStringList m_relations;
};

QString sumText(Sum total)
{
    if (total < std::numeric_limits<qint64>::min() || total > std::numeric_limits<qint64>::max())
        return ReportText::money(total) + u"　大写：超出范围"_s;
    return ReportText::money(total) + u"　大写："_s + Money::toCapitals(qint64(total));
}

} // namespace

QColor GiftBookWindow::warningColour()
{
    return QColor(0xC0, 0x40, 0x00);
}

GiftBookWindow::GiftBookWindow(LedgerHost& host, QWidget* parent)
    : ReportWindow(u"giftBook"_s, Title, parent)
    , m_host(host)
    , m_date(new QDateEdit(this))
    , m_kind(new QComboBox(this))
    , m_direction(new QComboBox(this))
    , m_events(new QComboBox(this))
    , m_name(new EditBox(this))
    , m_candidates(new QListWidget(this))
    , m_relation(new QComboBox(this))
    , m_amount(new EditBox(this))
    , m_capitals(new QLabel(this))
    , m_note(new QLineEdit(this))
    , m_store(new QPushButton(u"登记(&A)"_s, this))
    , m_summary(new QLabel(this))
    , m_table(new QTableWidget(0, ColumnCount, this))
    , m_delete(new QPushButton(u"删除(&S)"_s, this))
    , m_undo(new QPushButton(u"撤销(&U)"_s, this))
    , m_printStyle(new QComboBox(this))
    , m_print(new QPushButton(u"打印(&P)"_s, this))
{
    buildLayout();
    m_warnTimer = new QTimer(this);
    m_warnTimer->setInterval(0);
    connect(m_warnTimer, &QTimer::timeout, this, [this] { warnNextRows(); });

    connect(m_date, &QDateEdit::dateChanged, this, [this] { readEvent(); });
    connect(m_kind, &QComboBox::currentIndexChanged, this, [this] { readEvent(); });
    connect(m_direction, &QComboBox::currentIndexChanged, this, [this] { readEvent(); });
    connect(m_events, &QComboBox::activated, this, [this](int index) { chooseEvent(index); });
    QScrollBar* eventsBar = m_events->view()->verticalScrollBar();
    connect(eventsBar, &QScrollBar::valueChanged, this, [this, eventsBar](int value) {
        if (value == eventsBar->maximum())
            readMoreEvents();
    });
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& typed) { updateCandidates(typed); });
    connect(m_candidates, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        m_name->setText(item->text());
        m_candidates->hide();
        nameChosen();
        m_relation->setFocus(Qt::OtherFocusReason);
    });
    connect(m_amount, &QLineEdit::textChanged, this, [this] { updateAmountHint(); });
    connect(m_store, &QPushButton::clicked, this, [this] { storeLine(); });
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) { cellChanged(item); });
    connect(m_delete, &QPushButton::clicked, this, [this] { deleteCurrentLine(); });
    connect(m_undo, &QPushButton::clicked, this, [this] { takeBackLastLine(); });
    auto* undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
    undo->setObjectName(u"撤销键"_s);
    undo->setContext(Qt::WindowShortcut);
    connect(undo, &QShortcut::activated, this, [this] { takeBackLastLine(); });
    connect(m_print, &QPushButton::clicked, this, [this] { printBook(); });
    auto* printKey = new QShortcut(QKeySequence::Print, this);
    printKey->setObjectName(u"打印键"_s);
    printKey->setContext(Qt::WindowShortcut);
    connect(printKey, &QShortcut::activated, this, [this] { printBook(); });
}

GiftBookWindow::~GiftBookWindow()
{
    // The thread making the names' pinyin stops at the next name; the future waits for it.
    if (m_stopKeys)
        *m_stopKeys = true;
}

void GiftBookWindow::buildLayout()
{
    m_date->setObjectName(u"日期框"_s);
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(u"yyyy年M月d日"_s);
    m_date->setMinimumDate(NoDate);
    m_date->setSpecialValueText(u"无日期"_s);
    m_kind->setObjectName(u"类型框"_s);
    m_direction->setObjectName(u"收送框"_s);
    m_direction->setToolTip(u"收礼：自家办酒席，记下来宾送的礼；送礼：记下自家送出的礼"_s);
    m_events->setObjectName(u"酒席列表"_s);
    m_events->setPlaceholderText(u"选择账簿中已有的酒席"_s);
    m_events->setMinimumContentsLength(30);
    // Its width from that length alone: measuring every event's text of a large ledger takes seconds.
    m_events->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_name->setObjectName(u"姓名框"_s);
    m_name->setPlaceholderText(u"汉字或拼音"_s);
    m_candidates->setObjectName(u"候选名单"_s);
    m_candidates->setFocusPolicy(Qt::NoFocus);
    m_candidates->hide();
    m_relation->setObjectName(u"关系框"_s);
    m_amount->setObjectName(u"金额框"_s);
    m_amount->setCharFilter(&AmountKeys::filter);
    m_capitals->setObjectName(u"金额大写标签"_s);
    m_capitals->setMinimumWidth(220);
    m_note->setObjectName(u"说明框"_s);
    m_store->setObjectName(u"登记按钮"_s);
    m_summary->setObjectName(u"合计标签"_s);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = m_summary->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    m_summary->setFont(big);
    m_table->setObjectName(u"礼簿表"_s);
    m_table->setHorizontalHeaderLabels({u"姓名"_s, u"关系"_s, u"金额"_s, u"说明"_s});
    m_table->setTabKeyNavigation(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {180, 100, 160};
    for (int c = 0; c < 3; ++c)
        m_table->setColumnWidth(c, widths[c]);
    m_delete->setObjectName(u"删除按钮"_s);
    m_undo->setObjectName(u"撤销按钮"_s);
    m_undo->setToolTip(u"撤销最后登记的一笔（Ctrl+Z）"_s);
    m_printStyle->setObjectName(u"版式框"_s);
    m_printStyle->addItem(u"传统礼簿（竖排）"_s, int(GiftBookPrint::Book));
    m_printStyle->addItem(u"表格"_s, int(GiftBookPrint::Table));
    m_printStyle->setToolTip(u"打印成传统的竖排礼簿，或者打印成表格"_s);
    m_print->setObjectName(u"打印按钮"_s);
    m_print->setToolTip(u"打印这次酒席的礼簿（Ctrl+P）"_s);
    auto* closeButton = new QPushButton(u"关闭(&C)"_s, this);
    closeButton->setObjectName(u"关闭按钮"_s);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    const auto label = [this](const QString& caption, QWidget* buddy) {
        auto* l = new QLabel(caption, this);
        l->setBuddy(buddy);
        return l;
    };
    auto* event = new QHBoxLayout;
    event->addWidget(label(u"日期(&D)："_s, m_date));
    event->addWidget(m_date);
    event->addWidget(label(u"类型(&K)："_s, m_kind));
    event->addWidget(m_kind);
    event->addWidget(label(u"收送(&G)："_s, m_direction));
    event->addWidget(m_direction);
    event->addSpacing(16);
    event->addWidget(label(u"以前的酒席(&E)："_s, m_events));
    event->addWidget(m_events, 1);

    auto* entry = new QGridLayout;
    entry->addWidget(label(u"姓名(&N)"_s, m_name), 0, 0);
    entry->addWidget(label(u"关系(&R)"_s, m_relation), 0, 1);
    entry->addWidget(label(u"金额(&M)"_s, m_amount), 0, 2);
    entry->addWidget(label(u"说明(&T)"_s, m_note), 0, 4);
    entry->addWidget(m_name, 1, 0);
    entry->addWidget(m_relation, 1, 1);
    entry->addWidget(m_amount, 1, 2);
    entry->addWidget(m_capitals, 1, 3);
    entry->addWidget(m_note, 1, 4);
    entry->addWidget(m_store, 1, 5);
    entry->setColumnStretch(0, 2);
    entry->setColumnStretch(2, 2);
    entry->setColumnStretch(4, 3);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(m_delete);
    bottom->addWidget(m_undo);
    bottom->addSpacing(16);
    bottom->addWidget(label(u"版式(&B)："_s, m_printStyle));
    bottom->addWidget(m_printStyle);
    bottom->addWidget(m_print);
    bottom->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(event);
    layout->addLayout(entry);
    layout->addWidget(m_summary);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);

    QWidget* order[] = {m_date,   m_kind, m_direction, m_events, m_name,   m_relation,
                        m_amount, m_note, m_store,     m_table,  m_delete, m_undo};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    setTabOrder(m_undo, m_printStyle);
    setTabOrder(m_printStyle, m_print);
    setTabOrder(m_print, closeButton);
    for (QWidget* field :
         {static_cast<QWidget*>(m_date), static_cast<QWidget*>(m_kind), static_cast<QWidget*>(m_direction),
          static_cast<QWidget*>(m_events), static_cast<QWidget*>(m_name), static_cast<QWidget*>(m_relation),
          static_cast<QWidget*>(m_amount), static_cast<QWidget*>(m_note), static_cast<QWidget*>(m_table)})
        field->installEventFilter(this);
    // Enter presses the button that has the focus, as Space does.
    for (QPushButton* button : findChildren<QPushButton*>())
        button->installEventFilter(this);
}

bool GiftBookWindow::load()
{
    m_engine = m_host.database().connection.ready();
    if (!m_engine) {
        MessageBox::show(u"无法打开账簿：\n"_s + m_host.database().connection.lastError(), Title, MessageBox::OkOnly,
                         MessageBox::Stop);
        return false;
    }
    // A person's records are looked up at every name and amount: the program's index of names finds them at once.
    // Without them (a read-only file) every read still works, more slowly.
    (void)LedgerTotals(m_engine.get()).ensurePersonIndex();
    LedgerEvents store(m_engine.get());
    (void)store.ensureIndexes();
    const auto kinds = LedgerTransfer::listEntries(*m_engine, u"类型"_s);
    const auto directions = LedgerTransfer::listEntries(*m_engine, u"收送"_s);
    const auto relations = LedgerTransfer::listEntries(*m_engine, u"关系"_s);
    auto events = store.eventPage(QDate(), EventDaysPerPage);
    const auto names = store.names();
    if (!kinds || !directions || !relations || !events || !names) {
        const QString reason = !kinds ? kinds.errorText()
            : !directions             ? directions.errorText()
            : !relations              ? relations.errorText()
            : !events                 ? events.errorText()
                                      : names.errorText();
        MessageBox::show(u"无法读取账簿：\n"_s + reason, Title, MessageBox::OkOnly, MessageBox::Stop);
        return false;
    }
    m_relations = *relations;
    m_eventList = std::move(events->events);
    m_eventsBefore = events->oldestDay;
    m_eventsRead = events->last;
    for (const GiftEvent& e : std::as_const(m_eventList))
        m_events->addItem(eventText(e));
    for (const QString& name : *names)
        m_people.append({name, {}});
    m_opened = m_people.size();
    // The names' pinyin is made while the first guest's name is typed; a large ledger has many thousand names.
    m_stopKeys = std::make_shared<std::atomic<bool>>(false);
    m_keys = std::async(std::launch::async, [names = *names, stop = m_stopKeys] {
        NameIndex index;
        index.keys.reserve(names.size());
        for (const QString& name : names) {
            if (*stop)
                return index;
            index.keys.append(Pinyin::keysOf(name));
        }
        index.starts.reserve(names.size() * 3);
        for (qsizetype i = 0; i < names.size(); ++i) {
            index.starts.append({names.at(i).trimmed().toLower(), i});
            for (const QString& key : index.keys.at(i))
                index.starts.append({key, i});
        }
        std::sort(index.starts.begin(), index.starts.end());
        return index;
    });

    // Once the pinyin is made, a name being typed is offered by it too, without waiting for the next key.
    auto* keysPoll = new QTimer(this);
    keysPoll->setInterval(20);
    connect(keysPoll, &QTimer::timeout, this, [this, keysPoll] {
        if (!keysReady())
            return;
        keysPoll->stop();
        makeKeys();
        if (m_name->hasFocus() && !BlankText::trimmed(m_name->text()).isEmpty())
            updateCandidates(m_name->text());
    });
    keysPoll->start();

    m_filling = true;
    m_kind->addItems(*kinds);
    m_direction->addItems(*directions);
    m_relation->addItems(m_relations);
    m_relation->setMinimumContentsLength(4);
    m_kind->setMinimumContentsLength(4);
    m_relation->setCurrentIndex(-1);
    m_table->setItemDelegateForColumn(RelationColumn, new RelationDelegate(m_relations, m_table));
    // A book opened again on the day of its banquet goes on with it; otherwise a new one of today.
    const QDate today = Program::now().date();
    if (!m_eventList.isEmpty() && m_eventList.first().key.date == today) {
        const EventKey& last = m_eventList.first().key;
        m_date->setDate(today);
        selectText(m_kind, last.occasion);
        selectText(m_direction, last.direction);
    } else {
        m_date->setDate(today);
        m_kind->setCurrentIndex(m_kind->count() > 0 ? 0 : -1);
        const int received = m_direction->findText(u"收礼"_s);
        m_direction->setCurrentIndex(received >= 0 ? received : (m_direction->count() > 0 ? 0 : -1));
    }
    m_filling = false;
    readEvent();
    m_name->setFocus(Qt::OtherFocusReason);
    return true;
}

EventKey GiftBookWindow::event() const
{
    const QDate date = m_date->date();
    return {date == NoDate ? QDate() : date, m_kind->currentText(), m_direction->currentText()};
}

void GiftBookWindow::readEvent()
{
    if (m_filling || !m_engine)
        return;
    LedgerEvents store(m_engine.get());
    auto lines = store.records(event());
    if (!lines) {
        MessageBox::show(u"无法读取这次酒席的账目：\n"_s + lines.errorText(), Title, MessageBox::OkOnly,
                         MessageBox::Stop);
        m_lines.clear();
    } else {
        m_lines = std::move(*lines);
    }
    fillTable();
    updateEventList();
}

void GiftBookWindow::chooseEvent(int index)
{
    if (index < 0 || index >= m_eventList.size())
        return;
    const EventKey key = m_eventList.at(index).key;
    m_filling = true;
    m_date->setDate(key.date.isValid() ? key.date : NoDate);
    selectText(m_kind, key.occasion);
    selectText(m_direction, key.direction);
    m_filling = false;
    readEvent();
}

void GiftBookWindow::fillTable()
{
    m_filling = true;
    m_table->setRowCount(int(m_lines.size()));
    // Each line's look at the person's records in a large ledger takes a moment: the lines are shown first.
    m_unwarned.clear();
    for (int row = 0; row < m_lines.size(); ++row) {
        setRow(row, m_lines.at(row), false);
        m_unwarned.append(m_lines.at(row).id);
    }
    m_filling = false;
    showSummary();
    if (!m_unwarned.isEmpty())
        m_warnTimer->start();
}

void GiftBookWindow::warnNextRows()
{
    for (int done = 0; done < 25 && !m_unwarned.isEmpty(); ++done) {
        const qint64 id = m_unwarned.takeFirst();
        for (int row = 0; row < m_lines.size(); ++row) {
            if (m_lines.at(row).id == id) {
                setRow(row, m_lines.at(row));
                break;
            }
        }
    }
    if (m_unwarned.isEmpty())
        m_warnTimer->stop();
}

void GiftBookWindow::setRow(int row, const GiftRecord& record, bool askLedger)
{
    const bool filling = m_filling;
    m_filling = true;
    const QStringList texts{record.line.name, record.line.relation, ReportText::exact(record.line.ticks),
                            record.line.note};
    for (int c = 0; c < ColumnCount; ++c) {
        QTableWidgetItem* item = m_table->item(row, c);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            m_table->setItem(row, c, item);
        }
        item->setText(texts.at(c));
        item->setToolTip(c == NameColumn || c == NoteColumn ? texts.at(c) : QString());
    }
    m_table->item(row, NameColumn)->setData(Qt::UserRole, record.id);
    QTableWidgetItem* amount = m_table->item(row, AmountColumn);
    amount->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const QString warning = amountWarning(askLedger ? record.line.name : QString(), record.line.ticks, record.id);
    amount->setForeground(warning.isEmpty() ? m_table->palette().brush(QPalette::Text) : QBrush(warningColour()));
    amount->setToolTip(warning.isEmpty() ? AmountCapitals::toolTip(record.line.ticks)
                                         : warning + u'\n' + AmountCapitals::toolTip(record.line.ticks));
    m_filling = filling;
}

QString GiftBookWindow::summary() const
{
    Sum total = 0;
    for (const GiftRecord& record : m_lines)
        total += record.line.ticks;
    return u"来宾 %1 位　合计 %2"_s.arg(m_lines.size()).arg(sumText(total));
}

void GiftBookWindow::showSummary()
{
    m_summary->setText(summary());
}

QString GiftBookWindow::eventText(const GiftEvent& e)
{
    const QString date = e.key.date.isValid() ? ReportText::date(e.key.date) : u"无日期"_s;
    return u"%1　%2　%3　%4 笔　%5"_s.arg(date, e.key.occasion, e.key.direction)
        .arg(e.count)
        .arg(ReportText::money(e.total));
}

qsizetype GiftBookWindow::setEventEntry(const GiftEvent& event)
{
    const QSignalBlocker blocker(m_events);
    qsizetype at = -1;
    for (qsizetype i = 0; i < m_eventList.size() && at < 0; ++i) {
        if (m_eventList.at(i).key == event.key)
            at = i;
    }
    if (at >= 0) {
        m_eventList.removeAt(at);
        m_events->removeItem(int(at));
    }
    if (event.count <= 0)
        return -1;
    // An event older than the pages read so far is listed in its place too; the page it is on later replaces it.
    at = std::find_if(m_eventList.cbegin(), m_eventList.cend(),
                      [&](const GiftEvent& e) { return listedBefore(event, e); })
        - m_eventList.cbegin();
    m_eventList.insert(at, event);
    m_events->insertItem(int(at), eventText(event));
    return at;
}

void GiftBookWindow::readMoreEvents()
{
    if (m_eventsRead || !m_engine)
        return;
    LedgerEvents store(m_engine.get());
    const auto page = store.eventPage(m_eventsBefore, EventDaysPerPage);
    if (!page) {
        // The list stays as it is; scrolling to its end asks again.
        MessageBox::show(u"无法读取以前的酒席：\n"_s + page.errorText(), Title, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    m_eventsBefore = page->oldestDay;
    m_eventsRead = page->last;
    const int current = m_events->currentIndex();
    const EventKey chosen = current >= 0 ? m_eventList.at(current).key : EventKey();
    for (const GiftEvent& e : page->events)
        setEventEntry(e);
    if (current >= 0) {
        const QSignalBlocker blocker(m_events);
        for (qsizetype i = 0; i < m_eventList.size(); ++i) {
            if (m_eventList.at(i).key == chosen)
                m_events->setCurrentIndex(int(i));
        }
    }
}

void GiftBookWindow::updateEventList()
{
    GiftEvent current{event(), m_lines.size(), 0, 0};
    for (const GiftRecord& record : m_lines) {
        current.total += record.line.ticks;
        current.newest = std::max(current.newest, record.id);
    }
    const qsizetype at = setEventEntry(current);
    const QSignalBlocker blocker(m_events);
    m_events->setCurrentIndex(int(at));
}

void GiftBookWindow::refuse(const QString& text, QWidget* focus)
{
    MessageBox::show(text, Prompt, MessageBox::OkOnly, MessageBox::Information);
    if (focus != nullptr)
        focus->setFocus(Qt::OtherFocusReason);
}

void GiftBookWindow::storeLine()
{
    m_candidates->hide();
    if (m_kind->currentIndex() < 0)
        return refuse(u"请选择所属类型。"_s, m_kind);
    if (m_direction->currentIndex() < 0)
        return refuse(u"请选择是收礼还是送礼。"_s, m_direction);
    GiftLine line;
    line.name = BlankText::trimmed(m_name->text());
    if (line.name.isEmpty())
        return refuse(u"请输入姓名。"_s, m_name);
    line.relation = m_relation->currentText();
    if (BlankText::trimmed(line.relation).isEmpty())
        return refuse(u"请选择所属关系。"_s, m_relation);
    if (m_amount->text().isEmpty())
        return refuse(u"请输入账目的金额。"_s, m_amount);
    const std::optional<qint64> ticks = Money::parseUserAmount(m_amount->text());
    if (!ticks)
        return refuse(u"请输入正确的账目金额。"_s, m_amount);
    line.ticks = *ticks;
    line.note = m_note->text();

    const QString person = LedgerTotals::personKey(line.name);
    for (const GiftRecord& record : m_lines) {
        if (LedgerTotals::personKey(record.line.name) != person)
            continue;
        const auto answer = MessageBox::show(u"这次酒席的礼簿中已经有“%1”，还要再登记一笔吗？"_s.arg(line.name), Title,
                                             MessageBox::YesNo, MessageBox::Question, 1);
        if (answer != MessageBox::Yes) {
            m_name->setFocus(Qt::OtherFocusReason);
            return;
        }
        break;
    }

    LedgerEvents store(m_engine.get());
    const Result<qint64> id = store.add(event(), line);
    if (!id) {
        MessageBox::show(u"没有存入账簿：\n"_s + id.errorText(), Title, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    m_changed = true;
    m_stored.append({*id, event(), line});
    // The names are without blanks at both ends already: the person is the name with ASCII letters in lower case.
    const auto samePerson = [&person](const QString& name) {
        if (name.size() != person.size())
            return false;
        for (qsizetype i = 0; i < name.size(); ++i) {
            const char16_t c = name.at(i).unicode();
            if ((c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c) != person.at(i).unicode())
                return false;
        }
        return true;
    };
    if (std::none_of(m_people.cbegin(), m_people.cend(), [&](const Person& p) { return samePerson(p.name); }))
        m_people.append({line.name, m_keysMade ? Pinyin::keysOf(line.name) : QStringList()});

    m_lines.prepend(GiftRecord{*id, line});
    m_filling = true;
    m_table->insertRow(0);
    setRow(0, m_lines.first());
    m_filling = false;
    showSummary();
    updateEventList();
    clearLine();
}

void GiftBookWindow::clearLine()
{
    m_name->clear();
    m_relation->setCurrentIndex(-1);
    m_amount->clear();
    m_note->clear();
    m_candidates->hide();
    m_name->setFocus(Qt::OtherFocusReason);
}

void GiftBookWindow::enterPressed(QWidget* field)
{
    if (auto* button = qobject_cast<QPushButton*>(field))
        return button->click();
    QWidget* next = nullptr;
    if (field == m_date)
        next = m_kind;
    else if (field == m_kind)
        next = m_direction;
    else if (field == m_direction || field == m_events)
        next = m_name;
    else if (field == m_name) {
        if (m_candidates->isVisible() && m_candidates->currentRow() >= 0)
            m_name->setText(m_candidates->currentItem()->text());
        m_candidates->hide();
        nameChosen();
        next = m_relation;
    } else if (field == m_relation)
        next = m_amount;
    else if (field == m_amount)
        next = m_note;
    else if (field == m_note)
        return storeLine();
    if (next != nullptr)
        next->setFocus(Qt::TabFocusReason);
}

void GiftBookWindow::nameChosen()
{
    const QString name = BlankText::trimmed(m_name->text());
    if (name.isEmpty() || !m_engine)
        return;
    const auto facts = LedgerEvents(m_engine.get()).personFacts(name);
    if (facts && facts->known) {
        const int index = m_relation->findText(facts->relation, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index >= 0)
            m_relation->setCurrentIndex(index);
    }
    updateAmountHint();
}

void GiftBookWindow::updateCandidates(const QString& typed)
{
    m_candidates->clear();
    if (BlankText::trimmed(typed).isEmpty()) {
        m_candidates->hide();
        return;
    }
    const QString wanted = typed.trimmed().toLower();
    if (wanted.isEmpty()) {
        m_candidates->hide();
        return;
    }
    std::vector<bool> hit(std::size_t(m_people.size()), false);
    if (keysReady()) {
        makeKeys();
        // Every person one of whose texts starts with what was typed (as Pinyin::matches finds them).
        auto start
            = std::lower_bound(m_starts.cbegin(), m_starts.cend(), wanted,
                               [](const std::pair<QString, qsizetype>& s, const QString& w) { return s.first < w; });
        for (; start != m_starts.cend() && start->first.startsWith(wanted); ++start)
            hit[std::size_t(start->second)] = true;
        for (qsizetype i = m_indexed; i < m_people.size(); ++i)
            hit[std::size_t(i)] = Pinyin::matches(m_people.at(i).name, m_people.at(i).keys, typed);
    } else {
        // The pinyin is still being made: the names the window opened with (in order) that start with the
        // characters typed, and those stored since; the pinyin matches follow with the next key once it is made.
        const QString begun = typed.trimmed();
        const auto opened = m_people.cbegin() + m_opened;
        for (auto at = std::lower_bound(m_people.cbegin(), opened, begun,
                                        [](const Person&p, const QString&b) { return p.name < b; });
             at != opened && at->name.startsWith(begun); ++at)
            hit[std::size_t(at - m_people.cbegin())] = true;
        for (qsizetype i = m_opened; i < m_people.size(); ++i)
            hit[std::size_t(i)] = m_people.at(i).name.startsWith(begun);
    }
    // Names that start with what was typed come first, then those found by their pinyin, each in name order.
    QStringList found, byPinyin;
    for (qsizetype i = 0; i < m_people.size() && found.size() < MaxCandidates; ++i) {
        if (!hit[std::size_t(i)])
            continue;
        if (m_people.at(i).name.startsWith(typed.trimmed()))
            found << m_people.at(i).name;
        else if (byPinyin.size() < MaxCandidates)
            byPinyin << m_people.at(i).name;
    }
    found += byPinyin.mid(0, MaxCandidates - found.size());
    if (found.isEmpty()) {
        m_candidates->hide();
        return;
    }
    m_candidates->addItems(found);
    const int rowHeight = m_candidates->sizeHintForRow(0);
    const QPoint at = m_name->mapTo(this, QPoint(0, m_name->height()));
    m_candidates->setGeometry(at.x(), at.y(), std::max(m_name->width(), 160),
                              rowHeight * int(found.size()) + 2 * m_candidates->frameWidth());
    m_candidates->raise();
    m_candidates->show();
}

bool GiftBookWindow::keysReady() const
{
    using namespace std::chrono_literals;
    return m_keysMade || !m_keys.valid() || m_keys.wait_for(0s) == std::future_status::ready;
}

void GiftBookWindow::makeKeys()
{
    if (m_keysMade)
        return;
    // The names stored in this window since it opened follow those of the index.
    NameIndex index = m_keys.valid() ? m_keys.get() : NameIndex();
    m_starts = std::move(index.starts);
    m_indexed = m_starts.isEmpty() ? 0 : index.keys.size();
    for (qsizetype i = 0; i < m_people.size(); ++i)
        m_people[i].keys = i < index.keys.size() ? index.keys.at(i) : Pinyin::keysOf(m_people.at(i).name);
    m_keysMade = true;
}

QString GiftBookWindow::amountWarning(const QString& name, qint64 ticks, qint64 exceptId)
{
    QStringList reasons;
    if (ticks % Money::TicksPerUnit != 0)
        reasons << u"金额不是整元"_s;
    if (m_engine && !BlankText::trimmed(name).isEmpty()) {
        const auto facts = LedgerEvents(m_engine.get()).personFacts(name, exceptId);
        if (facts && facts->largest && *facts->largest > 0 && Sum(ticks) > Sum(*facts->largest) * 10)
            reasons << u"超过此人以往最大一笔（%1）的10倍"_s.arg(ReportText::money(*facts->largest));
    }
    return reasons.join(u'；');
}

void GiftBookWindow::updateAmountHint()
{
    const QString text = m_amount->text();
    const std::optional<qint64> ticks = text.isEmpty() ? std::nullopt : Money::parseUserAmount(text);
    m_capitals->setText(ticks ? Money::toCapitals(*ticks) : QString());
    const QString warning = ticks ? amountWarning(m_name->text(), *ticks, 0) : QString();
    QPalette palette = m_amount->palette();
    palette.setColor(QPalette::Text, warning.isEmpty() ? this->palette().color(QPalette::Text) : warningColour());
    m_amount->setPalette(palette);
    m_amount->setToolTip(warning);
    m_capitals->setStyleSheet(warning.isEmpty() ? QString() : u"color: %1"_s.arg(warningColour().name()));
    m_capitals->setToolTip(warning);
}

void GiftBookWindow::cellChanged(QTableWidgetItem* item)
{
    if (m_filling)
        return;
    const int row = item->row();
    if (row < 0 || row >= m_lines.size())
        return;
    GiftRecord& record = m_lines[row];
    const auto restore = [this, row] { setRow(row, m_lines.at(row)); };
    GiftLine line;
    line.name = BlankText::trimmed(m_table->item(row, NameColumn)->text());
    line.relation = m_table->item(row, RelationColumn)->text();
    line.note = m_table->item(row, NoteColumn)->text();
    const QString amountText = m_table->item(row, AmountColumn)->text();
    const std::optional<qint64> ticks = Money::parseUserAmount(amountText);
    QString refusal;
    if (line.name.isEmpty())
        refusal = u"请输入姓名。"_s;
    else if (BlankText::trimmed(line.relation).isEmpty())
        refusal = u"请选择所属关系。"_s;
    else if (amountText.isEmpty())
        refusal = u"请输入账目的金额。"_s;
    else if (!ticks)
        refusal = u"请输入正确的账目金额。"_s;
    if (!refusal.isEmpty()) {
        restore();
        MessageBox::show(refusal, Prompt, MessageBox::OkOnly, MessageBox::Information);
        return;
    }
    line.ticks = *ticks;
    if (line.name == record.line.name && line.relation == record.line.relation && line.ticks == record.line.ticks
        && line.note == record.line.note) {
        restore();
        return;
    }
    LedgerEvents store(m_engine.get());
    if (const Done updated = store.update(record.id, line); !updated) {
        restore();
        MessageBox::show(u"没有修改账目：\n"_s + updated.errorText(), Title, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    m_changed = true;
    record.line = line;
    for (StoredLine& stored : m_stored) {
        if (stored.id == record.id)
            stored.line = line;
    }
    restore();
    showSummary();
    updateEventList();
}

void GiftBookWindow::deleteCurrentLine()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_lines.size()) {
        MessageBox::show(u"请先在礼簿中选择要删除的一笔。"_s, Prompt, MessageBox::OkOnly, MessageBox::Information);
        return;
    }
    const GiftRecord record = m_lines.at(row);
    const auto answer = MessageBox::show(u"确定要从礼簿中删除“%1”的这一笔（%2）吗？\n数据删除后不可恢复。"_s.arg(
                                             record.line.name, ReportText::money(record.line.ticks)),
                                         Title, MessageBox::YesNo, MessageBox::Question, 1);
    if (answer != MessageBox::Yes)
        return;
    LedgerEvents store(m_engine.get());
    if (const Done removed = store.remove(record.id); !removed) {
        MessageBox::show(u"没有删除账目：\n"_s + removed.errorText(), Title, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    lineRemoved(record.id);
}

void GiftBookWindow::takeBackLastLine()
{
    if (m_stored.isEmpty()) {
        MessageBox::show(u"这次打开礼簿以来还没有登记过，没有可以撤销的一笔。"_s, Prompt, MessageBox::OkOnly,
                         MessageBox::Information);
        return;
    }
    const StoredLine last = m_stored.last();
    const auto answer = MessageBox::show(
        u"确定要撤销最后登记的“%1”（%2）吗？"_s.arg(last.line.name, ReportText::money(last.line.ticks)), Title,
        MessageBox::YesNo, MessageBox::Question, 1);
    if (answer != MessageBox::Yes)
        return;
    LedgerEvents store(m_engine.get());
    if (const Done removed = store.remove(last.id); !removed) {
        MessageBox::show(u"没有撤销：\n"_s + removed.errorText(), Title, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    if (!(last.event == event())) {
        // A line of another event of this window: that event's entry in the list loses it.
        for (const GiftEvent& e : std::as_const(m_eventList)) {
            if (e.key == last.event) {
                setEventEntry({last.event, e.count - 1, e.total - last.line.ticks, e.newest});
                break;
            }
        }
    }
    lineRemoved(last.id);
}

void GiftBookWindow::printBook()
{
    if (m_lines.isEmpty()) {
        MessageBox::show(u"这次酒席的礼簿中还没有登记，没有可以打印的。"_s, Prompt, MessageBox::OkOnly,
                         MessageBox::Information);
        return;
    }
    // The book reads in the order the guests came: the table lists them newest first.
    QList<GiftLine> book;
    book.reserve(m_lines.size());
    for (auto it = m_lines.crbegin(); it != m_lines.crend(); ++it)
        book.append(it->line);
    const auto style = GiftBookPrint::Style(m_printStyle->currentData().toInt());
    GiftBookPrint::openPreview(style, event(), book, this);
    // The entry goes on where it was left: the window active again and the name box ready for the next guest.
    activateWindow();
    m_name->setFocus(Qt::OtherFocusReason);
}

void GiftBookWindow::lineRemoved(qint64 id)
{
    m_changed = true;
    m_stored.removeIf([id](const StoredLine& stored) { return stored.id == id; });
    for (int row = 0; row < m_lines.size(); ++row) {
        if (m_lines.at(row).id != id)
            continue;
        m_lines.removeAt(row);
        m_filling = true;
        m_table->removeRow(row);
        m_filling = false;
        break;
    }
    showSummary();
    updateEventList();
}

bool GiftBookWindow::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Ctrl+Z takes back the last stored line, also from inside the entry line's boxes.
        if (key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Z) && widget != m_table)
            return true;
        // Esc first closes the list of names.
        if (widget == m_name && key->key() == Qt::Key_Escape && m_candidates->isVisible()) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut && widget == m_name)
        m_candidates->hide();
    if (event->type() != QEvent::KeyPress)
        return ReportWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (widget == m_table) {
        // While a cell is edited its editor has the keys, so Del here is for the line.
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            deleteCurrentLine();
            return true;
        }
        return ReportWindow::eventFilter(watched, event);
    }
    if (widget == m_name && m_candidates->isVisible()) {
        const int count = m_candidates->count();
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up) {
            // Up from the first name goes back to the text as typed.
            const int row = m_candidates->currentRow();
            m_candidates->setCurrentRow(key->key() == Qt::Key_Down ? std::min(row + 1, count - 1)
                                                                   : std::max(row - 1, -1));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            m_candidates->hide();
            return true;
        }
    }
    if (isEnter(key) && widget != nullptr) {
        enterPressed(widget);
        return true;
    }
    return ReportWindow::eventFilter(watched, event);
}

void GiftBookWindow::closeEvent(QCloseEvent* event)
{
    // The main grid shows the ledger as this window left it.
    if (m_changed && !Program::hasEnded())
        m_host.ledgerRefill();
    m_changed = false;
    ReportWindow::closeEvent(event);
}

} // namespace ovelta
