#pragma once

#include "BenchStats.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ovelta {
class MainWindow;
} // namespace ovelta

namespace ovelta::bench {

/// The grid after one edit, at one ledger size.
struct EditResults
{
    qint64 records = 0;
    double floorMs = -1; ///< the size's floor, for the ratios
    Samples loginToGrid; ///< (e) the real program under Xvfb: from the login's Enter to the grid painted
    Samples add; ///< (i) from the add statement to the grid consistent and the event loop idle
    Samples modify; ///< (i) the same for a modify that moves the record to another day
    Samples remove; ///< (i) the same for a delete
    int inPlace = 0; ///< edits the grid took in place
    int edits = 0; ///< edits measured
};

/// The record entry window's add and modify and the main window's delete, as they reach the database and the
/// grid, on the program's own main window (offscreen, in this process) over the ledger file lgbk.xc of a
/// folder, filled as at start-up. Each edit runs its statement on the main window's connection and the grid's
/// update after it, then the event loop until it is idle; every run checks the grid against the ledger.
class EditBench
{
public:
    /// Makes folder the current directory and opens the main window over its ledger.
    explicit EditBench(const QString& folder);
    /// Edits in main, which stays open and the caller's.
    explicit EditBench(MainWindow& main);
    ~EditBench();
    EditBench(const EditBench&) = delete;
    EditBench& operator=(const EditBench&) = delete;

    /// Measures runs adds, modifies and deletes into r; the ledger ends as it began in number of records.
    void measure(EditResults& r, int runs);
    QStringList errors() const { return m_errors; }

private:
    /// Runs the event loop until nothing is left to do.
    static void settle();
    /// Checks that the grid holds records rows and the record with that ID at its place.
    void check(qint64 records, qint64 id, const QString& where);

    MainWindow* m_main = nullptr;
    bool m_ownsMain = true;
    QStringList m_errors;
};

/// The table rows of the edit figures, in the layout of the main table, with the target met or not.
QString editTable(const QList<EditResults>& results, bool editsMeasured = true);
QJsonArray editJson(const QList<EditResults>& results);

} // namespace ovelta::bench
