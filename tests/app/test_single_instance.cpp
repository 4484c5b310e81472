// The single-instance guard: locks on the ledger's folder and on the ledger file, taken once per ledger,
// refused while another process holds them whatever that process's environment, and free again when their
// holder dies.

#include "GuiSupport.h"
#include "TempFolder.h"
#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

/// A child process that, with its own runtime and temporary folders, locks folder, reports on the pipe and
/// then waits to be killed. Returns its id, or -1 when it did not get the lock.
pid_t holder(const QByteArray& folder, bool file = false)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::setenv("XDG_RUNTIME_DIR", "/nonexistent/runtime", 1);
        ::setenv("TMPDIR", "/nonexistent/tmp", 1);
        const auto outcome = file ? SingleInstance::acquireFile(folder) : SingleInstance::acquire(folder);
        const char ok = outcome == SingleInstance::Outcome::First ? '1' : '0';
        (void)!::write(fds[1], &ok, 1);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    char ok = '0';
    (void)!::read(fds[0], &ok, 1);
    ::close(fds[0]);
    if (ok != '1' && pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

void stop(pid_t pid)
{
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aHeldLedgerFolderRefusesUntilItsHolderIsKilled()
    {
        test::TempFolder ledger;
        const pid_t pid = holder(native(ledger.path()));
        QVERIFY(pid > 0);
        QCOMPARE(SingleInstance::acquire(native(ledger.path())), SingleInstance::Outcome::AlreadyRunning);

        test::BoxRecorder boxes;
        test::EndRecorder end;
        SingleInstance::check(); // on the current directory, the ledger's folder
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, u"程序已经运行,请不要重复运行!"_s);
        QCOMPARE(boxes.last().title, u"信息提示"_s);
        QCOMPARE(boxes.last().buttons, MessageBox::OkOnly);
        QCOMPARE(boxes.last().icon, MessageBox::Information);
        QVERIFY(end.ended());
        QCOMPARE(end.code(), 0);

        stop(pid);
        QCOMPARE(SingleInstance::acquire(native(ledger.path())), SingleInstance::Outcome::First);
        // The lock needs no file of its own.
        QCOMPARE(entriesOf(ledger.path()), QStringList());
    }

    void theLockFollowsTheLedgerFolderWhateverItIsCalled_data()
    {
        QTest::addColumn<QString>("reachedAs");
        QTest::addColumn<int>("expected");
        QTest::newRow("same path") << u"same"_s << int(SingleInstance::Outcome::AlreadyRunning);
        QTest::newRow("through a link") << u"link"_s << int(SingleInstance::Outcome::AlreadyRunning);
        QTest::newRow("with a trailing slash") << u"slash"_s << int(SingleInstance::Outcome::AlreadyRunning);
        QTest::newRow("another ledger folder") << u"other"_s << int(SingleInstance::Outcome::First);
    }
    void theLockFollowsTheLedgerFolderWhateverItIsCalled()
    {
        QFETCH(QString, reachedAs);
        QFETCH(int, expected);
        QTemporaryDir root;
        const QString ledger = root.filePath(u"ledger"_s);
        QVERIFY(QDir(root.path()).mkdir(u"ledger"_s) && QDir(root.path()).mkdir(u"other"_s));
        QVERIFY(QFile::link(ledger, root.filePath(u"link"_s)));
        // The holder runs with other runtime and temporary folders than ours: that must not matter.
        const pid_t pid = holder(native(ledger));
        QVERIFY(pid > 0);
        QString path = ledger;
        if (reachedAs == u"link"_s)
            path = root.filePath(u"link"_s);
        else if (reachedAs == u"slash"_s)
            path = ledger + u'/';
        else if (reachedAs == u"other"_s)
            path = root.filePath(u"other"_s);
        const auto outcome = SingleInstance::acquire(native(path));
        stop(pid);
        QCOMPARE(int(outcome), expected);
    }

    // The ledger file itself is locked too: any path to the same file meets the lock, also from a folder that
    // cannot be listed (whose own lock is then out of reach) or through a hard link in another folder.
    void theLockFollowsTheLedgerFileWhateverPathLeadsToIt_data()
    {
        QTest::addColumn<QString>("reachedAs");
        QTest::addColumn<int>("expected");
        QTest::newRow("same path") << u"same"_s << int(SingleInstance::Outcome::AlreadyRunning);
        QTest::newRow("a hard link in another folder") << u"hard"_s << int(SingleInstance::Outcome::AlreadyRunning);
        QTest::newRow("a symbolic link") << u"soft"_s << int(SingleInstance::Outcome::AlreadyRunning);
        QTest::newRow("a copy") << u"copy"_s << int(SingleInstance::Outcome::First);
        QTest::newRow("a named pipe, never waited on") << u"pipe"_s << int(SingleInstance::Outcome::Unavailable);
        QTest::newRow("a folder") << u"folder"_s << int(SingleInstance::Outcome::Unavailable);
    }
    void theLockFollowsTheLedgerFileWhateverPathLeadsToIt()
    {
        QFETCH(QString, reachedAs);
        QFETCH(int, expected);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir(u"a"_s) && QDir(root.path()).mkdir(u"b"_s));
        const QString ledger = root.filePath(u"a/lgbk.xc"_s);
        const QString other = root.filePath(u"b/lgbk.xc"_s);
        {
            QFile f(ledger);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("ledger") == 6);
        }
        if (reachedAs == u"hard"_s)
            QCOMPARE(::link(native(ledger).constData(), native(other).constData()), 0);
        else if (reachedAs == u"soft"_s)
            QVERIFY(QFile::link(ledger, other));
        else if (reachedAs == u"copy"_s)
            QVERIFY(QFile::copy(ledger, other));
        else if (reachedAs == u"pipe"_s)
            QCOMPARE(::mkfifo(native(other).constData(), 0600), 0);
        else if (reachedAs == u"folder"_s)
            QVERIFY(QDir().mkdir(other));
        const pid_t pid = holder(native(ledger), true);
        QVERIFY(pid > 0);
        const auto outcome = SingleInstance::acquireFile(native(reachedAs == u"same"_s ? ledger : other));
        stop(pid);
        QCOMPARE(int(outcome), expected);
    }

    void aFolderThatCannotBeLockedLetsTheProgramRunSilently_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << u"missing"_s;
        QTest::newRow("a file") << u"file"_s;
    }
    void aFolderThatCannotBeLockedLetsTheProgramRunSilently()
    {
        QFETCH(QString, kind);
        QTemporaryDir root;
        const QString path = root.filePath(u"ledger"_s);
        if (kind == u"file"_s) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(SingleInstance::acquire(native(path)), SingleInstance::Outcome::Unavailable);
        QCOMPARE(SingleInstance::acquire(native(path)), SingleInstance::Outcome::Unavailable);
    }
};

QTEST_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
