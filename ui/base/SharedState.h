#pragma once

#include <QString>
#include <QtGlobal>

namespace ovelta {

/// Values that outlive any one window: the texts through which the main window tells the record entry window
/// what to do, the account texts of the password window, and the login numbers. One instance lives for the
/// whole run; the end routine clears the texts.
struct SharedState
{
    QString entryMode; ///< "添加" or "修改"
    QString selectedRecordId; ///< ID of the record to modify or delete
    QString newBanquetType;
    QString newRelation;
    QString accountUser;
    QString accountPassword;
    qint32 loginRowSet = 0;
    quint8 loginAttempts = 0;
    qint32 banquetListRowSet = 0;
    qint32 relationListRowSet = 0;

    static SharedState& instance();
    /// Releases the six texts and zeroes the numbers.
    void clear();
};

} // namespace ovelta
