// Rows handed to the ledger grid as UTF-8 bytes (as a refill reads them from the record set): every cell reads
// back exactly as the same record handed over as strings, whatever the bytes.

#include "ui/grid/LedgerGrid.h"

#include <QTest>
#include <vector>

using namespace Qt::StringLiterals;
using ovelta::LedgerGrid;
using ovelta::LedgerRow;
using ovelta::LedgerRowView;

namespace {

/// A record's texts as bytes; its view points into them, so the record must outlive the view.
struct Record
{
    qint64 id = 0;
    QByteArray direction, name, relation, occasion, note;
    QDate date = QDate(2011, 6, 2);
    qint64 amountTicks = 1'000'000;
    bool hasAmount = true;

    LedgerRowView view() const { return {id, direction, name, date, relation, occasion, amountTicks, hasAmount, note}; }
    LedgerRow row() const
    {
        return {id,
                QString::fromUtf8(direction),
                QString::fromUtf8(name),
                date,
                QString::fromUtf8(relation),
                QString::fromUtf8(occasion),
                amountTicks,
                hasAmount,
                QString::fromUtf8(note)};
    }
};

Record record(qint64 id, const QByteArray& name, const QByteArray& note = "备注")
{
    Record r;
    r.id = id;
    r.direction = "收礼";
    r.name = name;
    r.relation = "朋友";
    r.occasion = "结婚";
    r.note = note;
    return r;
}

/// Every cell of every data row.
QStringList cells(const LedgerGrid& grid)
{
    QStringList texts;
    for (int row = LedgerGrid::FixedRows; row < grid.rowCount(); ++row) {
        for (int column = 0; column < LedgerGrid::Columns; ++column)
            texts << grid.cellText(row, column);
    }
    return texts;
}

} // namespace

class TestGridRowViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void viewsReadBackAsStringsDo()
    {
        std::vector<Record> records = {
            record(1, "张三"),
            record(2, "", ""),
            record(3, "𠀋𠀌", "'\"\t"), // four-byte characters: two UTF-16 units each
            record(4, "bad\xff\xfe bytes", "cut \xe5\xbc"), // not UTF-8: replaced as QString::fromUtf8 does
            record(5, QByteArray("nul\0inside", 10)),
            record(6, "之后", QByteArray(5000, 'x')),
            record(7, QByteArray(3'000'000, 'n'), "longer than a text page"),
        };
        records[1].direction = "送礼";
        records[1].date = QDate();
        records[1].hasAmount = false;
        records[2].amountTicks = -205'000;
        records[3].relation = "";
        records[4].occasion = "丧礼";

        LedgerGrid byViews, byStrings;
        std::vector<LedgerRowView> views;
        std::vector<LedgerRow> rows;
        for (const Record& r : records) {
            views.push_back(r.view());
            rows.push_back(r.row());
        }
        byViews.appendRowViews(views);
        byStrings.appendRows(std::move(rows));
        QCOMPARE(byViews.rowCount(), int(records.size()) + LedgerGrid::FixedRows);
        QCOMPARE(cells(byViews), cells(byStrings));
        QCOMPARE(byViews.cellText(4, 3), u"𠀋𠀌"_s);
        QCOMPARE(byViews.cellText(5, 3), QString::fromUtf8("bad\xff\xfe bytes"));
        QCOMPARE(byViews.cellText(6, 3).size(), 10);
        QCOMPARE(byViews.cellText(8, 3).size(), 3'000'000);
    }

    void viewsAndStringsMixInOneGrid()
    {
        LedgerGrid grid;
        grid.appendRow(record(1, "甲").row());
        const Record second = record(2, "乙");
        grid.appendRowViews(std::vector<LedgerRowView>{second.view()});
        grid.appendRow(record(3, "丙").row());
        Record fourth = record(4, "丁");
        fourth.direction = "送礼";
        const Record fifth = record(5, "戊");
        grid.appendRowViews(std::vector<LedgerRowView>{fourth.view(), fifth.view()});
        QCOMPARE(grid.rowCount(), 7);
        const QStringList numbers
            = {grid.cellText(2, 1), grid.cellText(3, 1), grid.cellText(4, 1), grid.cellText(5, 1), grid.cellText(6, 1)};
        QCOMPARE(numbers, (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}));
        QCOMPARE(grid.cellText(3, 2), u"收礼"_s);
        QCOMPARE(grid.cellText(4, 2), u"收礼"_s);
        QCOMPARE(grid.cellText(5, 2), u"送礼"_s);
        QCOMPARE(grid.cellText(6, 3), u"戊"_s);
        QCOMPARE(grid.cellText(6, 8), u"备注"_s);

        // The views' bytes may go once appended.
        char name[] = "己";
        const Record sixthRecord = record(6, "");
        LedgerRowView sixth = sixthRecord.view();
        sixth.name = QByteArrayView(name, 3);
        grid.appendRowViews(std::vector<LedgerRowView>{sixth});
        name[0] = '?';
        QCOMPARE(grid.cellText(7, 3), u"己"_s);

        grid.appendRowViews({});
        QCOMPARE(grid.rowCount(), 8);
        grid.prepare();
        QCOMPARE(grid.rowCount(), 2);
        grid.appendRowViews(std::vector<LedgerRowView>{second.view()});
        QCOMPARE(grid.cellText(2, 1), u"1"_s);
        QCOMPARE(grid.cellText(2, 3), u"乙"_s);
    }
};

QTEST_MAIN(TestGridRowViews)
#include "test_grid_row_views.moc"
