#include "ui/GridRowStore.h"

#include "ui/LedgerGrid.h"

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
    m_size = 0;
}

void GridRowStore::append(const LedgerRow& row)
{
    static_assert(sizeof(Slot) == 48, "a grid row must stay compact");
    const size_t index = size_t(m_size);
    if ((index & (SlotsPerChunk - 1)) == 0)
        m_chunks.push_back(std::make_unique_for_overwrite<Slot[]>(SlotsPerChunk));
    Slot& s = m_chunks[index >> SlotsPerChunkShift][index & (SlotsPerChunk - 1)];

    const QString name = row.name.size() > LongestText ? row.name.left(LongestText) : row.name;
    const QString note = row.note.size() > LongestText ? row.note.left(LongestText) : row.note;
    s.id = row.id;
    s.amountTicks = row.amountTicks;
    s.hasAmount = row.hasAmount ? 1 : 0;
    quint32 offset = 0;
    s.page = storeTexts(name, note, offset);
    s.offset = offset;
    s.nameLength = quint32(name.size());
    s.noteLength = quint32(note.size());
    const qint64 jd = row.date.isValid() ? row.date.toJulianDay() : qint64(NoDate);
    // Dates whose day number does not fit are far outside any calendar the ledger can hold; they show empty.
    s.julianDay = (jd > std::numeric_limits<qint32>::max() || jd <= NoDate) ? NoDate : qint32(jd);
    s.direction = intern(row.direction);
    s.relation = intern(row.relation);
    s.kind = intern(row.kind);
    ++m_size;
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

quint32 GridRowStore::storeTexts(const QString& first, const QString& second, quint32& offset)
{
    const quint64 needed = quint64(first.size()) + quint64(second.size());
    if (needed == 0) {
        offset = 0;
        return 0;
    }
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
    Page& page = m_pages.back();
    offset = page.used;
    std::memcpy(page.chars.get() + page.used, first.utf16(), size_t(first.size()) * sizeof(char16_t));
    std::memcpy(page.chars.get() + page.used + first.size(), second.utf16(), size_t(second.size()) * sizeof(char16_t));
    page.used += quint32(needed);
    return quint32(m_pages.size() - 1);
}

} // namespace ovelta
