#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <optional>

namespace ovelta {

/// A date with a time of day as Jet keeps it: no time zone, years 100 to 9999, whole seconds. The engine stores
/// it as the canonical text "YYYY-MM-DD HH:MM:SS", whose text order is the chronological order.
class JetDateTime
{
public:
    JetDateTime() = default;

    /// Reads the forms a statement or a user's text gives: year-month-day or year/month/day, the year first
    /// with three or four digits, optionally followed by a blank (or "T") and
    /// hours:minutes[:seconds]; a time alone is a time on 1899-12-30. Blanks around are ignored. Empty when
    /// the text is no valid date-time (2011-2-30, 24:00, a year below 100).
    static std::optional<JetDateTime> parse(QStringView text);
    /// Fast exact read of the canonical text (19 bytes, UTF-8), as the engine returns it.
    static std::optional<JetDateTime> fromCanonical(const char* text, qsizetype length);
    static std::optional<JetDateTime> fromPacked(qint64 packed);
    static std::optional<JetDateTime> fromDateTime(const QDateTime& value);

    /// "YYYY-MM-DD HH:MM:SS".
    QString canonical() const;
    /// YYYYMMDDHHMMSS as one integer (keeps the order, compact in row snapshots).
    qint64 packed() const;
    QDate date() const { return QDate(m_year, m_month, m_day); }
    /// Local date-time of the same wall-clock reading.
    QDateTime toDateTime() const;

    friend bool operator==(const JetDateTime&, const JetDateTime&) = default;

private:
    static std::optional<JetDateTime> make(int year, int month, int day, int hour, int minute, int second);

    int m_year = 1899;
    int m_month = 12;
    int m_day = 30;
    int m_hour = 0;
    int m_minute = 0;
    int m_second = 0;
};

} // namespace ovelta
