#pragma once

#include "ui/grid/GridRowStore.h"

#include <functional>
#include <optional>

#include <QAbstractTableModel>
#include <QColor>
#include <span>
#include <vector>

namespace ovelta {

struct LedgerRow;
struct LedgerRowView;

/// The data rows of the ledger grid (the two fixed rows are drawn by the grid's header). Model row r is grid
/// row r + 2. Cell texts are formatted only when a cell is drawn or read; the display role carries the text as
/// drawn (the money column with "￥" in front), CellTextRole the cell's own text (without "￥").
class LedgerGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int Columns = 9;
    static constexpr int IdColumn = 0;
    static constexpr int NumberColumn = 1;
    static constexpr int DateColumn = 4;
    static constexpr int MoneyColumn = 7;
    enum Role { CellTextRole = Qt::UserRole + 1 };

    explicit LedgerGridModel(QObject* parent = nullptr);
    ~LedgerGridModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Removes every row and releases its memory (one model reset).
    void clear();
    /// Appends the rows in one insertion; the vector is emptied.
    void append(std::vector<LedgerRow>&& rows);
    /// Appends the rows in one insertion, copying their texts.
    void append(std::span<const LedgerRowView> rows);

    /// Puts one record at its place in the ledger's order (GridRowStore::SortKey): in place of the row with its
    /// ID when there is one, moved when its place changed, otherwise inserted. Returns its model row.
    int placeRecord(const LedgerRow& row);
    /// Removes the row of the record with that ID; false when no row holds it.
    bool removeRecord(qint64 id);
    /// The model row of the record with that ID, or -1.
    int rowOfId(qint64 id) const;
    /// True when every row comes after the one above it in the ledger's order.
    bool isInRecordOrder() const;

    /// The cell's own text; empty outside the data.
    QString cellText(int row, int column) const;
    /// The cell's text as drawn: the money column gets "￥" in front unless it is empty.
    QString displayText(int row, int column) const;
    /// Background of a data row: by the parity of its grid row index, which is that of the model row.
    QColor background(int row) const { return (row % 2 == 0) ? m_even : m_odd; }
    void setRowColours(const QColor& even, const QColor& odd);

    /// The tooltip of an amount in the money column (the amount in capitals), from its ticks; none when unset.
    using AmountToolTip = std::function<QString(qint64 ticks)>;
    void setAmountToolTip(AmountToolTip toolTip) { m_amountToolTip = std::move(toolTip); }
    /// The stored amount of a data row, and whether it has one.
    std::optional<qint64> amount(int row) const;

private:
    /// Tells the views that the rows from row on have new running numbers and colours.
    void renumberFrom(int row);

    GridRowStore m_rows;
    AmountToolTip m_amountToolTip;
    QColor m_even;
    QColor m_odd;
};

} // namespace ovelta
