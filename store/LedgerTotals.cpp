#include "LedgerTotals.h"

#include "EngineConnection.h"

#include <QHash>
#include <algorithm>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

// A person: the name without the blanks at both ends (the ASCII blank and the full-width blank, as the search
// trims them) and with ASCII letters folded, as the NOCASE names and the search's like compare them (the engine's
// lower() folds ASCII only). The expression must read exactly as the index is written, so that the engine uses it.
constexpr auto PersonExpression = "lower(trim(姓名,' 　'))";
constexpr auto PersonIndex = "CREATE INDEX IF NOT EXISTS 收送礼_往来人 ON 收送礼(lower(trim(姓名,' 　')))";
// Holds every column the statistics read, in the order they are grouped by, so that the engine walks the index
// alone instead of sorting the table. 时间 is not its first column: the ledger's own "order by 时间" keeps
// reading the table in its order.
// Holds every column the overview reads, by name, so that the engine walks the index alone instead of sorting
// the table; the names are grouped as the column compares them (ASCII case ignored).
constexpr auto PeopleIndex = "CREATE INDEX IF NOT EXISTS 收送礼_往来汇总 ON 收送礼(姓名,时间,收送,金额,关系)";
constexpr auto StatisticsIndex = "CREATE INDEX IF NOT EXISTS 收送礼_统计 ON 收送礼(类型,关系,时间,收送,金额)";

// The four aggregates every statement here reads, with the directions bound as ?1 (received) and ?2 (given).
// sum() over integers fails the statement on overflow instead of turning to floating point.
constexpr auto Sums = "count(CASE WHEN 收送=?1 THEN 1 END),coalesce(sum(CASE WHEN 收送=?1 THEN 金额 END),0),"
                      "count(CASE WHEN 收送=?2 THEN 1 END),coalesce(sum(CASE WHEN 收送=?2 THEN 金额 END),0)";

const QByteArray& received()
{
    static const QByteArray text = u"收礼"_s.toUtf8();
    return text;
}

const QByteArray& given()
{
    static const QByteArray text = u"送礼"_s.toUtf8();
    return text;
}

struct StatementDeleter
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

QString columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text == nullptr ? QString() : QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

/// The date of a stored date-time text 'YYYY-MM-DD HH:MM:SS'; null for anything else.
QDate storedDate(const char* text, int bytes)
{
    if (text == nullptr || bytes < 10 || text[4] != '-' || text[7] != '-')
        return {};
    auto number = [text](int from, int count) {
        int value = 0;
        for (int i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    return QDate(number(0, 4), number(5, 2), number(8, 2));
}

QDate columnDate(sqlite3_stmt* statement, int column)
{
    return storedDate(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                      sqlite3_column_bytes(statement, column));
}

/// The four aggregates from column first on.
void readSums(sqlite3_stmt* statement, int first, GiftSum& in, GiftSum& out)
{
    in.count = sqlite3_column_int64(statement, first);
    in.ticks = sqlite3_column_int64(statement, first + 1);
    out.count = sqlite3_column_int64(statement, first + 2);
    out.ticks = sqlite3_column_int64(statement, first + 3);
}

bool add(qint64& total, qint64 value)
{
    return !__builtin_add_overflow(total, value, &total);
}

bool add(GiftSum& total, const GiftSum& value)
{
    return add(total.count, value.count) && add(total.ticks, value.ticks);
}

bool difference(const GiftSum& in, const GiftSum& out, qint64& balance)
{
    return !__builtin_sub_overflow(in.ticks, out.ticks, &balance);
}

/// Folds the cells into groups named by keyOf, of one year or of all; nothing when a sum overflows.
template <typename KeyOf>
std::optional<QList<GroupTotals>> fold(const QList<StatisticsCell>& cells, std::optional<int> year, KeyOf keyOf)
{
    QList<GroupTotals> groups;
    QHash<QString, qsizetype> at;
    for (const StatisticsCell& cell : cells) {
        if (year && cell.year != *year)
            continue;
        const QString key = keyOf(cell);
        const QString folded = LedgerTotals::personKey(key);
        auto found = at.constFind(folded);
        if (found == at.constEnd()) {
            found = at.insert(folded, groups.size());
            groups.append(GroupTotals{key, {}, {}, 0});
        }
        GroupTotals& group = groups[*found];
        if (!add(group.received, cell.received) || !add(group.given, cell.given))
            return std::nullopt;
    }
    for (GroupTotals& group : groups) {
        if (!difference(group.received, group.given, group.balance))
            return std::nullopt;
    }
    return groups;
}

/// Text order without ASCII case, the empty key last.
void sortByKey(QList<GroupTotals>& groups)
{
    std::sort(groups.begin(), groups.end(), [](const GroupTotals& a, const GroupTotals& b) {
        if (a.key.isEmpty() != b.key.isEmpty())
            return b.key.isEmpty();
        return LedgerTotals::personKey(a.key) < LedgerTotals::personKey(b.key);
    });
}

} // namespace

LedgerTotals::LedgerTotals(EngineConnection* engine)
    : m_engine(engine)
{
}

bool LedgerTotals::fail(Failure failure, const QString& message)
{
    m_failure = failure;
    m_lastError = message;
    return false;
}

bool LedgerTotals::failFromEngine()
{
    const int code = sqlite3_errcode(m_engine->handle());
    const QString message = QString::fromUtf8(sqlite3_errmsg(m_engine->handle()));
    // The engine's sum() reports an overflow as a plain error with this text.
    if (code == SQLITE_ERROR && message.contains(u"integer overflow"_s))
        return fail(Failure::Overflow, message);
    return fail(Failure::Engine, message);
}

QString LedgerTotals::withoutBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == QChar(0x3000); };
    while (first < last && blank(text.at(first)))
        ++first;
    while (last > first && blank(text.at(last - 1)))
        --last;
    return first == 0 && last == text.size() ? text : text.mid(first, last - first);
}

QString LedgerTotals::personKey(const QString& name)
{
    QString key = withoutBlanks(name);
    for (QChar& c : key) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return key;
}

bool LedgerTotals::ensurePersonIndex()
{
    if (m_engine == nullptr)
        return fail(Failure::NoConnection, u"No connection."_s);
    return m_engine->executeNative(PersonIndex);
}

bool LedgerTotals::ensurePeopleIndex()
{
    if (m_engine == nullptr)
        return fail(Failure::NoConnection, u"No connection."_s);
    return m_engine->executeNative(PeopleIndex);
}

bool LedgerTotals::ensureStatisticsIndex()
{
    if (m_engine == nullptr)
        return fail(Failure::NoConnection, u"No connection."_s);
    return m_engine->executeNative(StatisticsIndex);
}

std::optional<QList<PersonTotals>> LedgerTotals::totalsByPerson()
{
    m_failure = Failure::None;
    if (m_engine == nullptr) {
        fail(Failure::NoConnection, u"No connection."_s);
        return std::nullopt;
    }
    // With a single max() the engine takes the other plain columns from the row that holds the maximum: the
    // latest record, by date and then by ID, records without a date before all others. The engine groups the
    // names as the column compares them; names that differ only by blanks at both ends are added up here.
    const QByteArray sql = QByteArray("SELECT max(coalesce(时间,'')||printf('%020d',ID)),姓名,关系,") + Sums
        + " FROM 收送礼 GROUP BY 姓名";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_engine->handle(), sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK) {
        failFromEngine();
        return std::nullopt;
    }
    const Statement statement(raw);
    sqlite3_bind_text(raw, 1, received().constData(), int(received().size()), SQLITE_STATIC);
    sqlite3_bind_text(raw, 2, given().constData(), int(given().size()), SQLITE_STATIC);

    QList<PersonTotals> people;
    std::vector<QByteArray> latestKeys; // per person: the max() of the latest group merged in
    QHash<QString, qsizetype> at;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const QByteArray latestKey(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)),
                                   sqlite3_column_bytes(raw, 0));
        PersonTotals person;
        person.name = withoutBlanks(columnText(raw, 1));
        readSums(raw, 3, person.received, person.given);
        const QString key = personKey(person.name);
        const auto found = at.constFind(key);
        if (found == at.constEnd()) {
            person.latest = columnDate(raw, 0);
            person.relation = columnText(raw, 2);
            at.insert(key, people.size());
            people.append(std::move(person));
            latestKeys.push_back(latestKey);
            continue;
        }
        PersonTotals& same = people[*found];
        if (!add(same.received, person.received) || !add(same.given, person.given)) {
            fail(Failure::Overflow, u"The sums of %1 are out of range."_s.arg(person.name));
            return std::nullopt;
        }
        if (latestKey > latestKeys[std::size_t(*found)]) {
            latestKeys[std::size_t(*found)] = latestKey;
            same.name = person.name;
            same.relation = columnText(raw, 2);
            same.latest = columnDate(raw, 0);
        }
    }
    if (rc != SQLITE_DONE) {
        failFromEngine();
        return std::nullopt;
    }
    for (PersonTotals& person : people) {
        if (!difference(person.received, person.given, person.balance)) {
            fail(Failure::Overflow, u"The balance of %1 is out of range."_s.arg(person.name));
            return std::nullopt;
        }
    }
    return people;
}

std::optional<PersonHistory> LedgerTotals::recordsOfPerson(const QString& name)
{
    m_failure = Failure::None;
    if (m_engine == nullptr) {
        fail(Failure::NoConnection, u"No connection."_s);
        return std::nullopt;
    }
    // A person without a name is every record whose name is missing or blank.
    const QByteArray person = LedgerTotals::personKey(name).isEmpty()
        ? QByteArray("(姓名 IS NULL OR ") + PersonExpression + "='')"
        : QByteArray(PersonExpression) + "=lower(trim(?3,' 　'))";
    const QByteArray listSql
        = "SELECT ID,收送,姓名,时间,关系,类型,金额,说明 FROM 收送礼 WHERE " + person + " ORDER BY 时间,ID";
    const QByteArray sumSql = QByteArray("SELECT ") + Sums + " FROM 收送礼 WHERE " + person;
    const QByteArray nameUtf8 = name.toUtf8();

    auto prepare = [this, &nameUtf8](const QByteArray& sql) -> Statement {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_engine->handle(), sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK) {
            failFromEngine();
            return Statement();
        }
        sqlite3_bind_text(raw, 1, received().constData(), int(received().size()), SQLITE_STATIC);
        sqlite3_bind_text(raw, 2, given().constData(), int(given().size()), SQLITE_STATIC);
        if (sqlite3_bind_parameter_count(raw) >= 3)
            sqlite3_bind_text(raw, 3, nameUtf8.constData(), int(nameUtf8.size()), SQLITE_STATIC);
        return Statement(raw);
    };

    PersonHistory history;
    {
        const Statement sums = prepare(sumSql);
        if (!sums)
            return std::nullopt;
        if (sqlite3_step(sums.get()) != SQLITE_ROW) {
            failFromEngine();
            return std::nullopt;
        }
        readSums(sums.get(), 0, history.received, history.given);
        if (!difference(history.received, history.given, history.balance)) {
            fail(Failure::Overflow, u"The balance is out of range."_s);
            return std::nullopt;
        }
    }

    const Statement list = prepare(listSql);
    if (!list)
        return std::nullopt;
    sqlite3_stmt* raw = list.get();
    qint64 balance = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        PersonRecord record;
        record.id = sqlite3_column_int64(raw, 0);
        record.direction = columnText(raw, 1);
        record.name = columnText(raw, 2);
        record.date = columnDate(raw, 3);
        record.relation = columnText(raw, 4);
        record.kind = columnText(raw, 5);
        record.ticks = sqlite3_column_int64(raw, 6);
        record.note = columnText(raw, 7);
        const QByteArray direction = record.direction.toUtf8();
        bool ok = true;
        if (direction == received())
            ok = add(balance, record.ticks);
        else if (direction == given())
            ok = !__builtin_sub_overflow(balance, record.ticks, &balance);
        if (!ok) {
            fail(Failure::Overflow, u"The running balance is out of range."_s);
            return std::nullopt;
        }
        record.balance = balance;
        history.records.append(std::move(record));
    }
    if (rc != SQLITE_DONE) {
        failFromEngine();
        return std::nullopt;
    }
    return history;
}

std::optional<QList<StatisticsCell>> LedgerTotals::statisticsCells()
{
    m_failure = Failure::None;
    if (m_engine == nullptr) {
        fail(Failure::NoConnection, u"No connection."_s);
        return std::nullopt;
    }
    // One pass for all three views. The engine groups by the columns as they are (with the index, in the index's
    // order and without a sort); the days of a year and the spellings of one occasion or relation that differ
    // only by blanks at both ends or by ASCII case are added up here.
    const QByteArray sql
        = QByteArray("SELECT substr(时间,1,4),类型,关系,") + Sums + " FROM 收送礼 GROUP BY 类型,关系,时间";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_engine->handle(), sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK) {
        failFromEngine();
        return std::nullopt;
    }
    const Statement statement(raw);
    sqlite3_bind_text(raw, 1, received().constData(), int(received().size()), SQLITE_STATIC);
    sqlite3_bind_text(raw, 2, given().constData(), int(given().size()), SQLITE_STATIC);

    QList<StatisticsCell> cells;
    QHash<QString, qsizetype> at;
    // Rows come grouped by occasion and relation, so the texts of one row are mostly those of the row before:
    // they are decoded once per run, and the days of one year go straight into the cell of the row before.
    QByteArray runKind, runRelation;
    QString kind, relation, runKey;
    qsizetype last = -1;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const int year = sqlite3_column_type(raw, 0) == SQLITE_NULL ? 0 : sqlite3_column_int(raw, 0);
        const QByteArrayView kindBytes(reinterpret_cast<const char*>(sqlite3_column_text(raw, 1)),
                                       sqlite3_column_bytes(raw, 1));
        const QByteArrayView relationBytes(reinterpret_cast<const char*>(sqlite3_column_text(raw, 2)),
                                           sqlite3_column_bytes(raw, 2));
        const bool sameRun = last >= 0 && kindBytes == runKind && relationBytes == runRelation;
        if (!sameRun) {
            runKind = kindBytes.toByteArray();
            runRelation = relationBytes.toByteArray();
            kind = withoutBlanks(QString::fromUtf8(runKind));
            relation = withoutBlanks(QString::fromUtf8(runRelation));
            runKey = personKey(kind) + QChar(0) + personKey(relation);
        }
        GiftSum in, out;
        readSums(raw, 3, in, out);
        qsizetype target = -1;
        if (sameRun && cells.at(last).year == year) {
            target = last;
        } else {
            const QString key = QString::number(year) + QChar(0) + runKey;
            const auto found = at.constFind(key);
            if (found != at.constEnd()) {
                target = *found;
            } else {
                at.insert(key, cells.size());
                cells.append(StatisticsCell{year, kind, relation, in, out});
                last = cells.size() - 1;
                continue;
            }
        }
        StatisticsCell& same = cells[target];
        if (!add(same.received, in) || !add(same.given, out)) {
            fail(Failure::Overflow, u"A sum is out of range."_s);
            return std::nullopt;
        }
        last = target;
    }
    if (rc != SQLITE_DONE) {
        failFromEngine();
        return std::nullopt;
    }
    return cells;
}

std::optional<QList<GroupTotals>> LedgerTotals::byYear(const QList<StatisticsCell>& cells)
{
    auto groups = fold(cells, std::nullopt,
                       [](const StatisticsCell& c) { return c.year == 0 ? QString() : QString::number(c.year); });
    if (!groups)
        return std::nullopt;
    std::sort(groups->begin(), groups->end(), [](const GroupTotals& a, const GroupTotals& b) {
        if (a.key.isEmpty() != b.key.isEmpty())
            return b.key.isEmpty();
        return a.key.toInt() < b.key.toInt();
    });
    return groups;
}

std::optional<QList<GroupTotals>> LedgerTotals::byKind(const QList<StatisticsCell>& cells, std::optional<int> year)
{
    auto groups = fold(cells, year, [](const StatisticsCell& c) { return c.kind; });
    if (groups)
        sortByKey(*groups);
    return groups;
}

std::optional<QList<GroupTotals>> LedgerTotals::byRelation(const QList<StatisticsCell>& cells, std::optional<int> year)
{
    auto groups = fold(cells, year, [](const StatisticsCell& c) { return c.relation; });
    if (groups)
        sortByKey(*groups);
    return groups;
}

std::optional<GroupTotals> LedgerTotals::overall(const QList<GroupTotals>& groups)
{
    GroupTotals total;
    for (const GroupTotals& group : groups) {
        if (!add(total.received, group.received) || !add(total.given, group.given))
            return std::nullopt;
    }
    if (!difference(total.received, total.given, total.balance))
        return std::nullopt;
    return total;
}

} // namespace ovelta
