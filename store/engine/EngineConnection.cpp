#include "store/engine/EngineConnection.h"

#include "store/engine/EngineMessage.h"
#include "store/engine/PageKeys.h"
#include "store/engine/RowSnapshot.h"
#include "store/value/JetDateTime.h"
#include "store/value/Money.h"

#include <QFile>
#include <QSet>
#include <algorithm>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

void finalize(sqlite3_stmt* statement)
{
    sqlite3_finalize(statement);
}

void resultError(sqlite3_context* context, const QString& message)
{
    const QByteArray utf8 = message.toUtf8();
    sqlite3_result_error(context, utf8.constData(), int(utf8.size()));
}

QString textArgument(sqlite3_value* value)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
}

/// ovelta_time(x): a value stored into a Time column, as the canonical date-time text.
void timeFunction(sqlite3_context* context, int, sqlite3_value** arguments)
{
    std::optional<JetDateTime> when;
    switch (sqlite3_value_type(arguments[0])) {
    case SQLITE_NULL:
        sqlite3_result_null(context);
        return;
    case SQLITE_TEXT:
        when = JetDateTime::parse(textArgument(arguments[0]));
        break;
    default:
        break;
    }
    if (!when) {
        resultError(context, u"Data type mismatch: the value is not a date."_s);
        return;
    }
    const QByteArray text = when->canonical().toLatin1();
    sqlite3_result_text(context, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

/// ovelta_currency(x): a value stored into a Currency column, as ten-thousandths. Integers are taken as
/// ten-thousandths already (expressions over Currency columns), texts as decimal amounts.
void currencyFunction(sqlite3_context* context, int, sqlite3_value** arguments)
{
    switch (sqlite3_value_type(arguments[0])) {
    case SQLITE_NULL:
        sqlite3_result_null(context);
        return;
    case SQLITE_INTEGER:
        sqlite3_result_int64(context, sqlite3_value_int64(arguments[0]));
        return;
    case SQLITE_TEXT:
        if (const auto ticks = Money::parseLiteral(textArgument(arguments[0]).trimmed())) {
            sqlite3_result_int64(context, *ticks);
            return;
        }
        break;
    default:
        break;
    }
    resultError(context, u"Data type mismatch: the value is not an amount of the Currency range."_s);
}

/// Sets the cipher settings a ledger file is written in, on a keyed connection before its first read. They are
/// SQLCipher 3's defaults: 1024-byte pages, the key derived with 64,000 rounds of PBKDF2-HMAC-SHA1, pages
/// authenticated with HMAC-SHA1. SQLCipher 4 defaults to others and would take every existing ledger for no
/// database; pinned, the same file opens whichever major version the program is built with, and a new file is
/// written so that both read it. SQLCipher 3 ignores the two algorithm settings it does not know, which are its
/// only ones anyway. A raw key (PageKeys) is the page key under these settings in both versions.
bool pinCipherSettings(sqlite3* db)
{
    static const char* const settings[] = {
        "PRAGMA cipher_page_size = 1024",
        "PRAGMA kdf_iter = 64000",
        "PRAGMA cipher_hmac_algorithm = HMAC_SHA1",
        "PRAGMA cipher_kdf_algorithm = PBKDF2_HMAC_SHA1",
    };
    for (const char* setting : settings) {
        if (sqlite3_exec(db, setting, nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    return true;
}

QString quotedIdentifier(const QString& name)
{
    QString escaped = name;
    escaped.replace(u'"', u"\"\""_s);
    return u'"' + escaped + u'"';
}

int& busyWait()
{
    static int milliseconds = 5000;
    return milliseconds;
}

/// Every open connection of the process, for the end of the program.
std::vector<EngineConnection*>& liveConnections()
{
    static std::vector<EngineConnection*> connections;
    return connections;
}

using FileIdentity = std::pair<quint64, quint64>;

std::optional<FileIdentity> identityOf(const QByteArray& path)
{
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
}

/// The file's identity with its size and last change: an inode number used again for another file later in
/// the process is not taken for the damaged one.
QByteArray versionOf(const QByteArray& path)
{
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return {};
    return QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino)) + ':'
        + QByteArray::number(qint64(info.st_size)) + ':' + QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.'
        + QByteArray::number(qint64(info.st_mtim.tv_nsec));
}

struct DamageWatch
{
    QByteArray path; ///< the watched file (the ledger), by its native name
    std::function<void()> onDamage;
    bool found = false;
    QSet<QByteArray> damaged; ///< versionOf() each damaged file
};

DamageWatch& damageWatch()
{
    static DamageWatch watch;
    return watch;
}

void makeReadOnly(sqlite3* db)
{
    sqlite3_exec(db, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
}

} // namespace

bool EngineConnection::Failure::isTransient() const
{
    return EngineMessage::isTransient(code);
}

EngineConnection::EngineConnection(sqlite3* db)
    : m_db(db)
{
    liveConnections().push_back(this);
}

EngineConnection::~EngineConnection()
{
    close();
    auto& live = liveConnections();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

void EngineConnection::close()
{
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

int EngineConnection::busyTimeout()
{
    return busyWait();
}

void EngineConnection::setBusyTimeout(int milliseconds)
{
    busyWait() = milliseconds;
}

void EngineConnection::closeAll()
{
    // A lazy snapshot's statement holds its connection open; dropping it lets the connection close for real.
    RowSnapshot::abandonAll();
    const std::vector<EngineConnection*> live = liveConnections();
    for (EngineConnection* connection : live)
        connection->close();
}

std::shared_ptr<EngineConnection> EngineConnection::open(const QString& path, const QString& key, Options options)
{
    return open(path, key, options, nullptr);
}

std::shared_ptr<EngineConnection> EngineConnection::open(const QString& path, const QString& key)
{
    return open(path, key, Options(), nullptr);
}

std::shared_ptr<EngineConnection> EngineConnection::open(const QString& path, const QString& key, Options options,
                                                         Failure* failure)
{
    Failure ignored;
    Failure& why = failure ? *failure : ignored;
    why = Failure{SQLITE_CANTOPEN, EngineMessage::text(SQLITE_CANTOPEN, QString())};
    if (path.isEmpty())
        return nullptr;
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(path);
    // Only a regular file is a database: the engine would wait for ever on a named pipe of that name.
    struct stat info;
    if (::stat(file.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return nullptr;
    const int flags = (options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_PRIVATECACHE;
    if (sqlite3_open_v2(file.constData(), &db, flags, nullptr) != SQLITE_OK) {
        if (db)
            why = Failure{sqlite3_extended_errcode(db), EngineMessage::last(db)};
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::shared_ptr<EngineConnection> connection(new EngineConnection(db));
    auto failed = [&] {
        why = Failure{sqlite3_extended_errcode(db), connection->m_lastError};
        return nullptr;
    };
    sqlite3_extended_result_codes(db, 1);
    // Before the first read: a lock that another program holds for a moment is waited for, not a failure.
    sqlite3_busy_timeout(db, busyWait());
    const QByteArray secret = key.toUtf8();
    // A file without its salt yet (being created) is keyed with the password, and the engine makes the salt.
    // The raw key is remembered, or being derived by the start-up's prefetch (then waited for), or derived now.
    const QByteArray salt = key.isEmpty() ? QByteArray() : PageKeys::fileSalt(path);
    const QByteArray raw = salt.isEmpty() ? QByteArray() : PageKeys::rawKey(secret, salt);
    if (!key.isEmpty()) {
        const QByteArray& keying = raw.isEmpty() ? secret : raw;
        if (sqlite3_key(db, keying.constData(), int(keying.size())) != SQLITE_OK || !pinCipherSettings(db)) {
            connection->fail();
            return failed();
        }
    }
    // The key is only tried by the first read: a wrong key or a file that is no database fails here.
    if (!connection->executeNative("SELECT count(*) FROM sqlite_master"))
        return failed();
    if (!options.allowEmpty) {
        Statement pages = connection->prepareNative(u"PRAGMA page_count"_s);
        if (!pages)
            return failed();
        if (sqlite3_step(pages.get()) != SQLITE_ROW || sqlite3_column_int64(pages.get(), 0) <= 0) {
            why = Failure{SQLITE_NOTADB, EngineMessage::text(SQLITE_NOTADB, QString())};
            return nullptr;
        }
    }
    // One file, always: a write-ahead log left beside the file (by a program that ended without closing it)
    // would otherwise take the connection over, and what is saved would stay in that log. Switching to the
    // rollback journal folds the log into the file and removes it.
    if (!options.readOnly) {
        Statement journal = connection->prepareNative(u"PRAGMA journal_mode=DELETE"_s);
        if (!journal)
            return failed();
        const int rc = sqlite3_step(journal.get());
        if (rc != SQLITE_ROW) {
            connection->fail();
            return failed();
        }
        if (qstricmp(reinterpret_cast<const char*>(sqlite3_column_text(journal.get(), 0)), "delete") != 0) {
            why = Failure{SQLITE_BUSY, EngineMessage::text(SQLITE_BUSY, QString())};
            return nullptr;
        }
    }
    if (!connection->executeNative("PRAGMA synchronous=FULL"))
        return failed();
    const int functionFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    if (sqlite3_create_function_v2(db, JetDialect::TimeFunction, 1, functionFlags, nullptr, timeFunction, nullptr,
                                   nullptr, nullptr)
            != SQLITE_OK
        || sqlite3_create_function_v2(db, JetDialect::CurrencyFunction, 1, functionFlags, nullptr, currencyFunction,
                                      nullptr, nullptr, nullptr)
            != SQLITE_OK) {
        connection->fail();
        return failed();
    }
    if (!raw.isEmpty())
        PageKeys::remember(secret, salt, raw);
    // From here on a failure to read the file is damage, not a wrong key or no database.
    connection->m_file = identityOf(file);
    connection->m_path = file;
    if (damageWatch().damaged.contains(versionOf(file)))
        makeReadOnly(db);
    EngineMessage::setFailureWatcher(&EngineConnection::noteFailure);
    why = Failure();
    return connection;
}

void EngineConnection::noteFailure(sqlite3* db, int resultCode)
{
    const int primary = resultCode & 0xFF;
    if (primary != SQLITE_CORRUPT && primary != SQLITE_NOTADB)
        return;
    const auto& live = liveConnections();
    const auto found
        = std::find_if(live.begin(), live.end(), [db](const EngineConnection* c) { return c->m_db == db; });
    if (found == live.end() || !(*found)->m_file)
        return;
    const FileIdentity file = *(*found)->m_file;
    DamageWatch& watch = damageWatch();
    const QByteArray version = versionOf((*found)->m_path);
    if (version.isEmpty() || watch.damaged.contains(version))
        return;
    watch.damaged.insert(version);
    for (EngineConnection* connection : live) {
        if (connection->m_db && connection->m_file == file)
            makeReadOnly(connection->m_db);
    }
    if (!watch.found && !watch.path.isEmpty() && identityOf(watch.path) == file) {
        watch.found = true;
        if (watch.onDamage)
            watch.onDamage();
    }
}

void EngineConnection::watchForDamage(const QString& path, std::function<void()> onDamage)
{
    DamageWatch& watch = damageWatch();
    watch.path = QFile::encodeName(path);
    watch.onDamage = std::move(onDamage);
    watch.found = false;
}

bool EngineConnection::watchedFileDamaged()
{
    return damageWatch().found;
}

bool EngineConnection::isDamaged(const QString& path)
{
    const QByteArray version = versionOf(QFile::encodeName(path));
    return !version.isEmpty() && damageWatch().damaged.contains(version);
}

bool EngineConnection::initialise(const QString& path, const QString& key)
{
    const auto connection = open(path, key, Options{false, true});
    // Writing the header makes the file a database of its own, keyed from its first page on.
    return connection && connection->executeNative("PRAGMA user_version=0");
}

bool EngineConnection::copy(EngineConnection& destination, EngineConnection& source, QString* error)
{
    const auto setError = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (!destination.m_db || !source.m_db)
        return setError(EngineMessage::closed());
    sqlite3_backup* backup = sqlite3_backup_init(destination.m_db, "main", source.m_db, "main");
    if (!backup)
        return setError(EngineMessage::last(destination.m_db));
    int rc;
    int waits = 0;
    while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        if (++waits > 200)
            break;
        sqlite3_sleep(25);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        const int code = rc == SQLITE_OK ? sqlite3_errcode(destination.m_db) : rc;
        return setError(EngineMessage::text(code, QString::fromUtf8(sqlite3_errstr(code))));
    }
    return true;
}

EngineConnection::Renewal EngineConnection::renew(const QString& path, Failure* why)
{
    const QByteArray file = QFile::encodeName(path);
    if (!m_db || !m_file || inTransaction() || sqlite3_db_readonly(m_db, "main") != 0
        || ::access(file.constData(), R_OK | W_OK) != 0 || identityOf(file) != m_file)
        return Renewal::NotTheSame;
    releaseMemory();
    sqlite3_busy_timeout(m_db, busyWait());
    if (!executeNative("SELECT count(*) FROM sqlite_master")) {
        if (why)
            *why = Failure{sqlite3_extended_errcode(m_db), m_lastError};
        return Renewal::Failed;
    }
    m_lastError.clear();
    return Renewal::Renewed;
}

void EngineConnection::releaseMemory()
{
    if (m_db)
        sqlite3_db_release_memory(m_db);
}

bool EngineConnection::fail()
{
    m_lastError = m_db ? EngineMessage::last(m_db) : EngineMessage::closed();
    return false;
}

EngineConnection::Statement EngineConnection::prepareNative(const QString& sql)
{
    const QByteArray utf8 = sql.toUtf8();
    return Statement(prepareUtf8(std::string_view(utf8.constData(), std::size_t(utf8.size()))), finalize);
}

sqlite3_stmt* EngineConnection::prepareUtf8(std::string_view sql)
{
    if (!m_db) {
        fail();
        return nullptr;
    }
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.data(), int(sql.size()), &statement, &tail) != SQLITE_OK) {
        fail();
        return nullptr;
    }
    Statement owned(statement, finalize);
    if (statement == nullptr) {
        m_lastError = EngineMessage::refused(u"The statement is empty."_s);
        return nullptr;
    }
    for (const char* end = sql.data() + sql.size(); tail != nullptr && tail < end; ++tail) {
        if (*tail != ' ' && *tail != '\t' && *tail != '\n' && *tail != '\r') {
            m_lastError = EngineMessage::refused(u"Characters found after end of SQL statement."_s);
            return nullptr;
        }
    }
    return owned.release();
}

QString EngineConnection::engineVersion()
{
    return QString::fromLatin1(sqlite3_libversion());
}

bool EngineConnection::run(sqlite3_stmt* statement)
{
    RowSnapshot::completeAll();
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) { }
    return rc == SQLITE_DONE || fail();
}

bool EngineConnection::run(EngineStatement& statement)
{
    RowSnapshot::completeAll();
    return statement.run();
}

bool EngineConnection::executeNative(const char* sql)
{
    RowSnapshot::completeAll();
    const Statement statement = prepareNative(QString::fromUtf8(sql));
    return statement && run(statement.get());
}

bool EngineConnection::execute(const QString& statement)
{
    RowSnapshot::completeAll();
    const JetDialect::Translation translation = JetDialect::translate(statement, tableLookup());
    if (!translation.ok) {
        m_lastError = EngineMessage::refused(translation.error);
        return false;
    }
    const Statement prepared = prepareNative(translation.sql);
    if (!prepared)
        return false;
    const bool ok = run(prepared.get());
    if (translation.changesSchema) {
        m_columns.clear();
        m_rowidColumns.clear();
    }
    return ok;
}

EngineConnection::Statement EngineConnection::prepareQuery(const QString& statement, bool withRowid, QString* table,
                                                           RowSnapshot::KeyPlace& key)
{
    JetDialect::Translation translation = JetDialect::translate(statement, tableLookup(), withRowid);
    if (!translation.ok) {
        m_lastError = EngineMessage::refused(translation.error);
        return Statement(nullptr, finalize);
    }
    key = RowSnapshot::KeyPlace();
    if (translation.returnsRowid) {
        key = RowSnapshot::KeyPlace::apart();
        // "select * from TABLE" of a table with an auto-number returns its key already, in that column: no
        // rowid beside it, which would make every row of a sort longer.
        if (const int column = rowidColumn(translation.rowidTable); column >= 0) {
            const JetDialect::Translation plain = JetDialect::translate(statement, tableLookup(), false);
            const auto tableColumns = columns(translation.rowidTable);
            if (plain.ok && tableColumns) {
                Statement prepared = prepareNative(plain.sql);
                if (prepared && sqlite3_column_count(prepared.get()) == tableColumns->size()) {
                    key = RowSnapshot::KeyPlace::inColumn(column);
                    if (table)
                        *table = translation.rowidTable;
                    return prepared;
                }
            }
        }
    }
    Statement prepared = prepareNative(translation.sql);
    if (!prepared)
        return prepared;
    if (sqlite3_column_count(prepared.get()) == 0) {
        m_lastError = EngineMessage::refused(u"The statement yields no rows."_s);
        return Statement(nullptr, finalize);
    }
    if (table)
        *table = translation.returnsRowid ? translation.rowidTable : QString();
    return prepared;
}

std::unique_ptr<RowSnapshot> EngineConnection::query(const QString& statement, bool withRowid, QString* table)
{
    RowSnapshot::KeyPlace key;
    const Statement prepared = prepareQuery(statement, withRowid, table, key);
    if (!prepared)
        return nullptr;
    return RowSnapshot::read(prepared.get(), key, &m_lastError);
}

std::unique_ptr<RowSnapshot> EngineConnection::queryLazily(const QString& statement, qsizetype rowsNow, bool withRowid,
                                                           QString* table)
{
    RowSnapshot::KeyPlace key;
    Statement prepared = prepareQuery(statement, withRowid, table, key);
    if (!prepared)
        return nullptr;
    return RowSnapshot::start(prepared.release(), shared_from_this(), key, rowsNow, &m_lastError);
}

int EngineConnection::rowidColumn(const QString& table)
{
    const QString key = table.toLower();
    if (const auto cached = m_rowidColumns.constFind(key); cached != m_rowidColumns.constEnd())
        return *cached;
    const auto tableColumns = columns(table);
    if (!tableColumns)
        return -1;
    int found = -1;
    if (!m_db)
        return found;
    const QByteArray tableName = table.toUtf8();
    for (qsizetype i = 0; i < tableColumns->size() && found < 0; ++i) {
        if (tableColumns->at(i).type != JetType::Counter)
            continue;
        int autoIncrement = 0;
        const QByteArray column = tableColumns->at(i).name.toUtf8();
        // AUTOINCREMENT is only allowed on the INTEGER PRIMARY KEY that is the rowid.
        if (sqlite3_table_column_metadata(m_db, "main", tableName.constData(), column.constData(), nullptr, nullptr,
                                          nullptr, nullptr, &autoIncrement)
                == SQLITE_OK
            && autoIncrement)
            found = int(i);
    }
    m_rowidColumns.insert(key, found);
    return found;
}

std::optional<QList<JetColumn>> EngineConnection::columns(const QString& table)
{
    const QString key = table.toLower();
    if (const auto cached = m_columns.constFind(key); cached != m_columns.constEnd())
        return *cached;
    const Statement info = prepareNative(u"PRAGMA table_info("_s + quotedIdentifier(table) + u')');
    if (!info)
        return std::nullopt;
    QList<JetColumn> result;
    while (sqlite3_step(info.get()) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
        const auto* declared = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 2));
        const bool primaryKey = sqlite3_column_int(info.get(), 5) != 0;
        result << JetColumn{QString::fromUtf8(name ? name : ""),
                            JetTypes::fromDeclared(declared ? QByteArrayView(declared) : QByteArrayView(), primaryKey)};
    }
    if (result.isEmpty())
        return std::nullopt; // not remembered: another connection may create the table
    m_columns.insert(key, result);
    return result;
}

JetDialect::TableLookup EngineConnection::tableLookup()
{
    return [this](const QString& table) { return columns(table); };
}

qint64 EngineConnection::lastInsertRowid() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int EngineConnection::changes() const
{
    return m_db ? sqlite3_changes(m_db) : 0;
}

qint64 EngineConnection::totalChanges() const
{
    return m_db ? sqlite3_total_changes(m_db) : 0;
}

qint64 EngineConnection::dataVersion()
{
    Statement statement = prepareNative(u"PRAGMA data_version"_s);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW)
        return -1;
    return sqlite3_column_int64(statement.get(), 0);
}

bool EngineConnection::inTransaction() const
{
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

} // namespace ovelta
