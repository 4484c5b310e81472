// The people overview (往来汇总) and one person's records (往来明细) over a ledger of known contents: every
// total, count, balance and order, the name filter and "只看未还", sorting by a header click, opening a
// person by Enter and double-click, saving and copying; and the ledger grid's context menu and the main
// window's shortcuts that open them.

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/LedgerTotals.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/common/FileChooser.h"
#include "windows/common/ReportText.h"
#include "windows/common/TableExport.h"
#include "windows/ledger/GridCommands.h"
#include "windows/ledger/MainWindow.h"
#include "windows/reports/PeopleModel.h"
#include "windows/reports/PeopleWindow.h"
#include "windows/reports/PersonWindow.h"

#include "GuiSupport.h"
#include "KnownLedger.h"
#include "ReportSteps.h"
#include "TempFolder.h"
#include "TestHost.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

QStringList column(const QAbstractItemModel& model, int col, int role = Qt::DisplayRole)
{
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.data(model.index(r, col), role).toString();
    return texts;
}

QStringList row(const QAbstractItemModel& model, int r)
{
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c)
        texts << model.data(model.index(r, c)).toString();
    return texts;
}

/// Types the text key by key, Chinese characters included.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

/// A press, a release and a double-click at one point, as the window system delivers a double-click.
void doubleClick(QWidget* widget, const QPoint& at)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
    QMouseEvent event(QEvent::MouseButtonDblClick, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QString labelText(QWidget& window, const QString& name)
{
    return findControl<QLabel>(&window, name)->text();
}

} // namespace

class TestPeopleWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempFolder> m_folder;
    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<BoxRecorder> m_boxes;

    void addKnown(const QList<KnownRecord>& records)
    {
        QVERIFY(m_host->connection.engine());
        QVERIFY(addRecords(*m_host->connection.engine(), records));
    }

    void checkPeopleRows(ReportWindow& w)
    {
        auto* table = findControl<QTableView>(&w, u"往来汇总表"_s);
        QAbstractItemModel& m = *table->model();
        QCOMPARE(m.columnCount(), 8);
        QStringList headers;
        for (int c = 0; c < m.columnCount(); ++c)
            headers << m.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers,
                 (QStringList{u"姓名"_s, u"关系"_s, u"收礼次数"_s, u"收礼合计"_s, u"送礼次数"_s, u"送礼合计"_s,
                              u"差额"_s, u"最近往来"_s}));
        // Newest dealings first; the person without any dated record last.
        QCOMPARE(column(m, 0), (QStringList{u"li lei"_s, u"张三"_s, u"赵六"_s, QString(), u"王五"_s}));
        QCOMPARE(row(m, 0),
                 (QStringList{u"li lei"_s, u"同事"_s, u"2"_s, u"￥200.00"_s, u"1"_s, u"￥300.0005"_s, u"￥-100.0005"_s,
                              u"2022年2月2日"_s}));
        QCOMPARE(row(m, 1),
                 (QStringList{u"张三"_s, u"亲戚"_s, u"2"_s, u"￥100.0004"_s, u"1"_s, u"￥50.50"_s, u"￥49.5004"_s,
                              u"2021年3月1日"_s}));
        QCOMPARE(row(m, 2),
                 (QStringList{u"赵六"_s, u"朋友"_s, u"2"_s, u"￥0.30"_s, u"0"_s, u"￥0.00"_s, u"￥0.30"_s,
                              u"2020年12月31日"_s}));
        QCOMPARE(row(m, 3),
                 (QStringList{QString(), QString(), u"1"_s, u"￥1.00"_s, u"0"_s, u"￥0.00"_s, u"￥1.00"_s,
                              u"2020年6月1日"_s}));
        QCOMPARE(
            row(m, 4),
            (QStringList{u"王五"_s, u"邻居"_s, u"0"_s, u"￥0.00"_s, u"1"_s, u"￥10.00"_s, u"￥-10.00"_s, QString()}));
        // Parts of a fen are shown with four decimals, never rounded away; the plain values are exact too.
        QCOMPARE(m.data(m.index(1, PeopleModel::ReceivedSum), Qt::UserRole).toLongLong(), 1000004);
        QCOMPARE(m.data(m.index(1, PeopleModel::Balance), Qt::UserRole).toLongLong(), 495004);
        QCOMPARE(m.data(m.index(0, PeopleModel::GivenSum), Qt::UserRole).toLongLong(), 3000005);
        QCOMPARE(m.data(m.index(2, PeopleModel::ReceivedSum), Qt::UserRole).toLongLong(), 3000);
        QCOMPARE(labelText(w, u"合计标签"_s),
                 u"合计：5 人　收礼 7 次，￥301.3004　送礼 3 次，￥360.5005　差额 ￥-59.2001"_s);
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<TempFolder>();
        QVERIFY(m_folder->isValid());
        m_host = std::make_unique<TestHost>();
        QVERIFY(m_host->createAndConnect());
        m_boxes = std::make_unique<BoxRecorder>();
        addKnown(knownRecords());
    }
    void cleanup()
    {
        FileChooser::stopRecording();
        m_boxes.reset();
        m_host.reset();
        m_folder.reset();
    }

    void overviewShowsEveryPersonOnce()
    {
        QVERIFY(whileOpen(
            u"people"_s, [&] { (new PeopleWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) {
                QCOMPARE(w.windowTitle(), u"往来汇总"_s);
                checkPeopleRows(w);
                // Resizable, and it fits a 1280×800 screen.
                QVERIFY(w.minimumSize() != w.maximumSize());
                QVERIFY(w.width() <= 1280 && w.height() <= 800);
            }));
        QCOMPARE(m_boxes->count(), 0);
    }

    void overviewSortsByAHeaderClick_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QStringList>("names");
        // Equal values keep one order of the names (ASCII before Chinese).
        QTest::newRow("balance ascending")
            << int(PeopleModel::Balance) << 1 << QStringList{u"li lei"_s, u"王五"_s, u"赵六"_s, QString(), u"张三"_s};
        QTest::newRow("balance descending")
            << int(PeopleModel::Balance) << 2 << QStringList{u"张三"_s, QString(), u"赵六"_s, u"王五"_s, u"li lei"_s};
        QTest::newRow("received count") << int(PeopleModel::ReceivedCount) << 1
                                        << QStringList{u"王五"_s, QString(), u"li lei"_s, u"张三"_s, u"赵六"_s};
        QTest::newRow("given sum") << int(PeopleModel::GivenSum) << 1
                                   << QStringList{QString(), u"赵六"_s, u"王五"_s, u"张三"_s, u"li lei"_s};
        QTest::newRow("latest ascending")
            << int(PeopleModel::Latest) << 1 << QStringList{u"王五"_s, QString(), u"赵六"_s, u"张三"_s, u"li lei"_s};
        // Names in the order of the Chinese locale: pinyin wang, zhang, zhao, then Latin letters.
        QTest::newRow("name") << int(PeopleModel::Name) << 1
                              << QStringList{QString(), u"王五"_s, u"张三"_s, u"赵六"_s, u"li lei"_s};
    }
    void overviewSortsByAHeaderClick()
    {
        QFETCH(int, section);
        QFETCH(int, clicks);
        QFETCH(QStringList, names);
        QVERIFY(whileOpen(
            u"people"_s, [&] { (new PeopleWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) {
                auto* table = findControl<QTableView>(&w, u"往来汇总表"_s);
                QHeaderView* header = table->horizontalHeader();
                const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                                header->height() / 2);
                for (int i = 0; i < clicks; ++i)
                    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
                QCOMPARE(header->sortIndicatorSection(), section);
                QCOMPARE(column(*table->model(), 0), names);
            }));
    }

    void overviewFilterAndOwedOnly_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("owedOnly");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("totals");
        QTest::newRow("part, other case, blanks")
            << u"　LI "_s << false << QStringList{u"li lei"_s}
            << u"合计：1 人　收礼 2 次，￥200.00　送礼 1 次，￥300.0005　差额 ￥-100.0005"_s;
        QTest::newRow("Chinese part") << u"三"_s << false << QStringList{u"张三"_s}
                                      << u"合计：1 人　收礼 2 次，￥100.0004　送礼 1 次，￥50.50　差额 ￥49.5004"_s;
        QTest::newRow("no match") << u"xyz"_s << false << QStringList{}
                                  << u"合计：0 人　收礼 0 次，￥0.00　送礼 0 次，￥0.00　差额 ￥0.00"_s;
        // Pattern characters are plain text in the filter.
        QTest::newRow("percent") << u"%"_s << false << QStringList{}
                                 << u"合计：0 人　收礼 0 次，￥0.00　送礼 0 次，￥0.00　差额 ￥0.00"_s;
        QTest::newRow("only owed") << QString() << true << QStringList{u"张三"_s, u"赵六"_s, QString()}
                                   << u"合计：3 人　收礼 5 次，￥101.3004　送礼 1 次，￥50.50　差额 ￥50.8004"_s;
        QTest::newRow("only owed and a part") << u"赵"_s << true << QStringList{u"赵六"_s}
                                              << u"合计：1 人　收礼 2 次，￥0.30　送礼 0 次，￥0.00　差额 ￥0.30"_s;
        QTest::newRow("only owed, none left")
            << u"li"_s << true << QStringList{} << u"合计：0 人　收礼 0 次，￥0.00　送礼 0 次，￥0.00　差额 ￥0.00"_s;
    }
    void overviewFilterAndOwedOnly()
    {
        QFETCH(QString, filter);
        QFETCH(bool, owedOnly);
        QFETCH(QStringList, names);
        QFETCH(QString, totals);
        QVERIFY(whileOpen(
            u"people"_s, [&] { (new PeopleWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) {
                auto* box = findControl<QLineEdit>(&w, u"姓名筛选框"_s);
                auto* check = findControl<QCheckBox>(&w, u"只看未还选择框"_s);
                QCOMPARE(check->text(), u"只看未还(&W)"_s);
                // Typed key by key: the rows narrow as the text grows.
                box->setFocus();
                typeText(box, filter);
                if (owedOnly)
                    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
                QCOMPARE(check->isChecked(), owedOnly);
                auto* table = findControl<QTableView>(&w, u"往来汇总表"_s);
                QCOMPARE(column(*table->model(), 0), names);
                QCOMPARE(labelText(w, u"合计标签"_s), totals);
                // Taking the filter back shows everyone again.
                box->clear();
                check->setChecked(false);
                QCOMPARE(table->model()->rowCount(), 5);
            }));
    }

    void overviewOpensAPersonByEnterAndDoubleClick()
    {
        QStringList seen;
        QList<ReportStep> steps{
            {u"people"_s,
             [&](ReportWindow& w) {
                 auto* table = findControl<QTableView>(&w, u"往来汇总表"_s);
                 QList<ReportStep> inner{{u"person"_s, [&](ReportWindow& p) { seen << p.windowTitle(); }}};
                 // Enter on 张三's row.
                 table->setCurrentIndex(table->model()->index(1, 3));
                 table->setFocus();
                 runWithWindows(inner, [&] { QTest::keyClick(table, Qt::Key_Return); });
                 QVERIFY(inner.first().ran);
                 // A double-click on li lei's row.
                 inner.first().ran = false;
                 const QRect cell = table->visualRect(table->model()->index(0, 2));
                 runWithWindows(inner, [&] { doubleClick(table->viewport(), cell.center()); });
                 QVERIFY(inner.first().ran);
                 // The button opens the current row: the person without a name.
                 inner.first().ran = false;
                 table->setCurrentIndex(table->model()->index(3, 0));
                 runWithWindows(inner, [&] { findControl<QPushButton>(&w, u"查看往来按钮"_s)->click(); });
                 QVERIFY(inner.first().ran);
             }},
        };
        runWithWindows(steps, [&] { (new PeopleWindow(*m_host))->openModal(); });
        QVERIFY(steps.first().ran);
        QCOMPARE(seen, (QStringList{u"往来明细 - 张三"_s, u"往来明细 - li lei"_s, u"往来明细 - （无姓名）"_s}));
    }

    void personRecordsWithRunningBalance_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QStringList>("totals");
        QTest::newRow("blanks around the name")
            << u" 张三"_s << u"往来明细 - 张三"_s
            << QList<QStringList>{
                   {u"1"_s, u"2020年1月5日"_s, u"收礼"_s, u"张三"_s, u"朋友"_s, u"结婚"_s, u"￥100.0001"_s,
                    u"￥100.0001"_s, u"婚宴"_s},
                   {u"2"_s, u"2021年3月1日"_s, u"送礼"_s, u" 张三　"_s, u"同学"_s, u"生日"_s, u"￥50.50"_s,
                    u"￥49.5001"_s, QString()},
                   {u"3"_s, u"2021年3月1日"_s, u"收礼"_s, u"张三"_s, u"亲戚"_s, u"乔迁"_s, u"￥0.0003"_s,
                    u"￥49.5004"_s, u"零头"_s},
               }
            << QStringList{u"收礼 2 次，合计 ￥100.0004"_s, u"送礼 1 次，合计 ￥50.50"_s,
                           u"差额 ￥49.5004（对方送得多，尚欠人情）"_s};
        // The record without a date comes first, and without an amount its cell stays empty.
        QTest::newRow("case")
            << u"Li lei"_s << u"往来明细 - Li lei"_s
            << QList<QStringList>{
                   {u"1"_s, QString(), u"收礼"_s, u"LI LEI "_s, u"同事"_s, u"探病"_s, QString(), u"￥0.00"_s,
                    u"没有日期和金额"_s},
                   {u"2"_s, u"2019年7月7日"_s, u"收礼"_s, u"Li Lei"_s, u"同事"_s, u"结婚"_s, u"￥200.00"_s,
                    u"￥200.00"_s, QString()},
                   {u"3"_s, u"2022年2月2日"_s, u"送礼"_s, u"li lei"_s, u"同事"_s, u"Tea"_s, u"￥300.0005"_s,
                    u"￥-100.0005"_s, QString()},
               }
            << QStringList{u"收礼 2 次，合计 ￥200.00"_s, u"送礼 1 次，合计 ￥300.0005"_s,
                           u"差额 ￥-100.0005（我方送得多）"_s};
        QTest::newRow("nobody") << u"无此人"_s << u"往来明细 - 无此人"_s << QList<QStringList>{}
                                << QStringList{u"收礼 0 次，合计 ￥0.00"_s, u"送礼 0 次，合计 ￥0.00"_s,
                                               u"差额 ￥0.00（两清）"_s};
    }
    void personRecordsWithRunningBalance()
    {
        QFETCH(QString, asked);
        QFETCH(QString, title);
        QFETCH(QList<QStringList>, rows);
        QFETCH(QStringList, totals);
        QVERIFY(whileOpen(
            u"person"_s, [&] { (new PersonWindow(*m_host, asked))->openModal(); },
            [&](ReportWindow& w) {
                QCOMPARE(w.windowTitle(), title);
                auto* table = findControl<QTableView>(&w, u"往来明细表"_s);
                QAbstractItemModel& m = *table->model();
                QStringList headers;
                for (int c = 0; c < m.columnCount(); ++c)
                    headers << m.headerData(c, Qt::Horizontal).toString();
                QCOMPARE(headers,
                         (QStringList{u"序号"_s, u"时间"_s, u"收送"_s, u"姓名"_s, u"关系"_s, u"类型"_s, u"金额"_s,
                                      u"余额"_s, u"说明"_s}));
                QCOMPARE(m.rowCount(), rows.size());
                for (int r = 0; r < rows.size(); ++r)
                    QCOMPARE(row(m, r), rows.at(r));
                QCOMPARE((QStringList{labelText(w, u"收礼合计标签"_s), labelText(w, u"送礼合计标签"_s),
                                      labelText(w, u"差额标签"_s)}),
                         totals);
            }));
        QCOMPARE(m_boxes->count(), 0);
    }

    void personRecordsSavedAndCopiedExactly()
    {
        addKnown({{u"收礼"_s, u"=1+1"_s, u"2023-05-01 00:00:00"_s, u"朋友"_s, u"结婚"_s, 1234567, u"a,\"b\""_s},
                  {u"送礼"_s, u"=1+1"_s, u"2023-06-01 00:00:00"_s, u"朋友"_s, u"结婚"_s, 12345000000, {}}});
        const QString path = m_folder->file(u"明细.csv"_s);
        FileChooser::startRecording();
        FileChooser::setNextAnswer(path);
        QVERIFY(whileOpen(
            u"person"_s, [&] { (new PersonWindow(*m_host, u"=1+1"_s))->openModal(); },
            [&](ReportWindow& w) {
                findControl<QPushButton>(&w, u"保存CSV按钮"_s)->click();
                findControl<QPushButton>(&w, u"复制按钮"_s)->click();
            }));
        QCOMPARE(FileChooser::requests().size(), 1);
        QCOMPARE(FileChooser::requests().front().suggested, u"往来明细-=1+1.csv"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        // Amounts exact, without the yuan sign or groups of digits; dates as YYYY-MM-DD; a text that a
        // spreadsheet would compute stays text.
        QCOMPARE(QString::fromUtf8(bytes.mid(3)),
                 u"序号,时间,收送,姓名,关系,类型,金额,余额,说明\r\n"
                 u"1,2023-05-01,收礼,'=1+1,朋友,结婚,123.4567,123.4567,\"a,\"\"b\"\"\"\r\n"
                 u"2,2023-06-01,送礼,'=1+1,朋友,结婚,1234500.00,-1234376.5433,\r\n"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 u"序号\t时间\t收送\t姓名\t关系\t类型\t金额\t余额\t说明\n"
                 u"1\t2023-05-01\t收礼\t=1+1\t朋友\t结婚\t123.4567\t123.4567\ta,\"b\"\n"
                 u"2\t2023-06-01\t送礼\t=1+1\t朋友\t结婚\t1234500.00\t-1234376.5433\t\n"_s);
        QCOMPARE(m_boxes->count(), 0);
    }

    void savingAFileThatCannotBeWrittenSaysSo()
    {
        FileChooser::startRecording();
        FileChooser::setNextAnswer(m_folder->file(u"无此文件夹/明细.csv"_s));
        QVERIFY(whileOpen(
            u"person"_s, [&] { (new PersonWindow(*m_host, u"张三"_s))->openModal(); },
            [&](ReportWindow& w) { findControl<QPushButton>(&w, u"保存CSV按钮"_s)->click(); }));
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_boxes->last().text, u"保存CSV文件失败。"_s);
        QCOMPARE(m_boxes->last().title, u"错误"_s);
        QCOMPARE(m_boxes->last().buttons, MessageBox::OkOnly);
        QCOMPARE(m_boxes->last().icon, MessageBox::Stop);
        QCOMPARE(m_boxes->last().defaultButton, MessageBox::Ok);
        // Cancelled: nothing is written and nothing is said.
        QVERIFY(whileOpen(
            u"person"_s, [&] { (new PersonWindow(*m_host, u"张三"_s))->openModal(); },
            [&](ReportWindow& w) { findControl<QPushButton>(&w, u"保存CSV按钮"_s)->click(); }));
        QCOMPARE(m_boxes->count(), 1);
    }

    // Money as the reports write it: yuan in groups of three digits, parts of a fen with all four decimals, exact
    // at any size; files get plain exact numbers.
    void moneyTexts_data()
    {
        const qint64 largest = std::numeric_limits<qint64>::max();
        const qint64 smallest = std::numeric_limits<qint64>::min();
        QTest::addColumn<qint64>("ticks");
        QTest::addColumn<int>("times");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("exported");
        QTest::newRow("zero") << qint64(0) << 1 << u"￥0.00"_s << u"0.00"_s;
        QTest::newRow("one ten-thousandth") << qint64(1) << 1 << u"￥0.0001"_s << u"0.0001"_s;
        QTest::newRow("minus one ten-thousandth") << qint64(-1) << 1 << u"￥-0.0001"_s << u"-0.0001"_s;
        QTest::newRow("four decimals") << qint64(123456) << 1 << u"￥12.3456"_s << u"12.3456"_s;
        QTest::newRow("half a fen") << qint64(123450) << 1 << u"￥12.3450"_s << u"12.345"_s;
        QTest::newRow("below a thousand") << qint64(9999900) << 1 << u"￥999.99"_s << u"999.99"_s;
        QTest::newRow("a thousand") << qint64(10000000) << 1 << u"￥1,000.00"_s << u"1000.00"_s;
        QTest::newRow("nine digits") << qint64(5059378121200) << 1 << u"￥505,937,812.12"_s << u"505937812.12"_s;
        QTest::newRow("negative nine digits")
            << qint64(-299987650000) << 1 << u"￥-29,998,765.00"_s << u"-29998765.00"_s;
        QTest::newRow("largest amount") << largest << 1 << u"￥922,337,203,685,477.5807"_s << u"922337203685477.5807"_s;
        QTest::newRow("smallest amount") << smallest << 1 << u"￥-922,337,203,685,477.5808"_s
                                         << u"-922337203685477.5808"_s;
        QTest::newRow("beyond 64 bits") << largest << 2 << u"￥1,844,674,407,370,955.1614"_s
                                        << u"1844674407370955.1614"_s;
        QTest::newRow("beyond 64 bits, negative")
            << smallest << 3 << u"￥-2,767,011,611,056,432.7424"_s << u"-2767011611056432.7424"_s;
    }
    void moneyTexts()
    {
        QFETCH(qint64, ticks);
        QFETCH(int, times);
        QFETCH(QString, shown);
        QFETCH(QString, exported);
        const Sum sum = Sum(ticks) * times;
        QCOMPARE(ReportText::money(sum), shown);
        QCOMPARE(ReportText::exact(sum), exported);
        if (times == 1)
            QCOMPARE(ReportText::amount(ticks), ticks == 0 ? QString() : shown);
        // The plain value for sorting is the number while it fits, the exact text beyond.
        const QVariant plain = ReportText::plain(sum);
        QCOMPARE(plain.typeId() == QMetaType::LongLong ? QString::number(plain.toLongLong()) + u"/10000"_s
                                                       : plain.toString(),
                 times == 1 ? QString::number(ticks) + u"/10000"_s : exported);
    }

    // Sums beyond the 64-bit range of one amount are shown exactly in both windows, and no box refuses them.
    void sumsBeyondSixtyFourBitsAreShownExactly()
    {
        const qint64 largest = std::numeric_limits<qint64>::max();
        addKnown({{u"收礼"_s, u"钱多"_s, u"2023-01-01 00:00:00"_s, {}, {}, largest, {}},
                  {u"收礼"_s, u"钱多"_s, u"2023-01-02 00:00:00"_s, {}, {}, largest, {}},
                  {u"送礼"_s, u"钱多"_s, u"2023-01-03 00:00:00"_s, {}, {}, -1, {}}});
        QVERIFY(whileOpen(
            u"people"_s, [&] { (new PeopleWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) {
                QAbstractItemModel& m = *findControl<QTableView>(&w, u"往来汇总表"_s)->model();
                QCOMPARE(row(m, 0),
                         (QStringList{u"钱多"_s, QString(), u"2"_s, u"￥1,844,674,407,370,955.1614"_s, u"1"_s,
                                      u"￥-0.0001"_s, u"￥1,844,674,407,370,955.1615"_s, u"2023年1月3日"_s}));
                QCOMPARE(labelText(w, u"合计标签"_s),
                         u"合计：6 人　收礼 9 次，￥1,844,674,407,371,256.4618　送礼 4 次，￥360.5004　"
                         u"差额 ￥1,844,674,407,370,895.9614"_s);
            }));
        QVERIFY(whileOpen(
            u"person"_s, [&] { (new PersonWindow(*m_host, u"钱多"_s))->openModal(); },
            [&](ReportWindow& w) {
                QAbstractItemModel& m = *findControl<QTableView>(&w, u"往来明细表"_s)->model();
                QCOMPARE(m.data(m.index(1, 7)).toString(), u"￥1,844,674,407,370,955.1614"_s);
                QCOMPARE(m.data(m.index(1, 7), TableExport::ExportRole).toString(), u"1844674407370955.1614"_s);
                QCOMPARE((QStringList{labelText(w, u"收礼合计标签"_s), labelText(w, u"送礼合计标签"_s),
                                      labelText(w, u"差额标签"_s)}),
                         (QStringList{u"收礼 2 次，合计 ￥1,844,674,407,370,955.1614"_s, u"送礼 1 次，合计 ￥-0.0001"_s,
                                      u"差额 ￥1,844,674,407,370,955.1615（对方送得多，尚欠人情）"_s}));
            }));
        QCOMPARE(m_boxes->count(), 0);
    }

    void modalOverTheOtherWindowsAndEscCloses()
    {
        QWidget other;
        other.show();
        bool closedByEsc = false;
        QVERIFY(whileOpen(
            u"people"_s, [&] { (new PeopleWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) {
                QVERIFY(!other.isEnabled());
                QCOMPARE(w.windowModality(), Qt::ApplicationModal);
                QVERIFY(QTest::qWaitForWindowActive(&w));
                QPointer<ReportWindow> guard(&w);
                QTest::keyClick(findControl<QLineEdit>(&w, u"姓名筛选框"_s), Qt::Key_Escape);
                QTRY_VERIFY(!guard);
                closedByEsc = true;
            }));
        QVERIFY(closedByEsc);
        QVERIFY(other.isEnabled());
    }
};

/// The ledger grid's context menu and the main window's shortcuts.
class TestPeopleCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempFolder> m_folder;
    std::unique_ptr<BoxRecorder> m_boxes;
    std::unique_ptr<EndRecorder> m_end;
    QPointer<MainWindow> m_main;

    MainWindow& openMain()
    {
        auto* window = new MainWindow;
        m_main = window;
        window->setStartupStep([window] {
            DatabaseObjects db = window->database();
            return db.connection.connect(LedgerFile::name(), LedgerFile::password())
                && db.recordSet.bind(&db.connection);
        });
        window->openModeless();
        return *window;
    }

    static int gridRowOf(LedgerGrid& grid, const QString& name)
    {
        for (int r = LedgerGrid::FixedRows; r < grid.rowCount(); ++r) {
            if (grid.cellText(r, 3) == name)
                return r;
        }
        return -1;
    }

    static QMenu* openMenu()
    {
        (void)QTest::qWaitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }, 2000);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<TempFolder>();
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        {
            auto engine = EngineConnection::open(LedgerFile::name(), LedgerFile::password());
            QVERIFY(engine && addRecords(*engine, knownRecords()));
        }
        m_boxes = std::make_unique<BoxRecorder>();
        m_end = std::make_unique<EndRecorder>();
    }
    void cleanup()
    {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        delete m_main.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_end.reset();
        m_boxes.reset();
        m_folder.reset();
    }

    void menuListsTheCommandsWithTheirShortcuts()
    {
        MainWindow& w = openMain();
        std::unique_ptr<QMenu> menu(gridContextMenu(w));
        QStringList entries;
        for (QAction* action : menu->actions())
            entries << action->objectName() + u' ' + action->text() + u' '
                    + action->shortcut().toString(QKeySequence::PortableText);
        QVERIFY(entries.contains(u"查看此人往来命令 查看此人往来 Ctrl+D"_s));
        QVERIFY(entries.contains(u"往来汇总命令 往来汇总 Ctrl+H"_s));
    }

    void rightClickMenuKeyAndShiftF10OpenTheMenu_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("right click") << 0;
        QTest::newRow("Menu key") << 1;
        QTest::newRow("Shift+F10") << 2;
    }
    void rightClickMenuKeyAndShiftF10OpenTheMenu()
    {
        QFETCH(int, way);
        MainWindow& w = openMain();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        LedgerGrid& grid = w.grid();
        grid.setFocus();
        const QPoint inside(grid.viewport()->width() / 2, 60);
        if (way == 0) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, inside, grid.viewport()->mapToGlobal(inside));
            QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, inside);
            if (QApplication::activePopupWidget() == nullptr)
                QApplication::sendEvent(grid.viewport(), &event);
        } else if (way == 1) {
            // The window system turns the Menu key into a context-menu event of the keyboard.
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(0, 0), grid.mapToGlobal(QPoint(0, 0)));
            QApplication::sendEvent(&grid, &event);
        } else {
            QTest::keyClick(&grid, Qt::Key_F10, Qt::ShiftModifier);
        }
        QMenu* menu = openMenu();
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->objectName(), u"表格菜单"_s);
        QStringList captions;
        for (QAction* action : menu->actions())
            captions << action->text();
        QVERIFY(captions.contains(u"查看此人往来"_s));
        QVERIFY(captions.contains(u"往来汇总"_s));
        // Choosing an entry opens its window.
        QAction* people = menu->findChild<QAction*>(u"往来汇总命令"_s);
        if (people == nullptr) {
            for (QAction* action : menu->actions()) {
                if (action->objectName() == u"往来汇总命令"_s)
                    people = action;
            }
        }
        QVERIFY(people != nullptr);
        QVERIFY(whileOpen(u"people"_s, [&] {
            menu->close();
            people->trigger();
        }));
    }

    void shortcutsOpenTheWindowsFromTheMainWindow()
    {
        MainWindow& w = openMain();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        LedgerGrid& grid = w.grid();

        QVERIFY(whileOpen(
            u"people"_s, [&] { QTest::keyClick(&grid, Qt::Key_H, Qt::ControlModifier); },
            [&](ReportWindow& p) { QCOMPARE(p.windowTitle(), u"往来汇总"_s); }));

        // Without a current row, 查看此人往来 asks for one.
        QVERIFY(!whileOpen(u"person"_s, [&] { QTest::keyClick(&grid, Qt::Key_D, Qt::ControlModifier); }));
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_boxes->last().text, u"请选择要查看往来的账目。"_s);
        QCOMPARE(m_boxes->last().title, u"系统提示"_s);
        QCOMPARE(m_boxes->last().buttons, MessageBox::OkOnly);
        QCOMPARE(m_boxes->last().icon, MessageBox::Warning);
        QCOMPARE(m_boxes->last().defaultButton, MessageBox::Ok);

        // With one, the records of that row's person, however the name is written there.
        const int row = gridRowOf(grid, u" 张三　"_s);
        QVERIFY(row >= LedgerGrid::FixedRows);
        grid.setCurrentCell(row, 5);
        int shown = 0;
        QVERIFY(whileOpen(
            u"person"_s, [&] { QTest::keyClick(&grid, Qt::Key_D, Qt::ControlModifier); },
            [&](ReportWindow& p) {
                QCOMPARE(p.windowTitle(), u"往来明细 - 张三"_s);
                shown = findControl<QTableView>(&p, u"往来明细表"_s)->model()->rowCount();
                QVERIFY(!w.isEnabled());
            }));
        QCOMPARE(shown, 3);
        QVERIFY(w.isEnabled());
        QCOMPARE(m_boxes->count(), 1);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int status = 0;
    {
        TestPeopleWindows t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        TestPeopleCommands t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "test_people_windows.moc"
