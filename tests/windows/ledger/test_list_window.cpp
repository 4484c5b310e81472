// The relations and banquet types windows over a real ledger file: the list as read from the table, adding
// with its checks, deleting with its question, and the way back to the ledger.

#include "GuiSupport.h"
#include "LedgerFixture.h"
#include "ModalSteps.h"
#include "store/engine/EngineConnection.h"

#include "ui/base/SharedState.h"
#include "windows/ledger/EntryWindow.h"
#include "windows/ledger/ListWindow.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

Q_DECLARE_METATYPE(ovelta::ListWindow::Kind)

namespace {

const QString notDeleted = u"数据没有被删除！"_s;

QString describe(const MessageBox::Record& r)
{
    static const QStringList buttons{u"OkOnly"_s, u"OkCancel"_s, u"YesNo"_s, u"YesNoCancel"_s, u"RetryCancel"_s};
    static const QStringList icons{u"NoIcon"_s, u"Information"_s, u"Warning"_s, u"Stop"_s, u"Question"_s};
    return r.text + u'|' + r.title + u'|' + buttons.value(r.buttons) + u'|' + icons.value(r.icon) + u'|'
        + QString::number(r.defaultButton);
}

QString box(const QString& text, const QString& title, const QString& buttons, const QString& icon,
            MessageBox::Answer defaultButton = MessageBox::Ok)
{
    return text + u'|' + title + u'|' + buttons + u'|' + icon + u'|' + QString::number(defaultButton);
}

QStringList described(const BoxRecorder& boxes)
{
    QStringList out;
    for (const auto& r : boxes.shown())
        out << describe(r);
    return out;
}

/// One per kind: what the window must show and say, written out independently of the window's own table.
struct Expected
{
    QString id;
    QString table;
    QString title;
    QString addButton;
    QString deleteButton;
    QStringList seeded;
    QString empty;
    QString duplicate;
    QString done;
};

Expected expected(ListWindow::Kind kind)
{
    if (kind == ListWindow::Relations) {
        return {u"relations"_s,
                u"关系"_s,
                u"来往关系"_s,
                u"添加关系按钮"_s,
                u"删除关系按钮"_s,
                {u"1 亲戚"_s, u"2 朋友"_s, u"3 同学"_s, u"4 同事"_s, u"5 其他"_s},
                box(u"请输入关系！"_s, u"提示"_s, u"OkOnly"_s, u"Stop"_s),
                box(u"重复关系！"_s, u"错误"_s, u"OkOnly"_s, u"Stop"_s),
                box(u"成功添关系！"_s, u"添加成功"_s, u"OkOnly"_s, u"Information"_s)};
    }
    return {u"banquetTypes"_s,
            u"类型"_s,
            u"酒席类型"_s,
            u"添加类型按钮"_s,
            u"删除类型按钮"_s,
            {u"1 结婚"_s, u"2 生日"_s, u"3 升职"_s, u"4 乔迁"_s, u"5 探病"_s, u"6 丧礼"_s},
            box(u"请输入类型！"_s, u"错误"_s, u"OkOnly"_s, u"Stop"_s),
            box(u"重复类型！"_s, u"错误"_s, u"OkOnly"_s, u"Stop"_s),
            box(u"类型添加成功！"_s, u"添加成功"_s, u"OkOnly"_s, u"Information"_s)};
}

/// A list window opened on the host, destroyed at the end of the test if it is still there.
class OpenList
{
public:
    OpenList(TestHost& host, ListWindow::Kind kind)
        : m_window(new ListWindow(host, kind))
    {
        m_window->openModeless();
    }
    ~OpenList() { delete m_window.data(); }
    OpenList(const OpenList&) = delete;
    OpenList& operator=(const OpenList&) = delete;

    ListWindow* window() const { return m_window.data(); }
    QTreeWidget* list() const { return findControl<QTreeWidget>(m_window, u"超级列表框1"_s); }
    QLineEdit* entry() const { return findControl<QLineEdit>(m_window, u"编辑框1"_s); }
    void click(const QString& button) const { findControl<QPushButton>(m_window, button)->click(); }
    void add(const QString& text, const Expected& e) const
    {
        entry()->setText(text);
        click(e.addButton);
    }
    /// "ID text" of every list row, top to bottom.
    QStringList rows() const
    {
        QStringList out;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            out << list()->topLevelItem(i)->text(0) + u' ' + list()->topLevelItem(i)->text(1);
        return out;
    }
    void select(int row) const { list()->topLevelItem(row)->setSelected(true); }
    bool entryHasFocus() const { return m_window->focusWidget() == entry(); }

private:
    QPointer<ListWindow> m_window;
};

/// "ID text" of every row of a lookup table, read through the record set.
QStringList tableRows(TestHost& host, const QString& table)
{
    QStringList out;
    if (!host.recordSet.open(u"select * from "_s + table))
        return {u"(open failed)"_s};
    for (host.recordSet.moveFirst(); !host.recordSet.atEnd(); host.recordSet.moveNext()) {
        qint64 id = 0;
        QString text;
        host.recordSet.readInteger(u"ID"_s, id);
        host.recordSet.readText(table, text);
        out << QString::number(id) + u' ' + text;
    }
    host.recordSet.close();
    return out;
}

} // namespace

class TestListWindow : public QObject
{
    Q_OBJECT

private:
    void kinds()
    {
        QTest::addColumn<ListWindow::Kind>("kind");
        QTest::newRow("relations") << ListWindow::Relations;
        QTest::newRow("banquetTypes") << ListWindow::Occasions;
    }

private Q_SLOTS:
    void loadShowsSeededTableInOrder_data() { kinds(); }
    void loadShowsSeededTableInOrder()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();

        OpenList w(host, kind);
        QCOMPARE(w.window()->objectName(), e.id);
        QCOMPARE(w.list()->columnCount(), 2);
        const QTreeWidgetItem* header = w.list()->headerItem();
        QCOMPARE(header->text(0), u"ID"_s);
        QCOMPARE(header->text(1), e.title);
        QCOMPARE(w.list()->header()->sectionSize(0), 33);
        QCOMPARE(w.list()->header()->sectionSize(1), 70);
        QCOMPARE(Qt::Alignment(header->textAlignment(0)) & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        QCOMPARE(Qt::Alignment(header->textAlignment(1)) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(w.rows(), e.seeded);
        QVERIFY(w.entryHasFocus());
        QCOMPARE(boxes.count(), 0);
    }

    void failingListQueryLeavesTwoEmptyColumns()
    {
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        QVERIFY(host.connection.engine()->executeNative("DROP TABLE 关系"));
        BoxRecorder& boxes = fixture.boxes();

        OpenList w(host, ListWindow::Relations);
        QCOMPARE(w.list()->columnCount(), 2);
        QCOMPARE(w.list()->headerItem()->text(1), u"来往关系"_s);
        QCOMPARE(w.list()->topLevelItemCount(), 0);
        QCOMPARE(boxes.count(), 0);
    }

    void blankEntriesAreRefused_data() { kinds(); }
    void blankEntriesAreRefused()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenList w(host, kind);

        for (const QString& blanks : {QString(), u"   "_s, u"\u3000 \u3000"_s}) {
            boxes.clear();
            w.add(blanks, e);
            QCOMPARE(described(boxes), QStringList{e.empty});
            QCOMPARE(w.entry()->text(), blanks);
            QVERIFY(w.entryHasFocus());
        }
        QCOMPARE(tableRows(host, e.table), e.seeded);
        QCOMPARE(w.rows(), e.seeded);
    }

    void addListsNewEntryWithItsNewId_data() { kinds(); }
    void addListsNewEntryWithItsNewId()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenList w(host, kind);
        findControl<QPushButton>(w.window(), e.addButton)->setFocus();

        // Blanks of both widths are trimmed; blanks inside the entry stay.
        w.add(u"\u3000 老 街坊 \u3000"_s, e);
        QCOMPARE(described(boxes), QStringList{e.done});
        const QString added = QString::number(e.seeded.size() + 1) + u" 老 街坊"_s;
        QCOMPARE(w.rows(), e.seeded + QStringList{added});
        QCOMPARE(tableRows(host, e.table), e.seeded + QStringList{added});
        QCOMPARE(w.entry()->text(), QString());
        QVERIFY(w.entryHasFocus());
        const auto& state = SharedState::instance();
        QCOMPARE(kind == ListWindow::Relations ? state.newRelation : state.newBanquetType, u"老 街坊"_s);

        // The engine's counter goes on after a delete: a re-added entry gets a new ID, not the freed one.
        QVERIFY(host.connection.execute(u"delete from "_s + e.table + u" where id=1"_s));
        const QString first = e.seeded.first().section(u' ', 1);
        boxes.clear();
        w.add(first, e);
        QCOMPARE(described(boxes), QStringList{e.done});
        QCOMPARE(w.rows().last(), QString::number(e.seeded.size() + 2) + u' ' + first);
        QCOMPARE(w.rows().first(), e.seeded.at(1));
    }

    void duplicatesAreRefused_data() { kinds(); }
    void duplicatesAreRefused()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenList w(host, kind);

        const QString existing = e.seeded.at(1).section(u' ', 1);
        for (const QString& typed : {existing, u" "_s + existing + u"\u3000"_s}) {
            boxes.clear();
            w.add(typed, e);
            QCOMPARE(described(boxes), QStringList{e.duplicate});
            QCOMPARE(w.entry()->text(), typed);
        }
        QCOMPARE(tableRows(host, e.table), e.seeded);
        QCOMPARE(w.rows(), e.seeded);
    }

    void birthdayWithBlanksIsDuplicateOrStoredTrimmed()
    {
        const Expected e = expected(ListWindow::Occasions);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenList w(host, ListWindow::Occasions);

        w.add(u" 生日 "_s, e);
        QCOMPARE(described(boxes), QStringList{box(u"重复类型！"_s, u"错误"_s, u"OkOnly"_s, u"Stop"_s)});

        QVERIFY(host.connection.execute(u"delete from 类型 where id=2"_s));
        boxes.clear();
        w.add(u" 生日 "_s, e);
        QCOMPARE(described(boxes), QStringList{box(u"类型添加成功！"_s, u"添加成功"_s, u"OkOnly"_s, u"Information"_s)});
        QCOMPARE(tableRows(host, u"类型"_s),
                 (QStringList{u"1 结婚"_s, u"3 升职"_s, u"4 乔迁"_s, u"5 探病"_s, u"6 丧礼"_s, u"7 生日"_s}));
        QCOMPARE(w.rows(), tableRows(host, u"类型"_s));
    }

    void entryWithApostropheIsAddedThenFoundAsDuplicate_data() { kinds(); }
    void entryWithApostropheIsAddedThenFoundAsDuplicate()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenList w(host, kind);

        const QString tricky = u"O'Neil's'); drop table 账号; --"_s;
        w.add(tricky, e);
        QCOMPARE(described(boxes), QStringList{e.done});
        QCOMPARE(w.rows().last(), QString::number(e.seeded.size() + 1) + u' ' + tricky);

        boxes.clear();
        w.add(tricky, e);
        QCOMPARE(described(boxes), QStringList{e.duplicate});
        QCOMPARE(tableRows(host, e.table), e.seeded + QStringList{w.rows().last()});
        QCOMPARE(tableRows(host, u"账号"_s).size(), 1);
    }

    void deleteAnsweredNoDeletesNothing_data() { kinds(); }
    void deleteAnsweredNoDeletesNothing()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenList w(host, kind);
        w.select(0);

        boxes.answer(MessageBox::No);
        w.click(e.deleteButton);
        QCOMPARE(described(boxes),
                 (QStringList{box(u"确认删除?"_s, u"警告!"_s, u"YesNo"_s, u"Warning"_s, MessageBox::Yes),
                              box(notDeleted, u"错误"_s, u"OkOnly"_s, u"Stop"_s)}));
        QCOMPARE(boxes.shown().first().answer, MessageBox::No);
        QCOMPARE(tableRows(host, e.table), e.seeded);
        QCOMPARE(w.rows(), e.seeded);
        QVERIFY(w.list()->topLevelItem(0)->isSelected());
    }

    void deleteWithoutSelectionDeletesNothing_data() { kinds(); }
    void deleteWithoutSelectionDeletesNothing()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenList w(host, kind);
        w.list()->clearSelection();

        boxes.answer(MessageBox::Yes);
        w.click(e.deleteButton);
        QCOMPARE(boxes.count(), 2);
        QCOMPARE(boxes.shown().first().answer, MessageBox::Yes);
        QCOMPARE(describe(boxes.last()), box(notDeleted, u"错误"_s, u"OkOnly"_s, u"Stop"_s));
        QCOMPARE(tableRows(host, e.table), e.seeded);
    }

    void deleteRemovesFirstSelectedRowAndReloads_data() { kinds(); }
    void deleteRemovesFirstSelectedRowAndReloads()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenList w(host, kind);
        // Selected bottom row first: the delete still takes the row that comes first in the list.
        w.select(3);
        w.select(1);

        boxes.answer(MessageBox::Yes);
        w.click(e.deleteButton);
        QCOMPARE(described(boxes).last(), box(u"删除数据成功！"_s, u"提示"_s, u"OkOnly"_s, u"Information"_s));
        QStringList remaining = e.seeded;
        remaining.removeAt(1);
        QCOMPARE(tableRows(host, e.table), remaining);
        QCOMPARE(w.rows(), remaining);
        QVERIFY(w.entryHasFocus());
    }

    void deleteOfLastRowLeavesEmptyList_data() { kinds(); }
    void deleteOfLastRowLeavesEmptyList()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        QVERIFY(host.connection.execute(u"delete from "_s + e.table + u" where id<>3"_s));
        BoxRecorder& boxes = fixture.boxes();
        OpenList w(host, kind);
        QCOMPARE(w.rows(), QStringList{e.seeded.at(2)});

        w.select(0);
        boxes.answer(MessageBox::Yes);
        w.click(e.deleteButton);
        QCOMPARE(described(boxes).last(), box(u"删除数据成功！"_s, u"提示"_s, u"OkOnly"_s, u"Information"_s));
        QCOMPARE(tableRows(host, e.table), QStringList());
        QCOMPARE(w.list()->topLevelItemCount(), 0);
        QCOMPARE(w.list()->columnCount(), 2);
        QCOMPARE(w.list()->headerItem()->text(1), e.title);
    }

    void entryWindowOffersTheChangedListNextTime_data() { kinds(); }
    void entryWindowOffersTheChangedListNextTime()
    {
        QFETCH(ListWindow::Kind, kind);
        const Expected e = expected(kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        {
            OpenList w(host, kind);
            w.add(u"新的"_s, e);
            w.select(0);
            boxes.answer(MessageBox::Yes);
            w.click(e.deleteButton);
            w.click(u"返回按钮"_s);
        }
        QStringList expectedItems;
        for (const QString& row : e.seeded.mid(1))
            expectedItems << row.section(u' ', 1);
        expectedItems << u"新的"_s;

        QStringList offered;
        SharedState::instance().entryMode = u"添加"_s;
        ModalSteps driver(u"entry"_s, {[&](LedgerWindow* entry) {
                              const auto* combo = findControl<QComboBox>(
                                  entry, kind == ListWindow::Relations ? u"关系组合框"_s : u"类型组合框"_s);
                              for (int i = 0; i < combo->count(); ++i)
                                  offered << combo->itemText(i);
                              findControl<QPushButton>(entry, u"返回按钮"_s)->click();
                          }});
        driver.run([&host] { (new EntryWindow(host))->openModal(); });
        QCOMPARE(driver.stepsRun, 1);
        QCOMPARE(driver.leftOpen, 0);
        QCOMPARE(offered, expectedItems);
    }

    void returnClosesModalWindowAndBringsLedgerToFront_data() { kinds(); }
    void returnClosesModalWindowAndBringsLedgerToFront()
    {
        QFETCH(ListWindow::Kind, kind);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();

        QPointer<ListWindow> window = new ListWindow(host, kind);
        bool listedWhileOpen = false;
        QTimer::singleShot(0, window, [&] {
            listedWhileOpen
                = window->isVisible() && findControl<QTreeWidget>(window, u"超级列表框1"_s)->topLevelItemCount() > 0;
            findControl<QPushButton>(window, u"返回按钮"_s)->click();
        });
        window->openModal();
        QVERIFY(listedWhileOpen);
        QVERIFY(window.isNull());
        QCOMPARE(host.broughtToFront, 1);
        QCOMPARE(boxes.count(), 0);
    }
};

QTEST_MAIN(TestListWindow)
#include "test_list_window.moc"
