#pragma once

#include <QByteArray>
#include <QString>

namespace ovelta {

class LedgerHost;

/// The ledger's ways in and out: CSV export and import, and backups. Each runs on the main window's connection
/// and shows its outcome through the message-box facade; file names come from FileChooser.
namespace TransferCommands {

/// 导出CSV: the whole ledger, or only the rows the grid shows when it shows fewer (the user chooses), to a file
/// written whole or not at all. The file dialog offers CSV first, and an Excel workbook: a name ending in .xlsx
/// is written as a workbook, any other as CSV.
void exportCsv(LedgerHost& host);
/// 导出Excel: the same, with the Excel workbook offered first.
void exportExcel(LedgerHost& host);
/// 导入CSV/Excel: the file (a CSV file, or a sheet of an .xlsx or .xls workbook, told apart by its content) is read and
/// checked, mapped when it is not in the export's format, reviewed, and its chosen rows added in one transaction;
/// the grid is refilled after.
void importCsv(LedgerHost& host);
/// 立即备份: a backup now, then rotation.
void backupNow(LedgerHost& host);
/// 从备份恢复: the list of backups; the chosen one is checked, the current ledger backed up, then restored.
void restoreBackup(LedgerHost& host);

/// At the end of a session: when the session changed the ledger's content (LedgerBackup::changesSinceWatch,
/// counted since the session began) or made the ledger (ledgerAtStart false, a file there now), writes a
/// backup and rotates. A failure is reported in a box; the ledger is never touched. True when nothing needed
/// doing or the backup was written.
bool backupAtSessionEnd(bool ledgerAtStart);

/// Where the mapping of the last import of another CSV file is remembered: beside the ledger.
QString mappingSettingsFile();

} // namespace TransferCommands
} // namespace ovelta
