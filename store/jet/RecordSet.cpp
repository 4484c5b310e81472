#include "store/jet/RecordSet.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/EngineMessage.h"
#include "store/engine/RowSnapshot.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/LedgerStatements.h"
#include "store/jet/RowCriteria.h"
#include "store/value/JetDateTime.h"
#include "store/value/Money.h"

#include <QPointer>
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr quint8 Deleted = 1;
constexpr quint8 FilteredOut = 2;

RecordSet::ErrorReporter& errorReporter()
{
    static RecordSet::ErrorReporter reporter;
    return reporter;
}

void report(const QString& message)
{
    if (errorReporter())
        errorReporter()(message);
}

/// A value written into the pending row, already in the form its column stores.
struct PendingValue
{
    RowSnapshot::Kind kind = RowSnapshot::Kind::Null;
    qint64 value = 0;
    QByteArray bytes;

    RowSnapshot::Cell cell() const { return RowSnapshot::Cell{kind, value, bytes}; }
};

QString textOf(const RowSnapshot::Cell& cell)
{
    using Kind = RowSnapshot::Kind;
    switch (cell.kind) {
    case Kind::Null:
        return QString();
    case Kind::Text:
        return QString::fromUtf8(cell.bytes);
    case Kind::Integer:
        return QString::number(cell.value);
    case Kind::Double:
        return QString::asprintf("%.8f", cell.real());
    case Kind::Currency:
        return Money::toLiteral(cell.value);
    case Kind::DateTime:
        if (const auto when = JetDateTime::fromPacked(cell.value))
            return when->canonical();
        return QString();
    case Kind::Boolean:
        return cell.value != 0 ? u"TRUE"_s : u"FALSE"_s;
    case Kind::Blob:
        return u"[BLOB]"_s;
    }
    return u"UN_KNOW"_s;
}

/// Rows an open on a table reads at once; the rest follow as they are asked for.
constexpr qsizetype RowsReadAtOnce = 256;

/// The position of a set after a find that the engine answered by the row's key: the row (or none) is known,
/// its index among the rows not yet, since the rows before it have not been read.
struct KeyedPosition
{
    bool onRow = false;
    qint64 key = 0;
    std::unique_ptr<RowSnapshot> row; ///< the one row, as the set itself would hold it
};

/// An order clause of one column: "时间 DESC", "ID", "姓名 asc".
struct SortKey
{
    QString column;
    bool descending = false;

    static std::optional<SortKey> parse(const QString& order)
    {
        const QStringList words = order.simplified().split(u' ');
        if (words.isEmpty() || words.size() > 2)
            return std::nullopt;
        for (QChar c : words.first()) {
            if (!(c.isLetterOrNumber() || c == u'_' || c.unicode() >= 0x80))
                return std::nullopt;
        }
        SortKey key{words.first(), false};
        if (words.size() == 2) {
            if (words[1].compare(u"desc"_s, Qt::CaseInsensitive) == 0)
                key.descending = true;
            else if (words[1].compare(u"asc"_s, Qt::CaseInsensitive) != 0)
                return std::nullopt;
        }
        return key;
    }
};

/// The engine's order of two values of a column without a collation of its own: NULL first, then numbers
/// by value, then texts by their bytes, then blobs by their bytes. A date-time is stored as its canonical
/// text, whose order is that of the packed value.
int compareCells(const RowSnapshot::Cell& a, const RowSnapshot::Cell& b)
{
    using Kind = RowSnapshot::Kind;
    auto rank = [](Kind k) {
        switch (k) {
        case Kind::Null:
            return 0;
        case Kind::Integer:
        case Kind::Double:
        case Kind::Currency:
        case Kind::Boolean:
            return 1;
        case Kind::DateTime:
        case Kind::Text:
            return 2;
        case Kind::Blob:
            return 3;
        }
        return 3;
    };
    const int ra = rank(a.kind), rb = rank(b.kind);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    if (ra == 0)
        return 0;
    if (ra == 1) {
        if (a.kind != Kind::Double && b.kind != Kind::Double)
            return a.value < b.value ? -1 : a.value > b.value ? 1 : 0;
        const long double x = a.kind == Kind::Double ? a.real() : static_cast<long double>(a.value);
        const long double y = b.kind == Kind::Double ? b.real() : static_cast<long double>(b.value);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (a.kind == Kind::DateTime && b.kind == Kind::DateTime)
        return a.value < b.value ? -1 : a.value > b.value ? 1 : 0;
    QByteArray canonicalA, canonicalB;
    QByteArrayView x = a.bytes, y = b.bytes;
    if (a.kind == Kind::DateTime) {
        canonicalA = JetDateTime::fromPacked(a.value)->canonical().toLatin1();
        x = canonicalA;
    }
    if (b.kind == Kind::DateTime) {
        canonicalB = JetDateTime::fromPacked(b.value)->canonical().toLatin1();
        y = canonicalB;
    }
    const int common = int(std::min(x.size(), y.size()));
    if (const int c = common > 0 ? std::memcmp(x.data(), y.data(), size_t(common)) : 0; c != 0)
        return c < 0 ? -1 : 1;
    return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
}

/// The rows of a snapshot ordered by one column as the engine orders them: rows of equal values keep the
/// order in which they were read (for a table read as it lies, the order of its keys).
std::vector<quint32> sortedRows(const RowSnapshot& rows, int column, bool descending)
{
    const qsizetype count = rows.rowCount();
    // The usual case, a column of dates (some maybe empty): each row's packed date and index in one number
    // pair, sorted at once.
    bool datesOnly = true;
    for (qsizetype row = 0; row < count && datesOnly; ++row) {
        const RowSnapshot::Kind kind = rows.cell(row, column).kind;
        datesOnly = kind == RowSnapshot::Kind::DateTime || kind == RowSnapshot::Kind::Null;
    }
    std::vector<quint32> order(size_t(count), 0);
    if (datesOnly) {
        std::vector<std::pair<qint64, quint32>> keyed(static_cast<size_t>(count));
        for (qsizetype row = 0; row < count; ++row) {
            const RowSnapshot::Cell cell = rows.cell(row, column);
            // Packed date-times are never negative: an empty date sorts first, as NULL does.
            const qint64 value = cell.kind == RowSnapshot::Kind::Null ? -1 : cell.value;
            keyed[size_t(row)] = {descending ? -value : value, quint32(row)};
        }
        std::sort(keyed.begin(), keyed.end());
        for (size_t i = 0; i < keyed.size(); ++i)
            order[i] = keyed[i].second;
        return order;
    }
    for (qsizetype row = 0; row < count; ++row)
        order[size_t(row)] = quint32(row);
    std::stable_sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        const int c = compareCells(rows.cell(a, column), rows.cell(b, column));
        return descending ? c > 0 : c < 0;
    });
    return order;
}

} // namespace

struct RecordSet::Private
{
    enum class Pending { None, Adding, Editing };

    QPointer<DatabaseConnection> connection;
    std::unique_ptr<RowSnapshot> rows;
    qsizetype position = 0; ///< a row index; rows->rowCount() of a complete set is past the last row
    std::vector<quint8> hidden; ///< Deleted / FilteredOut per row; empty while no row is hidden
    qsizetype hiddenCount = 0;
    QString table; ///< the table whose rows this set can change (its rows carry their keys)
    /// Opened on a whole table and read lazily: its rows come in the table's natural order, which is the order
    /// of their keys when the table has no index.
    bool wholeTable = false;
    std::optional<bool> keyOrdered; ///< whether the table's natural order is certainly its key order
    std::optional<KeyedPosition> keyed;
    Pending pending = Pending::None;
    std::map<int, PendingValue> values;
    bool changedInTransaction = false;
    /// The rows in the order the set was opened with, as their indices in rows; empty when the set shows the
    /// rows in the order they were read. Positions, hidden flags and finds count in this order.
    std::vector<quint32> order;

    qsizetype stored(qsizetype row) const { return order.empty() ? row : qsizetype(order[size_t(row)]); }

    /// Column names asked for, with their index: a loop that reads every row asks for the same few names (the
    /// same strings) again and again. A name kept here keeps its characters alive, so the same characters are
    /// the same name.
    mutable std::vector<std::pair<QString, int>> knownColumns;
    int columnOf(const QString& name) const
    {
        for (const auto& [known, index] : knownColumns) {
            if (known.constData() == name.constData() && known.size() == name.size())
                return index;
        }
        const int index = rows->columnIndex(name);
        if (knownColumns.size() < 16)
            knownColumns.emplace_back(name, index);
        return index;
    }

    bool isHidden(qsizetype row) const { return !hidden.empty() && hidden[size_t(row)] != 0; }

    /// True when the row exists, reading the set on as far as needed; a failure to read on is reported once.
    bool hasRow(qsizetype row)
    {
        if (!rows)
            return false;
        if (row < rows->rowCount())
            return true;
        const bool has = rows->fetchTo(row);
        reportLateError();
        return has;
    }
    void readAll()
    {
        if (!rows)
            return;
        rows->fetchAll();
        reportLateError();
    }
    void reportLateError()
    {
        if (const QString error = rows->takeLateError(); !error.isEmpty())
            report(error);
    }
    qsizetype nextVisible(qsizetype from)
    {
        while (hasRow(from) && isHidden(from))
            ++from;
        return from;
    }
    bool onRow()
    {
        if (keyed)
            return keyed->onRow;
        return hasRow(position) && !isHidden(position);
    }
    std::shared_ptr<EngineConnection> engine() const { return connection ? connection->engine() : nullptr; }

    void cancelPending()
    {
        pending = Pending::None;
        values.clear();
    }

    /// Gives a position found by key its index among the rows (reading them all).
    void resolve()
    {
        if (!keyed)
            return;
        readAll();
        qsizetype at = rows->rowCount();
        if (keyed->onRow) {
            qsizetype low = 0, high = rows->rowCount();
            while (low < high) {
                const qsizetype middle = low + (high - low) / 2;
                if (rows->key(middle) < keyed->key)
                    low = middle + 1;
                else
                    high = middle;
            }
            if (low < rows->rowCount() && rows->key(low) == keyed->key)
                at = low;
        }
        position = at;
        keyed.reset();
    }
    /// Every row read and the position an index: before anything that changes rows or hides them.
    void settle()
    {
        resolve();
        readAll();
    }

    void hide(qsizetype row, quint8 reason)
    {
        if (hidden.empty())
            hidden.assign(size_t(rows->rowCount()), 0);
        if (hidden[size_t(row)] == 0)
            ++hiddenCount;
        hidden[size_t(row)] |= reason;
    }

    std::optional<RowSnapshot::Cell> current(const QString& column)
    {
        if (!rows)
            return std::nullopt;
        const int index = columnOf(column);
        if (index < 0)
            return std::nullopt;
        if (pending != Pending::None) {
            if (const auto written = values.find(index); written != values.end())
                return written->second.cell();
            if (pending == Pending::Adding)
                return RowSnapshot::Cell{};
        }
        if (keyed) {
            if (!keyed->onRow)
                return std::nullopt;
            return keyed->row->cell(0, index);
        }
        if (!onRow())
            return std::nullopt;
        return rows->cell(stored(position), index);
    }

    /// The Jet type of a column of the set's table, knowing the auto-number (which is never written).
    JetType columnType(int index) const
    {
        const QString& name = rows->column(index).name;
        if (const auto engineNow = engine()) {
            if (const auto columns = engineNow->columns(table)) {
                for (const JetColumn& column : *columns) {
                    if (column.name.compare(name, Qt::CaseInsensitive) == 0)
                        return column.type;
                }
            }
        }
        return rows->column(index).type;
    }

    /// Find on a whole table that is still being read, by its auto-number ("id=12"): the rows come in key
    /// order, so the engine looks the row up by its key instead of the set reading every row before it. The
    /// engine's read transaction, held by the set, keeps the row as the set would show it. Nothing when the
    /// find is not of that kind; otherwise whether the row was found.
    std::optional<bool> findByKey(const RowCriteria& criteria, int column)
    {
        // The column must be the key itself: the table's auto-number, which is its rowid.
        const RowSnapshot::KeyPlace key = rows ? rows->keyPlace() : RowSnapshot::KeyPlace();
        if (!wholeTable || key.where != RowSnapshot::KeyPlace::InColumn || key.column != column || !hidden.empty()
            || (!keyed && !hasRow(position)) || rows->isComplete())
            return std::nullopt;
        const std::optional<qint64> wanted = criteria.equalInteger();
        const auto engineNow = engine();
        if (!wanted || !engineNow || !isKeyOrdered(*engineNow))
            return std::nullopt;
        if (keyed && !keyed->onRow)
            return false;
        const qint64 from = keyed ? keyed->key : rows->key(position);
        const qsizetype read = rows->rowCount();
        if (*wanted < from) {
            keyed = KeyedPosition{};
            return false;
        }
        if (!keyed && *wanted <= rows->key(read - 1)) {
            // Among the rows read already.
            for (qsizetype row = position; row < read && rows->key(row) <= *wanted; ++row) {
                if (rows->key(row) == *wanted) {
                    position = row;
                    return true;
                }
            }
            keyed = KeyedPosition{};
            return false;
        }
        EngineStatement lookup(*engineNow, rowByKey());
        if (!lookup)
            return std::nullopt;
        lookup.bind(1, *wanted);
        std::unique_ptr<RowSnapshot> row = RowSnapshot::read(lookup, key, nullptr);
        if (!row || row->columnCount() != rows->columnCount())
            return std::nullopt;
        const bool found = row->rowCount() == 1;
        keyed = KeyedPosition{found, *wanted, found ? std::move(row) : nullptr};
        return found;
    }

    /// The statement that reads one row of the set's table by its key, in the shape of the set's rows.
    QString rowByKey() const
    {
        return LedgerStatements::rowByKey(table, rows->keyPlace().where == RowSnapshot::KeyPlace::Apart);
    }

    /// A full scan of a table without indexes reads its rows in key order.
    bool isKeyOrdered(EngineConnection& engineNow)
    {
        if (!keyOrdered) {
            EngineStatement indexes(engineNow, LedgerStatements::tableIndexes(table));
            keyOrdered = indexes && indexes.step() == EngineStatement::Step::End;
        }
        return *keyOrdered;
    }
};

RecordSet::RecordSet(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
}

RecordSet::~RecordSet() = default;

void RecordSet::setErrorReporter(ErrorReporter reporter)
{
    errorReporter() = std::move(reporter);
}

bool RecordSet::bind(DatabaseConnection* connection)
{
    if (connection == nullptr)
        return false;
    d->connection = connection;
    return true;
}

bool RecordSet::open(const QString& statement)
{
    return openSource(statement, false);
}

bool RecordSet::openSource(const QString& statement, bool wholeTable)
{
    close();
    if (!d->connection || statement.isEmpty())
        return false;
    // A connection that a lock of another program left closed connects once more here.
    const auto engine = d->connection->ready();
    if (!engine) {
        report(d->connection->lastError());
        return false;
    }
    QString table;
    std::unique_ptr<RowSnapshot> rows = wholeTable ? engine->queryLazily(statement, RowsReadAtOnce, true, &table)
                                                   : engine->query(statement, true, &table);
    if (!rows) {
        report(engine->lastError());
        return false;
    }
    d->rows = std::move(rows);
    d->table = table;
    d->position = 0;
    d->wholeTable = wholeTable && !table.isEmpty();
    return true;
}

bool RecordSet::openTable(const QString& table)
{
    close();
    if (!d->connection || table.isEmpty())
        return false;
    const QString statement = LedgerStatements::wholeTable(table);
    if (statement.isEmpty()) {
        report(EngineMessage::refused(u"Invalid table name '%1'."_s.arg(table)));
        return false;
    }
    return openSource(statement, true);
}

bool RecordSet::openOrdered(const QString& table, const QString& order)
{
    const QString statement = LedgerStatements::ordered(table, order);
    // An order by one column is the set's own work: the engine reads the table as it lies, which is far less
    // than sorting it, and the rows are ordered here as the engine would order them.
    const std::optional<SortKey> key = SortKey::parse(order);
    if (!key)
        return open(statement);
    const QString unsorted = LedgerStatements::wholeTable(table);
    if (unsorted.isEmpty())
        return open(statement);
    if (!openSource(unsorted, false))
        return false;
    // The whole table is in the snapshot now; the engine's page cache holds only the table's last pages, which
    // nothing reads again soon. Released, its memory serves the rows built from the snapshot next: at a million
    // records that is some 2 MB off the peak of a refill, when the snapshot and the grid's rows are both held.
    if (const auto engine = d->connection->engine())
        engine->releaseMemory();
    const int column = d->rows->columnIndex(key->column);
    if (column < 0 || d->rows->rowCount() > qsizetype(std::numeric_limits<quint32>::max())) {
        // Not a column of the table: the engine names the fault.
        return open(statement);
    }
    d->order = sortedRows(*d->rows, column, key->descending);
    return true;
}

void RecordSet::close()
{
    d->keyed.reset();
    d->rows.reset();
    d->hidden.clear();
    d->hiddenCount = 0;
    d->position = 0;
    d->table.clear();
    d->wholeTable = false;
    d->keyOrdered.reset();
    d->order = std::vector<quint32>();
    d->knownColumns.clear();
    d->cancelPending();
}

bool RecordSet::isOpen() const
{
    return d->rows != nullptr;
}

bool RecordSet::moveFirst()
{
    if (!d->rows)
        return false;
    d->cancelPending();
    const qsizetype first = d->nextVisible(0);
    if (!d->hasRow(first))
        return false;
    d->keyed.reset();
    d->position = first;
    return true;
}

bool RecordSet::moveNext()
{
    if (!d->rows)
        return false;
    d->cancelPending();
    if (d->keyed && !d->keyed->onRow)
        return false;
    d->resolve();
    if (!d->hasRow(d->position))
        return false;
    d->position = d->nextVisible(d->position + 1);
    return true;
}

bool RecordSet::atEnd() const
{
    if (!d->rows)
        return true;
    if (d->pending == Private::Pending::Adding)
        return false;
    if (d->keyed)
        return !d->keyed->onRow;
    return !d->hasRow(d->nextVisible(d->position));
}

int RecordSet::rowCount() const
{
    if (!d->rows)
        return -1;
    d->readAll();
    return int(d->rows->rowCount() - d->hiddenCount);
}

bool RecordSet::find(const QString& criteria, int direction)
{
    if (!d->rows || direction != 1)
        return false;
    const auto parsed = RowCriteria::parse(criteria);
    if (!parsed)
        return false;
    const int column = d->rows->columnIndex(parsed->column());
    if (column < 0)
        return false;
    d->cancelPending();
    if (const std::optional<bool> found = d->findByKey(*parsed, column))
        return *found;
    d->resolve();
    for (qsizetype row = d->position; d->hasRow(row); ++row) {
        if (!d->isHidden(row) && parsed->matches(d->rows->cell(d->stored(row), column))) {
            d->position = row;
            return true;
        }
    }
    d->position = d->rows->rowCount();
    return false;
}

bool RecordSet::readText(const QString& column, QString& value) const
{
    const auto cell = d->current(column);
    value = cell ? textOf(*cell) : QString();
    return cell.has_value();
}

bool RecordSet::readUtf8(const QString& column, QByteArrayView& bytes) const
{
    const auto cell = d->current(column);
    if (!cell || (cell->kind != RowSnapshot::Kind::Text && cell->kind != RowSnapshot::Kind::Null))
        return false;
    bytes = cell->bytes;
    return true;
}

bool RecordSet::readNumber(const QString& column, double& value) const
{
    const auto cell = d->current(column);
    if (!cell)
        return false;
    if (cell->kind == RowSnapshot::Kind::Double) {
        value = cell->real();
        return true;
    }
    if (cell->kind == RowSnapshot::Kind::Currency) {
        value = Money::toDouble(cell->value);
        return true;
    }
    return false;
}

bool RecordSet::readInteger(const QString& column, qint64& value) const
{
    const auto cell = d->current(column);
    if (!cell || cell->kind != RowSnapshot::Kind::Integer)
        return false;
    value = cell->value;
    return true;
}

bool RecordSet::readDateTime(const QString& column, QDateTime& value) const
{
    const auto cell = d->current(column);
    if (!cell || cell->kind != RowSnapshot::Kind::DateTime)
        return false;
    const auto when = JetDateTime::fromPacked(cell->value);
    if (!when)
        return false;
    value = when->toDateTime();
    return true;
}

bool RecordSet::readDate(const QString& column, QDate& value) const
{
    const auto cell = d->current(column);
    if (!cell || cell->kind != RowSnapshot::Kind::DateTime)
        return false;
    const auto when = JetDateTime::fromPacked(cell->value);
    if (!when)
        return false;
    value = when->date();
    return true;
}

bool RecordSet::readDate(const QString& column, QDate& value, int& secondOfDay) const
{
    const auto cell = d->current(column);
    if (!cell || cell->kind != RowSnapshot::Kind::DateTime)
        return false;
    const auto when = JetDateTime::fromPacked(cell->value);
    if (!when)
        return false;
    value = when->date();
    // The packed form ends in HHMMSS.
    const qint64 clock = cell->value % 1000000;
    secondOfDay = int(clock / 10000 * 3600 + clock / 100 % 100 * 60 + clock % 100);
    return true;
}

bool RecordSet::readCurrency(const QString& column, qint64& ticks) const
{
    const auto cell = d->current(column);
    if (!cell || cell->kind != RowSnapshot::Kind::Currency)
        return false;
    ticks = cell->value;
    return true;
}

bool RecordSet::isNull(const QString& column) const
{
    const auto cell = d->current(column);
    return !cell || cell->kind == RowSnapshot::Kind::Null;
}

bool RecordSet::addRow()
{
    if (!d->rows || d->table.isEmpty() || !d->engine())
        return false;
    d->cancelPending();
    d->pending = Private::Pending::Adding;
    return true;
}

bool RecordSet::writeText(const QString& column, const QString& text)
{
    if (!d->rows || d->table.isEmpty())
        return false;
    const int index = d->rows->columnIndex(column);
    if (index < 0)
        return false;
    if (d->pending == Private::Pending::None && !d->onRow())
        return false;

    using Kind = RowSnapshot::Kind;
    PendingValue value;
    switch (d->columnType(index)) {
    case JetType::Counter:
        return false; // the engine numbers the rows
    case JetType::Time: {
        const auto when = JetDateTime::parse(text);
        if (!when)
            return false;
        value = {Kind::DateTime, when->packed(), {}};
        break;
    }
    case JetType::Currency: {
        const auto ticks = Money::parseLiteral(text.trimmed());
        if (!ticks)
            return false;
        value = {Kind::Currency, *ticks, {}};
        break;
    }
    case JetType::Integer: {
        bool ok = false;
        const qint64 number = text.trimmed().toLongLong(&ok);
        if (!ok)
            return false;
        value = {Kind::Integer, number, {}};
        break;
    }
    case JetType::Double: {
        bool ok = false;
        const double number = text.trimmed().toDouble(&ok);
        if (!ok)
            return false;
        value = {Kind::Double, std::bit_cast<qint64>(number), {}};
        break;
    }
    case JetType::Boolean: {
        const QString t = text.trimmed();
        if (t.compare(u"true"_s, Qt::CaseInsensitive) == 0 || t == u"-1"_s || t == u"1"_s)
            value = {Kind::Boolean, 1, {}};
        else if (t.compare(u"false"_s, Qt::CaseInsensitive) == 0 || t == u"0"_s)
            value = {Kind::Boolean, 0, {}};
        else
            return false;
        break;
    }
    case JetType::Binary:
        return false;
    default:
        value = {Kind::Text, 0, text.toUtf8()};
        break;
    }
    if (d->pending == Private::Pending::None)
        d->pending = Private::Pending::Editing;
    d->values[index] = std::move(value);
    return true;
}

bool RecordSet::saveRow()
{
    if (!d->rows || d->pending == Private::Pending::None)
        return false;
    d->settle();
    const auto engine = d->engine();
    const bool adding = d->pending == Private::Pending::Adding;
    if (!engine || (!adding && !d->onRow())) {
        d->cancelPending();
        return false;
    }
    QStringList names;
    for (const auto& [index, value] : d->values)
        names << d->rows->column(index).name;
    EngineStatement statement(
        *engine, adding ? LedgerStatements::insertRow(d->table, names) : LedgerStatements::updateRow(d->table, names));
    if (!statement) {
        d->cancelPending();
        return false;
    }
    int parameter = 1;
    for (const auto& [index, value] : d->values) {
        using Kind = RowSnapshot::Kind;
        switch (value.kind) {
        case Kind::Text:
        case Kind::Blob:
            statement.bindUtf8(parameter, std::string_view(value.bytes.constData(), std::size_t(value.bytes.size())));
            break;
        case Kind::DateTime: {
            statement.bind(parameter, JetDateTime::fromPacked(value.value)->canonical());
            break;
        }
        case Kind::Double:
            statement.bind(parameter, std::bit_cast<double>(value.value));
            break;
        case Kind::Null:
            statement.bindNull(parameter);
            break;
        default:
            statement.bind(parameter, qint64(value.value));
            break;
        }
        ++parameter;
    }
    const qint64 key = adding ? 0 : d->rows->key(d->stored(d->position));
    if (!adding)
        statement.bind(parameter, key);
    d->cancelPending();
    if (!engine->run(statement) || (!adding && engine->changes() == 0))
        return false;

    // The saved row as the file now holds it (its new ID, converted values) joins the snapshot.
    EngineStatement saved(*engine, d->rowByKey());
    if (saved) {
        saved.bind(1, adding ? engine->lastInsertRowid() : key);
        const int apart = d->rows->keyPlace().where == RowSnapshot::KeyPlace::Apart ? 1 : 0;
        if (saved.step() == EngineStatement::Step::Row && saved.columnCount() == d->rows->columnCount() + apart) {
            if (adding) {
                d->rows->appendRow(saved);
                if (!d->order.empty())
                    d->order.push_back(quint32(d->rows->rowCount() - 1));
                if (!d->hidden.empty())
                    d->hidden.push_back(0);
                d->position = d->rows->rowCount() - 1;
            } else {
                d->rows->replaceRow(d->stored(d->position), saved);
            }
        }
    }
    d->changedInTransaction = true;
    return true;
}

bool RecordSet::deleteCurrent()
{
    if (!d->rows || d->table.isEmpty() || d->pending == Private::Pending::Adding || !d->onRow()) {
        d->cancelPending();
        return false;
    }
    d->cancelPending();
    d->settle();
    const auto engine = d->engine();
    if (!engine)
        return false;
    EngineStatement statement(*engine, LedgerStatements::deleteRow(d->table));
    if (!statement)
        return false;
    statement.bind(1, d->rows->key(d->stored(d->position)));
    if (!engine->run(statement) || engine->changes() == 0)
        return false;
    d->hide(d->position, Deleted);
    d->changedInTransaction = true;
    return true;
}

bool RecordSet::setFilter(const QString& filter)
{
    d->cancelPending();
    if (filter.isEmpty()) {
        if (!d->hidden.empty()) {
            d->hiddenCount = 0;
            for (quint8& flags : d->hidden) {
                flags &= quint8(~FilteredOut);
                if (flags != 0)
                    ++d->hiddenCount;
            }
        }
        if (d->rows) {
            d->keyed.reset();
            d->position = d->nextVisible(0);
        }
        return true;
    }
    if (!d->rows)
        return false;
    const auto parsed = RowCriteria::parse(filter);
    const int column = parsed ? d->rows->columnIndex(parsed->column()) : -1;
    if (column < 0)
        return false;
    setFilter(QString());
    d->readAll();
    for (qsizetype row = 0; row < d->rows->rowCount(); ++row) {
        if (!parsed->matches(d->rows->cell(d->stored(row), column)))
            d->hide(row, FilteredOut);
    }
    d->position = d->nextVisible(0);
    return true;
}

bool RecordSet::inTransaction(const std::function<bool()>& fn)
{
    const auto engine = d->engine();
    if (!engine)
        return false;
    const bool outermost = !engine->inTransaction();
    if (!engine->executeNative(outermost ? "BEGIN IMMEDIATE" : "SAVEPOINT ovelta_change"))
        return false;
    const bool changedBefore = d->changedInTransaction;
    d->changedInTransaction = false;
    bool ok = fn();
    if (ok)
        ok = engine->executeNative(outermost ? "COMMIT" : "RELEASE ovelta_change");
    if (!ok) {
        if (outermost) {
            engine->executeNative("ROLLBACK");
        } else {
            engine->executeNative("ROLLBACK TO ovelta_change");
            engine->executeNative("RELEASE ovelta_change");
        }
        if (d->changedInTransaction)
            close();
    }
    d->changedInTransaction = changedBefore || d->changedInTransaction;
    return ok;
}

} // namespace ovelta
