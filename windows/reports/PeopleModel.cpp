#include "windows/reports/PeopleModel.h"

#include "windows/common/ReportText.h"
#include "windows/common/TableExport.h"

#include <QCollator>
#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

bool addChecked(std::optional<GiftSum>& total, const GiftSum& value)
{
    if (!total)
        return false;
    if (__builtin_add_overflow(total->count, value.count, &total->count)
        || __builtin_add_overflow(total->ticks, value.ticks, &total->ticks)) {
        total.reset();
        return false;
    }
    return true;
}

} // namespace

PeopleModel::PeopleModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void PeopleModel::setPeople(QList<PersonTotals> people)
{
    beginResetModel();
    m_people = std::move(people);
    m_keys.clear();
    m_keys.reserve(std::size_t(m_people.size()));
    m_prefixes.clear();
    m_prefixes.reserve(std::size_t(m_people.size()));
    for (const PersonTotals& p : m_people) {
        m_keys.push_back(LedgerTotals::personKey(p.name));
        // The first four UTF-16 units, the first in the highest bits: ordered as the texts are, up to ties.
        quint64 prefix = 0;
        const QString& key = m_keys.back();
        for (qsizetype i = 0; i < 4; ++i)
            prefix = (prefix << 16) | (i < key.size() ? key.at(i).unicode() : 0);
        m_prefixes.push_back(prefix);
    }
    m_nameRank.clear();
    rebuild();
    endResetModel();
}

void PeopleModel::setNameFilter(const QString& part)
{
    const QString key = LedgerTotals::personKey(part);
    if (key == m_filter)
        return;
    beginResetModel();
    m_filter = key;
    rebuild();
    endResetModel();
}

void PeopleModel::setOwedOnly(bool owedOnly)
{
    if (owedOnly == m_owedOnly)
        return;
    beginResetModel();
    m_owedOnly = owedOnly;
    rebuild();
    endResetModel();
}

const PersonTotals& PeopleModel::person(int row) const
{
    return m_people.at(m_rows.at(std::size_t(row)));
}

PeopleModel::Totals PeopleModel::shownTotals() const
{
    Totals totals;
    totals.people = qint64(m_rows.size());
    totals.received = GiftSum{};
    totals.given = GiftSum{};
    for (const int i : m_rows) {
        const PersonTotals& p = m_people.at(i);
        addChecked(totals.received, p.received);
        addChecked(totals.given, p.given);
    }
    if (totals.received && totals.given) {
        Sum balance = 0;
        if (!__builtin_sub_overflow(totals.received->ticks, totals.given->ticks, &balance))
            totals.balance = balance;
    }
    return totals;
}

void PeopleModel::rebuild()
{
    m_rows.clear();
    for (int i = 0; i < int(m_people.size()); ++i) {
        if (m_owedOnly && m_people.at(i).balance <= 0)
            continue;
        if (!m_filter.isEmpty() && !m_keys.at(std::size_t(i)).contains(m_filter))
            continue;
        m_rows.push_back(i);
    }
    sortRows();
}

void PeopleModel::ensureNameOrder()
{
    if (!m_nameRank.empty() || m_people.isEmpty())
        return;
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> sortKeys;
    sortKeys.reserve(m_keys.size());
    for (const QString& key : m_keys)
        sortKeys.push_back(collator.sortKey(key));
    std::vector<int> order(m_keys.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = sortKeys[std::size_t(a)].compare(sortKeys[std::size_t(b)]);
        return c != 0 ? c < 0 : m_keys[std::size_t(a)] < m_keys[std::size_t(b)];
    });
    m_nameRank.assign(order.size(), 0);
    for (std::size_t rank = 0; rank < order.size(); ++rank)
        m_nameRank[std::size_t(order[rank])] = int(rank);
}

Sum PeopleModel::sortValue(int person) const
{
    const PersonTotals& p = m_people.at(person);
    switch (m_sortColumn) {
    case Name:
        return m_nameRank[std::size_t(person)];
    case ReceivedCount:
        return p.received.count;
    case ReceivedSum:
        return p.received.ticks;
    case GivenCount:
        return p.given.count;
    case GivenSum:
        return p.given.ticks;
    case Balance:
        return p.balance;
    case Latest:
        // A null date (no dated record) is older than every date.
        return p.latest.isValid() ? p.latest.toJulianDay() : std::numeric_limits<qint64>::min();
    default:
        return 0;
    }
}

void PeopleModel::sortRows()
{
    if (m_sortColumn == Name)
        ensureNameOrder();
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    // Equal values keep one order of the names whichever way the column is sorted. The values and the first
    // characters of the names are laid out side by side, so that sorting a few hundred thousand people compares
    // numbers and reaches for the names themselves only when their first four characters are the same.
    struct Item
    {
        Sum value;
        quint64 prefix;
        int person;
    };
    std::vector<Item> items;
    items.reserve(m_rows.size());
    for (const int person : m_rows)
        items.push_back(
            Item{m_sortColumn == Relation ? 0 : sortValue(person), m_prefixes[std::size_t(person)], person});
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (m_sortColumn == Relation) {
            const int c = QString::compare(m_people.at(a.person).relation, m_people.at(b.person).relation);
            if (c != 0)
                return descending ? c > 0 : c < 0;
        } else if (a.value != b.value) {
            return descending ? a.value > b.value : a.value < b.value;
        }
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return m_keys[std::size_t(a.person)] < m_keys[std::size_t(b.person)];
    });
    for (std::size_t i = 0; i < items.size(); ++i)
        m_rows[i] = items[i].person;
}

void PeopleModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> people;
    for (const QModelIndex& index : before)
        people.push_back(m_rows.at(std::size_t(index.row())));
    m_sortColumn = column;
    m_sortOrder = order;
    sortRows();
    if (!before.isEmpty()) {
        std::vector<int> rowOf(std::size_t(m_people.size()), -1);
        for (std::size_t r = 0; r < m_rows.size(); ++r)
            rowOf[std::size_t(m_rows[r])] = int(r);
        QModelIndexList after;
        for (std::size_t i = 0; i < people.size(); ++i)
            after << index(rowOf[std::size_t(people[i])], before.at(qsizetype(i)).column());
        changePersistentIndexList(before, after);
    }
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int PeopleModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PeopleModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PeopleModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const PersonTotals& p = person(index.row());
    const int column = index.column();
    // A name too long for its column is shown whole here.
    if (role == Qt::ToolTipRole)
        return column == Name ? QVariant(p.name) : QVariant();
    if (role == Qt::TextAlignmentRole) {
        if (column >= ReceivedCount && column <= Balance)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role == Qt::DisplayRole || role == Qt::UserRole || role == TableExport::ExportRole) {
        const bool plain = role == Qt::UserRole;
        const bool exported = role == TableExport::ExportRole;
        auto money = [&](Sum ticks) -> QVariant {
            if (plain)
                return ReportText::plain(ticks);
            return exported ? ReportText::exact(ticks) : ReportText::money(ticks);
        };
        switch (column) {
        case Name:
            return p.name;
        case Relation:
            return p.relation;
        case ReceivedCount:
            return plain ? QVariant(p.received.count) : QVariant(QString::number(p.received.count));
        case ReceivedSum:
            return money(p.received.ticks);
        case GivenCount:
            return plain ? QVariant(p.given.count) : QVariant(QString::number(p.given.count));
        case GivenSum:
            return money(p.given.ticks);
        case Balance:
            return money(p.balance);
        case Latest:
            if (plain)
                return p.latest;
            // Files and copies get YYYY-MM-DD.
            return exported ? ReportText::isoDate(p.latest) : ReportText::date(p.latest);
        default:
            break;
        }
    }
    return {};
}

QVariant PeopleModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList headers
        = {u"姓名"_s, u"关系"_s, u"收礼次数"_s, u"收礼合计"_s, u"送礼次数"_s, u"送礼合计"_s, u"差额"_s, u"最近往来"_s};
    return headers.value(section);
}

} // namespace ovelta
