#pragma once

#include "store/value/JetType.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace ovelta {

/// Translates one statement of the Jet SQL dialect that the windows write (store/LedgerStatements) into the
/// engine's SQL, keeping its Jet meaning. It accepts what those statements use and refuses the rest rather than
/// give it another meaning. Pure: the only outside knowledge is the column list of a table, asked through a
/// lookup.
///
/// - CREATE TABLE with columns of the four types Counter, Memo, Time and Currency: each becomes a declared type
///   that keeps the Jet type (JetTypes reads them back): Counter an auto-number that never reuses a number, Memo
///   a text compared without ASCII case, Time the canonical date-time text, Currency an integer count of
///   ten-thousandths, each with a check that refuses any other stored form.
/// - #date# literals (year/month/day or year-month-day, optional time) become the canonical date-time text.
/// - A literal stored into a Time or Currency column (INSERT column list + VALUES, UPDATE SET) or compared with
///   one (column =, <>, <, >, <=, >= literal) is converted exactly while translating; one that does not convert
///   ('abc', 2011-2-30, one ten-thousandth beyond the range) refuses the statement. Any other expression stored
///   into such a column is wrapped in the engine function TimeFunction / CurrencyFunction, which every
///   connection registers and which fails the statement for a value that does not convert.
/// - Texts are between single quotes. Refused: double-quoted texts, names in brackets or backticks, "&", True
///   and False, parameters, a semicolon (one statement only), and statements that are not SELECT, INSERT,
///   UPDATE, DELETE or CREATE TABLE.
class JetDialect
{
public:
    static constexpr const char* TimeFunction = "ovelta_time";
    static constexpr const char* CurrencyFunction = "ovelta_currency";

    /// The columns of a table in their order, or nothing when there is no such table.
    using TableLookup = std::function<std::optional<QList<JetColumn>>(const QString& table)>;

    struct Translation
    {
        bool ok = false;
        QString sql; ///< the engine's statement, without a trailing semicolon
        QString error; ///< why the statement was refused
        bool changesSchema = false;
        /// withRowid was asked and the statement is "select * from TABLE ...": the first result column is then
        /// the row's key in rowidTable.
        bool returnsRowid = false;
        QString rowidTable;
    };

    static Translation translate(const QString& statement, const TableLookup& lookup = {}, bool withRowid = false);

    /// The engine literal of a count of ten-thousandths (the smallest one needs an expression).
    static QString ticksLiteral(qint64 ticks);
};

} // namespace ovelta
