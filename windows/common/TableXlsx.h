#pragma once

#include "store/value/Failure.h"

#include <QString>

class QAbstractItemModel;

namespace ovelta {

/// A report table saved as an Excel workbook (.xlsx): the model's headers as a frozen bold row, then every row
/// as TableExport sees it. Amounts (TableExport::ExportRole exact numbers) are numbers with a ￥ format, dates
/// (ExportRole YYYY-MM-DD) date cells, counts (an integer under Qt::UserRole, shown as that number) numbers;
/// everything else, names and numbers alike, stays exactly the text shown.
namespace TableXlsx {

/// Writes the workbook whole or not at all.
Done writeXlsx(const QAbstractItemModel& model, const QString& path);
/// Asks for a file through FileChooser and writes the workbook to it. A failure is told with a message box.
/// False when nothing was written (cancelled or failed).
bool saveXlsx(const QAbstractItemModel& model, const QString& suggested);

} // namespace TableXlsx
} // namespace ovelta
