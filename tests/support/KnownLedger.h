#pragma once

// A small ledger whose every total is known: names that differ only by case or surrounding blanks, records
// without a date, an amount, a name or a relation, amounts with four decimals, and two records of one day.
// Header-only, for the tests that link the store.

#include "store/engine/EngineConnection.h"

#include <QList>
#include <QString>
#include <optional>
#include <sqlcipher/sqlite3.h>

namespace ovelta::test {

struct KnownRecord
{
    QString direction;
    std::optional<QString> name;
    std::optional<QString> time; ///< the stored form 'YYYY-MM-DD HH:MM:SS'
    std::optional<QString> relation;
    std::optional<QString> kind;
    std::optional<qint64> ticks;
    QString note;
};

/// The records in ID order (IDs 1 to 10 in a fresh ledger).
inline QList<KnownRecord> knownRecords()
{
    using namespace Qt::StringLiterals;
    return {
        {u"收礼"_s, u"张三"_s, u"2020-01-05 00:00:00"_s, u"朋友"_s, u"结婚"_s, 1000001, u"婚宴"_s},
        {u"送礼"_s, u" 张三　"_s, u"2021-03-01 00:00:00"_s, u"同学"_s, u"生日"_s, 505000, {}},
        {u"收礼"_s, u"张三"_s, u"2021-03-01 00:00:00"_s, u"亲戚"_s, u"乔迁"_s, 3, u"零头"_s},
        {u"收礼"_s, u"Li Lei"_s, u"2019-07-07 00:00:00"_s, u"同事"_s, u"结婚"_s, 2000000, {}},
        {u"送礼"_s, u"li lei"_s, u"2022-02-02 00:00:00"_s, u"同事"_s, u"Tea"_s, 3000005, {}},
        {u"收礼"_s, u"LI LEI "_s, std::nullopt, u"同事"_s, u"探病"_s, std::nullopt, u"没有日期和金额"_s},
        {u"送礼"_s, u"王五"_s, std::nullopt, u"邻居"_s, u"tea "_s, 100000, {}},
        {u"收礼"_s, std::nullopt, u"2020-06-01 00:00:00"_s, std::nullopt, std::nullopt, 10000, {}},
        {u"收礼"_s, u"赵六"_s, u"2020-12-31 00:00:00"_s, u"朋友"_s, u"生日"_s, 1000, {}},
        {u"收礼"_s, u"赵六"_s, u"2020-12-31 00:00:00"_s, u"朋友"_s, u"生日"_s, 2000, {}},
    };
}

/// Adds the records to the ledger table of an open connection, in the store's own form. False on failure.
inline bool addRecords(EngineConnection& engine, const QList<KnownRecord>& records)
{
    using namespace Qt::StringLiterals;
    const auto insert
        = engine.prepareNative(u"INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) VALUES(?,?,?,?,?,?,?)"_s);
    if (!insert)
        return false;
    sqlite3_stmt* s = insert.get();
    for (const KnownRecord& r : records) {
        QList<QByteArray> keep;
        auto text = [&](int column, const std::optional<QString>& value) {
            if (!value) {
                sqlite3_bind_null(s, column);
                return;
            }
            keep.append(value->toUtf8());
            sqlite3_bind_text(s, column, keep.last().constData(), int(keep.last().size()), SQLITE_TRANSIENT);
        };
        text(1, r.direction);
        text(2, r.name);
        text(3, r.time);
        text(4, r.relation);
        text(5, r.kind);
        if (r.ticks)
            sqlite3_bind_int64(s, 6, *r.ticks);
        else
            sqlite3_bind_null(s, 6);
        text(7, r.note);
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            return false;
    }
    return true;
}

} // namespace ovelta::test
