#pragma once

#include "store/ledger/LedgerEvents.h"
#include "windows/common/ReportWindow.h"

#include <QColor>
#include <atomic>
#include <future>
#include <memory>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QTimer;

namespace ovelta {

class EditBox;
class EngineConnection;
class LedgerHost;

/// 礼簿: a banquet's gifts entered as fast as the guests arrive. The event is chosen at the top (日期框, 类型框,
/// 收送框, or an earlier event of the ledger from 酒席列表); the entry line below (姓名框, 关系框, 金额框, 说明框)
/// stores each guest as one record of that event when Enter is pressed in its last field, and opens the next
/// empty line. The name completes from the ledger's names by characters or pinyin (候选名单); a known person's
/// latest relation is filled in. The event's lines are listed newest first (礼簿表), editable in place, removable
/// with Del, and Ctrl+Z takes back the last line stored; the count and total stand above them (合计标签). The
/// event prints (打印按钮, Ctrl+P) as a traditional book or as a table, as chosen in 版式框. When the window closes
/// after a change, the host's ledger grid is refilled.
class GiftBookWindow : public ReportWindow
{
    Q_OBJECT
public:
    explicit GiftBookWindow(LedgerHost& host, QWidget* parent = nullptr);
    ~GiftBookWindow() override;

    /// The event the window shows now.
    EventKey event() const;
    /// The event's lines as stored, newest first, as the table lists them (what a printed book shows).
    const QList<GiftRecord>& lines() const { return m_lines; }
    /// The count and total of the event in words: "来宾 3 位　合计 ￥1,200.00　大写：壹仟贰佰元整".
    QString summary() const;
    /// The colour of an amount that deserves a second look.
    static QColor warningColour();

protected:
    /// Qt's event handler stays reachable beside event() above.
    using ReportWindow::event;
    bool load() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    /// A line stored in this window, which Ctrl+Z can take back.
    struct StoredLine
    {
        qint64 id = 0;
        EventKey event;
        GiftLine line;
    };
    struct Person
    {
        QString name;
        QStringList keys; ///< Pinyin keys, made the first time names are matched
    };
    /// The names the window opened with, made ready for the completion: each one's pinyin keys, and every text a
    /// name is found by (the name in lower case and each key) with the person's place, in order, so that the names
    /// a typed text starts are found by a binary search rather than a pass over every name.
    struct NameIndex
    {
        QList<QStringList> keys;
        QList<std::pair<QString, qsizetype>> starts;
    };

    void buildLayout();
    /// Reads the event's lines anew and fills the table.
    void readEvent();
    /// Picks the event of that row of the events list.
    void chooseEvent(int index);
    void fillTable();
    /// askLedger: the amount's warning asks the ledger about the person too (a query for each line).
    void setRow(int row, const GiftRecord& record, bool askLedger = true);
    /// Gives a few more of the lines just listed the warnings that ask the ledger.
    void warnNextRows();
    void showSummary();
    /// Stores the entry line as one record; shows why when it cannot.
    void storeLine();
    void clearLine();
    /// Moves on from a field of the entry line on Enter.
    void enterPressed(QWidget* field);
    void nameChosen();
    void updateCandidates(const QString& typed);
    /// The names' keys and index are made (or were never begun): makeKeys() does not wait.
    bool keysReady() const;
    /// Waits for the names' keys and index the first time they are needed.
    void makeKeys();
    void updateAmountHint();
    /// Why an amount for that person deserves a second look; empty when it does not.
    QString amountWarning(const QString& name, qint64 ticks, qint64 exceptId);
    void cellChanged(QTableWidgetItem* item);
    void deleteCurrentLine();
    void takeBackLastLine();
    /// Prints the event's lines in the style chosen, through the print preview.
    void printBook();
    void lineRemoved(qint64 id);
    /// Brings the events list in line with the current event's count and total, and shows that event as chosen.
    void updateEventList();
    /// Sets the count, total and newest record of an event in the events list, adding it in its place or removing
    /// it when it has no record left; its row, or -1.
    qsizetype setEventEntry(const GiftEvent& event);
    /// Adds the next page of the ledger's events to the events list, when there is one.
    void readMoreEvents();
    static QString eventText(const GiftEvent& event);
    void refuse(const QString& text, QWidget* focus);

    LedgerHost& m_host;
    std::shared_ptr<EngineConnection> m_engine;
    QDateEdit* m_date;
    QComboBox* m_kind;
    QComboBox* m_direction;
    QComboBox* m_events;
    EditBox* m_name;
    QListWidget* m_candidates;
    QComboBox* m_relation;
    EditBox* m_amount;
    QLabel* m_capitals;
    QLineEdit* m_note;
    QPushButton* m_store;
    QLabel* m_summary;
    QTableWidget* m_table;
    QPushButton* m_delete;
    QPushButton* m_undo;
    QComboBox* m_printStyle;
    QPushButton* m_print;

    QList<GiftEvent> m_eventList;
    QDate m_eventsBefore; ///< the next page of events begins before this day
    bool m_eventsRead = false; ///< every event of the ledger is in the list
    QList<GiftRecord> m_lines;
    /// The lines listed without the warnings that ask the ledger, which follow a few at a time once they are shown.
    QList<qint64> m_unwarned;
    QTimer* m_warnTimer = nullptr;
    QList<StoredLine> m_stored; ///< the lines stored in this window, oldest first
    QList<Person> m_people;
    qsizetype m_opened = 0; ///< the people the window opened with, in name order; those stored here follow
    /// The pinyin keys of the names the window opened with, made on a thread of their own meanwhile.
    std::future<NameIndex> m_keys;
    QList<std::pair<QString, qsizetype>> m_starts;
    qsizetype m_indexed = 0; ///< the people m_starts holds; those after them (stored here) are matched one by one
    std::shared_ptr<std::atomic<bool>> m_stopKeys;
    bool m_keysMade = false;
    QStringList m_relations;
    bool m_filling = false;
    bool m_changed = false;
};

} // namespace ovelta
