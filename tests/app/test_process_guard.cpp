// The real program under a real X server, against ledgers that must not be touched: a named pipe under the
// ledger's name, a ledger reached by a second copy through a hard link, and a ledger found damaged after the
// login, which is never written and is restored from its newest good backup or left as it is.

#include "XSession.h"
#include "store/EngineConnection.h"
#include "store/LedgerBackup.h"
#include "store/LedgerFile.h"
#include "store/LedgerSchema.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using ovelta::test::ProgramCopy;
using ovelta::test::XSession;

namespace {

const QString DamageTitle = u"数据库文件已损坏"_s;

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// A ledger of some hundreds of pages with the records spread over them.
bool makeLedger(const QString& path, int records)
{
    if (!LedgerSchema::createFile(path, LedgerFile::password()))
        return false;
    const auto engine = EngineConnection::open(path, LedgerFile::password());
    return engine
        && engine->executeNative(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE "
                                                "i<%1) INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) SELECT "
                                                "'收礼', '客人'||i, '2020-01-01 00:00:00', '朋友', '结婚', i*10000, "
                                                "printf('%%080d', i) FROM n")
                                     .arg(records)
                                     .toUtf8()
                                     .constData());
}

/// Overwrites a few bytes of a page in the second half of the file, where the ledger's rows lie.
bool damage(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || f.size() < 128 * 1024)
        return false;
    return f.seek((f.size() / 1024 * 3 / 4) * 1024 + 200) && f.write("DAMAGED!") == 8;
}

qint64 recordsOf(const QString& path)
{
    const auto engine = EngineConnection::open(path, LedgerFile::password(), EngineConnection::Options{true, false});
    if (!engine)
        return -1;
    const auto count = engine->prepareNative(u"SELECT count(*) FROM 收送礼"_s);
    return count && sqlite3_step(count.get()) == SQLITE_ROW ? sqlite3_column_int64(count.get(), 0) : -1;
}

} // namespace

class TestProcessGuard : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<XSession> m_x;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QTemporaryDir> m_runtime;

    QString folder() const { return m_folder->path(); }
    QString file(const QString& name) const { return QDir(folder()).filePath(name); }

    /// Logs in with the seeded password at a login window that the copy shows.
    bool logIn(const ProgramCopy& copy)
    {
        const QString login = m_x->waitForWindow(copy.pid(), u"Ovelta"_s);
        if (login.isEmpty())
            return false;
        m_x->typeText(login, u"kelpo"_s);
        m_x->pressKeys(login, {u"Return"_s});
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_x = std::make_unique<XSession>();
        if (!m_x->isValid())
            QFAIL(qPrintable(m_x->error()));
    }

    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_runtime = std::make_unique<QTemporaryDir>();
        QVERIFY(ProgramCopy::install(folder()));
    }

    // A named pipe under the ledger's name is named and refused; nothing waits on it.
    void aNamedPipeUnderTheLedgersNameIsRefusedAtOnce()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(file(u"lgbk.xc"_s)).constData(), 0600), 0);
        ProgramCopy copy(*m_x, folder(), m_runtime->path());
        const QString box = m_x->waitForWindow(copy.pid(), u"错误"_s);
        QVERIFY2(!box.isEmpty(), copy.output().constData());
        QCOMPARE(m_x->windowsOf(copy.pid()).size(), 1);
        m_x->pressKeys(box, {u"Return"_s});
        QVERIFY(copy.waitForExit());
        QCOMPARE(copy.exitCode(), 0);
        struct stat info;
        QVERIFY(::lstat(QFile::encodeName(file(u"lgbk.xc"_s)).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
        QVERIFY(!QDir(file(u"备份"_s)).exists());
    }

    // One ledger file in two folders (a hard link): the second copy meets the first one's lock on the file.
    void aSecondCopyOnTheSameFileThroughAHardLinkIsRefused()
    {
        QVERIFY(makeLedger(file(u"lgbk.xc"_s), 10));
        QTemporaryDir other;
        QVERIFY(ProgramCopy::install(other.path()));
        QCOMPARE(::link(QFile::encodeName(file(u"lgbk.xc"_s)).constData(),
                        QFile::encodeName(QDir(other.path()).filePath(u"lgbk.xc"_s)).constData()),
                 0);
        ProgramCopy first(*m_x, folder(), m_runtime->path());
        QVERIFY(!m_x->waitForWindow(first.pid(), u"Ovelta"_s).isEmpty());
        QTemporaryDir otherRuntime;
        ProgramCopy second(*m_x, other.path(), otherRuntime.path());
        const QString box = m_x->waitForWindow(second.pid(), u"信息提示"_s);
        QVERIFY2(!box.isEmpty(), "the second copy is not refused");
        QCOMPARE(m_x->windowsOf(second.pid()).size(), 1);
        m_x->pressKeys(box, {u"Return"_s});
        QVERIFY(second.waitForExit());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(first.isRunning());
    }

    // Found damaged while the grid is filled after the login: the user is told, the newest good backup is
    // offered and put in the damaged file's place, which is kept aside; nothing is written into the damaged file
    // and its end makes no backup.
    void aDamagedLedgerIsRestoredFromItsNewestGoodBackup_data()
    {
        QTest::addColumn<bool>("withBackup");
        QTest::newRow("with a good backup") << true;
        QTest::newRow("without a backup") << false;
    }
    void aDamagedLedgerIsRestoredFromItsNewestGoodBackup()
    {
        QFETCH(bool, withBackup);
        const QString ledger = file(u"lgbk.xc"_s);
        QVERIFY(makeLedger(ledger, 3000));
        QString good;
        if (withBackup) {
            QString error;
            QVERIFY2(LedgerBackup::create(ledger, LedgerFile::password(), QDateTime(QDate(2026, 12, 1), QTime(8, 0)),
                                          &good, &error),
                     qPrintable(error));
            // A newer backup that is itself damaged is passed over.
            QString bad;
            QVERIFY(LedgerBackup::create(ledger, LedgerFile::password(), QDateTime(QDate(2026, 12, 2), QTime(8, 0)),
                                         &bad, &error));
            QVERIFY(damage(bad));
        }
        QVERIFY(damage(ledger));
        const QByteArray damaged = contentOf(ledger);
        const QStringList backupsBefore = QDir(file(u"备份"_s)).entryList(QDir::Files | QDir::Hidden);

        ProgramCopy copy(*m_x, folder(), m_runtime->path());
        QVERIFY(logIn(copy));
        const QString box = m_x->waitForWindow(copy.pid(), DamageTitle, 30000);
        QVERIFY2(!box.isEmpty(), copy.output().constData());
        m_x->pressKeys(box, {u"Return"_s}); // Yes (the default) restores; without a backup, OK ends
        if (withBackup) {
            QString done;
            QTRY_VERIFY_WITH_TIMEOUT(
                !(done = m_x->waitForWindow(copy.pid(), DamageTitle, 500)).isEmpty() && done != box, 20000);
            m_x->pressKeys(done, {u"Return"_s});
        }
        QVERIFY(copy.waitForExit());
        QCOMPARE(copy.exitCode(), 0);

        QCOMPARE(QDir(file(u"备份"_s)).entryList(QDir::Files | QDir::Hidden), backupsBefore);
        const QStringList aside = QDir(folder()).entryList({u"lgbk-损坏-*.xc"_s}, QDir::Files);
        if (!withBackup) {
            QCOMPARE(contentOf(ledger), damaged);
            QVERIFY(aside.isEmpty());
            return;
        }
        QCOMPARE(contentOf(ledger), contentOf(good));
        QCOMPARE(recordsOf(ledger), qint64(3000));
        QCOMPARE(aside.size(), 1);
        QCOMPARE(contentOf(file(aside.first())), damaged);
    }
};

QTEST_GUILESS_MAIN(TestProcessGuard)
#include "test_process_guard.moc"
