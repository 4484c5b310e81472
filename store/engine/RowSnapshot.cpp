#include "store/engine/RowSnapshot.h"
#include "store/engine/EngineStatement.h"

#include "store/engine/EngineMessage.h"
#include "store/value/JetDateTime.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <sqlcipher/sqlite3.h>
#include <utility>

namespace ovelta {

namespace {

constexpr qsizetype RowsPerChunk = 8192;
constexpr qsizetype BlockSize = qsizetype(1) << 20;

bool sameAsciiInsensitive(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y)
            continue;
        if (x >= u'A' && x <= u'Z')
            x = char16_t(x + 32);
        if (y >= u'A' && y <= u'Z')
            y = char16_t(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

/// The lazy snapshots of the process that are not complete yet.
std::vector<RowSnapshot*>& pendingSnapshots()
{
    static std::vector<RowSnapshot*> snapshots;
    return snapshots;
}

} // namespace

struct RowSnapshot::Chunk
{
    explicit Chunk(int slots)
        : values(std::make_unique_for_overwrite<qint64[]>(size_t(RowsPerChunk * slots)))
        , kinds(std::make_unique_for_overwrite<Kind[]>(size_t(RowsPerChunk * slots)))
    {
    }
    std::unique_ptr<qint64[]> values;
    std::unique_ptr<Kind[]> kinds;
};

double RowSnapshot::Cell::real() const
{
    return std::bit_cast<double>(value);
}

RowSnapshot::~RowSnapshot()
{
    finishPending();
}

std::unique_ptr<RowSnapshot> RowSnapshot::read(sqlite3_stmt* statement, KeyPlace key, QString* error)
{
    std::unique_ptr<RowSnapshot> snapshot = describe(statement, key);
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
        snapshot->appendRow(statement);
    if (rc != SQLITE_DONE) {
        if (error)
            *error = EngineMessage::last(sqlite3_db_handle(statement));
        return nullptr;
    }
    return snapshot;
}

std::unique_ptr<RowSnapshot> RowSnapshot::start(sqlite3_stmt* statement, std::shared_ptr<EngineConnection> owner,
                                                KeyPlace key, qsizetype rowsNow, QString* error)
{
    std::unique_ptr<RowSnapshot> snapshot = describe(statement, key);
    snapshot->m_pending = statement;
    snapshot->m_owner = std::move(owner);
    pendingSnapshots().push_back(snapshot.get());
    while (snapshot->m_rows < rowsNow && snapshot->stepPending()) { }
    if (!snapshot->m_lateError.isEmpty()) {
        if (error)
            *error = snapshot->m_lateError;
        return nullptr;
    }
    return snapshot;
}

void RowSnapshot::completeAll()
{
    // Completing a snapshot takes it off the list.
    while (!pendingSnapshots().empty())
        pendingSnapshots().back()->fetchAll();
}

void RowSnapshot::abandonAll()
{
    while (!pendingSnapshots().empty())
        pendingSnapshots().back()->finishPending();
}

bool RowSnapshot::stepPending()
{
    if (!m_pending)
        return false;
    const int rc = sqlite3_step(m_pending);
    if (rc == SQLITE_ROW) {
        appendRow(m_pending);
        return true;
    }
    if (rc != SQLITE_DONE)
        m_lateError = EngineMessage::last(sqlite3_db_handle(m_pending));
    finishPending();
    return false;
}

void RowSnapshot::finishPending()
{
    if (!m_pending)
        return;
    sqlite3_finalize(m_pending);
    m_pending = nullptr;
    m_owner.reset();
    auto& list = pendingSnapshots();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

bool RowSnapshot::fetchTo(qsizetype row)
{
    while (row >= m_rows && stepPending()) { }
    return row < m_rows;
}

void RowSnapshot::fetchAll()
{
    while (stepPending()) { }
}

QString RowSnapshot::takeLateError()
{
    return std::exchange(m_lateError, QString());
}

std::unique_ptr<RowSnapshot> RowSnapshot::describe(sqlite3_stmt* statement, KeyPlace key)
{
    std::unique_ptr<RowSnapshot> snapshot(new RowSnapshot);
    const int count = sqlite3_column_count(statement);
    snapshot->m_slots = count;
    if (key.where == KeyPlace::Apart && count > 0) {
        snapshot->m_firstColumn = 1;
        snapshot->m_keySlot = 0;
        snapshot->m_keyPlace = key;
    } else if (key.where == KeyPlace::InColumn && key.column >= 0 && key.column < count) {
        snapshot->m_keySlot = key.column;
        snapshot->m_keyPlace = key;
    }
    for (int i = snapshot->m_firstColumn; i < count; ++i) {
        const char* declared = sqlite3_column_decltype(statement, i);
        const char* name = sqlite3_column_name(statement, i);
        snapshot->m_columns.push_back(
            Column{QString::fromUtf8(name ? name : ""),
                   JetTypes::fromDeclared(declared ? QByteArrayView(declared) : QByteArrayView())});
    }
    return snapshot;
}

int RowSnapshot::columnIndex(QStringView name) const
{
    // Exact first: the program names its columns as they are declared. Compared in place, as this runs for
    // every value a refill reads.
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const QString& declared = m_columns[i].name;
        if (declared.size() == name.size() && std::equal(name.begin(), name.end(), declared.begin()))
            return int(i);
    }
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (sameAsciiInsensitive(m_columns[i].name, name))
            return int(i);
    }
    return -1;
}

RowSnapshot::Cell RowSnapshot::cell(qsizetype row, int column) const
{
    const Chunk& chunk = *m_chunks[size_t(row / RowsPerChunk)];
    const qsizetype at = (row % RowsPerChunk) * m_slots + column + m_firstColumn;
    Cell c{chunk.kinds[size_t(at)], chunk.values[size_t(at)], {}};
    if (c.kind == Kind::Text || c.kind == Kind::Blob) {
        const char* p = m_blocks[size_t(quint64(c.value) >> 32)].get() + (c.value & 0xFFFFFFFF);
        quint64 size = 0;
        int shift = 0;
        quint8 byte;
        do {
            byte = quint8(*p++);
            size |= quint64(byte & 0x7F) << shift;
            shift += 7;
        } while (byte & 0x80);
        c.bytes = QByteArrayView(p, qsizetype(size));
    }
    return c;
}

qint64 RowSnapshot::key(qsizetype row) const
{
    if (m_keySlot < 0)
        return 0;
    const Chunk& chunk = *m_chunks[size_t(row / RowsPerChunk)];
    return chunk.values[size_t((row % RowsPerChunk) * m_slots + m_keySlot)];
}

std::unique_ptr<RowSnapshot> RowSnapshot::read(EngineStatement& statement, KeyPlace key, QString* error)
{
    return read(statement.m_statement, key, error);
}

void RowSnapshot::appendRow(const EngineStatement& statement)
{
    appendRow(statement.m_statement);
}

void RowSnapshot::replaceRow(qsizetype row, const EngineStatement& statement)
{
    replaceRow(row, statement.m_statement);
}

void RowSnapshot::appendRow(sqlite3_stmt* statement)
{
    if (m_rows % RowsPerChunk == 0 && size_t(m_rows / RowsPerChunk) == m_chunks.size())
        m_chunks.push_back(std::make_unique<Chunk>(m_slots));
    storeRow(m_rows, statement);
    ++m_rows;
}

void RowSnapshot::replaceRow(qsizetype row, sqlite3_stmt* statement)
{
    storeRow(row, statement);
}

void RowSnapshot::storeRow(qsizetype row, sqlite3_stmt* statement)
{
    Chunk& chunk = *m_chunks[size_t(row / RowsPerChunk)];
    const qsizetype base = (row % RowsPerChunk) * m_slots;
    const int offset = m_firstColumn;
    for (int slot = 0; slot < m_slots; ++slot) {
        const JetType type = slot < offset ? JetType::Integer : m_columns[size_t(slot - offset)].type;
        Kind kind = Kind::Null;
        qint64 value = 0;
        switch (sqlite3_column_type(statement, slot)) {
        case SQLITE_INTEGER:
            value = sqlite3_column_int64(statement, slot);
            kind = type == JetType::Currency ? Kind::Currency
                : type == JetType::Boolean   ? Kind::Boolean
                                             : Kind::Integer;
            break;
        case SQLITE_FLOAT:
            value = std::bit_cast<qint64>(sqlite3_column_double(statement, slot));
            kind = Kind::Double;
            break;
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, slot));
            const int size = sqlite3_column_bytes(statement, slot);
            if (type == JetType::Time) {
                if (const auto when = JetDateTime::fromCanonical(text, size)) {
                    value = when->packed();
                    kind = Kind::DateTime;
                    break;
                }
            }
            value = storeText(slot, text, size);
            kind = Kind::Text;
            break;
        }
        case SQLITE_BLOB: {
            const int size = sqlite3_column_bytes(statement, slot);
            value = storeBytes(static_cast<const char*>(sqlite3_column_blob(statement, slot)), size);
            kind = Kind::Blob;
            break;
        }
        default:
            break;
        }
        chunk.values[size_t(base + slot)] = value;
        chunk.kinds[size_t(base + slot)] = kind;
    }
}

qint64 RowSnapshot::storeText(int slot, const char* data, qsizetype size)
{
    if (size > RepeatedLength)
        return storeBytes(data, size);
    if (m_repeated.empty()) {
        m_repeated.resize(size_t(m_slots));
        m_repeatedCount.assign(size_t(m_slots), 0);
    }
    auto& known = m_repeated[size_t(slot)];
    const int count = m_repeatedCount[size_t(slot)];
    for (int i = 0; i < count; ++i) {
        const Repeated& r = known[size_t(i)];
        // A short text's length takes one byte in front of it.
        if (r.size == size
            && (size == 0
                || std::memcmp(m_blocks[size_t(quint64(r.reference) >> 32)].get() + (r.reference & 0xFFFFFFFF) + 1,
                               data, size_t(size))
                    == 0))
            return r.reference;
    }
    const qint64 reference = storeBytes(data, size);
    if (count < RepeatedTexts) {
        known[size_t(count)] = Repeated{reference, size};
        ++m_repeatedCount[size_t(slot)];
    }
    return reference;
}

qint64 RowSnapshot::storeBytes(const char* data, qsizetype size)
{
    const qsizetype needed = size + 10;
    if (m_blocks.empty() || m_blockUsed + needed > m_blockSize) {
        // A text larger than a block gets a block of its own.
        m_blockSize = std::max(BlockSize, needed);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size_t(m_blockSize)));
        m_blockUsed = 0;
    }
    const qint64 reference = (qint64(m_blocks.size() - 1) << 32) | m_blockUsed;
    char* p = m_blocks.back().get() + m_blockUsed;
    quint64 length = quint64(size);
    do {
        quint8 byte = quint8(length & 0x7F);
        length >>= 7;
        if (length)
            byte |= 0x80;
        *p++ = char(byte);
    } while (length);
    if (size > 0)
        std::memcpy(p, data, size_t(size));
    p += size;
    m_blockUsed = p - m_blocks.back().get();
    return reference;
}

} // namespace ovelta
