// The ledger is one file: a write-ahead log left beside it is folded into it on connect, changes go through
// the rollback journal, and after the program ends the file alone holds every record.

#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

QString insertGift(const QString& name)
{
    return u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','%1','2020-5-1','朋友','结婚','100','')"_s
        .arg(name);
}

/// The names of the ledger's records in ID order, read from the file at path alone (a fresh connection);
/// "<no file>" when it does not open.
QStringList names(const QString& path)
{
    const auto engine = EngineConnection::open(path, LedgerFile::password());
    if (!engine)
        return {u"<no file>"_s};
    const EngineConnection::Statement rows = engine->prepareNative(u"SELECT 姓名 FROM 收送礼 ORDER BY ID"_s);
    QStringList result;
    while (rows && sqlite3_step(rows.get()) == SQLITE_ROW)
        result << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(rows.get(), 0)));
    return result;
}

/// A copy of the ledger file alone, without anything that lies beside it, in its own folder.
QString copyAlone(const test::TempFolder& into)
{
    const QString copy = into.file(LedgerFile::name());
    QFile::remove(copy);
    return QFile::copy(LedgerFile::name(), copy) ? copy : QString();
}

QString journalMode(EngineConnection& engine)
{
    const EngineConnection::Statement mode = engine.prepareNative(u"PRAGMA journal_mode"_s);
    if (!mode || sqlite3_step(mode.get()) != SQLITE_ROW)
        return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0)));
}

} // namespace

class TestOneFile : public QObject
{
    Q_OBJECT

    /// Leaves in folder a ledger whose records 甲 and 乙 lie only in a write-ahead log beside it, as a program
    /// that wrote with such a log and ended without closing it leaves them.
    static void leaveWriteAheadLog(const QString& folder)
    {
        test::TempFolder writer;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        const auto engine = EngineConnection::open(LedgerFile::name(), LedgerFile::password());
        QVERIFY(engine);
        QVERIFY(engine->executeNative("PRAGMA journal_mode=WAL"));
        QVERIFY(engine->executeNative("PRAGMA wal_autocheckpoint=0"));
        QVERIFY(engine->execute(insertGift(u"甲"_s)));
        QVERIFY(engine->execute(insertGift(u"乙"_s)));
        // Copied while the writer still holds its log: the state that an end without closing leaves.
        for (const QString& suffix : {QString(), u"-wal"_s})
            QVERIFY(QFile::copy(LedgerFile::name() + suffix, QDir(folder).filePath(LedgerFile::name() + suffix)));
    }

private Q_SLOTS:
    void aLeftoverLogIsFoldedIntoTheFileOnConnect()
    {
        test::TempFolder elsewhere;
        test::TempFolder folder;
        leaveWriteAheadLog(folder.path());
        QVERIFY(QFileInfo(LedgerFile::name() + u"-wal"_s).size() > 0);
        QCOMPARE(names(copyAlone(elsewhere)), QStringList());

        DatabaseConnection connection;
        QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(!QFile::exists(LedgerFile::name() + u"-wal"_s));
        QCOMPARE(journalMode(*connection.engine()), u"delete"_s);
        QCOMPARE(names(copyAlone(elsewhere)), QStringList({u"甲"_s, u"乙"_s}));

        // What is saved afterwards is in the file at once, while the connection is still open.
        QVERIFY(connection.execute(insertGift(u"丙"_s)));
        QVERIFY(!QFile::exists(LedgerFile::name() + u"-wal"_s));
        QVERIFY(!QFile::exists(LedgerFile::name() + u"-journal"_s));
        QCOMPARE(names(copyAlone(elsewhere)), QStringList({u"甲"_s, u"乙"_s, u"丙"_s}));
    }

    void afterTheProgramEndsTheFileAloneHoldsEveryRecord()
    {
        test::TempFolder elsewhere;
        test::TempFolder folder;
        leaveWriteAheadLog(folder.path());
        QProcess peer;
        peer.start(qEnvironmentVariable("OVELTA_LEDGER_PEER"), {u"end"_s, LedgerFile::name(), u"3"_s});
        QVERIFY(peer.waitForFinished(60000));
        QCOMPARE(peer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(peer.exitCode(), 0);
        QCOMPARE(peer.readAllStandardOutput(), QByteArray("added 3\n"));

        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{LedgerFile::name()});
        QCOMPARE(names(copyAlone(elsewhere)), QStringList({u"甲"_s, u"乙"_s, u"尾1"_s, u"尾2"_s, u"尾3"_s}));
    }

    void closeAllLeavesConnectionsThatRefuseEverything()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        DatabaseConnection connection;
        QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(connection.execute(insertGift(u"甲"_s)));
        EngineConnection::closeAll();
        QVERIFY(!connection.execute(insertGift(u"乙"_s)));
        QVERIFY(!connection.lastError().isEmpty());
        QCOMPARE(connection.changedRows(), -1);
        QCOMPARE(names(LedgerFile::name()), QStringList{u"甲"_s});
    }
};

QTEST_GUILESS_MAIN(TestOneFile)
#include "test_one_file.moc"
