#pragma once

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

/// The statements of the written windows and of the database objects, as their texts: those windows and objects
/// take their statements from here and write none of their own. The later features (totals, transfer, import,
/// backup, people) send the engine's own SQL with bound values from their own units. Each user text is put between
/// quotes with its own quotes doubled (SqlText), so that whatever the user types stays inside its literal.
///
/// The statements are Jet SQL, which the database objects translate for the engine, except those of the
/// record set's own rows at the end, which are the engine's SQL with the values bound as parameters.
namespace ovelta::LedgerStatements {

// --- The ledger records (收送礼) ---

/// A column's value as the record has it stored: its text (a date-time in the canonical form
/// "YYYY-MM-DD HH:MM:SS", an amount as its exact literal), or NULL (no value).
using StoredValue = std::optional<QString>;

/// One ledger record as the record entry window saves it.
struct EntryValues
{
    QString direction; ///< 收送
    QString name; ///< 姓名, as typed
    QDate date; ///< 时间; only the date part is written
    QString relation; ///< 关系
    QString occasion; ///< 类型
    qint64 amountTicks = 0; ///< 金额 in ten-thousandths
    QString note; ///< 说明, as typed
};

/// The columns (by name) that the user left as the record had them, with their stored values.
using UnchangedColumns = QHash<QString, StoredValue>;

/// The ledger table.
QString ledgerTable();

/// Year, month and day without leading zeros joined by "-": 2011-6-2.
QString dateText(const QDate& date);

/// True when text is a record key: one or more decimal digits and nothing else.
bool isRecordKey(const QString& text);

/// "insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('…','…',…)": every value between single quotes,
/// the amount too (its exact shortest decimal), each user text with its quotes doubled.
QString addRecord(const EntryValues& values);

/// "update 收送礼 set 时间='…',收送='…',姓名='…',关系='…',类型='…',金额=…,说明='…' where ID=…": the amount bare,
/// each user text with its quotes doubled. An unchanged column gets its stored value in place of the field of
/// values, exactly: 时间='2020-05-01 14:30:00' (the time of day stays), 金额=12.3456, or NULL.
/// The empty text when recordId is not a record key (so that nothing but a record key ever follows "where ID="),
/// or when a stored amount is no number literal.
QString modifyRecord(const EntryValues& values, const QString& recordId, const UnchangedColumns& unchanged = {});

/// "delete from 收送礼 where ID=…"; the empty text when recordId is not a record key.
QString deleteRecord(const QString& recordId);

/// The find criteria of the record to modify: "id=" + recordId.
QString findRecord(const QString& recordId);

/// The order of the ledger refill, newest first: "时间 DESC".
QString refillOrder();
/// The ledger refill: "select * from 收送礼 order by 时间 DESC".
QString refill();

// --- The search window ---

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
QString searchDateLiteral(const QDate& date);

/// The SELECT over 收送礼 for these inputs, newest first. The name is trimmed of ASCII and full-width blanks;
/// name and direction have their quotes doubled, so an apostrophe is searched literally while "%" and "_" keep
/// acting as patterns of like. With the range on the direction is matched with "=", with it off with like.
QString search(const SearchInput& input);

// --- The two lookup lists (关系, 类型) ---

enum class LookupList { Relations, Occasions };

/// The list's table, which is also the name of its entry column: 关系 or 类型.
QString lookupTable(LookupList list);
/// Every row of the list: "select * from 关系 " (the blank at the end is part of it).
QString listLookup(LookupList list);
/// The rows that hold that entry already: "select * from 关系 where 关系='…'".
QString findDuplicate(LookupList list, const QString& entry);
/// "insert into 关系(关系) values('…')".
QString addLookup(LookupList list, const QString& entry);
/// "delete from 关系 where id=" + the ID as the list shows it.
QString deleteLookup(LookupList list, const QString& id);

// --- The login ---

/// The account of that user: "select * from 账号 where 用户='…'".
QString findAccount(const QString& user);

// --- Tables read whole ---

/// "select * from " + table. Table names are the program's own; a name that is not a plain name (letters,
/// digits, "_" and characters beyond ASCII) gives the empty text.
QString wholeTable(const QString& table);
/// "select * from TABLE order by ORDER".
QString ordered(const QString& table, const QString& order);

// --- The creation of a ledger file ---

/// The five CREATE TABLE statements, in creation order (收送礼 first).
QStringList createTables();
/// The fourteen seed inserts, in order (the account first).
QStringList seedRows();

// --- The record set's own rows (the engine's SQL; every value a bound parameter) ---

/// One row of table by its key (the one parameter), in the shape of the set's rows: with the key as a first
/// column of its own when keyApart.
QString rowByKey(const QString& table, bool keyApart);
/// The indexes of a table (a full scan of a table without any reads its rows in key order).
QString tableIndexes(const QString& table);
/// A new row with the given columns' values as parameters, in order; no columns: a row of default values.
QString insertRow(const QString& table, const QStringList& columns);
/// Sets the given columns of the row whose key is the last parameter.
QString updateRow(const QString& table, const QStringList& columns);
/// Deletes the row whose key is the one parameter.
QString deleteRow(const QString& table);

} // namespace ovelta::LedgerStatements
