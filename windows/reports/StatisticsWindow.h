#pragma once

#include "windows/common/ReportWindow.h"

class QTabWidget;

namespace ovelta {

class LedgerHost;
class StatisticsPage;

/// 人情统计: three pages (统计分页) of what was received, given and the balance, per year (按年份), per occasion
/// (按类型) and per relation (按关系), each a table with counts beside amounts and a bar chart; the occasion and
/// relation pages for one year or all years. Everything comes from one pass over the ledger when the window
/// opens.
class StatisticsWindow : public ReportWindow
{
    Q_OBJECT
public:
    explicit StatisticsWindow(LedgerHost& host, QWidget* parent = nullptr);

    StatisticsPage& page(int grouping) const;

protected:
    bool load() override;

private:
    LedgerHost& m_host;
    QTabWidget* m_tabs;
    QList<StatisticsPage*> m_pages;
};

} // namespace ovelta
