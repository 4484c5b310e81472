#pragma once

#include "store/ledger/LedgerRecord.h"
#include "store/value/Failure.h"
#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace ovelta {

class EngineConnection;
class EngineStatement;

/// A sum of amounts in ten-thousandths of a yuan. Each amount is a 64-bit count; their sums are added in 128 bits,
/// so that no ledger the program can store (fewer than 2^63 records of 64-bit amounts) goes beyond the range.
__extension__ typedef __int128 Sum;

/// How many gifts of one direction and what they add up to, in ten-thousandths of a yuan.
struct GiftSum
{
    qint64 count = 0;
    Sum ticks = 0;

    friend bool operator==(const GiftSum&, const GiftSum&) = default;
};

/// One person's dealings: a person is a name without the blanks at both ends (the ASCII blank and "　"),
/// compared without ASCII case, as the search compares names.
struct PersonTotals
{
    QString name; ///< as the person's latest record writes it, without the blanks at both ends
    QString relation; ///< 关系 of the person's latest record
    GiftSum received;
    GiftSum given;
    Sum balance = 0; ///< received minus given
    QDate latest; ///< the date of the latest dated record; null when no record carries a date
};

/// One record of a person, with the balance after it.
struct PersonRecord : LedgerRecord
{
    Sum balance = 0; ///< received minus given over this record and every one before it
};

/// Every record of one person, oldest first (records without a date first), and the person's totals.
struct PersonHistory
{
    QList<PersonRecord> records;
    GiftSum received;
    GiftSum given;
    Sum balance = 0;
};

/// The gifts of one year, occasion or relation.
struct GroupTotals
{
    QString key; ///< the year ("2011"), 类型 or 关系; empty for records without one
    GiftSum received;
    GiftSum given;
    Sum balance = 0; ///< received minus given
};

/// The counts and sums of one year, occasion and relation together: what the statistics add up from.
struct StatisticsCell
{
    int year = 0; ///< 0 for records without a date
    QString occasion; ///< 类型
    QString relation;
    GiftSum received;
    GiftSum given;
};

/// Counts and sums over the ledger table 收送礼, read with statements of the engine's own SQL, values bound. The
/// overview and the statistics add up one pass over the table here; one person's sums are an aggregate statement.
/// Amounts are added exactly as 128-bit integers of ten-thousandths (Sum), here rather than by the engine, whose
/// sum() stops at 64 bits; Overflow is left for counts and sums beyond even that range. Only 收礼 and 送礼 records
/// count in the sums; records without an amount count as gifts of nothing.
///
/// Every function gives back its value or the failure (Overflow for sums beyond the range, TotalsUnread for the
/// engine's failures, NoLedger without a connection); nothing is shown.
class LedgerTotals
{
public:
    /// Works on the engine connection it is given (the program's own); null gives NoLedger.
    explicit LedgerTotals(EngineConnection* engine);

    /// One row per person, in no particular order.
    Result<QList<PersonTotals>> totalsByPerson();
    /// The records of the person with that name (blanks at both ends and ASCII case do not matter).
    Result<PersonHistory> recordsOfPerson(const QString& name);
    /// The counts and sums per year, occasion (类型) and relation (关系), in no particular order; occasions and
    /// relations without blanks at both ends, spellings that differ only by ASCII case added up.
    Result<QList<StatisticsCell>> statisticsCells();

    /// Per year, oldest first, records without a date last (key empty).
    static Result<QList<GroupTotals>> byYear(const QList<StatisticsCell>& cells);
    /// Per occasion or relation, of one year, or of every record when year is empty: in the order of the list
    /// (the lookup table 类型 or 关系 in its ID order, as the entry window offers them; blanks at both ends and ASCII
    /// case ignored), the values not in the list after them in the code-point order of their text, the empty key
    /// last.
    static Result<QList<GroupTotals>> byOccasion(const QList<StatisticsCell>& cells, std::optional<int> year,
                                                 const QStringList& list = {});
    static Result<QList<GroupTotals>> byRelation(const QList<StatisticsCell>& cells, std::optional<int> year,
                                                 const QStringList& list = {});
    /// The sum of the groups; Overflow beyond the range.
    static Result<GroupTotals> overall(const QList<GroupTotals>& groups);

    /// The person a name stands for: blanks at both ends removed, ASCII letters folded to lower case.
    static QString personKey(const QString& name);

    /// Makes sure the index that finds a person's records at once exists: the one index the program adds to a
    /// ledger, small (the folded name of each record), made the first time a person's records are asked for.
    /// Fails when it cannot be made (a read-only file), which only makes recordsOfPerson() slower.
    Done ensurePersonIndex();

private:
    EngineConnection* m_engine;
};

} // namespace ovelta
