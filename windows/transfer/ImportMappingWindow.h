#pragma once

#include "store/ledger/LedgerImport.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QTableWidget;

namespace ovelta {

/// The mapping step of an import of a CSV file that is not in the export's format: a preview of the first rows
/// and, for each field of a record, the column it comes from. Modal for the whole program; accepted only with a
/// column for 收送, 关系 and 类型.
///
/// A QDialog run with exec(), not a ModalWindow: its caller reads the accepted or rejected result after exec(),
/// and the transfer tests find and drive the open step as a QDialog (they reject any dialog they do not expect).
class ImportMappingWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr int PreviewRows = 20;

    /// Starts from mapping (the one remembered from the last import, or a guess).
    ImportMappingWindow(const CsvTable& table, const ColumnMapping& mapping, QWidget* parent = nullptr);

    ColumnMapping mapping() const;

    /// The objectNames of the seven column boxes, in the order of ColumnMapping::Field.
    static QStringList boxNames();

    void accept() override;

private:
    void fillPreview();

    const CsvTable& m_table;
    QTableWidget* m_preview;
    QCheckBox* m_headerRow;
    std::array<QComboBox*, ColumnMapping::FieldCount> m_boxes{};
};

} // namespace ovelta
