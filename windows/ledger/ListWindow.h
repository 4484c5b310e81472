#pragma once

#include "store/jet/LedgerStatements.h"
#include "ui/window/Controls.h"
#include "ui/window/LedgerWindow.h"

class QTreeWidget;

namespace ovelta {

class LedgerHost;

/// The two lookup list windows: relations (来往关系管理, table 关系) and banquet types (酒席类型管理, table 类型).
/// One behaviour for both; everything that differs between them (table, column title, statements, message
/// texts) comes from the window's row of a table of differences.
///
/// The list shows one row per table row in the engine's order: column 0 the ID, column 1 the entry text.
/// Every entry text reaches the engine quoted, so an apostrophe in it is stored like any other character.
class ListWindow : public LedgerWindow
{
    Q_OBJECT
public:
    enum Kind { Relations, Occasions };

    /// What differs between the two windows.
    struct Differences
    {
        QString columnTitle; ///< title of the list's second column
        LedgerStatements::LookupList list; ///< the table the window lists and edits
        QString emptyText, emptyTitle;
        QString duplicateText, duplicateTitle;
        QString refusedText, refusedTitle;
        QString doneText, doneTitle;
    };
    static const Differences& differences(Kind kind);

    ListWindow(LedgerHost& host, Kind kind, QWidget* parent = nullptr);

protected:
    void created() override;

private:
    /// Reads the table afresh through a new 外部数据库 connection into the list, then focuses 编辑框1.
    void loadList();
    void addEntry();
    void deleteSelected();
    void returnToLedger();

    /// The ID text of the first selected row in list order; empty when no row is selected.
    QString firstSelectedId() const;
    QString& sharedNewEntry() const;
    qint32& sharedListRowSet() const;

    LedgerHost& m_host;
    Kind m_kind;
    const Differences& m_table;
    const ListControls m_controls;
};

} // namespace ovelta
