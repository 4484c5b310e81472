#include "windows/ledger/PasswordWindow.h"

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/PrivateLedger.h"
#include "ui/base/EditBox.h"
#include "ui/base/MessageBox.h"
#include "ui/base/SharedState.h"
#include "ui/window/Catalogue.h"
#include "windows/common/LedgerHost.h"

#include <QPushButton>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

void refuse(const QString& text)
{
    MessageBox::show(text, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
}

/// The password change of a private ledger: the file keyed with the new password, holding it as the account's.
bool rekeyWithPassword(LedgerHost& host, const QString& user, const QString& password)
{
    const QString old = LedgerFile::sessionKey();
    EngineConnection::closeAll();
    const bool done = PrivateLedger::rekey(LedgerFile::name(), old, password, true, [&](EngineConnection& copy) {
                          return PrivateLedger::replaceAccount(copy, user, password);
                      }).ok();
    PasswordWindow::reconnectLedger(host, done ? password : old);
    return done;
}

} // namespace

PasswordWindow::PasswordWindow(LedgerHost& host, QWidget* parent)
    : LedgerWindow(Catalogue::passwordWindow(), parent)
    , m_controls(PasswordControls::from(*this))
    , m_host(host)
{
    connect(m_controls.ok, &QPushButton::clicked, this, &PasswordWindow::changePassword);
    connect(m_controls.cancel, &QPushButton::clicked, this, &PasswordWindow::requestClose);
}

void PasswordWindow::changePassword()
{
    const DatabaseObjects db = m_host.database();
    db.connection.connect(LedgerFile::name(), LedgerFile::sessionKey());
    db.recordSet.bind(&db.connection);

    // Read afresh on every attempt; a table without rows leaves both texts empty.
    SharedState& state = SharedState::instance();
    readAccount(db.recordSet, state.accountUser, state.accountPassword);

    // A box is empty only when it holds nothing at all; blanks count as text and nothing is trimmed.
    const QString current = m_controls.current->text();
    const QString fresh = m_controls.fresh->text();
    const QString confirmation = m_controls.confirmation->text();
    if (current.isEmpty()) {
        refuse(u"请输入原密码！"_s);
        return;
    }
    if (fresh.isEmpty()) {
        refuse(u"请输入新密码！"_s);
        return;
    }
    if (confirmation.isEmpty()) {
        refuse(u"请输入确认密码！"_s);
        return;
    }
    if (current != state.accountPassword) {
        refuse(u"原密码错误！"_s);
        m_controls.current->setText(QString());
        focus(m_controls.current);
        return;
    }
    if (fresh != confirmation) {
        refuse(u"输入密码不一致，请重新输入！"_s);
        clearNewPassword();
        return;
    }
    if (fresh == state.accountPassword) {
        MessageBox::show(u"新密码与原密码一致！"_s, u"提示"_s, MessageBox::OkOnly, MessageBox::Information);
        clearNewPassword();
        return;
    }

    // The password of a private ledger is its key too, which the program must be able to open it with.
    const bool keyed = PrivateLedger::isPrivate(LedgerFile::name());
    if (keyed && !PrivateLedger::canKey(fresh)) {
        refuse(u"账簿已加密，新密码中不能有“;”等字符，请重新输入！"_s);
        clearNewPassword();
        return;
    }

    const bool changed = keyed ? rekeyWithPassword(m_host, state.accountUser, fresh)
                               : replaceAccountRow(db.recordSet, state.accountUser, fresh);
    if (!changed) {
        refuse(u"密码修改失败！"_s);
        return;
    }
    MessageBox::show(u"密码修改成功！"_s, u"提示"_s, MessageBox::OkOnly, MessageBox::Information);
    requestClose();
}

void PasswordWindow::clearNewPassword()
{
    m_controls.fresh->setText(QString());
    m_controls.confirmation->setText(QString());
    focus(m_controls.fresh);
}

void PasswordWindow::readAccount(RecordSet& records, QString& user, QString& password)
{
    records.openTable(u"账号"_s);
    records.readText(u"用户"_s, user);
    records.readText(u"密码"_s, password);
}

bool PasswordWindow::replaceAccountRow(RecordSet& records, const QString& user, const QString& password)
{
    // Delete and append stand or fall together: a failure between them must not leave the file without an
    // account, since nobody could log in any more.
    return records.inTransaction([&] {
        return records.deleteCurrent() && records.addRow() && records.writeText(u"用户"_s, user)
            && records.writeText(u"密码"_s, password) && records.saveRow();
    });
}

bool PasswordWindow::reconnectLedger(LedgerHost& host, const QString& key)
{
    EngineConnection::closeAll();
    LedgerFile::setSessionKey(key);
    const DatabaseObjects db = host.database();
    const bool connected = db.connection.connect(LedgerFile::name(), key) && db.recordSet.bind(&db.connection)
        && db.external.connect(LedgerFile::name(), QString(), key, false, true);
    db.recordSet.setFilter(QString());
    return connected;
}

} // namespace ovelta
