#pragma once

#include "windows/common/ReportWindow.h"

class QLabel;
class QStandardItemModel;
class QTableView;

namespace ovelta {

class LedgerHost;

/// 往来明细: every record of one person (a name without the blanks at both ends, ASCII case ignored) oldest
/// first, records without a date at the start, with the balance after each (余额); above the list the person's
/// name (姓名标签) and the three totals (收礼合计标签, 送礼合计标签, 差额标签). The list (往来明细表) can be
/// copied (复制按钮; Ctrl+C in the list copies the selected cells), saved as CSV (保存CSV按钮) and printed as
/// a statement to show the family, titled with the name and ending with the totals (打印按钮, Ctrl+P).
class PersonWindow : public ReportWindow
{
    Q_OBJECT
public:
    enum Column { Number, Date, Direction, Name, Relation, Kind, Amount, Balance, Note, ColumnCount };

    PersonWindow(LedgerHost& host, const QString& name, QWidget* parent = nullptr);

    QStandardItemModel& model() const { return *m_model; }
    /// Opens the print preview of the statement.
    void print();

protected:
    bool load() override;

private:
    LedgerHost& m_host;
    QString m_name;
    QStandardItemModel* m_model;
    QTableView* m_table;
    QLabel* m_title;
    QLabel* m_received;
    QLabel* m_given;
    QLabel* m_balance;
};

} // namespace ovelta
