#pragma once

#include "BenchStats.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace ovelta::bench {

/// The figures of one ledger size.
struct SizeResults
{
    qint64 records = 0;
    double creationMs = -1;
    Samples floor; ///< (a)
    Samples plainFloor; ///< (a2) the engine's plain scan, without the order
    Samples refill; ///< (b)
    Samples searchName; ///< (c)
    Samples searchDates; ///< (c)
    qint64 foundByName = 0;
    qint64 foundByDates = 0;
    Samples entryAdd; ///< (d)
    Samples entryModify; ///< (d)
};

/// Everything one run of the benchmark measured, printed as one table and written as JSON.
struct BenchReport
{
    QString machine; ///< processor and core count
    QString loadBefore; ///< /proc/loadavg when the run started and ended
    QString loadAfter;
    double totalSeconds = 0;
    QList<SizeResults> sizes;
    qint64 processRecords = 0;
    Samples startToLogin; ///< (e) to the login window painted
    bool sessionBus = false; ///< the program ran with a session bus
    Samples startFloor; ///< a bare toolkit window started the same way, to its first paint
    Samples loginToGrid; ///< (e) to the main window's grid painted
    qint64 memoryRecords = 0;
    qint64 peakKiB = -1; ///< (f) VmHWM over a session of refill, preview, print and three edits
    QStringList errors;
    /// The parts this run measured; the table shows the rows and verdicts of these alone.
    bool ledgerMeasured = true;
    bool processMeasured = true;
    bool memoryMeasured = true;

    QString table() const;
    QByteArray json() const;
};

} // namespace ovelta::bench
