// The search window over a real ledger file: its defaults, the date check and the result in the main grid.

#include "GuiSupport.h"
#include "LedgerFixture.h"
#include "ModalSteps.h"
#include "ui/base/EditBox.h"
#include "windows/ledger/SearchWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

const QDateTime Now(QDate(2011, 6, 2), QTime(15, 30));

QDateTimeEdit* picker(LedgerWindow* w, const QString& name)
{
    return findControl<QDateTimeEdit>(w, name);
}

/// Sets what the search reads; an invalid date leaves that picker as it is.
void setRange(LedgerWindow* w, bool on, const QDateTime& start = {}, const QDateTime& end = {})
{
    findControl<QCheckBox>(w, u"选择框1"_s)->setChecked(on);
    if (start.isValid())
        picker(w, u"起始日期框"_s)->setDateTime(start);
    if (end.isValid())
        picker(w, u"截止日期框"_s)->setDateTime(end);
}

void clickSearch(LedgerWindow* w)
{
    findControl<QPushButton>(w, u"查询按钮"_s)->click();
}

} // namespace

class TestSearchWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void opening();
    void monthBackIsClamped_data();
    void monthBackIsClamped();
    void defaultsShowTheWholeLedgerAndClose();
    void dateRangeIncludesBothEndDays();
    void equalStartAndEndPass();
    void startAfterEndIsRefusedEvenWithTheRangeOff();
    void direction_data();
    void direction();
    void name_data();
    void name();
    void nothingFoundLeavesTheFixedRowsAndCloses();
    void failedOpenKeepsTheWindowOpen();

private:
    /// Opens the window, runs the steps on it and returns the names in the grid, top to bottom.
    QStringList search(QList<ModalSteps::Step> steps);
    QStringList gridNames();

    std::unique_ptr<LedgerFixture> m_fixture;
    TestHost* m_host = nullptr;
    BoxRecorder* m_boxes = nullptr;
};

void TestSearchWindow::init()
{
    m_fixture = std::make_unique<LedgerFixture>(LedgerFixture::Options().pinnedAt(Now));
    QVERIFY(m_fixture->isValid());
    m_host = &m_fixture->host();
    m_boxes = &m_fixture->boxes();
    const QStringList rows{
        u"'收礼','张三','2011-5-2','朋友','结婚','66.6','首日'"_s,
        u"'送礼','李四','2011-6-2','同学','生日','200','末日'"_s,
        u"'收礼','王五','2011-5-1','同事','升职','100',''"_s,
        u"'送礼','张小三','2011-6-3','亲戚','乔迁','0',''"_s,
        u"'收礼','O''Brien','2011-5-20','其他','探病','50',''"_s,
    };
    for (const QString& values : rows)
        QVERIFY(m_host->connection.execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values("_s + values
                                           + u")"_s));
    m_host->ledgerRefill();
    m_host->refills = 0;
}

void TestSearchWindow::cleanup()
{
    m_fixture.reset();
}

QStringList TestSearchWindow::search(QList<ModalSteps::Step> steps)
{
    const int count = int(steps.size());
    ModalSteps driver(u"search"_s, std::move(steps));
    driver.run([this] { (new SearchWindow(*m_host))->openModal(); });
    if (driver.leftOpen != 0 || driver.stepsRun != count)
        QTest::qFail("the search window closed too early or stayed open", __FILE__, __LINE__);
    return gridNames();
}

QStringList TestSearchWindow::gridNames()
{
    QStringList names;
    for (int row = LedgerGrid::FixedRows; row < m_host->grid().rowCount(); ++row)
        names << m_host->grid().cellText(row, 3);
    return names;
}

void TestSearchWindow::opening()
{
    ModalSteps driver(u"search"_s, {[](LedgerWindow* w) {
                          QDateTimeEdit* start = picker(w, u"起始日期框"_s);
                          QDateTimeEdit* end = picker(w, u"截止日期框"_s);
                          QCOMPARE(start->dateTime(), QDateTime(QDate(2011, 5, 2), QTime(15, 30)));
                          QCOMPARE(end->dateTime(), Now);
                          QVERIFY(!start->isEnabled());
                          QVERIFY(!end->isEnabled());
                          auto* range = findControl<QCheckBox>(w, u"选择框1"_s);
                          QVERIFY(!range->isChecked());
                          QComboBox* directions = findControl<QComboBox>(w, u"收送组合框"_s);
                          QStringList items;
                          for (int i = 0; i < directions->count(); ++i)
                              items << directions->itemText(i);
                          QCOMPARE(items, (QStringList{u"全部"_s, u"收礼"_s, u"送礼"_s}));
                          QCOMPARE(directions->currentIndex(), 0);

                          range->click();
                          QVERIFY(start->isEnabled());
                          QVERIFY(end->isEnabled());
                          range->click();
                          QVERIFY(!start->isEnabled());
                          QVERIFY(!end->isEnabled());
                          findControl<QPushButton>(w, u"返回按钮"_s)->click();
                      }});
    driver.run([this] { (new SearchWindow(*m_host))->openModal(); });
    QCOMPARE(driver.leftOpen, 0);
    // Return leaves the ledger as it was.
    QCOMPARE(gridNames(), (QStringList{u"张小三"_s, u"李四"_s, u"O'Brien"_s, u"张三"_s, u"王五"_s}));
    QCOMPARE(m_boxes->count(), 0);
}

void TestSearchWindow::monthBackIsClamped_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("start");
    QTest::newRow("31 March, common year")
        << QDateTime(QDate(2011, 3, 31), QTime(9, 5)) << QDateTime(QDate(2011, 2, 28), QTime(9, 5));
    QTest::newRow("31 March, leap year") << QDateTime(QDate(2012, 3, 31), QTime(9, 5))
                                         << QDateTime(QDate(2012, 2, 29), QTime(9, 5));
    QTest::newRow("31 May") << QDateTime(QDate(2011, 5, 31), QTime(23, 59))
                            << QDateTime(QDate(2011, 4, 30), QTime(23, 59));
    QTest::newRow("across the year") << QDateTime(QDate(2011, 1, 15), QTime(0, 0))
                                     << QDateTime(QDate(2010, 12, 15), QTime(0, 0));
}

void TestSearchWindow::monthBackIsClamped()
{
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, start);
    Program::setNow(now);
    search({[&start, &now](LedgerWindow* w) {
        QCOMPARE(picker(w, u"起始日期框"_s)->dateTime(), start);
        QCOMPARE(picker(w, u"截止日期框"_s)->dateTime(), now);
        findControl<QPushButton>(w, u"返回按钮"_s)->click();
    }});
}

void TestSearchWindow::defaultsShowTheWholeLedgerAndClose()
{
    m_host->grid().prepare();
    const QStringList names = search({[](LedgerWindow* w) { clickSearch(w); }});
    QCOMPARE(names, (QStringList{u"张小三"_s, u"李四"_s, u"O'Brien"_s, u"张三"_s, u"王五"_s}));
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(m_host->refills, 0);
    // The rows carry the ledger's formats: running number, date text, two decimals, empty zero.
    LedgerGrid& grid = m_host->grid();
    QCOMPARE(grid.cellText(2, 1), u"1"_s);
    QCOMPARE(grid.cellText(2, 7), QString());
    QCOMPARE(grid.cellText(5, 0), u"1"_s);
    QCOMPARE(grid.cellText(5, 1), u"4"_s);
    QCOMPARE(grid.cellText(5, 2), u"收礼"_s);
    QCOMPARE(grid.cellText(5, 4), u"2011年5月2日"_s);
    QCOMPARE(grid.cellText(5, 5), u"朋友"_s);
    QCOMPARE(grid.cellText(5, 6), u"结婚"_s);
    QCOMPARE(grid.cellText(5, 7), u"66.60"_s);
    QCOMPARE(grid.cellText(5, 8), u"首日"_s);
}

void TestSearchWindow::dateRangeIncludesBothEndDays()
{
    // Start in the afternoon, end in the morning: only the dates count.
    const QStringList names = search({[](LedgerWindow* w) {
        setRange(w, true, QDateTime(QDate(2011, 5, 2), QTime(15, 30)), QDateTime(QDate(2011, 6, 2), QTime(8, 0)));
        clickSearch(w);
    }});
    QCOMPARE(names, (QStringList{u"李四"_s, u"O'Brien"_s, u"张三"_s}));
}

void TestSearchWindow::equalStartAndEndPass()
{
    const QDateTime day(QDate(2011, 5, 2), QTime(12, 0));
    const QStringList names = search({[&day](LedgerWindow* w) {
        setRange(w, true, day, day);
        clickSearch(w);
    }});
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(names, QStringList{u"张三"_s});
}

void TestSearchWindow::startAfterEndIsRefusedEvenWithTheRangeOff()
{
    const QStringList ledger = gridNames();
    ModalSteps driver(u"search"_s, {[](LedgerWindow* w) {
                          setRange(w, true, QDateTime(QDate(2011, 6, 3), QTime(0, 0)),
                                   QDateTime(QDate(2011, 6, 2), QTime(23, 0)));
                          clickSearch(w);
                          QCOMPARE(w->focusWidget(), picker(w, u"起始日期框"_s));
                          QVERIFY(!w->closeRequested());
                          setRange(w, false);
                          clickSearch(w);
                          QVERIFY(!w->closeRequested());
                          findControl<QPushButton>(w, u"返回按钮"_s)->click();
                      }});
    driver.run([this] { (new SearchWindow(*m_host))->openModal(); });
    QCOMPARE(driver.leftOpen, 0);
    QCOMPARE(m_boxes->texts(), (QStringList{u"起始日期应小于截止日期。"_s, u"起始日期应小于截止日期。"_s}));
    for (const MessageBox::Record& r : m_boxes->shown()) {
        QCOMPARE(r.title, u"系统提示"_s);
        QCOMPARE(r.buttons, MessageBox::OkOnly);
        QCOMPARE(r.icon, MessageBox::Information);
    }
    // The grid was not touched.
    QCOMPARE(gridNames(), ledger);
}

void TestSearchWindow::direction_data()
{
    QTest::addColumn<bool>("rangeOn");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("range on, 收礼") << true << 1 << QStringList{u"O'Brien"_s, u"张三"_s};
    QTest::newRow("range on, 送礼") << true << 2 << QStringList{u"李四"_s};
    QTest::newRow("range off, 送礼") << false << 2 << QStringList{u"张小三"_s, u"李四"_s};
}

void TestSearchWindow::direction()
{
    QFETCH(bool, rangeOn);
    QFETCH(int, index);
    QFETCH(QStringList, names);
    const QStringList found = search({[rangeOn, index](LedgerWindow* w) {
        setRange(w, rangeOn, QDateTime(QDate(2011, 5, 2), QTime(0, 0)), QDateTime(QDate(2011, 6, 2), QTime(0, 0)));
        findControl<QComboBox>(w, u"收送组合框"_s)->setCurrentIndex(index);
        clickSearch(w);
    }});
    QCOMPARE(found, names);
}

void TestSearchWindow::name_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("part of a name") << u"三"_s << QStringList{u"张小三"_s, u"张三"_s};
    QTest::newRow("full-width blank before, ASCII blank after") << u"　张三 "_s << QStringList{u"张三"_s};
    QTest::newRow("inner blank stays") << u"张 三"_s << QStringList{};
    QTest::newRow("% matches any run") << u"张%三"_s << QStringList{u"张小三"_s, u"张三"_s};
    QTest::newRow("_ matches one character") << u"张_三"_s << QStringList{u"张小三"_s};
    QTest::newRow("apostrophe found literally") << u"O'B"_s << QStringList{u"O'Brien"_s};
    QTest::newRow("injection finds nothing") << u"' or '1'='1"_s << QStringList{};
}

void TestSearchWindow::name()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, names);
    const QStringList found = search({[&typed](LedgerWindow* w) {
        findControl<EditBox>(w, u"姓名编辑框"_s)->setText(typed);
        clickSearch(w);
    }});
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(found, names);
}

void TestSearchWindow::nothingFoundLeavesTheFixedRowsAndCloses()
{
    ModalSteps driver(u"search"_s, {[](LedgerWindow* w) {
                          findControl<EditBox>(w, u"姓名编辑框"_s)->setText(u"无此人"_s);
                          clickSearch(w);
                      }});
    driver.run([this] { (new SearchWindow(*m_host))->openModal(); });
    QCOMPARE(driver.stepsRun, 1);
    QCOMPARE(driver.leftOpen, 0);
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(m_host->grid().rowCount(), 2);
    QCOMPARE(m_host->grid().cellText(0, 0), LedgerGrid::titleText());
    QCOMPARE(m_host->grid().cellText(1, 3), u"姓名"_s);
}

void TestSearchWindow::failedOpenKeepsTheWindowOpen()
{
    ModalSteps driver(u"search"_s, {[this](LedgerWindow* w) {
                          m_host->connection.close();
                          clickSearch(w);
                          QVERIFY(!w->closeRequested());
                          // Prepared before the statement ran: the two fixed rows only.
                          QCOMPARE(m_host->grid().rowCount(), 2);
                          findControl<QPushButton>(w, u"返回按钮"_s)->click();
                      }});
    driver.run([this] { (new SearchWindow(*m_host))->openModal(); });
    QCOMPARE(driver.leftOpen, 0);
    QVERIFY(m_boxes->count() >= 1);
    const MessageBox::Record r = m_boxes->last();
    QCOMPARE(r.text, u"打开数据表失败！"_s);
    QCOMPARE(r.title, u"错误"_s);
    QCOMPARE(r.buttons, MessageBox::OkOnly);
    QCOMPARE(r.icon, MessageBox::Stop);
    QCOMPARE(m_host->grid().rowCount(), 2);
}

QTEST_MAIN(TestSearchWindow)
#include "test_search_window.moc"
