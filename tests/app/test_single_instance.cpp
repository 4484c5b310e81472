// The single-instance marker: taken once per process, refused while held, free again when its holder dies.

#include "GuiSupport.h"
#include "app/SingleInstance.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_runtime;

    /// A child process that takes the marker, reports on the pipe and then waits to be killed.
    pid_t holder()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            const char ok = SingleInstance::acquire() == SingleInstance::Outcome::First ? '1' : '0';
            (void)!::write(fds[1], &ok, 1);
            for (;;)
                ::pause();
        }
        ::close(fds[1]);
        char ok = '0';
        (void)!::read(fds[0], &ok, 1);
        ::close(fds[0]);
        return ok == '1' ? pid : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }

    void markerLivesInTheRuntimeFolder()
    {
        QCOMPARE(SingleInstance::markerName(), u"MySemaphoreName"_s);
        QCOMPARE(SingleInstance::markerPath(), m_runtime.filePath(u"MySemaphoreName"_s));
    }

    void heldMarkerRefusesUntilItsHolderIsKilled()
    {
        const pid_t pid = holder();
        QVERIFY(pid > 0);
        QCOMPARE(SingleInstance::acquire(), SingleInstance::Outcome::AlreadyRunning);

        test::BoxRecorder boxes;
        test::EndRecorder end;
        SingleInstance::check();
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, u"程序已经运行,请不要重复运行!"_s);
        QCOMPARE(boxes.last().title, u"信息提示"_s);
        QCOMPARE(boxes.last().buttons, MessageBox::OkOnly);
        QCOMPARE(boxes.last().icon, MessageBox::Information);
        QVERIFY(end.ended());
        QCOMPARE(end.code(), 0);

        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        QCOMPARE(SingleInstance::acquire(), SingleInstance::Outcome::First);
    }

    void unusableMarkerLetsTheProgramRunSilently()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        // A folder where the marker file should be: the marker cannot be had, and that is no reason to refuse.
        QVERIFY(QDir(runtime.path()).mkdir(SingleInstance::markerName()));
        QCOMPARE(SingleInstance::acquire(), SingleInstance::Outcome::Unavailable);
        test::BoxRecorder boxes;
        test::EndRecorder end;
        SingleInstance::check();
        QCOMPARE(boxes.count(), 0);
        QVERIFY(!end.ended());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }
};

QTEST_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
