#pragma once

#include "windows/common/ReportWindow.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace ovelta {

class LedgerHost;
class PeopleModel;

/// 往来汇总: one row per person with what they gave us and what we gave them, the balance and the latest date;
/// a name filter box (姓名筛选框), the check box "只看未还" (只看未还选择框: only people whose balance is above
/// zero), a totals line under the list (合计标签), and the list itself (往来汇总表). Columns sort by a click on
/// their header, newest dealings first at the start. Enter, a double-click or 查看往来按钮 open the
/// person's records (往来明细). The list as shown can be copied (复制按钮; Ctrl+C in the list copies the
/// selected cells), saved as CSV (保存CSV按钮) and printed with its totals (打印按钮, Ctrl+P).
class PeopleWindow : public ReportWindow
{
    Q_OBJECT
public:
    explicit PeopleWindow(LedgerHost& host, QWidget* parent = nullptr);

    PeopleModel& model() const { return *m_model; }
    /// Opens the records of the person in that row of the list.
    void openPerson(int row);
    /// Opens the print preview of the list as shown, its title saying how it is narrowed.
    void print();

protected:
    bool load() override;
    /// Enter in the list opens the current row's person.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showTotals();

    LedgerHost& m_host;
    PeopleModel* m_model;
    QLineEdit* m_filter;
    QCheckBox* m_owedOnly;
    QTableView* m_table;
    QLabel* m_totals;
};

} // namespace ovelta
