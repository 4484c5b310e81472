// The real program under a real X server: single instance, its own folder, first start, login, exit codes.

#include "XSession.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using ovelta::test::ProgramCopy;
using ovelta::test::XSession;

namespace {

const QString questionTitle = u"信息："_s; // the database question has no title of its own
const QString createdTitle = u"提示"_s;

} // namespace

class TestProcess : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<XSession> m_x;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QTemporaryDir> m_runtime;

    QString folder() const { return m_folder->path(); }

    /// Starts a copy and answers the first-start question with Yes and the success box with OK.
    /// Returns the login window's id.
    QString createDatabaseAndReachLogin(ProgramCopy& copy)
    {
        const QString question = m_x->waitForWindow(copy.pid(), questionTitle);
        if (question.isEmpty())
            return {};
        m_x->pressKeys(question, {u"Return"_s});
        const QString created = m_x->waitForWindow(copy.pid(), createdTitle);
        if (created.isEmpty())
            return {};
        m_x->pressKeys(created, {u"Return"_s});
        return m_x->waitForWindow(copy.pid(), u"Ovelta"_s);
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

        ProgramCopy second(*m_x, folder(), m_runtime->path());
        const QString box = m_x->waitForWindow(second.pid(), u"信息提示"_s);
        QVERIFY2(!box.isEmpty(), "second copy shows no refusal");
        // The second copy never reaches the database question or a login window.
        QCOMPARE(m_x->windowsOf(second.pid()).size(), 1);
        m_x->pressKeys(box, {u"Return"_s});
        QVERIFY(second.waitForExit());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(first.isRunning());

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

    void decliningTheDatabaseEndsWithZeroAndCreatesNothing()
    {
        ProgramCopy copy(*m_x, folder(), m_runtime->path());
        const QString question = m_x->waitForWindow(copy.pid(), questionTitle);
        QVERIFY(!question.isEmpty());
        m_x->pressKeys(question, {u"Escape"_s}); // Esc answers No
        const QString bye = m_x->waitForWindow(copy.pid(), u"退出"_s);
        QVERIFY2(!bye.isEmpty(), "no farewell box");
        m_x->pressKeys(bye, {u"Return"_s});
        QVERIFY(copy.waitForExit());
        QCOMPARE(copy.exitCode(), 0);
        QVERIFY(!QFile::exists(QDir(folder()).filePath(u"lgbk.xc"_s)));
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
};

QTEST_GUILESS_MAIN(TestProcess)
#include "test_process.moc"
