#pragma once

#include "JetType.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <memory>
#include <vector>

struct sqlite3_stmt;

namespace ovelta {

/// The rows of one statement, read to the end at once: a static snapshot that later changes do not reach.
/// Kept compact for large ledgers: values in fixed-size chunks of 64-bit cells with a kind byte each, texts
/// in one UTF-8 byte arena; date-times packed into their cell.
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

    /// Steps the statement to its end. firstIsKey: the statement's first column is the row's key, kept apart
    /// from the columns. Null with the engine's message in error when a step fails.
    static std::unique_ptr<RowSnapshot> read(sqlite3_stmt* statement, bool firstIsKey, QString* error);

    ~RowSnapshot();
    RowSnapshot(const RowSnapshot&) = delete;
    RowSnapshot& operator=(const RowSnapshot&) = delete;

    int columnCount() const { return int(m_columns.size()); }
    const Column& column(int index) const { return m_columns[size_t(index)]; }
    /// Index of the column of that name (ASCII letter case ignored, as Jet does), -1 when none.
    int columnIndex(QStringView name) const;

    qsizetype rowCount() const { return m_rows; }
    Cell cell(qsizetype row, int column) const;
    bool hasKeys() const { return m_keyed; }
    qint64 key(qsizetype row) const;

    /// Appends the statement's current row (same shape as the snapshot's statement, key first when keyed).
    void appendRow(sqlite3_stmt* statement);
    /// Overwrites a row with the statement's current row.
    void replaceRow(qsizetype row, sqlite3_stmt* statement);

private:
    RowSnapshot() = default;
    struct Chunk;
    void storeRow(qsizetype row, sqlite3_stmt* statement);
    qint64 storeBytes(const char* data, qsizetype size);

    std::vector<Column> m_columns;
    int m_slots = 0; ///< cells per row: the columns, plus the key first when keyed
    bool m_keyed = false;
    qsizetype m_rows = 0;
    std::vector<std::unique_ptr<Chunk>> m_chunks;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    qsizetype m_blockUsed = 0;
    qsizetype m_blockSize = 0;
};

} // namespace ovelta
