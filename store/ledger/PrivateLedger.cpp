#include "store/ledger/PrivateLedger.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/PageKeys.h"
#include "store/engine/PendingFile.h"
#include "store/jet/ConnectionText.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/ledger/LedgerFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta::PrivateLedger {

namespace {

constexpr qsizetype RandomBytes = 8;

QByteArray markOf(QByteArrayView random)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("Ovelta private ledger");
    hash.addData(random);
    return hash.result().left(PageKeys::SaltBytes - RandomBytes);
}

bool syncPath(const QByteArray& path, int flags)
{
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

/// The empty temporary file the copy is written into, named as PendingFile names its files and locked as it
/// locks them, so that the leftover of a killed re-key is removed as theirs are. Removed when dropped unless kept.
class CopyFile
{
public:
    explicit CopyFile(const QString& ledger)
    {
        const QFileInfo info(ledger);
        QByteArray pattern = QFile::encodeName(info.dir().filePath(u"."_s + info.fileName() + u".new-XXXXXX"_s));
        m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (m_fd < 0)
            return;
        m_path = pattern;
        if (::fchmod(m_fd, S_IRUSR | S_IWUSR) != 0 || ::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
            discard();
    }
    ~CopyFile() { discard(); }
    CopyFile(const CopyFile&) = delete;
    CopyFile& operator=(const CopyFile&) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    QByteArray path() const { return m_path; }
    /// The file now has another name: only its lock remains to be dropped.
    void keep()
    {
        m_path.clear();
        discard();
    }

private:
    void discard()
    {
        if (!m_path.isEmpty()) {
            ::unlink(m_path.constData());
            ::unlink((m_path + "-journal").constData());
            m_path.clear();
        }
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    QByteArray m_path;
    int m_fd = -1;
};

std::string_view bytesOf(const QByteArray& text)
{
    return std::string_view(text.constData(), std::size_t(text.size()));
}

/// Attaches the empty file at path as "copy", keyed with the raw key and salt, in the settings of every ledger.
bool attachCopy(EngineConnection& connection, const QByteArray& path, const QByteArray& keying)
{
    EngineStatement attach(connection, "ATTACH ?1 AS copy KEY ?2");
    if (!attach)
        return false;
    attach.bindUtf8(1, bytesOf(path));
    attach.bindUtf8(2, bytesOf(keying));
    if (!connection.run(attach))
        return false;
    // Settings of every ledger (see EngineConnection); the copy is nobody's file until it is whole, so it needs
    // no journal, and it is flushed once before the rename.
    static const char* const settings[] = {
        "PRAGMA copy.cipher_page_size = 1024",
        "PRAGMA copy.kdf_iter = 64000",
        "PRAGMA copy.cipher_hmac_algorithm = HMAC_SHA1",
        "PRAGMA copy.cipher_kdf_algorithm = PBKDF2_HMAC_SHA1",
        "PRAGMA copy.journal_mode = OFF",
        "PRAGMA copy.synchronous = OFF",
    };
    for (const char* setting : settings) {
        if (!connection.executeNative(setting))
            return false;
    }
    return true;
}

} // namespace

QByteArray newSalt(bool marked)
{
    for (;;) {
        QByteArray salt(PageKeys::SaltBytes, Qt::Uninitialized);
        QRandomGenerator::system()->generate(salt.begin(), salt.end());
        if (marked)
            salt.replace(RandomBytes, salt.size() - RandomBytes, markOf(QByteArrayView(salt).first(RandomBytes)));
        if (isMarked(salt) == marked)
            return salt;
    }
}

bool isMarked(const QByteArray& salt)
{
    return salt.size() == PageKeys::SaltBytes
        && QByteArrayView(salt).sliced(RandomBytes) == markOf(QByteArrayView(salt).first(RandomBytes));
}

bool isPrivate(const QString& path)
{
    // Only a regular file is read: opening a pipe for reading would wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    QByteArray salt(PageKeys::SaltBytes, '\0');
    const bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
        && ::pread(fd, salt.data(), std::size_t(salt.size()), 0) == salt.size();
    ::close(fd);
    return read && isMarked(salt);
}

bool canKey(const QString& password)
{
    const QString file = LedgerFile::name();
    return !password.isEmpty()
        && ConnectionText::fields(DatabaseConnection::connectionText(file, password))
               .value(u"jet oledb:database password"_s)
        == password
        && ConnectionText::fields(ExternalDatabase::connectionText(file, QString(), password)).value(u"pwd"_s)
        == password;
}

namespace {

std::function<void()>& replacedHandler()
{
    static std::function<void()> handler;
    return handler;
}

} // namespace

void setReplacedHandler(std::function<void()> handler)
{
    replacedHandler() = std::move(handler);
}

bool replaceLedger(const QString& copy, const QString& ledger)
{
    const QByteArray from = QFile::encodeName(copy);
    const QByteArray to = QFile::encodeName(ledger);
    if (!syncPath(from, O_RDONLY) || ::rename(from.constData(), to.constData()) != 0)
        return false;
    // The folder by the ledger's own name, relative when that is: a folder named in bytes that are not UTF-8
    // has no absolute name in text.
    const qsizetype slash = to.lastIndexOf('/');
    syncPath(slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : to.left(slash)), O_RDONLY | O_DIRECTORY);
    if (replacedHandler())
        replacedHandler()();
    return true;
}

Done rekey(const QString& path, const QString& currentKey, const QString& newKey, bool marked, const CopyChange& change)
{
    PendingFile::removeLeftovers(path);
    auto source = EngineConnection::open(path, currentKey);
    // A second connection holds the ledger's write lock from before the copy until after the rename.
    const auto guard = source ? EngineConnection::open(path, currentKey) : nullptr;
    if (!guard || !guard->executeNative("BEGIN IMMEDIATE"))
        return Problem::LedgerInUse;
    CopyFile copy(path);
    const QByteArray secret = newKey.toUtf8();
    const QByteArray salt = newSalt(marked);
    const QByteArray raw = PageKeys::derive(secret, salt);
    if (raw.isEmpty())
        return Problem::KeyUnsupported;
    if (!copy.isValid() || !attachCopy(*source, copy.path(), raw.chopped(1) + salt.toHex() + '\''))
        return Problem::CopyUnwritable;
    const bool copied = source->executeNative("BEGIN") && source->executeNative("SELECT sqlcipher_export('copy')")
        && (!change || change(*source)) && source->executeNative("COMMIT");
    if (!copied) {
        const Failure failure(Problem::CopyUnfinished, {source->lastError()});
        source->executeNative("ROLLBACK");
        return failure;
    }
    if (!source->executeNative("DETACH copy"))
        return Failure(Problem::Engine, {source->lastError()});
    source.reset();
    PageKeys::remember(secret, salt, raw);
    // The copy opens with the new key before it becomes the ledger.
    const QString copyPath = QFile::decodeName(copy.path());
    const bool opens = EngineConnection::open(copyPath, newKey, EngineConnection::Options{true, false}) != nullptr;
    if (!opens || !replaceLedger(copyPath, path))
        return Problem::CopyUnsaved;
    copy.keep();
    return {};
}

bool replaceAccount(EngineConnection& connection, const QString& user, const QString& password)
{
    EngineStatement remove(connection, "DELETE FROM copy.账号 WHERE ID = (SELECT min(ID) FROM copy.账号)");
    if (!remove || !connection.run(remove) || connection.changes() != 1)
        return false;
    EngineStatement insert(connection, "INSERT INTO copy.账号(用户, 密码) VALUES (?1, ?2)");
    if (!insert)
        return false;
    insert.bind(1, user);
    insert.bind(2, password);
    return connection.run(insert);
}

QString accountPassword(EngineConnection& connection)
{
    EngineStatement statement(connection, "SELECT 密码 FROM 账号 ORDER BY ID LIMIT 1");
    if (!statement || statement.step() != EngineStatement::Step::Row)
        return {};
    return statement.text(0);
}

QString keyOpening(const QString& path)
{
    const QString session = LedgerFile::sessionKey();
    if (session == LedgerFile::password()
        || EngineConnection::open(path, session, EngineConnection::Options{true, false}))
        return session;
    return LedgerFile::password();
}

} // namespace ovelta::PrivateLedger
