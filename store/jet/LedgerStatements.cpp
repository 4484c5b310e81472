#include "store/jet/LedgerStatements.h"

#include "store/value/BlankText.h"
#include "store/value/Money.h"
#include "store/value/SqlText.h"

using namespace Qt::StringLiterals;

namespace ovelta::LedgerStatements {

namespace {

/// An engine identifier between double quotes, its own double quotes doubled.
QString quotedIdentifier(const QString& name)
{
    QString escaped = name;
    escaped.replace(u'"', u"\"\""_s);
    return u'"' + escaped + u'"';
}

bool isPlainName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name) {
        if (!(c.isLetterOrNumber() || c == u'_' || c.unicode() >= 0x80))
            return false;
    }
    return true;
}

} // namespace

QString ledgerTable()
{
    return u"收送礼"_s;
}

QString dateText(const QDate& date)
{
    return u"%1-%2-%3"_s.arg(date.year()).arg(date.month()).arg(date.day());
}

bool isRecordKey(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

QString addRecord(const EntryValues& values)
{
    return u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values("_s + SqlText::quoted(values.direction)
        + u","_s + SqlText::quoted(values.name) + u",'"_s + dateText(values.date) + u"',"_s
        + SqlText::quoted(values.relation) + u","_s + SqlText::quoted(values.occasion) + u",'"_s
        + Money::toLiteral(values.amountTicks) + u"',"_s + SqlText::quoted(values.note) + u")"_s;
}

QString modifyRecord(const EntryValues& values, const QString& recordId, const UnchangedColumns& unchanged)
{
    if (!isRecordKey(recordId))
        return {};
    // The value of a column: the stored one when the user left it alone, else the edited literal. A stored
    // amount goes bare, so it must be a number literal: anything else refuses the whole statement.
    bool refused = false;
    const auto value = [&unchanged, &refused](const QString& column, const QString& edited, bool amount = false) {
        const auto kept = unchanged.constFind(column);
        if (kept == unchanged.cend())
            return edited;
        if (!kept->has_value())
            return u"NULL"_s;
        if (!amount)
            return SqlText::quoted(**kept);
        const std::optional<qint64> ticks = Money::parseLiteral(**kept);
        refused = refused || !ticks;
        return ticks ? Money::toLiteral(*ticks) : QString();
    };
    const QString statement = u"update 收送礼 set 时间="_s + value(u"时间"_s, u"'"_s + dateText(values.date) + u"'"_s)
        + u",收送="_s + value(u"收送"_s, SqlText::quoted(values.direction)) + u",姓名="_s
        + value(u"姓名"_s, SqlText::quoted(values.name)) + u",关系="_s
        + value(u"关系"_s, SqlText::quoted(values.relation)) + u",类型="_s
        + value(u"类型"_s, SqlText::quoted(values.occasion)) + u",金额="_s
        + value(u"金额"_s, Money::toLiteral(values.amountTicks), true) + u",说明="_s
        + value(u"说明"_s, SqlText::quoted(values.note)) + u" where ID="_s + recordId;
    return refused ? QString() : statement;
}

QString deleteRecord(const QString& recordId)
{
    if (!isRecordKey(recordId))
        return {};
    return u"delete from 收送礼 where ID="_s + recordId;
}

QString findRecord(const QString& recordId)
{
    return u"id="_s + recordId;
}

QString refillOrder()
{
    return u"时间 DESC"_s;
}

QString refill()
{
    return ordered(ledgerTable(), refillOrder());
}

QString anyDirection()
{
    return u"全部"_s;
}

QString searchDateLiteral(const QDate& date)
{
    return u"#%1/%2/%3#"_s.arg(date.year()).arg(date.month()).arg(date.day());
}

QString search(const SearchInput& input)
{
    const QString n = SqlText::escaped(BlankText::trimmed(input.name));
    const QString d = SqlText::escaped(input.direction);
    const bool anyDir = input.direction == anyDirection();
    const bool anyName = n.isEmpty();
    const QString head = u"select * from 收送礼"_s;
    const QString order = u" order by 时间 desc"_s;

    if (input.rangeOn) {
        // The engine needs no blank between a quote and a keyword; the pieces stay exactly as the ledger has
        // always written them ("like'%", "'and 姓名").
        QString s = head + u" where 时间 between "_s + searchDateLiteral(input.start) + u" and "_s
            + searchDateLiteral(input.end);
        if (!anyDir)
            s += u" and 收送='"_s + d + u"'"_s;
        if (!anyName)
            s += (anyDir ? u" and 姓名 like'%"_s : u"and 姓名 like'%"_s) + n + u"%'"_s;
        return s + order;
    }

    if (anyDir && anyName)
        return head + order;
    QString s = head + u" where "_s;
    if (!anyDir)
        s += u"收送 like '%"_s + d + u"%'"_s;
    if (!anyName)
        s += (anyDir ? QString() : u" and "_s) + u"姓名 like '%"_s + n + u"%'"_s;
    return s + order;
}

QString lookupTable(LookupList list)
{
    return list == LookupList::Relations ? u"关系"_s : u"类型"_s;
}

QString listLookup(LookupList list)
{
    return u"select * from "_s + lookupTable(list) + u" "_s;
}

QString findDuplicate(LookupList list, const QString& entry)
{
    const QString table = lookupTable(list);
    return u"select * from "_s + table + u" where "_s + table + u"="_s + SqlText::quoted(entry);
}

QString addLookup(LookupList list, const QString& entry)
{
    const QString table = lookupTable(list);
    return u"insert into "_s + table + u"("_s + table + u") values("_s + SqlText::quoted(entry) + u")"_s;
}

QString deleteLookup(LookupList list, const QString& id)
{
    return u"delete from "_s + lookupTable(list) + u" where id="_s + id;
}

QString findAccount(const QString& user)
{
    return u"select * from 账号 where 用户="_s + SqlText::quoted(user);
}

QString wholeTable(const QString& table)
{
    return isPlainName(table) ? u"select * from "_s + table : QString();
}

QString ordered(const QString& table, const QString& order)
{
    return u"select * from %1 order by %2"_s.arg(table, order);
}

QStringList createTables()
{
    return {
        u"CREATE TABLE 收送礼 (ID Counter,收送 Memo,姓名 Memo,时间 Time,关系 Memo,类型 Memo,金额 Currency,说明 Memo)"_s,
        u"CREATE TABLE 关系 (ID Counter,关系 Memo)"_s,
        u"CREATE TABLE 类型 (ID Counter,类型 Memo)"_s,
        u"CREATE TABLE 收送 (ID Counter,收送 Memo)"_s,
        u"CREATE TABLE 账号 (ID Counter,用户 Memo,密码 Memo)"_s,
    };
}

QStringList seedRows()
{
    return {
        u"insert into 账号(用户,密码) values('admin','kelpo')"_s,
        u"insert into 关系 (关系) values ('亲戚')"_s,
        u"insert into 关系 (关系) values ('朋友')"_s,
        u"insert into 关系 (关系) values ('同学')"_s,
        u"insert into 关系 (关系) values ('同事')"_s,
        u"insert into 关系 (关系) values ('其他')"_s,
        u"insert into 类型 (类型) values ('结婚')"_s,
        u"insert into 类型 (类型) values ('生日')"_s,
        u"insert into 类型 (类型) values ('升职')"_s,
        u"insert into 类型 (类型) values ('乔迁')"_s,
        u"insert into 类型 (类型) values ('探病')"_s,
        u"insert into 类型 (类型) values ('丧礼')"_s,
        u"insert into 收送 (收送) values ('收礼')"_s,
        u"insert into 收送 (收送) values ('送礼')"_s,
    };
}

QString rowByKey(const QString& table, bool keyApart)
{
    return (keyApart ? u"SELECT _rowid_, * FROM %1 WHERE _rowid_=?"_s : u"SELECT * FROM %1 WHERE _rowid_=?"_s)
        .arg(quotedIdentifier(table));
}

QString tableIndexes(const QString& table)
{
    return u"PRAGMA index_list(%1)"_s.arg(quotedIdentifier(table));
}

QString insertRow(const QString& table, const QStringList& columns)
{
    if (columns.isEmpty())
        return u"INSERT INTO %1 DEFAULT VALUES"_s.arg(quotedIdentifier(table));
    QStringList names;
    for (const QString& column : columns)
        names << quotedIdentifier(column);
    return u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(quotedIdentifier(table), names.join(u','),
                                                    QStringList(names.size(), u"?"_s).join(u','));
}

QString updateRow(const QString& table, const QStringList& columns)
{
    QStringList names;
    for (const QString& column : columns)
        names << quotedIdentifier(column);
    return u"UPDATE %1 SET %2=? WHERE _rowid_=?"_s.arg(quotedIdentifier(table), names.join(u"=?,"_s));
}

QString deleteRow(const QString& table)
{
    return u"DELETE FROM %1 WHERE _rowid_=?"_s.arg(quotedIdentifier(table));
}

} // namespace ovelta::LedgerStatements
