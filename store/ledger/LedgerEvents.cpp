#include "store/ledger/LedgerEvents.h"
#include "store/value/BlankText.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/WriteTransaction.h"

#include <QSet>
#include <algorithm>
#include <functional>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

QString columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text == nullptr ? QString() : QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

void bindText(sqlite3_stmt* statement, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

/// The day as the dates of the ledger begin: "2026-12-08".
QString dayText(const QDate& date)
{
    return date.toString(u"yyyy-MM-dd"_s);
}

/// Binds the event's day as ?1 (NULL for the records without a date), its 类型 as ?2 and its 收送 as ?3.
void bindEvent(sqlite3_stmt* statement, const EventKey& event)
{
    if (event.date.isValid())
        bindText(statement, 1, dayText(event.date));
    else
        sqlite3_bind_null(statement, 1);
    bindText(statement, 2, event.kind);
    bindText(statement, 3, event.direction);
}

/// The index of the events: their day, 类型 and 收送 as eventPage() groups them, so that the records of one event
/// and the days with records are found at once in a large ledger.
constexpr auto EventIndex
    = "CREATE INDEX IF NOT EXISTS 收送礼_酒席 ON 收送礼(substr(时间,1,10),ifnull(类型,''),ifnull(收送,''))";
/// The index of the names, which names() reads instead of the table.
constexpr auto NameIndex = "CREATE INDEX IF NOT EXISTS 收送礼_姓名 ON 收送礼(姓名)";

/// The events of the records the condition picks (its values bound as ?1 and ?2): their day, 类型, 收送, count,
/// total and newest record. The amounts are added in two halves that the engine's 64-bit sum() cannot overflow
/// (fewer than 2^31 records), and joined in 128 bits when read.
const QString EventGroups
    = u"SELECT substr(时间,1,10),ifnull(类型,''),ifnull(收送,''),count(*),sum(金额>>32),sum(金额&4294967295),"
      u"max(ID) FROM 收送礼 WHERE %1 GROUP BY 1,2,3"_s;

/// Above every day of the ledger ("9999-12-31" at most), as the days compare.
const QString AfterEveryDay = u"9999-99-99"_s;

/// The records of the event bound by bindEvent(), in the expressions of the index; a missing 类型 or 收送 is the
/// empty text, as events() reads it.
constexpr auto EventCondition = "substr(时间,1,10) IS ?1 AND ifnull(类型,'')=?2 AND ifnull(收送,'')=?3";

void bindLine(sqlite3_stmt* statement, int first, const GiftLine& line)
{
    bindText(statement, first, line.name);
    bindText(statement, first + 1, line.relation);
    sqlite3_bind_int64(statement, first + 2, line.ticks);
    bindText(statement, first + 3, line.note);
}

} // namespace

bool listedBefore(const GiftEvent& a, const GiftEvent& b)
{
    if (a.key.date != b.key.date)
        return a.key.date.isValid() && (!b.key.date.isValid() || a.key.date > b.key.date);
    return a.newest > b.newest;
}

LedgerEvents::LedgerEvents(EngineConnection* engine)
    : m_engine(engine)
{
}

bool LedgerEvents::fail()
{
    m_lastError = m_engine == nullptr ? u"没有打开账簿。"_s : m_engine->lastError();
    return false;
}

template <typename T> std::optional<T> LedgerEvents::failed()
{
    fail();
    return std::nullopt;
}

std::optional<QList<GiftEvent>> LedgerEvents::events(int daysPerPage)
{
    QList<GiftEvent> events;
    QDate before;
    for (;;) {
        auto page = eventPage(before, daysPerPage);
        if (!page)
            return std::nullopt;
        events += std::move(page->events);
        if (page->last)
            return events;
        before = page->oldestDay;
    }
}

std::optional<EventPage> LedgerEvents::eventPage(const QDate& before, int days)
{
    if (m_engine == nullptr)
        return failed<EventPage>();
    // The days first, newest first, from the index of the events; then their events, from the same index.
    const auto dayList = m_engine->prepareNative(u"SELECT DISTINCT substr(时间,1,10) FROM 收送礼 WHERE "
                                                 u"substr(时间,1,10)<?1 ORDER BY 1 DESC LIMIT ?2"_s);
    if (!dayList)
        return failed<EventPage>();
    bindText(dayList.get(), 1, before.isValid() ? dayText(before) : AfterEveryDay);
    sqlite3_bind_int(dayList.get(), 2, std::max(days, 1));
    QStringList dayTexts;
    int rc;
    while ((rc = sqlite3_step(dayList.get())) == SQLITE_ROW)
        dayTexts << columnText(dayList.get(), 0);
    if (rc != SQLITE_DONE)
        return failed<EventPage>();
    EventPage page;
    page.last = dayTexts.size() < std::max(days, 1);
    const auto read = [&](const QString& condition, const std::function<void(sqlite3_stmt*)>& bind) {
        const auto statement = m_engine->prepareNative(EventGroups.arg(condition));
        if (!statement)
            return false;
        bind(statement.get());
        sqlite3_stmt* s = statement.get();
        const qsizetype first = page.events.size();
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            GiftEvent event;
            const QString day = columnText(s, 0);
            event.key.date = day.isEmpty() ? QDate() : QDate::fromString(day, Qt::ISODate);
            event.key.kind = columnText(s, 1);
            event.key.direction = columnText(s, 2);
            event.count = sqlite3_column_int64(s, 3);
            event.total = Sum(sqlite3_column_int64(s, 4)) * (Sum(1) << 32) + Sum(sqlite3_column_int64(s, 5));
            event.newest = sqlite3_column_int64(s, 6);
            page.events.append(std::move(event));
        }
        std::sort(page.events.begin() + first, page.events.end(), listedBefore);
        return rc == SQLITE_DONE;
    };
    if (!dayTexts.isEmpty()) {
        page.oldestDay = QDate::fromString(dayTexts.last(), Qt::ISODate);
        if (!read(u"substr(时间,1,10) BETWEEN ?1 AND ?2"_s, [&](sqlite3_stmt* s) {
                bindText(s, 1, dayTexts.last());
                bindText(s, 2, dayTexts.first());
            }))
            return failed<EventPage>();
    }
    if (page.last && !read(u"substr(时间,1,10) IS NULL"_s, [](sqlite3_stmt*) {}))
        return failed<EventPage>();
    return page;
}

bool LedgerEvents::ensureIndexes()
{
    if (m_engine == nullptr)
        return fail();
    return (m_engine->executeNative(EventIndex) && m_engine->executeNative(NameIndex)) || fail();
}

std::optional<QList<GiftRecord>> LedgerEvents::records(const EventKey& event)
{
    if (m_engine == nullptr)
        return failed<QList<GiftRecord>>();
    const auto statement
        = m_engine->prepareNative(u"SELECT ID,姓名,关系,金额,说明 FROM 收送礼 WHERE "_s
                                  + QString::fromUtf8(EventCondition) + u" ORDER BY 时间 DESC,ID DESC"_s);
    if (!statement)
        return failed<QList<GiftRecord>>();
    sqlite3_stmt* s = statement.get();
    bindEvent(s, event);
    QList<GiftRecord> records;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        GiftRecord record;
        record.id = sqlite3_column_int64(s, 0);
        record.line.name = columnText(s, 1);
        record.line.relation = columnText(s, 2);
        record.line.ticks = sqlite3_column_int64(s, 3);
        record.line.note = columnText(s, 4);
        records.append(std::move(record));
    }
    if (rc != SQLITE_DONE)
        return failed<QList<GiftRecord>>();
    return records;
}

std::optional<qint64> LedgerEvents::add(const EventKey& event, const GiftLine& line)
{
    if (m_engine == nullptr)
        return failed<qint64>();
    WriteTransaction transaction(*m_engine);
    if (!transaction.isActive())
        return failed<qint64>();
    const auto statement = m_engine->prepareNative(
        u"INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) VALUES(?1,?2,?3,?4,?5,?6,?7)"_s);
    if (!statement)
        return failed<qint64>();
    sqlite3_stmt* s = statement.get();
    bindText(s, 1, event.direction);
    bindText(s, 2, line.name);
    if (event.date.isValid())
        bindText(s, 3, dayText(event.date) + u" 00:00:00"_s);
    else
        sqlite3_bind_null(s, 3);
    bindText(s, 4, line.relation);
    bindText(s, 5, event.kind);
    sqlite3_bind_int64(s, 6, line.ticks);
    bindText(s, 7, line.note);
    if (!m_engine->run(s))
        return failed<qint64>();
    const qint64 id = m_engine->lastInsertRowid();
    if (!transaction.commit())
        return failed<qint64>();
    return id;
}

bool LedgerEvents::changeOne(const QString& sql, const std::function<void(sqlite3_stmt*)>& bind)
{
    if (m_engine == nullptr)
        return fail();
    WriteTransaction transaction(*m_engine);
    if (!transaction.isActive())
        return fail();
    const auto statement = m_engine->prepareNative(sql);
    if (!statement)
        return fail();
    bind(statement.get());
    if (!m_engine->run(statement.get()))
        return fail();
    if (m_engine->changes() != 1) {
        m_lastError = u"这条账目已经不在账簿中。"_s;
        return false;
    }
    return transaction.commit() || fail();
}

bool LedgerEvents::update(qint64 id, const GiftLine& line)
{
    return changeOne(u"UPDATE 收送礼 SET 姓名=?1,关系=?2,金额=?3,说明=?4 WHERE ID=?5"_s, [&](sqlite3_stmt* statement) {
        bindLine(statement, 1, line);
        sqlite3_bind_int64(statement, 5, id);
    });
}

bool LedgerEvents::remove(qint64 id)
{
    return changeOne(u"DELETE FROM 收送礼 WHERE ID=?1"_s,
                     [&](sqlite3_stmt* statement) { sqlite3_bind_int64(statement, 1, id); });
}

std::optional<QStringList> LedgerEvents::names()
{
    if (m_engine == nullptr)
        return failed<QStringList>();
    const auto statement = m_engine->prepareNative(u"SELECT DISTINCT 姓名 FROM 收送礼 WHERE 姓名 IS NOT NULL"_s);
    if (!statement)
        return failed<QStringList>();
    QStringList names;
    QSet<QString> people;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        const QString name = BlankText::trimmed(columnText(statement.get(), 0));
        if (!name.isEmpty() && !people.contains(LedgerTotals::personKey(name))) {
            people.insert(LedgerTotals::personKey(name));
            names.append(name);
        }
    }
    if (rc != SQLITE_DONE)
        return failed<QStringList>();
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<PersonFacts> LedgerEvents::personFacts(const QString& name, qint64 exceptId)
{
    if (m_engine == nullptr)
        return failed<PersonFacts>();
    // The expression of the person index (LedgerTotals), so that the engine finds the records at once.
    const auto statement = m_engine->prepareNative(
        u"SELECT 关系,金额 FROM 收送礼 WHERE lower(trim(姓名,' 　'))=lower(trim(?1,' 　')) AND ID<>?2 "
        u"ORDER BY 时间 DESC,ID DESC"_s);
    if (!statement)
        return failed<PersonFacts>();
    sqlite3_stmt* s = statement.get();
    bindText(s, 1, name);
    sqlite3_bind_int64(s, 2, exceptId);
    PersonFacts facts;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        if (!facts.known)
            facts.relation = columnText(s, 0);
        facts.known = true;
        if (sqlite3_column_type(s, 1) != SQLITE_NULL) {
            const qint64 ticks = sqlite3_column_int64(s, 1);
            facts.largest = facts.largest ? std::max(*facts.largest, ticks) : ticks;
        }
    }
    if (rc != SQLITE_DONE)
        return failed<PersonFacts>();
    return facts;
}

} // namespace ovelta
