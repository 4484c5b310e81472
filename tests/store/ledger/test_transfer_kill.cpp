// The ledger's ways in and out under a child that is killed with SIGKILL at random moments: an export leaves the
// previous file or the whole new one, an import all its rows or none, a backup no half copy that is listed or
// counted, a restore the old ledger or the restored one, whole, with no journal left beside another file, and
// the 礼簿's fast entry every line it had stored.

#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/value/CsvTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

constexpr int KillsPerOperation = 8;

std::vector<LedgerRecord> records(int count, const QString& name)
{
    std::vector<LedgerRecord> result;
    for (int i = 0; i < count; ++i) {
        LedgerRecord r;
        r.direction = i % 2 ? u"收礼"_s : u"送礼"_s;
        r.name = name + QString::number(i);
        r.time = JetDateTime::parse(u"2011-6-2"_s);
        r.relation = u"朋友"_s;
        r.occasion = u"结婚"_s;
        r.amount = i * 100;
        r.note = u"说明, \"引号\"\n第二行"_s;
        result.push_back(r);
    }
    return result;
}

/// A ledger file at path holding these records.
bool makeLedger(const QString& path, const std::vector<LedgerRecord>& content)
{
    if (!LedgerSchema::createFile(path, LedgerFile::password()))
        return false;
    const auto engine = EngineConnection::open(path, LedgerFile::password());
    return engine && LedgerImport::write(*engine, content, {}, {}, {}).ok();
}

/// The names of the records of a ledger file, checked whole first; "unsound" when it does not open or check.
QStringList namesOf(const QString& path)
{
    // The program opens the ledger for writing, which rolls a write cut off by the kill back from the journal.
    if (!EngineConnection::open(path, LedgerFile::password()))
        return {u"unsound: does not open"_s};
    if (const auto verified = LedgerBackup::verify(path, LedgerFile::password()); !verified)
        return {u"unsound: "_s + verified.errorText()};
    const auto engine = EngineConnection::open(path, LedgerFile::password());
    QStringList names;
    for (const LedgerRecord& r : engine ? LedgerTransfer::readAll(*engine).valueOr({}) : std::vector<LedgerRecord>())
        names << r.name;
    names.sort();
    return names;
}

QStringList namesOf(const std::vector<LedgerRecord>& content)
{
    QStringList names;
    for (const LedgerRecord& r : content)
        names << r.name;
    names.sort();
    return names;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// Runs the worker in the folder and kills it after delayMs (or once it said doneWord, when waitForDone).
/// Returns the lines it wrote.
QStringList runAndKill(const QString& mode, const QString& folder, int delayMs)
{
    QProcess worker;
    worker.start(QString::fromLocal8Bit(qgetenv("OVELTA_TRANSFER_WORKER")), {mode, folder});
    if (!worker.waitForStarted())
        return {u"not started"_s};
    QThread::msleep(ulong(delayMs));
    worker.kill();
    worker.waitForFinished(30000);
    QStringList lines;
    // A last line without its end was cut by the kill: what it announces had not finished.
    const QString out = QString::fromUtf8(worker.readAllStandardOutput());
    lines = out.split(u'\n');
    lines.removeLast();
    return lines;
}

/// How long an operation that runs once takes to say it is done, in ms.
int durationOf(const QString& mode, const QString& folder, const QString& doneWord)
{
    QProcess worker;
    QElapsedTimer timer;
    timer.start();
    worker.start(QString::fromLocal8Bit(qgetenv("OVELTA_TRANSFER_WORKER")), {mode, folder});
    while (worker.waitForReadyRead(60000)) {
        if (worker.readAllStandardOutput().contains(doneWord.toUtf8()))
            break;
    }
    const int ms = int(timer.elapsed());
    worker.kill();
    worker.waitForFinished(30000);
    return ms;
}

/// Journals of other files than the ledger, and temporary files of backups.
QStringList strays(const QString& folder)
{
    QStringList found = QDir(folder).entryList({u"*-journal"_s, u".*.new-*"_s}, QDir::Files | QDir::Hidden);
    found.removeAll(LedgerFile::name() + u"-journal"_s);
    return found;
}

} // namespace

class TestTransferKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedExportLeavesTheOldFileOrTheWholeNewOne()
    {
        test::TempFolder folder;
        const auto content = records(3000, u"甲"_s);
        QVERIFY(makeLedger(LedgerFile::name(), content));
        const QByteArray whole = LedgerTransfer::csv(
            *LedgerTransfer::readAll(*EngineConnection::open(LedgerFile::name(), LedgerFile::password())));
        QRandomGenerator random(15);
        int whileWriting = 0;
        for (int kill = 0; kill < KillsPerOperation; ++kill) {
            QFile::remove(u"out.csv"_s);
            if (kill % 2) {
                QFile earlier(u"out.csv"_s);
                QVERIFY(earlier.open(QIODevice::WriteOnly));
                earlier.write("an earlier export\r\n");
            }
            const QByteArray previous = readFile(u"out.csv"_s);
            const QStringList lines = runAndKill(u"export"_s, folder.path(), int(random.bounded(100, 1500)));
            QVERIFY2(!lines.contains(u"failed"_s), qPrintable(lines.join(u'|')));
            const QByteArray now = readFile(u"out.csv"_s);
            // Without a word said the kill may still have come after the new file was renamed into place.
            QVERIFY(now == previous || now == whole);
            whileWriting += lines.isEmpty() ? 0 : 1;
        }
        qInfo("%d of %d kills after a finished export", whileWriting, KillsPerOperation);
    }

    void killedImportLeavesAllRowsOrNone()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(u"template.xc"_s, records(10, u"旧"_s)));
        const auto content = records(8000, u"新"_s);
        QFile csv(u"import.csv"_s);
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write(LedgerTransfer::csv(content));
        csv.close();
        const QStringList before = namesOf(records(10, u"旧"_s));
        const QStringList after = namesOf(records(10, u"旧"_s)) + namesOf(content);
        QVERIFY(QFile::copy(u"template.xc"_s, LedgerFile::name()));
        const int duration = durationOf(u"import"_s, folder.path(), u"imported"_s);
        QRandomGenerator random(16);
        int cut = 0;
        for (int kill = 0; kill < KillsPerOperation; ++kill) {
            QFile::remove(LedgerFile::name());
            QFile::remove(LedgerFile::name() + u"-journal"_s);
            QVERIFY(QFile::copy(u"template.xc"_s, LedgerFile::name()));
            const QStringList lines
                = runAndKill(u"import"_s, folder.path(), int(random.bounded(duration / 10 + 1, duration + 200)));
            QStringList names = namesOf(LedgerFile::name());
            QStringList expected = lines.contains(u"imported"_s) ? after : before;
            if (!lines.contains(u"imported"_s) && names.size() == after.size())
                expected = after; // the commit was on the disk before the kill, its word not yet out
            names.sort();
            expected.sort();
            QVERIFY2(names == expected, qPrintable(names.value(0)));
            cut += names.size() == before.size() ? 1 : 0;
        }
        qInfo("%d of %d kills cut the import off", cut, KillsPerOperation);
    }

    void killedBackupLeavesNoHalfCopy()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(LedgerFile::name(), records(4000, u"甲"_s)));
        const QString backups = LedgerBackup::folderOf(LedgerFile::name());
        QRandomGenerator random(17);
        for (int kill = 0; kill < KillsPerOperation; ++kill) {
            const QStringList lines = runAndKill(u"backup"_s, folder.path(), int(random.bounded(100, 1500)));
            for (const QString& line : lines)
                QVERIFY2(line.startsWith(u"backup "_s), qPrintable(line));
            // Every backup the list shows is whole; every one reported is among them.
            const QList<LedgerBackup::Backup> listed = LedgerBackup::list(backups);
            QStringList paths;
            for (const auto& backup : listed) {
                QCOMPARE(LedgerBackup::verify(backup.path, LedgerFile::password()).optional(), 4000);
                paths << backup.path;
            }
            for (const QString& line : lines)
                QVERIFY(paths.contains(line.mid(7)));
            // The cut copy's temporary file went with the listing (its writer is gone).
            QCOMPARE(strays(backups), QStringList());
        }
        QCOMPARE(namesOf(LedgerFile::name()).size(), 4000);
    }

    void killedRestoreLeavesTheOldLedgerOrTheRestoredOne()
    {
        test::TempFolder folder;
        const auto old = records(500, u"旧"_s);
        const auto saved = records(6000, u"备"_s);
        QVERIFY(makeLedger(u"template.xc"_s, old));
        QVERIFY(makeLedger(u"backup.xc"_s, saved));
        QVERIFY(QFile::copy(u"template.xc"_s, LedgerFile::name()));
        const int duration = durationOf(u"restore"_s, folder.path(), u"restored"_s);
        QCOMPARE(namesOf(LedgerFile::name()), namesOf(saved));
        QRandomGenerator random(18);
        int cut = 0;
        for (int kill = 0; kill < KillsPerOperation; ++kill) {
            QFile::remove(LedgerFile::name());
            QFile::remove(LedgerFile::name() + u"-journal"_s);
            QVERIFY(QFile::copy(u"template.xc"_s, LedgerFile::name()));
            const QStringList lines
                = runAndKill(u"restore"_s, folder.path(), int(random.bounded(duration / 10 + 1, duration + 200)));
            // The first open rolls a cut restore back from the ledger's own journal.
            const QStringList names = namesOf(LedgerFile::name());
            if (lines.contains(u"restored"_s))
                QCOMPARE(names, namesOf(saved));
            else
                QVERIFY2(names == namesOf(old) || names == namesOf(saved), qPrintable(names.value(0)));
            cut += names == namesOf(old) ? 1 : 0;
            QCOMPARE(strays(folder.path()), QStringList());
            QCOMPARE(namesOf(u"backup.xc"_s), namesOf(saved));
        }
        qInfo("%d of %d kills cut the restore off", cut, KillsPerOperation);
    }

    void killedFastEntryKeepsEveryStoredLine()
    {
        test::TempFolder folder;
        QVERIFY(makeLedger(LedgerFile::name(), {}));
        QRandomGenerator random(24);
        int before = 0;
        for (int kill = 0; kill < KillsPerOperation; ++kill) {
            const QStringList said = runAndKill(u"giftbook"_s, folder.path(), int(random.bounded(100, 1500)));
            QStringList stored;
            for (const QString& line : said) {
                QVERIFY2(line.startsWith(u"stored "_s), qPrintable(line));
                stored << u"宾客"_s + line.sliced(7);
            }
            const QStringList names = namesOf(LedgerFile::name());
            QVERIFY2(names.isEmpty() || !names.front().startsWith(u"unsound"_s), qPrintable(names.value(0)));
            // Every line said to be stored is there; at most the one line whose word the kill cut off is more.
            for (const QString& name : stored)
                QVERIFY2(names.count(name) >= 1, qPrintable(name));
            QVERIFY2(names.size() - before >= stored.size() && names.size() - before <= stored.size() + 1,
                     qPrintable(u"%1 %2 %3"_s.arg(before).arg(names.size()).arg(stored.size())));
            before = int(names.size());
        }
    }
};

QTEST_GUILESS_MAIN(TestTransferKill)
#include "test_transfer_kill.moc"
