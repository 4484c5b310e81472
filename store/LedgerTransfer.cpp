#include "LedgerTransfer.h"

#include "CsvTable.h"
#include "EngineConnection.h"
#include "Money.h"

#include <QFileInfo>
#include <QSaveFile>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;

namespace ovelta::LedgerTransfer {

namespace {

constexpr const char* RecordColumns = "SELECT ID,收送,姓名,时间,关系,类型,金额,说明 FROM 收送礼";

QString textAt(sqlite3_stmt* statement, int column)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(statement, column)) : QString();
}

LedgerRecord recordAt(sqlite3_stmt* statement)
{
    LedgerRecord record;
    record.id = sqlite3_column_int64(statement, 0);
    record.direction = textAt(statement, 1);
    record.name = textAt(statement, 2);
    if (sqlite3_column_type(statement, 3) != SQLITE_NULL) {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, 3));
        record.time = JetDateTime::fromCanonical(bytes, sqlite3_column_bytes(statement, 3));
    }
    record.relation = textAt(statement, 4);
    record.kind = textAt(statement, 5);
    if (sqlite3_column_type(statement, 6) != SQLITE_NULL)
        record.amount = sqlite3_column_int64(statement, 6);
    record.note = textAt(statement, 7);
    return record;
}

void setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
}

} // namespace

QStringList header()
{
    return {u"收送"_s, u"姓名"_s, u"时间"_s, u"关系"_s, u"类型"_s, u"金额"_s, u"说明"_s};
}

std::optional<std::vector<LedgerRecord>> readAll(EngineConnection& engine, QString* error)
{
    const auto statement = engine.prepareNative(QString::fromUtf8(RecordColumns) + u" ORDER BY 时间 DESC, ID"_s);
    if (!statement) {
        setError(error, engine.lastError());
        return std::nullopt;
    }
    std::vector<LedgerRecord> records;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW)
        records.push_back(recordAt(statement.get()));
    if (rc != SQLITE_DONE) {
        setError(error, QString::fromUtf8(sqlite3_errmsg(engine.handle())));
        return std::nullopt;
    }
    return records;
}

std::optional<std::vector<LedgerRecord>> readByIds(EngineConnection& engine, const QList<qint64>& ids, QString* error)
{
    const auto statement = engine.prepareNative(QString::fromUtf8(RecordColumns) + u" WHERE ID=?"_s);
    if (!statement) {
        setError(error, engine.lastError());
        return std::nullopt;
    }
    std::vector<LedgerRecord> records;
    records.reserve(size_t(ids.size()));
    for (const qint64 id : ids) {
        sqlite3_reset(statement.get());
        sqlite3_bind_int64(statement.get(), 1, id);
        const int rc = sqlite3_step(statement.get());
        if (rc == SQLITE_ROW) {
            records.push_back(recordAt(statement.get()));
        } else if (rc != SQLITE_DONE) {
            setError(error, QString::fromUtf8(sqlite3_errmsg(engine.handle())));
            return std::nullopt;
        }
    }
    return records;
}

qint64 recordCount(EngineConnection& engine)
{
    const auto statement = engine.prepareNative(u"SELECT count(*) FROM 收送礼"_s);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW)
        return -1;
    return sqlite3_column_int64(statement.get(), 0);
}

std::optional<QStringList> listEntries(EngineConnection& engine, const QString& table)
{
    if (table != u"关系"_s && table != u"类型"_s && table != u"收送"_s)
        return std::nullopt;
    const auto statement = engine.prepareNative(u"SELECT %1 FROM %1 ORDER BY ID"_s.arg(table));
    if (!statement)
        return std::nullopt;
    QStringList entries;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW)
        entries << textAt(statement.get(), 0);
    if (rc != SQLITE_DONE)
        return std::nullopt;
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
            CsvTable::guarded(record.kind),
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

bool writeWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    // A folder where no temporary file can be made must fail, not fall back to writing the file in place.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, u"无法在“%1”中创建文件：%2"_s.arg(QFileInfo(path).absolutePath(), file.errorString()));
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        setError(error, u"写入文件失败（磁盘可能已满）：%1"_s.arg(file.errorString()));
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setError(error, u"保存文件失败（磁盘可能已满）：%1"_s.arg(file.errorString()));
        return false;
    }
    return true;
}

} // namespace ovelta::LedgerTransfer
