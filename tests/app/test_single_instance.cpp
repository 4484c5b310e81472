// The single-instance guard: a lock on the ledger's folder, taken once per ledger, refused while another
// process holds it whatever that process's environment, and free again when its holder dies.

#include "GuiSupport.h"
#include "TempFolder.h"
#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
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
pid_t holder(const QByteArray& folder)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::setenv("XDG_RUNTIME_DIR", "/nonexistent/runtime", 1);
        ::setenv("TMPDIR", "/nonexistent/tmp", 1);
        const char ok = SingleInstance::acquire(folder) == SingleInstance::Outcome::First ? '1' : '0';
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
