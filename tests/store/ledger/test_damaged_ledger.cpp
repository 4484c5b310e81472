// A ledger found damaged is never written again in the process, through any connection to it, whatever its
// path; a backup takes its place in one step that never leaves the ledger's name empty, also when killed.

#include "Noted.h"
#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerRescue.h"
#include "store/ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <sqlcipher/sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeContent(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

/// A ledger of a few hundred pages at path, its records spread over them.
bool makeLedger(const QString& path, int records)
{
    if (!LedgerSchema::createFile(path, LedgerFile::password()))
        return false;
    const auto engine = EngineConnection::open(path, LedgerFile::password());
    return engine && engine->executeNative("BEGIN")
        && engine->executeNative(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE "
                                                "i<%1) INSERT INTO 收送礼(收送,姓名,时间,金额,说明) SELECT '收礼', "
                                                "'客人'||i, '2020-01-01 00:00:00', i*10000, printf('%%080d', i) FROM n")
                                     .arg(records)
                                     .toUtf8()
                                     .constData())
        && engine->executeNative("COMMIT");
}

/// Overwrites a few bytes in the middle of the file: one page no longer passes its check.
bool damage(const QString& path)
{
    QByteArray content = contentOf(path);
    if (content.size() < 64 * 1024)
        return false;
    const qsizetype at = (content.size() / 1024 / 2) * 1024 + 200;
    content.replace(at, 8, "DAMAGED!");
    return writeContent(path, content);
}

} // namespace

class TestDamagedLedger : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aDamagedLedgerIsNeverWrittenAgain()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(u"lgbk.xc"_s, 3000));
        QVERIFY(makeLedger(u"healthy.xc"_s, 10));
        QVERIFY(damage(u"lgbk.xc"_s));
        QVERIFY(QFile::link(u"lgbk.xc"_s, u"another-name.xc"_s));
        int calls = 0;
        EngineConnection::watchForDamage(u"lgbk.xc"_s, [&calls] { ++calls; });

        // Opened before and after the damage is found, under either name: none of them writes.
        const auto before = EngineConnection::open(u"lgbk.xc"_s, LedgerFile::password());
        const auto reader = EngineConnection::open(u"lgbk.xc"_s, LedgerFile::password());
        QVERIFY(before && reader);
        QVERIFY(!EngineConnection::watchedFileDamaged());
        const QByteArray content = contentOf(u"lgbk.xc"_s);
        QVERIFY(!reader->query(u"select * from 收送礼 order by 时间 DESC"_s));
        QCOMPARE(reader->lastError(), u"数据库文件已损坏。"_s);
        QCOMPARE(calls, 1);
        QVERIFY(EngineConnection::watchedFileDamaged());
        QVERIFY(EngineConnection::isDamaged(u"another-name.xc"_s));
        const auto after = EngineConnection::open(u"another-name.xc"_s, LedgerFile::password());
        QVERIFY(after);
        const QString insert
            = u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','新','2024-1-1','朋友','结婚','1','')"_s;
        for (const auto& connection : {before, reader, after}) {
            QVERIFY(!connection->execute(insert));
            QVERIFY(!connection->execute(u"delete from 收送礼 where ID=1"_s));
            QVERIFY(!connection->execute(u"update 账号 set 密码='x'"_s));
        }
        QCOMPARE(contentOf(u"lgbk.xc"_s), content);
        // Found again: the user is not asked twice.
        QVERIFY(!after->query(u"select * from 收送礼"_s));
        QCOMPARE(calls, 1);

        // Another file of the same process is not affected.
        const auto healthy = EngineConnection::open(u"healthy.xc"_s, LedgerFile::password());
        QVERIFY(healthy && healthy->execute(insert));
        EngineConnection::watchForDamage(QString(), {});
    }

    void aBackupTakesTheDamagedFilesPlaceWhichIsKeptAside()
    {
        test::TempFolder folder;
        QVERIFY(writeContent(u"lgbk.xc"_s, "damaged ledger"));
        QVERIFY(writeContent(u"lgbk.xc-journal"_s, "its journal"));
        QVERIFY(QDir().mkdir(u"备份"_s));
        QVERIFY(writeContent(u"备份/lgbk-20261201-080000.xc"_s, "good backup"));
        const QDateTime when(QDate(2026, 12, 9), QTime(10, 30, 0));
        QString aside, error;
        QVERIFY2(test::noted(LedgerRescue::replaceWithBackup(u"lgbk.xc"_s, u"备份/lgbk-20261201-080000.xc"_s, when),
                             &error, &aside),
                 qPrintable(error));
        QCOMPARE(aside, u"lgbk-损坏-20261209-103000.xc"_s);
        QCOMPARE(contentOf(u"lgbk.xc"_s), QByteArray("good backup"));
        QCOMPARE(contentOf(aside), QByteArray("damaged ledger"));
        QCOMPARE(contentOf(aside + u"-journal"_s), QByteArray("its journal"));
        QVERIFY(!QFile::exists(u"lgbk.xc-journal"_s));
        QCOMPARE(contentOf(u"备份/lgbk-20261201-080000.xc"_s), QByteArray("good backup"));
        QCOMPARE(QFile::permissions(u"lgbk.xc"_s) & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());

        // Taken names are never replaced; a backup that cannot be read changes nothing and leaves nothing.
        QVERIFY(test::noted(LedgerRescue::replaceWithBackup(u"lgbk.xc"_s, u"备份/lgbk-20261201-080000.xc"_s, when),
                            &error, &aside));
        QCOMPARE(aside, u"lgbk-损坏-20261209-103000-2.xc"_s);
        const QStringList entries = QDir().entryList(QDir::Files | QDir::Hidden);
        QVERIFY(!test::noted(LedgerRescue::replaceWithBackup(u"lgbk.xc"_s, u"备份/missing.xc"_s, when), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), entries);
        QCOMPARE(contentOf(u"lgbk.xc"_s), QByteArray("good backup"));
    }

    // Killed at any moment, the replacement leaves the ledger's name with one whole file: the one before or the
    // one after.
    void aKilledReplacementLeavesOneWholeFile()
    {
        test::TempFolder folder;
        const QByteArray first(300 * 1024, 'a');
        const QByteArray second(300 * 1024, 'b');
        QVERIFY(writeContent(u"first.xc"_s, first) && writeContent(u"second.xc"_s, second));
        QVERIFY(writeContent(u"lgbk.xc"_s, first));
        auto* random = QRandomGenerator::global();
        for (int kill = 0; kill < 30; ++kill) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                for (int round = 0;; ++round) {
                    const QString source = round % 2 == 0 ? u"second.xc"_s : u"first.xc"_s;
                    const QString aside
                        = LedgerRescue::replaceWithBackup(u"lgbk.xc"_s, source,
                                                          QDateTime(QDate(2026, 1, 1), QTime(0, 0).addSecs(round)))
                              .valueOr({});
                    ::unlink(QFile::encodeName(aside).constData());
                }
            }
            QVERIFY(pid > 0);
            ::usleep(useconds_t(random->bounded(1000, 40000)));
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            const QByteArray now = contentOf(u"lgbk.xc"_s);
            QVERIFY2(now == first || now == second, qPrintable(u"after kill %1: %2 bytes"_s.arg(kill).arg(now.size())));
        }
    }
};

QTEST_GUILESS_MAIN(TestDamagedLedger)
#include "test_damaged_ledger.moc"
