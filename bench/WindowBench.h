#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace ovelta {
class LedgerWindow;
class MainWindow;
} // namespace ovelta

namespace ovelta::bench {

/// The program's own windows in this process (offscreen): a main window over the ledger file lgbk.xc of a
/// folder, created as at start-up (connect, colours, refill, status bar) but without the login, and the paths
/// the user takes from it. Every figure is in milliseconds; -1 when the path failed (see errors()).
class WindowBench
{
public:
    /// Makes folder the current directory (the windows open "lgbk.xc" there) and opens the main window.
    explicit WindowBench(const QString& folder);
    ~WindowBench();
    WindowBench(const WindowBench&) = delete;
    WindowBench& operator=(const WindowBench&) = delete;

    /// The refresh command (ledger refill) until the grid holds every record; expectedRows records.
    double refill(qint64 expectedRows);
    /// The search window's own search, driven through its controls: part of a name, range off.
    double searchByName(const QString& namePart);
    /// The search window's own search: a date range, any direction, any name. Dates as yyyy-MM-dd.
    double searchByDates(const QString& first, const QString& last);
    /// Rows of the grid after the last search, without the two fixed rows.
    qint64 foundRows() const;
    /// From the add command to the record entry window shown and painted.
    double openEntryToAdd();
    /// From the modify command on the grid row of the record with that ID to the window shown and painted,
    /// with the record's values in the controls.
    double openEntryToModify(qint64 id);

    QStringList errors() const { return m_errors; }

private:
    /// Runs a command that opens a modal window and returns the milliseconds from the command to the window's
    /// first paint; the window is closed right after.
    double timeWindowOpen(int command, const QString& windowId, const std::function<void(LedgerWindow*)>& inspect = {});
    void noteBoxes(const QString& where);

    MainWindow* m_main = nullptr;
    QStringList m_errors;
};

} // namespace ovelta::bench
