// Where the ledger lives: start-up enters the program's folder by its native name (bytes that need not be
// UTF-8), stays there when it is writable or already holds the ledger, and otherwise moves on to the user's
// data folder, made with mode 0700. A program folder that cannot be entered ends the program, creating nothing.

#include "GuiSupport.h"
#include "app/LedgerFolder.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

QByteArray currentFolder()
{
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) != nullptr ? QByteArray(buffer) : QByteArray();
}

QByteArray realFolder(const QByteArray& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.constData(), buffer) != nullptr ? QByteArray(buffer) : QByteArray();
}

mode_t modeOf(const QByteArray& path)
{
    struct stat info;
    return ::stat(path.constData(), &info) == 0 ? info.st_mode & 07777 : mode_t(0);
}

bool exists(const QByteArray& path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

/// Restores the current directory and the environment variables a test changes.
class Restore
{
public:
    Restore()
        : m_folder(currentFolder())
        , m_home(qgetenv("HOME"))
        , m_dataHome(qgetenv("XDG_DATA_HOME"))
        , m_hadDataHome(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
    }
    ~Restore()
    {
        (void)!::chdir(m_folder.constData());
        qputenv("HOME", m_home);
        if (m_hadDataHome)
            qputenv("XDG_DATA_HOME", m_dataHome);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    QByteArray m_folder;
    QByteArray m_home;
    QByteArray m_dataHome;
    bool m_hadDataHome;
};

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

bool writableFolder(const QByteArray&)
{
    return true;
}

bool readOnlyFolder(const QByteArray&)
{
    return false;
}

} // namespace

class TestLedgerFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theUserDataFolderFollowsTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<QByteArray>("dataHome"); // "-" for unset
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("XDG_DATA_HOME") << QByteArray("/home/u") << QByteArray("/data") << QByteArray("/data/ovelta");
        QTest::newRow("trailing slashes")
            << QByteArray("/home/u") << QByteArray("/data//") << QByteArray("/data/ovelta");
        QTest::newRow("unset") << QByteArray("/home/u") << QByteArray("-") << QByteArray("/home/u/.local/share/ovelta");
        QTest::newRow("empty") << QByteArray("/home/u/") << QByteArray("") << QByteArray("/home/u/.local/share/ovelta");
        QTest::newRow("relative, ignored")
            << QByteArray("/home/u") << QByteArray("data") << QByteArray("/home/u/.local/share/ovelta");
        QTest::newRow("not UTF-8") << QByteArray("/home/\xd5\xc5") << QByteArray("-")
                                   << QByteArray("/home/\xd5\xc5/.local/share/ovelta");
        QTest::newRow("the root") << QByteArray("/home/u") << QByteArray("/") << QByteArray("/ovelta");
    }
    void theUserDataFolderFollowsTheEnvironment()
    {
        QFETCH(QByteArray, home);
        QFETCH(QByteArray, dataHome);
        QFETCH(QByteArray, expected);
        Restore restore;
        qputenv("HOME", home);
        if (dataHome == "-")
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", dataHome);
        QCOMPARE(LedgerFolder::userDataFolder(), expected);
    }

    void theLedgerLivesBesideTheProgramOrInTheDataFolder_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("inProgramFolder"); // what stands under the ledger's name there
        QTest::addColumn<bool>("beside");
        QTest::newRow("writable, empty") << true << QString() << true;
        QTest::newRow("writable, with the ledger") << true << u"file"_s << true;
        QTest::newRow("read-only, with the ledger") << false << u"file"_s << true;
        QTest::newRow("read-only, with a broken link") << false << u"link"_s << true;
        QTest::newRow("read-only, empty") << false << QString() << false;
        // A ledger another user left (an administrator's run) is never taken for this user's.
        QTest::newRow("writable, with another user's ledger") << true << u"foreign"_s << false;
        QTest::newRow("read-only, with another user's ledger") << false << u"foreign"_s << false;
    }
    void theLedgerLivesBesideTheProgramOrInTheDataFolder()
    {
        QFETCH(bool, writable);
        QFETCH(QString, inProgramFolder);
        QFETCH(bool, beside);
        Restore restore;
        QTemporaryDir root;
        const QByteArray program = native(root.filePath(u"program"_s));
        const QByteArray data = native(root.filePath(u"home/.local/share/ovelta"_s));
        QVERIFY(QDir(root.path()).mkdir(u"program"_s));
        if (inProgramFolder == u"file"_s) {
            QFile f(root.filePath(u"program/lgbk.xc"_s));
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (inProgramFolder == u"link"_s) {
            QVERIFY(QFile::link(root.filePath(u"gone"_s), root.filePath(u"program/lgbk.xc"_s)));
        } else if (inProgramFolder == u"foreign"_s) {
            QFile f(root.filePath(u"program/lgbk.xc"_s));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            if (::geteuid() != 0)
                QSKIP("needs to give a file to another user");
            QCOMPARE(::chown(native(f.fileName()).constData(), 65534, 65534), 0);
        }
        const bool foreign = inProgramFolder == u"foreign"_s;
        test::BoxRecorder boxes;
        test::EndRecorder end;
        // Start-up asks where the ledger lies before it enters anything: the answer makes nothing.
        QCOMPARE(LedgerFolder::ledgerFolder(program, data, writable ? writableFolder : readOnlyFolder),
                 beside ? program : data);
        QVERIFY(!exists(native(root.filePath(u"home"_s))));
        QVERIFY(LedgerFolder::enter(program, data, writable ? writableFolder : readOnlyFolder));
        // The ledger passed over is named, so that the user knows why it is not shown.
        QCOMPARE(boxes.count(), foreign ? 1 : 0);
        if (foreign) {
            QVERIFY(boxes.last().text.contains(QFile::decodeName(program) + u"/lgbk.xc"_s));
            QVERIFY(boxes.last().text.contains(QFile::decodeName(data)));
            QCOMPARE(boxes.last().title, u"信息提示"_s);
            QCOMPARE(boxes.last().icon, MessageBox::Information);
        }
        QVERIFY(!end.ended());
        QCOMPARE(currentFolder(), realFolder(beside ? program : data));
        if (beside) {
            QVERIFY(!exists(native(root.filePath(u"home"_s))));
        } else {
            // Every folder made on the way is the user's alone, whatever the umask.
            for (const char* made : {"home", "home/.local", "home/.local/share", "home/.local/share/ovelta"})
                QCOMPARE(modeOf(native(root.filePath(QString::fromLatin1(made)))), mode_t(0700));
        }
        // A run that ends without a ledger (the user declined) takes the folders it made with it.
        LedgerFolder::removeUnusedFolders();
        QVERIFY(!exists(native(root.filePath(u"home"_s))));
    }

    // An installed program keeps no ledger beside itself, whoever runs it and whatever lies there: the
    // administrator gets a data folder of their own like everyone else.
    void anInstalledProgramKeepsItsLedgerInTheDataFolder()
    {
        for (const QByteArray& program : {QByteArray("/usr/bin"), QByteArray("/usr/local/bin"), QByteArray("/usr")})
            QCOMPARE(LedgerFolder::ledgerFolder(program, "/home/u/.local/share/ovelta", writableFolder),
                     QByteArray("/home/u/.local/share/ovelta"));
        QCOMPARE(LedgerFolder::ledgerFolder("/usrlocal/bin", "/data", writableFolder), QByteArray("/usrlocal/bin"));
    }

    // A home folder the environment names but another user owns (a HOME that sudo kept) is not this user's.
    void aHomeFolderOfAnotherUserIsNotUsed()
    {
        if (::geteuid() != 0)
            QSKIP("needs a folder of another user");
        Restore restore;
        QTemporaryDir home;
        QCOMPARE(::chown(native(home.path()).constData(), 65534, 65534), 0);
        qputenv("HOME", native(home.path()));
        qunsetenv("XDG_DATA_HOME");
        QVERIFY(!LedgerFolder::userDataFolder().startsWith(native(home.path())));
        qputenv("XDG_DATA_HOME", native(home.path()));
        QVERIFY(!LedgerFolder::userDataFolder().startsWith(native(home.path())));
    }

    void foldersThatReceivedAnythingStay()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir(u"home"_s));
        QVERIFY(LedgerFolder::makeFolder(native(root.filePath(u"home/.local/share/ovelta"_s))));
        QVERIFY(LedgerFolder::makeFolder(native(root.filePath(u"home/.local/state"_s))));
        QFile ledger(root.filePath(u"home/.local/share/ovelta/lgbk.xc"_s));
        QVERIFY(ledger.open(QIODevice::WriteOnly));
        LedgerFolder::removeUnusedFolders();
        QVERIFY(!exists(native(root.filePath(u"home/.local/state"_s))));
        QVERIFY(exists(native(ledger.fileName())));
        // Nothing is remembered for later either: an emptied folder stays now.
        QVERIFY(ledger.remove());
        LedgerFolder::removeUnusedFolders();
        QVERIFY(exists(native(root.filePath(u"home/.local/share/ovelta"_s))));
        QVERIFY(exists(native(root.filePath(u"home"_s))));
    }

    void foldersAreMadeForTheUserAloneWhateverTheUmask()
    {
        QTemporaryDir root;
        const mode_t previous = ::umask(0277);
        const QByteArray folder = native(root.filePath(u"a/b"_s));
        const bool made = LedgerFolder::makeFolder(folder);
        ::umask(previous);
        QVERIFY(made);
        QCOMPARE(modeOf(native(root.filePath(u"a"_s))), mode_t(0700));
        QCOMPARE(modeOf(folder), mode_t(0700));
        LedgerFolder::removeUnusedFolders();
    }

    void aDataFolderThatCannotBeMadeLeavesTheProgramFolderCurrent()
    {
        Restore restore;
        QTemporaryDir root;
        QFile blocker(root.filePath(u"file"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        test::BoxRecorder boxes;
        test::EndRecorder end;
        QVERIFY(LedgerFolder::enter(native(root.path()), native(root.filePath(u"file/ovelta"_s)), readOnlyFolder));
        QCOMPARE(currentFolder(), realFolder(native(root.path())));
        QCOMPARE(boxes.count(), 0);
        QVERIFY(!end.ended());
    }

    void aProgramFolderNamedInAnotherEncodingIsEntered()
    {
        Restore restore;
        QTemporaryDir root;
        // "人情账簿" in GBK, as a Windows archive unpacks it: not valid UTF-8.
        const QByteArray program = native(root.path()) + "/\xc8\xcb\xc7\xe9\xd5\xcb\xb2\xbe";
        QVERIFY(::mkdir(program.constData(), 0700) == 0);
        const auto removal = qScopeGuard([&program] { removeNativeFolder(program); });
        test::BoxRecorder boxes;
        test::EndRecorder end;
        QVERIFY(LedgerFolder::enter(program, native(root.filePath(u"data"_s)), writableFolder));
        QCOMPARE(currentFolder(), realFolder(program));
        QCOMPARE(boxes.count(), 0);
    }

    void aProgramFolderThatCannotBeEnteredEndsTheProgram_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("gone") << u"gone"_s;
        QTest::newRow("a file") << u"file"_s;
        QTest::newRow("unknown") << u"unknown"_s;
    }
    void aProgramFolderThatCannotBeEnteredEndsTheProgram()
    {
        QFETCH(QString, kind);
        Restore restore;
        QTemporaryDir root;
        QByteArray program;
        if (kind == u"gone"_s) {
            program = native(root.filePath(u"gone"_s));
        } else if (kind == u"file"_s) {
            program = native(root.filePath(u"program"_s));
            QFile f(root.filePath(u"program"_s));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QByteArray before = currentFolder();
        const QByteArray data = native(root.filePath(u"data"_s));
        test::BoxRecorder boxes;
        test::EndRecorder end;
        QVERIFY(!LedgerFolder::enter(program, data, readOnlyFolder));
        QVERIFY(end.ended());
        QCOMPARE(end.code(), 0);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, u"无法进入程序所在的文件夹,系统即将退出!"_s);
        QCOMPARE(boxes.last().title, u"错误"_s);
        QCOMPARE(boxes.last().buttons, MessageBox::OkOnly);
        QCOMPARE(boxes.last().icon, MessageBox::Stop);
        QCOMPARE(boxes.last().defaultButton, MessageBox::Ok);
        // Nothing is made, and the program stays where it was started.
        QCOMPARE(currentFolder(), before);
        QVERIFY(!exists(data));
    }
};

QTEST_MAIN(TestLedgerFolder)
#include "test_ledger_folder.moc"
