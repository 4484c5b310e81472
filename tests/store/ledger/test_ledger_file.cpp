// The ledger file as it is created: encrypted with the database password, the five tables and the seed rows in
// order, built all-or-nothing beside its final name.

#include "TempFolder.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList folderEntries()
{
    return QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

struct ShellResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

/// Runs the engine's own command-line shell on the file with a script on its input.
ShellResult runShell(const QString& file, const QString& script)
{
    QProcess shell;
    shell.start(u"sqlcipher"_s, {file});
    ShellResult r;
    if (!shell.waitForStarted())
        return r;
    shell.write(script.toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(60000);
    r.exitCode = shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1;
    r.out = QString::fromUtf8(shell.readAllStandardOutput());
    r.err = QString::fromUtf8(shell.readAllStandardError());
    return r;
}

} // namespace

class TestLedgerFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ::signal(SIGXFSZ, SIG_IGN); }

    void createdFileOpensInTheEngineShellWithTheKeyOnly()
    {
        if (QStandardPaths::findExecutable(u"sqlcipher"_s).isEmpty())
            QSKIP("the sqlcipher shell is not installed");
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));

        const ShellResult keyed = runShell(LedgerFile::name(),
                                           u"PRAGMA key='Qm_4Rtwpz8-2HsK';\n"
                                           ".tables\n"
                                           "PRAGMA table_info(收送礼);\n"
                                           "PRAGMA table_info(账号);\n"
                                           "select * from 账号;\n"
                                           "select * from 关系;\n"
                                           "select * from 类型;\n"
                                           "select * from 收送;\n"
                                           "select count(*) from 收送礼;\n"_s);
        QCOMPARE(keyed.err, QString());
        QCOMPARE(keyed.exitCode, 0);
        QStringList lines = keyed.out.split(u'\n', Qt::SkipEmptyParts);
        // .tables lists the names in columns; the engine's own bookkeeping tables are not among them.
        const QStringList tables = lines.takeFirst().split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(QSet<QString>(tables.begin(), tables.end()),
                 (QSet<QString>{u"关系"_s, u"收送"_s, u"收送礼"_s, u"类型"_s, u"账号"_s}));
        const QStringList expected = {
            u"0|ID|INTEGER|0||1"_s,
            u"1|收送|MEMO TEXT|0||0"_s,
            u"2|姓名|MEMO TEXT|0||0"_s,
            u"3|时间|TIME TEXT|0||0"_s,
            u"4|关系|MEMO TEXT|0||0"_s,
            u"5|类型|MEMO TEXT|0||0"_s,
            u"6|金额|CURRENCY INTEGER|0||0"_s,
            u"7|说明|MEMO TEXT|0||0"_s,
            u"0|ID|INTEGER|0||1"_s,
            u"1|用户|MEMO TEXT|0||0"_s,
            u"2|密码|MEMO TEXT|0||0"_s,
            u"1|admin|kelpo"_s,
            u"1|亲戚"_s,
            u"2|朋友"_s,
            u"3|同学"_s,
            u"4|同事"_s,
            u"5|其他"_s,
            u"1|结婚"_s,
            u"2|生日"_s,
            u"3|升职"_s,
            u"4|乔迁"_s,
            u"5|探病"_s,
            u"6|丧礼"_s,
            u"1|收礼"_s,
            u"2|送礼"_s,
            u"0"_s,
        };
        QCOMPARE(lines, expected);

        for (const QString& prefix : {QString(), u"PRAGMA key='Qm_4Rtwpz8-2HsL';\n"_s, u"PRAGMA key='';\n"_s}) {
            const ShellResult refused
                = runShell(LedgerFile::name(), prefix + u"select count(*) from sqlite_master;\n"_s);
            QVERIFY2(refused.exitCode != 0, qPrintable(prefix));
            QVERIFY2(refused.err.contains(u"file is encrypted or is not a database"_s), qPrintable(refused.err));
            QVERIFY(refused.out.isEmpty());
        }
    }

    void createdFileHoldsNoReadableText()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        const QByteArray bytes = contentOf(LedgerFile::name());
        QVERIFY(bytes.size() >= 1024);
        for (const QByteArray& plain : {QByteArray("SQLite format 3"), QByteArray("admin"), QByteArray("kelpo"),
                                        u"亲戚"_s.toUtf8(), u"收送礼"_s.toUtf8(), QByteArray("CREATE TABLE")})
            QVERIFY2(!bytes.contains(plain), plain.constData());
    }

    void createdFileIsPrivateAndAlone()
    {
        test::TempFolder folder;
        const mode_t previous = ::umask(0);
        const bool created = LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()).ok();
        ::umask(previous);
        QVERIFY(created);
        struct stat info;
        QCOMPARE(::stat("lgbk.xc", &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        QCOMPARE(folderEntries(), QStringList{u"lgbk.xc"_s});
    }

    void createdFileOpensThroughBothObjects()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        DatabaseConnection connection;
        QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
        ExternalDatabase external;
        QVERIFY(external.connect(LedgerFile::name(), QString(), LedgerFile::password(), false, true));
        const int accounts = external.query(u"select * from 账号"_s);
        QVERIFY(accounts != 0);
        QCOMPARE(external.read(accounts, u"用户"_s).toString(), u"admin"_s);
        QCOMPARE(external.read(accounts, u"ID"_s).toLongLong(), 1);
    }

    void anExistingFileIsNeverTouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("random bytes") << QByteArray::fromHex("8f1e22c07d5a00ff13").repeated(700);
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("text") << QByteArray("not a database\n");
    }
    void anExistingFileIsNeverTouched()
    {
        QFETCH(QByteArray, content);
        test::TempFolder folder;
        writeFile(LedgerFile::name(), content);
        QVERIFY(!LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        QCOMPARE(contentOf(LedgerFile::name()), content);
        QCOMPARE(folderEntries(), QStringList{u"lgbk.xc"_s});
        // It does not connect either, and connecting leaves it as it was.
        DatabaseConnection connection;
        QVERIFY(!connection.connect(LedgerFile::name(), LedgerFile::password()));
        ExternalDatabase external;
        QVERIFY(!external.connect(LedgerFile::name(), QString(), LedgerFile::password()));
        QCOMPARE(contentOf(LedgerFile::name()), content);
    }

    void aDanglingLinkOrAFolderOfThatNameCountsAsExisting()
    {
        test::TempFolder folder;
        QCOMPARE(::symlink("nowhere/else", "lgbk.xc"), 0);
        QVERIFY(!LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(!QFile::exists(u"nowhere/else"_s));
        QVERIFY(QFile::remove(u"lgbk.xc"_s));
        QVERIFY(QDir().mkdir(u"lgbk.xc"_s));
        QVERIFY(!LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        QCOMPARE(folderEntries(), QStringList{u"lgbk.xc"_s});
    }

    void aFailedCreationLeavesNothingBehind()
    {
        test::TempFolder folder;
        // The disk is full after a few pages: the creation fails midway.
        struct rlimit previous;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        struct rlimit small = previous;
        small.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool created = LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()).ok();
        ::setrlimit(RLIMIT_FSIZE, &previous);
        QVERIFY(!created);
        QCOMPARE(folderEntries(), QStringList());
        // The next attempt starts afresh and succeeds.
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
    }

    void aFolderThatTakesNoFile()
    {
        test::TempFolder folder;
        QVERIFY(!LedgerSchema::createFile(u"missing/lgbk.xc"_s, LedgerFile::password()));
        QCOMPARE(folderEntries(), QStringList());

        QVERIFY(QDir().mkdir(u"locked"_s));
        QVERIFY(QFile::setPermissions(u"locked"_s, QFile::ReadOwner | QFile::ExeOwner));
        QFile probe(u"locked/probe"_s);
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QSKIP("running with a privilege that writes into read-only folders; the full-disk case covers this");
        }
        QVERIFY(!LedgerSchema::createFile(u"locked/lgbk.xc"_s, LedgerFile::password()));
        QVERIFY(QFile::setPermissions(u"locked"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(QDir(u"locked"_s).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestLedgerFile)
#include "test_ledger_file.moc"
