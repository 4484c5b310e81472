// The grid after an add, modify or delete, updated in place, against a full refill of the same file row by
// row: equal dates and times, records without a date, moves up and down, and the cases that must refill
// instead (another connection's change, a change before a reconnect, more than the one edit, a search result
// in the grid).

#include "GuiSupport.h"
#include "LedgerFixture.h"
#include "ModalSteps.h"
#include "TempFolder.h"
#include "TestHost.h"
#include "store/ledger/LedgerFile.h"
#include "ui/base/EditBox.h"
#include "ui/base/SharedState.h"
#include "windows/ledger/EntryWindow.h"
#include "windows/ledger/LedgerUpdate.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using ovelta::LedgerGrid;
using ovelta::test::TempFolder;
using ovelta::test::TestHost;
namespace LedgerUpdate = ovelta::LedgerUpdate;
using Outcome = LedgerUpdate::Outcome;

Q_DECLARE_METATYPE(LedgerUpdate::Outcome)

namespace {

/// A host whose refill records what it read, as the main window's does.
class TrackingHost : public TestHost
{
public:
    void ledgerRefill() override
    {
        TestHost::ledgerRefill();
        LedgerUpdate::refilled(*this);
    }
};

/// Each record's cells and background, row by row, as the user sees them.
QStringList shown(const LedgerGrid& grid)
{
    QStringList rows;
    for (int row = 0; row < grid.rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < LedgerGrid::Columns; ++c)
            cells << grid.cellText(row, c);
        cells << grid.rowBackground(row).name();
        rows << cells.join(u'|');
    }
    return rows;
}

/// What a refill of the file shows now, through a connection of its own.
QStringList refilled()
{
    TestHost reference;
    if (!reference.connectAll())
        return {u"no connection"_s};
    reference.ledgerRefill();
    return shown(reference.grid());
}

QString insertStatement(const QString& name, const QString& when)
{
    return u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','%1',%2,'朋友','结婚','100','')"_s
        .arg(name, when);
}

/// IDs 1 to 9: two pairs of equal date-times, a third record that day, two without a date.
bool seed(TestHost& host)
{
    const QStringList dates
        = {u"'2011-6-2'"_s, u"'2011-6-2 15:30'"_s,   u"'2011-6-2'"_s,       u"NULL"_s,      u"'2010-1-1'"_s,
           u"NULL"_s,       u"'2012-12-31 23:59'"_s, u"'2011-6-2 15:30'"_s, u"'2011-6-3'"_s};
    for (int i = 0; i < dates.size(); ++i)
        if (!host.connection.execute(insertStatement(u"人%1"_s.arg(i + 1), dates.at(i))))
            return false;
    return true;
}

/// Fills the record entry window and clicks its save button (添加 or 保存).
void save(ovelta::LedgerWindow* w, const QString& name, const QDate& date)
{
    using ovelta::test::findControl;
    findControl<QDateTimeEdit>(w, u"日期框"_s)->setDate(date);
    for (const auto& [box, entry] : {std::pair{u"收送组合框"_s, u"收礼"_s}, std::pair{u"关系组合框"_s, u"朋友"_s},
                                     std::pair{u"类型组合框"_s, u"结婚"_s}}) {
        auto* combo = findControl<QComboBox>(w, box);
        combo->setCurrentIndex(combo->findText(entry));
    }
    findControl<ovelta::EditBox>(w, u"姓名编辑框"_s)->setText(name);
    findControl<ovelta::EditBox>(w, u"金额编辑框"_s)->setText(u"100"_s);
    findControl<QPushButton>(w, u"添加按钮"_s)->click();
}

bool connectOther(ovelta::DatabaseConnection& other)
{
    return other.connect(ovelta::LedgerFile::name(), ovelta::LedgerFile::password());
}

} // namespace

class TestLedgerUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editMatchesRefill_data()
    {
        QTest::addColumn<QString>("edit"); // add, modify or delete
        QTest::addColumn<QString>("id"); // the record modified or deleted
        QTest::addColumn<QString>("when"); // the new record's 时间

        QTest::newRow("add on a day with records, after the equal ones") << u"add"_s << QString() << u"'2011-6-2'"_s;
        QTest::newRow("add at an equal date-time") << u"add"_s << QString() << u"'2011-6-2 15:30'"_s;
        QTest::newRow("add newest") << u"add"_s << QString() << u"'2030-1-1'"_s;
        QTest::newRow("add oldest") << u"add"_s << QString() << u"'1990-1-1'"_s;
        QTest::newRow("add without a date") << u"add"_s << QString() << u"NULL"_s;
        QTest::newRow("modify in place") << u"modify"_s << u"1"_s << u"'2011-6-2'"_s;
        QTest::newRow("modify moves up") << u"modify"_s << u"1"_s << u"'2030-1-1'"_s;
        QTest::newRow("modify moves down") << u"modify"_s << u"7"_s << u"'1990-1-1'"_s;
        QTest::newRow("modify gives a date") << u"modify"_s << u"4"_s << u"'2011-6-2'"_s;
        QTest::newRow("modify takes the date") << u"modify"_s << u"5"_s << u"NULL"_s;
        QTest::newRow("modify the last row to the top") << u"modify"_s << u"6"_s << u"'2030-1-1 8:00'"_s;
        QTest::newRow("delete the first row") << u"delete"_s << u"7"_s << QString();
        QTest::newRow("delete the last row") << u"delete"_s << u"6"_s << QString();
        QTest::newRow("delete among equal dates") << u"delete"_s << u"3"_s << QString();
    }

    void editMatchesRefill()
    {
        QFETCH(QString, edit);
        QFETCH(QString, id);
        QFETCH(QString, when);
        TempFolder folder;
        TrackingHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(seed(host));
        host.ledgerRefill();
        QCOMPARE(shown(host.grid()), refilled());
        host.grid().setCurrentCell(4, 3);

        Outcome outcome = Outcome::Refilled;
        if (edit == u"add") {
            QVERIFY(host.connection.execute(insertStatement(u"新人"_s, when)));
            outcome = LedgerUpdate::afterAdd(host);
        } else if (edit == u"modify") {
            QVERIFY(host.connection.execute(
                u"update 收送礼 set 时间=%1,姓名='改名',金额=NULL where ID=%2"_s.arg(when, id)));
            outcome = LedgerUpdate::afterModify(host, id);
        } else {
            QVERIFY(host.connection.execute(u"delete from 收送礼 where ID="_s + id));
            outcome = LedgerUpdate::afterDelete(host, id);
        }
        QCOMPARE(outcome, Outcome::InPlace);
        QCOMPARE(host.refills, 1);
        QCOMPARE(shown(host.grid()), refilled());
        QCOMPARE(host.grid().currentRow(), -1);
        QVERIFY(!host.recordSet.isOpen());
    }

    void editsInARowStayInPlace()
    {
        TempFolder folder;
        TrackingHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(seed(host));
        host.ledgerRefill();
        for (int i = 0; i < 5; ++i) {
            QVERIFY(host.connection.execute(insertStatement(u"连%1"_s.arg(i), u"'2011-6-2'"_s)));
            QCOMPARE(LedgerUpdate::afterAdd(host), Outcome::InPlace);
        }
        QVERIFY(host.connection.execute(u"delete from 收送礼 where ID=11"_s));
        QCOMPARE(LedgerUpdate::afterDelete(host, u"11"_s), Outcome::InPlace);
        QCOMPARE(host.refills, 1);
        QCOMPARE(shown(host.grid()), refilled());
    }

    void reconnectKeepsTheUpdateInPlace()
    {
        // The record entry window reconnects the connection before it saves.
        TempFolder folder;
        TrackingHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(seed(host));
        host.ledgerRefill();
        QVERIFY(connectOther(host.connection));
        QVERIFY(host.connection.execute(insertStatement(u"新人"_s, u"'2011-6-2'"_s)));
        QCOMPARE(LedgerUpdate::afterAdd(host), Outcome::InPlace);
        QCOMPARE(shown(host.grid()), refilled());
    }

    void otherChangesRefill_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("another connection added a record") << u"other"_s;
        QTest::newRow("another connection added one before a reconnect") << u"other before reconnect"_s;
        QTest::newRow("the program changed more than the one record") << u"two"_s;
        QTest::newRow("the program changed one before a reconnect") << u"own before reconnect"_s;
        QTest::newRow("the program changed one before a new connection") << u"own before new connection"_s;
        QTest::newRow("the grid shows a search result") << u"search"_s;
        QTest::newRow("the connection was closed and opened again") << u"closed"_s;
    }

    void otherChangesRefill()
    {
        QFETCH(QString, change);
        TempFolder folder;
        TrackingHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(seed(host));
        host.ledgerRefill();
        ovelta::DatabaseConnection other;
        if (change == u"other") {
            QVERIFY(connectOther(other));
            QVERIFY(other.execute(insertStatement(u"别处"_s, u"'2011-6-2'"_s)));
        } else if (change == u"other before reconnect") {
            QVERIFY(connectOther(other));
            QVERIFY(other.execute(insertStatement(u"别处"_s, u"NULL"_s)));
            QVERIFY(connectOther(host.connection));
        } else if (change == u"two") {
            QVERIFY(host.connection.execute(insertStatement(u"先"_s, u"'2011-6-2'"_s)));
        } else if (change == u"own before reconnect") {
            QVERIFY(host.connection.execute(insertStatement(u"先"_s, u"'2011-6-2'"_s)));
            QVERIFY(connectOther(host.connection));
        } else if (change == u"own before new connection") {
            // Another name of the file: the connection is opened anew, not kept.
            QVERIFY(host.connection.execute(insertStatement(u"先"_s, u"'2011-6-2'"_s)));
            QVERIFY(host.connection.connect(u"./"_s + ovelta::LedgerFile::name(), ovelta::LedgerFile::password()));
        } else if (change == u"search") {
            host.grid().prepare();
            host.grid().appendRow(ovelta::LedgerRow{});
        } else {
            host.connection.close();
            QVERIFY(connectOther(host.connection));
        }
        QVERIFY(host.connection.execute(insertStatement(u"新人"_s, u"'2011-6-2'"_s)));
        QCOMPARE(LedgerUpdate::afterAdd(host), change == u"closed" ? Outcome::InPlace : Outcome::Refilled);
        QCOMPARE(shown(host.grid()), refilled());
    }

    void entryWindowUpdatesTheGridInPlace()
    {
        // The window reconnects the connection when it opens and saves on the new one.
        using ovelta::test::LedgerFixture;
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        QVERIFY(seed(host));
        host.ledgerRefill();
        LedgerUpdate::refilled(host);
        host.grid().setCurrentCell(3, 1);

        ovelta::SharedState::instance().entryMode = u"添加"_s;
        ovelta::test::ModalSteps add(u"entry"_s,
                                     {[](ovelta::LedgerWindow* w) { save(w, u"新人"_s, QDate(2011, 6, 2)); },
                                      [](ovelta::LedgerWindow* w) { w->requestClose(); }});
        add.run([&host] { (new ovelta::EntryWindow(host))->openModal(); });
        QCOMPARE(fixture.boxes().texts(), QStringList{u"成功添加账目信息。"_s});
        QCOMPARE(host.refills, 1);
        QCOMPARE(host.grid().currentRow(), -1);
        QCOMPARE(shown(host.grid()), refilled());

        fixture.boxes().clear();
        fixture.boxes().answer(ovelta::MessageBox::Yes);
        ovelta::SharedState::instance().entryMode = u"修改"_s;
        ovelta::SharedState::instance().selectedRecordId = u"10"_s;
        ovelta::test::ModalSteps modify(u"entry"_s,
                                        {[](ovelta::LedgerWindow* w) { save(w, u"改名"_s, QDate(1999, 1, 1)); }});
        modify.run([&host] { (new ovelta::EntryWindow(host))->openModal(); });
        QCOMPARE(fixture.boxes().texts(), (QStringList{u"确定要修改选定的账目吗？"_s, u"成功修改账目信息。"_s}));
        QCOMPARE(host.refills, 1);
        QCOMPARE(shown(host.grid()), refilled());
        QCOMPARE(host.grid().cellText(host.grid().rowCount() - 3, 3), u"改名"_s); // before the two without a date
    }

    void hostThatDoesNotRecordItsRefillsAlwaysRefills()
    {
        TempFolder folder;
        TestHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(seed(host));
        host.ledgerRefill();
        QVERIFY(host.connection.execute(u"delete from 收送礼 where ID=2"_s));
        QCOMPARE(LedgerUpdate::afterDelete(host, u"2"_s), Outcome::Refilled);
        QCOMPARE(host.refills, 2);
        QCOMPARE(shown(host.grid()), refilled());
    }

    void unknownOrMalformedKeysRefill_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("no such record") << u"99"_s;
        QTest::newRow("not a key") << u"1 or 1=1"_s;
        QTest::newRow("empty") << QString();
    }

    void unknownOrMalformedKeysRefill()
    {
        QFETCH(QString, id);
        TempFolder folder;
        TrackingHost host;
        QVERIFY(host.createAndConnect());
        QVERIFY(seed(host));
        host.ledgerRefill();
        QVERIFY(host.connection.execute(u"delete from 收送礼 where ID=3"_s));
        QCOMPARE(LedgerUpdate::afterDelete(host, id), Outcome::Refilled);
        QCOMPARE(shown(host.grid()), refilled());
    }
};

QTEST_MAIN(TestLedgerUpdate)
#include "test_ledger_update.moc"
