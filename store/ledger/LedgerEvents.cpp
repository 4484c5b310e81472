#include "store/ledger/LedgerEvents.h"
#include "store/value/BlankText.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/EngineStatement.h"
#include "store/engine/WriteTransaction.h"

#include <QSet>
#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// The day as the dates of the ledger begin: "2026-12-08".
QString dayText(const QDate& date)
{
    return date.toString(u"yyyy-MM-dd"_s);
}

/// Binds the event's day as ?1 (NULL for the records without a date), its 类型 as ?2 and its 收送 as ?3.
void bindEvent(EngineStatement& statement, const EventKey& event)
{
    if (event.date.isValid())
        statement.bind(1, dayText(event.date));
    else
        statement.bindNull(1);
    statement.bind(2, event.occasion);
    statement.bind(3, event.direction);
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

void bindLine(EngineStatement& statement, int first, const GiftLine& line)
{
    statement.bind(first, line.name);
    statement.bind(first + 1, line.relation);
    statement.bind(first + 2, line.ticks);
    statement.bind(first + 3, line.note);
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

Failure LedgerEvents::failed() const
{
    if (m_engine == nullptr)
        return Problem::NoLedger;
    return Failure(Problem::Engine, {m_engine->lastError()});
}

Result<QList<GiftEvent>> LedgerEvents::events(int daysPerPage)
{
    QList<GiftEvent> events;
    QDate before;
    for (;;) {
        auto page = eventPage(before, daysPerPage);
        if (!page)
            return page.failure();
        events += std::move(page->events);
        if (page->last)
            return events;
        before = page->oldestDay;
    }
}

Result<EventPage> LedgerEvents::eventPage(const QDate& before, int days)
{
    if (m_engine == nullptr)
        return failed();
    // The days first, newest first, from the index of the events; then their events, from the same index.
    EngineStatement dayList(*m_engine,
                            "SELECT DISTINCT substr(时间,1,10) FROM 收送礼 WHERE "
                            "substr(时间,1,10)<?1 ORDER BY 1 DESC LIMIT ?2");
    if (!dayList)
        return failed();
    dayList.bind(1, before.isValid() ? dayText(before) : AfterEveryDay);
    dayList.bind(2, qint64(std::max(days, 1)));
    QStringList dayTexts;
    EngineStatement::Step step;
    while ((step = dayList.step()) == EngineStatement::Step::Row)
        dayTexts << dayList.text(0);
    if (step != EngineStatement::Step::End)
        return failed();
    EventPage page;
    page.last = dayTexts.size() < std::max(days, 1);
    const auto read = [&](const QString& condition, const std::function<void(EngineStatement&)>& bind) {
        EngineStatement s(*m_engine, EventGroups.arg(condition));
        if (!s)
            return false;
        bind(s);
        const qsizetype first = page.events.size();
        while ((step = s.step()) == EngineStatement::Step::Row) {
            GiftEvent event;
            const QString day = s.text(0);
            event.key.date = day.isEmpty() ? QDate() : QDate::fromString(day, Qt::ISODate);
            event.key.occasion = s.text(1);
            event.key.direction = s.text(2);
            event.count = s.integer(3);
            event.total = Sum(s.integer(4)) * (Sum(1) << 32) + Sum(s.integer(5));
            event.newest = s.integer(6);
            page.events.append(std::move(event));
        }
        std::sort(page.events.begin() + first, page.events.end(), listedBefore);
        return step == EngineStatement::Step::End;
    };
    if (!dayTexts.isEmpty()) {
        page.oldestDay = QDate::fromString(dayTexts.last(), Qt::ISODate);
        if (!read(u"substr(时间,1,10) BETWEEN ?1 AND ?2"_s, [&](EngineStatement& s) {
                s.bind(1, dayTexts.last());
                s.bind(2, dayTexts.first());
            }))
            return failed();
    }
    if (page.last && !read(u"substr(时间,1,10) IS NULL"_s, [](EngineStatement&) {}))
        return failed();
    return page;
}

Done LedgerEvents::ensureIndexes()
{
    if (m_engine == nullptr || !m_engine->executeNative(EventIndex) || !m_engine->executeNative(NameIndex))
        return failed();
    return {};
}

Result<QList<GiftRecord>> LedgerEvents::records(const EventKey& event)
{
    if (m_engine == nullptr)
        return failed();
    EngineStatement s(*m_engine,
                      u"SELECT ID,姓名,关系,金额,说明 FROM 收送礼 WHERE "_s + QString::fromUtf8(EventCondition)
                          + u" ORDER BY 时间 DESC,ID DESC"_s);
    if (!s)
        return failed();
    bindEvent(s, event);
    QList<GiftRecord> records;
    EngineStatement::Step step;
    while ((step = s.step()) == EngineStatement::Step::Row) {
        GiftRecord record;
        record.id = s.integer(0);
        record.line.name = s.text(1);
        record.line.relation = s.text(2);
        record.line.ticks = s.integer(3);
        record.line.note = s.text(4);
        records.append(std::move(record));
    }
    if (step != EngineStatement::Step::End)
        return failed();
    return records;
}

Result<qint64> LedgerEvents::add(const EventKey& event, const GiftLine& line)
{
    if (m_engine == nullptr)
        return failed();
    WriteTransaction transaction(*m_engine);
    if (!transaction.isActive())
        return failed();
    EngineStatement s(*m_engine, "INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) VALUES(?1,?2,?3,?4,?5,?6,?7)");
    if (!s)
        return failed();
    s.bind(1, event.direction);
    s.bind(2, line.name);
    if (event.date.isValid())
        s.bind(3, dayText(event.date) + u" 00:00:00"_s);
    else
        s.bindNull(3);
    s.bind(4, line.relation);
    s.bind(5, event.occasion);
    s.bind(6, line.ticks);
    s.bind(7, line.note);
    if (!m_engine->run(s))
        return failed();
    const qint64 id = m_engine->lastInsertRowid();
    if (!transaction.commit())
        return failed();
    return id;
}

Done LedgerEvents::changeOne(const char* sql, const std::function<void(EngineStatement&)>& bind)
{
    if (m_engine == nullptr)
        return failed();
    WriteTransaction transaction(*m_engine);
    if (!transaction.isActive())
        return failed();
    EngineStatement statement(*m_engine, sql);
    if (!statement)
        return failed();
    bind(statement);
    if (!m_engine->run(statement))
        return failed();
    if (m_engine->changes() != 1)
        return Problem::RecordGone;
    if (!transaction.commit())
        return failed();
    return {};
}

Done LedgerEvents::update(qint64 id, const GiftLine& line)
{
    return changeOne("UPDATE 收送礼 SET 姓名=?1,关系=?2,金额=?3,说明=?4 WHERE ID=?5", [&](EngineStatement& statement) {
        bindLine(statement, 1, line);
        statement.bind(5, id);
    });
}

Done LedgerEvents::remove(qint64 id)
{
    return changeOne("DELETE FROM 收送礼 WHERE ID=?1", [&](EngineStatement& statement) { statement.bind(1, id); });
}

Result<QStringList> LedgerEvents::names()
{
    if (m_engine == nullptr)
        return failed();
    EngineStatement statement(*m_engine, "SELECT DISTINCT 姓名 FROM 收送礼 WHERE 姓名 IS NOT NULL");
    if (!statement)
        return failed();
    QStringList names;
    QSet<QString> people;
    EngineStatement::Step step;
    while ((step = statement.step()) == EngineStatement::Step::Row) {
        const QString name = BlankText::trimmed(statement.text(0));
        if (!name.isEmpty() && !people.contains(LedgerTotals::personKey(name))) {
            people.insert(LedgerTotals::personKey(name));
            names.append(name);
        }
    }
    if (step != EngineStatement::Step::End)
        return failed();
    std::sort(names.begin(), names.end());
    return names;
}

Result<PersonFacts> LedgerEvents::personFacts(const QString& name, qint64 exceptId)
{
    if (m_engine == nullptr)
        return failed();
    // The expression of the person index (LedgerTotals), so that the engine finds the records at once.
    EngineStatement s(*m_engine,
                      "SELECT 关系,金额 FROM 收送礼 WHERE lower(trim(姓名,' 　'))=lower(trim(?1,' 　')) AND ID<>?2 "
                      "ORDER BY 时间 DESC,ID DESC");
    if (!s)
        return failed();
    s.bind(1, name);
    s.bind(2, exceptId);
    PersonFacts facts;
    EngineStatement::Step step;
    while ((step = s.step()) == EngineStatement::Step::Row) {
        if (!facts.known)
            facts.relation = s.text(0);
        facts.known = true;
        if (!s.isNull(1)) {
            const qint64 ticks = s.integer(1);
            facts.largest = facts.largest ? std::max(*facts.largest, ticks) : ticks;
        }
    }
    if (step != EngineStatement::Step::End)
        return failed();
    return facts;
}

} // namespace ovelta
