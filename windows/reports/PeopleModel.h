#pragma once

#include "store/ledger/LedgerTotals.h"

#include <QAbstractTableModel>
#include <vector>

namespace ovelta {

/// The rows of the people overview: one per person, narrowed by a part of a name and by "only those we still
/// owe", sorted by any column. Works on indices into the loaded people, so that sorting and narrowing stay fast
/// with hundreds of thousands of people.
///
/// Qt::DisplayRole gives the shown texts, Qt::UserRole the plain values (QString, counts, ticks as
/// ReportText::plain() gives them, QDate), TableExport::ExportRole amounts as exact numbers.
class PeopleModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Name, Relation, ReceivedCount, ReceivedSum, GivenCount, GivenSum, Balance, Latest, ColumnCount };

    explicit PeopleModel(QObject* parent = nullptr);

    void setPeople(QList<PersonTotals> people);
    /// Rows whose name (without blanks at both ends, ASCII case ignored) contains the part; empty shows all.
    void setNameFilter(const QString& part);
    /// Only people whose balance is above zero: they gave more than they were given.
    void setOwedOnly(bool owedOnly);

    const PersonTotals& person(int row) const;
    /// The sums of the rows shown; nothing for a sum beyond the range.
    struct Totals
    {
        qint64 people = 0;
        std::optional<GiftSum> received;
        std::optional<GiftSum> given;
        std::optional<Sum> balance;
    };
    Totals shownTotals() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void rebuild();
    void sortRows();
    /// The number person is sorted by in the sorted column (not the relation's).
    Sum sortValue(int person) const;
    /// Name order of the Chinese locale (pinyin), made once when first needed.
    void ensureNameOrder();

    QList<PersonTotals> m_people;
    std::vector<QString> m_keys; ///< per person: LedgerTotals::personKey of the name
    std::vector<quint64> m_prefixes; ///< per person: the first four characters of the key, for sorting
    std::vector<int> m_nameRank; ///< per person: position in name order; empty until needed
    std::vector<int> m_rows; ///< shown rows: indices into m_people
    QString m_filter;
    bool m_owedOnly = false;
    int m_sortColumn = Latest;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
};

} // namespace ovelta
