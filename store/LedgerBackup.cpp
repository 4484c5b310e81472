#include "LedgerBackup.h"

#include "EngineConnection.h"
#include "PendingFile.h"
#include "RowSnapshot.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace ovelta::LedgerBackup {

namespace {

const QRegularExpression& namePattern()
{
    static const QRegularExpression pattern(u"^lgbk-(\\d{8})-(\\d{6})(?:-(\\d{1,4}))?\\.xc$"_s);
    return pattern;
}

void setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
}

/// Runs an online backup from source to destination to its end. A reader or writer holding the destination
/// or the source for a moment is waited for, up to some seconds.
bool copyDatabase(sqlite3* destination, sqlite3* source, QString* error)
{
    sqlite3_backup* backup = sqlite3_backup_init(destination, "main", source, "main");
    if (!backup) {
        setError(error, QString::fromUtf8(sqlite3_errmsg(destination)));
        return false;
    }
    int rc;
    int waits = 0;
    while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        if (++waits > 200)
            break;
        sqlite3_sleep(25);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        const int code = sqlite3_errcode(destination);
        setError(error, QString::fromUtf8(sqlite3_errstr(rc == SQLITE_OK ? code : rc)));
        return false;
    }
    return true;
}

/// Removes the temporary files of backups whose writer is gone (see PendingFile).
void removeAbandoned(const QDir& folder)
{
    static const QRegularExpression temporary(u"^\\.(lgbk-[0-9-]+\\.xc)\\.new-"_s);
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QSet<QString> targets;
    for (const QString& name : names) {
        if (const auto match = temporary.match(name); match.hasMatch())
            targets.insert(match.captured(1));
    }
    for (const QString& target : targets)
        PendingFile::removeLeftovers(folder.filePath(target));
}

} // namespace

QString folderOf(const QString& ledgerPath)
{
    return QFileInfo(ledgerPath).absoluteDir().filePath(u"备份"_s);
}

QString nameFor(const QDateTime& when)
{
    return u"lgbk-"_s + when.toString(u"yyyyMMdd-HHmmss"_s) + u".xc"_s;
}

std::optional<QDateTime> timeOfName(const QString& name)
{
    const auto match = namePattern().match(name);
    if (!match.hasMatch())
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(match.captured(1) + match.captured(2), u"yyyyMMddHHmmss"_s);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

QList<Backup> list(const QString& folderPath)
{
    const QDir folder(folderPath);
    removeAbandoned(folder);
    QList<Backup> backups;
    QList<int> suffixes;
    const QFileInfoList entries = folder.entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const auto time = timeOfName(entry.fileName());
        if (!time)
            continue;
        backups.append(Backup{entry.absoluteFilePath(), *time, entry.size()});
    }
    std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
        if (a.time != b.time)
            return a.time > b.time;
        // lgbk-...-2.xc was made after lgbk-....xc of the same second
        const auto suffix
            = [](const Backup& x) { return namePattern().match(QFileInfo(x.path).fileName()).captured(3).toInt(); };
        return suffix(a) > suffix(b);
    });
    return backups;
}

bool create(const QString& ledgerPath, const QString& key, const QDateTime& when, QString* created, QString* error)
{
    const QString folderPath = folderOf(ledgerPath);
    QDir folder(folderPath);
    if (!folder.exists() && !QDir().mkpath(folderPath)) {
        setError(error, u"无法创建备份文件夹“%1”。"_s.arg(folderPath));
        return false;
    }
    QFile::setPermissions(folderPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const auto source = EngineConnection::open(ledgerPath, key, EngineConnection::Options{true, false});
    if (!source) {
        setError(error, u"无法打开账本文件“%1”。"_s.arg(ledgerPath));
        return false;
    }
    const QString base = nameFor(when).chopped(3);
    QString target = folder.filePath(base + u".xc"_s);
    for (int n = 2; QFileInfo::exists(target) && n < 10000; ++n)
        target = folder.filePath(base + u'-' + QString::number(n) + u".xc"_s);
    PendingFile pending(target, key);
    if (!pending.isValid()) {
        setError(error, u"无法在备份文件夹中写入文件（磁盘可能已满或没有写入权限）。"_s);
        return false;
    }
    {
        const auto destination
            = EngineConnection::open(pending.temporaryPath(), key, EngineConnection::Options{false, true});
        // The copy is a file of its own under a temporary name until it is whole: a crash leaves only a
        // temporary file that nothing lists, so it needs no journal, and PendingFile::commit() flushes it.
        if (!destination || !destination->executeNative("PRAGMA journal_mode=OFF")
            || !destination->executeNative("PRAGMA synchronous=OFF")) {
            setError(error, u"无法在备份文件夹中写入文件（磁盘可能已满或没有写入权限）。"_s);
            return false;
        }
        QString reason;
        if (!copyDatabase(destination->handle(), source->handle(), &reason)) {
            setError(error, u"备份没有写完：%1"_s.arg(reason));
            return false;
        }
    }
    if (!pending.commit()) {
        setError(error, u"备份文件无法保存（磁盘可能已满）。"_s);
        return false;
    }
    if (created)
        *created = target;
    return true;
}

QList<int> keptIndexes(const QList<QDateTime>& newestFirst, const QDate& today)
{
    QList<int> kept;
    QSet<int> monthsSeen;
    const int thisMonth = today.year() * 12 + today.month() - 1;
    for (int i = 0; i < newestFirst.size(); ++i) {
        const QDate date = newestFirst[i].date();
        const int month = date.year() * 12 + date.month() - 1;
        bool keep = i < 10;
        if (month <= thisMonth && month > thisMonth - 12 && !monthsSeen.contains(month)) {
            monthsSeen.insert(month);
            keep = true;
        }
        if (keep)
            kept.append(i);
    }
    return kept;
}

int rotate(const QString& folder, const QDate& today)
{
    const QList<Backup> backups = list(folder);
    QList<QDateTime> times;
    for (const Backup& backup : backups)
        times.append(backup.time);
    const QList<int> kept = keptIndexes(times, today);
    int removed = 0;
    for (int i = 0; i < backups.size(); ++i) {
        if (!kept.contains(i) && QFile::remove(backups[i].path))
            ++removed;
    }
    return removed;
}

std::optional<qint64> verify(const QString& path, const QString& key, QString* error)
{
    const auto backup = EngineConnection::open(path, key, EngineConnection::Options{true, false});
    if (!backup) {
        setError(error, u"备份文件无法打开（文件损坏，或不是本程序的备份）。"_s);
        return std::nullopt;
    }
    auto check = backup->prepareNative(u"PRAGMA integrity_check"_s);
    if (!check || sqlite3_step(check.get()) != SQLITE_ROW
        || QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0))) != "ok") {
        setError(error, u"备份文件已损坏（完整性检查没有通过）。"_s);
        return std::nullopt;
    }
    check.reset();
    auto count = backup->prepareNative(u"SELECT count(*) FROM 收送礼"_s);
    if (!count || sqlite3_step(count.get()) != SQLITE_ROW) {
        setError(error, u"备份文件中没有账目表。"_s);
        return std::nullopt;
    }
    return sqlite3_column_int64(count.get(), 0);
}

std::optional<qint64> countRecords(const QString& path, const QString& key)
{
    const auto backup = EngineConnection::open(path, key, EngineConnection::Options{true, false});
    if (!backup)
        return std::nullopt;
    const auto count = backup->prepareNative(u"SELECT count(*) FROM 收送礼"_s);
    if (!count || sqlite3_step(count.get()) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(count.get(), 0);
}

bool restore(EngineConnection& ledger, const QString& backupPath, const QString& key, QString* error)
{
    const auto backup = EngineConnection::open(backupPath, key, EngineConnection::Options{true, false});
    if (!backup) {
        setError(error, u"备份文件无法打开（文件损坏，或不是本程序的备份）。"_s);
        return false;
    }
    // No row of the ledger may still be read lazily while its pages are replaced.
    RowSnapshot::completeAll();
    if (ledger.inTransaction()) {
        setError(error, u"账本正在写入，请稍后再试。"_s);
        return false;
    }
    QString reason;
    if (!copyDatabase(ledger.handle(), backup->handle(), &reason)) {
        setError(error, u"恢复没有完成，账本保持原样：%1"_s.arg(reason));
        return false;
    }
    return true;
}

QByteArray stampOf(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(info.st_mtim.tv_nsec))
        + ':' + QByteArray::number(qint64(info.st_size)) + ':' + QByteArray::number(quint64(info.st_ino));
}

} // namespace ovelta::LedgerBackup
