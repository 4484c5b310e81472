// The texts the program shows for the engine's failures: Chinese for the common ones, the engine's own text
// after a Chinese lead for the rest; and the ones that real failures give.

#include "TempFolder.h"
#include "store/engine/EngineMessage.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QTest>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

class TestEngineMessage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void texts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("engineText");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("transient");
        const QString busy = u"数据库文件正被其他程序使用,请稍后再试!"_s;
        QTest::newRow("busy") << SQLITE_BUSY << u"database is locked"_s << busy << true;
        QTest::newRow("busy, extended") << (SQLITE_BUSY | (2 << 8)) << u"database is locked"_s << busy << true;
        QTest::newRow("locked") << SQLITE_LOCKED << u"database table is locked"_s << u"数据库正被锁定,请稍后再试!"_s
                                << true;
        QTest::newRow("read-only") << SQLITE_READONLY << u"attempt to write a readonly database"_s
                                   << u"数据库文件是只读的,不能保存改动。"_s << false;
        QTest::newRow("disk full") << SQLITE_FULL << u"database or disk is full"_s << u"磁盘已满,不能写入数据库。"_s
                                   << false;
        QTest::newRow("not a database or wrong key") << SQLITE_NOTADB << u"file is encrypted or is not a database"_s
                                                     << u"文件不是数据库,或者数据库密码不对。"_s << false;
        QTest::newRow("malformed") << SQLITE_CORRUPT << u"database disk image is malformed"_s << u"数据库文件已损坏。"_s
                                   << false;
        QTest::newRow("I/O error, extended")
            << (SQLITE_IOERR | (4 << 8)) << u"disk I/O error"_s << u"读写数据库文件时出错。"_s << false;
        QTest::newRow("cannot open") << SQLITE_CANTOPEN << u"unable to open database file"_s
                                     << u"无法打开数据库文件。"_s << false;
        QTest::newRow("out of memory") << SQLITE_NOMEM << u"out of memory"_s << u"内存不足,不能完成数据库操作。"_s
                                       << false;
        QTest::newRow("too big") << SQLITE_TOOBIG << u"string or blob too big"_s << u"数据太大,超出了数据库的限制。"_s
                                 << false;
        QTest::newRow("no permission") << SQLITE_PERM << u"access permission denied"_s
                                       << u"没有访问数据库文件的权限。"_s << false;
        QTest::newRow("interrupted") << SQLITE_INTERRUPT << u"interrupted"_s << u"数据库操作被中断。"_s << false;
        QTest::newRow("no large files") << SQLITE_NOLFS << u"large file support is disabled"_s
                                        << u"系统不支持这么大的数据库文件。"_s << false;
        QTest::newRow("locking protocol")
            << SQLITE_PROTOCOL << u"locking protocol"_s << u"数据库文件的锁定出错,请稍后再试!"_s << false;
        QTest::newRow("no such table") << SQLITE_ERROR << u"no such table: 没有的表"_s << u"数据库中没有表 没有的表。"_s
                                       << false;
        QTest::newRow("the rest") << SQLITE_ERROR << u"near \"frm\": syntax error"_s
                                  << u"数据库操作失败:near \"frm\": syntax error"_s << false;
        QTest::newRow("a constraint") << SQLITE_CONSTRAINT << u"kept"_s << u"数据库操作失败:kept"_s << false;
    }
    void texts()
    {
        QFETCH(int, code);
        QFETCH(QString, engineText);
        QFETCH(QString, shown);
        QFETCH(bool, transient);
        QCOMPARE(EngineMessage::text(code, engineText), shown);
        QCOMPARE(EngineMessage::isTransient(code), transient);
    }

    void realFailuresGiveTheirTexts()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        DatabaseConnection connection;
        QVERIFY(!connection.connect(u"missing.xc"_s, LedgerFile::password()));
        QCOMPARE(connection.lastError(), u"无法打开数据库文件。"_s);
        QVERIFY(!connection.connect(LedgerFile::name(), u"another key"_s));
        QCOMPARE(connection.lastError(), u"文件不是数据库,或者数据库密码不对。"_s);
        QVERIFY(!connection.isLockedOut());

        QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
        QCOMPARE(connection.lastError(), QString());
        QVERIFY(!connection.execute(u"delete from 没有的表"_s));
        QCOMPARE(connection.lastError(), u"数据库中没有表 没有的表。"_s);
        QVERIFY(!connection.execute(u"delete frm 关系"_s));
        QVERIFY(connection.lastError().startsWith(u"数据库操作失败:"_s));

        QStringList reported;
        RecordSet::setErrorReporter([&reported](const QString& message) { reported << message; });
        RecordSet records;
        records.bind(&connection);
        QVERIFY(!records.open(u"select * from 没有的表"_s));
        connection.close();
        QVERIFY(!records.open(u"select * from 账号"_s));
        RecordSet::setErrorReporter({});
        QCOMPARE(reported.size(), 2);
        QVERIFY(reported[0].contains(u"没有的表"_s));
        QCOMPARE(reported[1], u"数据库没有连接,不能进行此操作。"_s);
    }

    void changedRowsCountsTheStatementItself()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        DatabaseConnection connection;
        QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(connection.execute(u"insert into 关系 (关系) values ('邻居')"_s));
        QCOMPARE(connection.changedRows(), 1);
        QVERIFY(connection.execute(u"update 关系 set 关系='x' where ID>3"_s));
        QCOMPARE(connection.changedRows(), 3);
        // A statement that changes nothing does not repeat the count of the one before.
        QVERIFY(connection.execute(u"delete from 关系 where ID=999"_s));
        QCOMPARE(connection.changedRows(), 0);
        QVERIFY(connection.execute(u"update 关系 set 关系='y' where ID=1"_s));
        QVERIFY(connection.execute(u"CREATE TABLE 备用 (ID Counter,备注 Memo)"_s));
        QCOMPARE(connection.changedRows(), 0);
        QVERIFY(!connection.execute(u"delete frm 关系"_s));
        QCOMPARE(connection.changedRows(), -1);
    }
};

QTEST_GUILESS_MAIN(TestEngineMessage)
#include "test_engine_message.moc"
