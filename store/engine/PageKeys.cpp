#include "store/engine/PageKeys.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sqlcipher/sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace ovelta {

namespace {

constexpr int KeyBytes = 32;
constexpr int KeyRounds = 64000;
/// The niceness of a prefetch's thread: behind the program's other threads, yet never starved.
constexpr int AheadOfNeedNice = 5;

/// The first value of a statement's first row, as text; empty when there is none.
QByteArray firstValue(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    QByteArray value;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return value;
}

/// True when the engine derives keys as PageKeys::derive() does (SQLCipher 3 and its 64,000 rounds). Asked once,
/// of a database in memory: the answer is the engine's, not a file's.
bool engineDerivesAsExpected()
{
    static const bool expected = [] {
        sqlite3* db = nullptr;
        const bool same
            = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK
            && firstValue(db, "PRAGMA cipher_version").startsWith("3.")
            && firstValue(db, "PRAGMA cipher_default_kdf_iter") == QByteArray::number(KeyRounds);
        sqlite3_close_v2(db);
        return same;
    }();
    return expected;
}

/// The keys of the process, by salt and password (the salt has a fixed length, so the pair is unambiguous).
struct Keys
{
    Keys()
    {
        // The crypto library tears itself down at exit; initialised before this object is complete, it does so
        // only after the destructor below has waited for the worker that may still be using it.
        OPENSSL_init_crypto(0, nullptr);
    }
    ~Keys() { waitForWorker(); }
    Keys(const Keys&) = delete;
    Keys& operator=(const Keys&) = delete;

    void waitForWorker()
    {
        const std::lock_guard lock(workerMutex);
        if (worker.joinable())
            worker.join();
    }

    std::mutex mutex; ///< guards known and pending
    std::condition_variable settled; ///< a derivation of pending ended
    QHash<QByteArray, QByteArray> known;
    QSet<QByteArray> pending;
    std::atomic<qint64> derivations = 0;

    std::mutex workerMutex; ///< guards worker
    std::thread worker;
};

Keys& keys()
{
    static Keys instance;
    return instance;
}

} // namespace

QByteArray PageKeys::fileSalt(const QString& path)
{
    // Opened without waiting and read only when it is a regular file: a named pipe of that name would otherwise
    // hold the reader until someone writes into it.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray salt(SaltBytes, '\0');
    struct stat info;
    const bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
        && ::pread(fd, salt.data(), size_t(SaltBytes), 0) == ssize_t(SaltBytes);
    ::close(fd);
    return read ? salt : QByteArray();
}

QByteArray PageKeys::derive(const QByteArray& password, const QByteArray& salt)
{
    unsigned char key[KeyBytes];
    if (salt.size() != SaltBytes || !engineDerivesAsExpected()
        || PKCS5_PBKDF2_HMAC_SHA1(password.constData(), int(password.size()),
                                  reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()), KeyRounds,
                                  KeyBytes, key)
            != 1)
        return {};
    ++keys().derivations;
    return "x'" + QByteArray(reinterpret_cast<const char*>(key), KeyBytes).toHex() + '\'';
}

QByteArray PageKeys::remembered(const QByteArray& password, const QByteArray& salt)
{
    Keys& k = keys();
    const QByteArray id = salt + password;
    std::unique_lock lock(k.mutex);
    k.settled.wait(lock, [&] { return !k.pending.contains(id); });
    return k.known.value(id);
}

QByteArray PageKeys::rawKey(const QByteArray& password, const QByteArray& salt)
{
    const QByteArray key = remembered(password, salt);
    return key.isEmpty() ? derive(password, salt) : key;
}

void PageKeys::remember(const QByteArray& password, const QByteArray& salt, const QByteArray& rawKey)
{
    Keys& k = keys();
    const std::lock_guard lock(k.mutex);
    k.known.insert(salt + password, rawKey);
}

bool PageKeys::prefetch(const QString& path, const QString& password)
{
    const QByteArray salt = fileSalt(path);
    const QByteArray secret = password.toUtf8();
    if (salt.isEmpty() || secret.isEmpty())
        return false;
    const QByteArray id = salt + secret;
    Keys& k = keys();
    {
        const std::lock_guard lock(k.mutex);
        if (k.known.contains(id) || k.pending.contains(id))
            return false;
        k.pending.insert(id);
    }
    const std::lock_guard workerLock(k.workerMutex);
    if (k.worker.joinable())
        k.worker.join(); // an earlier prefetch of another key
    const auto settle = [id](const QByteArray& key) {
        Keys& keysNow = keys();
        {
            const std::lock_guard lock(keysNow.mutex);
            if (!key.isEmpty())
                keysNow.known.insert(id, key);
            keysNow.pending.remove(id);
        }
        keysNow.settled.notify_all();
    };
    try {
        k.worker = std::thread([secret, salt, settle] {
            // Work ahead of need: the windows being built and the X server come first on a machine of few cores.
            (void)::setpriority(PRIO_PROCESS, ::gettid(), AheadOfNeedNice);
            settle(derive(secret, salt));
        });
    } catch (const std::system_error&) {
        settle(QByteArray());
        return false;
    }
    return true;
}

void PageKeys::waitForPrefetch()
{
    keys().waitForWorker();
}

qint64 PageKeys::derivations()
{
    return keys().derivations;
}

} // namespace ovelta
