#pragma once

#include "ui/window/Controls.h"
#include "ui/window/LedgerWindow.h"
#include "windows/common/LedgerHost.h"

namespace ovelta {

/// The login window that stands before the ledger. Its creation runs the database check; a successful login
/// closes it, and every other way out (cancel, the close box, the third wrong password) ends the program.
///
/// The user name is looked up by the database's own equality (letter case does not count); the password
/// must match exactly.
class LoginWindow : public LedgerWindow
{
    Q_OBJECT
public:
    static constexpr int MaxWrongPasswords = 3;

    explicit LoginWindow(DatabaseObjects db, QWidget* parent = nullptr);

protected:
    void created() override;
    /// Ends the program without a question.
    bool closeQuery() override;

private:
    /// The login attempt of 登录按钮.
    void attemptLogin();
    /// Connects the main window's objects to a private ledger with the typed password; false when it does not
    /// open the file (or another program holds it locked).
    bool openPrivateLedger(const QString& password);
    /// A wrong password: counted, and the third ends the program.
    void refusePassword();

    const LoginControls m_controls;
    DatabaseObjects m_db;
};

} // namespace ovelta
