#pragma once

#include <QDate>
#include <QString>

namespace ovelta::SearchStatement {

/// What the search window reads when the search runs.
struct SearchInput
{
    bool rangeOn = false; ///< the date range check box is ticked
    QDate start;
    QDate end;
    QString direction; ///< the selected direction; "全部" (compared exactly) means any
    QString name; ///< the name text as typed; blanks at both ends do not count
};

/// The direction entry that stands for every direction.
QString anyDirection();

/// A date literal of the search: year/month/day without leading zeros between "#": #2011/5/2#.
QString dateLiteral(const QDate& date);

/// The SELECT over 收送礼 for these inputs, newest first. The name is trimmed of ASCII and full-width blanks;
/// name and direction have their quotes doubled, so an apostrophe is searched literally while "%" and "_" keep
/// acting as patterns of like. With the range on the direction is matched with "=", with it off with like.
QString build(const SearchInput& input);

} // namespace ovelta::SearchStatement
