#include "windows/reports/PersonWindow.h"

#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerTotals.h"
#include "store/value/BlankText.h"
#include "windows/common/LedgerHost.h"
#include "windows/common/ReportPrint.h"
#include "windows/common/ReportText.h"
#include "windows/common/TableExport.h"
#include "windows/common/TableXlsx.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

QStandardItem* cell(const QString& text, const QVariant& plain = {}, Qt::Alignment align = Qt::AlignLeft)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setTextAlignment(align | Qt::AlignVCenter);
    if (plain.isValid())
        item->setData(plain, Qt::UserRole);
    return item;
}

/// A date as the grid shows it; files and copies get YYYY-MM-DD.
QStandardItem* dateCell(const QDate& date)
{
    QStandardItem* item = cell(ReportText::date(date), date);
    item->setData(ReportText::isoDate(date), TableExport::ExportRole);
    return item;
}

/// A name too long for its column is shown whole in the tool tip.
QStandardItem* nameCell(const QString& name)
{
    QStandardItem* item = cell(name);
    item->setToolTip(name);
    return item;
}

QStandardItem* moneyCell(const QString& shown, Sum ticks)
{
    QStandardItem* item = cell(shown, ReportText::plain(ticks), Qt::AlignRight);
    item->setData(ReportText::exact(ticks), TableExport::ExportRole);
    return item;
}

QString sumText(const QString& direction, const GiftSum& sum)
{
    return u"%1 %2 次，合计 %3"_s.arg(direction).arg(sum.count).arg(ReportText::money(sum.ticks));
}

} // namespace

PersonWindow::PersonWindow(LedgerHost& host, const QString& name, QWidget* parent)
    : ReportWindow(u"person"_s, u"往来明细"_s, parent)
    , m_host(host)
    , m_name(name)
    , m_model(new QStandardItemModel(0, ColumnCount, this))
    , m_table(new QTableView(this))
    , m_title(new QLabel(this))
    , m_received(new QLabel(this))
    , m_given(new QLabel(this))
    , m_balance(new QLabel(this))
{
    m_table->setObjectName(u"往来明细表"_s);
    m_title->setObjectName(u"姓名标签"_s);
    m_received->setObjectName(u"收礼合计标签"_s);
    m_given->setObjectName(u"送礼合计标签"_s);
    m_balance->setObjectName(u"差额标签"_s);
    QFont big = m_title->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    m_title->setFont(big);
    // A very long name wraps rather than widening the window.
    m_title->setWordWrap(true);
    for (QLabel* label : {m_title, m_received, m_given, m_balance})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_model->setHorizontalHeaderLabels(
        {u"序号"_s, u"时间"_s, u"收送"_s, u"姓名"_s, u"关系"_s, u"类型"_s, u"金额"_s, u"余额"_s, u"说明"_s});
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab goes on to the buttons rather than from cell to cell.
    m_table->setTabKeyNavigation(false);
    TableExport::copySelectionOnCopyKey(*m_table);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(24);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {50, 120, 60, 120, 80, 80, 120, 130};
    for (int c = 0; c < Note; ++c)
        m_table->setColumnWidth(c, widths[c]);

    auto* copy = new QPushButton(u"复制(&C)"_s, this);
    copy->setObjectName(u"复制按钮"_s);
    auto* save = new QPushButton(u"保存为CSV(&S)"_s, this);
    save->setObjectName(u"保存CSV按钮"_s);
    auto* saveExcel = new QPushButton(u"保存为Excel(&E)"_s, this);
    saveExcel->setObjectName(u"保存Excel按钮"_s);
    auto* print = new QPushButton(u"打印(&P)"_s, this);
    print->setObjectName(u"打印按钮"_s);
    print->setToolTip(u"打印此人的往来明细和合计（Ctrl+P）"_s);
    auto* closeButton = new QPushButton(u"关闭(&X)"_s, this);
    closeButton->setObjectName(u"关闭按钮"_s);

    auto* sums = new QHBoxLayout;
    sums->addWidget(m_received);
    sums->addSpacing(32);
    sums->addWidget(m_given);
    sums->addSpacing(32);
    sums->addWidget(m_balance);
    sums->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addWidget(saveExcel);
    buttons->addWidget(print);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(sums);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    connect(copy, &QPushButton::clicked, this, [this] { TableExport::copyToClipboard(*m_model); });
    connect(save, &QPushButton::clicked, this,
            [this] { TableExport::saveCsv(*m_model, u"往来明细-%1.csv"_s.arg(LedgerTotals::personKey(m_name))); });
    connect(saveExcel, &QPushButton::clicked, this,
            [this] { TableXlsx::saveXlsx(*m_model, u"往来明细-%1.xlsx"_s.arg(LedgerTotals::personKey(m_name))); });
    connect(print, &QPushButton::clicked, this, &PersonWindow::print);
    auto* printKey = new QShortcut(QKeySequence::Print, this);
    connect(printKey, &QShortcut::activated, this, &PersonWindow::print);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void PersonWindow::print()
{
    ReportPrinter::openPreview(windowTitle(), *m_model, {m_received->text(), m_given->text(), m_balance->text()}, this);
}

bool PersonWindow::load()
{
    LedgerTotals totals(m_host.database().connection.engine().get());
    // Finding one person among many records needs the index; without it (a read-only file) the records are
    // still found, only more slowly.
    (void)totals.ensurePersonIndex();
    const auto history = totals.recordsOfPerson(m_name);
    if (!history) {
        ReportText::showFailure(history.failure());
        return false;
    }
    const QString shownName = LedgerTotals::personKey(m_name).isEmpty() ? u"（无姓名）"_s : BlankText::trimmed(m_name);
    setWindowTitle(u"往来明细 - "_s + shownName);
    m_title->setText(shownName);
    m_received->setText(sumText(u"收礼"_s, history->received));
    m_given->setText(sumText(u"送礼"_s, history->given));
    QString balance = u"差额 "_s + ReportText::money(history->balance);
    if (history->balance > 0)
        balance += u"（对方送得多，尚欠人情）"_s;
    else if (history->balance < 0)
        balance += u"（我方送得多）"_s;
    else
        balance += u"（两清）"_s;
    m_balance->setText(balance);

    int number = 0;
    for (const PersonRecord& r : history->records) {
        m_model->appendRow({
            cell(QString::number(++number), r.id, Qt::AlignRight),
            dateCell(r.time ? r.time->date() : QDate()),
            cell(r.direction),
            nameCell(r.name),
            cell(r.relation),
            cell(r.occasion),
            moneyCell(ReportText::amount(r.amount.value_or(0)), r.amount.value_or(0)),
            moneyCell(ReportText::money(r.balance), r.balance),
            cell(r.note),
        });
    }
    ReportText::widenToContents(*m_table);
    // The widest the name column grows: room for the longest names people have.
    ReportText::limitColumn(*m_table, Name, 220);
    if (m_model->rowCount() > 0)
        m_table->setCurrentIndex(m_model->index(m_model->rowCount() - 1, 0));
    m_table->scrollToBottom();
    m_table->setFocus(Qt::OtherFocusReason);
    return true;
}

} // namespace ovelta
