#include "windows/ReportText.h"

#include "store/LedgerTotals.h"
#include "store/Money.h"
#include "ui/LedgerGrid.h"
#include "ui/MessageBox.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QTableView>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace ovelta::ReportText {

QString money(qint64 ticks)
{
    return u"￥"_s + Money::toTwoDecimals(ticks);
}

QString amount(qint64 ticks)
{
    const QString text = LedgerGrid::moneyText(ticks);
    return text.isEmpty() ? QString() : u"￥"_s + text;
}

QString date(const QDate& date)
{
    return LedgerGrid::dateText(date);
}

QString exact(qint64 ticks)
{
    // Whole cents keep the two decimals people expect; finer amounts keep every digit.
    return ticks % 100 == 0 ? Money::toTwoDecimals(ticks) : Money::toLiteral(ticks);
}

void widenToContents(QTableView& table)
{
    const QAbstractItemModel* model = table.model();
    if (model == nullptr)
        return;
    QHeaderView* header = table.horizontalHeader();
    // The first rows only of a very long list, so that this stays quick.
    const int rows = std::min(model->rowCount(), 1000);
    for (int c = 0; c + 1 < model->columnCount(); ++c) {
        int wanted = header->sectionSizeHint(c);
        for (int r = 0; r < rows; ++r)
            wanted = std::max(wanted, table.sizeHintForIndex(model->index(r, c)).width());
        // The grid line and a little air beside the text.
        wanted += (table.showGrid() ? 1 : 0) + 4;
        if (wanted > table.columnWidth(c))
            table.setColumnWidth(c, wanted);
    }
}

void showFailure(const LedgerTotals& totals)
{
    const QString text = totals.failure() == LedgerTotals::Failure::Overflow
        ? u"金额合计超出了可以计算的范围，无法汇总。"_s
        : u"读取账目失败，无法汇总。"_s;
    // The box comes while a window is still loading, under its wait cursor: the box itself shows the arrow.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    MessageBox::show(text, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
    if (waiting)
        QGuiApplication::restoreOverrideCursor();
}

} // namespace ovelta::ReportText
