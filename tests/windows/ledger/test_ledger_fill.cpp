// The ledger refill over a real ledger file: order, running numbers, hidden keys, date and money texts, empty
// fields, batches and a failing open.

#include "TempFolder.h"
#include "TestHost.h"
#include "store/engine/EngineConnection.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using ovelta::LedgerGrid;
using ovelta::test::TempFolder;
using ovelta::test::TestHost;

namespace {

struct Gift
{
    QString direction;
    QString name;
    QString when;
    QString amount;
    QString note;
};

bool insert(TestHost& host, const Gift& g)
{
    return host.connection.execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('%1','%2','%3',"
                                   u"'朋友','结婚','%4','%5')"_s.arg(g.direction, g.name, g.when, g.amount, g.note));
}

QStringList column(const LedgerGrid& grid, int c)
{
    QStringList texts;
    for (int row = LedgerGrid::FixedRows; row < grid.rowCount(); ++row)
        texts << grid.cellText(row, c);
    return texts;
}

} // namespace

class TestLedgerFill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyLedgerShowsOnlyTheFixedRows()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        host.grid().appendRow(ovelta::LedgerRow{}); // whatever was shown before goes
        host.ledgerRefill();
        QCOMPARE(host.grid().rowCount(), 2);
        QCOMPARE(host.grid().cellText(0, 4), u"总 收 送 礼 记 录"_s);
        QCOMPARE(host.grid().cellText(1, 3), u"姓名"_s);
        QCOMPARE(host.grid().currentRow(), -1);
        QVERIFY(!host.recordSet.isOpen());
    }

    void recordsComeNewestFirstWithRunningNumbers()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(insert(host, {u"收礼"_s, u"张三"_s, u"2010-1-1"_s, u"500"_s, u"喜酒"_s}));
        QVERIFY(insert(host, {u"送礼"_s, u"李四"_s, u"2011-6-2 15:30"_s, u"1234.5"_s, QString()}));
        QVERIFY(insert(host, {u"收礼"_s, u"王五"_s, u"2009-5-5"_s, u"-20"_s, u"退回"_s}));
        QVERIFY(insert(host, {u"送礼"_s, u"赵六"_s, u"2012-12-31 23:59"_s, u"0"_s, u"空"_s}));
        host.ledgerRefill();

        const LedgerGrid& grid = host.grid();
        QCOMPARE(grid.rowCount(), 6);
        QCOMPARE(column(grid, 0), QStringList({u"4"_s, u"2"_s, u"1"_s, u"3"_s}));
        QCOMPARE(column(grid, 1), QStringList({u"1"_s, u"2"_s, u"3"_s, u"4"_s}));
        QCOMPARE(column(grid, 2), QStringList({u"送礼"_s, u"送礼"_s, u"收礼"_s, u"收礼"_s}));
        QCOMPARE(column(grid, 3), QStringList({u"赵六"_s, u"李四"_s, u"张三"_s, u"王五"_s}));
        QCOMPARE(column(grid, 4),
                 QStringList({u"2012年12月31日"_s, u"2011年6月2日"_s, u"2010年1月1日"_s, u"2009年5月5日"_s}));
        QCOMPARE(column(grid, 5), QStringList(4, u"朋友"_s));
        QCOMPARE(column(grid, 6), QStringList(4, u"结婚"_s));
        QCOMPARE(column(grid, 7), QStringList({QString(), u"1234.50"_s, u"500.00"_s, u"-20.00"_s}));
        QCOMPARE(column(grid, 8), QStringList({u"空"_s, QString(), u"喜酒"_s, u"退回"_s}));
        QCOMPARE(grid.currentRow(), -1);
        QVERIFY(!host.recordSet.isOpen());
    }

    void deletingTheNewestRenumbersButKeepsTheKeys()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(insert(host, {u"收礼"_s, u"甲"_s, u"2011-1-1"_s, u"100"_s, QString()}));
        QVERIFY(insert(host, {u"收礼"_s, u"乙"_s, u"2011-1-2"_s, u"200"_s, QString()}));
        QVERIFY(insert(host, {u"收礼"_s, u"丙"_s, u"2011-1-3"_s, u"300"_s, QString()}));
        host.ledgerRefill();
        LedgerGrid& grid = host.grid();
        QCOMPARE(column(grid, 0), QStringList({u"3"_s, u"2"_s, u"1"_s}));
        QCOMPARE(column(grid, 1), QStringList({u"1"_s, u"2"_s, u"3"_s}));

        grid.setCurrentCell(2, 3);
        QVERIFY(host.connection.execute(u"delete from 收送礼 where ID="_s + grid.cellText(grid.currentRow(), 0)));
        host.ledgerRefill();
        QCOMPARE(column(grid, 3), QStringList({u"乙"_s, u"甲"_s}));
        QCOMPARE(column(grid, 0), QStringList({u"2"_s, u"1"_s}));
        QCOMPARE(column(grid, 1), QStringList({u"1"_s, u"2"_s}));
        QCOMPARE(grid.currentRow(), -1);
    }

    void missingDateOrAmountShowsEmpty()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(host.connection.execute(u"insert into 收送礼(收送,姓名) values('收礼','无日期')"_s));
        QVERIFY(insert(host, {u"送礼"_s, u"有日期"_s, u"2011-6-2"_s, u"8.8"_s, QString()}));
        host.ledgerRefill();
        const LedgerGrid& grid = host.grid();
        QCOMPARE(grid.rowCount(), 4);
        const int undated = grid.cellText(2, 3) == u"无日期"_s ? 2 : 3;
        QCOMPARE(grid.cellText(undated, 3), u"无日期"_s);
        QCOMPARE(grid.cellText(undated, 4), QString());
        QCOMPARE(grid.cellText(undated, 7), QString());
        QCOMPARE(grid.cellText(undated, 5), QString());
        QCOMPARE(grid.cellText(5 - undated, 7), u"8.80"_s);
    }

    void amountsAreReadExactly()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        // 1.005 has no exact binary form and would round down through a double; half a cent rounds up.
        QVERIFY(insert(host, {u"收礼"_s, u"甲"_s, u"2011-1-3"_s, u"1.005"_s, QString()}));
        QVERIFY(insert(host, {u"收礼"_s, u"乙"_s, u"2011-1-2"_s, u"-0.0049"_s, QString()}));
        QVERIFY(insert(host, {u"收礼"_s, u"丙"_s, u"2011-1-1"_s, u"922337203685477.5807"_s, QString()}));
        host.ledgerRefill();
        QCOMPARE(column(host.grid(), 7), QStringList({u"1.01"_s, u"0.00"_s, u"922337203685477.58"_s}));
    }

    void largeLedgerArrivesInBatches()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        constexpr int Count = 5000;
        QVERIFY(host.recordSet.inTransaction([&] {
            for (int i = 1; i <= Count; ++i) {
                const QString when = QDate(2000, 1, 1).addDays(i).toString(u"yyyy-M-d"_s);
                if (!insert(host, {u"收礼"_s, u"客%1"_s.arg(i), when, QString::number(i), QString()}))
                    return false;
            }
            return true;
        }));
        QSignalSpy inserted(host.grid().model(), &QAbstractItemModel::rowsInserted);
        host.ledgerRefill();
        const LedgerGrid& grid = host.grid();
        QCOMPARE(grid.rowCount(), Count + 2);
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(grid.cellText(2, 3), u"客%1"_s.arg(Count));
        QCOMPARE(grid.cellText(Count + 1, 0), u"1"_s);
        QCOMPARE(grid.cellText(Count + 1, 1), QString::number(Count));
    }

    void failedOpenLeavesTheFixedRows()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(insert(host, {u"收礼"_s, u"甲"_s, u"2011-1-1"_s, u"1"_s, QString()}));
        host.ledgerRefill();
        QCOMPARE(host.grid().rowCount(), 3);
        QStringList reported;
        ovelta::RecordSet::setErrorReporter([&](const QString& message) { reported << message; });
        QVERIFY(host.connection.engine()->executeNative("DROP TABLE 收送礼"));
        host.ledgerRefill();
        ovelta::RecordSet::setErrorReporter({});
        QCOMPARE(host.grid().rowCount(), 2);
        QCOMPARE(reported.size(), 1);
    }

    void orderIsTheEnginesOnSharedAndMissingDates()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        const QStringList dates = {u"2011-6-2"_s, u"2011-6-2 15:30:00"_s, u"2020-2-29"_s, u"1999-1-1"_s};
        for (int i = 0; i < 300; ++i) {
            const QString date = i % 9 == 0 ? u"NULL"_s : u"'"_s + dates[i % dates.size()] + u"'"_s;
            QVERIFY(host.connection.execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼',"
                                            u"'客%1',%2,'朋友','结婚','%3','')"_s.arg(i)
                                                .arg(date)
                                                .arg(i % 4)));
        }
        QStringList engineOrder;
        ovelta::RecordSet& records = host.recordSet;
        QVERIFY(records.open(u"select * from 收送礼 order by 时间 DESC"_s));
        for (records.moveFirst(); !records.atEnd(); records.moveNext()) {
            QString id;
            records.readText(u"ID"_s, id);
            engineOrder << id;
        }
        records.close();
        host.ledgerRefill();
        QCOMPARE(column(host.grid(), 0), engineOrder);
        const QStringList dateTexts = column(host.grid(), 4);
        QCOMPARE(dateTexts.first(), u"2020年2月29日"_s);
        QCOMPARE(dateTexts.last(), QString());
        QCOMPARE(dateTexts.count(QString()), 34);
    }
};

QTEST_MAIN(TestLedgerFill)
#include "test_ledger_fill.moc"
