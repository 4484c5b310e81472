#pragma once

#include "BenchStats.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ovelta::bench {

/// The people and statistics windows over one ledger size, in milliseconds: from the command to the window's
/// first paint, the window closed right after.
struct PeopleResults
{
    qint64 records = 0;
    qint64 people = 0; ///< rows of the overview
    qint64 personRecords = 0; ///< records of the person measured
    double personIndexMs = -1; ///< making the index that finds a person, once per ledger
    Samples scanFloor; ///< the columns the overview reads, stepped through once without adding anything up
    Samples peopleSums; ///< the store's totalsByPerson() alone, part of the overview
    Samples statisticsSums; ///< the store's statisticsCells() alone, part of the statistics
    Samples overview; ///< 往来汇总 opened and painted
    Samples person; ///< 往来明细 of one person opened and painted
    Samples statistics; ///< 人情统计 opened and painted
};

/// Opens the windows over the ledger file lgbk.xc of a folder (the current directory while it runs), with the
/// program's own connection but without a main window, so that no ledger refill is measured with them.
class PeopleBench
{
public:
    static PeopleResults measure(const QString& folder, qint64 records, int runs, QStringList& errors);

    /// The figures as a table beside the targets at 1,000,000 records (overview and statistics under 1 s, one
    /// person under 100 ms), and as JSON.
    static QString table(const QList<PeopleResults>& results);
    static QJsonArray json(const QList<PeopleResults>& results);
};

} // namespace ovelta::bench
