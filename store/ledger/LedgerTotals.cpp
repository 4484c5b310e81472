#include "store/ledger/LedgerTotals.h"
#include "store/value/BlankText.h"

#include "store/engine/EngineStatement.h"

#include "store/engine/EngineConnection.h"

#include <QHash>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

// A person: the name without the blanks at both ends (the ASCII blank and the full-width blank, as the search
// trims them) and with ASCII letters folded, as the NOCASE names and the search's like compare them (the engine's
// lower() folds ASCII only). The expression must read exactly as the index is written, so that the engine uses it.
constexpr auto PersonExpression = "lower(trim(姓名,' 　'))";
constexpr auto PersonIndex = "CREATE INDEX IF NOT EXISTS 收送礼_往来人 ON 收送礼(lower(trim(姓名,' 　')))";

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

/// A stored date-time text 'YYYY-MM-DD HH:MM:SS' (or its date alone) as the number YYYYMMDDHHMMSS, which orders as
/// the text does; -1 for NULL and for anything that is not a valid date.
qint64 storedTimeKey(std::string_view text)
{
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return -1;
    auto number = [text](std::size_t from, std::size_t count) {
        qint64 value = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return qint64(-1);
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const qint64 year = number(0, 4), month = number(5, 2), day = number(8, 2);
    if (!QDate::isValid(int(year), int(month), int(day)))
        return -1;
    qint64 seconds = 0;
    if (text.size() >= 19 && text[10] == ' ' && text[13] == ':' && text[16] == ':') {
        const qint64 h = number(11, 2), m = number(14, 2), s = number(17, 2);
        if (h >= 0 && m >= 0 && s >= 0)
            seconds = h * 10000 + m * 100 + s;
    }
    return ((year * 100 + month) * 100 + day) * 1000000 + seconds;
}

QDate dateOfTimeKey(qint64 key)
{
    if (key < 0)
        return {};
    const qint64 day = key / 1000000;
    return QDate(int(day / 10000), int(day / 100 % 100), int(day % 100));
}

/// Texts kept once each, numbered in the order they were first met, and found again by their bytes: an
/// open-addressing table of (hash, number) pairs over one buffer of the texts. A ledger of a million records and
/// a few hundred thousand people looks every record's name up here; a table of nodes spends most of that time
/// waiting for memory.
class Spellings
{
public:
    Spellings() { m_slots.resize(1024); }

    /// The number of the text, and whether it was met now for the first time.
    std::pair<qsizetype, bool> find(std::string_view bytes)
    {
        const quint32 hash = quint32(qHashBits(bytes.data(), bytes.size()));
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot slot = m_slots[i];
            if (slot.number < 0) {
                m_slots[i] = Slot{hash, qint32(m_ends.size())};
                m_texts.append(bytes);
                m_ends.push_back(m_texts.size());
                if (m_ends.size() * 2 > m_slots.size())
                    grow();
                return {qsizetype(m_ends.size()) - 1, true};
            }
            if (slot.hash == hash && at(slot.number) == bytes)
                return {slot.number, false};
        }
    }
    std::string_view at(qsizetype number) const
    {
        const std::size_t begin = number == 0 ? 0 : m_ends[std::size_t(number) - 1];
        return std::string_view(m_texts).substr(begin, m_ends[std::size_t(number)] - begin);
    }
    QString text(qsizetype number) const
    {
        const std::string_view bytes = at(number);
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }
    qsizetype size() const { return qsizetype(m_ends.size()); }

private:
    struct Slot
    {
        quint32 hash = 0;
        qint32 number = -1; ///< -1: empty
    };
    void grow()
    {
        std::vector<Slot> slots(m_slots.size() * 2);
        const std::size_t mask = slots.size() - 1;
        for (const Slot& slot : m_slots) {
            if (slot.number < 0)
                continue;
            std::size_t i = slot.hash & mask;
            while (slots[i].number >= 0)
                i = (i + 1) & mask;
            slots[i] = slot;
        }
        m_slots = std::move(slots);
    }

    std::vector<Slot> m_slots; ///< a power of two in size, at most half full
    std::string m_texts; ///< every text, one after the other
    std::vector<std::size_t> m_ends; ///< per number: where its text ends in m_texts
};

/// The bytes of the person a name stands for, as personKey() makes it of the decoded text: without the ASCII and
/// full-width blanks at both ends, ASCII letters in lower case. Uses buffer only when a letter must change.
std::string_view personBytes(std::string_view name, std::string& buffer)
{
    constexpr std::string_view wideBlank = "\xE3\x80\x80"; // U+3000
    for (bool trimmed = false; !trimmed;) {
        trimmed = true;
        if (!name.empty() && name.front() == ' ') {
            name.remove_prefix(1);
            trimmed = false;
        } else if (name.substr(0, 3) == wideBlank) {
            name.remove_prefix(3);
            trimmed = false;
        }
        if (!name.empty() && name.back() == ' ') {
            name.remove_suffix(1);
            trimmed = false;
        } else if (name.size() >= 3 && name.substr(name.size() - 3) == wideBlank) {
            name.remove_suffix(3);
            trimmed = false;
        }
    }
    const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
    if (std::none_of(name.begin(), name.end(), upper))
        return name;
    buffer.assign(name);
    for (char& c : buffer) {
        if (upper(c))
            c = char(c - 'A' + 'a');
    }
    return buffer;
}

/// Steps a statement on this thread and hands its rows, copied in batches, to a consumer on a second thread: over
/// a large ledger the engine's reading is mostly decrypting pages and the adding up mostly waiting for memory,
/// and the two overlap. Each column is read as text or as an integer, as kinds says ('t' or 'i').
class RowPipe
{
public:
    using Consumer = std::function<bool(const std::string_view* texts, const qint64* numbers)>;

    /// The statement's last step (Done when every row was read); consumed is false when the consumer refused a
    /// row, after which the rest are not read.
    struct Outcome
    {
        EngineStatement::Step step = EngineStatement::Step::End;
        bool consumed = true;
    };

    static Outcome run(EngineStatement& statement, std::string_view kinds, const Consumer& consume)
    {
        RowPipe pipe(kinds);
        std::thread adder([&pipe, &consume] { pipe.drain(consume); });
        Outcome outcome;
        Batch batch;
        while (!pipe.refused() && (outcome.step = statement.step()) == EngineStatement::Step::Row) {
            for (int column = 0; column < int(kinds.size()); ++column) {
                if (kinds[std::size_t(column)] == 'i') {
                    batch.numbers.push_back(statement.integer(column));
                    continue;
                }
                const std::string_view text = statement.utf8(column);
                batch.texts.emplace_back(batch.bytes.size(), text.size());
                batch.bytes.append(text);
            }
            if (++batch.rows == BatchRows) {
                pipe.push(std::move(batch));
                batch = Batch();
            }
        }
        pipe.push(std::move(batch));
        pipe.finish();
        adder.join();
        outcome.consumed = !pipe.refused();
        return outcome;
    }

private:
    static constexpr std::size_t BatchRows = 4096;
    static constexpr std::size_t MaxQueued = 8;

    struct Batch
    {
        std::string bytes;
        std::vector<std::pair<std::size_t, std::size_t>> texts; ///< per text cell: where it is in bytes
        std::vector<qint64> numbers;
        std::size_t rows = 0;
    };

    explicit RowPipe(std::string_view kinds)
    {
        for (const char kind : kinds)
            (kind == 'i' ? m_numberColumns : m_textColumns)++;
    }

    bool refused() const { return m_refused.load(std::memory_order_relaxed); }

    void push(Batch batch)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queue.size() < MaxQueued || refused(); });
        if (!refused())
            m_queue.push_back(std::move(batch));
        m_changed.notify_all();
    }

    void finish()
    {
        const std::lock_guard lock(m_mutex);
        m_finished = true;
        m_changed.notify_all();
    }

    void drain(const Consumer& consume)
    {
        std::vector<std::string_view> texts(m_textColumns);
        for (;;) {
            Batch batch;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return !m_queue.empty() || m_finished; });
                if (m_queue.empty())
                    return;
                batch = std::move(m_queue.front());
                m_queue.pop_front();
                m_changed.notify_all();
            }
            for (std::size_t row = 0; row < batch.rows; ++row) {
                for (std::size_t t = 0; t < m_textColumns; ++t) {
                    const auto [at, size] = batch.texts[row * m_textColumns + t];
                    texts[t] = std::string_view(batch.bytes).substr(at, size);
                }
                if (!consume(texts.data(), batch.numbers.data() + row * m_numberColumns)) {
                    const std::lock_guard lock(m_mutex);
                    m_refused = true;
                    m_queue.clear();
                    m_changed.notify_all();
                    return;
                }
            }
        }
    }

    std::size_t m_textColumns = 0;
    std::size_t m_numberColumns = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_queue;
    bool m_finished = false;
    std::atomic<bool> m_refused = false;
};

bool add(qint64& total, qint64 value)
{
    return !__builtin_add_overflow(total, value, &total);
}

bool add(Sum& total, Sum value)
{
    return !__builtin_add_overflow(total, value, &total);
}

bool add(GiftSum& total, const GiftSum& value)
{
    return add(total.count, value.count) && add(total.ticks, value.ticks);
}

bool difference(const GiftSum& in, const GiftSum& out, Sum& balance)
{
    return !__builtin_sub_overflow(in.ticks, out.ticks, &balance);
}

/// Folds the cells into groups named by keyOf, of one year or of all; nothing when a sum overflows.
template <typename KeyOf>
Result<QList<GroupTotals>> fold(const QList<StatisticsCell>& cells, std::optional<int> year, KeyOf keyOf)
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
            return Problem::Overflow;
    }
    for (GroupTotals& group : groups) {
        if (!difference(group.received, group.given, group.balance))
            return Problem::Overflow;
    }
    return groups;
}

/// In the order of the list, then the rest in code-point order of their text, the empty key last.
void sortByList(QList<GroupTotals>& groups, const QStringList& list)
{
    // Of entries that are one value, the first counts.
    QHash<QString, qsizetype> rank;
    for (qsizetype i = list.size() - 1; i >= 0; --i)
        rank.insert(LedgerTotals::personKey(list.at(i)), i);
    struct Item
    {
        GroupTotals group;
        qsizetype rank; ///< -1: not in the list
        QList<uint> codePoints;
    };
    QList<Item> items;
    items.reserve(groups.size());
    for (GroupTotals& group : groups) {
        const qsizetype r = group.key.isEmpty() ? -1 : rank.value(LedgerTotals::personKey(group.key), -1);
        QList<uint> codePoints = group.key.toUcs4();
        items.append(Item{std::move(group), r, std::move(codePoints)});
    }
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        if (a.group.key.isEmpty() != b.group.key.isEmpty())
            return b.group.key.isEmpty();
        if ((a.rank < 0) != (b.rank < 0))
            return a.rank >= 0;
        if (a.rank >= 0)
            return a.rank < b.rank;
        return a.codePoints < b.codePoints;
    });
    groups.clear();
    for (Item& item : items)
        groups.append(std::move(item.group));
}

} // namespace

LedgerTotals::LedgerTotals(EngineConnection* engine)
    : m_engine(engine)
{
}

namespace {

Failure unread(const EngineStatement& statement)
{
    if (statement.overflowed())
        return Problem::Overflow;
    return Failure(Problem::TotalsUnread, {statement.failure()});
}

} // namespace

QString LedgerTotals::personKey(const QString& name)
{
    QString key = BlankText::trimmed(name);
    const auto upper = [](QChar c) { return c >= u'A' && c <= u'Z'; };
    // Most names have no ASCII capital: they keep sharing the text they came in.
    if (std::none_of(key.cbegin(), key.cend(), upper))
        return key;
    for (QChar& c : key) {
        if (upper(c))
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return key;
}

Done LedgerTotals::ensurePersonIndex()
{
    if (m_engine == nullptr)
        return Problem::NoLedger;
    if (!m_engine->executeNative(PersonIndex))
        return Failure(Problem::Engine, {m_engine->lastError()});
    return {};
}

Result<QList<PersonTotals>> LedgerTotals::totalsByPerson()
{
    if (m_engine == nullptr)
        return Problem::NoLedger;
    // One pass over the table in its stored order, added up here: grouping by name in the engine would sort every
    // record first, or need an index of the whole table in the user's file. The latest record of a person is the
    // one of the latest date and then the highest ID, records without a date before all others.
    constexpr auto sql = "SELECT 姓名,时间,ID,收送,金额,关系 FROM 收送礼";
    EngineStatement statement(*m_engine, sql);
    if (!statement)
        return unread(statement);

    struct Person
    {
        GiftSum received;
        GiftSum given;
        qint64 latestTime = -1; ///< storedTimeKey() of the latest record
        qint64 latestId = std::numeric_limits<qint64>::min();
        std::size_t nameBegin = 0; ///< the name as the latest record spells it, in names
        std::size_t nameSize = 0;
        qsizetype relation = -1; ///< the relation of the latest record, in relations
    };
    // People are found by the bytes of their folded name, without decoding a text per record. The spelling of a
    // person's latest record is kept when it differs from the one kept before; relations are few and kept once.
    std::vector<Person> people;
    Spellings keys, relations;
    std::string names;
    std::string buffer;
    QString overflowName;
    const std::string_view in(received().constData(), std::size_t(received().size()));
    const std::string_view out(given().constData(), std::size_t(given().size()));
    // Texts: 姓名, 时间, 收送, 关系; numbers: ID, 金额.
    const auto addRecord = [&](const std::string_view* texts, const qint64* numbers) {
        const std::string_view name = texts[0];
        const auto [number, isNew] = keys.find(personBytes(name, buffer));
        if (isNew)
            people.emplace_back();
        Person& person = people[std::size_t(number)];
        GiftSum* sum = texts[2] == in ? &person.received : texts[2] == out ? &person.given : nullptr;
        if (sum != nullptr && !add(*sum, GiftSum{1, numbers[1]})) {
            overflowName = QString::fromUtf8(name.data(), qsizetype(name.size()));
            return false;
        }
        const qint64 time = storedTimeKey(texts[1]);
        const qint64 id = numbers[0];
        if (time > person.latestTime || (time == person.latestTime && id > person.latestId)) {
            person.latestTime = time;
            person.latestId = id;
            if (isNew || std::string_view(names).substr(person.nameBegin, person.nameSize) != name) {
                person.nameBegin = names.size();
                person.nameSize = name.size();
                names.append(name);
            }
            person.relation = relations.find(texts[3]).first;
        }
        return true;
    };
    const RowPipe::Outcome outcome = RowPipe::run(statement, "ttitit", addRecord);
    if (!outcome.consumed) {
        return Problem::Overflow;
    }
    if (outcome.step != EngineStatement::Step::End)
        return unread(statement);

    // The names are decoded by two threads, each filling its half of the list. Few relations are spelt
    // differently: each thread decodes each once and shares it among its people (sharing one text between the
    // threads would make them take turns at its reference count).
    QList<PersonTotals> totals(qsizetype(people.size()));
    PersonTotals* const first = totals.data();
    std::atomic<bool> overflow = false;
    const auto fill = [&](std::size_t begin, std::size_t end) {
        QList<QString> relationTexts;
        relationTexts.reserve(relations.size());
        for (qsizetype i = 0; i < relations.size(); ++i)
            relationTexts.append(relations.text(i));
        for (std::size_t i = begin; i < end; ++i) {
            const Person& person = people[i];
            PersonTotals& t = first[i];
            t.name = BlankText::trimmed(QString::fromUtf8(names.data() + person.nameBegin, qsizetype(person.nameSize)));
            t.relation = relationTexts.at(person.relation);
            t.received = person.received;
            t.given = person.given;
            t.latest = dateOfTimeKey(person.latestTime);
            if (!difference(t.received, t.given, t.balance))
                overflow = true;
        }
    };
    const std::size_t half = people.size() / 2;
    std::thread other(fill, half, people.size());
    fill(0, half);
    other.join();
    if (overflow) {
        for (const PersonTotals& t : totals) {
            if (Sum balance = 0; !difference(t.received, t.given, balance)) {
                return Problem::Overflow;
            }
        }
    }
    return totals;
}

Result<PersonHistory> LedgerTotals::recordsOfPerson(const QString& name)
{
    if (m_engine == nullptr)
        return Problem::NoLedger;
    // A person without a name is every record whose name is missing or blank.
    const QByteArray person = LedgerTotals::personKey(name).isEmpty()
        ? QByteArray("(姓名 IS NULL OR ") + PersonExpression + "='')"
        : QByteArray(PersonExpression) + "=lower(trim(?3,' 　'))";
    const QByteArray listSql
        = QByteArray("SELECT ") + LedgerRecords::Columns + " FROM 收送礼 WHERE " + person + " ORDER BY 时间,ID";
    const QByteArray nameUtf8 = name.toUtf8();

    PersonHistory history;
    EngineStatement list(*m_engine, std::string_view(listSql.constData(), std::size_t(listSql.size())));
    if (!list)
        return unread(list);
    list.bindUtf8Kept(1, std::string_view(received().constData(), std::size_t(received().size())));
    list.bindUtf8Kept(2, std::string_view(given().constData(), std::size_t(given().size())));
    if (list.parameterCount() >= 3)
        list.bindUtf8Kept(3, std::string_view(nameUtf8.constData(), std::size_t(nameUtf8.size())));
    // Added up here as the records are read: the engine's sum() would stop at 64 bits.
    Sum balance = 0;
    EngineStatement::Step step;
    while ((step = list.step()) == EngineStatement::Step::Row) {
        PersonRecord record{LedgerRecords::at(list), 0};
        const qint64 ticks = record.amount.value_or(0);
        const QByteArray direction = record.direction.toUtf8();
        bool ok = true;
        if (direction == received())
            ok = add(history.received, GiftSum{1, ticks}) && add(balance, Sum(ticks));
        else if (direction == given())
            ok = add(history.given, GiftSum{1, ticks}) && !__builtin_sub_overflow(balance, Sum(ticks), &balance);
        if (!ok) {
            return Problem::Overflow;
        }
        record.balance = balance;
        history.records.append(std::move(record));
    }
    if (step != EngineStatement::Step::End)
        return unread(list);
    history.balance = balance;
    return history;
}

Result<QList<StatisticsCell>> LedgerTotals::statisticsCells()
{
    if (m_engine == nullptr)
        return Problem::NoLedger;
    // One pass over the table in its stored order for all three views, added up here: grouping in the engine would
    // sort every record first, or need an index of the whole table in the user's file. The spellings of one
    // occasion or relation that differ only by blanks at both ends or by ASCII case are added up together.
    constexpr auto sql = "SELECT 时间,类型,关系,收送,金额 FROM 收送礼";
    EngineStatement statement(*m_engine, sql);
    if (!statement)
        return unread(statement);

    // A pair of spellings (occasion, relation) is looked up by its bytes; only a new pair is decoded and folded.
    struct Pair
    {
        QString occasion;
        QString relation;
        QString key; ///< the folded pair, which names the cells
    };
    std::vector<Pair> pairs;
    Spellings pairSpellings;
    std::string spelling;
    QList<StatisticsCell> cells;
    QHash<QString, qsizetype> cellByKey; // the year and the folded pair
    std::unordered_map<quint64, qsizetype> cellByYearAndPair;
    const std::string_view in(received().constData(), std::size_t(received().size()));
    const std::string_view out(given().constData(), std::size_t(given().size()));
    // Texts: 时间, 类型, 关系, 收送; number: 金额.
    const auto addRecord = [&](const std::string_view* texts, const qint64* numbers) {
        const qint64 time = storedTimeKey(texts[0]);
        const int year = time < 0 ? 0 : int(time / 10000000000);
        spelling.assign(texts[1]);
        spelling.push_back('\0');
        spelling.append(texts[2]);
        const auto [pair, isNew] = pairSpellings.find(spelling);
        if (isNew) {
            Pair p;
            p.occasion = BlankText::trimmed(QString::fromUtf8(texts[1].data(), qsizetype(texts[1].size())));
            p.relation = BlankText::trimmed(QString::fromUtf8(texts[2].data(), qsizetype(texts[2].size())));
            p.key = personKey(p.occasion) + QChar(0) + personKey(p.relation);
            pairs.push_back(std::move(p));
        }
        const quint64 yearAndPair = (quint64(pair) << 32) | quint32(year);
        auto cell = cellByYearAndPair.find(yearAndPair);
        if (cell == cellByYearAndPair.end()) {
            const Pair& p = pairs[std::size_t(pair)];
            const QString key = QString::number(year) + QChar(0) + p.key;
            auto known = cellByKey.constFind(key);
            if (known == cellByKey.constEnd()) {
                known = cellByKey.insert(key, cells.size());
                cells.append(StatisticsCell{year, p.occasion, p.relation, {}, {}});
            }
            cell = cellByYearAndPair.emplace(yearAndPair, *known).first;
        }
        StatisticsCell& target = cells[cell->second];
        GiftSum* sum = texts[3] == in ? &target.received : texts[3] == out ? &target.given : nullptr;
        return sum == nullptr || add(*sum, GiftSum{1, numbers[0]});
    };
    const RowPipe::Outcome outcome = RowPipe::run(statement, "tttti", addRecord);
    if (!outcome.consumed) {
        return Problem::Overflow;
    }
    if (outcome.step != EngineStatement::Step::End)
        return unread(statement);
    return cells;
}

Result<QList<GroupTotals>> LedgerTotals::byYear(const QList<StatisticsCell>& cells)
{
    auto groups = fold(cells, std::nullopt,
                       [](const StatisticsCell& c) { return c.year == 0 ? QString() : QString::number(c.year); });
    if (!groups)
        return groups;
    std::sort(groups->begin(), groups->end(), [](const GroupTotals& a, const GroupTotals& b) {
        if (a.key.isEmpty() != b.key.isEmpty())
            return b.key.isEmpty();
        return a.key.toInt() < b.key.toInt();
    });
    return groups;
}

Result<QList<GroupTotals>> LedgerTotals::byOccasion(const QList<StatisticsCell>& cells, std::optional<int> year,
                                                    const QStringList& list)
{
    auto groups = fold(cells, year, [](const StatisticsCell& c) { return c.occasion; });
    if (groups)
        sortByList(*groups, list);
    return groups;
}

Result<QList<GroupTotals>> LedgerTotals::byRelation(const QList<StatisticsCell>& cells, std::optional<int> year,
                                                    const QStringList& list)
{
    auto groups = fold(cells, year, [](const StatisticsCell& c) { return c.relation; });
    if (groups)
        sortByList(*groups, list);
    return groups;
}

Result<GroupTotals> LedgerTotals::overall(const QList<GroupTotals>& groups)
{
    GroupTotals total;
    for (const GroupTotals& group : groups) {
        if (!add(total.received, group.received) || !add(total.given, group.given))
            return Problem::Overflow;
    }
    if (!difference(total.received, total.given, total.balance))
        return Problem::Overflow;
    return total;
}

} // namespace ovelta
