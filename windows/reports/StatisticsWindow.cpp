#include "windows/reports/StatisticsWindow.h"

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerTotals.h"
#include "store/ledger/LedgerTransfer.h"
#include "windows/common/LedgerHost.h"
#include "windows/common/ReportText.h"
#include "windows/reports/StatisticsPage.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace ovelta {

StatisticsWindow::StatisticsWindow(LedgerHost& host, QWidget* parent)
    : ReportWindow(u"statistics"_s, u"人情统计"_s, parent)
    , m_host(host)
    , m_tabs(new QTabWidget(this))
{
    m_tabs->setObjectName(u"统计分页"_s);
    const QStringList captions = {u"按年份(&1)"_s, u"按类型(&2)"_s, u"按关系(&3)"_s};
    for (int g = StatisticsPage::ByYear; g <= StatisticsPage::ByRelation; ++g) {
        auto* page = new StatisticsPage(StatisticsPage::Grouping(g), m_tabs);
        m_pages << page;
        m_tabs->addTab(page, captions.at(g));
    }
    auto* closeButton = new QPushButton(u"关闭(&X)"_s, this);
    closeButton->setObjectName(u"关闭按钮"_s);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(bottom);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    // Ctrl+P prints the table of the page shown.
    auto* printKey = new QShortcut(QKeySequence::Print, this);
    connect(printKey, &QShortcut::activated, this, [this] { m_pages.at(m_tabs->currentIndex())->print(); });
}

StatisticsPage& StatisticsWindow::page(int grouping) const
{
    return *m_pages.at(grouping);
}

bool StatisticsWindow::load()
{
    LedgerTotals totals(m_host.database().connection.engine().get());
    const auto cells = totals.statisticsCells();
    if (!cells) {
        ReportText::showFailure(cells.failure());
        return false;
    }
    QList<int> years;
    for (const StatisticsCell& cell : *cells) {
        if (!years.contains(cell.year))
            years << cell.year;
    }
    // Newest first; 0, the records without a date, last.
    std::sort(years.begin(), years.end(), std::greater<>());
    // Occasions and relations in the order the entry window offers them; a list that cannot be read leaves
    // the values in the order of their text.
    EngineConnection& engine = *m_host.database().connection.engine();
    const QStringList lists[] = {{},
                                 LedgerTransfer::listEntries(engine, u"类型"_s).valueOr({}),
                                 LedgerTransfer::listEntries(engine, u"关系"_s).valueOr({})};
    for (int g = StatisticsPage::ByYear; g <= StatisticsPage::ByRelation; ++g) {
        // The first page that cannot add up has said so; the window does not open.
        if (!m_pages.at(g)->setCells(*cells, years, lists[g]))
            return false;
    }
    return true;
}

} // namespace ovelta
