#pragma once

#include "JetType.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace ovelta {

/// Translates one statement of the Jet SQL dialect that the windows write into the engine's SQL, keeping its Jet
/// meaning. Pure: the only outside knowledge is the column list of a table, asked through a lookup.
///
/// - CREATE TABLE / ALTER TABLE ADD: Jet types become declared types that keep the Jet type (JetTypes reads them
///   back): Counter an auto-number that never reuses a number, Memo and Text texts compared without ASCII case,
///   Time the canonical date-time text, Currency an integer count of ten-thousandths, each with a check that
///   refuses any other stored form.
/// - #date# literals (year/month/day, year-month-day or month/day/year, optional time) become the canonical
///   date-time text; "..." texts become '...' texts; & becomes ||; True and False become -1 and 0.
/// - A literal stored into a Time or Currency column (INSERT column list + VALUES, UPDATE SET) or compared with
///   one (=, <>, <, >, <=, >=, BETWEEN, IN) is converted exactly while translating; one that does not convert
///   ('abc', 2011-2-30, one ten-thousandth beyond the range) refuses the statement. Any other expression stored
///   into such a column is wrapped in the engine function TimeFunction / CurrencyFunction, which every
///   connection registers and which fails the statement for a value that does not convert.
/// - One statement only: a trailing semicolon is allowed, anything after it refuses the statement, and so do
///   parameters and statements that are not SELECT, INSERT, UPDATE, DELETE, CREATE TABLE/INDEX, DROP or ALTER.
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
