// The record entry window over a real ledger file: adding, modifying, the checks before a save, the amount.

#include "GuiSupport.h"
#include "LedgerFixture.h"
#include "ModalSteps.h"
#include "ui/base/DatePicker.h"
#include "ui/base/EditBox.h"
#include "ui/base/SharedState.h"
#include "windows/ledger/EntryWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <ctime>
#include <limits>
#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

const QDateTime Now(QDate(2011, 6, 2), QTime(15, 30));

struct Stored
{
    bool found = false;
    QString direction, name, time, relation, kind, note;
    QDate date;
    qint64 ticks = 0;
};

/// What the user puts into the window; an empty text leaves a list without selection.
struct Input
{
    QString direction, name, relation, kind, amount, note;
    QDate date;
};

QComboBox* box(LedgerWindow* w, const QString& name)
{
    return findControl<QComboBox>(w, name);
}

void select(LedgerWindow* w, const QString& boxName, const QString& entry)
{
    QComboBox* b = box(w, boxName);
    b->setCurrentIndex(entry.isEmpty() ? -1 : b->findText(entry));
}

void fill(LedgerWindow* w, const Input& in)
{
    if (in.date.isValid())
        findControl<QDateTimeEdit>(w, u"日期框"_s)->setDateTime(QDateTime(in.date, QTime(10, 20)));
    select(w, u"收送组合框"_s, in.direction);
    select(w, u"关系组合框"_s, in.relation);
    select(w, u"类型组合框"_s, in.kind);
    findControl<EditBox>(w, u"姓名编辑框"_s)->setText(in.name);
    findControl<EditBox>(w, u"金额编辑框"_s)->setText(in.amount);
    findControl<EditBox>(w, u"说明编辑框"_s)->setText(in.note);
}

void clickSave(LedgerWindow* w)
{
    findControl<QPushButton>(w, u"添加按钮"_s)->click();
}

void clickReturn(LedgerWindow* w)
{
    findControl<QPushButton>(w, u"返回按钮"_s)->click();
}

const Input Gift{u"送礼"_s, u"张三"_s, u"同学"_s, u"生日"_s, u"66.6"_s, u"喜酒"_s, {}};

} // namespace

class TestEntryWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void addThenModifyRoundTripsEveryField();
    void successfulAddReopensEmptyAddWindowUntilReturn();
    void escEndsTheAddCycleWithoutRaisingTheLedger();
    void addCycleAlsoWhenOpenedAsAPlainLedgerWindow();
    void apostrophesStoredAndShownAsTyped();
    void injectionNoteChangesOneRecordOnly();
    void amountStoredExactly_data();
    void amountStoredExactly();
    void amountRefused_data();
    void amountRefused();
    void untouchedSaveKeepsTheAmount_data();
    void untouchedSaveKeepsTheAmount();
    void untouchedSaveKeepsTheDate_data();
    void untouchedSaveKeepsTheDate();
    void saveWritesBackWhatTheUserLeftAsStored_data();
    void saveWritesBackWhatTheUserLeftAsStored();
    void failuresOnAReadOnlyLedgerSayWhy_data();
    void failuresOnAReadOnlyLedgerSayWhy();
    void saveChecksStopAtFirstFailureInOrder();
    void relationOfBlanksOnlyIsNoRelation();
    void emptyLookupTablesStopAtDirection();
    void noAtModifyQuestionChangesNothing();
    void missingRecordReportsAndCloses();
    void storedEntryNoLongerListedIsNotSelected();
    void failedInsertIsReportedAndKeepsInput();
    void modifyOfARecordDeletedElsewhereFails();
    void amountKeyFilter();

private:
    void open(const QString& mode, const QString& id, QList<ModalSteps::Step> steps);
    void insertRecord(const QString& values);
    Stored stored(qint64 id);
    /// Every column of the record as stored, in the table's order: "NULL", the text, the amount in ten-thousandths.
    QStringList storedRow(qint64 id);
    int recordCount();

    std::unique_ptr<LedgerFixture> m_fixture;
    TestHost* m_host = nullptr;
    BoxRecorder* m_boxes = nullptr;
};

void TestEntryWindow::init()
{
    m_fixture = std::make_unique<LedgerFixture>(LedgerFixture::Options().pinnedAt(Now));
    QVERIFY(m_fixture->isValid());
    m_host = &m_fixture->host();
    m_boxes = &m_fixture->boxes();
}

void TestEntryWindow::cleanup()
{
    m_fixture.reset();
}

void TestEntryWindow::open(const QString& mode, const QString& id, QList<ModalSteps::Step> steps)
{
    SharedState::instance().entryMode = mode;
    SharedState::instance().selectedRecordId = id;
    const int count = int(steps.size());
    ModalSteps driver(u"entry"_s, std::move(steps));
    driver.run([this] { (new EntryWindow(*m_host))->openModal(); });
    QCOMPARE(driver.stepsRun, count);
    QCOMPARE(driver.leftOpen, 0);
}

void TestEntryWindow::insertRecord(const QString& values)
{
    QVERIFY(m_host->connection.execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values("_s + values
                                       + u")"_s));
}

Stored TestEntryWindow::stored(qint64 id)
{
    Stored s;
    RecordSet& records = m_host->recordSet;
    records.bind(&m_host->connection);
    if (!records.open(u"select * from 收送礼 where ID="_s + QString::number(id)))
        return s;
    if (!records.atEnd()) {
        s.found = true;
        records.readText(u"收送"_s, s.direction);
        records.readText(u"姓名"_s, s.name);
        records.readText(u"时间"_s, s.time);
        records.readDate(u"时间"_s, s.date);
        records.readText(u"关系"_s, s.relation);
        records.readText(u"类型"_s, s.kind);
        records.readCurrency(u"金额"_s, s.ticks);
        records.readText(u"说明"_s, s.note);
    }
    records.close();
    return s;
}

QStringList TestEntryWindow::storedRow(qint64 id)
{
    QStringList row;
    RecordSet& records = m_host->recordSet;
    records.bind(&m_host->connection);
    if (!records.open(u"select * from 收送礼 where ID="_s + QString::number(id)) || records.atEnd())
        return row;
    for (const QString& column : {u"收送"_s, u"姓名"_s, u"时间"_s, u"关系"_s, u"类型"_s, u"金额"_s, u"说明"_s}) {
        QString value;
        qint64 ticks = 0;
        if (records.isNull(column))
            value = u"NULL"_s;
        else if (column == u"金额"_s && records.readCurrency(column, ticks))
            value = QString::number(ticks);
        else
            records.readText(column, value);
        row << value;
    }
    records.close();
    return row;
}

int TestEntryWindow::recordCount()
{
    RecordSet& records = m_host->recordSet;
    records.bind(&m_host->connection);
    if (!records.open(u"select * from 收送礼"_s))
        return -1;
    const int n = records.rowCount();
    records.close();
    return n;
}

void TestEntryWindow::addThenModifyRoundTripsEveryField()
{
    open(u"添加"_s, QString(),
         {[](LedgerWindow* w) {
              QCOMPARE(w->windowTitle(), u"添加新的收支账目"_s);
              QCOMPARE(findControl<QPushButton>(w, u"添加按钮"_s)->text(), u"添加"_s);
              QCOMPARE(findControl<QDateTimeEdit>(w, u"日期框"_s)->dateTime(), Now);
              fill(w, Gift);
              clickSave(w);
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    QCOMPARE(m_boxes->texts(), QStringList{u"成功添加账目信息。"_s});
    QCOMPARE(m_boxes->last().title, u"添加账目成功"_s);
    QCOMPARE(m_boxes->last().icon, MessageBox::Information);
    QCOMPARE(m_host->refills, 1);
    QCOMPARE(m_host->grid().rowCount(), 3);
    QCOMPARE(m_host->grid().cellText(2, 3), u"张三"_s);

    Stored s = stored(1);
    QVERIFY(s.found);
    QCOMPARE(s.direction, u"送礼"_s);
    QCOMPARE(s.name, u"张三"_s);
    QCOMPARE(s.time, u"2011-06-02 00:00:00"_s);
    QCOMPARE(s.relation, u"同学"_s);
    QCOMPARE(s.kind, u"生日"_s);
    QCOMPARE(s.ticks, qint64(666000));
    QCOMPARE(s.note, u"喜酒"_s);

    m_boxes->clear();
    m_boxes->answer(MessageBox::Yes);
    open(u"修改"_s, u"1"_s, {[](LedgerWindow* w) {
             QCOMPARE(w->windowTitle(), u"修改编号为1的账目信息"_s);
             QCOMPARE(findControl<QPushButton>(w, u"添加按钮"_s)->text(), u"保存"_s);
             QCOMPARE(w->focusWidget(), box(w, u"收送组合框"_s));
             QCOMPARE(findControl<QDateTimeEdit>(w, u"日期框"_s)->date(), QDate(2011, 6, 2));
             QCOMPARE(box(w, u"收送组合框"_s)->currentText(), u"送礼"_s);
             QCOMPARE(box(w, u"关系组合框"_s)->currentText(), u"同学"_s);
             QCOMPARE(box(w, u"类型组合框"_s)->currentText(), u"生日"_s);
             QCOMPARE(w->text(u"姓名编辑框"_s), u"张三"_s);
             QCOMPARE(w->text(u"金额编辑框"_s), u"66.6"_s);
             QCOMPARE(w->text(u"说明编辑框"_s), u"喜酒"_s);
             fill(w, {u"收礼"_s, u"李四"_s, u"同事"_s, u"结婚"_s, u"12.50"_s, u"改过"_s, QDate(2012, 3, 3)});
             clickSave(w);
         }});
    QCOMPARE(m_boxes->texts(), (QStringList{u"确定要修改选定的账目吗？"_s, u"成功修改账目信息。"_s}));
    const MessageBox::Record question = m_boxes->shown().first();
    QCOMPARE(question.title, u"修改账目信息提示"_s);
    QCOMPARE(question.buttons, MessageBox::YesNo);
    QCOMPARE(question.icon, MessageBox::Question);
    QCOMPARE(question.defaultButton, MessageBox::No);
    QCOMPARE(m_boxes->last().title, u"修改账目成功"_s);
    QCOMPARE(m_boxes->last().icon, MessageBox::Information);
    QCOMPARE(m_host->refills, 2);
    QCOMPARE(m_host->grid().cellText(2, 3), u"李四"_s);

    s = stored(1);
    QCOMPARE(s.direction, u"收礼"_s);
    QCOMPARE(s.name, u"李四"_s);
    QCOMPARE(s.time, u"2012-03-03 00:00:00"_s);
    QCOMPARE(s.relation, u"同事"_s);
    QCOMPARE(s.kind, u"结婚"_s);
    QCOMPARE(s.ticks, qint64(125000));
    QCOMPARE(s.note, u"改过"_s);
    QCOMPARE(recordCount(), 1);

    open(u"修改"_s, u"1"_s, {[](LedgerWindow* w) {
             QCOMPARE(w->text(u"金额编辑框"_s), u"12.5"_s);
             clickReturn(w);
         }});
}

void TestEntryWindow::successfulAddReopensEmptyAddWindowUntilReturn()
{
    SharedState::instance().entryMode = u"添加"_s;
    ModalSteps driver(u"entry"_s,
                      {[](LedgerWindow* w) {
                           fill(w, Gift);
                           clickSave(w);
                       },
                       [](LedgerWindow* w) {
                           // A fresh window in add mode, every field empty and the date now again.
                           QCOMPARE(w->windowTitle(), u"添加新的收支账目"_s);
                           for (const QString& b : {u"收送组合框"_s, u"关系组合框"_s, u"类型组合框"_s}) {
                               QCOMPARE(box(w, b)->currentIndex(), -1);
                               QVERIFY(box(w, b)->count() > 0);
                           }
                           QVERIFY(w->text(u"姓名编辑框"_s).isEmpty());
                           QVERIFY(w->text(u"金额编辑框"_s).isEmpty());
                           QVERIFY(w->text(u"说明编辑框"_s).isEmpty());
                           QCOMPARE(findControl<QDateTimeEdit>(w, u"日期框"_s)->dateTime(), Now);
                           fill(w, {u"收礼"_s, u"王五"_s, u"朋友"_s, u"结婚"_s, u"200"_s, {}, {}});
                           clickSave(w);
                       },
                       [](LedgerWindow* w) { clickReturn(w); }});
    driver.run([this] { (new EntryWindow(*m_host))->openModal(); });
    QCOMPARE(driver.leftOpen, 0);
    QCOMPARE(driver.stepsRun, 3);
    QCOMPARE(driver.windowsSeen, 3);
    QCOMPARE(recordCount(), 2);
    QCOMPARE(m_host->refills, 2);
    QCOMPARE(m_host->broughtToFront, 1);
    QCOMPARE(stored(2).name, u"王五"_s);
    QCOMPARE(stored(2).ticks, qint64(2000000));
}

void TestEntryWindow::escEndsTheAddCycleWithoutRaisingTheLedger()
{
    open(u"添加"_s, QString(),
         {[](LedgerWindow* w) {
              fill(w, Gift);
              clickSave(w);
          },
          [](LedgerWindow* w) { QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Escape); }});
    QCOMPARE(recordCount(), 1);
    QCOMPARE(m_host->broughtToFront, 0);
}

void TestEntryWindow::addCycleAlsoWhenOpenedAsAPlainLedgerWindow()
{
    SharedState::instance().entryMode = u"添加"_s;
    ModalSteps driver(u"entry"_s,
                      {[](LedgerWindow* w) {
                           fill(w, Gift);
                           clickSave(w);
                       },
                       [](LedgerWindow* w) {
                           QVERIFY(w->text(u"姓名编辑框"_s).isEmpty());
                           clickReturn(w);
                       }});
    driver.run([this, &driver] {
        LedgerWindow* window = new EntryWindow(*m_host);
        window->openModal();
        // The fresh window follows from the event loop once the first one is gone.
        QTRY_COMPARE(driver.stepsRun, 2);
        QTRY_VERIFY(visibleWindow(u"entry"_s) == nullptr);
    });
    QCOMPARE(driver.windowsSeen, 2);
    QCOMPARE(driver.leftOpen, 0);
    QCOMPARE(recordCount(), 1);
    QCOMPARE(m_host->broughtToFront, 1);
}

void TestEntryWindow::apostrophesStoredAndShownAsTyped()
{
    open(u"添加"_s, QString(),
         {[](LedgerWindow* w) {
              fill(w, {u"收礼"_s, u"O'Brien"_s, u"朋友"_s, u"结婚"_s, u"100"_s, u"it's ''ok''"_s, {}});
              clickSave(w);
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    QCOMPARE(m_boxes->texts(), QStringList{u"成功添加账目信息。"_s});
    QCOMPARE(stored(1).name, u"O'Brien"_s);
    QCOMPARE(stored(1).note, u"it's ''ok''"_s);

    open(u"修改"_s, u"1"_s, {[](LedgerWindow* w) {
             QCOMPARE(w->text(u"姓名编辑框"_s), u"O'Brien"_s);
             QCOMPARE(w->text(u"说明编辑框"_s), u"it's ''ok''"_s);
             clickReturn(w);
         }});
}

void TestEntryWindow::injectionNoteChangesOneRecordOnly()
{
    insertRecord(u"'收礼','张三','2011-6-1','朋友','结婚','100','甲'"_s);
    insertRecord(u"'送礼','李四','2011-6-2','同学','生日','200','乙'"_s);
    const QString injection = u"', 金额=0 where 1=1 --"_s;
    m_boxes->answer(MessageBox::Yes);
    open(u"修改"_s, u"1"_s, {[&injection](LedgerWindow* w) {
             findControl<EditBox>(w, u"说明编辑框"_s)->setText(injection);
             clickSave(w);
         }});
    QCOMPARE(m_boxes->last().text, u"成功修改账目信息。"_s);
    QCOMPARE(stored(1).note, injection);
    QCOMPARE(stored(1).ticks, qint64(1000000));
    const Stored other = stored(2);
    QCOMPARE(other.ticks, qint64(2000000));
    QCOMPARE(other.note, u"乙"_s);
    QCOMPARE(other.name, u"李四"_s);
}

void TestEntryWindow::amountStoredExactly_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("ticks");
    QTest::newRow("66.6, no float step") << u"66.6"_s << qint64(666000);
    QTest::newRow("every digit of 12345678901.25") << u"12345678901.25"_s << qint64(123456789012500);
    QTest::newRow("12.50") << u"12.50"_s << qint64(125000);
    QTest::newRow("negative") << u"-20"_s << qint64(-200000);
    QTest::newRow("exponent") << u"1.5e2"_s << qint64(1500000);
    QTest::newRow("blanks around") << u" 　8 "_s << qint64(80000);
    QTest::newRow("full-width digits") << u"１２.５"_s << qint64(125000);
}

void TestEntryWindow::amountStoredExactly()
{
    QFETCH(QString, typed);
    QFETCH(qint64, ticks);
    open(u"添加"_s, QString(),
         {[&typed](LedgerWindow* w) {
              Input in = Gift;
              in.amount = typed;
              fill(w, in);
              clickSave(w);
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    QCOMPARE(m_boxes->texts(), QStringList{u"成功添加账目信息。"_s});
    QCOMPARE(stored(1).ticks, ticks);
}

void TestEntryWindow::amountRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("thousands separator") << u"1,000"_s;
    QTest::newRow("letters") << u"abc"_s;
    QTest::newRow("blanks only") << u"   "_s;
    QTest::newRow("full-width blank only") << u"　"_s;
    QTest::newRow("number then text") << u"12元"_s;
    QTest::newRow("two numbers") << u"1 2"_s;
    QTest::newRow("one ten-thousandth beyond the range") << u"922337203685477.5808"_s;
    QTest::newRow("far beyond the range") << u"1e20"_s;
}

void TestEntryWindow::amountRefused()
{
    QFETCH(QString, typed);
    open(u"添加"_s, QString(),
         {[&typed](LedgerWindow* w) {
              Input in = Gift;
              in.amount = typed;
              fill(w, in);
              clickSave(w);
              QCOMPARE(w->focusWidget(), findControl<QWidget>(w, u"金额编辑框"_s));
              // The window keeps what the user typed.
              QCOMPARE(w->text(u"金额编辑框"_s), typed);
              QCOMPARE(w->text(u"姓名编辑框"_s), Gift.name);
              QVERIFY(!w->closeRequested());
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    QCOMPARE(m_boxes->count(), 1);
    const MessageBox::Record r = m_boxes->last();
    QCOMPARE(r.text, u"请输入正确的账目金额。"_s);
    QCOMPARE(r.title, u"系统提示"_s);
    QCOMPARE(r.buttons, MessageBox::OkOnly);
    QCOMPARE(r.icon, MessageBox::Information);
    QCOMPARE(recordCount(), 0);
    QCOMPARE(m_host->refills, 0);
}

void TestEntryWindow::untouchedSaveKeepsTheAmount_data()
{
    QTest::addColumn<QString>("literal");
    QTest::addColumn<qint64>("ticks");
    QTest::addColumn<QString>("shown");
    QTest::newRow("12.5 keeps its one decimal") << u"12.5"_s << qint64(125000) << u"12.5"_s;
    QTest::newRow("whole number") << u"100"_s << qint64(1000000) << u"100"_s;
    QTest::newRow("66.6") << u"66.6"_s << qint64(666000) << u"66.6"_s;
    QTest::newRow("four decimals") << u"12.3456"_s << qint64(123456) << u"12.35"_s;
    QTest::newRow("half a cent goes up") << u"0.125"_s << qint64(1250) << u"0.13"_s;
    QTest::newRow("negative half a cent goes down") << u"-0.125"_s << qint64(-1250) << u"-0.13"_s;
    QTest::newRow("just below half a cent") << u"0.1249"_s << qint64(1249) << u"0.12"_s;
    QTest::newRow("one ten-thousandth") << u"0.0001"_s << qint64(1) << u"0"_s;
    QTest::newRow("negative, rounded to nothing") << u"-0.0049"_s << qint64(-49) << u"0"_s;
    QTest::newRow("fourteen digits") << u"12345678901234"_s << qint64(123456789012340000) << u"1.234567890123e+13"_s;
    QTest::newRow("largest amount") << u"922337203685477.5807"_s << std::numeric_limits<qint64>::max()
                                    << u"9.223372036855e+14"_s;
    QTest::newRow("most negative amount")
        << u"-922337203685477.5808"_s << std::numeric_limits<qint64>::min() << u"-9.223372036855e+14"_s;
    QTest::newRow("zero") << u"0"_s << qint64(0) << u"0"_s;
}

void TestEntryWindow::untouchedSaveKeepsTheAmount()
{
    QFETCH(QString, literal);
    QFETCH(qint64, ticks);
    QFETCH(QString, shown);
    insertRecord(u"'收礼','张三','2011-6-1','朋友','结婚','"_s + literal + u"',''"_s);
    QCOMPARE(stored(1).ticks, ticks);
    m_boxes->answer(MessageBox::Yes);
    open(u"修改"_s, u"1"_s, {[&shown](LedgerWindow* w) {
             // Rounded to cents and written as "%.13g" writes it; the stored amount stays as it is.
             QCOMPARE(w->text(u"金额编辑框"_s), shown);
             clickSave(w);
         }});
    QCOMPARE(m_boxes->last().text, u"成功修改账目信息。"_s);
    QCOMPARE(stored(1).ticks, ticks);
}

void TestEntryWindow::untouchedSaveKeepsTheDate_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("literal");
    QTest::addColumn<QDate>("date");
    // Brazil's daylight saving began at midnight: 2018-11-04 00:00 did not exist in São Paulo.
    QTest::newRow("no local midnight") << QByteArray("America/Sao_Paulo") << u"2018-11-4"_s << QDate(2018, 11, 4);
    QTest::newRow("day after the gap") << QByteArray("America/Sao_Paulo") << u"2018-11-5"_s << QDate(2018, 11, 5);
    QTest::newRow("east of Greenwich") << QByteArray("Asia/Shanghai") << u"2011-6-2"_s << QDate(2011, 6, 2);
    QTest::newRow("west of Greenwich") << QByteArray("America/Los_Angeles") << u"2011-6-2"_s << QDate(2011, 6, 2);
    QTest::newRow("before 1752-09-14") << QByteArray("UTC") << u"1700-1-1"_s << QDate(1700, 1, 1);
    QTest::newRow("the day before the old limit") << QByteArray("UTC") << u"1752-9-13"_s << QDate(1752, 9, 13);
    QTest::newRow("year 100") << QByteArray("UTC") << u"100-1-1"_s << QDate(100, 1, 1);
    QTest::newRow("last day") << QByteArray("UTC") << u"9999-12-31"_s << QDate(9999, 12, 31);
}

void TestEntryWindow::untouchedSaveKeepsTheDate()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, literal);
    QFETCH(QDate, date);
    insertRecord(u"'收礼','张三','"_s + literal + u"','朋友','结婚','100',''"_s);
    QCOMPARE(stored(1).date, date);
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    m_boxes->answer(MessageBox::Yes);
    QDate shown;
    open(u"修改"_s, u"1"_s, {[&shown](LedgerWindow* w) {
             shown = findControl<DatePicker>(w, u"日期框"_s)->date();
             clickSave(w);
         }});
    qputenv("TZ", oldZone);
    tzset();
    QCOMPARE(shown, date);
    QCOMPARE(m_boxes->last().text, u"成功修改账目信息。"_s);
    QCOMPARE(stored(1).date, date);
}

void TestEntryWindow::saveWritesBackWhatTheUserLeftAsStored_data()
{
    // values: the stored record as the values of an insert. edit: what the user changes ("" nothing,
    // "amount=…" the amount text, "date=…" the date). after: the stored row after the save, in storedRow's form.
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("message");
    const QString saved = u"成功修改账目信息。"_s;
    QTest::newRow("time of day") << u"'收礼','张三','2020-05-01 14:30:00','朋友','结婚','100','甲'"_s << QString()
                                 << QStringList{u"收礼"_s,    u"张三"_s, u"2020-05-01 14:30:00"_s, u"朋友"_s, u"结婚"_s,
                                                u"1000000"_s, u"甲"_s}
                                 << saved;
    QTest::newRow("no date") << u"'收礼','张三',NULL,'朋友','结婚','100','甲'"_s << QString()
                             << QStringList{u"收礼"_s, u"张三"_s,    u"NULL"_s, u"朋友"_s,
                                            u"结婚"_s, u"1000000"_s, u"甲"_s}
                             << saved;
    QTest::newRow("no amount") << u"'收礼','张三','2011-6-1','朋友','结婚',NULL,'甲'"_s << QString()
                               << QStringList{u"收礼"_s, u"张三"_s, u"2011-06-01 00:00:00"_s, u"朋友"_s, u"结婚"_s,
                                              u"NULL"_s, u"甲"_s}
                               << saved;
    QTest::newRow("four decimals") << u"'收礼','张三','2011-6-1','朋友','结婚','12.3456','甲'"_s << QString()
                                   << QStringList{u"收礼"_s, u"张三"_s, u"2011-06-01 00:00:00"_s,
                                                  u"朋友"_s, u"结婚"_s, u"123456"_s,
                                                  u"甲"_s}
                                   << saved;
    QTest::newRow("no name, no note") << u"'收礼',NULL,'2011-6-1','朋友','结婚','100',NULL"_s << QString()
                                      << QStringList{u"收礼"_s, u"NULL"_s, u"2011-06-01 00:00:00"_s,
                                                     u"朋友"_s, u"结婚"_s, u"1000000"_s,
                                                     u"NULL"_s}
                                      << saved;
    QTest::newRow("note with a newline") << u"'收礼','张三','2011-6-1','朋友','结婚','100','第一行\n第二行'"_s
                                         << QString()
                                         << QStringList{u"收礼"_s, u"张三"_s,    u"2011-06-01 00:00:00"_s, u"朋友"_s,
                                                        u"结婚"_s, u"1000000"_s, u"第一行\n第二行"_s}
                                         << saved;
    QTest::newRow("blanks at both ends") << u"'收礼',' 张三　','2011-6-1','朋友','结婚','100','　备注 '"_s << QString()
                                         << QStringList{u"收礼"_s,   u" 张三　"_s, u"2011-06-01 00:00:00"_s,
                                                        u"朋友"_s,   u"结婚"_s,    u"1000000"_s,
                                                        u"　备注 "_s}
                                         << saved;
    // The check stops the save: the question is not even asked.
    QTest::newRow("relation no longer listed")
        << u"'收礼','张三','2020-05-01 14:30:00','老乡','结婚',NULL,'甲'"_s << QString()
        << QStringList{u"收礼"_s, u"张三"_s, u"2020-05-01 14:30:00"_s, u"老乡"_s, u"结婚"_s, u"NULL"_s, u"甲"_s}
        << u"请选择所属关系。"_s;
    QTest::newRow("changed amount keeps the time of day")
        << u"'收礼','张三','2020-05-01 14:30:00','朋友','结婚',NULL,'甲'"_s << u"amount=15.5"_s
        << QStringList{u"收礼"_s, u"张三"_s, u"2020-05-01 14:30:00"_s, u"朋友"_s, u"结婚"_s, u"155000"_s, u"甲"_s}
        << saved;
    QTest::newRow("changed date keeps four decimals")
        << u"'收礼','张三','2020-05-01 14:30:00','朋友','结婚','12.3456','甲'"_s << u"date=2012-03-03"_s
        << QStringList{u"收礼"_s, u"张三"_s, u"2012-03-03 00:00:00"_s, u"朋友"_s, u"结婚"_s, u"123456"_s, u"甲"_s}
        << saved;
    QTest::newRow("a date given where there was none")
        << u"'收礼','张三',NULL,'朋友','结婚',NULL,NULL"_s << u"date=2012-03-03"_s
        << QStringList{u"收礼"_s, u"张三"_s, u"2012-03-03 00:00:00"_s, u"朋友"_s, u"结婚"_s, u"NULL"_s, u"NULL"_s}
        << saved;
}

void TestEntryWindow::saveWritesBackWhatTheUserLeftAsStored()
{
    QFETCH(QString, values);
    QFETCH(QString, edit);
    QFETCH(QStringList, after);
    QFETCH(QString, message);
    insertRecord(values);
    const QStringList before = storedRow(1);
    QCOMPARE(before.size(), 7);
    m_boxes->answer(MessageBox::Yes);
    open(u"修改"_s, u"1"_s, {[&](LedgerWindow* w) {
             // The edit boxes show the stored texts exactly: blanks, line breaks and all.
             QCOMPARE(w->text(u"姓名编辑框"_s), before.at(1) == u"NULL"_s ? QString() : before.at(1));
             QCOMPARE(w->text(u"说明编辑框"_s), before.at(6) == u"NULL"_s ? QString() : before.at(6));
             if (edit.startsWith(u"amount="_s))
                 findControl<EditBox>(w, u"金额编辑框"_s)->setText(edit.mid(7));
             else if (edit.startsWith(u"date="_s))
                 findControl<DatePicker>(w, u"日期框"_s)->setDate(QDate::fromString(edit.mid(5), Qt::ISODate));
             clickSave(w);
             if (message != u"成功修改账目信息。"_s)
                 clickReturn(w);
         }});
    QCOMPARE(m_boxes->last().text, message);
    QCOMPARE(storedRow(1), after);
}

void TestEntryWindow::failuresOnAReadOnlyLedgerSayWhy_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("title");
    const QString reason = u"\n数据库文件是只读的,不能保存改动。"_s;
    QTest::newRow("add") << u"添加"_s << QStringList{u"添加账目失败。"_s + reason} << u"添加账目失败"_s;
    QTest::newRow("modify") << u"修改"_s << QStringList{u"确定要修改选定的账目吗？"_s, u"修改账目失败。"_s + reason}
                            << u"修改账目失败"_s;
}

void TestEntryWindow::failuresOnAReadOnlyLedgerSayWhy()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, texts);
    QFETCH(QString, title);
    insertRecord(u"'收礼','张三','2011-6-1','朋友','结婚','100','甲'"_s);
    const QString file = LedgerFile::name();
    const QFile::Permissions writable = QFile::permissions(file);
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const auto giveBack = qScopeGuard([&] { QFile::setPermissions(file, writable); });
    if (::access(QFile::encodeName(file).constData(), W_OK) == 0)
        QSKIP("this user writes a read-only file all the same");
    m_boxes->answer(MessageBox::Yes);
    // The window connects anew, to the file as it is now.
    open(mode, u"1"_s,
         {[](LedgerWindow* w) {
              fill(w, {u"送礼"_s, u"李四"_s, u"同事"_s, u"生日"_s, u"5"_s, u"乙"_s, QDate(2012, 3, 3)});
              clickSave(w);
              QVERIFY(!w->closeRequested());
              QCOMPARE(w->text(u"姓名编辑框"_s), u"李四"_s);
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    QCOMPARE(m_boxes->texts(), texts);
    QCOMPARE(m_boxes->last().title, title);
    QCOMPARE(m_boxes->last().buttons, MessageBox::OkOnly);
    QCOMPARE(m_boxes->last().icon, MessageBox::Stop);
    QCOMPARE(m_host->refills, 0);
    QCOMPARE(recordCount(), 1);
    QCOMPARE(stored(1).name, u"张三"_s);
}

void TestEntryWindow::saveChecksStopAtFirstFailureInOrder()
{
    struct Check
    {
        Input input;
        QString message;
        QString focus;
    };
    const QList<Check> checks{
        {{}, u"请选择是收礼还是送礼。"_s, u"收送组合框"_s},
        {{u"收礼"_s, {}, {}, {}, {}, {}, {}}, u"请选择所属关系。"_s, u"关系组合框"_s},
        {{u"收礼"_s, {}, u"朋友"_s, {}, {}, {}, {}}, u"请输入账目的金额。"_s, u"金额编辑框"_s},
        {{u"收礼"_s, {}, u"朋友"_s, {}, u"x"_s, {}, {}}, u"请输入正确的账目金额。"_s, u"金额编辑框"_s},
        {{u"收礼"_s, {}, u"朋友"_s, {}, u"5"_s, {}, {}}, u"请选择所属类型。"_s, u"类型组合框"_s},
        // Without a direction every other check is skipped, however much else is wrong.
        {{{}, {}, {}, u"结婚"_s, u"abc"_s, {}, {}}, u"请选择是收礼还是送礼。"_s, u"收送组合框"_s},
    };
    QList<ModalSteps::Step> steps;
    for (const Check& c : checks) {
        steps.append([this, c](LedgerWindow* w) {
            m_boxes->clear();
            fill(w, c.input);
            w->focus(u"说明编辑框"_s);
            clickSave(w);
            QCOMPARE(m_boxes->texts(), QStringList{c.message});
            QCOMPARE(m_boxes->last().title, u"系统提示"_s);
            QCOMPARE(m_boxes->last().icon, MessageBox::Information);
            QCOMPARE(w->focusWidget(), findControl<QWidget>(w, c.focus));
            QVERIFY(!w->closeRequested());
        });
    }
    steps.append([](LedgerWindow* w) { clickReturn(w); });
    open(u"添加"_s, QString(), steps);
    QCOMPARE(recordCount(), 0);
}

void TestEntryWindow::relationOfBlanksOnlyIsNoRelation()
{
    QVERIFY(m_host->connection.execute(u"insert into 关系 (关系) values (' 　')"_s));
    QVERIFY(m_host->connection.execute(u"insert into 关系 (关系) values (' 邻居 ')"_s));
    open(u"添加"_s, QString(),
         {[](LedgerWindow* w) {
              Input in = Gift;
              in.relation = u" 　"_s;
              fill(w, in);
              clickSave(w);
              QCOMPARE(w->focusWidget(), findControl<QWidget>(w, u"关系组合框"_s));
          },
          [](LedgerWindow* w) {
              Input in = Gift;
              in.relation = u" 邻居 "_s;
              fill(w, in);
              clickSave(w);
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    QCOMPARE(m_boxes->texts(), (QStringList{u"请选择所属关系。"_s, u"成功添加账目信息。"_s}));
    // The relation is stored as shown, untrimmed.
    QCOMPARE(stored(1).relation, u" 邻居 "_s);
}

void TestEntryWindow::emptyLookupTablesStopAtDirection()
{
    for (const QString& table : {u"收送"_s, u"关系"_s, u"类型"_s})
        QVERIFY(m_host->connection.execute(u"delete from "_s + table));
    open(u"添加"_s, QString(),
         {[](LedgerWindow* w) {
              for (const QString& b : {u"收送组合框"_s, u"关系组合框"_s, u"类型组合框"_s})
                  QCOMPARE(box(w, b)->count(), 0);
              clickSave(w);
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    QCOMPARE(m_boxes->texts(), QStringList{u"请选择是收礼还是送礼。"_s});
}

void TestEntryWindow::noAtModifyQuestionChangesNothing()
{
    insertRecord(u"'收礼','张三','2011-6-1','朋友','结婚','100','甲'"_s);
    m_boxes->answer(MessageBox::No);
    open(u"修改"_s, u"1"_s,
         {[](LedgerWindow* w) {
              fill(w, {u"送礼"_s, u"李四"_s, u"同事"_s, u"生日"_s, u"5"_s, u"乙"_s, QDate(2012, 3, 3)});
              clickSave(w);
          },
          [](LedgerWindow* w) {
              // Still open, with what the user changed.
              QCOMPARE(w->text(u"姓名编辑框"_s), u"李四"_s);
              clickReturn(w);
          }});
    QCOMPARE(m_boxes->texts(), QStringList{u"确定要修改选定的账目吗？"_s});
    QCOMPARE(m_host->refills, 0);
    const Stored s = stored(1);
    QCOMPARE(s.name, u"张三"_s);
    QCOMPARE(s.direction, u"收礼"_s);
    QCOMPARE(s.time, u"2011-06-01 00:00:00"_s);
    QCOMPARE(s.ticks, qint64(1000000));
    QCOMPARE(s.note, u"甲"_s);
}

void TestEntryWindow::missingRecordReportsAndCloses()
{
    insertRecord(u"'收礼','张三','2011-6-1','朋友','结婚','100','甲'"_s);
    ModalSteps driver(u"entry"_s, {});
    SharedState::instance().entryMode = u"修改"_s;
    SharedState::instance().selectedRecordId = u"99"_s;
    driver.run([this] { (new EntryWindow(*m_host))->openModal(); });
    QCOMPARE(driver.leftOpen, 0);
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, u"打开数据库错误！"_s);
    QCOMPARE(m_boxes->last().title, u"打开数据库错误"_s);
    QCOMPARE(m_boxes->last().icon, MessageBox::Stop);
    QCOMPARE(stored(1).name, u"张三"_s);
}

void TestEntryWindow::storedEntryNoLongerListedIsNotSelected()
{
    insertRecord(u"'收礼','张三','2011-6-1','老乡','结婚','100',''"_s);
    open(u"修改"_s, u"1"_s,
         {[](LedgerWindow* w) {
              QCOMPARE(box(w, u"关系组合框"_s)->currentIndex(), -1);
              QCOMPARE(box(w, u"收送组合框"_s)->currentText(), u"收礼"_s);
              clickSave(w);
              QCOMPARE(w->focusWidget(), findControl<QWidget>(w, u"关系组合框"_s));
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    QCOMPARE(m_boxes->texts(), QStringList{u"请选择所属关系。"_s});
}

void TestEntryWindow::failedInsertIsReportedAndKeepsInput()
{
    open(u"添加"_s, QString(),
         {[this](LedgerWindow* w) {
              fill(w, Gift);
              m_host->connection.close();
              clickSave(w);
              QVERIFY(!w->closeRequested());
              QCOMPARE(w->text(u"姓名编辑框"_s), Gift.name);
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    // With the reason on a second line.
    QCOMPARE(m_boxes->texts(), QStringList{u"添加账目失败。\n数据库没有连接,不能进行此操作。"_s});
    QCOMPARE(m_boxes->last().title, u"添加账目失败"_s);
    QCOMPARE(m_boxes->last().icon, MessageBox::Stop);
    QCOMPARE(m_host->refills, 0);
}

void TestEntryWindow::amountKeyFilter()
{
    open(u"添加"_s, QString(), {[](LedgerWindow* w) {
             auto* amount = findControl<EditBox>(w, u"金额编辑框"_s);
             QTest::keyClicks(amount, u"9a:1.-+, /Z0"_s);
             // Every character of a double-byte text lies above "9".
             QKeyEvent wide(QEvent::KeyPress, 0, Qt::NoModifier, u"５"_s);
             QApplication::sendEvent(amount, &wide);
             QInputMethodEvent composed;
             composed.setCommitString(u"五"_s);
             QApplication::sendEvent(amount, &composed);
             QCOMPARE(amount->text(), u"91.-+, /0"_s);
             QTest::keyClick(amount, Qt::Key_Backspace);
             QCOMPARE(amount->text(), u"91.-+, /"_s);
             // Pasted text is not filtered.
             amount->clear();
             QApplication::clipboard()->setText(u"abc"_s);
             amount->paste();
             QCOMPARE(amount->text(), u"abc"_s);
             clickReturn(w);
         }});
}

void TestEntryWindow::modifyOfARecordDeletedElsewhereFails()
{
    insertRecord(u"'收礼','张三','2011-6-1','朋友','结婚','100','甲'"_s);
    insertRecord(u"'送礼','李四','2012-2-2','同事','生日','200','乙'"_s);
    m_boxes->answer(MessageBox::Yes);
    open(u"修改"_s, u"1"_s,
         {[](LedgerWindow* w) {
              // Another program deletes the record while the window shows it.
              DatabaseConnection other;
              QVERIFY(other.connect(LedgerFile::name(), LedgerFile::password()));
              QVERIFY(other.execute(u"delete from 收送礼 where ID=1"_s));
              fill(w, {u"送礼"_s, u"王五"_s, u"同事"_s, u"生日"_s, u"5"_s, u"丙"_s, QDate(2013, 3, 3)});
              clickSave(w);
              QVERIFY(!w->closeRequested());
          },
          [](LedgerWindow* w) { clickReturn(w); }});
    QCOMPARE(m_boxes->texts(), QStringList({u"确定要修改选定的账目吗？"_s, u"修改账目失败。"_s}));
    QCOMPARE(m_boxes->last().title, u"修改账目失败"_s);
    QCOMPARE(m_boxes->last().icon, MessageBox::Stop);
    QCOMPARE(m_host->refills, 0);
    QVERIFY(!stored(1).found);
    QCOMPARE(recordCount(), 1);
    const Stored s = stored(2);
    QCOMPARE(s.name, u"李四"_s);
    QCOMPARE(s.time, u"2012-02-02 00:00:00"_s);
    QCOMPARE(s.ticks, qint64(2000000));
    QCOMPARE(s.note, u"乙"_s);
}

QTEST_MAIN(TestEntryWindow)
#include "test_entry_window.moc"
