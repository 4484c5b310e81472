#pragma once

#include <QString>
#include <QtGlobal>

namespace ovelta::bench {

/// Builds benchmark ledgers: a complete database file as the program creates it (every table and seed row),
/// then the records of 收送礼 in one transaction through one prepared statement on the store's engine
/// connection, in the store's own representation (canonical date-time text, ten-thousandths of a yuan).
///
/// The records look like a real ledger: Chinese names from the common surnames, dates spread evenly over
/// thirty years in no particular order (records are often entered long after the day), amounts as people give
/// them, short notes and many empty ones. The same count always gives the same records.
class BenchLedger
{
public:
    /// Creates the file at path (which must not exist) with count records. False on any failure.
    static bool create(const QString& path, qint64 count);

    /// The ID of the record that the generator wrote last (the largest ID of a file with count records).
    static qint64 lastId(qint64 count) { return count; }

    /// A part of a name that the searches look for: one common given-name character.
    static QString namePart();
    /// The first and last day (inclusive) of the date-range search: one year in the middle of the span.
    static QString rangeStart() { return QStringLiteral("2010-01-01"); }
    static QString rangeEnd() { return QStringLiteral("2010-12-31"); }
};

} // namespace ovelta::bench
