// The statements of the lookup lists, the login, the delete, the refill, the tables read whole, the creation
// and the record set's own rows, compared as exact texts.

#include "store/jet/LedgerStatements.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using LedgerStatements::LookupList;

class TestLedgerStatements : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lookupStatements_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("expected");
        using namespace LedgerStatements;
        const auto r = LookupList::Relations;
        const auto t = LookupList::Occasions;
        QTest::newRow("list, relations") << listLookup(r) << u"select * from 关系 "_s;
        QTest::newRow("list, types") << listLookup(t) << u"select * from 类型 "_s;
        QTest::newRow("duplicate") << findDuplicate(r, u"朋友"_s) << u"select * from 关系 where 关系='朋友'"_s;
        QTest::newRow("duplicate, quotes doubled")
            << findDuplicate(t, u"it's"_s) << u"select * from 类型 where 类型='it''s'"_s;
        QTest::newRow("insert") << addLookup(t, u"婚宴"_s) << u"insert into 类型(类型) values('婚宴')"_s;
        QTest::newRow("insert, injection stays inside its literal")
            << addLookup(r, u"x'); delete from 关系; --"_s)
            << u"insert into 关系(关系) values('x''); delete from 关系; --')"_s;
        QTest::newRow("delete") << deleteLookup(r, u"7"_s) << u"delete from 关系 where id=7"_s;
        QTest::newRow("login") << findAccount(u"admin"_s) << u"select * from 账号 where 用户='admin'"_s;
        QTest::newRow("login, quotes doubled")
            << findAccount(u"' or ''='"_s) << u"select * from 账号 where 用户=''' or ''''='''"_s;
        QTest::newRow("record delete") << deleteRecord(u"12"_s) << u"delete from 收送礼 where ID=12"_s;
        QTest::newRow("refill") << refill() << u"select * from 收送礼 order by 时间 DESC"_s;
        QTest::newRow("whole table") << wholeTable(u"收送"_s) << u"select * from 收送"_s;
    }
    void lookupStatements()
    {
        QFETCH(QString, statement);
        QFETCH(QString, expected);
        QCOMPARE(statement, expected);
    }

    void recordDeleteRefusesAnythingButARecordKey_data()
    {
        QTest::addColumn<QString>("recordId");
        QTest::newRow("empty") << QString();
        QTest::newRow("condition appended") << u"1 or 1=1"_s;
        QTest::newRow("sign") << u"-1"_s;
        QTest::newRow("decimal") << u"1.5"_s;
    }
    void recordDeleteRefusesAnythingButARecordKey()
    {
        QFETCH(QString, recordId);
        QVERIFY(LedgerStatements::deleteRecord(recordId).isEmpty());
    }

    void wholeTableTakesOnlyPlainNames_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("empty") << QString();
        QTest::newRow("blank") << u"a b"_s;
        QTest::newRow("statement appended") << u"账号;delete"_s;
        QTest::newRow("bracket") << u"[账号]"_s;
    }
    void wholeTableTakesOnlyPlainNames()
    {
        QFETCH(QString, table);
        QVERIFY(LedgerStatements::wholeTable(table).isEmpty());
    }

    void creationStatementsAreTheLedgersOwn()
    {
        const QStringList creates = LedgerStatements::createTables();
        QCOMPARE(creates.size(), 5);
        QCOMPARE(
            creates.first(),
            u"CREATE TABLE 收送礼 (ID Counter,收送 Memo,姓名 Memo,时间 Time,关系 Memo,类型 Memo,金额 Currency,说明 Memo)"_s);
        QCOMPARE(creates.last(), u"CREATE TABLE 账号 (ID Counter,用户 Memo,密码 Memo)"_s);
        const QStringList seeds = LedgerStatements::seedRows();
        QCOMPARE(seeds.size(), 14);
        QCOMPARE(seeds.first(), u"insert into 账号(用户,密码) values('admin','kelpo')"_s);
        QCOMPARE(seeds.last(), u"insert into 收送 (收送) values ('送礼')"_s);
    }

    void rowStatementsQuoteEveryName()
    {
        using namespace LedgerStatements;
        QCOMPARE(rowByKey(u"账号"_s, false), u"SELECT * FROM \"账号\" WHERE _rowid_=?"_s);
        QCOMPARE(rowByKey(u"a\"b"_s, true), u"SELECT _rowid_, * FROM \"a\"\"b\" WHERE _rowid_=?"_s);
        QCOMPARE(insertRow(u"账号"_s, {u"用户"_s, u"密码"_s}),
                 u"INSERT INTO \"账号\" (\"用户\",\"密码\") VALUES (?,?)"_s);
        QCOMPARE(insertRow(u"账号"_s, {}), u"INSERT INTO \"账号\" DEFAULT VALUES"_s);
        QCOMPARE(updateRow(u"账号"_s, {u"用户"_s, u"密码"_s}),
                 u"UPDATE \"账号\" SET \"用户\"=?,\"密码\"=? WHERE _rowid_=?"_s);
        QCOMPARE(deleteRow(u"账号"_s), u"DELETE FROM \"账号\" WHERE _rowid_=?"_s);
    }
};

QTEST_GUILESS_MAIN(TestLedgerStatements)
#include "test_ledger_statements.moc"
