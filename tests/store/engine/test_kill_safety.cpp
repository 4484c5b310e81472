// The ledger file under a writer that is killed with SIGKILL at random moments: after every kill the file opens
// with the key, passes the engine's integrity check, holds every write that had reported success and the
// account row; a kill during the first-run creation leaves no file or a complete one, and the leftovers of
// such a creation are cleared by the next one.

#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/engine/PendingFile.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <sqlcipher/sqlite3.h>
#include <sys/file.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

constexpr int WritingKills = 60;
constexpr int CreationKills = 12;

struct Gift
{
    QString direction, name, date, relation, kind;
    qint64 ticks = 0;
    QString note;
    friend bool operator==(const Gift&, const Gift&) = default;
};

/// Everything the writer changes, as the file holds it.
struct Ledger
{
    QMap<qint64, Gift> gifts;
    QMap<qint64, QString> entries[2]; ///< 关系, 类型
    QStringList directions; ///< 收送, which nothing writes
    QStringList accounts; ///< "user password" per row
    friend bool operator==(const Ledger&, const Ledger&) = default;
};

const QString Lists[2] = {u"关系"_s, u"类型"_s};

QString decoded(const QString& text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toLatin1()));
}

/// Reads the ledger through the program's own objects; empty error text when the file opened and is sound.
Ledger readLedger(QString& error)
{
    Ledger l;
    DatabaseConnection connection;
    if (!connection.connect(LedgerFile::name(), LedgerFile::password())) {
        error = u"the file does not open with the key"_s;
        return l;
    }
    EngineConnection::Statement check = connection.engine()->prepareNative(u"PRAGMA integrity_check"_s);
    const bool stepped = check && sqlite3_step(check.get()) == SQLITE_ROW;
    const QString verdict
        = stepped ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0))) : QString();
    if (verdict != u"ok"_s) {
        error = u"integrity check: "_s + verdict;
        return l;
    }
    RecordSet records;
    records.bind(&connection);
    if (!records.open(u"select * from 收送礼"_s)) {
        error = u"the ledger table does not open"_s;
        return l;
    }
    for (records.moveFirst(); !records.atEnd(); records.moveNext()) {
        qint64 id = 0;
        Gift g;
        QDate date;
        records.readInteger(u"ID"_s, id);
        records.readText(u"收送"_s, g.direction);
        records.readText(u"姓名"_s, g.name);
        records.readDate(u"时间"_s, date);
        g.date = u"%1-%2-%3"_s.arg(date.year()).arg(date.month()).arg(date.day());
        records.readText(u"关系"_s, g.relation);
        records.readText(u"类型"_s, g.kind);
        records.readCurrency(u"金额"_s, g.ticks);
        records.readText(u"说明"_s, g.note);
        l.gifts.insert(id, g);
    }
    for (int list = 0; list < 2; ++list) {
        records.open(u"select * from "_s + Lists[list]);
        for (records.moveFirst(); !records.atEnd(); records.moveNext()) {
            qint64 id = 0;
            QString entry;
            records.readInteger(u"ID"_s, id);
            records.readText(Lists[list], entry);
            l.entries[list].insert(id, entry);
        }
    }
    records.open(u"select * from 收送"_s);
    for (records.moveFirst(); !records.atEnd(); records.moveNext()) {
        QString direction;
        records.readText(u"收送"_s, direction);
        l.directions << direction;
    }
    records.openTable(u"账号"_s);
    for (records.moveFirst(); !records.atEnd(); records.moveNext()) {
        QString user, password;
        records.readText(u"用户"_s, user);
        records.readText(u"密码"_s, password);
        l.accounts << user + u' ' + password;
    }
    records.close();
    return l;
}

/// One announced write of the writer, and whether it reported success.
struct Write
{
    QStringList words;
    bool confirmed = false;
    qint64 newId = 0;
};

/// The ledger after a write; newId is the key an add received (unknown for an add that did not confirm).
Ledger applied(Ledger l, const Write& w, qint64 newId)
{
    const QString& verb = w.words.value(1);
    auto gift = [&](int first) {
        return Gift{decoded(w.words.value(first)),     decoded(w.words.value(first + 1)),
                    w.words.value(first + 2),          decoded(w.words.value(first + 3)),
                    decoded(w.words.value(first + 4)), w.words.value(first + 5).toLongLong(),
                    decoded(w.words.value(first + 6))};
    };
    if (verb == u"add"_s) {
        l.gifts.insert(newId, gift(2));
    } else if (verb == u"mod"_s) {
        if (l.gifts.contains(w.words.value(2).toLongLong()))
            l.gifts.insert(w.words.value(2).toLongLong(), gift(3));
    } else if (verb == u"del"_s) {
        l.gifts.remove(w.words.value(2).toLongLong());
    } else if (verb == u"ladd"_s) {
        l.entries[w.words.value(2).toInt()].insert(newId, decoded(w.words.value(3)));
    } else if (verb == u"ldel"_s) {
        l.entries[w.words.value(2).toInt()].remove(w.words.value(3).toLongLong());
    } else if (verb == u"pw"_s && !l.accounts.isEmpty()) {
        l.accounts.first() = l.accounts.first().section(u' ', 0, 0) + u' ' + decoded(w.words.value(2));
    }
    return l;
}

/// The key a write that did not confirm gave its new row, if the file holds one.
qint64 unconfirmedKey(const Ledger& before, const Ledger& now, const Write& w)
{
    const QString& verb = w.words.value(1);
    if (verb == u"add"_s) {
        for (auto it = now.gifts.keyBegin(); it != now.gifts.keyEnd(); ++it) {
            if (!before.gifts.contains(*it))
                return *it;
        }
    } else if (verb == u"ladd"_s) {
        const auto& entries = now.entries[w.words.value(2).toInt()];
        for (auto it = entries.keyBegin(); it != entries.keyEnd(); ++it) {
            if (!before.entries[w.words.value(2).toInt()].contains(*it))
                return *it;
        }
    }
    return 0;
}

QString describe(const Ledger& l)
{
    QStringList out;
    for (auto it = l.gifts.cbegin(); it != l.gifts.cend(); ++it)
        out << u"gift %1 %2 %3 %4 note:%5"_s.arg(it.key()).arg(it->name, it->date).arg(it->ticks).arg(it->note.size());
    for (int list = 0; list < 2; ++list) {
        for (auto it = l.entries[list].cbegin(); it != l.entries[list].cend(); ++it)
            out << u"%1 %2 %3"_s.arg(Lists[list]).arg(it.key()).arg(*it);
    }
    out << u"收送 "_s + l.directions.join(u',') << u"账号 "_s + l.accounts.join(u',');
    return out.join(u'\n');
}

QStringList folderEntries()
{
    return QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

/// Runs the writer in the current folder and kills it at a random moment: after a random number of confirmed
/// writes (or, when creating, a random delay after the creation began) and a random pause. Returns the
/// writes it announced, in order.
QList<Write> runAndKill(QRandomGenerator& random, quint32 seed, bool create, QString& error)
{
    QProcess writer;
    writer.start(qEnvironmentVariable("OVELTA_LEDGER_WRITER"),
                 create ? QStringList{QString::number(seed), u"create"_s} : QStringList{QString::number(seed)});
    if (!writer.waitForStarted()) {
        error = u"the writer did not start: "_s + writer.errorString();
        return {};
    }
    QList<Write> writes;
    QByteArray pending;
    auto take = [&] {
        pending += writer.readAllStandardOutput();
        qsizetype end;
        // A last line without its end was cut by the kill: its write had not begun.
        while ((end = pending.indexOf('\n')) >= 0) {
            const QStringList words = QString::fromUtf8(pending.left(end)).split(u' ');
            pending.remove(0, end + 1);
            if (words.value(0) == u"do"_s) {
                writes.append(Write{words, false, 0});
            } else if (words.value(0) == u"ok"_s && !writes.isEmpty()) {
                writes.last().confirmed = true;
                writes.last().newId = words.value(1).toLongLong();
            }
        }
    };
    auto confirmed
        = [&] { return std::count_if(writes.cbegin(), writes.cend(), [](const Write& w) { return w.confirmed; }); };
    const qsizetype wanted = create ? 0 : qsizetype(random.bounded(7));
    while ((writes.isEmpty() || confirmed() < wanted) && writer.state() == QProcess::Running) {
        writer.waitForReadyRead(30000);
        take();
    }
    // Creations are cut off at spread-out moments, from right after the start to well after a typical end.
    QThread::usleep(create ? 50000 * (seed % 16) + random.bounded(50000) : random.bounded(4000));
    const bool wasRunning = writer.state() == QProcess::Running;
    writer.kill();
    writer.waitForFinished(30000);
    take();
    if (!wasRunning)
        error = u"the writer ended by itself: "_s + QString::fromUtf8(writer.readAllStandardError());
    return writes;
}

} // namespace

class TestKillSafety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedWriterLosesNothingConfirmed()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        QString error;
        const Ledger seeded = readLedger(error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(seeded.accounts, QStringList{u"admin kelpo"_s});

        QRandomGenerator random(20240611);
        Ledger expected = seeded;
        int cutOff = 0;
        for (int round = 0; round < WritingKills + CreationKills; ++round) {
            // Every sixth round starts from an empty folder and kills the first-run creation.
            const bool create = round % 6 == 5;
            if (create) {
                const QString fresh = u"round-%1"_s.arg(round);
                QVERIFY(QDir::current().mkdir(fresh) && QDir::setCurrent(fresh));
            }
            QList<Write> writes = runAndKill(random, quint32(round + 1), create, error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QVERIFY(!writes.isEmpty());

            if (create) {
                const Write creation = writes.takeFirst();
                if (!QFile::exists(LedgerFile::name())) {
                    QVERIFY2(!creation.confirmed, "a confirmed creation left no file");
                    // The next first start builds the file and clears what the cut-off one left.
                    QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
                    QCOMPARE(folderEntries(), QStringList{LedgerFile::name()});
                    ++cutOff;
                }
                expected = seeded;
            }
            for (const Write& w : std::as_const(writes)) {
                if (w.confirmed)
                    expected = applied(expected, w, w.newId);
            }
            const Ledger found = readLedger(error);
            QVERIFY2(error.isEmpty(), qPrintable(u"round %1: %2"_s.arg(round).arg(error)));
            QVERIFY2(found.accounts.size() == 1, qPrintable(describe(found)));
            // Only the last write can have been cut off; it is either wholly in or wholly out.
            if (!(found == expected) && !writes.isEmpty() && !writes.last().confirmed) {
                const Write& last = writes.last();
                Ledger withLast = applied(expected, last, unconfirmedKey(expected, found, last));
                if (found == withLast)
                    expected = withLast;
            }
            QStringList log;
            for (const Write& w : std::as_const(writes))
                log << w.words.mid(0, 3).join(u' ') + (w.confirmed ? u" ok"_s : u" -"_s);
            QVERIFY2(found == expected,
                     qPrintable(u"round %1\nwrites:\n%2\nexpected:\n%3\nfound:\n%4"_s.arg(round).arg(
                         log.join(u'\n'), describe(expected), describe(found))));
        }
        qInfo("%d kills; %d of the %d during a first-run creation cut it off", WritingKills + CreationKills, cutOff,
              CreationKills);
    }

    void leftoversOfACutOffCreation_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("removed");
        QTest::newRow("temporary file") << u".lgbk.xc.new-a1B2c3"_s << true;
        QTest::newRow("its journal") << u".lgbk.xc.new-a1B2c3-journal"_s << true;
        QTest::newRow("the database itself") << u"lgbk.xc"_s << false;
        QTest::newRow("without the dot") << u"lgbk.xc.new-a1B2c3"_s << false;
        QTest::newRow("five characters") << u".lgbk.xc.new-a1B2c"_s << false;
        QTest::newRow("seven characters") << u".lgbk.xc.new-a1B2c3d"_s << false;
        QTest::newRow("not a letter or digit") << u".lgbk.xc.new-a1B2c_"_s << false;
        QTest::newRow("another target") << u".other.xc.new-a1B2c3"_s << false;
        QTest::newRow("another suffix") << u".lgbk.xc.new-a1B2c3.bak"_s << false;
    }

    void leftoversOfACutOffCreation()
    {
        QFETCH(QString, name);
        QFETCH(bool, removed);
        test::TempFolder folder;
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("left over");
        file.close();
        QVERIFY(LedgerSchema::createFile(u"elsewhere.xc"_s, LedgerFile::password()));
        QVERIFY2(QFile::exists(name), "a creation of another target touched the file");
        if (name == LedgerFile::name()) {
            // The database itself stops a creation; leftovers are only cleared by one that goes ahead.
            QVERIFY(!LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
            QVERIFY(QFile::exists(name));
            return;
        }
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        QCOMPARE(QFile::exists(name), !removed);
        QVERIFY(folderEntries().contains(LedgerFile::name()));
    }

    void aJournalWithoutItsDatabaseIsNotPlayedIntoANewOne()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        QByteArray journal;
        {
            DatabaseConnection connection;
            QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
            // A tiny cache makes the engine write pages into the file before the commit: the journal then
            // holds what a crash in the middle of a commit leaves, the old pages to put back.
            EngineConnection& engine = *connection.engine();
            QVERIFY(engine.executeNative("PRAGMA cache_size=1") && engine.executeNative("BEGIN IMMEDIATE"));
            for (int i = 0; i < 100; ++i)
                QVERIFY(engine.execute(u"insert into 收送礼(姓名,说明) values('甲','"_s + u"长"_s.repeated(2000)
                                       + u"')"_s));
            QFile copy(LedgerFile::name() + u"-journal"_s);
            QVERIFY(copy.open(QIODevice::ReadOnly));
            journal = copy.readAll();
            QVERIFY(engine.executeNative("ROLLBACK"));
        }
        QVERIFY(journal.size() > 4096);
        // The database is gone, its journal is not; a new database must not be rolled back to its pages.
        QVERIFY(QFile::remove(LedgerFile::name()));
        QFile stale(LedgerFile::name() + u"-journal"_s);
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write(journal) == journal.size());
        stale.close();
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        QString error;
        const Ledger created = readLedger(error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(created.accounts, QStringList{u"admin kelpo"_s});
        QCOMPARE(created.entries[1].size(), 6);
        QVERIFY(created.gifts.isEmpty());
    }

    void aCreationUnderWayIsNotALeftover()
    {
        test::TempFolder folder;
        // A creation by a live process holds its temporary file locked; one that holds a folder or a link of
        // that name is not a file at all. None of them goes.
        QFile busy(u".lgbk.xc.new-Busy00"_s);
        QVERIFY(busy.open(QIODevice::WriteOnly));
        QCOMPARE(::flock(busy.handle(), LOCK_EX | LOCK_NB), 0);
        QVERIFY(QDir().mkdir(u".lgbk.xc.new-Folder"_s));
        QFile::link(u"lgbk.xc"_s, u".lgbk.xc.new-Link00"_s);
        QCOMPARE(PendingFile::removeLeftovers(LedgerFile::name()), 0);
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        QCOMPARE(
            folderEntries(),
            QStringList({u".lgbk.xc.new-Busy00"_s, u".lgbk.xc.new-Folder"_s, u".lgbk.xc.new-Link00"_s, u"lgbk.xc"_s}));
        busy.close();
        QCOMPARE(PendingFile::removeLeftovers(LedgerFile::name()), 1);
        QVERIFY(QFile::exists(LedgerFile::name()));
    }
};

QTEST_GUILESS_MAIN(TestKillSafety)
#include "test_kill_safety.moc"
