#include "windows/ledger/LedgerUpdate.h"

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/LedgerStatements.h"
#include "store/ledger/LedgerRecord.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/common/LedgerHost.h"

#include <QPointer>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace ovelta::LedgerUpdate {

namespace {

/// What the grid was last read from: the engine connection, its data version and the rows it had changed.
/// Lives as a child of the grid; a model reset (a refill or a search filling the grid) makes it stale until
/// refilled() records the next refill.
class Snapshot : public QObject
{
public:
    explicit Snapshot(LedgerGrid& grid)
        : QObject(&grid)
        , m_grid(grid)
    {
        setObjectName(u"ledgerSnapshot"_s);
        connect(grid.model(), &QAbstractItemModel::modelReset, this, [this] { forget(); });
    }

    static Snapshot& of(LedgerGrid& grid)
    {
        auto* found
            = dynamic_cast<Snapshot*>(grid.findChild<QObject*>(u"ledgerSnapshot"_s, Qt::FindDirectChildrenOnly));
        return found ? *found : *new Snapshot(grid);
    }

    void take(DatabaseConnection& connection)
    {
        watch(connection);
        forget();
        if (!m_grid.isInRecordOrder())
            return;
        rebase(connection.engine());
    }

    /// True when the host's connection is the one read, no other connection has committed since, and it
    /// changed exactly expectedChanges rows.
    bool holds(DatabaseConnection& connection, qint64 expectedChanges)
    {
        return m_engine && m_engine == connection.engine() && m_engine->dataVersion() == m_dataVersion
            && m_engine->totalChanges() == m_totalChanges + expectedChanges;
    }

    /// After an update in place: the connection's changes so far are in the grid.
    void advance() { m_totalChanges = m_engine->totalChanges(); }

    void forget() { m_engine.reset(); }

private:
    void watch(DatabaseConnection& connection)
    {
        if (m_connection == &connection)
            return;
        if (m_connection)
            disconnect(m_connection, nullptr, this, nullptr);
        m_connection = &connection;
        connect(&connection, &DatabaseConnection::engineChanged, this, [this] { engineChanged(); });
    }

    /// A reconnect closes the connection read and opens another, or keeps it (see DatabaseConnection::connect).
    /// A kept one needs nothing here: holds() compares its data version and changes. A new one takes the old
    /// one's place only when the old one changed nothing since the grid was read and, once the new one has its
    /// own data version, nothing else changed the file meanwhile.
    void engineChanged()
    {
        if (!m_engine || !m_connection)
            return;
        const std::shared_ptr<EngineConnection> replacement = m_connection->engine();
        if (!replacement || replacement == m_engine)
            return;
        if (m_engine->totalChanges() != m_totalChanges) {
            forget();
            return;
        }
        const qint64 version = replacement->dataVersion();
        if (m_engine->dataVersion() != m_dataVersion) {
            forget();
            return;
        }
        m_engine = replacement;
        m_dataVersion = version;
        m_totalChanges = replacement->totalChanges();
        if (m_dataVersion < 0)
            forget();
    }

    void rebase(const std::shared_ptr<EngineConnection>& engine)
    {
        if (!engine)
            return;
        m_dataVersion = engine->dataVersion();
        m_totalChanges = engine->totalChanges();
        if (m_dataVersion >= 0)
            m_engine = engine;
    }

    LedgerGrid& m_grid;
    QPointer<DatabaseConnection> m_connection;
    std::shared_ptr<EngineConnection> m_engine;
    qint64 m_dataVersion = -1;
    qint64 m_totalChanges = 0;
};

/// The record with that ID as the grid shows it, read from the connection that wrote it; nothing when it is not
/// there or cannot be read.
std::optional<LedgerRow> readRecord(DatabaseConnection& connection, qint64 id)
{
    const std::shared_ptr<EngineConnection> engine = connection.engine();
    if (!engine)
        return std::nullopt;
    const auto read = LedgerRecords::byId(*engine, id);
    if (!read || !*read)
        return std::nullopt;
    const LedgerRecord& record = **read;
    LedgerRow row;
    row.id = record.id;
    row.direction = record.direction;
    row.name = record.name;
    if (record.time) {
        row.date = record.time->date();
        const qint64 clock = record.time->packed() % 1000000;
        row.secondOfDay = int(clock / 10000 * 3600 + clock / 100 % 100 * 60 + clock % 100);
    }
    row.relation = record.relation;
    row.occasion = record.occasion;
    row.hasAmount = record.amount.has_value();
    row.amountTicks = record.amount.value_or(0);
    row.note = record.note;
    return row;
}

Outcome refill(LedgerHost& host)
{
    host.ledgerRefill();
    return Outcome::Refilled;
}

std::optional<qint64> recordKey(const QString& recordId)
{
    if (!LedgerStatements::isRecordKey(recordId))
        return std::nullopt;
    bool ok = false;
    const qint64 id = recordId.toLongLong(&ok);
    return ok ? std::optional<qint64>(id) : std::nullopt;
}

/// Places the record read by its ID in the grid; false when it cannot be read.
bool place(LedgerHost& host, Snapshot& snapshot, qint64 id)
{
    const std::optional<LedgerRow> row = readRecord(host.database().connection, id);
    if (!row)
        return false;
    LedgerGrid& grid = host.grid();
    grid.placeRecord(*row);
    grid.settle();
    snapshot.advance();
    return true;
}

} // namespace

void refilled(LedgerHost& host)
{
    Snapshot::of(host.grid()).take(host.database().connection);
}

Outcome afterAdd(LedgerHost& host)
{
    Snapshot& snapshot = Snapshot::of(host.grid());
    DatabaseConnection& connection = host.database().connection;
    if (!snapshot.holds(connection, 1) || !place(host, snapshot, connection.engine()->lastInsertRowid()))
        return refill(host);
    return Outcome::InPlace;
}

Outcome afterModify(LedgerHost& host, const QString& recordId)
{
    Snapshot& snapshot = Snapshot::of(host.grid());
    const std::optional<qint64> id = recordKey(recordId);
    if (!id || !snapshot.holds(host.database().connection, 1) || !place(host, snapshot, *id))
        return refill(host);
    return Outcome::InPlace;
}

Outcome afterDelete(LedgerHost& host, const QString& recordId)
{
    Snapshot& snapshot = Snapshot::of(host.grid());
    const std::optional<qint64> id = recordKey(recordId);
    if (!id || !snapshot.holds(host.database().connection, 1) || !host.grid().removeRecord(*id))
        return refill(host);
    host.grid().settle();
    snapshot.advance();
    return Outcome::InPlace;
}

} // namespace ovelta::LedgerUpdate
