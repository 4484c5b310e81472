#pragma once

#include <QByteArray>
#include <QString>

namespace ovelta {

/// The keys of encrypted files' pages. The engine turns a password into the key of a file's pages with
/// PBKDF2-HMAC-SHA1 over the file's salt (its first 16 bytes): 64,000 rounds, some 30 ms, on every open. A
/// reconnect keeps its connection, but the login and every other connection to the ledger (backups, the second
/// access path) open it anew; so the store derives the key once per password and salt with the crypto library
/// the engine is built on (libcrypto's PKCS5_PBKDF2_HMAC_SHA1, the engine's own function) and hands the engine
/// the raw key ("x'...'"), which the engine then uses as it stands.
///
/// The keys are kept for the whole process and may be asked for from any thread. Start-up derives the ledger's
/// key on a worker thread from its first moment (prefetch()); a connect that needs a key that is still being
/// derived waits for it instead of deriving it a second time.
class PageKeys
{
public:
    static constexpr qsizetype SaltBytes = 16;

    /// The salt of the file at path: its first 16 bytes; empty when the file cannot be read or is shorter.
    static QByteArray fileSalt(const QString& path);

    /// Derives the raw key of password for salt now, as the engine would derive it; empty when the salt is not
    /// 16 bytes or the engine derives keys otherwise (another major version, other rounds).
    static QByteArray derive(const QByteArray& password, const QByteArray& salt);
    /// The raw key remembered for password and salt, once a derivation of it that is running has ended; empty
    /// when there is none.
    static QByteArray remembered(const QByteArray& password, const QByteArray& salt);
    /// remembered(), or else derive().
    static QByteArray rawKey(const QByteArray& password, const QByteArray& salt);
    /// Remembers the raw key of password for salt (a key that opened its file).
    static void remember(const QByteArray& password, const QByteArray& salt, const QByteArray& rawKey);

    /// Starts deriving the key of the file at path for password on a worker thread; the key is remembered when
    /// derived. False, with nothing started, when the file is missing or shorter than its salt, the password is
    /// empty, or that key is remembered or being derived already. What the key opens is not checked here: a
    /// wrong password's key simply does not open the file either.
    static bool prefetch(const QString& path, const QString& password);
    /// Waits until the last prefetch has ended; returns at once when none runs.
    static void waitForPrefetch();

    /// How many keys this process has derived so far (a key that is waited for is not derived again).
    static qint64 derivations();
};

} // namespace ovelta
