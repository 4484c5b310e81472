#pragma once

#include <QString>
#include <Qt>

class QAbstractItemModel;
class QTableView;
class QWidget;

namespace ovelta {

/// Copies a table to the clipboard and saves tables and charts as files, for the people and statistics
/// windows. A table goes out as its model shows it (headers, then every row); CSV files are UTF-8 with a byte
/// order mark, so that spreadsheet programs read the Chinese texts.
/// Files are chosen through FileChooser, whose test seam answers for the dialog.
namespace TableExport {

/// A cell's text for the clipboard and files where it differs from the shown one: amounts as exact numbers
/// without the yuan sign. Cells without it go out as shown.
constexpr int ExportRole = Qt::UserRole + 1;

/// The table as lines of tab-separated cells, as spreadsheet programs paste it.
QString tabText(const QAbstractItemModel& model);
/// The table as CSV: cells with a comma, quote or line break quoted, and a text that a spreadsheet would take
/// for a formula (=, +, -, @ in front) kept as text with a leading apostrophe; numbers are left as they are.
QString csvText(const QAbstractItemModel& model);

void copyToClipboard(const QAbstractItemModel& model);
/// The selected cells of the table as lines of tab-separated cells, without the header: the rows and columns
/// from the first selected to the last, in the order shown, a cell between them that is not selected empty.
QString selectionText(const QTableView& table);
/// The copy key (Ctrl+C) in the table copies its selected cells as selectionText() gives them, rather than only
/// the current cell's text.
void copySelectionOnCopyKey(QTableView& table);
/// Asks for a file and writes the CSV to it whole or not at all. A failure is told with a message box.
/// False when nothing was written (cancelled or failed).
bool saveCsv(const QAbstractItemModel& model, const QString& suggested);
/// Asks for a file and saves a picture of the widget as PNG. False when nothing was written.
bool savePng(QWidget& widget, const QString& suggested);

} // namespace TableExport

} // namespace ovelta
