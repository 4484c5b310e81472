// Backups of the ledger: an encrypted, whole copy in 备份, rotation over a simulated year, the integrity check
// before a restore, a restore that brings back exactly the backed-up records, and a full disk at each step.

#include "Noted.h"
#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/engine/PendingFile.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/LedgerTransfer.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

std::shared_ptr<EngineConnection> openLedger()
{
    return EngineConnection::open(LedgerFile::name(), LedgerFile::password());
}

bool addNames(EngineConnection& engine, const QStringList& names)
{
    std::vector<LedgerRecord> records;
    for (const QString& name : names) {
        LedgerRecord r;
        r.direction = u"收礼"_s;
        r.name = name;
        r.relation = u"朋友"_s;
        r.occasion = u"结婚"_s;
        r.amount = 1000000;
        r.note = QString(200, u'注');
        records.push_back(r);
    }
    return LedgerImport::write(engine, records, {}, {}, {}).ok();
}

QStringList namesIn(EngineConnection& engine)
{
    QStringList names;
    const auto records = LedgerTransfer::readAll(engine);
    for (const LedgerRecord& r : records.valueOr({}))
        names << r.name;
    names.sort();
    return names;
}

QStringList folderEntries(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

/// No file of the process may grow beyond limit bytes while this lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        struct rlimit l = m_old;
        l.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    struct rlimit m_old = {};
};

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

} // namespace

class TestLedgerBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ::signal(SIGXFSZ, SIG_IGN); }

    void backupIsAnEncryptedWholeCopy()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        const auto ledger = openLedger();
        QVERIFY(addNames(*ledger, {u"甲"_s, u"乙"_s}));
        QString path, error;
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
        QVERIFY2(test::noted(LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), when), &error, &path),
                 qPrintable(error));
        // Relative to the ledger's relative name: the folder's own name need not be a text.
        QCOMPARE(path, u"备份/lgbk-20260304-050607.xc"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.read(16).startsWith("SQLite format 3"));
        QCOMPARE(QFile::permissions(folder.file(u"备份"_s)) & 0x0077, QFileDevice::Permissions());
        QVERIFY(!EngineConnection::open(path, u"wrong"_s));
        QCOMPARE(LedgerBackup::verify(path, LedgerFile::password()).optional(), 2);
        QCOMPARE(folderEntries(folder.file(u"备份"_s)), QStringList{u"lgbk-20260304-050607.xc"_s});

        // A second backup in the same second gets a name of its own and lists first.
        QVERIFY(addNames(*ledger, {u"丙"_s}));
        QVERIFY(test::noted(LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), when), &error, &path));
        QCOMPARE(QFileInfo(path).fileName(), u"lgbk-20260304-050607-2.xc"_s);
        const auto backups = LedgerBackup::list(u"备份"_s);
        QCOMPARE(backups.size(), 2);
        QCOMPARE(backups[0].path, path);
        QCOMPARE(LedgerBackup::verify(backups[0].path, LedgerFile::password()).optional(), 3);
        QVERIFY(backups[0].bytes > 0);
    }

    void restoreBringsBackExactlyTheBackedUpRecords()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        const auto ledger = openLedger();
        QVERIFY(addNames(*ledger, {u"甲"_s, u"乙"_s}));
        QString path, error;
        QVERIFY(
            test::noted(LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), QDateTime::currentDateTime()),
                        &error, &path));
        QVERIFY(addNames(*ledger, {u"丙"_s}));
        QVERIFY(ledger->executeNative("DELETE FROM 收送礼 WHERE 姓名='甲'"));
        const auto other = openLedger(); // another connection of the program on the same file
        QCOMPARE(namesIn(*other), (QStringList{u"丙"_s, u"乙"_s}));

        QVERIFY2(test::noted(LedgerBackup::restore(*ledger, path, LedgerFile::password()), &error), qPrintable(error));
        QCOMPARE(namesIn(*ledger), (QStringList{u"乙"_s, u"甲"_s}));
        QCOMPARE(namesIn(*other), (QStringList{u"乙"_s, u"甲"_s}));
        QVERIFY(!QFile::exists(LedgerFile::name() + u"-journal"_s));
        QVERIFY(openLedger());
        // The backup itself is untouched and still whole.
        QCOMPARE(LedgerBackup::verify(path, LedgerFile::password()).optional(), 2);
    }

    void damagedBackupsAreRefused()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        const auto ledger = openLedger();
        QVERIFY(addNames(*ledger, QStringList(300, u"甲"_s)));
        QString path, error;
        QVERIFY(
            test::noted(LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), QDateTime::currentDateTime()),
                        &error, &path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(file.size() / 2);
        file.write(QByteArray(2048, '\x5a'));
        file.close();
        QVERIFY(!test::noted(LedgerBackup::verify(path, LedgerFile::password()), &error));
        QVERIFY2(error.startsWith(u"备份文件"_s), qPrintable(error));

        touch(folder.file(u"plain.xc"_s));
        QVERIFY(!test::noted(LedgerBackup::verify(folder.file(u"plain.xc"_s), LedgerFile::password()), &error));
        QCOMPARE(error, u"备份文件无法打开（文件损坏，或不是本程序的备份）。"_s);
        QVERIFY(
            !test::noted(LedgerBackup::restore(*ledger, folder.file(u"plain.xc"_s), LedgerFile::password()), &error));
        QCOMPARE(LedgerTransfer::recordCount(*ledger), 300);
    }

    void backupFolderThatIsNoRealFolderOfTheUsersIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        const QString link
            = u"备份文件夹“%1”是一个符号链接，不是真正的文件夹。为了安全，程序不会在链接指向的地方写入或删除备份。"
              u"请把它换成一个普通的文件夹。"_s;
        QTest::newRow("a link to a folder") << u"link"_s << link;
        QTest::newRow("a link to nothing") << u"dangling"_s << link;
        QTest::newRow("a file") << u"file"_s << u"无法创建备份文件夹“%1”。"_s;
        if (::geteuid() == 0)
            QTest::newRow("someone else's folder")
                << u"foreign"_s << u"备份文件夹“%1”不属于当前用户。为了安全，程序不在其中写入或删除备份。"_s;
    }
    void backupFolderThatIsNoRealFolderOfTheUsersIsRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        // Another folder, open to others, full of files named as backups that rotation would remove.
        QVERIFY(QDir().mkdir(u"elsewhere"_s));
        QVERIFY(QFile::setPermissions(u"elsewhere"_s, QFile::Permissions(0x7755)));
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 3; ++day)
                touch(
                    u"elsewhere/lgbk-2020%1%2-000000.xc"_s.arg(month, 2, 10, QChar(u'0')).arg(day, 2, 10, QChar(u'0')));
        }
        const QStringList before = folderEntries(u"elsewhere"_s);
        const QFile::Permissions mode = QFile::permissions(u"elsewhere"_s);
        if (kind == u"link"_s)
            QVERIFY(QFile::link(u"elsewhere"_s, u"备份"_s));
        else if (kind == u"dangling"_s)
            QVERIFY(QFile::link(u"gone"_s, u"备份"_s));
        else if (kind == u"file"_s)
            touch(u"备份"_s);
        else
            QVERIFY(QDir().rename(u"elsewhere"_s, u"备份"_s) && ::chown("备份", 65534, 65534) == 0
                    && QFile::link(u"备份"_s, u"elsewhere"_s));
        const QString expected = message.arg(LedgerBackup::shownPath(u"备份"_s));

        QString error;
        QVERIFY(!test::noted(
            LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), QDateTime::currentDateTime()), &error));
        QCOMPARE(error, expected);
        QCOMPARE(LedgerBackup::checkFolder(u"备份"_s).errorText(), expected);
        QVERIFY(LedgerBackup::list(u"备份"_s).isEmpty());
        QCOMPARE(LedgerBackup::rotate(u"备份"_s, QDate(2030, 1, 1)), 0);
        // Nothing there was written, removed or opened to the user alone.
        QCOMPARE(folderEntries(u"elsewhere"_s), before);
        QCOMPARE(QFile::permissions(u"elsewhere"_s), mode);
        QVERIFY(!QFile::exists(u"gone"_s));
    }

    void contentChangesAreCounted()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        QString path, error;
        {
            const auto ledger = openLedger();
            QVERIFY(addNames(*ledger, {u"甲"_s}));
            QVERIFY(test::noted(
                LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), QDateTime::currentDateTime()), &error,
                &path));
        }
        LedgerBackup::watchChanges(LedgerFile::name());
        const auto ledger = openLedger();
        const auto other = openLedger();
        const auto copy = EngineConnection::open(path, LedgerFile::password());
        QVERIFY(ledger && other && copy);
        struct Step
        {
            const char* what;
            std::function<bool()> run;
            qint64 counted; ///< the changes counted after the step
        };
        const QList<Step> steps{
            {"reads", [&] { return LedgerTransfer::readAll(*ledger).ok(); }, 0},
            {"a transaction rolled back",
             [&] {
                 return ledger->executeNative("BEGIN")
                     && ledger->executeNative(
                         "INSERT INTO 收送礼(收送,姓名,关系,类型) VALUES('收礼','乙','朋友','结婚')")
                     && ledger->executeNative("ROLLBACK");
             },
             0},
            {"an import that fails on a full disk",
             [&] {
                 FileSizeLimit full(0);
                 return !addNames(*ledger, QStringList(500, u"乙"_s));
             },
             0},
            {"the file touched, its content the same",
             [] {
                 // What a hot journal rolled back on opening leaves: a newer time, the same records.
                 const struct timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
                 return ::utimensat(AT_FDCWD, "lgbk.xc", times, 0) == 0;
             },
             0},
            {"a change to another file", [&] { return addNames(*copy, {u"乙"_s}); }, 0},
            {"a table's index made", [&] { return ledger->executeNative("CREATE INDEX i ON 收送礼(姓名)"); }, 0},
            {"records added",
             [&] {
                 return addNames(*ledger, {u"乙"_s, u"丙"_s});
             },
             1},
            {"a record deleted by another connection",
             [&] { return other->executeNative("DELETE FROM 收送礼 WHERE 姓名='乙'"); }, 2},
            {"a record changed", [&] { return ledger->executeNative("UPDATE 收送礼 SET 说明='x' WHERE 姓名='甲'"); },
             3},
            {"a delete that matched nothing", [&] { return ledger->executeNative("DELETE FROM 收送礼 WHERE ID<0"); },
             3},
            {"restored from a backup",
             [&] { return test::noted(LedgerBackup::restore(*ledger, path, LedgerFile::password()), &error).ok(); }, 4},
        };
        for (const Step& step : steps) {
            QVERIFY2(step.run(), step.what);
            QVERIFY2(LedgerBackup::changesSinceWatch() == step.counted, step.what);
        }
        LedgerBackup::watchChanges(LedgerFile::name());
        QCOMPARE(LedgerBackup::changesSinceWatch(), 0);
    }

    void namesOfBackups()
    {
        QCOMPARE(LedgerBackup::nameFor(QDateTime(QDate(2026, 12, 8), QTime(8, 30, 5))), u"lgbk-20261208-083005.xc"_s);
        QCOMPARE(*LedgerBackup::timeOfName(u"lgbk-20261208-083005-3.xc"_s),
                 QDateTime(QDate(2026, 12, 8), QTime(8, 30, 5)));
        QVERIFY(!LedgerBackup::timeOfName(u".lgbk-20261208-083005.xc.new-abc123"_s));
        QVERIFY(!LedgerBackup::timeOfName(u"lgbk-20261308-083005.xc"_s));
        QVERIFY(!LedgerBackup::timeOfName(u"lgbk-20261208-083005.xc-journal"_s));
        QVERIFY(!LedgerBackup::timeOfName(u"notes.txt"_s));
    }

    void listSkipsOtherFilesAndRemovesAbandonedTemporaries()
    {
        test::TempFolder folder;
        QVERIFY(QDir().mkdir(u"备份"_s));
        touch(folder.file(u"备份/lgbk-20260101-000000.xc"_s));
        touch(folder.file(u"备份/my notes.txt"_s));
        touch(folder.file(u"备份/.lgbk-20260102-000000.xc.new-Ab12Cd"_s));
        touch(folder.file(u"备份/.lgbk-20260102-000000.xc.new-Ab12Cd-journal"_s));
        const auto backups = LedgerBackup::list(folder.file(u"备份"_s));
        QCOMPARE(backups.size(), 1);
        QCOMPARE(folderEntries(folder.file(u"备份"_s)), (QStringList{u"lgbk-20260101-000000.xc"_s, u"my notes.txt"_s}));
        QCOMPARE(LedgerBackup::rotate(folder.file(u"备份"_s), QDate(2030, 1, 1)), 0);

        // Never through a link: a folder reached by one keeps its temporaries.
        QVERIFY(QDir().mkdir(u"elsewhere"_s));
        touch(u"elsewhere/.lgbk-20260102-000000.xc.new-Ab12Cd"_s);
        touch(u"elsewhere/.lgbk-20260103-000000.xc.new-Ab12Cd-journal"_s);
        QVERIFY(QFile::link(u"elsewhere"_s, u"linked"_s));
        QCOMPARE(PendingFile::removeLeftovers(u"linked/lgbk-20260102-000000.xc"_s), 0);
        QCOMPARE(PendingFile::removeLeftovers(u"linked/lgbk-20260103-000000.xc"_s), 0);
        QCOMPARE(folderEntries(u"elsewhere"_s).size(), 2);
        QCOMPARE(PendingFile::removeLeftovers(u"elsewhere/lgbk-20260102-000000.xc"_s), 1);
        QCOMPARE(PendingFile::removeLeftovers(u"elsewhere/lgbk-20260103-000000.xc"_s), 1);
        QCOMPARE(folderEntries(u"elsewhere"_s), QStringList());
    }

    void rotationKeepsNewestTenAndOnePerMonth_data()
    {
        QTest::addColumn<QList<QDateTime>>("times");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QList<int>>("kept");
        QList<QDateTime> sameDay;
        for (int i = 0; i < 12; ++i)
            sameDay << QDateTime(QDate(2026, 5, 20), QTime(23 - i, 0));
        QTest::newRow("twelve in one day") << sameDay << QDate(2026, 5, 20) << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        QList<QDateTime> monthly;
        for (int i = 0; i < 15; ++i)
            monthly << QDateTime(QDate(2026, 5, 1).addMonths(-i), QTime(12, 0));
        QTest::newRow("one a month for 15 months")
            << monthly << QDate(2026, 5, 31) << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        QList<QDateTime> mixed;
        for (int i = 0; i < 11; ++i)
            mixed << QDateTime(QDate(2026, 5, 20), QTime(22 - i, 0));
        mixed << QDateTime(QDate(2026, 4, 30), QTime(9, 0)) << QDateTime(QDate(2026, 4, 1), QTime(9, 0))
              << QDateTime(QDate(2025, 6, 1), QTime(9, 0)) << QDateTime(QDate(2025, 5, 31), QTime(9, 0));
        QTest::newRow("newest of April, June a year ago, not May a year ago")
            << mixed << QDate(2026, 5, 20) << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 13};
    }
    void rotationKeepsNewestTenAndOnePerMonth()
    {
        QFETCH(QList<QDateTime>, times);
        QFETCH(QDate, today);
        QFETCH(QList<int>, kept);
        QCOMPARE(LedgerBackup::keptIndexes(times, today), kept);
    }

    void rotationOverASimulatedYear()
    {
        test::TempFolder folder;
        QVERIFY(QDir().mkdir(u"备份"_s));
        const QString backups = folder.file(u"备份"_s);
        // Two sessions a day for 400 days, rotated after each one as the end of a session does.
        const QDate first(2025, 1, 1);
        QDate day = first;
        for (; day < first.addDays(400); day = day.addDays(1)) {
            for (const QTime time : {QTime(9, 0), QTime(20, 30)}) {
                touch(QDir(backups).filePath(LedgerBackup::nameFor(QDateTime(day, time))));
                LedgerBackup::rotate(backups, day);
            }
        }
        const QDate last = day.addDays(-1); // 2026-02-04
        QStringList expected;
        for (int i = 0; i < 5; ++i) {
            expected << LedgerBackup::nameFor(QDateTime(last.addDays(-i), QTime(20, 30)))
                     << LedgerBackup::nameFor(QDateTime(last.addDays(-i), QTime(9, 0)));
        }
        // The last of each earlier month back to March 2025 (twelve months with February 2026); January's last is
        // among the newest ten already.
        for (QDate month(2025, 12, 1); month >= QDate(2025, 3, 1); month = month.addMonths(-1))
            expected << LedgerBackup::nameFor(QDateTime(month.addMonths(1).addDays(-1), QTime(20, 30)));
        QStringList names;
        for (const auto& backup : LedgerBackup::list(backups))
            names << QFileInfo(backup.path).fileName();
        QCOMPARE(names.join(u" "_s), expected.join(u" "_s));
    }

    void fullDiskLeavesNoBackupAndTheLedgerAsItWas()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        const auto ledger = openLedger();
        QVERIFY(addNames(*ledger, QStringList(2000, u"甲"_s)));
        QString path, error;
        QVERIFY(test::noted(
            LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), QDateTime(QDate(2026, 1, 1), {})), &error,
            &path));
        const QByteArray before = LedgerBackup::stampOf(LedgerFile::name());
        for (const rlim_t limit : {rlim_t(0), rlim_t(4096), rlim_t(64 * 1024)}) {
            FileSizeLimit full(limit);
            QVERIFY(!test::noted(
                LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), QDateTime::currentDateTime()),
                &error));
            QVERIFY(!error.isEmpty());
        }
        QCOMPARE(folderEntries(folder.file(u"备份"_s)), QStringList{QFileInfo(path).fileName()});
        QCOMPARE(LedgerBackup::stampOf(LedgerFile::name()), before);

        // A restore that cannot write its journal or the ledger keeps the ledger whole and unchanged.
        QVERIFY(ledger->executeNative("DELETE FROM 收送礼 WHERE ID>10"));
        {
            FileSizeLimit full(0);
            QVERIFY(!test::noted(LedgerBackup::restore(*ledger, path, LedgerFile::password()), &error));
            QVERIFY(error.startsWith(u"恢复没有完成"_s));
        }
        QCOMPARE(LedgerTransfer::recordCount(*ledger), 10);
        QVERIFY(test::noted(LedgerBackup::verify(LedgerFile::name(), LedgerFile::password()), &error));
        QVERIFY(test::noted(LedgerBackup::restore(*ledger, path, LedgerFile::password()), &error));
        QCOMPARE(LedgerTransfer::recordCount(*ledger), 2000);
    }

    void stampTellsAChangedFile()
    {
        test::TempFolder folder;
        QVERIFY(LedgerBackup::stampOf(LedgerFile::name()).isEmpty());
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        const QByteArray created = LedgerBackup::stampOf(LedgerFile::name());
        QVERIFY(!created.isEmpty());
        const auto ledger = openLedger();
        QVERIFY(LedgerTransfer::readAll(*ledger));
        QCOMPARE(LedgerBackup::stampOf(LedgerFile::name()), created);
        QVERIFY(addNames(*ledger, {u"甲"_s}));
        QVERIFY(LedgerBackup::stampOf(LedgerFile::name()) != created);
    }
};

QTEST_GUILESS_MAIN(TestLedgerBackup)
#include "test_ledger_backup.moc"
