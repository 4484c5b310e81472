#include "store/ledger/LedgerTransfer.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/EngineMessage.h"
#include "store/value/CsvTable.h"
#include "store/value/Money.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta::LedgerTransfer {

namespace {

/// The statement that reads every column of the records, to which an order or a condition is added.
QString recordSelect()
{
    return u"SELECT "_s + QString::fromUtf8(LedgerRecords::Columns) + u" FROM 收送礼"_s;
}

} // namespace

QStringList header()
{
    return {u"收送"_s, u"姓名"_s, u"时间"_s, u"关系"_s, u"类型"_s, u"金额"_s, u"说明"_s};
}

Result<std::vector<LedgerRecord>> readAll(EngineConnection& engine)
{
    EngineStatement statement(engine, recordSelect() + u" ORDER BY 时间 DESC, ID"_s);
    if (!statement)
        return Failure(Problem::Engine, {engine.lastError()});
    std::vector<LedgerRecord> records;
    EngineStatement::Step step;
    while ((step = statement.step()) == EngineStatement::Step::Row)
        records.push_back(LedgerRecords::at(statement));
    if (step != EngineStatement::Step::End)
        return Failure(Problem::Engine, {statement.failure()});
    return records;
}

Result<std::vector<LedgerRecord>> readByIds(EngineConnection& engine, const QList<qint64>& ids)
{
    EngineStatement statement(engine, recordSelect() + u" WHERE ID=?"_s);
    if (!statement)
        return Failure(Problem::Engine, {engine.lastError()});
    std::vector<LedgerRecord> records;
    records.reserve(size_t(ids.size()));
    for (const qint64 id : ids) {
        statement.reset();
        statement.bind(1, id);
        const EngineStatement::Step step = statement.step();
        if (step == EngineStatement::Step::Row) {
            records.push_back(LedgerRecords::at(statement));
        } else if (step != EngineStatement::Step::End) {
            return Failure(Problem::Engine, {statement.failure()});
        }
    }
    return records;
}

qint64 recordCount(EngineConnection& engine)
{
    EngineStatement statement(engine, "SELECT count(*) FROM 收送礼");
    if (!statement || statement.step() != EngineStatement::Step::Row)
        return -1;
    return statement.integer(0);
}

Result<QStringList> listEntries(EngineConnection& engine, const QString& table)
{
    if (table != u"关系"_s && table != u"类型"_s && table != u"收送"_s)
        return Failure(Problem::NotAList, {table});
    EngineStatement statement(engine, u"SELECT %1 FROM %1 ORDER BY ID"_s.arg(table));
    if (!statement)
        return Failure(Problem::Engine, {engine.lastError()});
    QStringList entries;
    EngineStatement::Step step;
    while ((step = statement.step()) == EngineStatement::Step::Row)
        entries << statement.text(0);
    if (step != EngineStatement::Step::End)
        return Failure(Problem::Engine, {statement.failure()});
    return entries;
}

QString dateText(const JetDateTime& time)
{
    const QString canonical = time.canonical();
    return canonical.endsWith(u" 00:00:00"_s) ? canonical.first(10) : canonical;
}

QStringList fields(const LedgerRecord& record)
{
    return {CsvTable::guarded(record.direction),
            CsvTable::guarded(record.name),
            record.time ? dateText(*record.time) : QString(),
            CsvTable::guarded(record.relation),
            CsvTable::guarded(record.occasion),
            record.amount ? Money::toLiteral(*record.amount) : QString(),
            CsvTable::guarded(record.note)};
}

QByteArray csv(const std::vector<LedgerRecord>& records)
{
    QByteArray bytes("\xEF\xBB\xBF");
    bytes.reserve(qsizetype(records.size()) * 64 + 64);
    bytes += CsvTable::rowText(header()).toUtf8();
    for (const LedgerRecord& record : records)
        bytes += CsvTable::rowText(fields(record)).toUtf8();
    return bytes;
}

QByteArray replacedFile(const QString& path)
{
    QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::lstat(native.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = ::realpath(native.constData(), nullptr)) {
            native = real;
            std::free(real);
        }
    }
    return native;
}

Done writeWhole(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = replacedFile(path);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.first(slash);
    const QByteArray name = target.sliced(slash + 1);
    const QString shownFolder = QFileInfo(path).absolutePath();
    struct stat old;
    const bool replacing = ::stat(target.constData(), &old) == 0;
    // Created with the mode a new file gets (the umask applies), or given the mode of the file it replaces.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder + "/." + name + ".new-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return Failure(Problem::FileNotCreated, {shownFolder, systemErrorText(errno)});
    auto fail = [&](Problem what) {
        const int cause = errno;
        ::close(fd);
        ::unlink(temporary.constData());
        return Failure(what, {systemErrorText(cause)});
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return fail(Problem::FileNotWritten);
        }
        done += n;
    }
    if (replacing)
        ::fchmod(fd, old.st_mode & 07777);
    if (::fsync(fd) != 0)
        return fail(Problem::FileNotSaved);
    if (::close(fd) != 0) {
        const int cause = errno;
        ::unlink(temporary.constData());
        return Failure(Problem::FileNotSaved, {systemErrorText(cause)});
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int cause = errno;
        ::unlink(temporary.constData());
        return Failure(Problem::FileNotSaved, {systemErrorText(cause)});
    }
    // The new name must be on the disk as well as the contents.
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return {};
}

} // namespace ovelta::LedgerTransfer
