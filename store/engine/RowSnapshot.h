#pragma once

#include "store/value/JetType.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <array>
#include <memory>
#include <vector>

struct sqlite3_stmt;

namespace ovelta {

class EngineConnection;
class EngineStatement;

/// The rows of one statement: a static snapshot that later changes do not reach. Kept compact for large
/// ledgers: values in fixed-size chunks of 64-bit cells with a kind byte each, texts in one UTF-8 byte arena;
/// date-times packed into their cell.
///
/// A snapshot is read to the end at once (read()), or lazily (start()): then only the first rows are read at
/// once and the rest as they are asked for (fetchTo(), fetchAll()). A lazy snapshot shows the same rows as one
/// read at once: its statement keeps the engine's read transaction open, so no other connection can commit in
/// between, and every change made in this process (EngineConnection's execute, executeNative and run) first
/// reads every lazy snapshot to its end (completeAll()). Another process that writes to the file waits for
/// the snapshot to be complete or dropped.
class RowSnapshot
{
public:
    enum class Kind : quint8 { Null, Integer, Double, Currency, DateTime, Text, Boolean, Blob };

    struct Column
    {
        QString name;
        JetType type = JetType::Unknown;
    };

    /// One value: value is the integer, the ticks of a currency, the packed date-time (JetDateTime::packed)
    /// or the bits of a double; bytes the UTF-8 text or the blob.
    struct Cell
    {
        Kind kind = Kind::Null;
        qint64 value = 0;
        QByteArrayView bytes;

        double real() const;
    };

    /// Where each row's key (the engine's rowid) is: nowhere; in a first column of its own, kept apart from the
    /// columns; or in one of the columns (a table's auto-number, which is its rowid).
    struct KeyPlace
    {
        enum Where : quint8 { None, Apart, InColumn };
        Where where = None;
        int column = -1; ///< for InColumn

        static KeyPlace apart() { return {Apart, -1}; }
        static KeyPlace inColumn(int column) { return {InColumn, column}; }
    };

    /// Steps the statement to its end. Null with the engine's message in error when a step fails.
    static std::unique_ptr<RowSnapshot> read(sqlite3_stmt* statement, KeyPlace key, QString* error);
    static std::unique_ptr<RowSnapshot> read(EngineStatement& statement, KeyPlace key, QString* error);
    /// A lazy snapshot: takes over the prepared statement (finalized when the snapshot is complete or dropped),
    /// keeps owner open as long as it needs it, and reads rowsNow rows at once (all of a shorter result). Null
    /// with the engine's message in error when one of these steps fails.
    static std::unique_ptr<RowSnapshot> start(sqlite3_stmt* statement, std::shared_ptr<EngineConnection> owner,
                                              KeyPlace key, qsizetype rowsNow, QString* error);
    /// Reads every lazy snapshot of the process to its end; called before anything changes the file.
    static void completeAll();
    /// Ends every lazy snapshot where it stands, finalizing its statement (the end of the program).
    static void abandonAll();

    ~RowSnapshot();
    RowSnapshot(const RowSnapshot&) = delete;
    RowSnapshot& operator=(const RowSnapshot&) = delete;

    int columnCount() const { return int(m_columns.size()); }
    const Column& column(int index) const { return m_columns[size_t(index)]; }
    /// Index of the column of that name (ASCII letter case ignored, as Jet does), -1 when none.
    int columnIndex(QStringView name) const;

    /// Rows read so far; the exact count once complete.
    qsizetype rowCount() const { return m_rows; }
    bool isComplete() const { return m_pending == nullptr; }
    /// True when the row exists, reading on as far as needed.
    bool fetchTo(qsizetype row);
    void fetchAll();
    /// The engine's message when reading on failed (once; empty otherwise). The rows read before stay, and the
    /// snapshot ends there.
    QString takeLateError();
    Cell cell(qsizetype row, int column) const;
    KeyPlace keyPlace() const { return m_keyPlace; }
    qint64 key(qsizetype row) const;

    /// Appends the statement's current row (same shape as the snapshot's statement, its key first when the key
    /// is kept apart).
    void appendRow(const EngineStatement& statement);
    /// Overwrites a row with the statement's current row.
    void replaceRow(qsizetype row, const EngineStatement& statement);

private:
    RowSnapshot() = default;
    struct Chunk;
    /// An empty snapshot with the statement's columns.
    static std::unique_ptr<RowSnapshot> describe(sqlite3_stmt* statement, KeyPlace key);
    /// Reads the next row of the pending statement; false at its end or on failure (the statement is then
    /// finalized).
    bool stepPending();
    void finishPending();
    void appendRow(sqlite3_stmt* statement);
    void replaceRow(qsizetype row, sqlite3_stmt* statement);
    void storeRow(qsizetype row, sqlite3_stmt* statement);
    qint64 storeBytes(const char* data, qsizetype size);
    /// As storeBytes, but a short text that the column held before is kept once (direction, relation, kind).
    qint64 storeText(int slot, const char* data, qsizetype size);

    std::vector<Column> m_columns;
    int m_slots = 0; ///< cells per row: the columns, plus the key first when it is kept apart
    int m_firstColumn = 0; ///< slot of the first column: 1 when the key is kept apart
    int m_keySlot = -1;
    KeyPlace m_keyPlace;
    qsizetype m_rows = 0;
    std::vector<std::unique_ptr<Chunk>> m_chunks;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    qsizetype m_blockUsed = 0;
    qsizetype m_blockSize = 0;
    /// Per column, the short texts stored so far that later rows can share.
    struct Repeated
    {
        qint64 reference = 0;
        qsizetype size = 0;
    };
    static constexpr int RepeatedTexts = 8;
    static constexpr qsizetype RepeatedLength = 32;
    std::vector<std::array<Repeated, RepeatedTexts>> m_repeated;
    std::vector<quint8> m_repeatedCount;
    sqlite3_stmt* m_pending = nullptr; ///< the statement of a lazy snapshot that is not complete yet
    std::shared_ptr<EngineConnection> m_owner;
    QString m_lateError;
};

} // namespace ovelta
