// The statistics window (人情统计) over a ledger of known contents: per year, occasion and relation, all years
// or one, counts beside amounts, a 合计 row, the bar charts, saving a chart as PNG and a table as CSV, sums
// beyond the range, and Ctrl+T from the main window.

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/common/FileChooser.h"
#include "windows/ledger/GridCommands.h"
#include "windows/ledger/MainWindow.h"
#include "windows/reports/StatisticsPage.h"
#include "windows/reports/StatisticsWindow.h"

#include "DrawnText.h"
#include "GuiSupport.h"
#include "KnownLedger.h"
#include "ReportSteps.h"
#include "TempFolder.h"
#include "TestHost.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QValueAxis>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

/// Records' 类型 and 关系, either empty for a known one.
using KindsAndRelations = QList<std::pair<QString, QString>>;

QList<QStringList> rows(const QAbstractItemModel& model)
{
    QList<QStringList> result;
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList texts;
        for (int c = 0; c < model.columnCount(); ++c)
            texts << model.data(model.index(r, c)).toString();
        result << texts;
    }
    return result;
}

QBarSeries* barsOf(QChart& chart)
{
    return chart.series().isEmpty() ? nullptr : qobject_cast<QBarSeries*>(chart.series().first());
}

} // namespace

class TestStatisticsWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempFolder> m_folder;
    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<BoxRecorder> m_boxes;

    void withWindow(const std::function<void(StatisticsWindow&)>& script)
    {
        QVERIFY(whileOpen(
            u"statistics"_s, [&] { (new StatisticsWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) { script(static_cast<StatisticsWindow&>(w)); }));
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<TempFolder>();
        m_host = std::make_unique<TestHost>();
        QVERIFY(m_host->createAndConnect());
        QVERIFY(addRecords(*m_host->connection.engine(), knownRecords()));
        m_boxes = std::make_unique<BoxRecorder>();
    }
    void cleanup()
    {
        FileChooser::stopRecording();
        m_boxes.reset();
        m_host.reset();
        m_folder.reset();
    }

    void perYear()
    {
        withWindow([&](StatisticsWindow& w) {
            QCOMPARE(w.windowTitle(), u"人情统计"_s);
            auto* tabs = findControl<QTabWidget>(&w, u"统计分页"_s);
            QCOMPARE(tabs->count(), 3);
            QCOMPARE(tabs->tabText(0), u"按年份(&1)"_s);
            QCOMPARE(tabs->tabText(1), u"按类型(&2)"_s);
            QCOMPARE(tabs->tabText(2), u"按关系(&3)"_s);
            QAbstractItemModel& m = *findControl<QTableView>(&w, u"年份表"_s)->model();
            QStringList headers;
            for (int c = 0; c < m.columnCount(); ++c)
                headers << m.headerData(c, Qt::Horizontal).toString();
            QCOMPARE(headers,
                     (QStringList{u"年份"_s, u"收礼次数"_s, u"收礼金额"_s, u"送礼次数"_s, u"送礼金额"_s, u"差额"_s}));
            const QList<QStringList> expected = {
                {u"2019"_s, u"1"_s, u"￥200.00"_s, u"0"_s, u"￥0.00"_s, u"￥200.00"_s},
                {u"2020"_s, u"4"_s, u"￥101.3001"_s, u"0"_s, u"￥0.00"_s, u"￥101.3001"_s},
                {u"2021"_s, u"1"_s, u"￥0.0003"_s, u"1"_s, u"￥50.50"_s, u"￥-50.4997"_s},
                {u"2022"_s, u"0"_s, u"￥0.00"_s, u"1"_s, u"￥300.0005"_s, u"￥-300.0005"_s},
                {u"无日期"_s, u"1"_s, u"￥0.00"_s, u"1"_s, u"￥10.00"_s, u"￥-10.00"_s},
                {u"合计"_s, u"7"_s, u"￥301.3004"_s, u"3"_s, u"￥360.5005"_s, u"￥-59.2001"_s},
            };
            QCOMPARE(rows(m), expected);
            // Exact underneath as well.
            QCOMPARE(m.data(m.index(1, StatisticsPage::ReceivedSum), Qt::UserRole).toLongLong(), 1013001);
            QCOMPARE(m.data(m.index(2, StatisticsPage::Balance), Qt::UserRole).toLongLong(), -504997);
            QCOMPARE(m.data(m.index(5, StatisticsPage::GivenSum), Qt::UserRole).toLongLong(), 3605005);

            // The chart: one bar set each for received, given and the balance, one category per year.
            QChart& chart = w.page(StatisticsPage::ByYear).chart();
            QBarSeries* bars = barsOf(chart);
            QVERIFY(bars != nullptr);
            QCOMPARE(bars->count(), 3);
            QCOMPARE(bars->barSets().at(0)->label(), u"收礼"_s);
            QCOMPARE(bars->barSets().at(1)->label(), u"送礼"_s);
            QCOMPARE(bars->barSets().at(2)->label(), u"差额"_s);
            QCOMPARE(bars->barSets().at(0)->count(), 5);
            QCOMPARE(bars->barSets().at(0)->at(0), 200.0);
            QCOMPARE(bars->barSets().at(2)->at(3), -300.0005);
            auto* axis = qobject_cast<QBarCategoryAxis*>(chart.axes(Qt::Horizontal).value(0));
            QVERIFY(axis != nullptr);
            QCOMPARE(axis->categories(), (QStringList{u"2019"_s, u"2020"_s, u"2021"_s, u"2022"_s, u"无日期"_s}));
        });
        QCOMPARE(m_boxes->count(), 0);
    }

    void perKindForAllYearsAndOne()
    {
        withWindow([&](StatisticsWindow& w) {
            QAbstractItemModel& m = *findControl<QTableView>(&w, u"类型表"_s)->model();
            auto* year = findControl<QComboBox>(&w, u"类型年份组合框"_s);
            QStringList items;
            for (int i = 0; i < year->count(); ++i)
                items << year->itemText(i);
            QCOMPARE(items,
                     (QStringList{u"全部年份"_s, u"2022年"_s, u"2021年"_s, u"2020年"_s, u"2019年"_s, u"无日期"_s}));
            QCOMPARE(year->currentIndex(), 0);
            QList<QStringList> all = rows(m);
            QCOMPARE(all.size(), 7);
            // In the order of the list 类型; "Tea" and "tea " are one occasion, not in the list, after it.
            QCOMPARE(all.at(0),
                     (QStringList{u"结婚"_s, u"2"_s, u"￥300.0001"_s, u"0"_s, u"￥0.00"_s, u"￥300.0001"_s}));
            QCOMPARE(all.at(1), (QStringList{u"生日"_s, u"2"_s, u"￥0.30"_s, u"1"_s, u"￥50.50"_s, u"￥-50.20"_s}));
            QCOMPARE(all.at(2), (QStringList{u"乔迁"_s, u"1"_s, u"￥0.0003"_s, u"0"_s, u"￥0.00"_s, u"￥0.0003"_s}));
            QCOMPARE(all.at(3), (QStringList{u"探病"_s, u"1"_s, u"￥0.00"_s, u"0"_s, u"￥0.00"_s, u"￥0.00"_s}));
            QCOMPARE(all.at(4).at(0).toLower(), u"tea"_s);
            QCOMPARE(all.at(4).mid(1), (QStringList{u"0"_s, u"￥0.00"_s, u"2"_s, u"￥310.0005"_s, u"￥-310.0005"_s}));
            QCOMPARE(all.at(5), (QStringList{u"未填"_s, u"1"_s, u"￥1.00"_s, u"0"_s, u"￥0.00"_s, u"￥1.00"_s}));
            QCOMPARE(all.at(6),
                     (QStringList{u"合计"_s, u"7"_s, u"￥301.3004"_s, u"3"_s, u"￥360.5005"_s, u"￥-59.2001"_s}));

            year->setCurrentIndex(2);
            QCOMPARE(rows(m),
                     (QList<QStringList>{
                         {u"生日"_s, u"0"_s, u"￥0.00"_s, u"1"_s, u"￥50.50"_s, u"￥-50.50"_s},
                         {u"乔迁"_s, u"1"_s, u"￥0.0003"_s, u"0"_s, u"￥0.00"_s, u"￥0.0003"_s},
                         {u"合计"_s, u"1"_s, u"￥0.0003"_s, u"1"_s, u"￥50.50"_s, u"￥-50.4997"_s},
                     }));
            QChart& chart = w.page(StatisticsPage::ByOccasion).chart();
            QCOMPARE(chart.title(), u"按类型：2021年"_s);
            QCOMPARE(barsOf(chart)->barSets().at(0)->count(), 2);

            // The records without a date are a choice of their own.
            year->setCurrentIndex(year->findText(u"无日期"_s));
            QList<QStringList> undated = rows(m);
            QCOMPARE(undated.size(), 3);
            QCOMPARE(undated.at(0), (QStringList{u"探病"_s, u"1"_s, u"￥0.00"_s, u"0"_s, u"￥0.00"_s, u"￥0.00"_s}));
            QCOMPARE(undated.at(1).at(0).toLower(), u"tea"_s);
            QCOMPARE(undated.at(1).mid(1), (QStringList{u"0"_s, u"￥0.00"_s, u"1"_s, u"￥10.00"_s, u"￥-10.00"_s}));
            QCOMPARE(undated.at(2), (QStringList{u"合计"_s, u"1"_s, u"￥0.00"_s, u"1"_s, u"￥10.00"_s, u"￥-10.00"_s}));
            QCOMPARE(w.page(StatisticsPage::ByOccasion).chart().title(), u"按类型：无日期"_s);
        });
    }

    // Occasions and relations in the order of their lists (the tables 类型 and 关系 in ID order, as the entry window
    // offers them, spelt with other blanks or ASCII case too), the values not in the lists after them in code-point
    // order, 未填 last.
    void kindsAndRelationsInTheOrderOfTheirLists_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<KindsAndRelations>("records");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("类型") << u"类型表"_s << QStringList{}
                              << KindsAndRelations{{u"满月"_s, {}}, {u"Apple"_s, {}}, {u"升职 "_s, {}}}
                              << QStringList{u"结婚"_s,  u"生日"_s, u"升职"_s, u"乔迁"_s, u"探病"_s,
                                             u"Apple"_s, u"Tea"_s,  u"满月"_s, u"未填"_s, u"合计"_s};
        QTest::newRow("类型, an entry added to the list")
            << u"类型表"_s << QStringList{u"满月"_s} << KindsAndRelations{{u"满月"_s, {}}, {u"Apple"_s, {}}}
            << QStringList{u"结婚"_s,  u"生日"_s, u"乔迁"_s, u"探病"_s, u"满月"_s,
                           u"Apple"_s, u"Tea"_s,  u"未填"_s, u"合计"_s};
        QTest::newRow("关系") << u"关系表"_s << QStringList{}
                              << KindsAndRelations{{{}, u"老乡"_s}, {{}, u"Boss"_s}, {{}, u"其他"_s}, {{}, u"boss"_s}}
                              << QStringList{u"亲戚"_s, u"朋友"_s, u"同学"_s, u"同事"_s, u"其他"_s,
                                             u"Boss"_s, u"老乡"_s, u"邻居"_s, u"未填"_s, u"合计"_s};
    }
    void kindsAndRelationsInTheOrderOfTheirLists()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, added);
        QFETCH(KindsAndRelations, records);
        QFETCH(QStringList, keys);
        EngineConnection& engine = *m_host->connection.engine();
        for (const QString& entry : added) {
            const auto insert = engine.prepareNative(u"INSERT INTO 类型(类型) VALUES(?)"_s);
            QVERIFY(insert);
            const QByteArray text = entry.toUtf8();
            sqlite3_bind_text(insert.get(), 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            QCOMPARE(sqlite3_step(insert.get()), SQLITE_DONE);
        }
        QList<KnownRecord> extra;
        for (const auto& [kind, relation] : records)
            extra.append({u"收礼"_s,
                          u"某人"_s,
                          u"2023-01-01 00:00:00"_s,
                          relation.isEmpty() ? u"同事"_s : relation,
                          kind.isEmpty() ? u"结婚"_s : kind,
                          10000,
                          {}});
        QVERIFY(addRecords(engine, extra));
        withWindow([&](StatisticsWindow& w) {
            QStringList shown;
            for (const QStringList& r : rows(*findControl<QTableView>(&w, table)->model()))
                shown << r.at(0);
            QCOMPARE(shown, keys);
        });
    }

    // With nothing to draw, each page shows an empty state instead of a chart with axes over an invalid range,
    // and nothing is warned.
    void nothingToDrawShowsAnEmptyState_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<bool>("empty");
        QTest::newRow("empty ledger") << QByteArray("DELETE FROM 收送礼") << true;
        QTest::newRow("only other directions") << QByteArray("UPDATE 收送礼 SET 收送='其他'") << false;
        QTest::newRow("every amount zero") << QByteArray("UPDATE 收送礼 SET 金额=0") << false;
    }
    void nothingToDrawShowsAnEmptyState()
    {
        QFETCH(QByteArray, change);
        QFETCH(bool, empty);
        QVERIFY(m_host->connection.engine()->executeNative(change.constData()));
        QTest::failOnWarning(QRegularExpression(u"invalid range|NaN|nan"_s));
        withWindow([&](StatisticsWindow& w) {
            for (int g = StatisticsPage::ByYear; g <= StatisticsPage::ByRelation; ++g) {
                const QString prefix = StatisticsPage::prefix(StatisticsPage::Grouping(g));
                auto* label = findControl<QLabel>(&w, prefix + u"无数据标签"_s);
                auto* chart = findControl<QWidget>(&w, prefix + u"图表"_s);
                w.findChild<QTabWidget*>()->setCurrentIndex(g);
                QCoreApplication::processEvents();
                QCOMPARE(label->text(), u"没有数据"_s);
                QCOMPARE(label->isVisible(), empty);
                QCOMPARE(chart->isVisible(), !empty);
                QChart& c = w.page(g).chart();
                if (empty)
                    QVERIFY(c.axes().isEmpty());
                for (QAbstractAxis* axis : c.axes(Qt::Vertical)) {
                    auto* value = qobject_cast<QValueAxis*>(axis);
                    QVERIFY(value != nullptr);
                    QVERIFY(std::isfinite(value->min()) && std::isfinite(value->max()));
                    QVERIFY(value->min() < value->max());
                }
                w.grab();
            }
        });
        QCOMPARE(m_boxes->count(), 0);
    }

    void perRelation()
    {
        withWindow([&](StatisticsWindow& w) {
            const QList<QStringList> all = rows(*findControl<QTableView>(&w, u"关系表"_s)->model());
            QCOMPARE(all.size(), 7);
            QVERIFY(
                all.contains(QStringList{u"同事"_s, u"2"_s, u"￥200.00"_s, u"1"_s, u"￥300.0005"_s, u"￥-100.0005"_s}));
            QVERIFY(
                all.contains(QStringList{u"朋友"_s, u"3"_s, u"￥100.3001"_s, u"0"_s, u"￥0.00"_s, u"￥100.3001"_s}));
            QVERIFY(all.contains(QStringList{u"邻居"_s, u"0"_s, u"￥0.00"_s, u"1"_s, u"￥10.00"_s, u"￥-10.00"_s}));
            QCOMPARE(all.at(5), (QStringList{u"未填"_s, u"1"_s, u"￥1.00"_s, u"0"_s, u"￥0.00"_s, u"￥1.00"_s}));
            QCOMPARE(all.last(),
                     (QStringList{u"合计"_s, u"7"_s, u"￥301.3004"_s, u"3"_s, u"￥360.5005"_s, u"￥-59.2001"_s}));
            auto* year = findControl<QComboBox>(&w, u"关系年份组合框"_s);
            year->setCurrentIndex(year->findText(u"2019年"_s));
            QCOMPARE(rows(*findControl<QTableView>(&w, u"关系表"_s)->model()),
                     (QList<QStringList>{
                         {u"同事"_s, u"1"_s, u"￥200.00"_s, u"0"_s, u"￥0.00"_s, u"￥200.00"_s},
                         {u"合计"_s, u"1"_s, u"￥200.00"_s, u"0"_s, u"￥0.00"_s, u"￥200.00"_s},
                     }));
        });
    }

    // However many years the ledger spans, the year chart draws its year labels whole and every one of them.
    void yearLabelsStayReadable_data()
    {
        QTest::addColumn<int>("years");
        QTest::addColumn<qint64>("ticks"); ///< each year's gift: the wider the sums, the wider the value axis
        QTest::newRow("12 years") << 12 << qint64(1000000);
        QTest::newRow("27 years") << 27 << qint64(1000000);
        QTest::newRow("50 years, large sums") << 50 << qint64(123456780000);
    }
    void yearLabelsStayReadable()
    {
        QFETCH(int, years);
        QFETCH(qint64, ticks);
        QList<KnownRecord> gifts;
        for (int y = 0; y < years; ++y)
            gifts.append({u"收礼"_s, u"张三"_s, u"%1-05-01 00:00:00"_s.arg(1975 + y), {}, {}, ticks + y, {}});
        QVERIFY(addRecords(*m_host->connection.engine(), gifts));
        withWindow([&](StatisticsWindow& w) {
            QVERIFY(QTest::qWaitForWindowActive(&w));
            auto* axis
                = qobject_cast<QBarCategoryAxis*>(w.page(StatisticsPage::ByYear).chart().axes(Qt::Horizontal).value(0));
            QVERIFY(axis != nullptr);
            const QStringList categories = axis->categories();
            QCOMPARE(categories.first(), u"1975"_s);
            QCOMPARE(categories.last(), u"无日期"_s);
            auto* view = findControl<QWidget>(&w, u"年份图表"_s);
            QCoreApplication::processEvents();
            DrawnTextDevice device(view->size());
            view->render(&device);
            QList<int> labelled;
            for (const DrawnText& drawn : device.texts()) {
                // The charts shorten a label that does not fit with three dots.
                QVERIFY2(!drawn.elided() && !drawn.text.contains(u"..."_s), qPrintable(drawn.text));
                const int index = int(categories.indexOf(drawn.text.trimmed()));
                if (index < 0)
                    continue;
                QVERIFY2(drawn.rect.left() >= 0 && drawn.rect.right() <= view->width(), qPrintable(drawn.text));
                labelled << index;
            }
            std::sort(labelled.begin(), labelled.end());
            // Every year labelled, each once.
            QList<int> every;
            for (int i = 0; i < categories.size(); ++i)
                every << i;
            QCOMPARE(labelled, every);
        });
    }

    void chartSavedAsPngAndTableAsCsv()
    {
        const QString png = m_folder->file(u"图表.png"_s);
        const QString csv = m_folder->file(u"年份.csv"_s);
        FileChooser::startRecording();
        FileChooser::setNextAnswer(png);
        FileChooser::setNextAnswer(csv);
        withWindow([&](StatisticsWindow& w) {
            findControl<QPushButton>(&w, u"年份保存图表按钮"_s)->click();
            findControl<QPushButton>(&w, u"年份保存CSV按钮"_s)->click();
        });
        QStringList suggested;
        for (const FileChooser::Request& request : FileChooser::requests())
            suggested << request.suggested;
        QCOMPARE(suggested, (QStringList{u"人情统计-年份.png"_s, u"人情统计-年份.csv"_s}));
        QImage image;
        QVERIFY(image.load(png, "PNG"));
        QVERIFY(image.width() > 100 && image.height() > 100);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll().mid(3)),
                 u"年份,收礼次数,收礼金额,送礼次数,送礼金额,差额\r\n"
                 u"2019,1,200.00,0,0.00,200.00\r\n"
                 u"2020,4,101.3001,0,0.00,101.3001\r\n"
                 u"2021,1,0.0003,1,50.50,-50.4997\r\n"
                 u"2022,0,0.00,1,300.0005,-300.0005\r\n"
                 u"无日期,1,0.00,1,10.00,-10.00\r\n"
                 u"合计,7,301.3004,3,360.5005,-59.2001\r\n"_s);
        QCOMPARE(m_boxes->count(), 0);
    }

    void sumsBeyondSixtyFourBitsAreShownExactly()
    {
        const qint64 largest = std::numeric_limits<qint64>::max();
        // Each year fits in 64 bits; all years together do not.
        QVERIFY(addRecords(*m_host->connection.engine(),
                           {{u"收礼"_s, u"钱多"_s, u"2023-01-01 00:00:00"_s, {}, {}, largest, {}},
                            {u"收礼"_s, u"钱多"_s, u"2024-01-02 00:00:00"_s, {}, {}, largest, {}}}));
        withWindow([&](StatisticsWindow& w) {
            for (const QString& table : {u"年份表"_s, u"类型表"_s, u"关系表"_s}) {
                const QList<QStringList> all = rows(*findControl<QTableView>(&w, table)->model());
                QCOMPARE(all.last(),
                         (QStringList{u"合计"_s, u"9"_s, u"￥1,844,674,407,371,256.4618"_s, u"3"_s, u"￥360.5005"_s,
                                      u"￥1,844,674,407,370,895.9613"_s}));
            }
        });
        QCOMPARE(m_boxes->count(), 0);
    }

    void ctrlTOpensItFromTheMainWindow()
    {
        EndRecorder end;
        auto* main = new MainWindow;
        QPointer<MainWindow> guard(main);
        main->setStartupStep([main] {
            DatabaseObjects db = main->database();
            return db.connection.connect(LedgerFile::name(), LedgerFile::password())
                && db.recordSet.bind(&db.connection);
        });
        main->openModeless();
        QVERIFY(QTest::qWaitForWindowActive(main));
        std::unique_ptr<QMenu> menu(gridContextMenu(*main));
        QStringList entries;
        for (QAction* action : menu->actions())
            entries << action->text() + u' ' + action->shortcut().toString(QKeySequence::PortableText);
        QVERIFY(entries.contains(u"人情统计 Ctrl+T"_s));
        QVERIFY(whileOpen(u"statistics"_s, [&] { QTest::keyClick(&main->grid(), Qt::Key_T, Qt::ControlModifier); }));
        menu.reset();
        delete guard.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestStatisticsWindow)
#include "test_statistics_window.moc"
