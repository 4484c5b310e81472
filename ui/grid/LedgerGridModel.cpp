#include "ui/grid/LedgerGridModel.h"

#include "ui/grid/LedgerGrid.h"

#include <QBrush>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace ovelta {

LedgerGridModel::LedgerGridModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_even(236, 236, 236)
    , m_odd(192, 192, 192)
{
}

LedgerGridModel::~LedgerGridModel() = default;

int LedgerGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int LedgerGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant LedgerGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return displayText(index.row(), index.column());
    case CellTextRole:
        return cellText(index.row(), index.column());
    case Qt::BackgroundRole:
        return QBrush(background(index.row()));
    case Qt::ToolTipRole:
        if (index.column() == MoneyColumn && m_amountToolTip) {
            if (const std::optional<qint64> ticks = amount(index.row()))
                return m_amountToolTip(*ticks);
        }
        return {};
    default:
        return {};
    }
}

QVariant LedgerGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < Columns)
        return LedgerGrid::headerTexts().at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags LedgerGridModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void LedgerGridModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void LedgerGridModel::append(std::vector<LedgerRow>&& rows)
{
    if (!rows.empty()) {
        const int first = m_rows.size();
        beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
        for (const LedgerRow& row : rows)
            m_rows.append(row);
        endInsertRows();
    }
    std::vector<LedgerRow>().swap(rows);
}

void LedgerGridModel::append(std::span<const LedgerRowView> rows)
{
    if (rows.empty())
        return;
    const int first = m_rows.size();
    beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
    for (const LedgerRowView& row : rows)
        m_rows.append(row);
    endInsertRows();
}

int LedgerGridModel::rowOfId(qint64 id) const
{
    for (int row = 0; row < m_rows.size(); ++row)
        if (m_rows.id(row) == id)
            return row;
    return -1;
}

bool LedgerGridModel::isInRecordOrder() const
{
    for (int row = 1; row < m_rows.size(); ++row)
        if (!m_rows.sortKey(row - 1).before(m_rows.sortKey(row)))
            return false;
    return true;
}

int LedgerGridModel::placeRecord(const LedgerRow& record)
{
    const GridRowStore::SortKey key = GridRowStore::sortKey(record);
    const int old = rowOfId(record.id);
    // The first row that does not come before the record, the record's own old row left out.
    int low = 0, high = m_rows.size();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (m_rows.sortKey(middle).before(key))
            low = middle + 1;
        else
            high = middle;
    }
    int place = low;
    if (old >= 0 && old < low)
        --place;
    if (old >= 0 && place == old) {
        m_rows.replace(old, record);
        Q_EMIT dataChanged(index(old, 0), index(old, Columns - 1));
        return old;
    }
    int firstMoved = place;
    if (old >= 0) {
        beginRemoveRows(QModelIndex(), old, old);
        m_rows.remove(old);
        endRemoveRows();
        firstMoved = std::min(old, place);
    }
    beginInsertRows(QModelIndex(), place, place);
    m_rows.insert(place, record);
    endInsertRows();
    renumberFrom(firstMoved);
    return place;
}

bool LedgerGridModel::removeRecord(qint64 id)
{
    const int row = rowOfId(id);
    if (row < 0)
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.remove(row);
    endRemoveRows();
    renumberFrom(row);
    return true;
}

void LedgerGridModel::renumberFrom(int row)
{
    // The running numbers and the colours of the rows below follow their new row index.
    if (row < m_rows.size())
        Q_EMIT dataChanged(index(row, 0), index(m_rows.size() - 1, Columns - 1));
}

QString LedgerGridModel::cellText(int row, int column) const
{
    if (row < 0 || row >= m_rows.size())
        return {};
    switch (column) {
    case 0:
        return QString::number(m_rows.id(row));
    case 1:
        return QString::number(row + 1);
    case 2:
        return m_rows.direction(row);
    case 3:
        return m_rows.name(row);
    case 4:
        return LedgerGrid::dateText(m_rows.date(row));
    case 5:
        return m_rows.relation(row);
    case 6:
        return m_rows.occasion(row);
    case 7:
        return m_rows.hasAmount(row) ? LedgerGrid::moneyText(m_rows.amountTicks(row)) : QString();
    case 8:
        return m_rows.note(row);
    default:
        return {};
    }
}

std::optional<qint64> LedgerGridModel::amount(int row) const
{
    if (row < 0 || row >= m_rows.size() || !m_rows.hasAmount(row))
        return std::nullopt;
    return m_rows.amountTicks(row);
}

QString LedgerGridModel::displayText(int row, int column) const
{
    QString text = cellText(row, column);
    if (column == MoneyColumn && !text.isEmpty())
        text.prepend(u'￥');
    return text;
}

void LedgerGridModel::setRowColours(const QColor& even, const QColor& odd)
{
    m_even = even;
    m_odd = odd;
    if (m_rows.size() > 0)
        Q_EMIT dataChanged(index(0, 0), index(m_rows.size() - 1, Columns - 1), {Qt::BackgroundRole});
}

} // namespace ovelta
