#include "windows/reports/StatisticsPage.h"

#include "store/value/Money.h"
#include "ui/base/MessageBox.h"
#include "windows/common/ReportPrint.h"
#include "windows/common/ReportText.h"
#include "windows/common/TableExport.h"
#include "windows/common/TableXlsx.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// The chart's narrowest width, and room for the title of the value axis and the margins beside the bars.
constexpr int MinimumChartWidth = 360;
constexpr int ChartFrame = 150;
/// Space between the labels of neighbouring bar groups.
constexpr int LabelGap = 12;

QStandardItem* cell(const QString& text, Qt::Alignment align = Qt::AlignRight)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setTextAlignment(align | Qt::AlignVCenter);
    return item;
}

QStandardItem* countCell(qint64 count)
{
    QStandardItem* item = cell(QString::number(count));
    item->setData(count, Qt::UserRole);
    return item;
}

QStandardItem* moneyCell(Sum ticks)
{
    QStandardItem* item = cell(ReportText::money(ticks));
    item->setData(ReportText::plain(ticks), Qt::UserRole);
    item->setData(ReportText::exact(ticks), TableExport::ExportRole);
    return item;
}

/// Yuan as floating point: the chart is only a picture of the table, and this is exact enough to draw.
double yuan(Sum ticks)
{
    return double(ticks) / double(Money::TicksPerUnit);
}

QList<QStandardItem*> rowOf(const QString& key, const GroupTotals& g)
{
    return {cell(key, Qt::AlignLeft), countCell(g.received.count), moneyCell(g.received.ticks),
            countCell(g.given.count), moneyCell(g.given.ticks),    moneyCell(g.balance)};
}

} // namespace

QString StatisticsPage::prefix(Grouping grouping)
{
    switch (grouping) {
    case ByYear:
        return u"年份"_s;
    case ByOccasion:
        return u"类型"_s;
    case ByRelation:
        break;
    }
    return u"关系"_s;
}

StatisticsPage::StatisticsPage(Grouping grouping, QWidget* parent)
    : QWidget(parent)
    , m_grouping(grouping)
    , m_model(new QStandardItemModel(0, ColumnCount, this))
    , m_table(new QTableView(this))
    , m_chartView(new QChartView(this))
    , m_chartArea(new QScrollArea(this))
    , m_empty(new QLabel(u"没有数据"_s, this))
{
    const QString name = prefix(grouping);
    m_table->setObjectName(name + u"表"_s);
    m_chartView->setObjectName(name + u"图表"_s);
    m_empty->setObjectName(name + u"无数据标签"_s);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setMinimumWidth(360);
    m_empty->hide();
    m_model->setHorizontalHeaderLabels({name, u"收礼次数"_s, u"收礼金额"_s, u"送礼次数"_s, u"送礼金额"_s, u"差额"_s});
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab goes on to the next control rather than from cell to cell.
    m_table->setTabKeyNavigation(false);
    TableExport::copySelectionOnCopyKey(*m_table);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(24);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {80, 64, 104, 64, 104};
    for (int c = 0; c < Balance; ++c)
        m_table->setColumnWidth(c, widths[c]);
    // Every column in view, the balance included, with room for the scroll bar.
    m_table->setMinimumWidth(m_baseWidth);
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumWidth(MinimumChartWidth);
    // A chart of many groups (a ledger of fifty years) is wider than the page: it scrolls rather than hiding
    // its labels.
    m_chartArea->setObjectName(name + u"图表区"_s);
    m_chartArea->setWidget(m_chartView);
    m_chartArea->setWidgetResizable(true);
    m_chartArea->setFrameShape(QFrame::NoFrame);
    m_chartArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_chartArea->setMinimumWidth(MinimumChartWidth);

    auto* copy = new QPushButton(u"复制表格(&C)"_s, this);
    copy->setObjectName(name + u"复制按钮"_s);
    auto* saveCsv = new QPushButton(u"保存表格为CSV(&S)"_s, this);
    saveCsv->setObjectName(name + u"保存CSV按钮"_s);
    auto* saveExcel = new QPushButton(u"保存表格为Excel(&E)"_s, this);
    saveExcel->setObjectName(name + u"保存Excel按钮"_s);
    auto* savePng = new QPushButton(u"保存图表为PNG(&G)"_s, this);
    savePng->setObjectName(name + u"保存图表按钮"_s);
    auto* print = new QPushButton(u"打印表格(&P)"_s, this);
    print->setObjectName(name + u"打印按钮"_s);
    print->setToolTip(u"打印这一页的表格（Ctrl+P）"_s);

    auto* top = new QHBoxLayout;
    if (grouping != ByYear) {
        m_year = new QComboBox(this);
        m_year->setObjectName(name + u"年份组合框"_s);
        auto* label = new QLabel(u"年份(&Y)："_s, this);
        label->setBuddy(m_year);
        top->addWidget(label);
        top->addWidget(m_year);
        connect(m_year, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    }
    top->addStretch(1);
    top->addWidget(copy);
    top->addWidget(saveCsv);
    top->addWidget(saveExcel);
    top->addWidget(savePng);
    top->addWidget(print);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_table);
    splitter->addWidget(m_chartArea);
    splitter->addWidget(m_empty);
    splitter->setStretchFactor(2, 1);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);

    connect(copy, &QPushButton::clicked, this, [this] { TableExport::copyToClipboard(*m_model); });
    connect(saveExcel, &QPushButton::clicked, this,
            [this] { TableXlsx::saveXlsx(*m_model, u"人情统计-%1.xlsx"_s.arg(prefix(m_grouping))); });
    connect(saveCsv, &QPushButton::clicked, this,
            [this] { TableExport::saveCsv(*m_model, u"人情统计-%1.csv"_s.arg(prefix(m_grouping))); });
    connect(savePng, &QPushButton::clicked, this,
            [this] { TableExport::savePng(*m_chartView, u"人情统计-%1.png"_s.arg(prefix(m_grouping))); });
    connect(print, &QPushButton::clicked, this, &StatisticsPage::print);
}

void StatisticsPage::print()
{
    QString title = u"人情统计 - 按"_s + prefix(m_grouping);
    if (m_year != nullptr)
        title += u"（%1）"_s.arg(m_year->currentText());
    ReportPrinter::openPreview(title, *m_model, {}, this);
}

QChart& StatisticsPage::chart() const
{
    return *m_chartView->chart();
}

bool StatisticsPage::setCells(const QList<StatisticsCell>& cells, const QList<int>& years, const QStringList& list)
{
    m_cells = cells;
    m_list = list;
    if (m_year != nullptr) {
        const QSignalBlocker quiet(m_year);
        m_year->clear();
        m_year->addItem(u"全部年份"_s);
        for (const int year : years)
            m_year->addItem(year == 0 ? u"无日期"_s : u"%1年"_s.arg(year), year);
    }
    return refresh();
}

bool StatisticsPage::refresh()
{
    std::optional<int> year;
    if (m_year != nullptr && m_year->currentData().isValid())
        year = m_year->currentData().toInt();
    std::optional<QList<GroupTotals>> groups;
    switch (m_grouping) {
    case ByYear:
        groups = LedgerTotals::byYear(m_cells).optional();
        break;
    case ByOccasion:
        groups = LedgerTotals::byOccasion(m_cells, year, m_list).optional();
        break;
    case ByRelation:
        groups = LedgerTotals::byRelation(m_cells, year, m_list).optional();
        break;
    }
    std::optional<GroupTotals> total;
    if (groups)
        total = LedgerTotals::overall(*groups).optional();
    m_model->removeRows(0, m_model->rowCount());
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto replaceChart = [this, chart] {
        // The view gives up its old chart without deleting it.
        QChart* old = m_chartView->chart();
        m_chartView->setChart(chart);
        delete old;
    };
    if (!groups || !total) {
        replaceChart();
        MessageBox::show(u"金额合计超出了可以计算的范围，无法汇总。"_s, u"错误"_s, MessageBox::OkOnly,
                         MessageBox::Stop);
        return false;
    }

    const QString missing = m_grouping == ByYear ? u"无日期"_s : u"未填"_s;
    auto* received = new QBarSet(u"收礼"_s);
    auto* given = new QBarSet(u"送礼"_s);
    auto* balance = new QBarSet(u"差额"_s);
    QStringList categories;
    for (const GroupTotals& g : *groups) {
        const QString key = g.key.isEmpty() ? missing : g.key;
        m_model->appendRow(rowOf(key, g));
        categories << key;
        *received << yuan(g.received.ticks);
        *given << yuan(g.given.ticks);
        *balance << yuan(g.balance);
    }
    m_model->appendRow(rowOf(u"合计"_s, *total));
    QFont bold = m_table->font();
    bold.setBold(true);
    for (int c = 0; c < ColumnCount; ++c)
        m_model->item(m_model->rowCount() - 1, c)->setFont(bold);
    ReportText::widenToContents(*m_table);
    // Every column in view, the balance included, however many digits the sums have: the chart beside it gives
    // way.
    m_table->setMinimumWidth(std::max(m_baseWidth, ReportText::widthForContents(*m_table)));

    // Nothing to draw: no axes over an empty range, a word instead.
    const bool empty = groups->isEmpty();
    m_chartArea->setVisible(!empty);
    m_empty->setVisible(empty);
    m_chartView->setMinimumWidth(MinimumChartWidth);
    if (empty) {
        delete received;
        delete given;
        delete balance;
        replaceChart();
        return true;
    }
    auto* series = new QBarSeries;
    series->append(received);
    series->append(given);
    series->append(balance);
    chart->addSeries(series);
    auto* axisX = new QBarCategoryAxis;
    axisX->append(categories);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);

    auto* axisY = new QValueAxis;
    axisY->setTitleText(u"金额（元）"_s);
    axisY->setLabelFormat(u"%.0f"_s);
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);
    // The range covers zero and every bar; when every bar is zero, one yuan above it.
    double low = 0;
    double high = 0;
    for (const QBarSet* set : {received, given, balance}) {
        for (int i = 0; i < set->count(); ++i) {
            low = std::min(low, set->at(i));
            high = std::max(high, set->at(i));
        }
    }
    axisY->setRange(low, high > low ? high : low + 1);
    axisY->applyNiceNumbers();
    // Each group as wide as its widest label, so that every label is drawn whole, and the value axis's labels
    // beside them.
    const QFontMetrics groupLabels(axisX->labelsFont());
    int widest = 0;
    for (const QString& category : std::as_const(categories))
        widest = std::max(widest, groupLabels.horizontalAdvance(category));
    const QFontMetrics valueLabels(axisY->labelsFont());
    const int values = std::max(valueLabels.horizontalAdvance(QString::number(axisY->min(), 'f', 0)),
                                valueLabels.horizontalAdvance(QString::number(axisY->max(), 'f', 0)));
    m_chartView->setMinimumWidth(
        std::max(MinimumChartWidth, int(categories.size()) * (widest + LabelGap) + values + ChartFrame));
    QString title;
    if (m_grouping == ByYear)
        title = u"每年收礼、送礼与差额"_s;
    else
        title = u"按%1：%2"_s.arg(prefix(m_grouping), m_year->currentText());
    chart->setTitle(title);
    replaceChart();
    return true;
}

} // namespace ovelta
