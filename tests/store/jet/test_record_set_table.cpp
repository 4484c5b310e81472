// 记录集 opened on a whole ledger table, which it reads as far as asked and whose records it finds by their
// ID through the engine: the same rows, count and reads as a set read at once, whatever changes meanwhile.

#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QFile>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

/// More records than an open reads at once.
constexpr int Records = 1500;

} // namespace

class TestRecordSetTable : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempFolder> m_folder;
    std::unique_ptr<DatabaseConnection> m_connection;
    std::unique_ptr<RecordSet> m_records;
    QStringList m_reported;

    QString text(const QString& column)
    {
        QString value;
        m_records->readText(column, value);
        return value;
    }
    qint64 id()
    {
        qint64 value = -1;
        m_records->readInteger(u"ID"_s, value);
        return value;
    }
    /// "ID:姓名" of every row from the current one to the end.
    QStringList rest()
    {
        QStringList rows;
        for (; !m_records->atEnd(); m_records->moveNext())
            rows << QString::number(id()) + u':' + text(u"姓名"_s);
        return rows;
    }
    static QStringList expected(int first, int last)
    {
        QStringList rows;
        for (int i = first; i <= last; ++i)
            rows << u"%1:n%1"_s.arg(i);
        return rows;
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<test::TempFolder>();
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        m_connection = std::make_unique<DatabaseConnection>();
        QVERIFY(m_connection->connect(LedgerFile::name(), LedgerFile::password()));
        const auto engine = m_connection->engine();
        QVERIFY(engine->executeNative("BEGIN"));
        for (int i = 1; i <= Records; ++i) {
            QVERIFY(m_connection->execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼',"
                                          u"'n%1','2011-6-2','朋友','结婚','%1','')"_s.arg(i)));
        }
        QVERIFY(engine->executeNative("COMMIT"));
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

    void everyRowInKeyOrderWithAnExactCount()
    {
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QCOMPARE(m_records->rowCount(), Records);
        QVERIFY(m_records->moveFirst());
        QCOMPARE(rest(), expected(1, Records));
        QVERIFY(!m_records->moveNext());
        QVERIFY(m_records->moveFirst());
        QCOMPARE(id(), 1);
    }

    void changesAfterTheOpenStayInvisible_data()
    {
        QTest::addColumn<bool>("throughTheOtherConnection");
        QTest::newRow("数据库连接") << false;
        QTest::newRow("外部数据库") << true;
    }
    void changesAfterTheOpenStayInvisible()
    {
        QFETCH(bool, throughTheOtherConnection);
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->moveNext());
        ExternalDatabase external;
        QVERIFY(external.connect(LedgerFile::name(), QString(), LedgerFile::password()));
        auto change = [&](const QString& statement) {
            return throughTheOtherConnection ? external.execute(statement) : m_connection->execute(statement);
        };
        // Rows far behind those read so far: deleted, changed, and one added at the end.
        QVERIFY(change(u"delete from 收送礼 where ID=1400"_s));
        QVERIFY(change(u"update 收送礼 set 姓名='changed' where ID=1300"_s));
        QVERIFY(change(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('送礼','new','2012-1-1','朋友',"
                       u"'结婚','5','')"_s));
        QCOMPARE(m_records->rowCount(), Records);
        QCOMPARE(rest(), expected(2, Records));
        QVERIFY(m_reported.isEmpty());
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QCOMPARE(m_records->rowCount(), Records);
    }

    void findByIdReadsTheRowAndGoesOnFromIt()
    {
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->find(u"id=1200"_s, 1));
        QVERIFY(!m_records->atEnd());
        QCOMPARE(text(u"姓名"_s), u"n1200"_s);
        double amount = 0;
        QVERIFY(m_records->readNumber(u"金额"_s, amount));
        QCOMPARE(amount, 1200.0);
        QVERIFY(m_records->find(u"ID = 1200"_s, 1)); // the current row is included
        QVERIFY(m_records->find(u"id=1300"_s, 1));
        QCOMPARE(text(u"姓名"_s), u"n1300"_s);
        QCOMPARE(m_records->rowCount(), Records);
        QVERIFY(m_records->moveNext());
        QCOMPARE(rest(), expected(1301, Records));

        // Forward only, among the rows read at once and beyond them.
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->find(u"id=1200"_s, 1));
        QVERIFY(!m_records->find(u"id=10"_s, 1));
        QVERIFY(m_records->atEnd());
        QVERIFY(!m_records->moveNext());
        QVERIFY(!m_records->readText(u"姓名"_s, *std::make_unique<QString>()));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->find(u"id=10"_s, 1));
        QCOMPARE(text(u"姓名"_s), u"n10"_s);
        QVERIFY(m_records->moveNext());
        QCOMPARE(id(), 11);
    }

    void findByIdOfAMissingRecord()
    {
        QVERIFY(m_connection->execute(u"delete from 收送礼 where ID=100 or ID=1000"_s));
        for (const QString& criteria : {u"id=100"_s, u"id=1000"_s, u"id=99999"_s, u"id=0"_s, u"id=-5"_s}) {
            QVERIFY(m_records->openTable(u"收送礼"_s));
            QVERIFY(m_records->moveFirst());
            QVERIFY2(!m_records->find(criteria, 1), qPrintable(criteria));
            QVERIFY(m_records->atEnd());
            QString name = u"x"_s;
            QVERIFY(!m_records->readText(u"姓名"_s, name));
            QCOMPARE(name, QString());
            QCOMPARE(m_records->rowCount(), Records - 2);
        }
    }

    void aFoundRowStaysAsItWasOpened()
    {
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->find(u"id=1000"_s, 1));
        QVERIFY(m_connection->execute(u"update 收送礼 set 姓名='changed' where ID>=1000"_s));
        QVERIFY(m_connection->execute(u"delete from 收送礼 where ID=1001"_s));
        QCOMPARE(text(u"姓名"_s), u"n1000"_s);
        QVERIFY(m_records->moveNext());
        QCOMPARE(text(u"姓名"_s), u"n1001"_s);
        QCOMPARE(m_records->rowCount(), Records);
    }

    void aFoundRowCanBeChangedAndDeleted()
    {
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->find(u"id=1100"_s, 1));
        QVERIFY(m_records->writeText(u"姓名"_s, u"edited"_s));
        QVERIFY(m_records->saveRow());
        QCOMPARE(text(u"姓名"_s), u"edited"_s);
        QCOMPARE(id(), 1100);
        QVERIFY(m_records->moveNext());
        QCOMPARE(id(), 1101);

        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->find(u"id=1200"_s, 1));
        QVERIFY(m_records->deleteCurrent());
        QCOMPARE(m_records->rowCount(), Records - 1);
        QVERIFY(m_records->moveNext());
        QCOMPARE(id(), 1201);

        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->find(u"id=1100"_s, 1));
        QCOMPARE(text(u"姓名"_s), u"edited"_s);
        QVERIFY(!m_records->find(u"id=1200"_s, 1));
    }

    void otherFindsAndFiltersSeeEveryRow()
    {
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->find(u"金额=1234"_s, 1));
        QCOMPARE(id(), 1234);
        QVERIFY(m_records->find(u"姓名='N1400'"_s, 1));
        QCOMPARE(id(), 1400);
        QVERIFY(m_records->find(u"id>=1450"_s, 1));
        QCOMPARE(id(), 1450);
        QVERIFY(!m_records->find(u"id=1449.5"_s, 1));

        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->setFilter(u"id>1490"_s));
        QCOMPARE(m_records->rowCount(), 10);
        QCOMPARE(rest(), expected(1491, Records));
    }

    void withAnIndexTheRowsAreFoundAllTheSame()
    {
        // The engine might then read the table in the index's order; the set no longer relies on key order.
        QVERIFY(m_connection->engine()->executeNative(
            "CREATE INDEX 全部 ON 收送礼 (ID DESC, 收送, 姓名, 时间, 关系, 类型, 金额, 说明)"));
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->moveFirst());
        QVERIFY(m_records->find(u"id=700"_s, 1));
        QCOMPARE(text(u"姓名"_s), u"n700"_s);
        QCOMPARE(m_records->rowCount(), Records);
        QStringList all;
        for (m_records->moveFirst(); !m_records->atEnd(); m_records->moveNext())
            all << QString::number(id()) + u':' + text(u"姓名"_s);
        all.sort();
        QStringList sorted = expected(1, Records);
        sorted.sort();
        QCOMPARE(all, sorted);
    }

    void textBytesAreReadWithoutAString()
    {
        QVERIFY(m_connection->engine()->executeNative("UPDATE 收送礼 SET 说明=NULL, 关系=X'3432' WHERE ID=3"));
        QVERIFY(m_records->open(u"select * from 收送礼 where ID<=3"_s));
        QVERIFY(m_records->find(u"id=3"_s, 1));
        QByteArrayView bytes;
        QVERIFY(m_records->readUtf8(u"姓名"_s, bytes));
        QCOMPARE(bytes, QByteArrayView("n3"));
        QVERIFY(m_records->readUtf8(u"说明"_s, bytes));
        QVERIFY(bytes.isEmpty());
        // Values of other kinds are left to readText, which converts them.
        QVERIFY(!m_records->readUtf8(u"关系"_s, bytes));
        QCOMPARE(text(u"关系"_s), u"[BLOB]"_s);
        QVERIFY(!m_records->readUtf8(u"金额"_s, bytes));
        QVERIFY(!m_records->readUtf8(u"nosuch"_s, bytes));
        QVERIFY(m_records->moveNext());
        QVERIFY(!m_records->readUtf8(u"姓名"_s, bytes));
        m_records->close();
        QVERIFY(!m_records->readUtf8(u"姓名"_s, bytes));
    }

    void aReconnectWhileASetIsOpenKeepsItsRows()
    {
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_connection->connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(m_connection->execute(u"delete from 收送礼"_s));
        QVERIFY(m_records->moveFirst());
        QCOMPARE(m_records->rowCount(), Records);
        QCOMPARE(rest(), expected(1, Records));
    }

    void aFailureWhileReadingOnIsReportedAndEndsTheSet()
    {
        // A fresh connection has none of the file's pages in its cache.
        QVERIFY(m_connection->connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(m_records->openTable(u"收送礼"_s));
        QVERIFY(m_records->moveFirst());
        // The file loses its second half behind the engine's back.
        QFile file(LedgerFile::name());
        QVERIFY(file.resize(file.size() / 2));
        const int rows = m_records->rowCount();
        QVERIFY(rows > 0 && rows < Records);
        QCOMPARE(m_reported.size(), 1);
        QCOMPARE(id(), 1);
        QCOMPARE(m_records->rowCount(), rows);
        QCOMPARE(m_reported.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRecordSetTable)
#include "test_record_set_table.moc"
