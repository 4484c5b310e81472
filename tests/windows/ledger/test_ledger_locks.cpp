// Another program that holds the ledger file locked: a short lock is waited for by a connect, an add and a
// refill; a lock held past the wait gives the Chinese message, loses nothing, and the next action after the
// lock is gone works without anything being reopened by hand.

#include "TempFolder.h"
#include "TestHost.h"
#include "store/engine/EngineConnection.h"

#include <QProcess>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using ovelta::EngineConnection;
namespace LedgerFile = ovelta::LedgerFile;
using ovelta::LedgerGrid;
using ovelta::RecordSet;
using ovelta::test::TempFolder;
using ovelta::test::TestHost;

namespace {

const QString Busy = u"数据库文件正被其他程序使用,请稍后再试!"_s;

QString insertGift(const QString& name)
{
    return u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('送礼','%1','2021-3-4','同事','生日','200','')"_s
        .arg(name);
}

QStringList names(const LedgerGrid& grid)
{
    QStringList texts;
    for (int row = LedgerGrid::FixedRows; row < grid.rowCount(); ++row)
        texts << grid.cellText(row, 3);
    return texts;
}

/// Another program holding the ledger file locked for a while; started locked.
class Lock
{
public:
    explicit Lock(int milliseconds)
    {
        m_peer.start(qEnvironmentVariable("OVELTA_LEDGER_PEER"),
                     {u"lock"_s, LedgerFile::name(), QString::number(milliseconds)});
        while (!m_output.contains("locked\n") && m_peer.waitForReadyRead(30000))
            m_output += m_peer.readAllStandardOutput();
    }
    bool isHeld() const { return m_output.contains("locked\n") && !m_output.contains("releasing"); }
    /// True when the lock had begun to be let go by now (what this process did in between had waited for it).
    bool wasReleasing()
    {
        // The line is in the pipe already when it was written before the lock went; a few milliseconds to
        // take it in, far less than the rest of the lock would last.
        for (int i = 0; i < 4 && !m_output.contains("releasing\n"); ++i) {
            m_peer.waitForReadyRead(50);
            m_output += m_peer.readAllStandardOutput();
        }
        return m_output.contains("releasing\n");
    }
    bool endsWell()
    {
        return m_peer.waitForFinished(30000) && m_peer.exitStatus() == QProcess::NormalExit && m_peer.exitCode() == 0;
    }

private:
    QProcess m_peer;
    QByteArray m_output;
};

} // namespace

class TestLedgerLocks : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempFolder> m_folder;
    std::unique_ptr<TestHost> m_host;
    QStringList m_reported;

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<TempFolder>();
        m_host = std::make_unique<TestHost>();
        QVERIFY(m_host->createAndConnect());
        QVERIFY(m_host->connection.execute(insertGift(u"甲"_s)));
        m_reported.clear();
        RecordSet::setErrorReporter([this](const QString& message) { m_reported << message; });
    }
    void cleanup()
    {
        RecordSet::setErrorReporter({});
        EngineConnection::setBusyTimeout(5000);
        m_host.reset();
        m_folder.reset();
    }

    void aShortLockIsWaitedFor()
    {
        Lock duringConnect(1000);
        QVERIFY(duringConnect.isHeld());
        QVERIFY(m_host->connection.connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(duringConnect.wasReleasing());
        QVERIFY(duringConnect.endsWell());

        Lock duringAdd(1000);
        QVERIFY(duringAdd.isHeld());
        QVERIFY(m_host->connection.execute(insertGift(u"乙"_s)));
        QCOMPARE(m_host->connection.changedRows(), 1);
        QVERIFY(duringAdd.wasReleasing());
        QVERIFY(duringAdd.endsWell());

        Lock duringRefill(1000);
        QVERIFY(duringRefill.isHeld());
        m_host->ledgerRefill();
        QVERIFY(duringRefill.wasReleasing());
        QVERIFY(duringRefill.endsWell());
        QCOMPARE(names(m_host->grid()), QStringList({u"甲"_s, u"乙"_s}));
        QVERIFY(m_reported.isEmpty());
    }

    void aLockPastTheWaitIsNamedAndLosesNothing()
    {
        EngineConnection::setBusyTimeout(100);
        QVERIFY(m_host->connectAll());
        {
            Lock lock(1500);
            QVERIFY(lock.isHeld());
            QVERIFY(!m_host->connection.execute(insertGift(u"乙"_s)));
            QCOMPARE(m_host->connection.lastError(), Busy);
            QCOMPARE(m_host->connection.changedRows(), -1);
            m_host->ledgerRefill();
            QCOMPARE(m_reported, QStringList{Busy});
            QCOMPARE(m_host->grid().rowCount(), LedgerGrid::FixedRows);
            QVERIFY(lock.endsWell());
        }
        // Once the lock is gone, the same objects work again as they are.
        QVERIFY(m_host->connection.execute(insertGift(u"乙"_s)));
        m_host->ledgerRefill();
        QCOMPARE(names(m_host->grid()), QStringList({u"甲"_s, u"乙"_s}));
        QCOMPARE(m_reported.size(), 1);
    }

    void aConnectThatALockRefusedIsMadeAgainByTheNextAction()
    {
        EngineConnection::setBusyTimeout(100);
        {
            Lock lock(1500);
            QVERIFY(lock.isHeld());
            QVERIFY(!m_host->connection.connect(LedgerFile::name(), LedgerFile::password()));
            QVERIFY(m_host->connection.isLockedOut());
            QCOMPARE(m_host->connection.lastError(), Busy);
            // Each action tries once more, and names the lock while it lasts.
            m_host->ledgerRefill();
            QVERIFY(!m_host->connection.execute(insertGift(u"乙"_s)));
            QCOMPARE(m_reported, QStringList{Busy});
            QCOMPARE(m_host->connection.lastError(), Busy);
            QVERIFY(lock.endsWell());
        }
        m_host->ledgerRefill();
        QVERIFY(m_host->connection.isOpen());
        QCOMPARE(names(m_host->grid()), QStringList{u"甲"_s});
        QVERIFY(m_host->connection.execute(insertGift(u"乙"_s)));
        QCOMPARE(m_host->connection.changedRows(), 1);
        QCOMPARE(m_reported.size(), 1);
    }

    void aConnectRefusedForAnotherReasonIsNotRetried()
    {
        QVERIFY(!m_host->connection.connect(LedgerFile::name(), u"wrong"_s));
        QVERIFY(!m_host->connection.isLockedOut());
        QCOMPARE(m_host->connection.lastError(), u"文件不是数据库,或者数据库密码不对。"_s);
        m_host->ledgerRefill();
        QCOMPARE(m_reported, QStringList{u"文件不是数据库,或者数据库密码不对。"_s});
        QVERIFY(!m_host->connection.isOpen());
        m_host->connection.close();
        QVERIFY(!m_host->connection.execute(insertGift(u"乙"_s)));
        QCOMPARE(m_host->connection.lastError(), u"数据库没有连接,不能进行此操作。"_s);
    }
};

QTEST_MAIN(TestLedgerLocks)
#include "test_ledger_locks.moc"
