#include "windows/reports/PeopleWindow.h"

#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerTotals.h"
#include "windows/common/LedgerHost.h"
#include "windows/common/ReportPrint.h"
#include "windows/common/ReportText.h"
#include "windows/common/TableExport.h"
#include "windows/common/TableXlsx.h"
#include "windows/reports/PeopleModel.h"
#include "windows/reports/PersonWindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// The widest the name column grows to fit the names: room for the longest names people have.
constexpr int NameWidth = 220;

} // namespace

PeopleWindow::PeopleWindow(LedgerHost& host, QWidget* parent)
    : ReportWindow(u"people"_s, u"往来汇总"_s, parent)
    , m_host(host)
    , m_model(new PeopleModel(this))
    , m_filter(new QLineEdit(this))
    , m_owedOnly(new QCheckBox(u"只看未还(&W)"_s, this))
    , m_table(new QTableView(this))
    , m_totals(new QLabel(this))
{
    m_filter->setObjectName(u"姓名筛选框"_s);
    m_filter->setPlaceholderText(u"输入姓名的一部分"_s);
    m_filter->setClearButtonEnabled(true);
    m_owedOnly->setObjectName(u"只看未还选择框"_s);
    m_owedOnly->setToolTip(u"只列出对方送得比我们多、还没有还礼的人"_s);
    m_table->setObjectName(u"往来汇总表"_s);
    m_totals->setObjectName(u"合计标签"_s);
    m_totals->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* nameLabel = new QLabel(u"姓名(&N)："_s, this);
    nameLabel->setBuddy(m_filter);
    auto* open = new QPushButton(u"查看往来(&O)"_s, this);
    open->setObjectName(u"查看往来按钮"_s);
    auto* copy = new QPushButton(u"复制(&C)"_s, this);
    copy->setObjectName(u"复制按钮"_s);
    auto* save = new QPushButton(u"保存为CSV(&S)"_s, this);
    save->setObjectName(u"保存CSV按钮"_s);
    auto* saveExcel = new QPushButton(u"保存为Excel(&E)"_s, this);
    saveExcel->setObjectName(u"保存Excel按钮"_s);
    auto* print = new QPushButton(u"打印(&P)"_s, this);
    print->setObjectName(u"打印按钮"_s);
    print->setToolTip(u"打印列出的人（Ctrl+P）"_s);
    auto* closeButton = new QPushButton(u"关闭(&X)"_s, this);
    closeButton->setObjectName(u"关闭按钮"_s);

    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Tab goes on to the next control rather than from cell to cell.
    m_table->setTabKeyNavigation(false);
    TableExport::copySelectionOnCopyKey(*m_table);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights keep a list of many thousand people quick to lay out and scroll.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(24);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSortIndicator(PeopleModel::Latest, Qt::DescendingOrder);
    m_table->setSortingEnabled(true);
    const int widths[] = {140, 90, 80, 140, 80, 140, 140, 140};
    for (int c = 0; c < PeopleModel::ColumnCount; ++c)
        m_table->setColumnWidth(c, widths[c]);

    auto* top = new QHBoxLayout;
    top->addWidget(nameLabel);
    top->addWidget(m_filter, 1);
    top->addSpacing(16);
    top->addWidget(m_owedOnly);
    top->addStretch(2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_totals, 1);
    bottom->addWidget(open);
    bottom->addWidget(copy);
    bottom->addWidget(save);
    bottom->addWidget(saveExcel);
    bottom->addWidget(print);
    bottom->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);
    setTabOrder(m_filter, m_owedOnly);
    setTabOrder(m_owedOnly, m_table);
    setTabOrder(m_table, open);
    setTabOrder(open, copy);
    setTabOrder(copy, save);
    setTabOrder(save, print);
    setTabOrder(print, closeButton);

    auto selectFirst = [this] {
        if (m_model->rowCount() > 0)
            m_table->setCurrentIndex(m_model->index(0, 0));
        showTotals();
    };
    connect(m_filter, &QLineEdit::textChanged, this, [this, selectFirst](const QString& text) {
        m_model->setNameFilter(text);
        selectFirst();
    });
    connect(m_owedOnly, &QCheckBox::toggled, this, [this, selectFirst](bool on) {
        m_model->setOwedOnly(on);
        selectFirst();
    });
    // Enter in the filter box goes on to the list, where Enter opens the person.
    connect(m_filter, &QLineEdit::returnPressed, this, [this] { m_table->setFocus(Qt::OtherFocusReason); });
    connect(m_table, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { openPerson(index.row()); });
    m_table->installEventFilter(this);
    connect(open, &QPushButton::clicked, this, [this] {
        const QModelIndex current = m_table->currentIndex();
        if (current.isValid())
            openPerson(current.row());
    });
    connect(copy, &QPushButton::clicked, this, [this] { TableExport::copyToClipboard(*m_model); });
    connect(save, &QPushButton::clicked, this, [this] { TableExport::saveCsv(*m_model, u"往来汇总.csv"_s); });
    connect(saveExcel, &QPushButton::clicked, this, [this] { TableXlsx::saveXlsx(*m_model, u"往来汇总.xlsx"_s); });
    connect(print, &QPushButton::clicked, this, &PeopleWindow::print);
    auto* printKey = new QShortcut(QKeySequence::Print, this);
    connect(printKey, &QShortcut::activated, this, &PeopleWindow::print);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void PeopleWindow::print()
{
    // The title says which people the list holds when it does not hold everyone.
    QStringList narrowed;
    const QString part = m_filter->text().trimmed();
    if (!part.isEmpty())
        narrowed << u"姓名含“%1”"_s.arg(part);
    if (m_owedOnly->isChecked())
        narrowed << u"只看未还"_s;
    const QString title = narrowed.isEmpty() ? u"往来汇总"_s : u"往来汇总（%1）"_s.arg(narrowed.join(u"，"_s));
    ReportPrinter::openPreview(title, *m_model, {m_totals->text()}, this);
}

bool PeopleWindow::load()
{
    LedgerTotals totals(m_host.database().connection.engine().get());
    auto people = totals.totalsByPerson();
    if (!people) {
        ReportText::showFailure(people.failure());
        return false;
    }
    m_model->setPeople(std::move(*people));
    ReportText::widenToContents(*m_table);
    ReportText::limitColumn(*m_table, PeopleModel::Name, NameWidth);
    if (m_model->rowCount() > 0)
        m_table->setCurrentIndex(m_model->index(0, 0));
    showTotals();
    m_filter->setFocus(Qt::OtherFocusReason);
    return true;
}

void PeopleWindow::openPerson(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    (new PersonWindow(m_host, m_model->person(row).name))->openModal();
}

bool PeopleWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && !(key->modifiers() & ~Qt::KeypadModifier)) {
            if (m_table->currentIndex().isValid())
                openPerson(m_table->currentIndex().row());
            return true;
        }
    }
    return ReportWindow::eventFilter(watched, event);
}

void PeopleWindow::showTotals()
{
    const PeopleModel::Totals t = m_model->shownTotals();
    const QString beyond = u"超出范围"_s;
    auto sum = [&](const std::optional<GiftSum>& s) {
        return s ? u"%1 次，%2"_s.arg(s->count).arg(ReportText::money(s->ticks)) : beyond;
    };
    m_totals->setText(u"合计：%1 人　收礼 %2　送礼 %3　差额 %4"_s.arg(t.people).arg(
        sum(t.received), sum(t.given), t.balance ? ReportText::money(*t.balance) : beyond));
}

} // namespace ovelta
