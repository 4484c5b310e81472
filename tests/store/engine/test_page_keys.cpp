// The keys of encrypted files: start-up derives the ledger's key on a worker thread, and a connect takes it
// from there, waits for it while it is being derived, and never lets a wrong password in because of it.

#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/engine/PageKeys.h"

#include <QFile>
#include <QTest>
#include <openssl/evp.h>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

/// An encrypted file keyed with password, holding one table with one row, written through the engine alone:
/// no key of it is remembered by the store yet.
bool makeKeyedFile(const QString& path, const QByteArray& password)
{
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(path);
    bool ok = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK
        && sqlite3_key(db, password.constData(), int(password.size())) == SQLITE_OK
        && sqlite3_exec(db, "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('inside')", nullptr, nullptr, nullptr)
            == SQLITE_OK;
    sqlite3_close_v2(db);
    return ok;
}

/// The row of the file's table; empty when the file does not open with password.
QString valueInside(const QString& path, const QString& password)
{
    const auto engine = EngineConnection::open(path, password);
    if (!engine)
        return {};
    const EngineConnection::Statement statement = engine->prepareNative(u"SELECT v FROM t"_s);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)));
}

/// The row of the file's table, read by the engine alone with a raw key; empty when the key does not open it.
QString valueInsideWithRawKey(const QString& path, const QByteArray& rawKey)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    QString value;
    const QByteArray file = QFile::encodeName(path);
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_key(db, rawKey.constData(), int(rawKey.size())) == SQLITE_OK
        && sqlite3_prepare_v2(db, "SELECT v FROM t", -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close_v2(db);
    return value;
}

} // namespace

class TestPageKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aPrefetchedKeyIsTheDerivedOneAndOpensTheFile()
    {
        test::TempFolder folder;
        const QString path = folder.file(u"lgbk.xc"_s);
        QVERIFY(makeKeyedFile(path, "right"));
        const QByteArray salt = PageKeys::fileSalt(path);
        QCOMPARE(salt.size(), PageKeys::SaltBytes);
        QVERIFY(PageKeys::remembered("right", salt).isEmpty());

        const qint64 before = PageKeys::derivations();
        QVERIFY(PageKeys::prefetch(path, u"right"_s));
        PageKeys::waitForPrefetch();
        QCOMPARE(PageKeys::derivations(), before + 1);
        const QByteArray prefetched = PageKeys::remembered("right", salt);
        QVERIFY(prefetched.startsWith("x'"));
        QCOMPARE(prefetched, PageKeys::derive("right", salt));

        const qint64 derived = PageKeys::derivations();
        QCOMPARE(valueInside(path, u"right"_s), u"inside"_s);
        QCOMPARE(valueInside(path, u"right"_s), u"inside"_s);
        QCOMPARE(PageKeys::derivations(), derived);
        // Known now: a second prefetch has nothing to do.
        QVERIFY(!PageKeys::prefetch(path, u"right"_s));
        PageKeys::waitForPrefetch();
        QCOMPARE(PageKeys::derivations(), derived);
    }

    /// The store derives keys itself, faster than the crypto library's own function: the key must be the one the
    /// engine derives from the password, for short and long passwords alike (one longer than the hash's 64-byte
    /// block is hashed first).
    void theDerivedKeyIsTheEnginesForPasswordsOfEveryLength()
    {
        test::TempFolder folder;
        const QList<QByteArray> passwords = {"x", "Qm_4Rtwpz8-2HsK", QByteArray(64, 'k'), QByteArray(65, 'k'),
                                             u"人情往来账簿的密码"_s.toUtf8().repeated(12)};
        for (const QByteArray& password : passwords) {
            const QString path = folder.file(u"keyed-%1.xc"_s.arg(password.size()));
            QVERIFY(makeKeyedFile(path, password));
            const QByteArray salt = PageKeys::fileSalt(path);
            const QByteArray key = PageKeys::derive(password, salt);

            unsigned char expected[32];
            QVERIFY(PKCS5_PBKDF2_HMAC_SHA1(password.constData(), int(password.size()),
                                           reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()),
                                           64000, 32, expected)
                    == 1);
            QCOMPARE(key, "x'" + QByteArray(reinterpret_cast<const char*>(expected), 32).toHex() + '\'');
            QCOMPARE(valueInsideWithRawKey(path, key), u"inside"_s);
            QVERIFY(valueInsideWithRawKey(path, PageKeys::derive(password + "!", salt)).isEmpty());
        }
    }

    void aConnectRacingThePrefetchWaitsForItsKey()
    {
        test::TempFolder folder;
        const QString path = folder.file(u"lgbk.xc"_s);
        QVERIFY(makeKeyedFile(path, "right"));
        const qint64 before = PageKeys::derivations();
        QVERIFY(PageKeys::prefetch(path, u"right"_s));
        // The derivation takes tens of milliseconds: the key is still being derived now.
        QVERIFY(!PageKeys::prefetch(path, u"right"_s));
        QCOMPARE(valueInside(path, u"right"_s), u"inside"_s);
        QCOMPARE(PageKeys::derivations(), before + 1);
        PageKeys::waitForPrefetch();
        QCOMPARE(PageKeys::derivations(), before + 1);
    }

    void aWrongPasswordStillFails()
    {
        test::TempFolder folder;
        const QString path = folder.file(u"lgbk.xc"_s);
        QVERIFY(makeKeyedFile(path, "right"));

        // The key of a wrong password, prefetched, opens nothing; the right password still does.
        QVERIFY(PageKeys::prefetch(path, u"wrong"_s));
        QVERIFY(!EngineConnection::open(path, u"wrong"_s));
        QVERIFY(!EngineConnection::open(path, u"wrong"_s));
        QCOMPARE(valueInside(path, u"right"_s), u"inside"_s);

        // The right key prefetched lets no near miss in.
        const QString other = folder.file(u"other.xc"_s);
        QVERIFY(makeKeyedFile(other, "right"));
        QVERIFY(PageKeys::prefetch(other, u"right"_s));
        QVERIFY(!EngineConnection::open(other, u"righ"_s));
        QVERIFY(!EngineConnection::open(other, u"Right"_s));
        QCOMPARE(valueInside(other, u"right"_s), u"inside"_s);
    }

    void aFileWithoutItsSaltPrefetchesNothing()
    {
        test::TempFolder folder;
        const QString shortFile = folder.file(u"short.xc"_s);
        QFile f(shortFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(int(PageKeys::SaltBytes) - 1, 'x'));
        f.close();
        const QString keyed = folder.file(u"keyed.xc"_s);
        QVERIFY(makeKeyedFile(keyed, "right"));

        const qint64 before = PageKeys::derivations();
        QVERIFY(!PageKeys::prefetch(folder.file(u"missing.xc"_s), u"right"_s));
        QVERIFY(!PageKeys::prefetch(shortFile, u"right"_s));
        QVERIFY(!PageKeys::prefetch(folder.path(), u"right"_s));
        QVERIFY(!PageKeys::prefetch(QString(), u"right"_s));
        QVERIFY(!PageKeys::prefetch(keyed, QString()));
        PageKeys::waitForPrefetch();
        QCOMPARE(PageKeys::derivations(), before);
        QVERIFY(PageKeys::fileSalt(shortFile).isEmpty());
        QVERIFY(PageKeys::derive("right", QByteArray(int(PageKeys::SaltBytes) - 1, 'x')).isEmpty());
        // Nothing of the missing file's name is remembered: created later, it opens with its password.
        QVERIFY(!EngineConnection::open(folder.file(u"missing.xc"_s), u"right"_s));
        QVERIFY(makeKeyedFile(folder.file(u"missing.xc"_s), "right"));
        QCOMPARE(valueInside(folder.file(u"missing.xc"_s), u"right"_s), u"inside"_s);
    }

    void aReplacedFileIsNotOpenedWithThePrefetchedKey()
    {
        test::TempFolder folder;
        const QString path = folder.file(u"lgbk.xc"_s);
        const QString replacement = folder.file(u"new.xc"_s);
        QVERIFY(makeKeyedFile(path, "right"));
        QVERIFY(makeKeyedFile(replacement, "right"));
        const QByteArray firstSalt = PageKeys::fileSalt(path);
        QVERIFY(PageKeys::prefetch(path, u"right"_s));
        // The file is replaced while its key is derived: the new one has a salt of its own.
        QVERIFY(QFile::remove(path) && QFile::copy(replacement, path));
        QCOMPARE(valueInside(path, u"right"_s), u"inside"_s);
        PageKeys::waitForPrefetch();
        const QByteArray firstKey = PageKeys::remembered("right", firstSalt);
        QVERIFY(!firstKey.isEmpty());
        QVERIFY(firstKey != PageKeys::remembered("right", PageKeys::fileSalt(path)));
    }
};

QTEST_GUILESS_MAIN(TestPageKeys)
#include "test_page_keys.moc"
