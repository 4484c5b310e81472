// The password window over a real ledger file: the order of its checks, the exact comparisons, the byte
// limit of its boxes, and a change that either stores the new password or leaves the old one in place.

#include "Noted.h"
#include "app/LoginWindow.h"

#include "GuiSupport.h"
#include "LedgerFixture.h"

#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/PrivateLedger.h"
#include "ui/base/EditBox.h"
#include "ui/base/SharedState.h"
#include "windows/ledger/PasswordWindow.h"

#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

const QString current = u"编辑框1"_s;
const QString fresh = u"编辑框2"_s;
const QString confirm = u"编辑框3"_s;
const QString seededPassword = u"kelpo"_s;
const QString none;

QString describe(const MessageBox::Record& r)
{
    static const QStringList buttons{u"OkOnly"_s, u"OkCancel"_s, u"YesNo"_s, u"YesNoCancel"_s, u"RetryCancel"_s};
    static const QStringList icons{u"NoIcon"_s, u"Information"_s, u"Warning"_s, u"Stop"_s, u"Question"_s};
    return r.text + u'|' + r.title + u'|' + buttons.value(r.buttons) + u'|' + icons.value(r.icon) + u'|'
        + QString::number(r.defaultButton);
}

QString error(const QString& text)
{
    return text + u"|错误|OkOnly|Stop|0"_s;
}

QString note(const QString& text)
{
    return text + u"|提示|OkOnly|Information|0"_s;
}

QStringList described(const BoxRecorder& boxes)
{
    QStringList out;
    for (const auto& r : boxes.shown())
        out << describe(r);
    return out;
}

/// "ID 用户 密码" of every 账号 row in the engine's order.
QStringList accounts(TestHost& host)
{
    QStringList out;
    if (!host.recordSet.openTable(u"账号"_s))
        return {u"(open failed)"_s};
    for (host.recordSet.moveFirst(); !host.recordSet.atEnd(); host.recordSet.moveNext()) {
        qint64 id = 0;
        QString user;
        QString password;
        host.recordSet.readInteger(u"ID"_s, id);
        host.recordSet.readText(u"用户"_s, user);
        host.recordSet.readText(u"密码"_s, password);
        out << QString::number(id) + u' ' + user + u' ' + password;
    }
    host.recordSet.close();
    return out;
}

/// Logs in as "admin" through a login window opened over the host's objects; true when it let the user in.
/// A wrong password leaves its message among the recorded boxes.
bool loginAccepts(TestHost& host, const QString& password)
{
    EndRecorder end;
    QPointer<LoginWindow> window = new LoginWindow(host.database());
    bool accepted = false;
    QTimer::singleShot(0, window, [&] {
        if (window.isNull())
            return;
        window->setText(u"用户编辑框"_s, u"admin"_s);
        window->setText(u"口令编辑框"_s, password);
        findControl<QPushButton>(window, u"登录按钮"_s)->click();
        if (!window.isNull() && !Program::hasEnded()) {
            accepted = window->closeRequested();
            if (!accepted)
                window->requestClose();
        }
    });
    window->openModal();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return accepted && !end.ended();
}

/// Types text key by key, as a user would (QTest::keyClicks drops characters outside Latin-1).
void type(QWidget* box, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

/// The password window opened on the host, destroyed at the end of the test if it is still there.
class OpenPassword
{
public:
    explicit OpenPassword(TestHost& host)
        : m_window(new PasswordWindow(host))
    {
        m_window->openModeless();
    }
    ~OpenPassword() { delete m_window.data(); }
    OpenPassword(const OpenPassword&) = delete;
    OpenPassword& operator=(const OpenPassword&) = delete;

    PasswordWindow* window() const { return m_window.data(); }
    /// True once the window has gone, after the handler that closed it returned.
    bool closed() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return m_window.isNull() || !m_window->isVisible();
    }
    EditBox* edit(const QString& name) const { return findControl<EditBox>(m_window, name); }
    QString text(const QString& name) const { return edit(name)->text(); }
    void fill(const QString& a, const QString& b, const QString& c) const
    {
        edit(current)->setText(a);
        edit(fresh)->setText(b);
        edit(confirm)->setText(c);
    }
    void confirmChange() const { findControl<QPushButton>(m_window, u"确定按钮"_s)->click(); }
    void cancel() const { findControl<QPushButton>(m_window, u"取消按钮"_s)->click(); }
    QString focused() const { return m_window->focusWidget() ? m_window->focusWidget()->objectName() : QString(); }

private:
    QPointer<PasswordWindow> m_window;
};

} // namespace

class TestPasswordWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { LedgerFixture::resetSingletons(); }

    void checksComeInTheirOrder_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("focus");

        const QString wrong = u"wrong"_s;
        // The focus starts in 编辑框3; the messages about empty boxes leave it there.
        QTest::newRow("all empty") << QStringList{none, none, none} << error(u"请输入原密码！"_s)
                                   << QStringList{none, none, none} << confirm;
        QTest::newRow("current empty before the rest")
            << QStringList{none, u"a"_s, u"b"_s} << error(u"请输入原密码！"_s) << QStringList{none, u"a"_s, u"b"_s}
            << confirm;
        QTest::newRow("new empty before wrong current")
            << QStringList{wrong, none, u"b"_s} << error(u"请输入新密码！"_s) << QStringList{wrong, none, u"b"_s}
            << confirm;
        QTest::newRow("confirmation empty before wrong current")
            << QStringList{wrong, u"a"_s, none} << error(u"请输入确认密码！"_s) << QStringList{wrong, u"a"_s, none}
            << confirm;
        QTest::newRow("blanks are not empty") << QStringList{u" "_s, u" "_s, u" "_s} << error(u"原密码错误！"_s)
                                              << QStringList{none, u" "_s, u" "_s} << current;
        QTest::newRow("wrong current before mismatch") << QStringList{wrong, u"a"_s, u"b"_s} << error(u"原密码错误！"_s)
                                                       << QStringList{none, u"a"_s, u"b"_s} << current;
        QTest::newRow("current in another case")
            << QStringList{u"KELPO"_s, u"new1"_s, u"new1"_s} << error(u"原密码错误！"_s)
            << QStringList{none, u"new1"_s, u"new1"_s} << current;
        QTest::newRow("current with a trailing blank")
            << QStringList{u"kelpo "_s, u"new1"_s, u"new1"_s} << error(u"原密码错误！"_s)
            << QStringList{none, u"new1"_s, u"new1"_s} << current;
        QTest::newRow("new entries differ in case")
            << QStringList{seededPassword, u"abc"_s, u"ABC"_s} << error(u"输入密码不一致，请重新输入！"_s)
            << QStringList{seededPassword, none, none} << fresh;
        QTest::newRow("mismatch before new equals current")
            << QStringList{seededPassword, seededPassword, u"kelp"_s} << error(u"输入密码不一致，请重新输入！"_s)
            << QStringList{seededPassword, none, none} << fresh;
        QTest::newRow("new equals current")
            << QStringList{seededPassword, seededPassword, seededPassword} << note(u"新密码与原密码一致！"_s)
            << QStringList{seededPassword, none, none} << fresh;
    }
    void checksComeInTheirOrder()
    {
        QFETCH(QStringList, typed);
        QFETCH(QString, message);
        QFETCH(QStringList, left);
        QFETCH(QString, focus);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenPassword w(host);
        w.fill(typed.at(0), typed.at(1), typed.at(2));
        w.edit(confirm)->setFocus();

        w.confirmChange();
        QCOMPARE(described(boxes), QStringList{message});
        QCOMPARE((QStringList{w.text(current), w.text(fresh), w.text(confirm)}), left);
        QCOMPARE(w.focused(), focus);
        QVERIFY(!w.closed());
        QCOMPARE(accounts(host), QStringList{u"1 admin kelpo"_s});
        QCOMPARE(SharedState::instance().accountUser, u"admin"_s);
        QCOMPARE(SharedState::instance().accountPassword, seededPassword);
    }

    void changeReplacesTheAccountRow()
    {
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        {
            OpenPassword w(host);
            w.fill(seededPassword, u"春节 2024"_s, u"春节 2024"_s);
            w.confirmChange();
            QCOMPARE(described(boxes), QStringList{note(u"密码修改成功！"_s)});
            QVERIFY(w.closed());
        }
        QCOMPARE(accounts(host), QStringList{u"2 admin 春节 2024"_s});
        boxes.clear();
        QVERIFY(!loginAccepts(host, seededPassword));
        QCOMPARE(boxes.texts(), QStringList{u"密码不正确,请重新输入!"_s});
        QVERIFY(loginAccepts(host, u"春节 2024"_s));

        // The next window works on the new row: the old password is refused, the new one changes it again.
        boxes.clear();
        OpenPassword again(host);
        again.fill(seededPassword, u"x"_s, u"x"_s);
        again.confirmChange();
        QCOMPARE(described(boxes), QStringList{error(u"原密码错误！"_s)});
        boxes.clear();
        again.fill(u"春节 2024"_s, u"x"_s, u"x"_s);
        again.confirmChange();
        QCOMPARE(described(boxes), QStringList{note(u"密码修改成功！"_s)});
        QCOMPARE(accounts(host), QStringList{u"3 admin x"_s});
    }

    void changeWorksOnTheFirstAccountRow()
    {
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        QVERIFY(host.connection.execute(u"insert into 账号(用户,密码) values('bob','bobpw')"_s));
        BoxRecorder& boxes = fixture.boxes();

        OpenPassword w(host);
        w.fill(u"bobpw"_s, u"n"_s, u"n"_s);
        w.confirmChange();
        QCOMPARE(described(boxes), QStringList{error(u"原密码错误！"_s)});

        boxes.clear();
        w.fill(seededPassword, u"n"_s, u"n"_s);
        w.confirmChange();
        QCOMPARE(described(boxes), QStringList{note(u"密码修改成功！"_s)});
        QCOMPARE(accounts(host), (QStringList{u"2 bob bobpw"_s, u"3 admin n"_s}));
    }

    void withoutAccountRowNothingCanBeChanged()
    {
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        QVERIFY(host.connection.execute(u"delete from 账号"_s));
        BoxRecorder& boxes = fixture.boxes();

        OpenPassword w(host);
        w.fill(u"anything"_s, u"n"_s, u"n"_s);
        w.confirmChange();
        QCOMPARE(described(boxes), QStringList{error(u"原密码错误！"_s)});
        QCOMPARE(SharedState::instance().accountUser, QString());
        QCOMPARE(SharedState::instance().accountPassword, QString());
        QCOMPARE(accounts(host), QStringList());
    }

    void failedChangeKeepsTheOldPassword()
    {
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        // The engine refuses the append after the delete has run.
        QVERIFY(host.connection.engine()->executeNative(
            "CREATE TRIGGER refuse_account BEFORE INSERT ON 账号 BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        BoxRecorder& boxes = fixture.boxes();

        OpenPassword w(host);
        w.fill(seededPassword, u"newpass"_s, u"newpass"_s);
        w.confirmChange();
        QCOMPARE(described(boxes), QStringList{error(u"密码修改失败！"_s)});
        QVERIFY(!w.closed());
        QCOMPARE((QStringList{w.text(current), w.text(fresh), w.text(confirm)}),
                 (QStringList{seededPassword, u"newpass"_s, u"newpass"_s}));
        QCOMPARE(accounts(host), QStringList{u"1 admin kelpo"_s});
        QVERIFY(loginAccepts(host, seededPassword));

        // Once the engine takes rows again, the same window completes the change.
        QVERIFY(host.connection.engine()->executeNative("DROP TRIGGER refuse_account"));
        boxes.clear();
        w.confirmChange();
        QCOMPARE(described(boxes), QStringList{note(u"密码修改成功！"_s)});
        QVERIFY(w.closed());
        QCOMPARE(accounts(host).size(), 1);
        QVERIFY(loginAccepts(host, u"newpass"_s));
    }

    void privateLedgerIsKeyedAnewWithTheNewPassword()
    {
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        QString problem;
        QVERIFY2(test::noted(PrivateLedger::rekey(LedgerFile::name(), LedgerFile::password(), seededPassword, true, {}),
                             &problem),
                 qPrintable(problem));
        QVERIFY(PasswordWindow::reconnectLedger(host, seededPassword));
        const QString chinese = u"恭喜发财红"_s; // ten GBK bytes, fifteen of UTF-8
        {
            OpenPassword w(host);
            type(w.edit(current), seededPassword);
            type(w.edit(fresh), chinese);
            type(w.edit(confirm), chinese);
            w.confirmChange();
            QCOMPARE(described(boxes), QStringList{note(u"密码修改成功！"_s)});
            QVERIFY(w.closed());
        }
        // The key and the stored password changed together; the host's objects work on the new file.
        QVERIFY(PrivateLedger::isPrivate(LedgerFile::name()));
        QVERIFY(!EngineConnection::open(LedgerFile::name(), seededPassword));
        QVERIFY(!EngineConnection::open(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(EngineConnection::open(LedgerFile::name(), chinese));
        QCOMPARE(LedgerFile::sessionKey(), chinese);
        QCOMPARE(accounts(host), QStringList{u"2 admin 恭喜发财红"_s});
        boxes.clear();
        QVERIFY(!loginAccepts(host, seededPassword));
        QVERIFY(loginAccepts(host, chinese));
        QCOMPARE(boxes.texts(), QStringList{u"密码不正确,请重新输入!"_s});

        // A password the program could not open the file with is refused, after the written checks.
        boxes.clear();
        OpenPassword w(host);
        w.fill(chinese, u"a;b"_s, u"a;b"_s);
        w.confirmChange();
        QCOMPARE(described(boxes), QStringList{error(u"账簿已加密，新密码中不能有“;”等字符，请重新输入！"_s)});
        QCOMPARE((QStringList{w.text(current), w.text(fresh), w.text(confirm), w.focused()}),
                 (QStringList{chinese, QString(), QString(), fresh}));
        QVERIFY(EngineConnection::open(LedgerFile::name(), chinese));

        // A disk that does not take the whole new file leaves the old file, its key and its password.
        boxes.clear();
        w.fill(chinese, u"newpass"_s, u"newpass"_s);
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit old = {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = rlim_t(QFileInfo(LedgerFile::name()).size() / 2);
        ::setrlimit(RLIMIT_FSIZE, &small);
        w.confirmChange();
        ::setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(described(boxes), QStringList{error(u"密码修改失败！"_s)});
        QVERIFY(!w.closed());
        QVERIFY(EngineConnection::open(LedgerFile::name(), chinese));
        QCOMPARE(LedgerFile::sessionKey(), chinese);
        QCOMPARE(accounts(host), QStringList{u"2 admin 恭喜发财红"_s});
        QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden), QStringList{LedgerFile::name()});
    }

    void boxesTakeAtMostTenGbkBytes_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("kept");
        for (const QString& name : {current, fresh, confirm}) {
            const QByteArray row = name.toUtf8();
            QTest::addRow("%s ascii", row.constData()) << name << u"abcdefghijk"_s << u"abcdefghij"_s;
            QTest::addRow("%s chinese", row.constData()) << name << u"密码一二三四"_s << u"密码一二三"_s;
            // Nine bytes in: a Chinese character would make eleven and is refused, an ASCII one still fits.
            QTest::addRow("%s mixed", row.constData()) << name << u"abcdefghi密j"_s << u"abcdefghij"_s;
            QTest::addRow("%s odd", row.constData()) << name << u"a密码一二三"_s << u"a密码一二"_s;
        }
    }
    void boxesTakeAtMostTenGbkBytes()
    {
        QFETCH(QString, box);
        QFETCH(QString, keys);
        QFETCH(QString, kept);
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        OpenPassword w(host);

        type(w.edit(box), keys);
        QCOMPARE(w.text(box), kept);
        QCOMPARE(w.edit(box)->echoMode(), QLineEdit::Password);
    }

    void tenBytePasswordOfChineseCharactersIsStored()
    {
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();
        OpenPassword w(host);

        type(w.edit(current), seededPassword);
        type(w.edit(fresh), u"恭喜发财红包"_s);
        type(w.edit(confirm), u"恭喜发财红包"_s);
        w.confirmChange();
        QCOMPARE(described(boxes), QStringList{note(u"密码修改成功！"_s)});
        QCOMPARE(accounts(host), QStringList{u"2 admin 恭喜发财红"_s});
    }

    void cancelClosesWithoutTouchingTheDatabase()
    {
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();

        QPointer<PasswordWindow> window = new PasswordWindow(host);
        QTimer::singleShot(0, window, [&] {
            findControl<EditBox>(window, current)->setText(seededPassword);
            findControl<EditBox>(window, fresh)->setText(u"n"_s);
            findControl<EditBox>(window, confirm)->setText(u"n"_s);
            findControl<QPushButton>(window, u"取消按钮"_s)->click();
        });
        window->openModal();
        QVERIFY(window.isNull());
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(accounts(host), QStringList{u"1 admin kelpo"_s});
        QCOMPARE(host.broughtToFront, 0);
    }

    void modalChangeEndsTheWindow()
    {
        LedgerFixture fixture;
        QVERIFY(fixture.isValid());
        TestHost& host = fixture.host();
        BoxRecorder& boxes = fixture.boxes();

        QPointer<PasswordWindow> window = new PasswordWindow(host);
        QString focusWhenShown;
        bool active = false;
        QTimer::singleShot(0, window, [&] {
            active = QTest::qWaitForWindowActive(window);
            focusWhenShown = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
            findControl<EditBox>(window, current)->setText(seededPassword);
            findControl<EditBox>(window, fresh)->setText(u"n"_s);
            findControl<EditBox>(window, confirm)->setText(u"n"_s);
            findControl<QPushButton>(window, u"确定按钮"_s)->click();
        });
        window->openModal();
        QVERIFY(window.isNull());
        QVERIFY(active);
        QCOMPARE(focusWhenShown, current);
        QCOMPARE(described(boxes), QStringList{note(u"密码修改成功！"_s)});
        QCOMPARE(accounts(host), QStringList{u"2 admin n"_s});
    }
};

QTEST_MAIN(TestPasswordWindow)
#include "test_password_window.moc"
