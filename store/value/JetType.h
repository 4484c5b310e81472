#pragma once

#include <QByteArrayView>
#include <QString>

namespace ovelta {

/// Column types of the ledger's SQL dialect. The engine keeps them in each column's declared type, so every
/// read knows the kind of its value (Time as a date-time, Currency as an exact amount, Counter as an integer).
enum class JetType : quint8 {
    Unknown, ///< no declared type (an expression): the stored value decides
    Counter, ///< auto-number, never reusing a number
    Integer,
    Double,
    Currency, ///< signed 64-bit count of ten-thousandths
    Time, ///< date and time of day, kept as the text "YYYY-MM-DD HH:MM:SS"
    Memo, ///< long text; = and like ignore ASCII letter case
    Text,
    Boolean,
    Binary,
};

/// One column of a table as the dialect sees it.
struct JetColumn
{
    QString name;
    JetType type = JetType::Unknown;
};

namespace JetTypes {

/// The Jet type behind an engine declared type as the dialect writes it ("MEMO TEXT", "TIME TEXT",
/// "CURRENCY INTEGER" ...). primaryKey marks an INTEGER column that is the table's key (a Counter).
JetType fromDeclared(QByteArrayView declared, bool primaryKey = false);

} // namespace JetTypes
} // namespace ovelta
