// What stands under the ledger's name when the connection failed: nothing, a file that another connection
// keeps readers out of, or something that is there and free. The look changes nothing.

#include "TempFolder.h"
#include "store/engine/LedgerProbe.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

Q_DECLARE_METATYPE(LedgerProbe::State)

namespace {

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestLedgerProbe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tellsWhatStandsUnderTheName_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("lock"); // the statement another connection holds open, if any
        QTest::addColumn<LedgerProbe::State>("expected");
        const auto missing = LedgerProbe::State::Missing;
        const auto inUse = LedgerProbe::State::InUse;
        const auto present = LedgerProbe::State::Present;
        const auto notAFile = LedgerProbe::State::NotAFile;
        QTest::newRow("nothing") << u"nothing"_s << QString() << missing;
        QTest::newRow("a ledger") << u"ledger"_s << QString() << present;
        QTest::newRow("a ledger being written") << u"ledger"_s << u"BEGIN EXCLUSIVE"_s << inUse;
        QTest::newRow("a ledger with a writer that lets readers in") << u"ledger"_s << u"BEGIN IMMEDIATE"_s << present;
        QTest::newRow("a ledger being read") << u"ledger"_s << u"BEGIN; SELECT count(*) FROM 账号"_s << present;
        QTest::newRow("a ledger of another key") << u"other key"_s << QString() << present;
        QTest::newRow("an empty file") << u"empty"_s << QString() << present;
        QTest::newRow("a folder") << u"folder"_s << QString() << notAFile;
        QTest::newRow("a named pipe") << u"pipe"_s << QString() << notAFile;
        QTest::newRow("a link to a named pipe") << u"link to pipe"_s << QString() << notAFile;
        QTest::newRow("a link that leads nowhere") << u"dangling"_s << QString() << present;
    }
    void tellsWhatStandsUnderTheName()
    {
        QFETCH(QString, kind);
        QFETCH(QString, lock);
        QFETCH(LedgerProbe::State, expected);
        test::TempFolder folder;
        const QString name = LedgerFile::name();
        if (kind == u"ledger"_s)
            QVERIFY(LedgerSchema::createFile(name, LedgerFile::password()));
        else if (kind == u"other key"_s)
            QVERIFY(LedgerSchema::createFile(name, u"another password"_s));
        else if (kind == u"empty"_s)
            QVERIFY(QFile(name).open(QIODevice::WriteOnly));
        else if (kind == u"folder"_s)
            QVERIFY(QDir::current().mkdir(name));
        else if (kind == u"dangling"_s)
            QVERIFY(QFile::link(u"elsewhere"_s, name));
        else if (kind == u"pipe"_s)
            QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
        else if (kind == u"link to pipe"_s)
            QVERIFY(::mkfifo("elsewhere", 0600) == 0 && QFile::link(u"elsewhere"_s, name));
        // Nothing here may open a pipe: it would wait for a writer for ever.
        const QByteArray before = kind.contains(u"pipe"_s) ? QByteArray() : contentOf(name);

        sqlite3* other = nullptr;
        if (!lock.isEmpty()) {
            const QByteArray key = LedgerFile::password().toUtf8();
            QCOMPARE(sqlite3_open_v2(QFile::encodeName(name).constData(), &other, SQLITE_OPEN_READWRITE, nullptr),
                     SQLITE_OK);
            QCOMPARE(sqlite3_key(other, key.constData(), int(key.size())), SQLITE_OK);
            QCOMPARE(sqlite3_exec(other, lock.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        const LedgerProbe::State state = LedgerProbe::inspect(name);
        if (other != nullptr) {
            sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close_v2(other);
        }
        QCOMPARE(state, expected);
        if (!kind.contains(u"pipe"_s))
            QCOMPARE(contentOf(name), before);
        const QStringList left
            = QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QStringList expectedLeft{name};
        if (kind == u"nothing"_s)
            expectedLeft.clear();
        else if (kind == u"link to pipe"_s)
            expectedLeft.prepend(u"elsewhere"_s);
        QCOMPARE(left, expectedLeft);
    }
};

QTEST_GUILESS_MAIN(TestLedgerProbe)
#include "test_ledger_probe.moc"
