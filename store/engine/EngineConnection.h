#pragma once

#include "store/engine/EngineStatement.h"
#include "store/engine/JetDialect.h"
#include "store/engine/RowSnapshot.h"
#include "store/value/JetType.h"

#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace ovelta {

/// One open connection of the engine (SQLCipher) to a keyed database file. Every statement goes through the
/// Jet dialect; the conversion functions the dialect relies on are registered on the connection. Commits are
/// durable (synchronous=FULL): a statement that reported success survives a crash right after it.
/// Closed when the object is destroyed; shared by the objects that use it through shared_ptr.
///
/// Whatever runs a statement to its end here (execute, executeNative, run) first completes every lazy row
/// snapshot of the process (RowSnapshot::completeAll), so that no change reaches a snapshot taken before it.
///
/// The file is always one file: a write-ahead log left beside it is folded into it on open, and changes go
/// through the rollback journal, so that each commit is in the file itself. A lock held by another program is
/// waited for (busyTimeout()) before any read or write gives up.
class EngineConnection : public std::enable_shared_from_this<EngineConnection>
{
public:
    struct Options
    {
        bool readOnly = false;
        /// Accept a file that holds no database yet (zero pages); used only while creating one.
        bool allowEmpty = false;
    };

    /// Why an open failed: the engine's result code (0 when the file name was empty) and the text for the user
    /// (EngineMessage).
    struct Failure
    {
        int code = 0;
        QString message;
        /// Locked or busy: another program held the file past the wait.
        bool isTransient() const;
    };

    /// Opens the existing file at path and keys it (no key when key is empty). Null when the file is missing,
    /// is not a database, or the key does not open it; nothing is created and nothing is shown.
    static std::shared_ptr<EngineConnection> open(const QString& path, const QString& key, Options options);
    static std::shared_ptr<EngineConnection> open(const QString& path, const QString& key);
    /// As open(), telling why it failed.
    static std::shared_ptr<EngineConnection> open(const QString& path, const QString& key, Options options,
                                                  Failure* failure);

    /// How long every connection waits for a lock another program holds, in milliseconds (5 s unless set).
    /// The engine's version, as "3.40.1".
    static QString engineVersion();
    static int busyTimeout();
    /// For tests: sets the wait of the connections opened from now on.
    static void setBusyTimeout(int milliseconds);
    /// Closes every connection of the process (the end of the program): statements still reading are
    /// finalized first, so that nothing of the file stays outside it. A closed connection refuses everything.
    static void closeAll();

    /// Copies every page of source into destination by the engine's online backup, to its end. A reader or writer
    /// holding either file for a moment is waited for, up to some seconds. False with the reason in error.
    static bool copy(EngineConnection& destination, EngineConnection& source, QString* error);

    /// Writes an empty database keyed with key into the existing, empty file at path.
    static bool initialise(const QString& path, const QString& key);

    /// A damaged file is never written again in this process. Once a read of an opened connection fails because
    /// the file is damaged (the engine finds a page malformed or not its own), every connection of the process
    /// to that file (the same device and inode, whatever its path) is made read-only, and so is every connection
    /// opened to it later: a statement that would change it fails. The first time that happens to the file at
    /// path (the ledger), onDamage runs once, on the thread that found the damage, from inside the failing call.
    static void watchForDamage(const QString& path, std::function<void()> onDamage);
    /// True when the file watchForDamage() names was found damaged in this process.
    static bool watchedFileDamaged();
    /// True when the file at path was found damaged in this process.
    static bool isDamaged(const QString& path);

    ~EngineConnection();
    EngineConnection(const EngineConnection&) = delete;
    EngineConnection& operator=(const EngineConnection&) = delete;

    /// Runs one Jet statement to its end. False with lastError() when the dialect or the engine refused it.
    /// lastError() is always the text for the user (EngineMessage).
    bool execute(const QString& statement);
    /// Runs engine SQL as it is (transaction control of the store itself).
    bool executeNative(const char* sql);
    /// The rows of one Jet statement as a snapshot; null with lastError() when refused or when the statement
    /// yields no rows. withRowid: see JetDialect; the snapshot then holds each row's key and table names the
    /// table to update. The key of a table with an auto-number is that column itself (see rowidColumn), else
    /// a first column kept apart.
    std::unique_ptr<RowSnapshot> query(const QString& statement, bool withRowid = false, QString* table = nullptr);
    /// As query(), but a lazy snapshot (RowSnapshot::start) that has read rowsNow rows so far.
    std::unique_ptr<RowSnapshot> queryLazily(const QString& statement, qsizetype rowsNow, bool withRowid = false,
                                             QString* table = nullptr);

    /// A prepared engine statement (engine SQL, not Jet), finalized when dropped; null with lastError().
    using Statement = std::unique_ptr<sqlite3_stmt, void (*)(sqlite3_stmt*)>;
    Statement prepareNative(const QString& sql);
    /// Steps a prepared statement that yields no rows to its end.
    bool run(sqlite3_stmt* statement);
    /// Steps a statement that yields no rows to its end, after completing every lazy row snapshot.
    bool run(EngineStatement& statement);

    /// The columns of a table in their order with their Jet types; nothing when there is no such table.
    std::optional<QList<JetColumn>> columns(const QString& table);
    /// The index of the table's column that is its rowid (an auto-number made with AUTOINCREMENT, as every
    /// Counter of the dialect is); -1 when there is none.
    int rowidColumn(const QString& table);
    JetDialect::TableLookup tableLookup();

    QString lastError() const { return m_lastError; }
    qint64 lastInsertRowid() const;
    int changes() const;
    /// Rows inserted, updated or deleted by every statement so far (before and after a statement tell whether
    /// it changed any).
    qint64 totalChanges() const;
    /// The engine's data version of this connection: it moves when another connection commits a change to the
    /// file, not for this connection's own changes. -1 when it cannot be read.
    qint64 dataVersion();
    bool inTransaction() const;
    /// What renew() did.
    enum class Renewal { Renewed, NotTheSame, Failed };
    /// Makes this connection serve as a new connection to the file at path would, so that a reconnect to the same
    /// file with the same key need not derive the key again. NotTheSame unless this connection is open on that very
    /// file (whatever its path), holds no transaction and the file can be written. Else its cache of the file's
    /// pages is dropped and the file read again as an open reads it first, waiting for a lock another program
    /// holds: Failed, with why, when that read fails.
    Renewal renew(const QString& path, Failure* why);
    /// Gives back the memory of the engine's page cache that it can spare.
    void releaseMemory();
    sqlite3* handle() const { return m_db; }

private:
    friend class EngineStatement;
    explicit EngineConnection(sqlite3* db);
    /// The prepared statement of engine SQL, owned by the caller; null with lastError() when the engine refused
    /// it, when it is empty or when more than one statement is given.
    sqlite3_stmt* prepareUtf8(std::string_view sql);
    static void noteFailure(sqlite3* db, int resultCode);
    bool fail();
    void close();
    /// The engine's statement of a Jet query that yields rows; null with lastError() otherwise.
    /// key: where the rows' keys are (see query()).
    Statement prepareQuery(const QString& statement, bool withRowid, QString* table, RowSnapshot::KeyPlace& key);

    sqlite3* m_db;
    /// The file's identity, once the connection is open and keyed (until then a failure says nothing of damage).
    std::optional<std::pair<quint64, quint64>> m_file;
    QByteArray m_path; ///< the file's native name as opened
    QString m_lastError;
    QHash<QString, QList<JetColumn>> m_columns;
    QHash<QString, int> m_rowidColumns;
};

} // namespace ovelta
