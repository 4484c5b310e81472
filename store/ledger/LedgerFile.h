#pragma once

#include <QString>

namespace ovelta::LedgerFile {

/// The database file, relative to the program's folder (the current directory).
inline QString name()
{
    return QStringLiteral("lgbk.xc");
}

/// The database password, which is also the file's encryption key, built into every copy of the program.
inline QString password()
{
    return QStringLiteral("Qm_4Rtwpz8-2HsK");
}

namespace detail {
inline QString& sessionKeyHolder()
{
    static QString key = password();
    return key;
}
} // namespace detail

/// The key every connection of this session opens the ledger and its backups with: password(), unless the
/// ledger is keyed with its login password (PrivateLedger); then that password, once the login opened the file.
inline QString sessionKey()
{
    return detail::sessionKeyHolder();
}

inline void setSessionKey(const QString& key)
{
    detail::sessionKeyHolder() = key;
}

} // namespace ovelta::LedgerFile
