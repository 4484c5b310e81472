// The ledger grid: fixed rows, column widths, cell texts, colours, the current row, bulk appends and printing.

#include "TempFolder.h"
#include "ui/grid/GridHeaderView.h"
#include "ui/grid/LedgerGrid.h"
#include "ui/grid/LedgerGridModel.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <limits>

using namespace Qt::StringLiterals;
using ovelta::LedgerGrid;
using ovelta::LedgerGridModel;
using ovelta::LedgerRow;

namespace {

constexpr qint64 Yuan = 10000;

LedgerRow record(qint64 id, const QString& name, qint64 amountTicks = 100 * Yuan, QDate date = QDate(2011, 6, 2))
{
    LedgerRow row;
    row.id = id;
    row.direction = u"收礼"_s;
    row.name = name;
    row.date = date;
    row.relation = u"朋友"_s;
    row.occasion = u"婚礼"_s;
    row.amountTicks = amountTicks;
    row.note = u"备注"_s + name;
    return row;
}

QString guestName(int i)
{
    return u"客人%1"_s.arg(i, 3, 10, QChar(u'0'));
}

/// The text pdftotext extracts from the pages first..last (0: to the end), blanks and line breaks removed so
/// that the layout of the extraction does not matter.
QString pdfText(const QString& path, int first = 1, int last = 0)
{
    QStringList arguments{u"-enc"_s, u"UTF-8"_s, u"-f"_s, QString::number(first)};
    if (last > 0)
        arguments << u"-l"_s << QString::number(last);
    arguments << path << u"-"_s;
    QProcess process;
    process.start(u"pdftotext"_s, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return u"<pdftotext failed: %1>"_s.arg(QString::fromUtf8(process.readAllStandardError()));
    QString text = QString::fromUtf8(process.readAllStandardOutput());
    text.remove(u' ').remove(u'\n').remove(u'\f').remove(u'\r');
    return text;
}

int pdfPages(const QString& path)
{
    QProcess process;
    process.start(u"pdfinfo"_s, {path});
    if (!process.waitForFinished(60000))
        return -1;
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(u'\n')) {
        if (line.startsWith(u"Pages:"_s))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

QStringList allHeaders()
{
    return {u"序号"_s, u"收送"_s, u"姓名"_s, u"时间"_s, u"关系"_s, u"类型"_s, u"金额"_s, u"说明"_s};
}

} // namespace

class TestLedgerGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void preparedGridHasOnlyTheFixedRows()
    {
        LedgerGrid grid;
        grid.appendRow(record(1, u"张三"_s));
        grid.prepare();
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(grid.model()->rowCount(), 0);
        const QStringList headers
            = {u"ID"_s, u"序号"_s, u"收送"_s, u"姓名"_s, u"时间"_s, u"关系"_s, u"类型"_s, u"金额"_s, u"说明"_s};
        for (int c = 0; c < LedgerGrid::Columns; ++c) {
            QCOMPARE(grid.cellText(0, c), u"总 收 送 礼 记 录"_s);
            QCOMPARE(grid.cellText(1, c), headers.at(c));
            QCOMPARE(grid.cellText(2, c), QString());
        }
        QCOMPARE(grid.cellText(0, 9), QString());
        QCOMPARE(grid.cellText(-1, 0), QString());
        QCOMPARE(grid.currentRow(), -1);
        QCOMPARE(grid.currentColumn(), -1);
        // The two fixed rows are the header, so they stay in place while the data rows scroll.
        QCOMPARE(grid.horizontalHeader()->height(), 2 * 24);
        QVERIFY(qobject_cast<ovelta::GridHeaderView*>(grid.horizontalHeader()));
        QVERIFY(grid.verticalHeader()->isHidden());
    }

    void columnWidthsFollowTheWidthAtPreparation_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("design width") << 550 << QList<int>{0, 45, 45, 57, 100, 50, 50, 68, 114};
        QTest::newRow("600") << 600 << QList<int>{0, 50, 50, 62, 109, 54, 54, 75, 125};
        // Every quotient is exact here: a floating division by 4.8 or 9.6 could land just below.
        QTest::newRow("480") << 480 << QList<int>{0, 40, 40, 50, 87, 43, 43, 60, 100};
    }
    void columnWidthsFollowTheWidthAtPreparation()
    {
        QFETCH(int, width);
        QFETCH(QList<int>, expected);
        LedgerGrid grid;
        grid.resize(width, 361);
        grid.prepare();
        grid.appendRow(record(1, u"张三"_s));
        QList<int> widths;
        for (int c = 0; c < LedgerGrid::Columns; ++c)
            widths << grid.columnWidthAt(c);
        QCOMPARE(widths, expected);
        QVERIFY(grid.isColumnHidden(0));
        QCOMPARE(grid.rowHeight(0), 24);
    }

    void widthsAreTakenAgainAtEachPreparation()
    {
        LedgerGrid grid;
        grid.resize(550, 361);
        grid.prepare();
        grid.resize(600, 361);
        QCOMPARE(grid.columnWidthAt(8), 114);
        grid.prepare();
        QCOMPARE(grid.columnWidthAt(8), 125);
        QCOMPARE(grid.columnWidthAt(0), 0);
    }

    void moneyHasTwoDecimalsAndZeroIsEmpty_data()
    {
        QTest::addColumn<qint64>("ticks");
        QTest::addColumn<QString>("text");
        QTest::newRow("500") << 500 * Yuan << u"500.00"_s;
        QTest::newRow("1234.5") << 12345000LL << u"1234.50"_s;
        QTest::newRow("-20") << -20 * Yuan << u"-20.00"_s;
        QTest::newRow("zero") << 0LL << QString();
        QTest::newRow("half a cent rounds up") << 50LL << u"0.01"_s;
        QTest::newRow("just under half a cent") << 49LL << u"0.00"_s;
        QTest::newRow("negative half rounds away from zero") << -12345LL << u"-1.23"_s;
        QTest::newRow("negative half cent") << -50LL << u"-0.01"_s;
        QTest::newRow("tiny negative has no minus") << -49LL << u"0.00"_s;
        QTest::newRow("carry into units") << 99995LL << u"10.00"_s;
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << u"922337203685477.58"_s;
        QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << u"-922337203685477.58"_s;
    }
    void moneyHasTwoDecimalsAndZeroIsEmpty()
    {
        QFETCH(qint64, ticks);
        QFETCH(QString, text);
        QCOMPARE(LedgerGrid::moneyText(ticks), text);
    }

    void moneyCellIsDrawnWithTheCurrencySymbol()
    {
        LedgerGrid grid;
        std::vector<LedgerRow> rows{record(1, u"甲"_s, 500 * Yuan), record(2, u"乙"_s, 12345000),
                                    record(3, u"丙"_s, -20 * Yuan), record(4, u"丁"_s, 0), record(5, u"戊"_s)};
        rows.back().hasAmount = false;
        grid.appendRows(std::move(rows));
        const QStringList cells = {u"500.00"_s, u"1234.50"_s, u"-20.00"_s, QString(), QString()};
        const QStringList drawn = {u"￥500.00"_s, u"￥1234.50"_s, u"￥-20.00"_s, QString(), QString()};
        for (int i = 0; i < cells.size(); ++i) {
            QCOMPARE(grid.cellText(i + 2, 7), cells.at(i));
            const QModelIndex index = grid.model()->index(i, 7);
            QCOMPARE(index.data(Qt::DisplayRole).toString(), drawn.at(i));
            QCOMPARE(index.data(LedgerGridModel::CellTextRole).toString(), cells.at(i));
        }
        // Only the money column gets the symbol.
        QCOMPARE(grid.model()->index(0, 1).data().toString(), u"1"_s);
    }

    void datesShowWithoutTimeOrLeadingZeros()
    {
        QCOMPARE(LedgerGrid::dateText(QDate(2011, 6, 2)), u"2011年6月2日"_s);
        QCOMPARE(LedgerGrid::dateText(QDate(1999, 12, 31)), u"1999年12月31日"_s);
        QCOMPARE(LedgerGrid::dateText(QDate()), QString());
        LedgerGrid grid;
        grid.appendRows({record(1, u"张三"_s, Yuan, QDate(2011, 6, 2)), record(2, u"李四"_s, Yuan, QDate())});
        QCOMPARE(grid.cellText(2, 4), u"2011年6月2日"_s);
        QCOMPARE(grid.cellText(3, 4), QString());
    }

    void dataRowsCarryIdNumberAndFields()
    {
        LedgerGrid grid;
        LedgerRow given = record(9, u"王五"_s);
        given.direction = u"送礼"_s;
        given.relation = u"同学"_s;
        given.occasion = u"寿宴"_s;
        given.note = QString();
        grid.appendRows({record(7, u"张三"_s), record(3, u"李四"_s)});
        grid.appendRow(given);
        QCOMPARE(grid.rowCount(), 5);
        const QStringList ids = {u"7"_s, u"3"_s, u"9"_s};
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(grid.cellText(k + 1, 0), ids.at(k - 1));
            QCOMPARE(grid.cellText(k + 1, 1), QString::number(k));
        }
        const QStringList third
            = {u"9"_s, u"3"_s, u"送礼"_s, u"王五"_s, u"2011年6月2日"_s, u"同学"_s, u"寿宴"_s, u"100.00"_s, QString()};
        for (int c = 0; c < LedgerGrid::Columns; ++c)
            QCOMPARE(grid.cellText(4, c), third.at(c));
        QCOMPARE(grid.cellText(2, 8), u"备注张三"_s);
        QCOMPARE(grid.cellText(5, 1), QString());
        QCOMPARE(grid.cellText(2, 9), QString());

        // A new preparation starts the numbering again.
        grid.prepare();
        grid.appendRow(record(42, u"赵六"_s));
        QCOMPARE(grid.cellText(2, 0), u"42"_s);
        QCOMPARE(grid.cellText(2, 1), u"1"_s);
    }

    void textsOfAnyLengthComeBackUnchanged()
    {
        LedgerGrid grid;
        LedgerRow empty = record(1, QString());
        empty.note = u"只有说明"_s;
        LedgerRow longNote = record(2, u"长"_s);
        longNote.note = QString(5000, u'注');
        // Larger than any shared text page, so it needs a page of its own.
        LedgerRow huge = record(3, QString(3'000'000, u'名'));
        huge.note = u"后面"_s;
        LedgerRow wide = record(4, u"𠀋𠀌"_s); // characters outside the basic plane
        wide.note = u"'\"\t"_s;
        grid.appendRows({empty, longNote, huge, wide, record(5, u"之后"_s)});
        QCOMPARE(grid.cellText(2, 3), QString());
        QCOMPARE(grid.cellText(2, 8), u"只有说明"_s);
        QCOMPARE(grid.cellText(3, 8), longNote.note);
        QCOMPARE(grid.cellText(4, 3), huge.name);
        QCOMPARE(grid.cellText(4, 8), u"后面"_s);
        QCOMPARE(grid.cellText(5, 3), u"𠀋𠀌"_s);
        QCOMPARE(grid.cellText(5, 8), u"'\"\t"_s);
        QCOMPARE(grid.cellText(6, 3), u"之后"_s);
        QCOMPARE(grid.cellText(6, 8), u"备注之后"_s);
    }

    void repeatedShortTextsShareTheirData()
    {
        // Texts read from a database arrive as separate copies; the grid keeps equal ones once.
        auto fresh = [](const char* utf8) { return QString::fromUtf8(utf8); };
        LedgerRow first = record(1, u"甲"_s);
        LedgerRow second = record(2, u"乙"_s);
        first.direction = fresh("收礼");
        second.direction = fresh("收礼");
        first.relation = fresh("朋友");
        second.relation = fresh("朋友");
        first.occasion = fresh("婚礼");
        second.occasion = fresh("婚礼");
        QVERIFY(!first.direction.isSharedWith(second.direction));
        LedgerGrid grid;
        grid.appendRows({first, second});
        for (int c : {2, 5, 6}) {
            QCOMPARE(grid.cellText(2, c), grid.cellText(3, c));
            QVERIFY(grid.cellText(2, c).isSharedWith(grid.cellText(3, c)));
        }
    }

    void rowsAlternateColoursByRowIndex()
    {
        LedgerGrid grid;
        grid.appendRows({record(1, u"甲"_s), record(2, u"乙"_s), record(3, u"丙"_s)});
        const QColor even(236, 236, 236);
        const QColor odd(192, 192, 192);
        QCOMPARE(grid.rowBackground(2), even);
        QCOMPARE(grid.rowBackground(3), odd);
        QCOMPARE(grid.rowBackground(4), even);
        QVERIFY(!grid.rowBackground(1).isValid());
        QVERIFY(!grid.rowBackground(5).isValid());
        QCOMPARE(grid.model()->index(1, 3).data(Qt::BackgroundRole).value<QBrush>().color(), odd);

        // The colour setting survives preparation.
        grid.setRowColours(Qt::white, Qt::yellow);
        grid.prepare();
        grid.appendRows({record(1, u"甲"_s), record(2, u"乙"_s)});
        QCOMPARE(grid.rowBackground(2), QColor(Qt::white));
        QCOMPARE(grid.rowBackground(3), QColor(Qt::yellow));
    }

    void currentRowIsSetByAClick()
    {
        LedgerGrid grid;
        grid.resize(550, 361);
        grid.prepare();
        grid.appendRows({record(11, u"甲"_s), record(12, u"乙"_s), record(13, u"丙"_s)});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));

        // Receiving the focus, typing or a sideways key does not choose a row by itself.
        grid.setFocus(Qt::TabFocusReason);
        QTest::keyClicks(&grid, u"z"_s);
        QTest::keyClick(&grid, Qt::Key_Right);
        QCOMPARE(grid.currentRow(), -1);

        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(1, 3)).center());
        QCOMPARE(grid.currentRow(), 3);
        QCOMPARE(grid.currentColumn(), 3);
        QCOMPARE(grid.cellText(grid.currentRow(), 0), u"12"_s);

        // Once a cell is focused the keys move it.
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.currentRow(), 4);

        // A click on the fixed rows changes nothing.
        QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(100, 36));
        QCOMPARE(grid.currentRow(), 4);

        grid.prepare();
        QCOMPARE(grid.currentRow(), -1);
        QCOMPARE(grid.currentColumn(), -1);

        grid.appendRow(record(14, u"丁"_s));
        grid.setCurrentCell(2, 5);
        QCOMPARE(grid.currentRow(), 2);
        QCOMPARE(grid.currentColumn(), 5);
        grid.setCurrentCell(1, 5);
        QCOMPARE(grid.currentRow(), -1);
    }

    void homeAndEndGoToTheFirstAndLastRecord_data()
    {
        QTest::addColumn<int>("fromRow"); // grid row current before the key; -1 for none
        QTest::addColumn<int>("fromColumn");
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("row"); // grid row current afterwards
        QTest::addColumn<int>("column");
        constexpr int First = LedgerGrid::FixedRows;
        constexpr int Last = LedgerGrid::FixedRows + 59;
        const Qt::KeyboardModifiers none;
        const Qt::KeyboardModifiers ctrl(Qt::ControlModifier);
        const int home = Qt::Key_Home;
        const int end = Qt::Key_End;
        QTest::newRow("none, End") << -1 << -1 << end << none << Last << 1;
        QTest::newRow("none, Home") << -1 << -1 << home << none << First << 1;
        QTest::newRow("first, End") << First << 1 << end << none << Last << 1;
        QTest::newRow("middle, End") << 30 << 3 << end << none << Last << 3;
        QTest::newRow("middle, Ctrl+End") << 30 << 7 << end << ctrl << Last << 7;
        QTest::newRow("last, End") << Last << 5 << end << none << Last << 5;
        QTest::newRow("last, Home") << Last << 1 << home << none << First << 1;
        QTest::newRow("middle, Home") << 30 << 8 << home << none << First << 8;
        QTest::newRow("middle, Ctrl+Home") << 30 << 4 << home << ctrl << First << 4;
    }
    void homeAndEndGoToTheFirstAndLastRecord()
    {
        QFETCH(int, fromRow);
        QFETCH(int, fromColumn);
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, row);
        QFETCH(int, column);
        LedgerGrid grid;
        grid.resize(550, 361);
        grid.prepare();
        std::vector<LedgerRow> rows;
        for (int i = 1; i <= 60; ++i)
            rows.push_back(record(i, guestName(i)));
        grid.appendRows(std::move(rows));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus(Qt::TabFocusReason);
        if (fromRow >= 0) {
            grid.setCurrentCell(fromRow, fromColumn);
            grid.scrollTo(grid.currentIndex());
        }

        QTest::keyClick(&grid, Qt::Key(key), modifiers);
        QCOMPARE(grid.currentRow(), row);
        QCOMPARE(grid.currentColumn(), column);
        // The whole row is selected, and it is in view.
        const QModelIndexList selected = grid.selectionModel()->selectedRows(column);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), row - LedgerGrid::FixedRows);
        const QRect shown = grid.visualRect(grid.currentIndex());
        QVERIFY2(grid.viewport()->rect().contains(shown),
                 qPrintable(u"row %1 at y %2..%3 of %4"_s.arg(row)
                                .arg(shown.top())
                                .arg(shown.bottom())
                                .arg(grid.viewport()->height())));
    }

    void doubleClickAnywhereIsReported()
    {
        LedgerGrid grid;
        grid.resize(550, 361);
        grid.prepare();
        grid.appendRows({record(1, u"甲"_s), record(2, u"乙"_s)});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QSignalSpy spy(&grid, &LedgerGrid::cellDoubleClicked);

        QTest::mouseDClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(100, 12));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(grid.currentRow(), -1);

        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(1, 4)).center());
        QCOMPARE(spy.count(), 2);
        QCOMPARE(grid.currentRow(), 3);

        // Below the last row: still reported; the current row stays what it was.
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, QPoint(100, grid.viewport()->height() - 5));
        QCOMPARE(spy.count(), 3);
        QCOMPARE(grid.currentRow(), 3);
    }

    void largeAppendIsOneInsertion()
    {
        LedgerGrid grid;
        grid.resize(550, 361);
        grid.prepare();
        grid.show();
        QSignalSpy inserted(grid.model(), &QAbstractItemModel::rowsInserted);
        constexpr int Count = 100'000;
        std::vector<LedgerRow> rows;
        rows.reserve(Count);
        for (int i = 0; i < Count; ++i)
            rows.push_back(record(Count - i, u"人%1"_s.arg(i), qint64(i) * 100));
        grid.appendRows(std::move(rows));
        QVERIFY(rows.empty());
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(grid.rowCount(), Count + 2);
        QCOMPARE(grid.cellText(Count + 1, 1), QString::number(Count));
        QCOMPARE(grid.cellText(Count + 1, 0), u"1"_s);
        QCOMPARE(grid.cellText(Count + 1, 3), u"人%1"_s.arg(Count - 1));
        QCOMPARE(grid.cellText(Count + 1, 7), LedgerGrid::moneyText(qint64(Count - 1) * 100));
        grid.scrollToBottom();
        grid.repaintNow();
        QCOMPARE(grid.rowHeight(Count - 1), 24);
        grid.prepare();
        QCOMPARE(grid.rowCount(), 2);
    }

    void smallLedgerPrintsToOnePdfPage()
    {
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        grid.resize(550, 361);
        grid.prepare();
        grid.appendRows(
            {record(987654, u"张三"_s, 500 * Yuan), record(987655, u"李四"_s, 12345000), record(987656, u"王五"_s, 0)});
        const QString path = folder.file(u"three.pdf"_s);
        QVERIFY(grid.printToPdf(path));
        QCOMPARE(pdfPages(path), 1);
        const QString text = pdfText(path);
        QVERIFY2(text.contains(u"总收送礼记录"_s), qPrintable(text));
        for (const QString& header : allHeaders())
            QVERIFY2(text.contains(header), qPrintable(header));
        for (const QString& name : {u"张三"_s, u"李四"_s, u"王五"_s})
            QVERIFY2(text.contains(name), qPrintable(name));
        QVERIFY(text.contains(u"￥500.00"_s));
        QVERIFY(text.contains(u"2011年6月2日"_s));
        // The hidden key column is not printed.
        QVERIFY(!text.contains(u"98765"_s));
    }

    void printOutKeepsWholeTexts()
    {
        // Paper has no tooltips: texts wider than their column are printed whole.
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        grid.resize(550, 361);
        grid.prepare();
        LedgerRow wide = record(1, u"欧阳慕容司马"_s, 999999900, QDate(2026, 12, 28));
        wide.note = u"新郎新娘百年好合早生贵子白头偕老永结同心"_s;
        grid.appendRows({wide, record(2, u"李四"_s, -999999900)});
        const QString path = folder.file(u"wide.pdf"_s);
        QVERIFY(grid.printToPdf(path));
        const QString text = pdfText(path);
        for (const QString& whole : {wide.name, wide.note, u"￥99999.99"_s, u"￥-99999.99"_s, u"2026年12月28日"_s})
            QVERIFY2(text.contains(whole), qPrintable(whole + u" in "_s + text));
        QVERIFY(!text.contains(QChar(0x2026)));
    }

    void longLedgerRepeatsTitleAndHeaderOnEveryPage()
    {
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        grid.resize(550, 361);
        grid.prepare();
        std::vector<LedgerRow> rows;
        for (int i = 1; i <= 200; ++i)
            rows.push_back(record(i, guestName(i)));
        grid.appendRows(std::move(rows));
        const QString path = folder.file(u"long.pdf"_s);
        QVERIFY(grid.printToPdf(path));
        const int pages = pdfPages(path);
        QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));

        const QString all = pdfText(path);
        for (int i = 1; i <= 200; ++i)
            QVERIFY2(all.contains(guestName(i)), qPrintable(guestName(i)));
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(path, page, page);
            QVERIFY2(text.contains(u"总收送礼记录"_s), qPrintable(QString::number(page)));
            for (const QString& header : allHeaders())
                QVERIFY2(text.contains(header), qPrintable(u"page %1: %2"_s.arg(page).arg(header)));
        }
        QVERIFY(pdfText(path, 1, 1).contains(guestName(1)));
        QVERIFY(!pdfText(path, 1, 1).contains(guestName(200)));
        QVERIFY(pdfText(path, pages, pages).contains(guestName(200)));
    }

    void emptyLedgerPrintsTheFixedRows()
    {
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        grid.resize(550, 361);
        grid.prepare();
        const QString path = folder.file(u"empty.pdf"_s);
        QVERIFY(grid.printToPdf(path));
        QCOMPARE(pdfPages(path), 1);
        QVERIFY(pdfText(path).contains(u"总收送礼记录"_s));
    }

    void printingToAnUnwritablePlaceFails()
    {
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        QVERIFY(!grid.printToPdf(folder.file(u"missing/folder/out.pdf"_s)));
    }
};

QTEST_MAIN(TestLedgerGrid)
#include "test_ledger_grid.moc"
