#pragma once

#include "store/ledger/LedgerImport.h"

#include <QDialog>

class QCheckBox;

namespace ovelta {

/// What an import would do, before it does it: the rows refused with their line and reason (which can be saved
/// as a CSV for fixing), the rows equal to a record of the ledger (skipped unless kept), and the relations and
/// occasions that would be added to their lists. Modal for the whole program; accepted by 导入.
///
/// A QDialog run with exec(), not a ModalWindow: its caller reads the accepted or rejected result after exec(),
/// and the transfer tests find and drive the open step as a QDialog (they reject any dialog they do not expect).
class ImportReviewWindow : public QDialog
{
    Q_OBJECT
public:
    /// fileHeader: the file's first row when it is a header (for the saved rejected rows), else empty.
    ImportReviewWindow(const LedgerImport::Checked& checked, const QStringList& fileHeader, QWidget* parent = nullptr);

    bool keepDuplicates() const;

    /// "共…行：…" as the window shows it.
    static QString summary(const LedgerImport::Checked& checked);

private:
    void saveProblems();

    const LedgerImport::Checked& m_checked;
    QStringList m_fileHeader;
    QCheckBox* m_keepDuplicates;
};

} // namespace ovelta
