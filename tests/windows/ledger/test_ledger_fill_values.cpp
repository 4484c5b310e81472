// The ledger refill hands the grid the record set's own text bytes; values that are no texts (written into the
// file by another program) still show as the record set reads them as text.

#include "TempFolder.h"
#include "TestHost.h"
#include "store/engine/EngineConnection.h"

#include <QTest>

using namespace Qt::StringLiterals;
using ovelta::test::TempFolder;
using ovelta::test::TestHost;

class TestLedgerFillValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valuesOfEveryKindShowAsText()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(host.connection.execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','张三',"
                                        u"'2011-6-2','朋友','结婚','200','一起')"_s));
        QVERIFY(host.connection.engine()->executeNative(
            "INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) VALUES(X'E694B6E7A4BC',NULL,'2010-01-01 00:00:00',"
            "'同事',X'00FF',NULL,X'')"));
        host.ledgerRefill();
        const ovelta::LedgerGrid& grid = host.grid();
        QCOMPARE(grid.rowCount(), 4);
        const QStringList newest
            = {u"1"_s, u"1"_s, u"收礼"_s, u"张三"_s, u"2011年6月2日"_s, u"朋友"_s, u"结婚"_s, u"200.00"_s, u"一起"_s};
        const QStringList other = {u"2"_s,    u"2"_s,      u"[BLOB]"_s, QString(),  u"2010年1月1日"_s,
                                   u"同事"_s, u"[BLOB]"_s, QString(),   u"[BLOB]"_s};
        for (int c = 0; c < ovelta::LedgerGrid::Columns; ++c) {
            QCOMPARE(grid.cellText(2, c), newest[c]);
            QCOMPARE(grid.cellText(3, c), other[c]);
        }
    }
};

QTEST_MAIN(TestLedgerFillValues)
#include "test_ledger_fill_values.moc"
