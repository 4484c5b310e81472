#pragma once

#include "store/engine/RowSnapshot.h"

#include <QString>
#include <optional>

namespace ovelta {

/// One comparison of a row set's find or filter: a column name, an operator (=, <>, <, >, <=, >=) and a
/// number, a 'text' or a #date#, as in "id=12". Numbers compare exactly with integer and Currency values,
/// texts ignore ASCII letter case; a NULL value matches nothing.
class RowCriteria
{
public:
    /// Empty when the text is not one such comparison.
    static std::optional<RowCriteria> parse(const QString& text);

    QString column() const { return m_column; }
    bool matches(const RowSnapshot::Cell& cell) const;
    /// For an equality with a whole number ("id=12"): that number, the one integer value it matches.
    std::optional<qint64> equalInteger() const;

private:
    enum class Operator { Equal, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual };
    enum class Value { Number, Text, Date };

    bool holds(int comparison) const;

    QString m_column;
    Operator m_operator = Operator::Equal;
    Value m_kind = Value::Number;
    std::optional<qint64> m_ticks; ///< a number exactly, when it fits the Currency range
    double m_number = 0;
    QString m_text;
    qint64 m_packedDate = 0;
};

} // namespace ovelta
