// The gift book (礼簿) over ledgers of known contents: an earlier event picked with its lines, count and totals
// (records of the record entry window's statements among them); the name completed by characters and pinyin with
// the known person's relation filled in; the question before a name entered twice; the amount's capitals and
// warnings; refused lines; 200 guests typed by the keyboard alone; and each edit in place, Del and Ctrl+Z
// changing exactly one record.

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/LedgerStatements.h"
#include "store/ledger/LedgerEvents.h"
#include "store/value/BlankText.h"
#include "ui/base/EditBox.h"
#include "windows/common/ReportText.h"
#include "windows/reports/GiftBookWindow.h"

#include "KnownLedger.h"
#include "LedgerFixture.h"
#include "ReportSteps.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

/// Types the text key by key into the widget with the focus, Chinese characters included.
void typeText(const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

QString focusName()
{
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

/// Every record of the ledger by ID, as one text of all its columns (NULL as ∅).
QMap<qint64, QString> ledger(TestHost& host)
{
    QMap<qint64, QString> rows;
    const auto s
        = host.connection.engine()->prepareNative(u"SELECT ID,收送,姓名,时间,关系,类型,金额,说明 FROM 收送礼"_s);
    while (s && sqlite3_step(s.get()) == SQLITE_ROW) {
        QStringList cells;
        for (int c = 1; c < 8; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), c));
            cells << (text ? QString::fromUtf8(text) : u"∅"_s);
        }
        rows.insert(sqlite3_column_int64(s.get(), 0), cells.join(u'|'));
    }
    return rows;
}

QStringList column(const QTableWidget& table, int c)
{
    QStringList texts;
    for (int r = 0; r < table.rowCount(); ++r)
        texts << table.item(r, c)->text();
    return texts;
}

QStringList candidates(QWidget& w)
{
    auto* list = findControl<QListWidget>(&w, u"候选名单"_s);
    QStringList names;
    if (list->isVisible()) {
        for (int r = 0; r < list->count(); ++r)
            names << list->item(r)->text();
    }
    return names;
}

/// The wedding of 1 October 2026: two records through the entry window's own statements, one with a time of day.
void addWedding(TestHost& host)
{
    const auto entry = [&host](const QString& name, const QString& relation, qint64 ticks, const QString& note) {
        const LedgerStatements::EntryValues values{u"收礼"_s, name, QDate(2026, 10, 1), relation, u"结婚"_s,
                                                   ticks,     note};
        QVERIFY(host.connection.execute(LedgerStatements::addRecord(values)));
    };
    entry(u"张伟"_s, u"同事"_s, 2000000, {});
    QVERIFY(addRecords(*host.connection.engine(),
                       {{u"收礼"_s, u"李娜"_s, u"2026-10-01 18:30:00"_s, u"同学"_s, u"结婚"_s, 1234567, u"晚到"_s}}));
    entry(u"王芳"_s, u"亲戚"_s, 5000, u"红包"_s);
}

const QDateTime Later(QDate(2026, 12, 9), QTime(10, 0));

} // namespace

class TestGiftBookWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<LedgerFixture> m_fixture;

    TestHost& host() { return m_fixture->host(); }
    BoxRecorder& boxes() { return m_fixture->boxes(); }

    /// Runs the script on the open window, active, with the keyboard in it.
    bool withWindow(const std::function<void(GiftBookWindow&)>& script)
    {
        return whileOpen(
            u"giftBook"_s, [this] { (new GiftBookWindow(host()))->openModal(); },
            [&script](ReportWindow& w) {
                w.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&w));
                script(static_cast<GiftBookWindow&>(w));
            });
    }

    /// Types one line into the entry line and stores it with Enter in its last field.
    static void typeLine(const QString& name, bool pickRelation, const QString& amount, const QString& note = {})
    {
        typeText(name);
        press(Qt::Key_Return);
        QCOMPARE(focusName(), u"关系框"_s);
        if (pickRelation)
            press(Qt::Key_Down);
        press(Qt::Key_Return);
        QCOMPARE(focusName(), u"金额框"_s);
        QTest::keyClicks(QApplication::focusWidget(), amount);
        press(Qt::Key_Return);
        QCOMPARE(focusName(), u"说明框"_s);
        typeText(note);
        press(Qt::Key_Return);
    }

private Q_SLOTS:
    void init()
    {
        m_fixture = std::make_unique<LedgerFixture>(LedgerFixture::Options{}.pinnedAt(Later));
        QVERIFY(m_fixture->isValid());
        QVERIFY(addRecords(*host().connection.engine(), knownRecords()));
        addWedding(host());
        if (QTest::currentTestFailed())
            return;
        QVERIFY(addRecords(*host().connection.engine(),
                           {{u"送礼"_s, u"单雄信"_s, u"2024-01-01 00:00:00"_s, u"朋友"_s, u"生日"_s, 1000000, {}},
                            {u"送礼"_s, u"曾国藩"_s, u"2024-01-01 00:00:00"_s, u"亲戚"_s, u"生日"_s, 1000000, {}}}));
    }
    void cleanup() { m_fixture.reset(); }

    void anEarlierEventShowsItsLinesCountAndTotals()
    {
        QVERIFY(withWindow([this](GiftBookWindow& w) {
            QCOMPARE(w.windowTitle(), u"礼簿"_s);
            QCOMPARE(focusName(), u"姓名框"_s);
            // A new book of today: nothing in it yet.
            QCOMPARE(findControl<QDateEdit>(&w, u"日期框"_s)->date(), Later.date());
            QCOMPARE(findControl<QComboBox>(&w, u"类型框"_s)->currentText(), u"结婚"_s);
            QCOMPARE(findControl<QComboBox>(&w, u"收送框"_s)->currentText(), u"收礼"_s);
            QCOMPARE(findControl<QLabel>(&w, u"合计标签"_s)->text(), u"来宾 0 位　合计 ￥0.00　大写：零元整"_s);
            auto* events = findControl<QComboBox>(&w, u"酒席列表"_s);
            QCOMPARE(events->count(), 11);
            QCOMPARE(events->itemText(0), u"2026年10月1日　结婚　收礼　3 笔　￥323.9567"_s);
            events->setFocus();
            press(Qt::Key_Down);

            QCOMPARE(w.event(), (EventKey{QDate(2026, 10, 1), u"结婚"_s, u"收礼"_s}));
            auto* table = findControl<QTableWidget>(&w, u"礼簿表"_s);
            QCOMPARE(column(*table, 0), (QStringList{u"李娜"_s, u"王芳"_s, u"张伟"_s}));
            QCOMPARE(column(*table, 1), (QStringList{u"同学"_s, u"亲戚"_s, u"同事"_s}));
            QCOMPARE(column(*table, 2), (QStringList{u"123.4567"_s, u"0.50"_s, u"200.00"_s}));
            QCOMPARE(column(*table, 3), (QStringList{u"晚到"_s, u"红包"_s, QString()}));
            QCOMPARE(w.lines().size(), 3);
            QCOMPARE(w.lines().at(2).id, 11);
            QCOMPARE(findControl<QLabel>(&w, u"合计标签"_s)->text(),
                     u"来宾 3 位　合计 ￥323.9567　大写：叁佰贰拾叁元玖角陆分"_s);
            // Parts of a yuan are marked, with the reason and the capitals in the tool tip.
            QCOMPARE(table->item(1, 2)->foreground().color(), GiftBookWindow::warningColour());
            QCOMPARE(table->item(1, 2)->toolTip(), u"金额不是整元\n大写：伍角"_s);
            QVERIFY(table->item(2, 2)->foreground().color() != GiftBookWindow::warningColour());
            QCOMPARE(table->item(2, 2)->toolTip(), u"大写：贰佰元整"_s);
            QVERIFY(!table->tabKeyNavigation());

            // Every button has a letter of its own; Esc closes the list of names first, then the window.
            QStringList letters;
            for (const QPushButton* button : w.findChildren<QPushButton*>()) {
                const QString letter = QKeySequence::mnemonic(button->text()).toString();
                QVERIFY2(!letter.isEmpty() && !letters.contains(letter), qPrintable(button->text()));
                letters << letter;
            }
            QCOMPARE(letters.size(), 5);
            findControl<EditBox>(&w, u"姓名框"_s)->setFocus();
            typeText(u"z"_s);
            QTRY_COMPARE(candidates(w), (QStringList{u"张三"_s, u"张伟"_s, u"曾国藩"_s, u"赵六"_s}));
            press(Qt::Key_Escape);
            QVERIFY(candidates(w).isEmpty());
            QVERIFY(w.isVisible());
            press(Qt::Key_Escape);
            QVERIFY(!w.isVisible());
        }));
        QCOMPARE(boxes().count(), 0);
        QCOMPARE(host().refills, 0);
    }

    void theListOfEarlierEventsReadsOnAsItIsScrolled()
    {
        // Ninety days of events before the known ones; the list reads a few weeks at a time.
        QList<KnownRecord> days;
        for (int i = 0; i < 90; ++i) {
            const QString day = QDate(2018, 1, 1).addDays(i).toString(Qt::ISODate);
            days.append(
                {u"收礼"_s, u"来宾%1"_s.arg(i), day + u" 00:00:00"_s, u"朋友"_s, u"结婚"_s, 10000 * (i + 1), {}});
        }
        QVERIFY(addRecords(*host().connection.engine(), days));
        QVERIFY(withWindow([this](GiftBookWindow& w) {
            auto* events = findControl<QComboBox>(&w, u"酒席列表"_s);
            const int first = events->count();
            QVERIFY2(first > 11 && first < 11 + 90, qPrintable(QString::number(first)));
            // A line for a day not read yet: the book of that day is listed in its place at once.
            auto* date = findControl<QDateEdit>(&w, u"日期框"_s);
            date->setFocus();
            date->setDate(QDate(2018, 1, 2));
            findControl<EditBox>(&w, u"姓名框"_s)->setFocus();
            typeLine(u"迟到的客人"_s, true, u"50"_s);
            QCOMPARE(events->currentText(), u"2018年1月2日　结婚　收礼　2 笔　￥52.00"_s);
            // End in the open list reads on until every event is there, each once, as the ledger orders them.
            events->showPopup();
            for (int count = -1; count != events->count();) {
                count = events->count();
                QTest::keyClick(events->view(), Qt::Key_End);
            }
            events->hidePopup();
            const auto stored = LedgerEvents(host().connection.engine().get()).events();
            QVERIFY(stored);
            QCOMPARE(events->count(), stored->size());
            for (int i = 0; i < events->count(); ++i) {
                const GiftEvent& e = stored->at(i);
                const QString day = e.key.date.isValid() ? ReportText::date(e.key.date) : u"无日期"_s;
                QVERIFY2(events->itemText(i).startsWith(day + u'　' + e.key.occasion + u'　' + e.key.direction)
                             && events->itemText(i).contains(u"　%1 笔"_s.arg(e.count)),
                         qPrintable(events->itemText(i)));
            }
            QCOMPARE(events->currentText(), u"2018年1月2日　结婚　收礼　2 笔　￥52.00"_s);
        }));
        QCOMPARE(boxes().count(), 0);
    }

    void theNameCompletesByCharactersAndPinyin_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("relation"); // of the first name offered, its latest record's
        QTest::newRow("initials") << u"zw"_s << QStringList{u"张伟"_s} << u"同事"_s;
        QTest::newRow("full pinyin, started") << u"zhangw"_s << QStringList{u"张伟"_s} << u"同事"_s;
        QTest::newRow("characters first") << u"张"_s << QStringList{u"张三"_s, u"张伟"_s} << u"亲戚"_s;
        QTest::newRow("单 read as a surname") << u"shanx"_s << QStringList{u"单雄信"_s} << u"朋友"_s;
        QTest::newRow("单 as typed by habit") << u"dxx"_s << QStringList{u"单雄信"_s} << u"朋友"_s;
        QTest::newRow("曾 read as a surname") << u"zengg"_s << QStringList{u"曾国藩"_s} << u"亲戚"_s;
        QTest::newRow("nobody") << u"qq"_s << QStringList{} << QString();
    }
    void theNameCompletesByCharactersAndPinyin()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, offered);
        QFETCH(QString, relation);
        QVERIFY(withWindow([&](GiftBookWindow& w) {
            typeText(typed);
            QTRY_COMPARE(candidates(w), offered);
            // Down and Enter choose the first name; the person's relation is filled in.
            press(Qt::Key_Down);
            press(Qt::Key_Return);
            QCOMPARE(findControl<EditBox>(&w, u"姓名框"_s)->text(), offered.isEmpty() ? typed : offered.first());
            QCOMPARE(findControl<QComboBox>(&w, u"关系框"_s)->currentText(), relation);
            QCOMPARE(focusName(), u"关系框"_s);
            QVERIFY(candidates(w).isEmpty());
        }));
        QCOMPARE(boxes().count(), 0);
    }

    void namesStoredHereAreOfferedOnceWithTheLedgers()
    {
        QVERIFY(withWindow([&](GiftBookWindow& w) {
            // A new person joins the names; a known one in other letters' case does not come twice.
            typeLine(u"来宾甲"_s, true, u"100"_s);
            typeLine(u"LI LEI"_s, false, u"100"_s);
            const QList<std::pair<QString, QStringList>> offered{
                {u"lb"_s, {u"来宾甲"_s}},   {u"laibinj"_s, {u"来宾甲"_s}},
                {u"来"_s, {u"来宾甲"_s}},   {u"lil"_s, {u"Li Lei"_s}},
                {u"LI L"_s, {u"Li Lei"_s}}, {u"z"_s, {u"张三"_s, u"张伟"_s, u"曾国藩"_s, u"赵六"_s}},
            };
            for (const auto& [typed, names] : offered) {
                typeText(typed);
                QVERIFY2(candidates(w) == names, qPrintable(typed + u": "_s + candidates(w).join(u',')));
                press(Qt::Key_A, Qt::ControlModifier);
                press(Qt::Key_Backspace);
                QVERIFY(candidates(w).isEmpty());
            }
        }));
        QCOMPARE(boxes().count(), 0);
    }

    void aListedLineIsWarnedOfAfterItsPersonsRecords()
    {
        QVERIFY(withWindow([&](GiftBookWindow& w) {
            typeLine(u"张伟"_s, false, u"2001"_s);
            auto* events = findControl<QComboBox>(&w, u"酒席列表"_s);
            auto* table = findControl<QTableWidget>(&w, u"礼簿表"_s);
            // Listed again from 以前的酒席, the line gets its warning once the lines are shown.
            for (const int index : {1, 0}) {
                events->setCurrentIndex(index);
                Q_EMIT events->activated(index);
            }
            QCOMPARE(column(*table, 0), QStringList{u"张伟"_s});
            QTRY_COMPARE(table->item(0, 2)->foreground().color(), GiftBookWindow::warningColour());
            QVERIFY(table->item(0, 2)->toolTip().startsWith(u"超过此人以往最大一笔（￥200.00）的10倍\n"_s));
        }));
        QCOMPARE(boxes().count(), 0);
    }

    void theAmountShowsItsCapitalsAndWarnings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("capitals");
        QTest::addColumn<QString>("warning");
        // 张伟's largest gift so far is ￥200.00.
        QTest::newRow("whole yuan") << u"张伟"_s << u"1200"_s << u"壹仟贰佰元整"_s << QString();
        QTest::newRow("ten times, not more") << u"张伟"_s << u"2000"_s << u"贰仟元整"_s << QString();
        QTest::newRow("more than ten times")
            << u"张伟"_s << u"2001"_s << u"贰仟零壹元整"_s << u"超过此人以往最大一笔（￥200.00）的10倍"_s;
        QTest::newRow("both") << u"张伟"_s << u"3000.5"_s << u"叁仟元伍角"_s
                              << u"金额不是整元；超过此人以往最大一笔（￥200.00）的10倍"_s;
        QTest::newRow("a new person") << u"新人"_s << u"88888"_s << u"捌万捌仟捌佰捌拾捌元整"_s << QString();
        QTest::newRow("fen") << u"新人"_s << u"50.25"_s << u"伍拾元贰角伍分"_s << u"金额不是整元"_s;
        QTest::newRow("no number") << u"新人"_s << u"1..2"_s << QString() << QString();
    }
    void theAmountShowsItsCapitalsAndWarnings()
    {
        QFETCH(QString, name);
        QFETCH(QString, amount);
        QFETCH(QString, capitals);
        QFETCH(QString, warning);
        QVERIFY(withWindow([&](GiftBookWindow& w) {
            typeText(name);
            press(Qt::Key_Return);
            press(Qt::Key_Return);
            // Letters never reach the amount.
            QTest::keyClicks(QApplication::focusWidget(), u"x"_s + amount);
            auto* box = findControl<EditBox>(&w, u"金额框"_s);
            QCOMPARE(box->text(), amount);
            QCOMPARE(findControl<QLabel>(&w, u"金额大写标签"_s)->text(), capitals);
            QCOMPARE(box->toolTip(), warning);
            QCOMPARE(box->palette().color(QPalette::Text) == GiftBookWindow::warningColour(), !warning.isEmpty());
        }));
        QCOMPARE(boxes().count(), 0);
    }

    void aLineThatCannotBeStoredIsRefusedAndKept_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("pickRelation");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no name") << u"　 "_s << true << u"100"_s << u"请输入姓名。"_s << u"姓名框"_s;
        QTest::newRow("no relation") << u"新人"_s << false << u"100"_s << u"请选择所属关系。"_s << u"关系框"_s;
        QTest::newRow("no amount") << u"新人"_s << true << QString() << u"请输入账目的金额。"_s << u"金额框"_s;
        QTest::newRow("no number") << u"新人"_s << true << u"1..2"_s << u"请输入正确的账目金额。"_s << u"金额框"_s;
    }
    void aLineThatCannotBeStoredIsRefusedAndKept()
    {
        QFETCH(QString, name);
        QFETCH(bool, pickRelation);
        QFETCH(QString, amount);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        const auto before = ledger(host());
        QVERIFY(withWindow([&](GiftBookWindow& w) {
            typeLine(name, pickRelation, amount, u"备注"_s);
            QCOMPARE(boxes().texts(), QStringList{message});
            QCOMPARE(boxes().last().title, u"系统提示"_s);
            QCOMPARE(boxes().last().buttons, MessageBox::OkOnly);
            QCOMPARE(boxes().last().icon, MessageBox::Information);
            QCOMPARE(focusName(), focus);
            QCOMPARE(findControl<EditBox>(&w, u"姓名框"_s)->text(), name);
            QCOMPARE(findControl<EditBox>(&w, u"金额框"_s)->text(), amount);
            QCOMPARE(findControl<QLineEdit>(&w, u"说明框"_s)->text(), u"备注"_s);
            QCOMPARE(w.lines().size(), 0);
        }));
        QCOMPARE(ledger(host()), before);
        QCOMPARE(host().refills, 0);
    }

    void aNameTwiceInOneEventIsAskedFirst_data()
    {
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("stored");
        QTest::newRow("No, the default") << u"张伟"_s << true << int(MessageBox::No) << 1;
        QTest::newRow("Yes") << u"张伟"_s << true << int(MessageBox::Yes) << 2;
        QTest::newRow("blanks and case") << u" li LEI "_s << true << int(MessageBox::No) << 1;
        QTest::newRow("another name") << u"张三"_s << false << int(MessageBox::No) << 2;
    }
    void aNameTwiceInOneEventIsAskedFirst()
    {
        QFETCH(QString, second);
        QFETCH(bool, asked);
        QFETCH(int, answer);
        QFETCH(int, stored);
        const auto before = ledger(host());
        QVERIFY(withWindow([&](GiftBookWindow& w) {
            typeLine(second.contains(u"LEI"_s) ? u"Li Lei"_s : u"张伟"_s, false, u"200"_s);
            QCOMPARE(boxes().count(), 0);
            QCOMPARE(focusName(), u"姓名框"_s);
            if (answer == MessageBox::Yes)
                boxes().answer(MessageBox::Yes);
            typeLine(second, false, u"300"_s);
            const QString shown = BlankText::trimmed(second);
            if (asked) {
                QCOMPARE(boxes().count(), 1);
                const MessageBox::Record box = boxes().last();
                QCOMPARE(box.text, u"这次酒席的礼簿中已经有“%1”，还要再登记一笔吗？"_s.arg(shown));
                QCOMPARE(box.title, u"礼簿"_s);
                QCOMPARE(box.buttons, MessageBox::YesNo);
                QCOMPARE(box.icon, MessageBox::Question);
                QCOMPARE(box.defaultButton, MessageBox::No);
            } else {
                QCOMPARE(boxes().count(), 0);
            }
            QCOMPARE(w.lines().size(), stored);
            // A line not stored stays for another try.
            QCOMPARE(findControl<EditBox>(&w, u"姓名框"_s)->text(), stored == 1 ? second : QString());
        }));
        QCOMPARE(ledger(host()).size(), before.size() + stored);
        QCOMPARE(host().refills, 1);
    }

    void twoHundredGuestsByKeyboardAlone()
    {
        const auto before = ledger(host());
        QVERIFY(withWindow([&](GiftBookWindow& w) {
            for (int i = 1; i <= 200; ++i) {
                typeLine(u"来宾%1"_s.arg(i), true, QString::number(100 + i));
                QCOMPARE(focusName(), u"姓名框"_s);
                QCOMPARE(findControl<EditBox>(&w, u"姓名框"_s)->text(), QString());
            }
            QCOMPARE(findControl<QLabel>(&w, u"合计标签"_s)->text(),
                     u"来宾 200 位　合计 ￥40,100.00　大写：肆万零壹佰元整"_s);
            QCOMPARE(w.lines().size(), 200);
            QCOMPARE(w.lines().first().line.name, u"来宾200"_s);
        }));
        QCOMPARE(boxes().count(), 0);
        QCOMPARE(host().refills, 1);
        // Opened again on the day of its banquet, the book goes on with it.
        QVERIFY(withWindow([](GiftBookWindow& w) {
            QCOMPARE(w.event(), (EventKey{Later.date(), u"结婚"_s, u"收礼"_s}));
            QCOMPARE(w.lines().size(), 200);
            QCOMPARE(w.lines().last().line.name, u"来宾1"_s);
            QCOMPARE(findControl<QComboBox>(&w, u"酒席列表"_s)->currentText(),
                     u"2026年12月9日　结婚　收礼　200 笔　￥40,100.00"_s);
            // Tab to 登记 and Enter store a line as Enter in its last field does.
            typeText(u"来宾201"_s);
            press(Qt::Key_Return);
            press(Qt::Key_Down);
            press(Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), u"50"_s);
            press(Qt::Key_Tab);
            press(Qt::Key_Tab);
            QCOMPARE(focusName(), u"登记按钮"_s);
            press(Qt::Key_Return);
            QCOMPARE(w.lines().size(), 201);
            QCOMPARE(focusName(), u"姓名框"_s);
        }));
        QCOMPARE(boxes().count(), 0);
        const auto after = ledger(host());
        QCOMPARE(after.size(), before.size() + 201);
        qint64 id = before.lastKey();
        for (int i = 1; i <= 200; ++i) {
            QCOMPARE(after.value(++id),
                     u"收礼|来宾%1|2026-12-09 00:00:00|亲戚|结婚|%2|"_s.arg(i).arg((100 + i) * 10000));
        }
        QCOMPARE(after.value(++id), u"收礼|来宾201|2026-12-09 00:00:00|亲戚|结婚|500000|"_s);
    }

    void eachEditDeleteAndTakeBackChangesOneRecord_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("box"); // the one box shown, empty for none
        QTest::addColumn<qint64>("id"); // the record changed, 0 for none
        QTest::addColumn<QString>("after"); // its row afterwards, empty when it is gone
        // Rows of the book: 李娜 (ID 12), 王芳 (13), 张伟 (11); a line stored in the window is ID 16.
        QTest::newRow("amount") << u"edit"_s << 2 << 2 << u"300"_s << 0 << QString() << qint64(11)
                                << u"收礼|张伟|2026-10-01 00:00:00|同事|结婚|3000000|"_s;
        QTest::newRow("name") << u"edit"_s << 0 << 0 << u"李娜娜"_s << 0 << QString() << qint64(12)
                              << u"收礼|李娜娜|2026-10-01 18:30:00|同学|结婚|1234567|晚到"_s;
        QTest::newRow("relation from its list") << u"edit"_s << 1 << 1 << QString() << 0 << QString() << qint64(13)
                                                << u"收礼|王芳|2026-10-01 00:00:00|朋友|结婚|5000|红包"_s;
        QTest::newRow("note") << u"edit"_s << 1 << 3 << u"补记"_s << 0 << QString() << qint64(13)
                              << u"收礼|王芳|2026-10-01 00:00:00|亲戚|结婚|5000|补记"_s;
        QTest::newRow("no number refused")
            << u"edit"_s << 2 << 2 << u"1..2"_s << 0 << u"请输入正确的账目金额。"_s << qint64(0) << QString();
        QTest::newRow("no name refused") << u"edit"_s << 0 << 0 << QString() << 0 << u"请输入姓名。"_s << qint64(0)
                                         << QString();
        QTest::newRow("Esc cancels an edit")
            << u"cancel"_s << 2 << 2 << u"999"_s << 0 << QString() << qint64(0) << QString();
        QTest::newRow("Del, Yes") << u"delete"_s << 1 << 0 << QString() << int(MessageBox::Yes)
                                  << u"确定要从礼簿中删除“王芳”的这一笔（￥0.50）吗？\n数据删除后不可恢复。"_s
                                  << qint64(13) << QString();
        QTest::newRow("Del, No") << u"delete"_s << 1 << 0 << QString() << int(MessageBox::No)
                                 << u"确定要从礼簿中删除“王芳”的这一笔（￥0.50）吗？\n数据删除后不可恢复。"_s
                                 << qint64(0) << QString();
        QTest::newRow("Ctrl+Z, Yes") << u"undo"_s << 0 << 0 << QString() << int(MessageBox::Yes)
                                     << u"确定要撤销最后登记的“赵敏”（￥50.00）吗？"_s << qint64(16) << QString();
        QTest::newRow("Ctrl+Z, No") << u"undo"_s << 0 << 0 << QString() << int(MessageBox::No)
                                    << u"确定要撤销最后登记的“赵敏”（￥50.00）吗？"_s << qint64(0) << QString();
    }
    void eachEditDeleteAndTakeBackChangesOneRecord()
    {
        QFETCH(QString, action);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(QString, box);
        QFETCH(qint64, id);
        QFETCH(QString, after);
        QMap<qint64, QString> expected;
        QVERIFY(withWindow([&](GiftBookWindow& w) {
            auto* events = findControl<QComboBox>(&w, u"酒席列表"_s);
            events->setFocus();
            press(Qt::Key_Down);
            auto* table = findControl<QTableWidget>(&w, u"礼簿表"_s);
            QCOMPARE(table->rowCount(), 3);
            if (action == u"undo"_s) {
                findControl<EditBox>(&w, u"姓名框"_s)->setFocus();
                typeLine(u"赵敏"_s, true, u"50"_s);
                QCOMPARE(w.lines().first().id, 16);
            }
            expected = ledger(host());
            const QList<GiftRecord> lines = w.lines();
            const QStringList cellsBefore = ::column(*table, column);
            if (answer != 0)
                boxes().answer(MessageBox::Answer(answer));
            if (action == u"edit"_s) {
                table->setFocus();
                table->setCurrentCell(row, column);
                press(Qt::Key_F2);
                QVERIFY(QApplication::focusWidget() != table);
                if (column == 1) {
                    press(Qt::Key_Down);
                } else {
                    press(Qt::Key_A, Qt::ControlModifier);
                    press(Qt::Key_Delete);
                    typeText(typed);
                }
                press(Qt::Key_Return);
                // The view takes the editor's text on its next turn.
                QCoreApplication::processEvents();
            } else if (action == u"cancel"_s) {
                table->setFocus();
                table->setCurrentCell(row, column);
                press(Qt::Key_F2);
                typeText(typed);
                press(Qt::Key_Escape);
                QCoreApplication::processEvents();
                QVERIFY(w.isVisible());
                QCOMPARE(focusName(), u"礼簿表"_s);
            } else if (action == u"delete"_s) {
                table->setFocus();
                table->setCurrentCell(row, column);
                press(Qt::Key_Delete);
            } else {
                // Ctrl+Z works from inside the entry line too.
                findControl<QLineEdit>(&w, u"说明框"_s)->setFocus();
                press(Qt::Key_Z, Qt::ControlModifier);
            }
            QCOMPARE(boxes().texts(), box.isEmpty() ? QStringList() : QStringList{box});
            if (!box.isEmpty() && action != u"edit"_s) {
                QCOMPARE(boxes().last().buttons, MessageBox::YesNo);
                QCOMPARE(boxes().last().defaultButton, MessageBox::No);
            }
            // The book shows what the ledger holds.
            QList<qint64> shown;
            for (const GiftRecord& r : w.lines())
                shown << r.id;
            QList<qint64> wanted;
            for (const GiftRecord& r : lines) {
                if (r.id != id || !after.isEmpty())
                    wanted << r.id;
            }
            QCOMPARE(shown, wanted);
            QCOMPARE(table->rowCount(), wanted.size());
            // The list of events shows the event as the ledger now has it.
            const auto stored = LedgerEvents(host().connection.engine().get()).events();
            QVERIFY(stored);
            for (const GiftEvent& e : *stored) {
                if (e.key == w.event())
                    QCOMPARE(events->currentText(),
                             u"2026年10月1日　结婚　收礼　%1 笔　%2"_s.arg(e.count).arg(ReportText::money(e.total)));
            }
            QCOMPARE(events->count(), stored->size());
            // A refused edit leaves the cell as it was.
            if (id == 0 && (action == u"edit"_s || action == u"cancel"_s))
                QCOMPARE(::column(*table, column), cellsBefore);
        }));
        if (id != 0 && after.isEmpty())
            expected.remove(id);
        else if (id != 0)
            expected.insert(id, after);
        QCOMPARE(ledger(host()), expected);
        QCOMPARE(host().refills, action == u"undo"_s || id != 0 ? 1 : 0);
    }
};

QTEST_MAIN(TestGiftBookWindow)
#include "test_gift_book_window.moc"
