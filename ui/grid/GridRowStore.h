#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QHash>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <memory>
#include <vector>

namespace ovelta {

struct LedgerRow;
struct LedgerRowView;

/// Compact storage of the ledger grid's records, built for a million rows: one fixed 56-byte slot per row in
/// chunks (no reallocation of earlier rows while growing), names and notes packed into shared character
/// pages, and the short repeated texts (收送, 关系, 类型) interned so that equal texts are kept once.
/// Rows are appended in bulk, and single rows inserted, replaced or removed after an edit; the texts of a
/// replaced or removed row stay in their page until the store is cleared.
class GridRowStore
{
public:
    GridRowStore();
    ~GridRowStore();
    GridRowStore(const GridRowStore&) = delete;
    GridRowStore& operator=(const GridRowStore&) = delete;

    int size() const { return m_size; }
    /// Releases every row, text page and interned text.
    void clear();
    void append(const LedgerRow& row);
    /// The same from UTF-8 texts, decoded straight into the store's pages (as QString::fromUtf8 would).
    void append(const LedgerRowView& row);
    /// Inserts the row before row at (0 to size()); the rows from at on move down by one.
    void insert(int at, const LedgerRow& row);
    /// Puts the row in place of row at.
    void replace(int at, const LedgerRow& row);
    /// Removes row at; the rows after it move up by one.
    void remove(int at);

    /// The ledger's order of records: newest 时间 first (day, then time of day), equal times by ascending ID,
    /// records without a date last.
    struct SortKey
    {
        qint32 day;
        qint32 second;
        qint64 id;
        /// True when a record with this key comes before one with other.
        bool before(const SortKey& other) const
        {
            if (day != other.day)
                return day > other.day;
            if (second != other.second)
                return second > other.second;
            return id < other.id;
        }
    };
    SortKey sortKey(int row) const
    {
        const Slot& s = slot(row);
        return {s.julianDay, s.secondOfDay, s.id};
    }
    static SortKey sortKey(const LedgerRow& row);

    qint64 id(int row) const { return slot(row).id; }
    qint64 amountTicks(int row) const { return slot(row).amountTicks; }
    bool hasAmount(int row) const { return slot(row).hasAmount != 0; }
    QDate date(int row) const;
    QString direction(int row) const { return m_interned.at(slot(row).direction); }
    QString relation(int row) const { return m_interned.at(slot(row).relation); }
    QString occasion(int row) const { return m_interned.at(slot(row).occasion); }
    QString name(int row) const;
    QString note(int row) const;

private:
    struct Slot
    {
        qint64 id;
        qint64 amountTicks;
        quint32 page;
        quint32 offset;
        quint32 nameLength;
        quint32 noteLength : 31;
        quint32 hasAmount : 1;
        qint32 julianDay;
        qint32 secondOfDay;
        quint32 direction;
        quint32 relation;
        quint32 occasion;
    };
    struct Page
    {
        std::unique_ptr<char16_t[]> chars;
        quint32 capacity = 0;
        quint32 used = 0;
    };

    static constexpr int SlotsPerChunkShift = 12;
    static constexpr int SlotsPerChunk = 1 << SlotsPerChunkShift;

    const Slot& slot(int row) const
    {
        return m_chunks[size_t(row) >> SlotsPerChunkShift][size_t(row) & (SlotsPerChunk - 1)];
    }
    quint32 intern(const QString& text);
    quint32 intern(QByteArrayView utf8);
    /// Stores the characters of both texts back to back; returns the page index and sets the offset.
    quint32 storeTexts(const QString& first, const QString& second, quint32& offset);
    /// The same for UTF-8 texts; also sets the decoded lengths.
    quint32 storeUtf8(QByteArrayView first, QByteArrayView second, quint32& offset, quint32& firstLength,
                      quint32& secondLength);
    /// Makes room for needed more characters in the last page; returns it.
    Page& reserve(quint64 needed);
    static void setCommon(Slot& s, qint64 id, qint64 amountTicks, bool hasAmount, const QDate& date, int secondOfDay);
    /// Writes the row into slot s, its texts appended to the pages.
    void fill(Slot& s, const LedgerRow& row);
    Slot& slotAt(size_t row) { return m_chunks[row >> SlotsPerChunkShift][row & (SlotsPerChunk - 1)]; }

    std::vector<std::unique_ptr<Slot[]>> m_chunks;
    std::vector<Page> m_pages;
    QStringList m_interned;
    QHash<QString, quint32> m_internIndex;
    QHash<QByteArray, quint32> m_internUtf8;
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
    int m_size = 0;
};

} // namespace ovelta
