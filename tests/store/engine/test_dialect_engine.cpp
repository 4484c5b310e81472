// The Jet dialect against a real ledger file: every statement shape the windows run, with its Jet meaning.

#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/value/SqlText.h"

#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

QString insertStatement(const QString& direction, const QString& name, const QString& date, const QString& amount,
                        const QString& note = QString())
{
    return u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values("_s + SqlText::quoted(direction) + u','
        + SqlText::quoted(name) + u',' + SqlText::quoted(date) + u",'朋友','结婚',"_s + SqlText::quoted(amount) + u','
        + SqlText::quoted(note) + u')';
}

} // namespace

class TestDialectEngine : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempFolder> m_folder;
    std::unique_ptr<DatabaseConnection> m_connection;
    std::unique_ptr<RecordSet> m_records;

    bool run(const QString& statement) { return m_connection->execute(statement); }

    /// One column of every row of a query, read as text.
    QStringList column(const QString& statement, const QString& name)
    {
        QStringList values;
        if (!m_records->open(statement))
            return {u"<refused>"_s};
        for (m_records->moveFirst(); !m_records->atEnd(); m_records->moveNext()) {
            QString value;
            m_records->readText(name, value);
            values << value;
        }
        m_records->close();
        return values;
    }
    int count(const QString& table)
    {
        const QStringList n = column(u"select count(*) as n from "_s + table, u"n"_s);
        return n.size() == 1 ? n.first().toInt() : -1;
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<test::TempFolder>();
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        m_connection = std::make_unique<DatabaseConnection>();
        QVERIFY(m_connection->connect(LedgerFile::name(), LedgerFile::password()));
        m_records = std::make_unique<RecordSet>();
        QVERIFY(m_records->bind(m_connection.get()));
    }
    void cleanup()
    {
        m_records.reset();
        m_connection.reset();
        m_folder.reset();
    }

    void entryStatementsStoreTypedValues()
    {
        QVERIFY(run(
            u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','张三','2011-6-2','朋友','结婚','200','')"_s));
        QVERIFY(run(
            u"update 收送礼 set 时间='2012-3-3',收送='送礼',姓名='李四',关系='同事',类型='生日',金额=66.6,说明='备注' where ID=1"_s));
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->find(u"id=1"_s, 1));
        QString text;
        QVERIFY(m_records->readText(u"时间"_s, text));
        QCOMPARE(text, u"2012-03-03 00:00:00"_s);
        QDateTime when;
        QVERIFY(m_records->readDateTime(u"时间"_s, when));
        QCOMPARE(when, QDateTime(QDate(2012, 3, 3), QTime(0, 0)));
        qint64 ticks = 0;
        QVERIFY(m_records->readCurrency(u"金额"_s, ticks));
        QCOMPARE(ticks, 666000);
        double amount = 0;
        QVERIFY(m_records->readNumber(u"金额"_s, amount));
        QCOMPARE(amount, 66.6);
        QVERIFY(m_records->readText(u"金额"_s, text));
        QCOMPARE(text, u"66.6"_s);
        qint64 id = 0;
        QVERIFY(m_records->readInteger(u"ID"_s, id));
        QCOMPARE(id, 1);
        QVERIFY(m_records->readText(u"姓名"_s, text));
        QCOMPARE(text, u"李四"_s);
        // A time of day is kept.
        QVERIFY(run(insertStatement(u"收礼"_s, u"王五"_s, u"2011-6-2 15:30:00"_s, u"1"_s)));
        QCOMPARE(column(u"select * from 收送礼 where 姓名='王五'"_s, u"时间"_s), QStringList{u"2011-06-02 15:30:00"_s});
    }

    void timeOrdersChronologically()
    {
        for (const QString& date : {u"2011-6-2"_s, u"2012-1-15"_s, u"2011-12-1"_s})
            QVERIFY(run(insertStatement(u"收礼"_s, date, date, u"1"_s)));
        QCOMPARE(column(u"select * from 收送礼 order by 时间 DESC"_s, u"姓名"_s),
                 (QStringList{u"2012-1-15"_s, u"2011-12-1"_s, u"2011-6-2"_s}));
        QVERIFY(m_records->openOrdered(u"收送礼"_s, u"时间"_s));
        QString first;
        m_records->readText(u"姓名"_s, first);
        QCOMPARE(first, u"2011-6-2"_s);
    }

    void betweenIncludesBothEndDays()
    {
        for (const QString& date : {u"2011-6-1"_s, u"2011-6-2"_s, u"2011-9-9"_s, u"2011-12-1"_s, u"2011-12-2"_s})
            QVERIFY(run(insertStatement(u"收礼"_s, date, date, u"1"_s)));
        QCOMPARE(column(u"select * from 收送礼 where 时间 between #2011/6/2# and #2011/12/1# order by 时间 desc"_s,
                        u"姓名"_s),
                 (QStringList{u"2011-12-1"_s, u"2011-9-9"_s, u"2011-6-2"_s}));
        QCOMPARE(column(u"select * from 收送礼 where 时间 >= '2011-12-1' order by 时间"_s, u"姓名"_s),
                 (QStringList{u"2011-12-1"_s, u"2011-12-2"_s}));
    }

    void searchShapes()
    {
        QVERIFY(run(insertStatement(u"收礼"_s, u"张三"_s, u"2011-6-2"_s, u"100"_s)));
        QVERIFY(run(insertStatement(u"送礼"_s, u"张三丰"_s, u"2011-7-2"_s, u"200"_s)));
        QVERIFY(run(insertStatement(u"送礼"_s, u"李四"_s, u"2011-8-2"_s, u"300"_s)));
        QVERIFY(run(insertStatement(u"收礼"_s, u"a_b%c"_s, u"2011-9-2"_s, u"400"_s)));
        const QString range = u"select * from 收送礼 where 时间 between #2011/6/1# and #2011/8/31#"_s;
        QCOMPARE(column(range + u" order by 时间 desc"_s, u"姓名"_s), (QStringList{u"李四"_s, u"张三丰"_s, u"张三"_s}));
        QCOMPARE(column(range + u" and 姓名 like'%张%' order by 时间 desc"_s, u"姓名"_s),
                 (QStringList{u"张三丰"_s, u"张三"_s}));
        QCOMPARE(column(range + u" and 收送='送礼' order by 时间 desc"_s, u"姓名"_s),
                 (QStringList{u"李四"_s, u"张三丰"_s}));
        QCOMPARE(column(range + u" and 收送='送礼'and 姓名 like'%张%' order by 时间 desc"_s, u"姓名"_s),
                 QStringList{u"张三丰"_s});
        QCOMPARE(
            column(u"select * from 收送礼 where 收送 like '%收%' and 姓名 like '%张%' order by 时间 desc"_s, u"姓名"_s),
            QStringList{u"张三"_s});
        // _ stands for one character, % for any run; typed into a search they keep acting as patterns.
        QCOMPARE(column(u"select * from 收送礼 where 姓名 like '张_' order by 时间 desc"_s, u"姓名"_s),
                 QStringList{u"张三"_s});
        QCOMPARE(column(u"select * from 收送礼 where 姓名 like '%_%' order by 时间 desc"_s, u"姓名"_s).size(), 4);
        QCOMPARE(column(u"select * from 收送礼 where 姓名 like '%b%c%' order by 时间 desc"_s, u"姓名"_s),
                 QStringList{u"a_b%c"_s});
    }

    void memoEqualityAndLikeIgnoreAsciiCase()
    {
        QCOMPARE(column(u"select * from 账号 where 用户='ADMIN'"_s, u"用户"_s), QStringList{u"admin"_s});
        QCOMPARE(column(u"select * from 账号 where 用户 like 'AdM%'"_s, u"密码"_s), QStringList{u"kelpo"_s});
        QCOMPARE(column(u"select * from 账号 where 用户='admin '"_s, u"用户"_s), QStringList());
        // Only ASCII letters fold: full-width letters stay distinct.
        QCOMPARE(column(u"select * from 账号 where 用户='ａｄｍｉｎ'"_s, u"用户"_s), QStringList());
    }

    void currencyIsExact()
    {
        const QStringList amounts = {u"66.6"_s, u"0.0001"_s, u"922337203685477.5807"_s, u"-922337203685477.5808"_s};
        for (const QString& amount : amounts)
            QVERIFY2(run(insertStatement(u"收礼"_s, amount, u"2011-6-2"_s, amount)), qPrintable(amount));
        QCOMPARE(column(u"select * from 收送礼 order by ID"_s, u"金额"_s), amounts);
        QVERIFY(run(u"update 收送礼 set 金额=66.6 where ID=2"_s));
        QVERIFY(run(u"update 收送礼 set 金额=-0.0001 where ID=3"_s));
        QCOMPARE(column(u"select * from 收送礼 order by ID"_s, u"金额"_s),
                 (QStringList{u"66.6"_s, u"66.6"_s, u"-0.0001"_s, u"-922337203685477.5808"_s}));
        QCOMPARE(column(u"select * from 收送礼 where 金额 = 66.6 order by ID"_s, u"ID"_s),
                 (QStringList{u"1"_s, u"2"_s}));
        // One ten-thousandth beyond the range fails and stores nothing.
        QVERIFY(!run(insertStatement(u"收礼"_s, u"over"_s, u"2011-6-2"_s, u"922337203685477.5808"_s)));
        QVERIFY(!run(u"update 收送礼 set 金额=922337203685477.5808 where ID=1"_s));
        QVERIFY(!run(u"update 收送礼 set 金额=-922337203685477.5809 where ID=1"_s));
        QCOMPARE(count(u"收送礼"_s), 4);
        QCOMPARE(column(u"select * from 收送礼 where ID=1"_s, u"金额"_s), QStringList{u"66.6"_s});
    }

    void failedConversionsStoreNothing()
    {
        QVERIFY(run(insertStatement(u"收礼"_s, u"ok"_s, u"2011-6-2"_s, u"5"_s, u"2011-7-7"_s)));
        QVERIFY(!run(insertStatement(u"收礼"_s, u"bad time"_s, u"abc"_s, u"5"_s)));
        QVERIFY(!run(insertStatement(u"收礼"_s, u"no such day"_s, u"2011-2-30"_s, u"5"_s)));
        QVERIFY(!run(insertStatement(u"收礼"_s, u"bad amount"_s, u"2011-6-2"_s, u"abc"_s)));
        QVERIFY(!run(u"update 收送礼 set 时间='2011-2-30', 姓名='changed' where ID=1"_s));
        QCOMPARE(count(u"收送礼"_s), 1);
        QCOMPARE(column(u"select * from 收送礼"_s, u"姓名"_s), QStringList{u"ok"_s});

        // Values that come from other columns are converted by the engine, and refused the same way.
        QVERIFY(run(u"update 收送礼 set 时间=说明 where ID=1"_s));
        QCOMPARE(column(u"select * from 收送礼"_s, u"时间"_s), QStringList{u"2011-07-07 00:00:00"_s});
        QVERIFY(!run(u"update 收送礼 set 时间=姓名 where ID=1"_s));
        QVERIFY(!run(u"update 收送礼 set 金额=姓名 where ID=1"_s));
        // A path the dialect does not convert meets the column's own check.
        QVERIFY(!run(u"insert into 收送礼(金额) select 姓名 from 收送礼"_s));
        QVERIFY(!run(u"insert into 收送礼(时间) select 说明 || 'x' from 收送礼"_s));
        QCOMPARE(count(u"收送礼"_s), 1);
        QCOMPARE(column(u"select * from 收送礼"_s, u"时间"_s), QStringList{u"2011-07-07 00:00:00"_s});
    }

    void counterNeverReusesANumber()
    {
        for (int i = 0; i < 3; ++i)
            QVERIFY(run(insertStatement(u"收礼"_s, QString::number(i), u"2011-6-2"_s, u"1"_s)));
        QVERIFY(run(u"delete from 收送礼 where ID=3"_s));
        QVERIFY(run(insertStatement(u"收礼"_s, u"next"_s, u"2011-6-2"_s, u"1"_s)));
        QCOMPARE(column(u"select * from 收送礼 where 姓名='next'"_s, u"ID"_s), QStringList{u"4"_s});
        // Also across connections.
        QVERIFY(run(u"delete from 关系 where id=5"_s));
        QVERIFY(m_connection->connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(run(u"insert into 关系(关系) values('邻居')"_s));
        QCOMPARE(column(u"select * from 关系 where 关系='邻居'"_s, u"ID"_s), QStringList{u"6"_s});
    }

    void lookupListStatements()
    {
        QCOMPARE(column(u"select * from 类型 "_s, u"类型"_s),
                 (QStringList{u"结婚"_s, u"生日"_s, u"升职"_s, u"乔迁"_s, u"探病"_s, u"丧礼"_s}));
        QVERIFY(m_records->open(u"select * from 类型 where 类型="_s + SqlText::quoted(u"婚宴"_s)));
        QCOMPARE(m_records->rowCount(), 0);
        QVERIFY(run(u"insert into 类型(类型) values("_s + SqlText::quoted(u"婚宴"_s) + u')'));
        QVERIFY(m_records->open(u"select * from 类型 where 类型="_s + SqlText::quoted(u"婚宴"_s)));
        QCOMPARE(m_records->rowCount(), 1);
        QVERIFY(run(u"delete from 类型 where id=7"_s));
        QVERIFY(run(u"delete from 类型 where id=7"_s)); // no row: still a success
        QVERIFY(!run(u"delete from 类型 where id="_s)); // nothing selected
        QCOMPARE(count(u"类型"_s), 6);
    }

    void apostrophesRoundTripThroughTheQuoteHelper()
    {
        const QString name = u"O'Brien's ''gift''"_s;
        QVERIFY(run(insertStatement(u"收礼"_s, name, u"2011-6-2"_s, u"1"_s, u"it's"_s)));
        QCOMPARE(column(u"select * from 收送礼 where 姓名="_s + SqlText::quoted(name), u"姓名"_s), QStringList{name});
        QCOMPARE(column(u"select * from 收送礼 where 姓名 like "_s + SqlText::quoted(u"%'B%"_s), u"说明"_s),
                 QStringList{u"it's"_s});
        // Unescaped, the same text breaks the statement, and nothing is stored.
        QVERIFY(!run(u"insert into 关系(关系) values('"_s + name + u"')"_s));
        QCOMPARE(count(u"关系"_s), 5);
    }

    void theInjectedNoteChangesOneRecordOnly()
    {
        QVERIFY(run(insertStatement(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, u"100"_s)));
        QVERIFY(run(insertStatement(u"收礼"_s, u"乙"_s, u"2011-6-3"_s, u"200"_s)));
        const QString note = u"', 金额=0 where 1=1 --"_s;
        QVERIFY(run(u"update 收送礼 set 时间='2011-6-2',收送='收礼',姓名='甲',关系='朋友',类型='结婚',金额=100,说明="_s
                    + SqlText::quoted(note) + u" where ID=1"_s));
        QCOMPARE(column(u"select * from 收送礼 order by ID"_s, u"金额"_s), (QStringList{u"100"_s, u"200"_s}));
        QCOMPARE(column(u"select * from 收送礼 order by ID"_s, u"说明"_s), (QStringList{note, QString()}));
        // Written without the helper, the statement is refused instead of rewritten.
        QVERIFY(!run(u"update 收送礼 set 说明='"_s + note + u"' where ID=1"_s));
        QCOMPARE(column(u"select * from 收送礼 order by ID"_s, u"金额"_s), (QStringList{u"100"_s, u"200"_s}));
    }

    void otherKindsWrittenByAnotherProgramAreRead()
    {
        // Columns of kinds the program never creates, as another program may have left them in the file.
        EngineConnection& engine = *m_connection->engine();
        QVERIFY(engine.executeNative("CREATE TABLE 杂项 (ID INTEGER PRIMARY KEY AUTOINCREMENT, 数量 INTEGER, "
                                     "比例 DOUBLE, 是否 YESNO INTEGER, 名称 TEXT COLLATE NOCASE, 附件 BLOB)"));
        QVERIFY(engine.executeNative("INSERT INTO 杂项(数量,比例,是否,名称) VALUES(12, 0.5, -1, 'x')"));
        QVERIFY(m_records->openTable(u"杂项"_s));
        QString text;
        QVERIFY(m_records->readText(u"数量"_s, text));
        QCOMPARE(text, u"12"_s);
        QVERIFY(m_records->readText(u"比例"_s, text));
        QCOMPARE(text, u"0.50000000"_s);
        QVERIFY(m_records->readText(u"是否"_s, text));
        QCOMPARE(text, u"TRUE"_s);
        QVERIFY(m_records->readText(u"名称"_s, text));
        QCOMPARE(text, u"x"_s);
        QVERIFY(m_records->readText(u"附件"_s, text));
        QCOMPARE(text, QString());
        double ratio = 0;
        QVERIFY(m_records->readNumber(u"比例"_s, ratio));
        QCOMPARE(ratio, 0.5);
        qint64 number = 0;
        QVERIFY(m_records->readInteger(u"数量"_s, number));
        QCOMPARE(number, 12);
        QVERIFY(!m_records->readInteger(u"是否"_s, number));
    }
};

QTEST_GUILESS_MAIN(TestDialectEngine)
#include "test_dialect_engine.moc"
