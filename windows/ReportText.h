#pragma once

#include <QDate>
#include <QString>

class QTableView;

namespace ovelta {

class LedgerTotals;

/// Texts of the people and statistics windows: money and dates as the ledger grid shows them.
namespace ReportText {

/// A sum or balance: "￥" and two decimals, rounded half away from zero; zero is "￥0.00".
QString money(qint64 ticks);
/// A record's amount as the grid shows it: "￥" and two decimals, nothing for zero.
QString amount(qint64 ticks);
/// A date as the grid shows it (2011年6月2日); nothing for a null date.
QString date(const QDate& date);
/// An amount as exact decimal text for a file: two decimals, more when the amount has them (100.0001).
QString exact(qint64 ticks);

/// Widens each column of the table but the last (which takes the rest) to its widest text in view, header
/// included, so that a large sum is never cut; a column is never made narrower than it is.
void widenToContents(QTableView& table);

/// Tells the user why the sums could not be read, after a failed call of totals.
void showFailure(const LedgerTotals& totals);

} // namespace ReportText

} // namespace ovelta
