#pragma once

#include "store/ledger/LedgerBackup.h"

#include <QDialog>

class QTableWidget;

namespace ovelta {

/// The list of backups to restore from, newest first: date and time, number of records and size. Modal for the
/// whole program; accepted by 恢复 with a backup selected.
///
/// A QDialog run with exec(), not a ModalWindow: its caller reads the accepted or rejected result after exec(),
/// and the transfer tests find and drive the open step as a QDialog (they reject any dialog they do not expect).
class BackupListWindow : public QDialog
{
    Q_OBJECT
public:
    struct Entry
    {
        LedgerBackup::Backup backup;
        qint64 records = -1; ///< -1 when the backup does not open
    };

    explicit BackupListWindow(const QList<Entry>& entries, const QString& folder, QWidget* parent = nullptr);

    /// The chosen entry's index, or -1.
    int selected() const;
    /// A size as the list shows it: 812 字节, 12.3 KB, 4.5 MB.
    static QString sizeText(qint64 bytes);

private:
    QTableWidget* m_table;
};

} // namespace ovelta
