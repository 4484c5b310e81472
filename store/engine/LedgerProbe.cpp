#include "store/engine/LedgerProbe.h"

#include <QFile>
#include <cerrno>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

namespace ovelta {

LedgerProbe::State LedgerProbe::inspect(const QString& path)
{
    const QByteArray file = QFile::encodeName(path);
    struct stat info;
    // A link that leads nowhere, a folder, a file we may not even look at: all of them are something.
    if (file.isEmpty() || (::lstat(file.constData(), &info) != 0 && errno == ENOENT))
        return State::Missing;
    // A link is followed: what it leads to is what the engine would open.
    if (::stat(file.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return State::NotAFile;

    // The engine takes its shared lock before it reads a byte of the file, so an unkeyed, read-only look at
    // the schema tells a lock that keeps readers out from everything else without deriving the key: a free
    // file gets as far as its first page and fails there (it is encrypted) or reads it.
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_PRIVATECACHE, nullptr);
    State state = State::Present;
    if (opened == SQLITE_OK) {
        sqlite3_busy_timeout(db, 0);
        sqlite3_stmt* statement = nullptr;
        int rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &statement, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(statement);
        sqlite3_finalize(statement);
        const int primary = rc & 0xff;
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
            state = State::InUse;
    }
    sqlite3_close_v2(db);
    return state;
}

} // namespace ovelta
