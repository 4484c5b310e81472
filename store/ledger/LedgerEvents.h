#pragma once

#include "store/ledger/LedgerTotals.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace ovelta {

class EngineConnection;
class EngineStatement;

/// One banquet or visit: the records that share a date, an occasion (类型) and a direction (收送). There is no
/// table of events; a record entered anywhere in the program belongs to the event of its date, 类型 and 收送.
struct EventKey
{
    QDate date; ///< null: the records without a date
    QString occasion; ///< 类型
    QString direction; ///< 收送

    friend bool operator==(const EventKey&, const EventKey&) = default;
};

/// An event of the ledger with how many records it has and what they add up to.
struct GiftEvent
{
    EventKey key;
    qint64 count = 0;
    Sum total = 0; ///< ten-thousandths of a yuan; records without an amount count as nothing
    qint64 newest = 0; ///< the ID of its newest record: of two events of one day, the newer one comes first
};

/// True when event a comes before b in the order of LedgerEvents::events(): the newer day first, of one day the
/// one with the newer record first, the events without a date last.
bool listedBefore(const GiftEvent& a, const GiftEvent& b);

/// Events newest first, a few days at a time: a large ledger has events on thousands of days.
struct EventPage
{
    QList<GiftEvent> events;
    QDate oldestDay; ///< the oldest day of the page; the next page begins with the day before it
    bool last = false; ///< no page follows: this one ends with the events without a date
};

/// One line of a gift book: what a guest gave, as one record of the event stores it.
struct GiftLine
{
    QString name; ///< 姓名
    QString relation; ///< 关系
    qint64 ticks = 0; ///< 金额 in ten-thousandths
    QString note; ///< 说明
};

/// A stored line of an event with its record's ID; a record without an amount reads as 0.
struct GiftRecord
{
    qint64 id = 0;
    GiftLine line;
};

/// What the ledger knows of a person (a name without the blanks at both ends, ASCII case ignored).
struct PersonFacts
{
    bool known = false; ///< the person has at least one record
    QString relation; ///< 关系 of the person's latest record (by date, then ID; undated records count as oldest)
    std::optional<qint64> largest; ///< the largest amount of the person's records, received or given
};

/// The events of the ledger table 收送礼 and their records, read and written with statements of the engine's own
/// SQL with the values bound. Every write is one transaction of its own. A date is stored as the canonical
/// date-time text of its midnight, as the record entry window stores it.
///
/// Every function gives back its value or the failure (the engine's text, NoLedger without a connection,
/// RecordGone for a record no longer there); nothing is shown.
class LedgerEvents
{
public:
    /// Works on the engine connection it is given (the program's own); null makes every call fail.
    explicit LedgerEvents(EngineConnection* engine);

    /// Every event, newest first (by date, then by its newest record), the events without a date last; read a
    /// page of daysPerPage days at a time.
    Result<QList<GiftEvent>> events(int daysPerPage = 366);
    /// The events of up to days days that have records, going back from the day before `before` (from the newest
    /// day when before is null), in the order of events(); the page with fewer days than asked for ends with the
    /// events without a date and is the last.
    Result<EventPage> eventPage(const QDate& before, int days);
    /// Adds to the file, when it lacks them, the indexes the gift book reads by: the one that finds the records of
    /// one event and the days with records at once, and the one of the names (a failure, and the file unchanged, when
    /// it cannot be written). Every read works without them, more slowly.
    Done ensureIndexes();
    /// The records of one event, newest first (by date-time, then ID).
    Result<QList<GiftRecord>> records(const EventKey& event);
    /// Stores one line as a new record of the event; its ID.
    Result<qint64> add(const EventKey& event, const GiftLine& line);
    /// Sets the name, relation, amount and note of the record with that ID; RecordGone when there is no such record.
    Done update(qint64 id, const GiftLine& line);
    /// Deletes the record with that ID; RecordGone when there is no such record.
    Done remove(qint64 id);

    /// Every person's name once, as one of their records spells it without the blanks at both ends, in code-point
    /// order; records without a name leave none.
    Result<QStringList> names();
    /// What the ledger knows of the person with that name, leaving out the record with the ID exceptId.
    Result<PersonFacts> personFacts(const QString& name, qint64 exceptId = 0);

private:
    /// The failure of the last call of the engine.
    Failure failed() const;
    /// Runs one statement (its values bound by bind) in a transaction of its own; true when it changed exactly
    /// one record, which is then committed.
    Done changeOne(const char* sql, const std::function<void(EngineStatement&)>& bind);

    EngineConnection* m_engine;
};

} // namespace ovelta
