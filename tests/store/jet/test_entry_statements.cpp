// The INSERT and UPDATE of the record entry window, compared as exact texts.

#include "store/jet/LedgerStatements.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using LedgerStatements::EntryValues;
using LedgerStatements::UnchangedColumns;

Q_DECLARE_METATYPE(EntryValues)
Q_DECLARE_METATYPE(UnchangedColumns)

namespace {

EntryValues gift(const QString& name, const QString& note, qint64 ticks)
{
    return EntryValues{u"收礼"_s, name, QDate(2011, 6, 2), u"朋友"_s, u"结婚"_s, ticks, note};
}

} // namespace

class TestEntryStatements : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dateText_data();
    void dateText();
    void addRecord_data();
    void addRecord();
    void modifyRecord_data();
    void modifyRecord();
    void modifyRefusesAnythingButARecordKey_data();
    void modifyRefusesAnythingButARecordKey();
    void findRecord();
};

void TestEntryStatements::dateText_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");
    QTest::newRow("no leading zeros") << QDate(2011, 6, 2) << u"2011-6-2"_s;
    QTest::newRow("two-digit month and day") << QDate(2011, 12, 31) << u"2011-12-31"_s;
    QTest::newRow("leap day") << QDate(2012, 2, 29) << u"2012-2-29"_s;
}

void TestEntryStatements::dateText()
{
    QFETCH(QDate, date);
    QFETCH(QString, text);
    QCOMPARE(LedgerStatements::dateText(date), text);
}

void TestEntryStatements::addRecord_data()
{
    QTest::addColumn<EntryValues>("values");
    QTest::addColumn<QString>("statement");

    const QString head = u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values("_s;
    QTest::newRow("the ledger's own example")
        << gift(u"张三"_s, QString(), 2000000)
        << u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','张三','2011-6-2','朋友','结婚','200','')"_s;
    QTest::newRow("exact decimals, no float step")
        << gift(u"李四"_s, u"喜酒"_s, 666000) << head + u"'收礼','李四','2011-6-2','朋友','结婚','66.6','喜酒')"_s;
    QTest::newRow("trailing zero dropped")
        << gift(u"王五"_s, QString(), 125000) << head + u"'收礼','王五','2011-6-2','朋友','结婚','12.5','')"_s;
    QTest::newRow("every digit of a large amount")
        << gift(u"赵六"_s, QString(), 123456789012500)
        << head + u"'收礼','赵六','2011-6-2','朋友','结婚','12345678901.25','')"_s;
    QTest::newRow("negative amount") << gift(u"钱七"_s, QString(), -200000)
                                     << head + u"'收礼','钱七','2011-6-2','朋友','结婚','-20','')"_s;
    QTest::newRow("zero amount") << gift(u"孙八"_s, QString(), 0)
                                 << head + u"'收礼','孙八','2011-6-2','朋友','结婚','0','')"_s;
    QTest::newRow("apostrophes doubled") << gift(u"O'Brien"_s, u"it's ''fine''"_s, 10000)
                                         << head
            + u"'收礼','O''Brien','2011-6-2','朋友','结婚','1','it''s ''''fine''''')"_s;
    QTest::newRow("injection stays inside its literal")
        << gift(u"周九"_s, u"', 金额=0 where 1=1 --"_s, 10000)
        << head + u"'收礼','周九','2011-6-2','朋友','结婚','1',''', 金额=0 where 1=1 --')"_s;
    EntryValues quotedLists{u"收'礼"_s, QString(), QDate(2011, 6, 2), u"朋'友"_s, u"结'婚"_s, 10000, QString()};
    QTest::newRow("list entries are user texts too")
        << quotedLists << head + u"'收''礼','','2011-6-2','朋''友','结''婚','1','')"_s;
}

void TestEntryStatements::addRecord()
{
    QFETCH(EntryValues, values);
    QFETCH(QString, statement);
    QCOMPARE(LedgerStatements::addRecord(values), statement);
}

void TestEntryStatements::modifyRecord_data()
{
    QTest::addColumn<EntryValues>("values");
    QTest::addColumn<QString>("recordId");
    QTest::addColumn<UnchangedColumns>("unchanged");
    QTest::addColumn<QString>("statement");

    EntryValues march = gift(u"张三"_s, u"补记"_s, 2000000);
    march.date = QDate(2012, 3, 3);
    QTest::newRow("amount stands bare")
        << march << u"12"_s << UnchangedColumns()
        << u"update 收送礼 set 时间='2012-3-3',收送='收礼',姓名='张三',关系='朋友',类型='结婚',金额=200,说明='补记' where ID=12"_s;
    QTest::newRow("exact decimals")
        << gift(u"李四"_s, QString(), 666000) << u"3"_s << UnchangedColumns()
        << u"update 收送礼 set 时间='2011-6-2',收送='收礼',姓名='李四',关系='朋友',类型='结婚',金额=66.6,说明='' where ID=3"_s;
    QTest::newRow("negative amount")
        << gift(u"李四"_s, QString(), -1250) << u"3"_s << UnchangedColumns()
        << u"update 收送礼 set 时间='2011-6-2',收送='收礼',姓名='李四',关系='朋友',类型='结婚',金额=-0.125,说明='' where ID=3"_s;
    QTest::newRow("injection stays inside its literal")
        << gift(u"O'Brien"_s, u"', 金额=0 where 1=1 --"_s, 10000) << u"7"_s << UnchangedColumns()
        << u"update 收送礼 set 时间='2011-6-2',收送='收礼',姓名='O''Brien',关系='朋友',类型='结婚',金额=1,说明=''', 金额=0 where 1=1 --' where ID=7"_s;

    // Columns the user left alone go back as stored, in place of what the fields say.
    const UnchangedColumns kept{{u"时间"_s, u"2020-05-01 14:30:00"_s},
                                {u"姓名"_s, std::nullopt},
                                {u"金额"_s, u"12.3456"_s},
                                {u"说明"_s, u"it's"_s}};
    QTest::newRow("stored values, NULL among them")
        << march << u"5"_s << kept
        << u"update 收送礼 set 时间='2020-05-01 14:30:00',收送='收礼',姓名=NULL,关系='朋友',类型='结婚',金额=12.3456,说明='it''s' where ID=5"_s;
    const UnchangedColumns none{{u"时间"_s, std::nullopt}, {u"金额"_s, std::nullopt}};
    QTest::newRow("no date, no amount")
        << march << u"5"_s << none
        << u"update 收送礼 set 时间=NULL,收送='收礼',姓名='张三',关系='朋友',类型='结婚',金额=NULL,说明='补记' where ID=5"_s;
    // A stored amount stands bare: only a number literal may stand there.
    const UnchangedColumns notANumber{{u"金额"_s, u"1 where 1=1 --"_s}};
    QTest::newRow("stored amount that is no number") << march << u"5"_s << notANumber << QString();
}

void TestEntryStatements::modifyRecord()
{
    QFETCH(EntryValues, values);
    QFETCH(QString, recordId);
    QFETCH(UnchangedColumns, unchanged);
    QFETCH(QString, statement);
    QCOMPARE(LedgerStatements::modifyRecord(values, recordId, unchanged), statement);
}

void TestEntryStatements::modifyRefusesAnythingButARecordKey_data()
{
    QTest::addColumn<QString>("recordId");
    QTest::newRow("empty") << QString();
    QTest::newRow("condition appended") << u"1 or 1=1"_s;
    QTest::newRow("sign") << u"-1"_s;
    QTest::newRow("blank") << u" 12"_s;
    QTest::newRow("full-width digits") << u"１２"_s;
}

void TestEntryStatements::modifyRefusesAnythingButARecordKey()
{
    QFETCH(QString, recordId);
    QVERIFY(LedgerStatements::modifyRecord(gift(u"张三"_s, QString(), 10000), recordId).isEmpty());
}

void TestEntryStatements::findRecord()
{
    QCOMPARE(LedgerStatements::findRecord(u"12"_s), u"id=12"_s);
}

QTEST_GUILESS_MAIN(TestEntryStatements)
#include "test_entry_statements.moc"
