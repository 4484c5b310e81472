#pragma once

#include <QString>

namespace ovelta::LedgerFile {

/// The database file, relative to the program's folder (the current directory).
inline QString name()
{
    return QStringLiteral("lgbk.xc");
}

/// The database password, which is also the file's encryption key.
inline QString password()
{
    return QStringLiteral("Qm_4Rtwpz8-2HsK");
}

} // namespace ovelta::LedgerFile
