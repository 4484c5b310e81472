// A ledger keyed with its login password: its mark read without any key, re-keys there and back that keep every
// record and leave the file opening with exactly one key (the standard sqlcipher shell's too), a re-key that fails
// or is killed at any moment leaving the old file or the whole new one, and backups of either key.

#include "Noted.h"
#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/engine/PageKeys.h"
#include "store/engine/PendingFile.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/ledger/PrivateLedger.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <csignal>
#include <sqlcipher/sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

const QString First = u"甲乙丙123"_s;
const QString Second = u"另一口令"_s;

std::vector<LedgerRecord> records(int count)
{
    std::vector<LedgerRecord> result;
    for (int i = 0; i < count; ++i) {
        LedgerRecord r;
        r.direction = i % 2 ? u"收礼"_s : u"送礼"_s;
        r.name = u"人"_s + QString::number(i);
        r.time = JetDateTime::parse(u"2011-6-2"_s);
        r.relation = u"朋友"_s;
        r.occasion = u"结婚"_s;
        r.amount = i * 100;
        r.note = u"说明'\"\n第二行"_s;
        result.push_back(r);
    }
    return result;
}

bool makeLedger(const QString& path, int count)
{
    if (!LedgerSchema::createFile(path, LedgerFile::password()))
        return false;
    const auto engine = EngineConnection::open(path, LedgerFile::password());
    return engine && LedgerImport::write(*engine, records(count), {}, {}, {}).ok();
}

QString firstValue(EngineConnection& engine, const QString& sql)
{
    const auto statement = engine.prepareNative(sql);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW)
        return u"<none>"_s;
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)));
}

/// What a file is, seen from outside: which of the keys open it (indexes), whether it is marked private, its
/// integrity, its record names, the first account's password and the ledger table's last auto-number.
struct Seen
{
    QList<int> opening;
    bool marked = false;
    QString integrity;
    QStringList names;
    QString account;
    QString sequence;
};

Seen look(const QString& path)
{
    const QStringList keys = {LedgerFile::password(), First, Second};
    Seen seen;
    seen.marked = PrivateLedger::isPrivate(path);
    for (int i = 0; i < keys.size(); ++i) {
        const auto engine = EngineConnection::open(path, keys[i]);
        if (!engine)
            continue;
        seen.opening << i;
        seen.integrity = firstValue(*engine, u"PRAGMA integrity_check"_s);
        seen.account = firstValue(*engine, u"SELECT 密码 FROM 账号 ORDER BY ID LIMIT 1"_s);
        seen.sequence = firstValue(*engine, u"SELECT seq FROM sqlite_sequence WHERE name = '收送礼'"_s);
        for (const LedgerRecord& r : LedgerTransfer::readAll(*engine).valueOr({}))
            seen.names << r.name;
        seen.names.sort();
    }
    return seen;
}

QStringList namesOf(int count)
{
    QStringList names;
    for (const LedgerRecord& r : records(count))
        names << r.name;
    names.sort();
    return names;
}

/// Everything in the folder but the ledger and the folders of the test.
QStringList strays(const QString& folder)
{
    QStringList found = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    found.removeAll(LedgerFile::name());
    found.removeAll(u"template.xc"_s);
    return found;
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// The number of records the standard sqlcipher shell reads with PRAGMA key='<key>'; -1 when it reads none.
int shellCount(const QString& path, const QString& key)
{
    QString quoted = key;
    quoted.replace(u'\'', u"''"_s);
    QProcess shell;
    shell.start(u"sqlcipher"_s, {u"-batch"_s, path});
    shell.write((u"PRAGMA key='"_s + quoted + u"';\nSELECT count(*) FROM 收送礼;\n"_s).toUtf8());
    shell.closeWriteChannel();
    if (!shell.waitForFinished(30000) || shell.exitCode() != 0)
        return -1;
    bool ok = false;
    const int count = QString::fromUtf8(shell.readAllStandardOutput()).trimmed().toInt(&ok);
    return ok ? count : -1;
}

} // namespace

class TestPrivateLedger : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ::signal(SIGXFSZ, SIG_IGN); }
    void cleanup() { LedgerFile::setSessionKey(LedgerFile::password()); }

    void onlyAPrivateSaltCarriesTheMark()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(LedgerFile::name(), 1));
        QVERIFY(!PrivateLedger::isPrivate(LedgerFile::name()));
        QVERIFY(!PrivateLedger::isPrivate(u"missing.xc"_s));
        // Neither a pipe (which a reader would wait on for a writer) nor a folder is read.
        QCOMPARE(::mkfifo("pipe.xc", 0600), 0);
        QVERIFY(!PrivateLedger::isPrivate(u"pipe.xc"_s));
        QVERIFY(QDir().mkdir(u"folder.xc"_s));
        QVERIFY(!PrivateLedger::isPrivate(u"folder.xc"_s));
        for (int round = 0; round < 50; ++round) {
            const QByteArray marked = PrivateLedger::newSalt(true);
            QCOMPARE(marked.size(), PageKeys::SaltBytes);
            QVERIFY(PrivateLedger::isMarked(marked));
            QVERIFY(!PrivateLedger::isMarked(PrivateLedger::newSalt(false)));
            QVERIFY(PrivateLedger::newSalt(true) != marked);
            // Any byte changed, random or mark, and the mark is gone.
            QByteArray changed = marked;
            changed[round % PageKeys::SaltBytes] = char(changed[round % PageKeys::SaltBytes] ^ 0x20);
            QVERIFY(!PrivateLedger::isMarked(changed));
            QVERIFY(!PrivateLedger::isMarked(marked.left(15)));
        }
    }

    void rekeyKeepsEveryRecordUnderExactlyOneKey()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(LedgerFile::name(), 300));
        const QString sequence = look(LedgerFile::name()).sequence;
        const bool shell = !QStandardPaths::findExecutable(u"sqlcipher"_s).isEmpty();
        if (!shell)
            qWarning("sqlcipher shell not installed: the shell's reading is not checked");
        struct Step
        {
            int from;
            int to;
            bool changeAccount;
            QString account; // the first account's password afterwards
        };
        const QStringList keys = {LedgerFile::password(), First, Second};
        const QList<Step> steps = {
            {0, 1, true, First},   {1, 2, true, Second},  {2, 0, false, Second},
            {0, 0, false, Second}, {0, 2, false, Second}, {2, 2, true, u"新'口令"_s},
        };
        for (const Step& step : steps) {
            const bool marked = step.to != 0;
            PrivateLedger::CopyChange change;
            if (step.changeAccount)
                change
                    = [&](EngineConnection& c) { return PrivateLedger::replaceAccount(c, u"admin"_s, step.account); };
            QString error;
            QVERIFY2(
                test::noted(PrivateLedger::rekey(LedgerFile::name(), keys[step.from], keys[step.to], marked, change),
                            &error),
                qPrintable(error));
            const Seen seen = look(LedgerFile::name());
            QCOMPARE(seen.opening, QList<int>{step.to});
            QCOMPARE(seen.marked, marked);
            QCOMPARE(seen.integrity, u"ok"_s);
            QCOMPARE(seen.names, namesOf(300));
            QCOMPARE(seen.account, step.account);
            QCOMPARE(seen.sequence, sequence);
            QCOMPARE(strays(folder.path()), QStringList());
            if (shell) {
                QCOMPARE(shellCount(LedgerFile::name(), keys[step.to]), 300);
                QCOMPARE(shellCount(LedgerFile::name(), keys[(step.to + 1) % 3]), -1);
            }
        }
    }

    void aKeyIsAPasswordBothConnectionsOpenTheLedgerWith()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(u"template.xc"_s, 2));
        QVERIFY(!PrivateLedger::canKey(QString()));
        const QStringList passwords
            = {u"a;b"_s, u";"_s, u"{a}b"_s, u"{a;b}"_s, u"a=b"_s, u" 空 格 "_s, u"恭喜发财红"_s, u"{x"_s, u"'\""_s};
        for (const QString& password : passwords) {
            QFile::remove(LedgerFile::name());
            QVERIFY(QFile::copy(u"template.xc"_s, LedgerFile::name()));
            QVERIFY(PrivateLedger::rekey(LedgerFile::name(), LedgerFile::password(), password, true, {}));
            DatabaseConnection connection;
            ExternalDatabase external;
            const bool opens = connection.connect(LedgerFile::name(), password)
                && external.connect(LedgerFile::name(), QString(), password);
            QVERIFY2(PrivateLedger::canKey(password) == opens, qPrintable(password));
        }
    }

    void failedRekeyLeavesTheLedgerAsItWas()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(LedgerFile::name(), 20));
        const QByteArray before = bytesOf(LedgerFile::name());
        const PrivateLedger::CopyChange refused = [](EngineConnection&) { return false; };
        const PrivateLedger::CopyChange noAccount = [](EngineConnection& c) {
            return c.executeNative("DELETE FROM copy.账号") && PrivateLedger::replaceAccount(c, u"admin"_s, First);
        };
        struct Case
        {
            const char* what;
            QString key;
            PrivateLedger::CopyChange change;
        };
        const QList<Case> cases = {
            {"wrong current key", First, {}},
            {"change refused", LedgerFile::password(), refused},
            {"no account row to replace", LedgerFile::password(), noAccount},
        };
        for (const Case& c : cases) {
            QString error;
            QVERIFY2(!test::noted(PrivateLedger::rekey(LedgerFile::name(), c.key, First, true, c.change), &error),
                     c.what);
            QVERIFY2(!error.isEmpty(), c.what);
            QVERIFY2(bytesOf(LedgerFile::name()) == before, c.what);
            QCOMPARE(strays(folder.path()), QStringList());
        }
        // A disk that takes no more than a few pages of the copy.
        struct rlimit old = {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 8192;
        ::setrlimit(RLIMIT_FSIZE, &small);
        QString error;
        const bool done
            = test::noted(PrivateLedger::rekey(LedgerFile::name(), LedgerFile::password(), First, true, {}), &error)
                  .ok();
        ::setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!done);
        QVERIFY(!error.isEmpty());
        QVERIFY(bytesOf(LedgerFile::name()) == before);
        QCOMPARE(strays(folder.path()), QStringList());

        // A write under way elsewhere is waited for, not copied without its change and then lost with the old file.
        const auto writer = EngineConnection::open(LedgerFile::name(), LedgerFile::password());
        QVERIFY(writer && writer->executeNative("BEGIN IMMEDIATE")
                && writer->executeNative("DELETE FROM 收送礼 WHERE ID > 10"));
        EngineConnection::setBusyTimeout(50);
        const bool duringWrite
            = test::noted(PrivateLedger::rekey(LedgerFile::name(), LedgerFile::password(), First, true, {}), &error)
                  .ok();
        EngineConnection::setBusyTimeout(5000);
        QVERIFY(!duringWrite);
        QVERIFY(writer->executeNative("COMMIT"));
        const Seen seen = look(LedgerFile::name());
        QCOMPARE(seen.opening, QList<int>{0});
        QCOMPARE(seen.names.size(), 10);
        QCOMPARE(strays(folder.path()), QStringList());
    }

    void backupsOpenWithTheKeyTheyWereMadeWith()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(LedgerFile::name(), 7));
        QString error;
        const QString plain
            = LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), QDateTime(QDate(2026, 1, 1), {}))
                  .valueOr({});
        QVERIFY(!plain.isEmpty());
        QCOMPARE(PrivateLedger::keyOpening(plain), LedgerFile::password());
        QVERIFY(test::noted(PrivateLedger::rekey(LedgerFile::name(), LedgerFile::password(), First, true, {}), &error));
        LedgerFile::setSessionKey(First);
        const QString keyed
            = LedgerBackup::create(LedgerFile::name(), LedgerFile::sessionKey(), QDateTime(QDate(2026, 1, 2), {}))
                  .valueOr({});
        QVERIFY(!keyed.isEmpty());
        QVERIFY(!EngineConnection::open(keyed, LedgerFile::password()));
        QCOMPARE(PrivateLedger::keyOpening(keyed), First);
        QCOMPARE(PrivateLedger::keyOpening(plain), LedgerFile::password());
        QCOMPARE(LedgerBackup::verify(plain, PrivateLedger::keyOpening(plain)).optional(), 7);
        QCOMPARE(LedgerBackup::verify(keyed, PrivateLedger::keyOpening(keyed)).optional(), 7);
        // A restore of a backup of the program's key into the private ledger keeps the ledger's key.
        const auto ledger = EngineConnection::open(LedgerFile::name(), First);
        QVERIFY(ledger && ledger->executeNative("DELETE FROM 收送礼"));
        QVERIFY(LedgerBackup::restore(*ledger, plain, PrivateLedger::keyOpening(plain)));
        const Seen seen = look(LedgerFile::name());
        QCOMPARE(seen.opening, QList<int>{1});
        QVERIFY(seen.marked);
        QCOMPARE(seen.names, namesOf(7));
    }

    void killedRekeyLeavesOneWholeFile()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(LedgerFile::name(), 3000));
        QRandomGenerator random(31);
        int keyed = 0;
        int last = 0;
        for (int kill = 0; kill < 10; ++kill) {
            QProcess worker;
            worker.start(QString::fromLocal8Bit(qgetenv("OVELTA_REKEY_WORKER")), {folder.path()});
            QVERIFY(worker.waitForStarted());
            QThread::msleep(ulong(random.bounded(50, 1500)));
            worker.kill();
            worker.waitForFinished(30000);
            QStringList lines = QString::fromUtf8(worker.readAllStandardOutput()).split(u'\n');
            lines.removeLast(); // a last line without its end was cut by the kill
            for (const QString& line : lines)
                QVERIFY2(line.startsWith(u"keyed "_s), qPrintable(line));
            if (!lines.isEmpty())
                last = lines.last().mid(6).toInt();
            keyed += int(lines.size());
            // The key said last, or the next one when the kill came between the rename and the word.
            const Seen seen = look(LedgerFile::name());
            QCOMPARE(seen.opening.size(), 1);
            const int now = seen.opening.front();
            QVERIFY2(now == last || now == (last + 1) % 3, qPrintable(u"%1 after %2"_s.arg(now).arg(last)));
            last = now;
            QCOMPARE(seen.marked, now != 0);
            if (now != 0)
                QCOMPARE(seen.account, now == 1 ? First : Second);
            QCOMPARE(seen.integrity, u"ok"_s);
            QCOMPARE(seen.names, namesOf(3000));
            // The copy a kill cut off is no ledger, and goes as the leftovers of a creation do.
            PendingFile::removeLeftovers(LedgerFile::name());
            QCOMPARE(strays(folder.path()), QStringList());
        }
        qInfo("%d re-keys finished between 10 kills", keyed);
    }
};

QTEST_GUILESS_MAIN(TestPrivateLedger)
#include "test_private_ledger.moc"
