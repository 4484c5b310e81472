// Single rows inserted, replaced and removed in the grid's row store, across the boundaries of its chunks of
// 4096 slots, against a plain list of the same records; and the ledger's order of records.

#include "ui/grid/GridRowStore.h"
#include "ui/grid/LedgerGrid.h"

#include <QTest>
#include <vector>

using namespace Qt::StringLiterals;
using ovelta::GridRowStore;
using ovelta::LedgerRow;

namespace {

LedgerRow record(qint64 id)
{
    LedgerRow row;
    row.id = id;
    row.direction = id % 2 ? u"收礼"_s : u"送礼"_s;
    row.name = u"人"_s + QString::number(id);
    row.date = QDate(2000, 1, 1).addDays(id % 5000);
    row.secondOfDay = int(id % 86400);
    row.relation = u"朋友"_s;
    row.occasion = u"结婚"_s;
    row.amountTicks = id * 100;
    row.note = id % 3 ? QString() : u"注"_s + QString::number(id);
    return row;
}

/// Every row of the store read back against the expected records.
bool sameRows(const GridRowStore& store, const std::vector<LedgerRow>& expected, QString& difference)
{
    if (store.size() != int(expected.size())) {
        difference = u"size %1, expected %2"_s.arg(store.size()).arg(expected.size());
        return false;
    }
    for (int r = 0; r < store.size(); ++r) {
        const LedgerRow& e = expected[size_t(r)];
        if (store.id(r) != e.id || store.name(r) != e.name || store.note(r) != e.note || store.date(r) != e.date
            || store.direction(r) != e.direction || store.amountTicks(r) != e.amountTicks
            || store.sortKey(r).second != e.secondOfDay) {
            difference = u"row %1 holds record %2, expected %3"_s.arg(r).arg(store.id(r)).arg(e.id);
            return false;
        }
    }
    return true;
}

} // namespace

class TestGridRowEdits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void singleRowEdits_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("at");

        QTest::newRow("insert into an empty store") << 0 << u"insert"_s << 0;
        QTest::newRow("insert first") << 10000 << u"insert"_s << 0;
        QTest::newRow("insert before a chunk's last slot") << 10000 << u"insert"_s << 4095;
        QTest::newRow("insert at a chunk's first slot") << 10000 << u"insert"_s << 4096;
        QTest::newRow("insert last") << 10000 << u"insert"_s << 10000;
        QTest::newRow("insert into a full chunk") << 8192 << u"insert"_s << 100;
        QTest::newRow("insert at the end of a full chunk") << 8192 << u"insert"_s << 8192;
        QTest::newRow("remove the only row") << 1 << u"remove"_s << 0;
        QTest::newRow("remove first") << 10000 << u"remove"_s << 0;
        QTest::newRow("remove a chunk's last slot") << 10000 << u"remove"_s << 4095;
        QTest::newRow("remove a chunk's first slot") << 10000 << u"remove"_s << 4096;
        QTest::newRow("remove last") << 10000 << u"remove"_s << 9999;
        QTest::newRow("remove the first of a last chunk of one") << 8193 << u"remove"_s << 8192;
        QTest::newRow("remove from full chunks") << 8192 << u"remove"_s << 3;
        QTest::newRow("replace first") << 10000 << u"replace"_s << 0;
        QTest::newRow("replace at a chunk's first slot") << 10000 << u"replace"_s << 4096;
    }

    void singleRowEdits()
    {
        QFETCH(int, rows);
        QFETCH(QString, edit);
        QFETCH(int, at);
        GridRowStore store;
        std::vector<LedgerRow> expected;
        for (int i = 0; i < rows; ++i) {
            expected.push_back(record(i + 1));
            store.append(expected.back());
        }
        const LedgerRow fresh = record(1'000'003);
        if (edit == u"insert") {
            store.insert(at, fresh);
            expected.insert(expected.begin() + at, fresh);
        } else if (edit == u"remove") {
            store.remove(at);
            expected.erase(expected.begin() + at);
        } else {
            store.replace(at, fresh);
            expected[size_t(at)] = fresh;
        }
        QString difference;
        QVERIFY2(sameRows(store, expected, difference), qPrintable(difference));

        // The store goes on growing and shrinking correctly after the edit.
        store.append(record(2'000'000));
        expected.push_back(record(2'000'000));
        store.remove(0);
        expected.erase(expected.begin());
        QVERIFY2(sameRows(store, expected, difference), qPrintable(difference));
    }

    void ledgerOrder_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("second");
        QTest::addColumn<qint64>("id");
        QTest::addColumn<bool>("before"); // does it come before 2011-6-2 12:00:00, ID 10?

        QTest::newRow("later day") << QDate(2011, 6, 3) << 0 << qint64(1) << true;
        QTest::newRow("earlier day, later time") << QDate(2011, 6, 1) << 86399 << qint64(1) << false;
        QTest::newRow("same day, later time") << QDate(2011, 6, 2) << 43201 << qint64(99) << true;
        QTest::newRow("same day, earlier time") << QDate(2011, 6, 2) << 43199 << qint64(1) << false;
        QTest::newRow("same time, smaller ID") << QDate(2011, 6, 2) << 43200 << qint64(9) << true;
        QTest::newRow("same time, larger ID") << QDate(2011, 6, 2) << 43200 << qint64(11) << false;
        QTest::newRow("no date") << QDate() << 0 << qint64(1) << false;
        QTest::newRow("oldest date") << QDate(100, 1, 1) << 0 << qint64(1) << false;
    }

    void ledgerOrder()
    {
        QFETCH(QDate, date);
        QFETCH(int, second);
        QFETCH(qint64, id);
        QFETCH(bool, before);
        LedgerRow reference, other;
        reference.id = 10;
        reference.date = QDate(2011, 6, 2);
        reference.secondOfDay = 43200;
        other.id = id;
        other.date = date;
        other.secondOfDay = second;
        QCOMPARE(GridRowStore::sortKey(other).before(GridRowStore::sortKey(reference)), before);
        QCOMPARE(GridRowStore::sortKey(reference).before(GridRowStore::sortKey(other)), !before);

        // Records without a date are ordered among themselves by ID alone, whatever time they were given.
        LedgerRow undated = other;
        undated.date = QDate();
        undated.secondOfDay = 500;
        LedgerRow later = undated;
        later.id = id + 1;
        later.secondOfDay = 0;
        QVERIFY(GridRowStore::sortKey(undated).before(GridRowStore::sortKey(later)));
    }
};

QTEST_MAIN(TestGridRowEdits)
#include "test_grid_row_edits.moc"
