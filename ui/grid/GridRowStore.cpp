#include "ui/grid/GridRowStore.h"

#include "ui/grid/LedgerGrid.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ovelta {

namespace {

constexpr quint32 FirstPageChars = 4096;
constexpr quint32 LargestPageChars = 1u << 20;
constexpr qint32 NoDate = std::numeric_limits<qint32>::min();
constexpr qsizetype LongestText = (qsizetype(1) << 31) - 1;

} // namespace

GridRowStore::GridRowStore() = default;
GridRowStore::~GridRowStore() = default;

void GridRowStore::clear()
{
    // Swapping with empty containers hands the memory back; clear() alone would keep the capacity.
    std::vector<std::unique_ptr<Slot[]>>().swap(m_chunks);
    std::vector<Page>().swap(m_pages);
    m_interned = QStringList();
    m_internIndex = QHash<QString, quint32>();
    m_internUtf8 = QHash<QByteArray, quint32>();
    m_size = 0;
}

void GridRowStore::append(const LedgerRow& row)
{
    static_assert(sizeof(Slot) == 56, "a grid row must stay compact");
    const size_t index = size_t(m_size);
    if ((index & (SlotsPerChunk - 1)) == 0)
        m_chunks.push_back(std::make_unique_for_overwrite<Slot[]>(SlotsPerChunk));
    fill(slotAt(index), row);
    ++m_size;
}

void GridRowStore::fill(Slot& s, const LedgerRow& row)
{
    const QString name = row.name.size() > LongestText ? row.name.left(LongestText) : row.name;
    const QString note = row.note.size() > LongestText ? row.note.left(LongestText) : row.note;
    setCommon(s, row.id, row.amountTicks, row.hasAmount, row.date, row.secondOfDay);
    quint32 offset = 0;
    s.page = storeTexts(name, note, offset);
    s.offset = offset;
    s.nameLength = quint32(name.size());
    s.noteLength = quint32(note.size());
    s.direction = intern(row.direction);
    s.relation = intern(row.relation);
    s.occasion = intern(row.occasion);
}

void GridRowStore::insert(int at, const LedgerRow& row)
{
    append(row);
    const size_t last = size_t(m_size) - 1;
    const size_t target = size_t(std::clamp(at, 0, int(last)));
    if (target == last)
        return;
    // The new slot goes to target; the slots from target to the end move down by one, a chunk at a time, the
    // last slot of each chunk carried into the first of the next.
    const Slot moved = slotAt(last);
    const size_t firstChunk = target >> SlotsPerChunkShift;
    for (size_t c = last >> SlotsPerChunkShift;; --c) {
        Slot* chunk = m_chunks[c].get();
        const size_t begin = c == firstChunk ? (target & (SlotsPerChunk - 1)) : 0;
        const size_t end = c == (last >> SlotsPerChunkShift) ? (last & (SlotsPerChunk - 1)) : SlotsPerChunk - 1;
        std::memmove(chunk + begin + 1, chunk + begin, (end - begin) * sizeof(Slot));
        if (c == firstChunk)
            break;
        chunk[0] = m_chunks[c - 1][SlotsPerChunk - 1];
    }
    slotAt(target) = moved;
}

void GridRowStore::replace(int at, const LedgerRow& row)
{
    fill(slotAt(size_t(at)), row);
}

void GridRowStore::remove(int at)
{
    const size_t last = size_t(m_size) - 1;
    const size_t target = size_t(at);
    const size_t lastChunk = last >> SlotsPerChunkShift;
    for (size_t c = target >> SlotsPerChunkShift; c <= lastChunk; ++c) {
        Slot* chunk = m_chunks[c].get();
        const size_t begin = c == (target >> SlotsPerChunkShift) ? (target & (SlotsPerChunk - 1)) : 0;
        const size_t end = c == lastChunk ? (last & (SlotsPerChunk - 1)) : SlotsPerChunk - 1;
        std::memmove(chunk + begin, chunk + begin + 1, (end - begin) * sizeof(Slot));
        if (c < lastChunk)
            chunk[SlotsPerChunk - 1] = m_chunks[c + 1][0];
    }
    --m_size;
    if ((size_t(m_size) & (SlotsPerChunk - 1)) == 0)
        m_chunks.pop_back();
}

GridRowStore::SortKey GridRowStore::sortKey(const LedgerRow& row)
{
    Slot s{};
    setCommon(s, row.id, 0, false, row.date, row.secondOfDay);
    return {s.julianDay, s.secondOfDay, s.id};
}

void GridRowStore::append(const LedgerRowView& row)
{
    const size_t index = size_t(m_size);
    if ((index & (SlotsPerChunk - 1)) == 0)
        m_chunks.push_back(std::make_unique_for_overwrite<Slot[]>(SlotsPerChunk));
    Slot& s = m_chunks[index >> SlotsPerChunkShift][index & (SlotsPerChunk - 1)];

    // A text that would not fit the slot's length field goes the way of strings, which cut it there.
    if (row.name.size() > LongestText || row.note.size() > LongestText) {
        LedgerRow copy;
        copy.id = row.id;
        copy.direction = QString::fromUtf8(row.direction);
        copy.name = QString::fromUtf8(row.name);
        copy.date = row.date;
        copy.secondOfDay = row.secondOfDay;
        copy.relation = QString::fromUtf8(row.relation);
        copy.occasion = QString::fromUtf8(row.occasion);
        copy.amountTicks = row.amountTicks;
        copy.hasAmount = row.hasAmount;
        copy.note = QString::fromUtf8(row.note);
        append(copy);
        return;
    }
    setCommon(s, row.id, row.amountTicks, row.hasAmount, row.date, row.secondOfDay);
    quint32 offset = 0, nameLength = 0, noteLength = 0;
    s.page = storeUtf8(row.name, row.note, offset, nameLength, noteLength);
    s.offset = offset;
    s.nameLength = nameLength;
    s.noteLength = noteLength;
    s.direction = intern(row.direction);
    s.relation = intern(row.relation);
    s.occasion = intern(row.occasion);
    ++m_size;
}

void GridRowStore::setCommon(Slot& s, qint64 id, qint64 amountTicks, bool hasAmount, const QDate& date, int secondOfDay)
{
    s.id = id;
    s.amountTicks = amountTicks;
    s.hasAmount = hasAmount ? 1 : 0;
    const qint64 jd = date.isValid() ? date.toJulianDay() : qint64(NoDate);
    // Dates whose day number does not fit are far outside any calendar the ledger can hold; they show empty.
    s.julianDay = (jd > std::numeric_limits<qint32>::max() || jd <= NoDate) ? NoDate : qint32(jd);
    s.secondOfDay = s.julianDay == NoDate ? 0 : std::clamp(secondOfDay, 0, 86399);
}

QDate GridRowStore::date(int row) const
{
    const qint32 jd = slot(row).julianDay;
    return jd == NoDate ? QDate() : QDate::fromJulianDay(jd);
}

QString GridRowStore::name(int row) const
{
    const Slot& s = slot(row);
    if (s.nameLength == 0)
        return {};
    return QString(reinterpret_cast<const QChar*>(m_pages[s.page].chars.get() + s.offset), qsizetype(s.nameLength));
}

QString GridRowStore::note(int row) const
{
    const Slot& s = slot(row);
    if (s.noteLength == 0)
        return {};
    return QString(reinterpret_cast<const QChar*>(m_pages[s.page].chars.get() + s.offset + s.nameLength),
                   qsizetype(s.noteLength));
}

quint32 GridRowStore::intern(const QString& text)
{
    const auto found = m_internIndex.constFind(text);
    if (found != m_internIndex.constEnd())
        return found.value();
    const quint32 index = quint32(m_interned.size());
    m_interned.append(text);
    m_internIndex.insert(text, index);
    return index;
}

quint32 GridRowStore::intern(QByteArrayView utf8)
{
    // A lookup with the bytes in place; only a text met for the first time is copied.
    const QByteArray key = QByteArray::fromRawData(utf8.data(), utf8.size());
    const auto found = m_internUtf8.constFind(key);
    if (found != m_internUtf8.constEnd())
        return found.value();
    const quint32 index = intern(QString::fromUtf8(utf8));
    m_internUtf8.insert(QByteArray(utf8.data(), utf8.size()), index);
    return index;
}

GridRowStore::Page& GridRowStore::reserve(quint64 needed)
{
    if (m_pages.empty() || quint64(m_pages.back().capacity - m_pages.back().used) < needed) {
        // Pages grow so that a small ledger stays small and a large one needs few allocations; a text longer
        // than the largest page gets a page of its own.
        const quint32 previous = m_pages.empty() ? 0 : m_pages.back().capacity;
        quint64 capacity = std::clamp<quint64>(quint64(previous) * 2, FirstPageChars, LargestPageChars);
        capacity = std::max(capacity, needed);
        Page page;
        page.chars = std::make_unique_for_overwrite<char16_t[]>(size_t(capacity));
        page.capacity = quint32(capacity);
        m_pages.push_back(std::move(page));
    }
    return m_pages.back();
}

quint32 GridRowStore::storeTexts(const QString& first, const QString& second, quint32& offset)
{
    const quint64 needed = quint64(first.size()) + quint64(second.size());
    if (needed == 0) {
        offset = 0;
        return 0;
    }
    Page& page = reserve(needed);
    offset = page.used;
    std::memcpy(page.chars.get() + page.used, first.utf16(), size_t(first.size()) * sizeof(char16_t));
    std::memcpy(page.chars.get() + page.used + first.size(), second.utf16(), size_t(second.size()) * sizeof(char16_t));
    page.used += quint32(needed);
    return quint32(m_pages.size() - 1);
}

quint32 GridRowStore::storeUtf8(QByteArrayView first, QByteArrayView second, quint32& offset, quint32& firstLength,
                                quint32& secondLength)
{
    // UTF-8 never takes fewer bytes than UTF-16 takes characters, so the byte counts are room enough.
    const quint64 room = quint64(first.size()) + quint64(second.size());
    if (room == 0) {
        offset = 0;
        firstLength = secondLength = 0;
        return 0;
    }
    Page& page = reserve(room);
    QChar* const start = reinterpret_cast<QChar*>(page.chars.get() + page.used);
    QChar* const middle = m_decoder.appendToBuffer(start, first);
    QChar* const end = m_decoder.appendToBuffer(middle, second);
    offset = page.used;
    firstLength = quint32(middle - start);
    secondLength = quint32(end - middle);
    page.used += firstLength + secondLength;
    return quint32(m_pages.size() - 1);
}

} // namespace ovelta
