#include "store/engine/ChangeWatch.h"

#include <QFile>
#include <QHash>
#include <mutex>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

namespace ovelta::ChangeWatch {

namespace {

/// The watched file's changes committed since watch(), counted by hooks on every connection to it.
///
/// The engine calls the commit hook before it writes the commit, and the rollback hook when that write fails;
/// so a commit of changed rows counts once the connection goes on (its next change or commit), or when asked.
struct Watch
{
    enum class State { Changed, Committing };
    std::mutex mutex;
    QByteArray ledger; ///< native name; a relative one resolves in the current folder when a connection opens
    bool watching = false;
    QHash<sqlite3*, State> connections; ///< those with changed rows not yet committed, or being committed
    qint64 changes = 0;
};

Watch& theWatch()
{
    static Watch counts;
    return counts;
}

void onRowChange(void* connection, int, const char* database, const char*, sqlite3_int64)
{
    if (qstrcmp(database, "main") != 0)
        return;
    Watch& counts = theWatch();
    const std::lock_guard lock(counts.mutex);
    auto& state = counts.connections[static_cast<sqlite3*>(connection)];
    if (state == Watch::State::Committing)
        ++counts.changes; // the commit before went through
    state = Watch::State::Changed;
}

int onCommit(void* connection)
{
    Watch& counts = theWatch();
    const std::lock_guard lock(counts.mutex);
    const auto found = counts.connections.find(static_cast<sqlite3*>(connection));
    if (found == counts.connections.end())
        return 0;
    if (*found == Watch::State::Committing) {
        ++counts.changes; // the commit before went through; this one changed no row
        counts.connections.erase(found);
    } else {
        *found = Watch::State::Committing;
    }
    return 0;
}

void onRollback(void* connection)
{
    Watch& counts = theWatch();
    const std::lock_guard lock(counts.mutex);
    counts.connections.remove(static_cast<sqlite3*>(connection));
}

/// Run by the engine for every connection it opens: a connection to the watched ledger gets the hooks.
int onOpen(sqlite3* db, const char**, const sqlite3_api_routines*)
{
    Watch& counts = theWatch();
    {
        const std::lock_guard lock(counts.mutex);
        const char* file = sqlite3_db_filename(db, "main");
        struct stat opened, ledger;
        if (!counts.watching || !file || !*file || ::stat(file, &opened) != 0
            || ::stat(counts.ledger.constData(), &ledger) != 0 || opened.st_dev != ledger.st_dev
            || opened.st_ino != ledger.st_ino)
            return SQLITE_OK;
        // A connection of that address before this one was closed after its last commit went through.
        if (counts.connections.take(db) == Watch::State::Committing)
            ++counts.changes;
    }
    sqlite3_update_hook(db, onRowChange, db);
    sqlite3_commit_hook(db, onCommit, db);
    sqlite3_rollback_hook(db, onRollback, db);
    return SQLITE_OK;
}

} // namespace

void watch(const QString& path)
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        using Entry = void (*)();
        sqlite3_auto_extension(reinterpret_cast<Entry>(&onOpen));
    });
    Watch& counts = theWatch();
    const std::lock_guard lock(counts.mutex);
    counts.ledger = QFile::encodeName(path);
    counts.watching = true;
    counts.connections.clear();
    counts.changes = 0;
}

qint64 changes()
{
    Watch& counts = theWatch();
    const std::lock_guard lock(counts.mutex);
    qint64 changes = counts.changes;
    for (const Watch::State state : std::as_const(counts.connections))
        changes += state == Watch::State::Committing ? 1 : 0;
    return changes;
}

void countOne()
{
    Watch& counts = theWatch();
    const std::lock_guard lock(counts.mutex);
    ++counts.changes;
}

} // namespace ovelta::ChangeWatch
