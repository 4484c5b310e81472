#pragma once

#include "ui/window/Controls.h"
#include "ui/window/LedgerWindow.h"

namespace ovelta {

class LedgerHost;
class RecordSet;

/// The password window (修改用户口令): changes the password of the first account row.
///
/// 确定按钮 reads the first 账号 row into the shared account texts, checks the three boxes in a fixed order
/// (empty boxes, wrong current password, differing new entries, new equal to current; exact comparisons)
/// and then replaces that row by one with the same user and the new password, in one transaction: either
/// the new password is stored and the window closes, or the old one still holds, "密码修改失败！" is shown
/// and the window stays open. 取消按钮 closes at once without touching the database.
///
/// The password of a private ledger is also its key (PrivateLedger): there the new password keys the whole file
/// anew, and the account row is replaced in the new file before it takes the old one's place, so that the key
/// and the stored password always agree.
class PasswordWindow : public LedgerWindow
{
    Q_OBJECT
public:
    explicit PasswordWindow(LedgerHost& host, QWidget* parent = nullptr);

    /// Opens records on the table 账号 and reads its first row's user and password (both empty when the table
    /// has no rows or does not open). The set stays open on that row.
    static void readAccount(RecordSet& records, QString& user, QString& password);
    /// Deletes the account row records stands on and appends its replacement with user and password, in one
    /// transaction: false, and nothing changed, on failure.
    static bool replaceAccountRow(RecordSet& records, const QString& user, const QString& password);
    /// Connects the host's three database objects to the ledger file again, with key and the session's key set
    /// to it, as the database check leaves them (after the file was replaced). True when all of them opened.
    static bool reconnectLedger(LedgerHost& host, const QString& key);

private:
    void changePassword();
    /// Empties both new password boxes and focuses the first.
    void clearNewPassword();

    const PasswordControls m_controls;
    LedgerHost& m_host;
};

} // namespace ovelta
