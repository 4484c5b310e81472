// 外部数据库: row sets known by handles, typed reads by name and by number, the 30-handle limit.

#include "TempFolder.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QDateTime>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;

class TestExternalDatabase : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempFolder> m_folder;
    std::unique_ptr<ExternalDatabase> m_db;

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<test::TempFolder>();
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        m_db = std::make_unique<ExternalDatabase>();
        QVERIFY(m_db->connect(LedgerFile::name(), QString(), LedgerFile::password()));
    }
    void cleanup()
    {
        m_db.reset();
        m_folder.reset();
    }

    void connectTexts()
    {
        QCOMPARE(m_db->lastConnectionText(),
                 u"ODBC;DBQ=lgbk.xc;Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access;PWD=Qm_4Rtwpz8-2HsK;"_s);
        QVERIFY(m_db->isOpen());
    }

    void aFailedConnectKeepsThePreviousConnection()
    {
        const int rows = m_db->query(u"select * from 关系"_s);
        QVERIFY(rows != 0);
        QVERIFY(!m_db->connect(u"missing.xc"_s, QString(), LedgerFile::password()));
        QVERIFY(!m_db->connect(LedgerFile::name(), QString(), u"wrong"_s));
        QVERIFY(!m_db->connect(LedgerFile::name(), QString(), QString()));
        QVERIFY(m_db->isOpen());
        QCOMPARE(m_db->read(rows, 2).toString(), u"亲戚"_s);
        QVERIFY(m_db->execute(u"delete from 关系 where id=5"_s));
        // A successful connect replaces the connection with all its row sets.
        QVERIFY(m_db->connect(LedgerFile::name(), QString(), LedgerFile::password(), false, true));
        QVERIFY(m_db->atEnd(rows));
        QCOMPARE(m_db->openRowSets(), 0);
    }

    void walkAndReadTyped()
    {
        const int rows = m_db->query(u"select * from 关系 "_s);
        QVERIFY(rows != 0);
        QStringList texts;
        QList<qlonglong> ids;
        for (m_db->moveFirst(rows); !m_db->atEnd(rows); m_db->moveNext(rows)) {
            const QVariant id = m_db->read(rows, 1);
            QCOMPARE(id.typeId(), QMetaType::LongLong);
            ids << id.toLongLong();
            texts << m_db->read(rows, u"关系"_s).toString();
        }
        QCOMPARE(ids, (QList<qlonglong>{1, 2, 3, 4, 5}));
        QCOMPARE(texts, (QStringList{u"亲戚"_s, u"朋友"_s, u"同学"_s, u"同事"_s, u"其他"_s}));
        // Past the end, and for columns that do not exist: the empty text.
        QCOMPARE(m_db->read(rows, 1), QVariant(QString()));
        m_db->moveNext(rows);
        QVERIFY(m_db->atEnd(rows));
        m_db->moveFirst(rows);
        QCOMPARE(m_db->read(rows, 0), QVariant(QString()));
        QCOMPARE(m_db->read(rows, 3), QVariant(QString()));
        QCOMPARE(m_db->read(rows, u"没有"_s), QVariant(QString()));
        QCOMPARE(m_db->read(rows, u"id"_s).toLongLong(), 1);

        QVERIFY(
            m_db->execute(u"insert into 收送礼(收送,姓名,时间,金额) values('收礼','张三','2011-6-2 8:05','66.6')"_s));
        const int ledger = m_db->query(u"select * from 收送礼"_s);
        QCOMPARE(m_db->read(ledger, u"时间"_s), QVariant(QDateTime(QDate(2011, 6, 2), QTime(8, 5))));
        QCOMPARE(m_db->read(ledger, u"金额"_s), QVariant(66.6));
        QCOMPARE(m_db->read(ledger, u"说明"_s), QVariant(QString())); // NULL
    }

    void invalidHandles()
    {
        QVERIFY(m_db->atEnd(0));
        QVERIFY(m_db->atEnd(12345));
        m_db->moveFirst(0);
        m_db->moveNext(-3);
        m_db->close(0);
        QCOMPARE(m_db->read(0, 1), QVariant(QString()));
        QCOMPARE(m_db->read(0, u"ID"_s), QVariant(QString()));

        QCOMPARE(m_db->query(u"select * from 没有的表"_s), 0);
        QCOMPARE(m_db->query(QString()), 0);
        QCOMPARE(m_db->query(u"delete from 关系"_s), 0); // no rows to give; not run either
        const int kept = m_db->query(u"select count(*) from 关系"_s);
        QCOMPARE(m_db->read(kept, 1).toLongLong(), 5);
        // A closed handle is gone for good, even when later queries open new row sets.
        m_db->close(kept);
        QVERIFY(m_db->atEnd(kept));
        const int next = m_db->query(u"select * from 关系"_s);
        QVERIFY(next != 0 && next != kept);
        QVERIFY(m_db->atEnd(kept));

        ExternalDatabase never;
        QCOMPARE(never.query(u"select * from 关系"_s), 0);
        QVERIFY(!never.execute(u"delete from 关系"_s));
    }

    void atMostThirtyRowSets()
    {
        QList<int> handles;
        for (int i = 0; i < ExternalDatabase::MaxRowSets; ++i) {
            const int h = m_db->query(u"select * from 类型"_s);
            QVERIFY(h != 0);
            QVERIFY(!handles.contains(h));
            handles << h;
        }
        QCOMPARE(m_db->openRowSets(), 30);
        QCOMPARE(m_db->query(u"select * from 类型"_s), 0);
        // Each keeps its own position.
        m_db->moveNext(handles[3]);
        QCOMPARE(m_db->read(handles[3], 2).toString(), u"生日"_s);
        QCOMPARE(m_db->read(handles[4], 2).toString(), u"结婚"_s);
        m_db->close(handles[7]);
        QVERIFY(m_db->query(u"select * from 类型"_s) != 0);
        QCOMPARE(m_db->query(u"select * from 类型"_s), 0);
    }

    void executeAndReadOnly()
    {
        QVERIFY(m_db->execute(u"delete from 关系 where id=99"_s));
        QVERIFY(!m_db->execute(u"insert into 关系(关系) values('a'b')"_s));
        ExternalDatabase readOnly;
        QVERIFY(readOnly.connect(LedgerFile::name(), QString(), LedgerFile::password(), true));
        QVERIFY(!readOnly.execute(u"insert into 关系(关系) values('x')"_s));
        QVERIFY(readOnly.query(u"select * from 关系"_s) != 0);
        // The snapshot of a row set does not see rows written afterwards.
        const int before = m_db->query(u"select * from 关系"_s);
        DatabaseConnection connection;
        QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(connection.execute(u"delete from 关系"_s));
        QCOMPARE(m_db->read(before, 2).toString(), u"亲戚"_s);
        QCOMPARE(m_db->read(m_db->query(u"select count(*) from 关系"_s), 1).toLongLong(), 0);
    }
};

QTEST_GUILESS_MAIN(TestExternalDatabase)
#include "test_external_database.moc"
