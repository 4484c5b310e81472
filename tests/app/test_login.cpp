// The login window over a real ledger file in a temporary folder: the account lookup, the exact password
// comparison, the wrong-password counter and every way out of the window.

#include "Noted.h"
#include "app/LoginWindow.h"
#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/PrivateLedger.h"
#include "ui/base/SharedState.h"

#include "GuiSupport.h"
#include "LedgerFixture.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

const QString SeededPassword = u"kelpo"_s;

/// How a login window went away.
struct Outcome
{
    bool loggedIn = false; ///< closed by the window itself after a matching password
    bool ended = false; ///< the end routine ran
    int exitCode = -1;
};

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT

private:
    /// Opens a fresh login window modally over the main window's objects and runs the script inside its loop
    /// once it is shown. A window the script leaves open is closed afterwards, so a failing check cannot hang
    /// the test.
    Outcome runLogin(const std::function<void(LoginWindow&)>& script)
    {
        auto* window = new LoginWindow(m_host->database());
        QPointer<LoginWindow> guard(window);
        bool closedByWindow = false;
        QTimer::singleShot(0, window, [&, guard] {
            if (guard)
                script(*guard);
            if (guard && !Program::hasEnded()) {
                closedByWindow = guard->closeRequested();
                if (!closedByWindow)
                    guard->requestClose();
            }
        });
        window->openModal();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return {closedByWindow && !m_end->ended(), m_end->ended(), m_end->code()};
    }

    static void typePassword(LoginWindow& w, const QString& password) { w.setText(u"口令编辑框"_s, password); }
    static void login(LoginWindow& w, const QString& user, const QString& password)
    {
        w.setText(u"用户编辑框"_s, user);
        w.setText(u"口令编辑框"_s, password);
        findControl<QPushButton>(&w, u"登录按钮"_s)->click();
    }

    std::unique_ptr<LedgerFixture> m_fixture;
    TestHost* m_host = nullptr;
    BoxRecorder* m_boxes = nullptr;
    EndRecorder* m_end = nullptr;

private Q_SLOTS:
    void init()
    {
        // The login window connects the host's objects itself.
        m_fixture = std::make_unique<LedgerFixture>(LedgerFixture::Options().unconnected());
        QVERIFY(m_fixture->isValid());
        m_host = &m_fixture->host();
        m_boxes = &m_fixture->boxes();
        m_end = &m_fixture->end();
    }

    void cleanup() { m_fixture.reset(); }

    void opensWithAdminPresetAndFocusInPassword()
    {
        SharedState::instance().loginAttempts = 2; // left over from nothing: the window starts its own count
        QString user;
        QWidget* focused = nullptr;
        QWidget* passwordBox = nullptr;
        runLogin([&](LoginWindow& w) {
            user = w.text(u"用户编辑框"_s);
            focused = w.focusWidget();
            passwordBox = w.control(u"口令编辑框"_s);
        });
        QCOMPARE(user, u"admin"_s);
        QCOMPARE(focused, passwordBox);
        QCOMPARE(SharedState::instance().loginAttempts, quint8(0));
        QVERIFY2(m_boxes->count() == 0, qPrintable(m_boxes->texts().join(u" | "_s)));
        // The database check opened the ledger through the main window's connection.
        QVERIFY(m_host->connection.isOpen());
    }

    void seededAccountLogsIn()
    {
        const Outcome outcome = runLogin([](LoginWindow& w) {
            typePassword(w, SeededPassword);
            findControl<QPushButton>(&w, u"登录按钮"_s)->click();
        });
        QVERIFY(outcome.loggedIn);
        QVERIFY(!outcome.ended);
        QCOMPARE(m_boxes->count(), 0);
        // The account's row set is closed once it has been read.
        QCOMPARE(m_host->external.openRowSets(), 0);
    }

    void passwordMustMatchExactly_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("upper case") << u"KELPO"_s;
        QTest::newRow("one capital") << u"Kelpo"_s;
        QTest::newRow("trailing blank") << u"kelpo "_s;
        QTest::newRow("leading blank") << u" kelpo"_s;
        QTest::newRow("empty") << QString();
        QTest::newRow("prefix") << u"kelp"_s;
    }

    void passwordMustMatchExactly()
    {
        QFETCH(QString, password);
        QString boxAfter = u"unset"_s;
        QWidget* focused = nullptr;
        QWidget* passwordBox = nullptr;
        const Outcome outcome = runLogin([&](LoginWindow& w) {
            login(w, u"admin"_s, password);
            boxAfter = w.text(u"口令编辑框"_s);
            focused = w.focusWidget();
            passwordBox = w.control(u"口令编辑框"_s);
        });
        QVERIFY(!outcome.loggedIn);
        QVERIFY(!outcome.ended);
        QCOMPARE(m_boxes->count(), 1);
        const MessageBox::Record box = m_boxes->last();
        QCOMPARE(box.text, u"密码不正确,请重新输入!"_s);
        QCOMPARE(box.title, u"错误"_s);
        QCOMPARE(box.buttons, MessageBox::OkOnly);
        QCOMPARE(box.icon, MessageBox::Stop);
        QCOMPARE(SharedState::instance().loginAttempts, quint8(1));
        QCOMPARE(boxAfter, QString());
        QCOMPARE(focused, passwordBox);
        QCOMPARE(m_host->external.openRowSets(), 0);
    }

    void thirdWrongPasswordEndsTheProgram()
    {
        QStringList texts;
        const Outcome outcome = runLogin([&](LoginWindow& w) {
            login(w, u"admin"_s, u"wrong1"_s);
            // Unknown user names in between neither count nor reset the count.
            login(w, u"nobody"_s, u"wrong"_s);
            login(w, u"admin"_s, u"wrong2"_s);
            login(w, u"someone else"_s, SeededPassword);
            login(w, QString(), QString());
            QCOMPARE(SharedState::instance().loginAttempts, quint8(2));
            QVERIFY(!Program::hasEnded());
            login(w, u"admin"_s, u"wrong3"_s);
        });
        QVERIFY(outcome.ended);
        QCOMPARE(outcome.exitCode, 0);
        QVERIFY(!outcome.loggedIn);
        QCOMPARE(m_boxes->texts(),
                 QStringList({u"密码不正确,请重新输入!"_s, u"用户名错误!"_s, u"密码不正确,请重新输入!"_s,
                              u"用户名错误!"_s, u"用户名错误!"_s, u"多次输入密码错误,程序将退出!"_s}));
        const MessageBox::Record last = m_boxes->last();
        QCOMPARE(last.title, u"错误"_s);
        QCOMPARE(last.buttons, MessageBox::OkOnly);
        QCOMPARE(last.icon, MessageBox::Warning);
    }

    void twoWrongThenRightLogsIn()
    {
        const Outcome outcome = runLogin([](LoginWindow& w) {
            login(w, u"admin"_s, u"x"_s);
            login(w, u"admin"_s, u"y"_s);
            login(w, u"admin"_s, SeededPassword);
        });
        QVERIFY(outcome.loggedIn);
        QVERIFY(!outcome.ended);
        QCOMPARE(m_boxes->count(), 2);
    }

    void unknownUserNames_data()
    {
        QTest::addColumn<QString>("user");
        QTest::newRow("empty") << QString();
        QTest::newRow("unknown") << u"guest"_s;
        QTest::newRow("trailing blank") << u"admin "_s;
        QTest::newRow("apostrophe") << u"O'Brien"_s;
        QTest::newRow("lone apostrophe") << u"'"_s;
        // Taken as a name, this is nobody; pasted into the statement unquoted it would find the admin account.
        QTest::newRow("quote trick") << u"x' or 用户='admin"_s;
    }

    void unknownUserNames()
    {
        QFETCH(QString, user);
        QString passwordAfter;
        QString userAfter;
        const Outcome outcome = runLogin([&](LoginWindow& w) {
            login(w, user, SeededPassword);
            passwordAfter = w.text(u"口令编辑框"_s);
            userAfter = w.text(u"用户编辑框"_s);
        });
        QVERIFY(!outcome.loggedIn);
        QVERIFY(!outcome.ended);
        QCOMPARE(m_boxes->count(), 1);
        const MessageBox::Record box = m_boxes->last();
        QCOMPARE(box.text, u"用户名错误!"_s);
        QCOMPARE(box.title, u"提示"_s);
        QCOMPARE(box.buttons, MessageBox::OkOnly);
        QCOMPARE(box.icon, MessageBox::Information);
        // Nothing else changes: not counted, both boxes keep their texts.
        QCOMPARE(SharedState::instance().loginAttempts, quint8(0));
        QCOMPARE(passwordAfter, SeededPassword);
        QCOMPARE(userAfter, user);
        QCOMPARE(m_host->external.openRowSets(), 0);
    }

    void missingAccountTableIsSaidSoAndNotCounted()
    {
        {
            const auto engine = EngineConnection::open(LedgerFile::name(), LedgerFile::password());
            QVERIFY(engine);
            QVERIFY(engine->executeNative("DROP TABLE 账号"));
        }
        const Outcome outcome = runLogin([&](LoginWindow& w) {
            // Whatever the name and password, and however often: none of them is a wrong one.
            login(w, u"admin"_s, SeededPassword);
            login(w, u"guest"_s, u"x"_s);
            login(w, u"admin"_s, u"wrong"_s);
            login(w, QString(), QString());
        });
        QVERIFY(!outcome.loggedIn);
        QVERIFY(!outcome.ended);
        QCOMPARE(m_boxes->count(), 4);
        for (const MessageBox::Record& box : m_boxes->shown()) {
            QCOMPARE(box.text, u"数据库文件中没有账号表,无法登录。"_s);
            QCOMPARE(box.title, u"错误"_s);
            QCOMPARE(box.buttons, MessageBox::OkOnly);
            QCOMPARE(box.icon, MessageBox::Stop);
        }
        QCOMPARE(SharedState::instance().loginAttempts, quint8(0));
    }

    void userNameLetterCaseDoesNotCount()
    {
        QStringList texts;
        const Outcome outcome = runLogin([&](LoginWindow& w) {
            login(w, u"ADMIN"_s, u"KELPO"_s);
            texts = m_boxes->texts();
            login(w, u"Admin"_s, SeededPassword);
        });
        // The account is found in any case; its password is still compared exactly.
        QCOMPARE(texts, QStringList{u"密码不正确,请重新输入!"_s});
        QVERIFY(outcome.loggedIn);
    }

    void changedPasswordIsWhatCounts()
    {
        QVERIFY(m_host->connectAll());
        QVERIFY(m_host->connection.execute(u"update 账号 set 密码='Neu 2' where 用户='admin'"_s));
        const Outcome outcome = runLogin([](LoginWindow& w) {
            login(w, u"admin"_s, SeededPassword);
            login(w, u"admin"_s, u"Neu 2"_s);
        });
        QVERIFY(outcome.loggedIn);
        QCOMPARE(m_boxes->texts(), QStringList{u"密码不正确,请重新输入!"_s});
    }

    void cancelEndsWithoutQuestion()
    {
        const Outcome outcome = runLogin([](LoginWindow& w) { findControl<QPushButton>(&w, u"取消按钮"_s)->click(); });
        QVERIFY(outcome.ended);
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(m_boxes->count(), 0);
    }

    void closeBoxEndsWithoutQuestion()
    {
        const Outcome outcome = runLogin([](LoginWindow& w) { w.close(); });
        QVERIFY(outcome.ended);
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(m_boxes->count(), 0);
    }

    void mnemonicsClickTheButtons()
    {
        const Outcome loggedIn = runLogin([](LoginWindow& w) {
            QVERIFY(QTest::qWaitForWindowActive(&w));
            typePassword(w, SeededPassword);
            QTest::keyClick(&w, Qt::Key_I, Qt::AltModifier);
        });
        QVERIFY(loggedIn.loggedIn);

        const Outcome cancelled = runLogin([](LoginWindow& w) {
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier);
        });
        QVERIFY(cancelled.ended);
        QCOMPARE(cancelled.exitCode, 0);
    }

    void enterLogsInFromThePasswordBox()
    {
        const Outcome outcome = runLogin([](LoginWindow& w) {
            QVERIFY(QTest::qWaitForWindowActive(&w));
            auto* box = findControl<QLineEdit>(&w, u"口令编辑框"_s);
            box->setFocus();
            QTest::keyClicks(box, SeededPassword);
            QTest::keyClick(box, Qt::Key_Return);
        });
        QVERIFY(outcome.loggedIn);
    }

    void privateLedgerOpensWithTheTypedPasswordOnly()
    {
        QString error;
        QVERIFY2(test::noted(PrivateLedger::rekey(LedgerFile::name(), LedgerFile::password(), SeededPassword, true, {}),
                             &error),
                 qPrintable(error));
        bool openBeforeLogin = true;
        const Outcome outcome = runLogin([&](LoginWindow& w) {
            openBeforeLogin = m_host->connection.isOpen() || m_host->external.isOpen();
            // A password that does not open the file is wrong whatever the name; once it opens, the name counts.
            login(w, u"admin"_s, u"kelp"_s);
            login(w, u"nobody"_s, u"wrong"_s);
            QCOMPARE(SharedState::instance().loginAttempts, quint8(2));
            login(w, u"nobody"_s, SeededPassword);
            login(w, u"admin"_s, SeededPassword);
        });
        QVERIFY(outcome.loggedIn);
        QVERIFY(!openBeforeLogin);
        QCOMPARE(m_boxes->texts(),
                 QStringList({u"密码不正确,请重新输入!"_s, u"密码不正确,请重新输入!"_s, u"用户名错误!"_s}));
        QCOMPARE(LedgerFile::sessionKey(), SeededPassword);
        // The main window's objects work on the file with the password as its key.
        QVERIFY(m_host->external.isOpen());
        QVERIFY(m_host->connection.execute(u"insert into 收送礼(姓名) values('甲')"_s));
        QVERIFY(m_host->recordSet.openTable(u"收送礼"_s));
        QCOMPARE(m_host->external.openRowSets(), 0);

        // A file another program holds locked is not a wrong password.
        m_boxes->clear();
        auto holder = EngineConnection::open(LedgerFile::name(), SeededPassword);
        QVERIFY(holder && holder->executeNative("BEGIN EXCLUSIVE"));
        EngineConnection::setBusyTimeout(50);
        const Outcome locked = runLogin([&](LoginWindow& w) {
            login(w, u"admin"_s, SeededPassword);
            QCOMPARE(SharedState::instance().loginAttempts, quint8(0));
            holder.reset();
            login(w, u"admin"_s, SeededPassword);
        });
        EngineConnection::setBusyTimeout(5000);
        QVERIFY(locked.loggedIn);
        QCOMPARE(m_boxes->texts(), QStringList{u"数据库文件正被其他程序使用,请稍后再试!"_s});
        QCOMPARE(m_boxes->last().icon, MessageBox::Stop);

        // Three passwords that do not open it end the program, the wrong-password way.
        m_boxes->clear();
        const Outcome ended = runLogin([](LoginWindow& w) {
            for (const QString& password : {u"a"_s, u"Kelpo"_s, QString()})
                login(w, u"admin"_s, password);
        });
        QVERIFY(ended.ended);
        QCOMPARE(
            m_boxes->texts(),
            QStringList({u"密码不正确,请重新输入!"_s, u"密码不正确,请重新输入!"_s, u"多次输入密码错误,程序将退出!"_s}));
    }

    void declinedDatabaseEndsBeforeTheLogin()
    {
        QVERIFY(QFile::remove(LedgerFile::name()));
        m_boxes->answer(MessageBox::No);
        bool scriptRan = false;
        const Outcome outcome = runLogin([&](LoginWindow&) { scriptRan = true; });
        QVERIFY(outcome.ended);
        QCOMPARE(outcome.exitCode, 0);
        QVERIFY(!scriptRan);
        QVERIFY(!QFile::exists(LedgerFile::name()));
        QCOMPARE(m_boxes->texts(),
                 QStringList({u"没有找到数据库,是否要重新创建数据库?"_s, u"没有创建数据库,系统即将退出!"_s}));
    }
};

QTEST_MAIN(TestLogin)
#include "test_login.moc"
