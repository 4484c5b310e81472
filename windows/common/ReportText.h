#pragma once

#include "store/ledger/LedgerTotals.h"

#include <QDate>
#include <QString>
#include <QVariant>

class QTableView;

namespace ovelta {

/// Texts of the people and statistics windows: money as financial tables write it, dates as the ledger grid
/// shows them.
namespace ReportText {

/// A sum or balance, exactly: "￥", the yuan in groups of three digits, and two decimals, or all four when the
/// amount has parts of a fen (￥1,234.50, ￥-0.0001, ￥12.3456), so that nothing shows as a false zero; zero is
/// "￥0.00".
QString money(Sum ticks);
/// A record's amount as money() writes it; nothing for zero.
QString amount(qint64 ticks);
/// A date as the grid shows it (2011年6月2日); nothing for a null date.
QString date(const QDate& date);
/// A date for a file: YYYY-MM-DD; nothing for a null date.
QString isoDate(const QDate& date);
/// An amount as exact decimal text for a file, without groups: two decimals, more when the amount has them
/// (100.0001, 12.345).
QString exact(Sum ticks);
/// The sum as a plain value for sorting and tests: a qint64 when it fits, else its exact() text.
QVariant plain(Sum ticks);

/// Widens each column of the table but the last (which takes the rest) to its widest text in view, header
/// included, so that a large sum is never cut; a column is never made narrower than it is.
void widenToContents(QTableView& table);
/// The width the table needs to show every column at its widest text in view, the last one included, with its
/// frame and the vertical scroll bar.
int widthForContents(const QTableView& table);
/// Keeps a column of free text (a name) at most maxWidth wide, so that one long text does not push the amounts
/// beside it out of view; the cells' tool tips show such a text whole.
void limitColumn(QTableView& table, int column, int maxWidth);

/// Tells the user why the sums could not be read.
void showFailure(const Failure& failure);

} // namespace ReportText

} // namespace ovelta
