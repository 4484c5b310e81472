// Reconnecting to ledger files: the store remembers the key it derived for a password and a file's salt, and
// that must never let a wrong password in or keep an old key for a file that was replaced.

#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerSchema.h"

#include <QFile>
#include <QTest>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

/// The account's user name as the file holds it; empty when the file does not open or read.
QString accountUser(const QString& path, const QString& password)
{
    const auto engine = EngineConnection::open(path, password);
    if (!engine)
        return {};
    const EngineConnection::Statement statement = engine->prepareNative(u"SELECT 用户 FROM 账号"_s);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)));
}

bool replaceFile(const QString& target, const QString& source)
{
    return QFile::remove(target) && QFile::copy(source, target);
}

} // namespace

class TestEngineKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reconnectingKeepsOpeningAndAWrongPasswordStaysOut()
    {
        test::TempFolder folder;
        const QString path = folder.file(u"a.xc"_s);
        QVERIFY(LedgerSchema::createFile(path, u"right"_s));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(accountUser(path, u"right"_s), u"admin"_s);
        QVERIFY(!EngineConnection::open(path, u"wrong"_s));
        QVERIFY(!EngineConnection::open(path, u"righ"_s));
        QVERIFY(!EngineConnection::open(path, QString()));
        QCOMPARE(accountUser(path, u"right"_s), u"admin"_s);
    }

    void aReplacedFileOpensWithItsOwnKeyOnly()
    {
        test::TempFolder folder;
        const QString path = folder.file(u"lgbk.xc"_s);
        const QString samePassword = folder.file(u"same.xc"_s);
        const QString otherPassword = folder.file(u"other.xc"_s);
        QVERIFY(LedgerSchema::createFile(path, u"one"_s));
        QVERIFY(LedgerSchema::createFile(samePassword, u"one"_s));
        QVERIFY(LedgerSchema::createFile(otherPassword, u"two"_s));
        QCOMPARE(accountUser(path, u"one"_s), u"admin"_s);

        // Same password, another salt: the remembered key of the first file does not fit, the password does.
        QVERIFY(replaceFile(path, samePassword));
        QCOMPARE(accountUser(path, u"one"_s), u"admin"_s);

        QVERIFY(replaceFile(path, otherPassword));
        QVERIFY(!EngineConnection::open(path, u"one"_s));
        QCOMPARE(accountUser(path, u"two"_s), u"admin"_s);
    }

    void filesThatAreNoLedgerStayClosed()
    {
        test::TempFolder folder;
        const QString shortFile = folder.file(u"short.xc"_s);
        const QString noise = folder.file(u"noise.xc"_s);
        QFile f(shortFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("SQLite");
        f.close();
        QFile g(noise);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write(QByteArray(4096, 'x'));
        g.close();
        QVERIFY(!EngineConnection::open(shortFile, u"one"_s));
        QVERIFY(!EngineConnection::open(noise, u"one"_s));
        QVERIFY(!EngineConnection::open(noise, u"one"_s));
        QVERIFY(!EngineConnection::open(folder.file(u"missing.xc"_s), u"one"_s));
    }
};

QTEST_GUILESS_MAIN(TestEngineKeys)
#include "test_engine_keys.moc"
