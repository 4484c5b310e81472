#pragma once

#include "store/jet/LedgerStatements.h"
#include "ui/window/Controls.h"
#include "ui/window/LedgerWindow.h"

#include <QHash>
#include <optional>

class QComboBox;

namespace ovelta {

class LedgerHost;

/// The record entry window (添加人情): adds a record, or modifies the one named by the shared selected record ID.
/// The shared entry mode ("添加" or "修改") decides which, once, when the window is created. A modify writes
/// back each field the user left as it was shown exactly as the record had it stored (its time of day, every
/// decimal of its amount, NULL).
///
/// After a successful add the window closes and a fresh, empty add window takes its place, until the user
/// leaves with 返回按钮 or Esc; openModal() returns only then.
class EntryWindow : public LedgerWindow
{
    Q_OBJECT
public:
    explicit EntryWindow(LedgerHost& host, QWidget* parent = nullptr);

    /// Opens this window modally and, after each successful add, a fresh add window in its place; returns when
    /// the last one has been destroyed. Each window of the cycle is opened from this one loop, so the nesting
    /// of modal loops does not grow with the number of records entered. Takes ownership of this window.
    void openModal();

    /// The mode recorded at creation: "添加" or "修改"; empty before created() ran.
    QString mode() const { return m_mode; }

protected:
    void created() override;

private:
    void fillList(QComboBox* box, const QString& table);
    void loadRecord();
    void save();
    void returnToLedger();
    /// Closes this window and has a fresh add window opened in its place.
    void reopenForNextRecord();
    void warnAndFocus(const QString& text, QWidget* control);
    static void selectExactly(QComboBox* box, const QString& text);
    /// The control that edits a column of the record.
    QWidget* editorOf(const QString& column) const;
    /// What the control of a column shows, in a form that tells whether the user changed it.
    QString shownState(const QString& column) const;
    /// Modify mode: true when the control of a column still shows what it showed once the record was loaded.
    bool isUnchanged(const QString& column) const;

    const EntryControls m_controls;
    LedgerHost& m_host;
    QString m_mode;
    /// Modify mode: the record's stored value of each column, and what its control showed once loaded. A column
    /// whose control still shows that is written back as stored.
    QHash<QString, LedgerStatements::StoredValue> m_stored;
    QHash<QString, QString> m_shown;
    /// Set by openModal()'s loop while it runs this window: true asks the loop for a fresh add window.
    bool* m_reopenRequest = nullptr;
};

} // namespace ovelta
