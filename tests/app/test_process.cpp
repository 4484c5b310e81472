// The real program under a real X server: single instance, where the ledger lives, first start, login, exit
// codes, and ledgers that must not be touched (a named pipe under the ledger's name, one file reached through a
// hard link, a ledger found damaged after the login).

#include "XSession.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/PrivateLedger.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using ovelta::test::ProgramCopy;
using ovelta::test::XSession;

namespace {

const QString questionTitle = u"信息："_s; // the database question has no title of its own
const QString createdTitle = u"提示"_s;

/// The user nobody, for a program folder its user cannot write to.
constexpr uid_t Nobody = 65534;

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool existsNative(const QByteArray& path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

mode_t modeOf(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : mode_t(0);
}

/// Removes a folder whose name Qt cannot decode, with the files in it: QTemporaryDir cannot.
void removeNativeFolder(const QByteArray& folder)
{
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                ::unlink((folder + '/' + name).constData());
        }
        ::closedir(dir);
    }
    ::rmdir(folder.constData());
}

/// Copies the program named by $OVELTA_BINARY to a native path (any bytes), executable.
bool installAt(const QByteArray& target)
{
    std::FILE* from = std::fopen(qgetenv("OVELTA_BINARY").constData(), "rb");
    std::FILE* to = from ? std::fopen(target.constData(), "wb") : nullptr;
    bool ok = to != nullptr;
    char buffer[65536];
    for (size_t n = 0; ok && from && (n = std::fread(buffer, 1, sizeof buffer, from)) > 0;)
        ok = std::fwrite(buffer, 1, n, to) == n;
    if (to && std::fclose(to) != 0)
        ok = false;
    if (from)
        std::fclose(from);
    return ok && ::chmod(target.constData(), 0755) == 0;
}

/// The program started by a command of our choosing (a path of any bytes reached through a link, or a wrapper
/// that changes the user), with its environment changed as given; killed when dropped.
class Started
{
public:
    Started(const XSession& x, const QString& program, const QStringList& arguments, const QString& workingDir,
            const QHash<QString, QString>& environment)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, x.display());
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        for (auto it = environment.cbegin(); it != environment.cend(); ++it) {
            if (it.value().isNull())
                env.remove(it.key());
            else
                env.insert(it.key(), it.value());
        }
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(workingDir);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, arguments);
        m_process.waitForStarted(10000);
    }
    ~Started()
    {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_process.processId()), SIGKILL);
            m_process.waitForFinished(10000);
        }
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;

    qint64 pid() const { return m_process.processId(); }
    QByteArray output() { return m_process.readAll(); }
    /// True when the program ended normally within the time with exit code 0.
    bool endsWithZero() { return m_process.waitForFinished(20000) && m_process.exitCode() == 0; }

private:
    QProcess m_process;
};

/// Another connection to a ledger, in the test process, in the middle of a write: it keeps every reader out
/// until dropped.
class WriteLock
{
public:
    explicit WriteLock(const QString& file)
    {
        const QByteArray key = ovelta::LedgerFile::password().toUtf8();
        m_holds
            = sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
            && sqlite3_key(m_db, key.constData(), int(key.size())) == SQLITE_OK
            && sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~WriteLock()
    {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool holds() const { return m_holds; }

private:
    sqlite3* m_db = nullptr;
    bool m_holds = false;
};

const QString DamageTitle = u"数据库文件已损坏"_s;

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

class TestProcess : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<XSession> m_x;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QTemporaryDir> m_runtime;

    QString folder() const { return m_folder->path(); }

    QString file(const QString& name) const { return QDir(folder()).filePath(name); }

    /// Logs in with the seeded password at the login window that the copy shows.
    bool logInAt(const ProgramCopy& copy)
    {
        const QString login = m_x->waitForWindow(copy.pid(), u"Ovelta"_s);
        if (login.isEmpty())
            return false;
        m_x->typeText(login, u"kelpo"_s);
        m_x->pressKeys(login, {u"Return"_s});
        return true;
    }

    /// Answers a started copy's first-start question with Yes and the success box with OK.
    /// Returns the login window's id.
    QString createDatabaseAndReachLogin(qint64 pid)
    {
        const QString question = m_x->waitForWindow(pid, questionTitle);
        if (question.isEmpty())
            return {};
        m_x->pressKeys(question, {u"Return"_s});
        const QString created = m_x->waitForWindow(pid, createdTitle);
        if (created.isEmpty())
            return {};
        m_x->pressKeys(created, {u"Return"_s});
        return m_x->waitForWindow(pid, u"Ovelta"_s);
    }
    QString createDatabaseAndReachLogin(ProgramCopy& copy) { return createDatabaseAndReachLogin(copy.pid()); }

    /// Logs in with the seeded password; true when the main window (the larger "Ovelta" window) comes up.
    bool logIn(qint64 pid, const QString& login)
    {
        m_x->typeText(login, u"kelpo"_s);
        m_x->pressKeys(login, {u"Return"_s});
        for (int tries = 0; tries < 20; ++tries) {
            const QString mainId = m_x->waitForWindow(pid, u"Ovelta"_s, 1000);
            if (!mainId.isEmpty() && m_x->windowSize(mainId).width() > 400)
                return true;
        }
        return false;
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

    void secondCopyIsRefusedAndAKilledCopyDoesNotBlock()
    {
        ProgramCopy first(*m_x, folder(), m_runtime->path());
        QVERIFY2(!m_x->waitForWindow(first.pid(), questionTitle).isEmpty(), "first copy shows no database question");

        // Another runtime folder: the copies meet at the ledger, not at a marker of their environment.
        QTemporaryDir otherRuntime;
        ProgramCopy second(*m_x, folder(), otherRuntime.path());
        const QString box = m_x->waitForWindow(second.pid(), u"信息提示"_s);
        QVERIFY2(!box.isEmpty(), "second copy shows no refusal");
        // The second copy never reaches the database question or a login window.
        QCOMPARE(m_x->windowsOf(second.pid()).size(), 1);
        m_x->pressKeys(box, {u"Return"_s});
        QVERIFY(second.waitForExit());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(first.isRunning());

        // A copy on another ledger runs beside the first, with the same environment.
        QTemporaryDir otherFolder;
        QVERIFY(ProgramCopy::install(otherFolder.path()));
        ProgramCopy elsewhere(*m_x, otherFolder.path(), m_runtime->path());
        QVERIFY2(!m_x->waitForWindow(elsewhere.pid(), questionTitle).isEmpty(), "a copy on another ledger is refused");

        first.kill();
        ProgramCopy third(*m_x, folder(), m_runtime->path());
        QVERIFY2(!m_x->waitForWindow(third.pid(), questionTitle).isEmpty(),
                 "a copy started after a killed one is refused");
        QVERIFY(m_x->windowsOf(third.pid()).size() == 1);
    }

    void startedFromAnotherFolderWorksInItsOwnFolder()
    {
        QTemporaryDir elsewhere;
        ProgramCopy copy(*m_x, folder(), m_runtime->path(), elsewhere.path());
        const QString login = createDatabaseAndReachLogin(copy);
        QVERIFY2(!login.isEmpty(), "no login window after creating the database");
        QVERIFY(QFile::exists(QDir(folder()).filePath(u"lgbk.xc"_s)));
        QVERIFY(!QFile::exists(QDir(elsewhere.path()).filePath(u"lgbk.xc"_s)));
        QCOMPARE(QFile::permissions(QDir(folder()).filePath(u"lgbk.xc"_s))
                     & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
    }

    // A session that changes nothing in the ledger leaves no backup, wherever the program was started from.
    void aSessionStartedElsewhereThatChangesNothingLeavesNoBackup()
    {
        {
            ProgramCopy first(*m_x, folder(), m_runtime->path());
            QVERIFY(!createDatabaseAndReachLogin(first).isEmpty());
            first.kill(); // the new ledger's own backup is not the point here
        }
        const QDir backups(QDir(folder()).filePath(u"备份"_s));
        const QStringList before = backups.entryList(QDir::Files);
        QTemporaryDir elsewhere;
        ProgramCopy copy(*m_x, folder(), m_runtime->path(), elsewhere.path());
        const QString login = m_x->waitForWindow(copy.pid(), u"Ovelta"_s);
        QVERIFY(!login.isEmpty());
        // Three wrong passwords end the program through its end routine, which makes the backups.
        for (int attempt = 1; attempt <= 3; ++attempt) {
            m_x->typeText(login, u"wrong"_s);
            m_x->pressKeys(login, {u"Return"_s});
            const QString box = m_x->waitForWindow(copy.pid(), u"错误"_s);
            QVERIFY(!box.isEmpty());
            m_x->pressKeys(box, {u"Return"_s});
            if (attempt < 3)
                QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(copy.pid(), u"错误"_s, 200).isEmpty(), 10000);
        }
        QVERIFY(copy.waitForExit());
        QCOMPARE(copy.exitCode(), 0);
        QCOMPARE(backups.entryList(QDir::Files), before);
        QVERIFY(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }

    void escapeLeavesTheQuestionAndNoDeclinesIt()
    {
        ProgramCopy copy(*m_x, folder(), m_runtime->path());
        const QString question = m_x->waitForWindow(copy.pid(), questionTitle);
        QVERIFY(!question.isEmpty());
        // A Yes/No question has no escape answer: a reflexive Esc changes nothing.
        m_x->pressKeys(question, {u"Escape"_s});
        QTest::qWait(1500);
        QVERIFY(copy.isRunning());
        QCOMPARE(m_x->windowsOf(copy.pid()).size(), 1);
        QCOMPARE(m_x->waitForWindow(copy.pid(), questionTitle, 1000), question);
        m_x->pressKeys(question, {u"alt+n"_s});
        const QString bye = m_x->waitForWindow(copy.pid(), u"退出"_s);
        QVERIFY2(!bye.isEmpty(), "no farewell box");
        m_x->pressKeys(bye, {u"Return"_s});
        QVERIFY(copy.waitForExit());
        QCOMPARE(copy.exitCode(), 0);
        QVERIFY(!QFile::exists(QDir(folder()).filePath(u"lgbk.xc"_s)));
    }

    void aProgramFolderNamedInAnotherEncodingKeepsItsLedger()
    {
        // "人情账簿" in GBK, as unpacking a Windows archive names the folder; the copy is started through a
        // link from a folder of its own, so only the program's own path leads to its folder.
        const QByteArray program = QFile::encodeName(folder()) + "/\xc8\xcb\xc7\xe9\xd5\xcb\xb2\xbe";
        QVERIFY(::mkdir(program.constData(), 0755) == 0);
        const auto removal = qScopeGuard([&program] { removeNativeFolder(program); });
        QVERIFY(installAt(program + "/ovelta"));
        QTemporaryDir elsewhere;
        QVERIFY(
            ::symlink((program + "/ovelta").constData(), QFile::encodeName(elsewhere.filePath(u"ovelta"_s)).constData())
            == 0);
        Started copy(*m_x, elsewhere.filePath(u"ovelta"_s), {}, elsewhere.path(),
                     {{u"XDG_RUNTIME_DIR"_s, m_runtime->path()}});
        const QString login = createDatabaseAndReachLogin(copy.pid());
        QVERIFY2(!login.isEmpty(), copy.output().constData());
        QVERIFY(existsNative(program + "/lgbk.xc"));
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"ovelta"_s});
        QVERIFY(!QFile::exists(QDir(folder()).filePath(u"lgbk.xc"_s)));
    }

    void aLedgerLockedByAnotherProgramIsNamedAndUntouched()
    {
        const QString ledger = QDir(folder()).filePath(u"lgbk.xc"_s);
        QVERIFY(ovelta::LedgerSchema::createFile(ledger, ovelta::LedgerFile::password()));
        const QByteArray before = contentOf(ledger);
        {
            WriteLock other(ledger);
            QVERIFY(other.holds());
            ProgramCopy copy(*m_x, folder(), m_runtime->path());
            const QString box = m_x->waitForWindow(copy.pid(), u"错误"_s, 30000);
            QVERIFY2(!box.isEmpty(), "no box for a locked ledger");
            // No question about creating a database, no login.
            QCOMPARE(m_x->windowsOf(copy.pid()).size(), 1);
            m_x->pressKeys(box, {u"Return"_s});
            QVERIFY(copy.waitForExit());
            QCOMPARE(copy.exitCode(), 0);
        }
        QCOMPARE(contentOf(ledger), before);
        // Once the lock is gone the next start goes straight to the login.
        ProgramCopy next(*m_x, folder(), m_runtime->path());
        const QString login = m_x->waitForWindow(next.pid(), u"Ovelta"_s);
        QVERIFY(!login.isEmpty());
        QCOMPARE(m_x->windowsOf(next.pid()).size(), 1);
    }

    void aProgramFolderTheUserCannotWriteKeepsTheLedgerInTheUsersDataFolder_data()
    {
        QTest::addColumn<bool>("create");
        QTest::newRow("created") << true;
        QTest::newRow("declined") << false;
    }
    void aProgramFolderTheUserCannotWriteKeepsTheLedgerInTheUsersDataFolder()
    {
        QFETCH(bool, create);
        if (::geteuid() != 0)
            QSKIP("needs to start the program as another user");
        // A program installed where its user cannot write: the folder and the program are root's, the user is
        // nobody, with a home folder of its own.
        QTemporaryDir root;
        QVERIFY(::chmod(QFile::encodeName(root.path()).constData(), 0755) == 0);
        const QString program = root.filePath(u"program"_s);
        const QString home = root.filePath(u"home"_s);
        const QString runtime = root.filePath(u"run"_s);
        for (const QString& made : {program, home, runtime})
            QVERIFY(QDir().mkdir(made));
        QVERIFY(::chmod(QFile::encodeName(program).constData(), 0755) == 0);
        QVERIFY(installAt(QFile::encodeName(program + u"/ovelta"_s)));
        for (const QString& own : {home, runtime}) {
            QVERIFY(::chown(QFile::encodeName(own).constData(), Nobody, Nobody) == 0);
            QVERIFY(::chmod(QFile::encodeName(own).constData(), 0700) == 0);
        }
        const QStringList asNobody{u"--reuid=%1"_s.arg(Nobody), u"--regid=%1"_s.arg(Nobody), u"--clear-groups"_s,
                                   u"--"_s};
        if (QProcess::execute(u"setpriv"_s, asNobody + QStringList{u"test"_s, u"-x"_s, program + u"/ovelta"_s}) != 0)
            QSKIP("the temporary folder is out of another user's reach here");
        Started copy(*m_x, u"setpriv"_s, asNobody + QStringList{program + u"/ovelta"_s}, root.path(),
                     {{u"HOME"_s, home}, {u"XDG_RUNTIME_DIR"_s, runtime}, {u"XDG_DATA_HOME"_s, QString()}});
        if (!create) {
            // Declined: the folders made for the ledger go again, and nothing is left anywhere.
            const QString question = m_x->waitForWindow(copy.pid(), questionTitle);
            QVERIFY2(!question.isEmpty(), copy.output().constData());
            m_x->pressKeys(question, {u"alt+n"_s});
            const QString bye = m_x->waitForWindow(copy.pid(), u"退出"_s);
            QVERIFY(!bye.isEmpty());
            m_x->pressKeys(bye, {u"Return"_s});
            QVERIFY(copy.endsWithZero());
            QVERIFY(!QFile::exists(home + u"/.local"_s));
            QCOMPARE(QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList{u"ovelta"_s});
            return;
        }
        const QString login = createDatabaseAndReachLogin(copy.pid());
        QVERIFY2(!login.isEmpty(), copy.output().constData());
        QVERIFY(logIn(copy.pid(), login));

        const QString data = home + u"/.local/share/ovelta"_s;
        QVERIFY(!QFile::exists(program + u"/lgbk.xc"_s));
        QCOMPARE(QDir(data).entryList(QDir::Files | QDir::Hidden), QStringList{u"lgbk.xc"_s});
        QCOMPARE(modeOf(data + u"/lgbk.xc"_s), mode_t(0600));
        for (const QString& made : {home + u"/.local"_s, home + u"/.local/share"_s, data})
            QCOMPARE(modeOf(made), mode_t(0700));
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(data + u"/lgbk.xc"_s).constData(), &info), 0);
        QCOMPARE(info.st_uid, Nobody);
    }

    void aPrivateLedgerOpensWithItsPasswordOnly()
    {
        const QString ledger = QDir(folder()).filePath(u"lgbk.xc"_s);
        QVERIFY(ovelta::LedgerSchema::createFile(ledger, ovelta::LedgerFile::password()));
        QVERIFY(ovelta::PrivateLedger::rekey(ledger, ovelta::LedgerFile::password(), u"kelpo"_s, true, {}));
        ProgramCopy copy(*m_x, folder(), m_runtime->path());
        // Straight to the login: not taken for a file that cannot be opened.
        const QString login = m_x->waitForWindow(copy.pid(), u"Ovelta"_s);
        QVERIFY(!login.isEmpty());
        QCOMPARE(m_x->windowsOf(copy.pid()).size(), 1);
        m_x->typeText(login, u"kelp"_s);
        m_x->pressKeys(login, {u"Return"_s});
        const QString box = m_x->waitForWindow(copy.pid(), u"错误"_s);
        QVERIFY2(!box.isEmpty(), "no box after a password that does not open the ledger");
        m_x->pressKeys(box, {u"Return"_s});
        QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(copy.pid(), u"错误"_s, 200).isEmpty(), 10000);
        QVERIFY(logIn(copy.pid(), login));
        QVERIFY(copy.isRunning());
    }

    void loginShowsTheMainWindow()
    {
        ProgramCopy copy(*m_x, folder(), m_runtime->path());
        const QString login = createDatabaseAndReachLogin(copy);
        QVERIFY(!login.isEmpty());
        m_x->typeText(login, u"kelpo"_s);
        m_x->pressKeys(login, {u"Return"_s});
        // The main window is the larger "Ovelta" window; the login window is gone.
        QString mainId;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                mainId = m_x->waitForWindow(copy.pid(), u"Ovelta"_s, 1000);
                return !mainId.isEmpty() && m_x->windowSize(mainId).width() > 400;
            }(),
            20000);
        QCOMPARE(m_x->windowsOf(copy.pid()).size(), 1);
        QVERIFY(copy.isRunning());
    }

    void threeWrongPasswordsEndWithZero()
    {
        ProgramCopy copy(*m_x, folder(), m_runtime->path());
        const QString login = createDatabaseAndReachLogin(copy);
        QVERIFY(!login.isEmpty());
        for (int attempt = 1; attempt <= 3; ++attempt) {
            m_x->typeText(login, u"wrong"_s);
            m_x->pressKeys(login, {u"Return"_s});
            const QString box = m_x->waitForWindow(copy.pid(), u"错误"_s);
            QVERIFY2(!box.isEmpty(), qPrintable(u"no box after wrong password %1"_s.arg(attempt)));
            m_x->pressKeys(box, {u"Return"_s});
            if (attempt < 3)
                QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(copy.pid(), u"错误"_s, 200).isEmpty(), 10000);
        }
        QVERIFY(copy.waitForExit());
        QCOMPARE(copy.exitCode(), 0);
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
            const auto made
                = LedgerBackup::create(ledger, LedgerFile::password(), QDateTime(QDate(2026, 12, 1), QTime(8, 0)));
            QVERIFY2(made, qPrintable(made.errorText()));
            good = *made;
            // A newer backup that is itself damaged is passed over.
            const auto bad
                = LedgerBackup::create(ledger, LedgerFile::password(), QDateTime(QDate(2026, 12, 2), QTime(8, 0)));
            QVERIFY(bad);
            QVERIFY(damage(*bad));
        }
        QVERIFY(damage(ledger));
        const QByteArray damaged = contentOf(ledger);
        const QStringList backupsBefore = QDir(file(u"备份"_s)).entryList(QDir::Files | QDir::Hidden);

        ProgramCopy copy(*m_x, folder(), m_runtime->path());
        QVERIFY(logInAt(copy));
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

QTEST_GUILESS_MAIN(TestProcess)
#include "test_process.moc"
