#pragma once

#include <QDate>
#include <QString>

namespace ovelta::EntryStatements {

/// One ledger record as the record entry window saves it.
struct EntryValues
{
    QString direction; ///< 收送
    QString name; ///< 姓名, as typed
    QDate date; ///< 时间; only the date part is written
    QString relation; ///< 关系
    QString kind; ///< 类型
    qint64 amountTicks = 0; ///< 金额 in ten-thousandths
    QString note; ///< 说明, as typed
};

/// Year, month and day without leading zeros joined by "-": 2011-6-2.
QString dateText(const QDate& date);

/// "insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('…','…',…)": every value between single quotes,
/// the amount too (its exact shortest decimal), each user text with its quotes doubled.
QString insert(const EntryValues& values);

/// "update 收送礼 set 时间='…',收送='…',姓名='…',关系='…',类型='…',金额=…,说明='…' where ID=…": the amount bare,
/// each user text with its quotes doubled. The empty text when recordId is not a decimal number, so that
/// nothing but a record key ever follows "where ID=".
QString update(const EntryValues& values, const QString& recordId);

/// The find criteria of the record to modify: "id=" + recordId.
QString findCriteria(const QString& recordId);

} // namespace ovelta::EntryStatements
