// 数据库连接 and 记录集 over a real ledger file: connect, execute, the row set's navigation, reads, changes and
// its one message.

#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/value/SqlText.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;

class TestRecordSet : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempFolder> m_folder;
    std::unique_ptr<DatabaseConnection> m_connection;
    std::unique_ptr<RecordSet> m_records;
    QStringList m_reported;

    void addRecord(const QString& name, const QString& date, const QString& amount)
    {
        QVERIFY(m_connection->execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼',"_s
                                      + SqlText::quoted(name) + u',' + SqlText::quoted(date) + u",'朋友','结婚','"_s
                                      + amount + u"','')"_s));
    }
    QString text(const QString& column)
    {
        QString value;
        m_records->readText(column, value);
        return value;
    }
    /// Every account as "ID:用户:密码", read through a fresh connection.
    QStringList accounts()
    {
        ExternalDatabase external;
        if (!external.connect(LedgerFile::name(), QString(), LedgerFile::password()))
            return {u"<no connection>"_s};
        const int rows = external.query(u"select * from 账号 order by ID"_s);
        QStringList result;
        for (external.moveFirst(rows); !external.atEnd(rows); external.moveNext(rows))
            result << external.read(rows, 1).toString() + u':' + external.read(rows, 2).toString() + u':'
                    + external.read(rows, 3).toString();
        return result;
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
        m_reported.clear();
        RecordSet::setErrorReporter([this](const QString& message) { m_reported << message; });
    }
    void cleanup()
    {
        RecordSet::setErrorReporter({});
        m_records.reset();
        m_connection.reset();
        m_folder.reset();
    }

    void connectFailsSilentlyAndCreatesNothing()
    {
        DatabaseConnection other;
        QVERIFY(!other.connect(u"missing.xc"_s, LedgerFile::password()));
        QVERIFY(!QFile::exists(u"missing.xc"_s));
        QVERIFY(!other.connect(LedgerFile::name(), u"another key"_s));
        QVERIFY(!other.connect(LedgerFile::name(), QString()));
        QVERIFY(!other.isOpen());
        QVERIFY(!other.execute(u"select * from 账号"_s));
        QCOMPARE(other.lastConnectionText(), u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=lgbk.xc"_s);
        // A password the connection text cannot carry unchanged does not connect.
        QVERIFY(!other.connect(LedgerFile::name(), LedgerFile::password() + u";x"_s));
        QVERIFY(m_reported.isEmpty());
    }

    void reconnectClosesTheOldConnectionFirst()
    {
        QSignalSpy changed(m_connection.get(), &DatabaseConnection::engineChanged);
        QVERIFY(m_connection->connect(LedgerFile::name(), LedgerFile::password()));
        QCOMPARE(changed.count(), 2); // closed, then opened
        QCOMPARE(
            m_connection->lastConnectionText(),
            u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=lgbk.xc;Jet OLEDB:Database Password=Qm_4Rtwpz8-2HsK;"_s);
        QVERIFY(!m_connection->connect(u"missing.xc"_s, LedgerFile::password()));
        QVERIFY(!m_connection->isOpen());
        m_connection->close(); // nothing open: nothing happens
        QVERIFY(!m_connection->execute(u"delete from 收送礼"_s));
    }

    void executeResults()
    {
        QVERIFY(m_connection->execute(u"delete from 收送礼 where ID=999"_s));
        QVERIFY(!m_connection->execute(u"delete frm 收送礼"_s));
        QVERIFY(!m_connection->execute(QString()));
        QVERIFY(m_reported.isEmpty());
    }

    void openRules()
    {
        RecordSet unbound;
        QVERIFY(!unbound.open(u"select * from 账号"_s));
        QVERIFY(!unbound.bind(nullptr));
        QVERIFY(!m_records->open(QString()));
        QVERIFY(m_reported.isEmpty());

        QVERIFY(!m_records->open(u"select * from 没有的表"_s));
        QCOMPARE(m_reported.size(), 1);
        QVERIFY(m_reported.first().contains(u"没有的表"_s));
        QVERIFY(m_records->atEnd());
        QCOMPARE(m_records->rowCount(), -1);
        QString value = u"stale"_s;
        QVERIFY(!m_records->readText(u"ID"_s, value));
        QCOMPARE(value, QString());

        // A refused open closes the set that was open.
        QVERIFY(m_records->openTable(u"账号"_s));
        QVERIFY(!m_records->open(u"select * from 账号 where 用户='x"_s));
        QCOMPARE(m_reported.size(), 2);
        QVERIFY(!m_records->isOpen());

        // Statements that yield no rows are refused before they run.
        QVERIFY(!m_records->open(u"delete from 账号"_s));
        QCOMPARE(m_reported.size(), 3);
        QVERIFY(m_records->openTable(u"账号"_s));
        QCOMPARE(m_records->rowCount(), 1);

        // Bound to a closed connection, the open is refused by the engine with a message.
        m_connection->close();
        QVERIFY(!m_records->openTable(u"账号"_s));
        QCOMPARE(m_reported.size(), 4);

        // Without a reporter nothing is shown and the open still fails.
        RecordSet::setErrorReporter({});
        QVERIFY(m_connection->connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(!m_records->open(u"select * from 没有的表"_s));
    }

    void atEndAndMoves()
    {
        QVERIFY(m_records->open(u"select * from 收送礼"_s));
        QVERIFY(m_records->atEnd()); // empty set
        QCOMPARE(m_records->rowCount(), 0);
        QVERIFY(!m_records->moveFirst());
        QVERIFY(!m_records->moveNext());

        QVERIFY(m_records->openTable(u"收送"_s));
        QCOMPARE(m_records->rowCount(), 2);
        QCOMPARE(text(u"收送"_s), u"收礼"_s); // on the first row after the open
        QVERIFY(m_records->moveNext());
        QVERIFY(!m_records->atEnd()); // on the last row
        QCOMPARE(text(u"收送"_s), u"送礼"_s);
        QVERIFY(!m_records->atEnd()); // the test does not move
        QVERIFY(m_records->moveNext());
        QVERIFY(m_records->atEnd());
        QVERIFY(!m_records->moveNext());
        QString value;
        QVERIFY(!m_records->readText(u"收送"_s, value));
        QVERIFY(m_records->moveFirst());
        QCOMPARE(text(u"收送"_s), u"收礼"_s);
        m_records->close();
        m_records->close();
        QVERIFY(m_records->atEnd());
        QVERIFY(!m_records->moveFirst());
    }

    void findByNumber()
    {
        for (int i = 1; i <= 4; ++i)
            addRecord(u"r%1"_s.arg(i), u"2011-6-%1"_s.arg(i), QString::number(i));
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->find(u"id=3"_s, 1));
        QCOMPARE(text(u"姓名"_s), u"r3"_s);
        QVERIFY(m_records->find(u"id=3"_s, 1)); // the current row is included
        QVERIFY(!m_records->find(u"id=1"_s, 1)); // forward only
        QVERIFY(m_records->atEnd());
        QVERIFY(m_records->moveFirst());
        QVERIFY(!m_records->find(u"id=99"_s, 1));
        QVERIFY(m_records->atEnd());
        QVERIFY(m_records->moveFirst());
        QVERIFY(!m_records->find(u"id="_s, 1));
        QVERIFY(!m_records->find(u"nosuch=1"_s, 1));
        QCOMPARE(text(u"姓名"_s), u"r1"_s); // a malformed criteria does not move
        QVERIFY(m_records->find(u"金额=2"_s, 1));
        QCOMPARE(text(u"姓名"_s), u"r2"_s);
    }

    void theSnapshotDoesNotSeeLaterChanges()
    {
        addRecord(u"before"_s, u"2011-6-2"_s, u"1"_s);
        QVERIFY(m_records->openOrdered(u"收送礼"_s, u"时间 DESC"_s));
        QCOMPARE(m_records->rowCount(), 1);
        addRecord(u"after"_s, u"2012-6-2"_s, u"2"_s);
        QVERIFY(m_connection->execute(u"update 收送礼 set 姓名='changed' where ID=1"_s));
        ExternalDatabase external;
        QVERIFY(external.connect(LedgerFile::name(), QString(), LedgerFile::password()));
        QVERIFY(external.execute(u"delete from 收送礼 where ID=1"_s));
        QCOMPARE(m_records->rowCount(), 1);
        QCOMPARE(text(u"姓名"_s), u"before"_s);
        QVERIFY(m_records->moveNext());
        QVERIFY(m_records->atEnd());
        QVERIFY(m_records->openOrdered(u"收送礼"_s, u"时间 DESC"_s));
        QCOMPARE(m_records->rowCount(), 1);
        QCOMPARE(text(u"姓名"_s), u"after"_s);
    }

    void readsByKind()
    {
        addRecord(u"张三"_s, u"2011-6-2"_s, u"12.5"_s);
        QVERIFY(m_connection->execute(u"update 收送礼 set 说明=NULL"_s));
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QCOMPARE(text(u"ID"_s), u"1"_s);
        QCOMPARE(text(u"id"_s), u"1"_s); // Jet names ignore letter case
        QCOMPARE(text(u"金额"_s), u"12.5"_s);
        QCOMPARE(text(u"时间"_s), u"2011-06-02 00:00:00"_s);
        QString value = u"stale"_s;
        QVERIFY(m_records->readText(u"说明"_s, value)); // NULL reads as the empty text
        QCOMPARE(value, QString());
        QVERIFY(m_records->isNull(u"说明"_s));
        QVERIFY(!m_records->isNull(u"姓名"_s));
        QVERIFY(!m_records->readText(u"没有"_s, value));

        double number = 0;
        qint64 integer = 0;
        QDateTime when;
        QDate day;
        qint64 ticks = 0;
        QVERIFY(!m_records->readNumber(u"姓名"_s, number));
        QVERIFY(!m_records->readNumber(u"ID"_s, number));
        QVERIFY(!m_records->readInteger(u"金额"_s, integer));
        QVERIFY(!m_records->readInteger(u"姓名"_s, integer));
        QVERIFY(!m_records->readDateTime(u"姓名"_s, when));
        QVERIFY(!m_records->readDateTime(u"说明"_s, when));
        QVERIFY(!m_records->readCurrency(u"ID"_s, ticks));
        QVERIFY(m_records->readNumber(u"金额"_s, number));
        QCOMPARE(number, 12.5);
        QVERIFY(m_records->readDate(u"时间"_s, day));
        QCOMPARE(day, QDate(2011, 6, 2));

        QVERIFY(m_records->open(u"select count(*) as n, 1.5 as f, max(时间) as t from 收送礼"_s));
        QCOMPARE(text(u"n"_s), u"1"_s);
        QCOMPARE(text(u"f"_s), u"1.50000000"_s);
        QVERIFY(m_records->readInteger(u"n"_s, integer));
        QVERIFY(m_records->readNumber(u"f"_s, number));
        QCOMPARE(text(u"t"_s), u"2011-06-02 00:00:00"_s);
    }

    void accountReplacedInOneTransaction()
    {
        // The password window's change: delete the first row, append a new one.
        QVERIFY(m_records->openTable(u"账号"_s));
        QVERIFY(m_records->inTransaction([this] {
            return m_records->deleteCurrent() && m_records->addRow() && m_records->writeText(u"用户"_s, u"admin"_s)
                && m_records->writeText(u"密码"_s, u"new'pw"_s) && m_records->saveRow();
        }));
        QCOMPARE(accounts(), QStringList{u"2:admin:new'pw"_s});
        // The saved row joins the open set with its new ID.
        qint64 id = 0;
        QVERIFY(m_records->readInteger(u"ID"_s, id));
        QCOMPARE(id, 2);
        QCOMPARE(m_records->rowCount(), 1);

        // A failure after the delete leaves the account in place.
        QVERIFY(m_records->openTable(u"账号"_s));
        QVERIFY(!m_records->inTransaction([this] {
            return m_records->deleteCurrent() && m_records->addRow() && m_records->writeText(u"ID"_s, u"7"_s)
                && m_records->saveRow();
        }));
        QCOMPARE(accounts(), QStringList{u"2:admin:new'pw"_s});
        QVERIFY(!m_records->isOpen()); // its rows no longer match the file
    }

    void pendingRows()
    {
        QVERIFY(!m_records->addRow()); // nothing open
        QVERIFY(m_records->open(u"select count(*) as n from 账号"_s));
        QVERIFY(!m_records->addRow()); // not a table's rows
        QVERIFY(!m_records->deleteCurrent());

        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->addRow());
        QVERIFY(!m_records->atEnd());
        QVERIFY(!m_records->writeText(u"ID"_s, u"5"_s)); // the engine numbers the rows
        QVERIFY(!m_records->writeText(u"时间"_s, u"2011-2-30"_s));
        QVERIFY(!m_records->writeText(u"金额"_s, u"abc"_s));
        QVERIFY(!m_records->writeText(u"没有"_s, u"x"_s));
        QVERIFY(m_records->writeText(u"时间"_s, u"2011-6-2"_s));
        QVERIFY(m_records->writeText(u"金额"_s, u"66.6"_s));
        QVERIFY(m_records->writeText(u"姓名"_s, u"新"_s));
        QCOMPARE(text(u"姓名"_s), u"新"_s); // the pending row reads back
        QVERIFY(m_records->saveRow());
        QCOMPARE(text(u"时间"_s), u"2011-06-02 00:00:00"_s);
        QCOMPARE(text(u"金额"_s), u"66.6"_s);
        QVERIFY(!m_records->saveRow()); // nothing pending

        // Editing the current row, and moving away, which cancels.
        QVERIFY(m_records->writeText(u"姓名"_s, u"改"_s));
        QVERIFY(m_records->saveRow());
        QVERIFY(m_records->writeText(u"姓名"_s, u"dropped"_s));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->open(u"select * from 收送礼"_s));
        QCOMPARE(text(u"姓名"_s), u"改"_s);
        QCOMPARE(text(u"金额"_s), u"66.6"_s);

        // Delete at once; the deleted row is skipped and no longer counted.
        QVERIFY(m_records->deleteCurrent());
        QVERIFY(!m_records->deleteCurrent());
        QString value;
        QVERIFY(!m_records->readText(u"姓名"_s, value));
        QCOMPARE(m_records->rowCount(), 0);
        QVERIFY(m_records->atEnd());
        QVERIFY(m_records->open(u"select * from 收送礼"_s));
        QCOMPARE(m_records->rowCount(), 0);
    }

    void aRowDeletedElsewhereCannotBeChanged()
    {
        addRecord(u"x"_s, u"2011-6-2"_s, u"1"_s);
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_connection->execute(u"delete from 收送礼"_s));
        QVERIFY(m_records->writeText(u"姓名"_s, u"y"_s));
        QVERIFY(!m_records->saveRow());
        QVERIFY(!m_records->deleteCurrent());
        QCOMPARE(text(u"姓名"_s), u"x"_s);
    }

    void filters()
    {
        QVERIFY(m_records->setFilter(QString())); // also with nothing open
        QVERIFY(!m_records->setFilter(u"ID=1"_s));
        QVERIFY(m_records->openTable(u"关系"_s));
        QVERIFY(m_records->setFilter(u"ID>=4"_s));
        QCOMPARE(m_records->rowCount(), 2);
        QCOMPARE(text(u"关系"_s), u"同事"_s);
        QVERIFY(m_records->moveNext());
        QCOMPARE(text(u"关系"_s), u"其他"_s);
        QVERIFY(m_records->moveNext());
        QVERIFY(m_records->atEnd());
        QVERIFY(!m_records->setFilter(u"ID>>4"_s));
        QVERIFY(m_records->setFilter(QString()));
        QCOMPARE(m_records->rowCount(), 5);
        QCOMPARE(text(u"关系"_s), u"亲戚"_s);
        QVERIFY(m_records->setFilter(u"关系='朋友'"_s));
        QCOMPARE(m_records->rowCount(), 1);
        QVERIFY(m_records->openTable(u"关系"_s)); // a new open has no filter
        QCOMPARE(m_records->rowCount(), 5);
    }

    void rowsWrittenOnOneConnectionReachTheNextConnectOfTheOther()
    {
        ExternalDatabase external;
        QVERIFY(external.connect(LedgerFile::name(), QString(), LedgerFile::password()));
        QVERIFY(m_connection->execute(u"insert into 关系(关系) values('邻居')"_s));
        QVERIFY(external.connect(LedgerFile::name(), QString(), LedgerFile::password()));
        const int rows = external.query(u"select * from 关系 where 关系='邻居'"_s);
        QVERIFY(!external.atEnd(rows));
        QVERIFY(external.execute(u"insert into 类型(类型) values('满月')"_s));
        QVERIFY(m_connection->connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(m_records->open(u"select * from 类型 where 类型='满月'"_s));
        QCOMPARE(m_records->rowCount(), 1);
    }

    void orderedOpenGivesTheEnginesOrder_data()
    {
        QTest::addColumn<QString>("order");
        QTest::newRow("time, newest first") << u"时间 DESC"_s;
        QTest::newRow("time, oldest first") << u"时间"_s;
        QTest::newRow("time, asc written out") << u"时间 asc"_s;
        QTest::newRow("amount, largest first") << u"金额 DESC"_s;
        QTest::newRow("name") << u"姓名"_s;
        QTest::newRow("note, descending") << u"说明 desc"_s;
        QTest::newRow("key, descending") << u"ID DESC"_s;
    }
    void orderedOpenGivesTheEnginesOrder()
    {
        QFETCH(QString, order);
        // Few dates for many records, so that most records share theirs; some without a date, some with a
        // time of day; and values of other kinds that another program may have written into the texts.
        QVERIFY(m_connection->engine()->executeNative("BEGIN"));
        const QStringList dates = {u"2011-6-2"_s, u"2011-6-2 15:30:00"_s, u"1999-12-31"_s,
                                   u"2030-1-1"_s, u"100-1-1"_s,           u"9999-12-31 23:59:59"_s};
        for (int i = 0; i < 600; ++i) {
            const QString date = i % 7 == 0 ? u"NULL"_s : SqlText::quoted(dates[i % dates.size()]);
            QVERIFY(m_connection->execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','"_s
                                          + u"客%1"_s.arg(i % 13) + u"',"_s + date + u",'朋友','结婚','"_s
                                          + QString::number(i % 5 * 100) + u"',"_s
                                          + (i % 3 == 0 ? u"NULL"_s : u"'注%1'"_s.arg(i % 4)) + u")"_s));
        }
        for (const char* odd : {"UPDATE 收送礼 SET 说明=X'00FF' WHERE ID=9", "UPDATE 收送礼 SET 姓名=NULL WHERE ID=12",
                                "UPDATE 收送礼 SET 姓名=X'41' WHERE ID=13", "UPDATE 收送礼 SET 姓名=7 WHERE ID=14",
                                "UPDATE 收送礼 SET 姓名=7.5 WHERE ID=15"})
            QVERIFY2(m_connection->engine()->executeNative(odd), odd);
        QVERIFY(m_connection->engine()->executeNative("COMMIT"));

        auto ids = [this] {
            QList<qint64> result;
            for (m_records->moveFirst(); !m_records->atEnd(); m_records->moveNext()) {
                qint64 id = 0;
                m_records->readInteger(u"ID"_s, id);
                result << id;
            }
            return result;
        };
        QVERIFY(m_records->open(u"select * from 收送礼 order by "_s + order));
        const QList<qint64> engine = ids();
        QVERIFY(m_records->openOrdered(u"收送礼"_s, order));
        QCOMPARE(m_records->rowCount(), 600);
        QCOMPARE(ids(), engine);
        QVERIFY(m_reported.isEmpty());
    }

    void orderedOpenKeepsTheSetsOtherWork()
    {
        addRecord(u"甲"_s, u"2011-1-1"_s, u"1"_s);
        addRecord(u"乙"_s, u"2012-1-1"_s, u"2"_s);
        addRecord(u"丙"_s, u"2010-1-1"_s, u"3"_s);
        QVERIFY(m_records->openOrdered(u"收送礼"_s, u"时间 DESC"_s));
        QCOMPARE(text(u"姓名"_s), u"乙"_s);
        QVERIFY(m_records->find(u"id=3"_s, 1));
        QCOMPARE(text(u"姓名"_s), u"丙"_s);
        QVERIFY(m_records->writeText(u"姓名"_s, u"丁"_s));
        QVERIFY(m_records->saveRow());
        QCOMPARE(text(u"姓名"_s), u"丁"_s);
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->moveNext());
        QCOMPARE(text(u"姓名"_s), u"甲"_s);
        QVERIFY(m_records->deleteCurrent());
        QVERIFY(m_records->setFilter(u"id=2"_s));
        QCOMPARE(m_records->rowCount(), 1);
        QCOMPARE(text(u"姓名"_s), u"乙"_s);
        QVERIFY(m_records->open(u"select * from 收送礼 order by ID"_s));
        QCOMPARE(m_records->rowCount(), 2);
        QVERIFY(m_records->moveNext());
        QCOMPARE(text(u"姓名"_s), u"丁"_s);

        // An order the set does not take itself, or a column the table lacks, is the engine's.
        QVERIFY(m_records->openOrdered(u"收送礼"_s, u"时间 DESC, ID DESC"_s));
        QCOMPARE(text(u"姓名"_s), u"乙"_s);
        QVERIFY(!m_records->openOrdered(u"收送礼"_s, u"没有的列 DESC"_s));
        QCOMPARE(m_reported.size(), 1);
        QVERIFY(!m_records->openOrdered(u"没有的表"_s, u"时间 DESC"_s));
        QCOMPARE(m_reported.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestRecordSet)
#include "test_record_set.moc"
