#pragma once

#include <QString>
#include <optional>

namespace ovelta::Money {

/// Amounts are fixed point: a signed 64-bit count of ten-thousandths of a yuan.
constexpr qint64 TicksPerUnit = 10000;

/// Parses the text the user typed for an amount: blanks (ASCII and full-width) trimmed at both ends,
/// full-width forms folded to ASCII, then exactly one number (optional sign, digits, optional point and
/// digits, optional exponent) that fits the range. No binary floating step. Empty optional when refused.
std::optional<qint64> parseUserAmount(const QString& text);
/// Parses a number literal exactly (as written into a statement); empty optional when it is not one or is
/// out of range. Digits beyond the fourth decimal round half away from zero.
std::optional<qint64> parseLiteral(const QString& text);
/// Shortest exact decimal text of an amount: 66.6, 100, -0.0001.
QString toLiteral(qint64 ticks);
/// Exactly two decimals: 500.00, 1234.50, -20.00.
QString toTwoDecimals(qint64 ticks);
double toDouble(qint64 ticks);

/// An amount in capitals (大写), as banks write amounts so that no one can alter them: the amount rounded to
/// fen (half away from zero), 零 where digits are skipped between others (10005 → 壹万零伍元整), 壹拾 for a
/// leading ten, 整 only for a whole number of yuan (1000.5 → 壹仟元伍角, 0.05 → 伍分, 1.05 → 壹元零伍分), 负 before
/// a negative amount, 零元整 for zero. rounded, when given, tells whether rounding to fen changed the amount.
QString toCapitals(qint64 ticks, bool* rounded = nullptr);

} // namespace ovelta::Money
