#pragma once

#include "store/value/Failure.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace ovelta {

class EngineConnection;

/// A private ledger: a ledger file keyed with its login password instead of the key built into the program, so
/// that nobody without the password reads it, also not with the program's source. The engine's settings stay
/// those of every ledger (SQLCipher 3's): the standard sqlcipher shell opens the file with PRAGMA key='<password>'.
///
/// Such a file is told from others without any key by its salt (its first 16 bytes, which the engine keeps in
/// clear): 8 random bytes, then the first 8 bytes of a SHA-256 over a fixed label and those 8. Any other file
/// carries that mark by chance once in 2^64.
///
/// A file changes its key in one step: the engine writes a copy under the new key (with the salt chosen here)
/// into a temporary file beside the ledger, which then replaces the ledger by a rename. A crash at any moment
/// leaves the old file or the new one; the temporary file has the name form of PendingFile and goes with its
/// leftovers.
namespace PrivateLedger {

/// A new random salt, with the mark when marked and without it otherwise.
QByteArray newSalt(bool marked);
/// True when salt is 16 bytes that carry the mark.
bool isMarked(const QByteArray& salt);
/// True when the file at path is a private ledger (read from its salt, with no key).
bool isPrivate(const QString& path);
/// True when password can key a private ledger: not empty, and carried unchanged by the connection texts of
/// 数据库连接 and 外部数据库 (a ";" is not), so that the program can open the file with it.
bool canKey(const QString& password);

/// A change made in the copy before it takes the ledger's place: runs on a connection on which the copy is the
/// attached schema "copy"; false undoes the whole re-key.
using CopyChange = std::function<bool(EngineConnection& connection)>;

/// Rewrites the ledger file at path, which currentKey opens, under newKey: marked (a private ledger) or not (the
/// program's own key). change, when given, runs in the copy first. While the copy is made, the ledger's write
/// lock is held, so that nothing written meanwhile is lost. On any failure the ledger is as it was. Connections
/// open on the old file keep reading the old file: the caller connects them again with newKey.
Done rekey(const QString& path, const QString& currentKey, const QString& newKey, bool marked,
           const CopyChange& change);

/// Puts the finished copy in place of the ledger: flushes it, renames it over the ledger and flushes the folder;
/// then runs the handler set with setReplacedHandler().
bool replaceLedger(const QString& copy, const QString& ledger);
/// What runs each time another file took the ledger's name (start-up moves its single-instance lock there).
void setReplacedHandler(std::function<void()> handler);

/// A CopyChange: the first account row of the copy is replaced by one with user and password (as the password
/// window does in the ledger itself).
bool replaceAccount(EngineConnection& connection, const QString& user, const QString& password);

/// The password of the ledger's first account, which keys a private ledger (as the password window changes it);
/// empty when there is none or it cannot be read.
QString accountPassword(EngineConnection& connection);

/// The key that opens a file keyed either with the session's key or with the program's own (a backup): the
/// session's key when it opens it, else the program's own.
QString keyOpening(const QString& path);

} // namespace PrivateLedger
} // namespace ovelta
