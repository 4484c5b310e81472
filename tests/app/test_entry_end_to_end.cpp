// The real program under a real X server: a record typed into the entry window survives a restart and shows in
// the ledger grid. Needs the built program ($OVELTA_BINARY), as the full build provides.

#include "XSession.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"

#include <QDate>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using ovelta::test::ProgramCopy;
using ovelta::test::XSession;

namespace {

const QString AddTitle = u"添加新的收支账目"_s;

// Coordinates in the main window's written client area, below its menu bar: the toolbar's ten buttons share its
// width above the grid, whose first data row lies under the title and header rows.
const int ClientHeight = 446;
const QPoint AddButton(30, 28);
const QPoint ModifyButton(85, 28);
const QPoint FirstDataRow(100, 118);

} // namespace

class TestEntryEndToEnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void recordTypedWithTheKeyboardSurvivesARestart();

private:
    /// Logs in with the seeded account and returns the main window's id.
    QString logIn(ProgramCopy& copy, const QString& login);
    void click(const QString& window, QPoint at);

    std::unique_ptr<XSession> m_x;
};

void TestEntryEndToEnd::initTestCase()
{
    m_x = std::make_unique<XSession>();
    if (!m_x->isValid())
        QFAIL(qPrintable(m_x->error()));
}

QString TestEntryEndToEnd::logIn(ProgramCopy& copy, const QString& login)
{
    m_x->typeText(login, u"kelpo"_s);
    m_x->pressKeys(login, {u"Return"_s});
    QString mainId;
    for (int tries = 0; tries < 100 && mainId.isEmpty(); ++tries) {
        const QString id = m_x->waitForWindow(copy.pid(), u"Ovelta"_s, 200);
        if (!id.isEmpty() && m_x->windowSize(id).width() > 400)
            mainId = id;
    }
    return mainId;
}

void TestEntryEndToEnd::click(const QString& window, QPoint at)
{
    // The window is taller than its client area by the menu bar above it.
    at.ry() += m_x->windowSize(window).height() - ClientHeight;
    m_x->xdotool({u"mousemove"_s, u"--sync"_s, u"--window"_s, window, QString::number(at.x()), QString::number(at.y()),
                  u"click"_s, u"1"_s});
}

void TestEntryEndToEnd::recordTypedWithTheKeyboardSurvivesARestart()
{
    QTemporaryDir folder;
    QTemporaryDir runtime;
    QVERIFY(ProgramCopy::install(folder.path()));
    {
        ProgramCopy copy(*m_x, folder.path(), runtime.path());
        const QString question = m_x->waitForWindow(copy.pid(), u"信息："_s);
        QVERIFY2(!question.isEmpty(), "no database question on the first start");
        m_x->pressKeys(question, {u"Return"_s});
        const QString created = m_x->waitForWindow(copy.pid(), u"提示"_s);
        QVERIFY(!created.isEmpty());
        m_x->pressKeys(created, {u"Return"_s});
        const QString login = m_x->waitForWindow(copy.pid(), u"Ovelta"_s);
        QVERIFY(!login.isEmpty());
        const QString mainId = logIn(copy, login);
        QVERIFY2(!mainId.isEmpty(), "no main window after the login");

        click(mainId, AddButton);
        const QString entry = m_x->waitForWindow(copy.pid(), AddTitle);
        QVERIFY2(!entry.isEmpty(), "the add button opened no entry window");
        // The focus starts in the direction list; Tab follows the window's tab sequence from there.
        m_x->pressKeys(entry, {u"Down"_s, u"Tab"_s});
        m_x->typeText(entry, u"Wang Wu"_s);
        m_x->pressKeys(entry, {u"Tab"_s, u"Down"_s, u"Tab"_s, u"Down"_s, u"Tab"_s});
        m_x->typeText(entry, u"66.6"_s);
        m_x->pressKeys(entry, {u"Return"_s});
        const QString saved = m_x->waitForWindow(copy.pid(), u"添加账目成功"_s);
        QVERIFY2(!saved.isEmpty(), "no success message after Enter");
        m_x->pressKeys(saved, {u"Return"_s});

        // A fresh add window takes the old one's place; Esc leaves it.
        QString next;
        for (int tries = 0; tries < 100 && next.isEmpty(); ++tries) {
            const QString id = m_x->waitForWindow(copy.pid(), AddTitle, 200);
            if (!id.isEmpty() && id != entry)
                next = id;
        }
        QVERIFY2(!next.isEmpty(), "no fresh add window after the success message");
        m_x->pressKeys(next, {u"Escape"_s});
        QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(copy.pid(), AddTitle, 200).isEmpty(), 10000);
        copy.kill();
    }

    {
        DatabaseConnection connection;
        RecordSet records;
        QVERIFY(connection.connect(QDir(folder.path()).filePath(LedgerFile::name()), LedgerFile::password()));
        QVERIFY(records.bind(&connection));
        QVERIFY(records.open(u"select * from 收送礼"_s));
        QCOMPARE(records.rowCount(), 1);
        QString direction, name, relation, kind;
        QDateTime time;
        qint64 ticks = 0;
        QVERIFY(records.readText(u"收送"_s, direction));
        QVERIFY(records.readText(u"姓名"_s, name));
        QVERIFY(records.readText(u"关系"_s, relation));
        QVERIFY(records.readText(u"类型"_s, kind));
        QVERIFY(records.readDateTime(u"时间"_s, time));
        QVERIFY(records.readCurrency(u"金额"_s, ticks));
        QCOMPARE(direction, u"收礼"_s);
        QCOMPARE(name, u"Wang Wu"_s);
        QCOMPARE(relation, u"亲戚"_s);
        QCOMPARE(kind, u"结婚"_s);
        QCOMPARE(ticks, qint64(666000));
        QCOMPARE(time.time(), QTime(0, 0));
        QVERIFY(qAbs(time.date().daysTo(QDate::currentDate())) <= 1);
        records.close();
    }

    ProgramCopy again(*m_x, folder.path(), runtime.path());
    const QString login = m_x->waitForWindow(again.pid(), u"Ovelta"_s);
    QVERIFY2(!login.isEmpty(), "no login window on the second start");
    const QString mainId = logIn(again, login);
    QVERIFY2(!mainId.isEmpty(), "no main window after the second login");
    // Modifying the grid's first row opens the entry window for the record's ID, read from the grid.
    click(mainId, FirstDataRow);
    click(mainId, ModifyButton);
    const QString modify = m_x->waitForWindow(again.pid(), u"修改编号为1的账目信息"_s);
    QVERIFY2(!modify.isEmpty(),
             qPrintable(u"the grid holds no record 1; windows: "_s + m_x->windowsOf(again.pid()).join(u", "_s)));
    m_x->pressKeys(modify, {u"Escape"_s});
}

QTEST_GUILESS_MAIN(TestEntryEndToEnd)
#include "test_entry_end_to_end.moc"
