#pragma once

#include "windows/common/ReportWindow.h"

#include <QString>

class QTableWidget;

namespace ovelta {

/// The folders the user may want to look into: the ledger's and that of its backups, opened in the desktop's
/// file manager. A folder that does not exist yet, or that the desktop cannot open, is explained in a box.
namespace FolderCommands {

/// The ledger's folder, absolute.
QString ledgerFolder();
/// The backup folder beside the ledger, absolute (it may not exist yet).
QString backupFolder();
/// 打开账簿所在文件夹, and the about window's first folder button.
void openLedgerFolder();
/// The about window's second folder button.
void openBackupFolder();

} // namespace FolderCommands

/// 快捷键: every key of the program in one table (按键, 作用): the keys of the main window as they are installed
/// there (its actions and shortcuts, each once), then the keys every window shares.
class KeysWindow : public ReportWindow
{
    Q_OBJECT
public:
    explicit KeysWindow(QWidget& mainWindow, QWidget* parent = nullptr);

    /// The table's rows, each "key\tmeaning", in order.
    QStringList rows() const;

private:
    QTableWidget* m_table;
};

/// 关于: the product and version, where the ledger and its backups lie (with buttons that open those folders),
/// and the libraries the program is built on with their licences.
class AboutWindow : public ReportWindow
{
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);
};

/// A caption without its mnemonic: "添加人情(&A)" gives "添加人情", "&Print" gives "Print".
QString plainCaption(const QString& caption);

} // namespace ovelta
