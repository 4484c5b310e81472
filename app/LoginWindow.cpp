#include "app/LoginWindow.h"

#include "app/DatabaseCheck.h"
#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/PrivateLedger.h"
#include "ui/base/EditBox.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"
#include "ui/base/SharedState.h"
#include "ui/window/Catalogue.h"

#include <QApplication>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace ovelta {

LoginWindow::LoginWindow(DatabaseObjects db, QWidget* parent)
    : LedgerWindow(Catalogue::loginWindow(), parent)
    , m_controls(LoginControls::from(*this))
    , m_db(db)
{
    connect(m_controls.login, &QPushButton::clicked, this, [this] { attemptLogin(); });
    connect(m_controls.cancel, &QPushButton::clicked, this, [] { Program::end(0); });
}

void LoginWindow::created()
{
    if (!DatabaseCheck::run(m_db))
        return;
    // One look for the standard controls of every window, present and future.
    QApplication::setStyle(u"Fusion"_s);
    m_controls.user->setText(u"admin"_s);
    focus(m_controls.password);
    SharedState::instance().loginAttempts = 0;
}

bool LoginWindow::closeQuery()
{
    Program::end(0);
    return false;
}

void LoginWindow::attemptLogin()
{
    ExternalDatabase& external = m_db.external;
    SharedState& shared = SharedState::instance();

    // A password that does not open a private ledger is a wrong password; its user is not looked up. A file that
    // another program holds locked tells nothing about the password.
    if (PrivateLedger::isPrivate(LedgerFile::name()) && !openPrivateLedger(m_controls.password->text())) {
        if (m_db.connection.isLockedOut())
            MessageBox::show(u"数据库文件正被其他程序使用,请稍后再试!"_s, u"错误"_s, MessageBox::OkOnly,
                             MessageBox::Stop);
        else
            refusePassword();
        return;
    }
    // A failed connect leaves the query without rows, which reads as an unknown user below.
    external.connect(LedgerFile::name(), QString(), LedgerFile::sessionKey());
    shared.loginRowSet = external.query(LedgerStatements::findAccount(m_controls.user->text()));
    const QString user = external.read(shared.loginRowSet, u"用户"_s).toString();
    if (user.isEmpty()) {
        external.close(shared.loginRowSet);
        // A ledger without its account table is no wrong user name: no name can log in to it.
        const std::shared_ptr<EngineConnection> engine = m_db.connection.engine();
        if (engine && !engine->columns(u"账号"_s)) {
            MessageBox::show(u"数据库文件中没有账号表,无法登录。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
            return;
        }
        MessageBox::show(u"用户名错误!"_s, u"提示"_s, MessageBox::OkOnly, MessageBox::Information);
        return;
    }
    const QString password = external.read(shared.loginRowSet, u"密码"_s).toString();
    external.close(shared.loginRowSet);

    if (password == m_controls.password->text()) {
        requestClose();
        return;
    }
    refusePassword();
}

bool LoginWindow::openPrivateLedger(const QString& password)
{
    if (password.isEmpty() || !m_db.connection.connect(LedgerFile::name(), password))
        return false;
    LedgerFile::setSessionKey(password);
    m_db.recordSet.bind(&m_db.connection);
    m_db.recordSet.setFilter(QString());
    return true;
}

void LoginWindow::refusePassword()
{
    SharedState& shared = SharedState::instance();
    ++shared.loginAttempts;
    if (shared.loginAttempts < MaxWrongPasswords) {
        MessageBox::show(u"密码不正确,请重新输入!"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        m_controls.password->setText(QString());
        focus(m_controls.password);
        return;
    }
    MessageBox::show(u"多次输入密码错误,程序将退出!"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Warning);
    Program::end(0);
}

} // namespace ovelta
