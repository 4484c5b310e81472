#include "store/value/JetDateTime.h"

namespace ovelta {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

/// A cursor over the text that reads the small numbers of a date-time.
struct Reader
{
    QStringView text;
    qsizetype pos = 0;

    bool atEnd() const { return pos >= text.size(); }
    QChar peek() const { return atEnd() ? QChar() : text[pos]; }

    /// Reads 1..maxDigits decimal digits; digits is set to how many were read.
    std::optional<int> number(int maxDigits, int& digits)
    {
        int value = 0;
        digits = 0;
        while (!atEnd() && peek() >= u'0' && peek() <= u'9') {
            if (++digits > maxDigits)
                return std::nullopt;
            value = value * 10 + (peek().unicode() - u'0');
            ++pos;
        }
        if (digits == 0)
            return std::nullopt;
        return value;
    }
};

} // namespace

std::optional<JetDateTime> JetDateTime::make(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 100 || year > 9999 || !QDate::isValid(year, month, day))
        return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    JetDateTime value;
    value.m_year = year;
    value.m_month = month;
    value.m_day = day;
    value.m_hour = hour;
    value.m_minute = minute;
    value.m_second = second;
    return value;
}

std::optional<JetDateTime> JetDateTime::parse(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    Reader in{text.sliced(begin, end - begin)};
    if (in.atEnd())
        return std::nullopt;

    int digits = 0;
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;

    const auto first = in.number(4, digits);
    if (!first)
        return std::nullopt;
    const int firstDigits = digits;
    bool hasTime = false;
    if (in.peek() == u':') {
        // A time alone: Jet puts it on its day zero.
        hour = *first;
        if (firstDigits > 2)
            return std::nullopt;
        hasTime = true;
    } else {
        const QChar separator = in.peek();
        if (separator != u'-' && separator != u'/')
            return std::nullopt;
        ++in.pos;
        const auto second1 = in.number(2, digits);
        if (!second1 || in.peek() != separator)
            return std::nullopt;
        ++in.pos;
        const auto third = in.number(4, digits);
        if (!third)
            return std::nullopt;
        // The year comes first, always.
        if (firstDigits < 3 || digits > 2)
            return std::nullopt;
        year = *first;
        month = *second1;
        day = *third;
        if (in.atEnd())
            return make(year, month, day, 0, 0, 0);
        if (in.peek() == u'T') {
            ++in.pos;
        } else {
            if (!isBlank(in.peek()))
                return std::nullopt;
            while (!in.atEnd() && isBlank(in.peek()))
                ++in.pos;
        }
        const auto h = in.number(2, digits);
        if (!h || in.peek() != u':')
            return std::nullopt;
        hour = *h;
        hasTime = true;
    }
    if (hasTime) {
        ++in.pos; // the colon after the hours
        const auto m = in.number(2, digits);
        if (!m)
            return std::nullopt;
        minute = *m;
        if (in.peek() == u':') {
            ++in.pos;
            const auto s = in.number(2, digits);
            if (!s)
                return std::nullopt;
            second = *s;
        }
    }
    if (!in.atEnd())
        return std::nullopt;
    return make(year, month, day, hour, minute, second);
}

std::optional<JetDateTime> JetDateTime::fromCanonical(const char* t, qsizetype length)
{
    if (length != 19 || t[4] != '-' || t[7] != '-' || t[10] != ' ' || t[13] != ':' || t[16] != ':')
        return std::nullopt;
    auto digitsAt = [t](int at, int count) -> int {
        int v = 0;
        for (int i = at; i < at + count; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return -1;
            v = v * 10 + (t[i] - '0');
        }
        return v;
    };
    const int year = digitsAt(0, 4);
    const int month = digitsAt(5, 2);
    const int day = digitsAt(8, 2);
    const int hour = digitsAt(11, 2);
    const int minute = digitsAt(14, 2);
    const int second = digitsAt(17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    return make(year, month, day, hour, minute, second);
}

std::optional<JetDateTime> JetDateTime::fromPacked(qint64 packed)
{
    if (packed < 0)
        return std::nullopt;
    const int second = int(packed % 100);
    const int minute = int(packed / 100 % 100);
    const int hour = int(packed / 10000 % 100);
    const int day = int(packed / 1000000 % 100);
    const int month = int(packed / 100000000 % 100);
    const qint64 year = packed / 10000000000LL;
    if (year > 9999)
        return std::nullopt;
    return make(int(year), month, day, hour, minute, second);
}

std::optional<JetDateTime> JetDateTime::fromDateTime(const QDateTime& value)
{
    if (!value.isValid())
        return std::nullopt;
    const QDate d = value.date();
    const QTime t = value.time();
    return make(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

QString JetDateTime::canonical() const
{
    char buffer[20];
    auto put = [&buffer](int at, int value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            buffer[at + i] = char('0' + value % 10);
            value /= 10;
        }
    };
    put(0, m_year, 4);
    buffer[4] = '-';
    put(5, m_month, 2);
    buffer[7] = '-';
    put(8, m_day, 2);
    buffer[10] = ' ';
    put(11, m_hour, 2);
    buffer[13] = ':';
    put(14, m_minute, 2);
    buffer[16] = ':';
    put(17, m_second, 2);
    return QString::fromLatin1(buffer, 19);
}

qint64 JetDateTime::packed() const
{
    return ((((qint64(m_year) * 100 + m_month) * 100 + m_day) * 100 + m_hour) * 100 + m_minute) * 100 + m_second;
}

QDateTime JetDateTime::toDateTime() const
{
    return QDateTime(date(), QTime(m_hour, m_minute, m_second));
}

} // namespace ovelta
