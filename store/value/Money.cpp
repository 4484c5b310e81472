#include "store/value/Money.h"

#include <QVarLengthArray>
#include <limits>

using namespace Qt::StringLiterals;

namespace ovelta::Money {

namespace {

constexpr int Decimals = 4;

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

/// The magnitude of a ten-thousandths count as its decimal digits, with the point placed.
QString magnitudeText(quint64 magnitude, bool keepTrailingZeros)
{
    QString units = QString::number(magnitude / TicksPerUnit);
    QString fraction = QString::number(magnitude % TicksPerUnit).rightJustified(Decimals, u'0');
    if (!keepTrailingZeros) {
        while (!fraction.isEmpty() && fraction.back() == u'0')
            fraction.chop(1);
    }
    return fraction.isEmpty() ? units : units + u'.' + fraction;
}

quint64 magnitudeOf(qint64 ticks)
{
    return ticks < 0 ? quint64(0) - quint64(ticks) : quint64(ticks);
}

/// Ten-thousandths rounded half away from zero to whole hundredths (cents), kept as a signed magnitude.
quint64 centsMagnitude(qint64 ticks)
{
    const quint64 magnitude = magnitudeOf(ticks);
    return magnitude / 100 + (magnitude % 100 >= 50 ? 1 : 0);
}

} // namespace

std::optional<qint64> parseLiteral(const QString& text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // The digits of the number without its point; pointPosition counts the digits before the point.
    QVarLengthArray<char, 64> digits;
    qsizetype pointPosition = -1;
    bool seenDigit = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isAsciiDigit(c)) {
            seenDigit = true;
            if (digits.isEmpty() && c == u'0' && pointPosition < 0)
                continue; // leading zeros of the whole part
            digits.append(char(c.unicode() - u'0'));
        } else if (c == u'.' && pointPosition < 0) {
            pointPosition = digits.size();
        } else {
            break;
        }
    }
    if (!seenDigit)
        return std::nullopt;
    if (pointPosition < 0)
        pointPosition = digits.size();

    qint64 exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        if (i >= n || !isAsciiDigit(text[i]))
            return std::nullopt;
        for (; i < n && isAsciiDigit(text[i]); ++i) {
            if (exponent < 100000) // far beyond any amount; keeps the count from overflowing
                exponent = exponent * 10 + (text[i].unicode() - u'0');
        }
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != n)
        return std::nullopt;

    // The value is 0.d1d2d3... * 10^(pointPosition + exponent); the ticks are its digits up to the fourth
    // decimal, the fifth deciding the rounding.
    const qint64 wholeDigits = qint64(pointPosition) + exponent;
    const qint64 tickDigits = wholeDigits + Decimals;
    bool allZero = true;
    for (char d : digits) {
        if (d != 0) {
            allZero = false;
            break;
        }
    }
    if (allZero)
        return 0;
    if (tickDigits > 20)
        return std::nullopt;

    quint64 magnitude = 0;
    for (qint64 k = 0; k < tickDigits; ++k) {
        const unsigned d = k < digits.size() && k >= 0 ? unsigned(digits[k]) : 0u;
        if (__builtin_mul_overflow(magnitude, quint64(10), &magnitude)
            || __builtin_add_overflow(magnitude, quint64(d), &magnitude))
            return std::nullopt;
    }
    if (tickDigits >= 0 && tickDigits < digits.size() && digits[tickDigits] >= 5
        && __builtin_add_overflow(magnitude, quint64(1), &magnitude))
        return std::nullopt;
    const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (negative ? 1u : 0u);
    if (magnitude > limit)
        return std::nullopt;
    if (negative)
        return qint64(quint64(0) - quint64(magnitude));
    return qint64(magnitude);
}

std::optional<qint64> parseUserAmount(const QString& text)
{
    auto isBlank = [](QChar c) { return c == u' ' || c == u'\t' || c == QChar(0x3000); };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    QString folded;
    folded.reserve(end - begin);
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = text[i].unicode();
        // The full-width forms U+FF01..U+FF5E mirror ASCII 0x21..0x7E.
        folded.append(c >= 0xFF01 && c <= 0xFF5E ? QChar(char16_t(c - 0xFEE0)) : text[i]);
    }
    return parseLiteral(folded);
}

QString toLiteral(qint64 ticks)
{
    const QString magnitude = magnitudeText(magnitudeOf(ticks), false);
    return ticks < 0 ? u'-' + magnitude : magnitude;
}

QString toTwoDecimals(qint64 ticks)
{
    const quint64 cents = centsMagnitude(ticks);
    const QString text = QString::number(cents / 100) + u'.' + QString::number(cents % 100).rightJustified(2, u'0');
    return ticks < 0 && cents != 0 ? u'-' + text : text;
}

double toDouble(qint64 ticks)
{
    return double(ticks) / double(TicksPerUnit);
}

QString toCapitals(qint64 ticks, bool* rounded)
{
    static const QChar Digits[] = {u'零', u'壹', u'贰', u'叁', u'肆', u'伍', u'陆', u'柒', u'捌', u'玖'};
    static const QString Units[] = {QString(), u"拾"_s, u"佰"_s, u"仟"_s};
    // Ticks to fen, half away from zero, in unsigned arithmetic: the most negative amount has no positive twin.
    const bool negative = ticks < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(ticks) : quint64(ticks);
    const quint64 fenTotal = magnitude / 100 + (magnitude % 100 >= 50 ? 1 : 0);
    if (rounded)
        *rounded = magnitude % 100 != 0;
    const quint64 yuan = fenTotal / 100;
    const int jiao = int(fenTotal / 10 % 10);
    const int fen = int(fenTotal % 10);

    QString text;
    if (negative && fenTotal != 0)
        text += u'负';
    if (yuan != 0) {
        const QByteArray digits = QByteArray::number(yuan);
        const int top = int(digits.size()) - 1; // the position of the highest digit: 0 for 个, 4 for 万 ...
        bool zeroPending = false;
        bool groupHasDigit = false;
        bool hundredMillionsWritten = false;
        for (int position = top; position >= 0; --position) {
            const int digit = digits.at(top - position) - '0';
            if (digit == 0) {
                zeroPending = true;
            } else {
                if (zeroPending)
                    text += Digits[0];
                zeroPending = false;
                groupHasDigit = true;
                text += Digits[digit] + Units[position % 4];
            }
            if (position % 4 == 0 && position > 0 && groupHasDigit) {
                const int group = position / 4;
                if (group == 2) {
                    text += u'亿';
                    hundredMillionsWritten = true;
                } else {
                    text += u'万';
                }
                groupHasDigit = false;
            }
            // 万亿: a group of 万 above the 亿 group that holds no digit still needs its 亿.
            if (position == 8 && !hundredMillionsWritten && top >= 12)
                text += u'亿';
        }
        text += u'元';
    }
    if (jiao == 0 && fen == 0) {
        if (yuan == 0)
            text += u"零元"_s;
        return text + u'整';
    }
    if (jiao != 0)
        text += Digits[jiao] + u'角';
    else if (yuan != 0)
        text += Digits[0]; // fen without jiao: 壹元零伍分
    if (fen != 0)
        text += Digits[fen] + u'分';
    return text;
}

} // namespace ovelta::Money
