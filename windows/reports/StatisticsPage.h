#pragma once

#include "store/ledger/LedgerTotals.h"

#include <QWidget>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QScrollArea;
class QStandardItemModel;
class QTableView;

namespace ovelta {

/// One page of the statistics window: the gifts received and given and the balance per year, per occasion
/// (类型) or per relation (关系), as a table with counts beside amounts and a 合计 row, and as a bar chart.
/// The occasion and relation pages show one year, chosen in their year box, or all years.
///
/// Its controls are named after the grouping's prefix (年份, 类型 or 关系): PREFIX表, PREFIX图表,
/// PREFIX年份组合框 (occasion and relation pages only), PREFIX复制按钮, PREFIX保存CSV按钮, PREFIX保存图表按钮 and
/// PREFIX打印按钮 (the table through the print preview; Ctrl+C in the table copies the selected cells), and
/// PREFIX无数据标签, "没有数据", shown instead of the chart when there are no groups to draw. A chart with more
/// groups than fit beside the table scrolls sideways (PREFIX图表区), every group's label drawn whole.
class StatisticsPage : public QWidget
{
    Q_OBJECT
public:
    enum Grouping { ByYear, ByOccasion, ByRelation };
    enum Column { Key, ReceivedCount, ReceivedSum, GivenCount, GivenSum, Balance, ColumnCount };

    StatisticsPage(Grouping grouping, QWidget* parent = nullptr);

    /// Shows the cells; the year box offers the given years in their order, 0 as 无日期 (the records without a
    /// date); occasions and relations come in the
    /// order of list (the lookup table's entries), others after them. False (and nothing shown) when a sum goes
    /// beyond the range.
    bool setCells(const QList<StatisticsCell>& cells, const QList<int>& years, const QStringList& list = {});

    QStandardItemModel& model() const { return *m_model; }
    QChart& chart() const;
    /// Opens the print preview of the table, titled with the grouping and the year shown.
    void print();
    static QString prefix(Grouping grouping);

private:
    bool refresh();

    Grouping m_grouping;
    QList<StatisticsCell> m_cells;
    QStringList m_list;
    QStandardItemModel* m_model;
    QTableView* m_table;
    QChartView* m_chartView;
    QScrollArea* m_chartArea; ///< scrolls a chart wider than the page
    QLabel* m_empty; ///< shown instead of the chart when there is nothing to draw
    QComboBox* m_year = nullptr;
    /// The table's width before any sums are in it.
    int m_baseWidth = 80 + 64 + 104 + 64 + 104 + 110 + 24;
};

} // namespace ovelta
