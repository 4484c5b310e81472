#include "windows/common/ReportText.h"

#include "store/ledger/LedgerTotals.h"
#include "store/value/Money.h"
#include "ui/base/MessageBox.h"
#include "ui/grid/LedgerGrid.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace ovelta::ReportText {

namespace {

/// The exact decimal text of ticks: the yuan (in groups of three digits when grouped), then two decimals, or
/// every decimal down to the last that is not zero (at least two) when trimmed, or all four when not.
QString decimal(Sum ticks, bool grouped, bool trimmed)
{
    // The magnitude is unsigned, so that the most negative sum has one too.
    __extension__ typedef unsigned __int128 Magnitude;
    const Magnitude magnitude = ticks < 0 ? Magnitude(0) - Magnitude(ticks) : Magnitude(ticks);
    Magnitude yuan = magnitude / Money::TicksPerUnit;
    int fraction = int(magnitude % Money::TicksPerUnit);
    QString digits;
    int count = 0;
    do {
        if (grouped && count > 0 && count % 3 == 0)
            digits.append(u',');
        digits.append(QChar(u'0' + char16_t(yuan % 10)));
        yuan /= 10;
        ++count;
    } while (yuan != 0);
    if (ticks < 0)
        digits.append(u'-');
    std::reverse(digits.begin(), digits.end());
    int places = 4;
    if (fraction % 100 == 0) {
        places = 2;
        fraction /= 100;
    } else if (trimmed) {
        while (fraction % 10 == 0) {
            --places;
            fraction /= 10;
        }
    }
    digits.append(u'.');
    digits.append(QString::number(fraction).rightJustified(places, u'0'));
    return digits;
}

} // namespace

QString money(Sum ticks)
{
    return u"￥"_s + decimal(ticks, true, false);
}

QString amount(qint64 ticks)
{
    return ticks == 0 ? QString() : money(ticks);
}

QString date(const QDate& date)
{
    return LedgerGrid::dateText(date);
}

QString isoDate(const QDate& date)
{
    return date.isValid() ? date.toString(u"yyyy-MM-dd"_s) : QString();
}

QString exact(Sum ticks)
{
    return decimal(ticks, false, true);
}

QVariant plain(Sum ticks)
{
    if (ticks >= std::numeric_limits<qint64>::min() && ticks <= std::numeric_limits<qint64>::max())
        return QVariant(qint64(ticks));
    return QVariant(exact(ticks));
}

namespace {

/// The width column c needs for its widest text in view (of the first and the last rows only of a very long
/// list, so that this stays quick: a running number or a balance grows toward the end), the header's included,
/// with the grid line and a little air beside the text.
int wantedWidth(const QTableView& table, int c)
{
    const QAbstractItemModel* model = table.model();
    int wanted = table.horizontalHeader()->sectionSizeHint(c);
    const int rows = model->rowCount();
    const auto widen = [&](int from, int to) {
        for (int r = from; r < to; ++r)
            wanted = std::max(wanted, table.sizeHintForIndex(model->index(r, c)).width());
    };
    widen(0, std::min(rows, 1000));
    widen(std::max(1000, rows - 1000), rows);
    return wanted + (table.showGrid() ? 1 : 0) + 4;
}

} // namespace

void widenToContents(QTableView& table)
{
    const QAbstractItemModel* model = table.model();
    if (model == nullptr)
        return;
    for (int c = 0; c + 1 < model->columnCount(); ++c) {
        const int wanted = wantedWidth(table, c);
        if (wanted > table.columnWidth(c))
            table.setColumnWidth(c, wanted);
    }
}

int widthForContents(const QTableView& table)
{
    const QAbstractItemModel* model = table.model();
    if (model == nullptr)
        return 0;
    int width = 2 * table.frameWidth() + table.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &table);
    if (!table.verticalHeader()->isHidden())
        width += table.verticalHeader()->width();
    for (int c = 0; c < model->columnCount(); ++c)
        width += c + 1 < model->columnCount() ? table.columnWidth(c) : wantedWidth(table, c);
    return width;
}

void limitColumn(QTableView& table, int column, int maxWidth)
{
    if (table.columnWidth(column) > maxWidth)
        table.setColumnWidth(column, maxWidth);
}

void showFailure(const Failure& failure)
{
    const QString text = failure.text();
    // The box comes while a window is still loading, under its wait cursor: the box itself shows the arrow.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    MessageBox::show(text, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
    if (waiting)
        QGuiApplication::restoreOverrideCursor();
}

} // namespace ovelta::ReportText
