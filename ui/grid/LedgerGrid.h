#pragma once

#include <QByteArrayView>
#include <QColor>
#include <QDate>
#include <QPageLayout>
#include <QTableView>
#include <functional>
#include <optional>
#include <span>
#include <vector>

class QPrinter;

namespace ovelta {

class GridPrinter;
class LedgerGridModel;

/// One ledger record as the grid keeps it; cell texts are formatted from it when drawn or read.
struct LedgerRow
{
    qint64 id = 0;
    QString direction;
    QString name;
    QDate date; ///< invalid when the record has no date
    QString relation;
    QString occasion;
    qint64 amountTicks = 0; ///< ten-thousandths of a yuan
    bool hasAmount = true;
    QString note;
    int secondOfDay = 0; ///< the time of day of 时间 in seconds; orders the records of one day
};

/// One ledger record with its texts as UTF-8 bytes, as a record set holds them: what a refill hands the grid
/// without making a string of each text. The grid copies what it keeps, so the bytes need only live until the
/// rows have been appended.
struct LedgerRowView
{
    qint64 id = 0;
    QByteArrayView direction;
    QByteArrayView name;
    QDate date; ///< invalid when the record has no date
    QByteArrayView relation;
    QByteArrayView occasion;
    qint64 amountTicks = 0;
    bool hasAmount = true;
    QByteArrayView note;
    int secondOfDay = 0; ///< the time of day of 时间 in seconds
};

/// The ledger grid: two fixed rows (a title merged over the nine columns, and the column headers) that never
/// scroll, then one data row per record with a running number, alternating row colours and a money column.
/// Row indices count the fixed rows: the k-th record is row k+1.
class LedgerGrid : public QTableView
{
    Q_OBJECT
public:
    static constexpr int FixedRows = 2;
    static constexpr int Columns = 9;
    /// The column a row chosen by the keyboard is entered at: the running number (the ID column is hidden).
    static constexpr int FirstShownColumn = 1;

    explicit LedgerGrid(QWidget* parent = nullptr);
    ~LedgerGrid() override;

    /// Empties the grid and builds the two fixed rows; column widths follow the grid's current width.
    /// No row is current afterwards.
    void prepare();
    /// Appends one data row; its running number is the count of data rows so far plus one.
    void appendRow(const LedgerRow& row);
    void appendRows(std::vector<LedgerRow>&& rows);
    /// Appends the rows in one insertion, as appendRows() does.
    void appendRowViews(std::span<const LedgerRowView> rows);
    /// Repaints at once (after a batch of appends).
    void repaintNow();

    /// Puts one record at its place in the ledger's order (newest 时间 first, equal times by ascending ID,
    /// records without a date last): in place of the row with its ID, or inserted when there is none.
    void placeRecord(const LedgerRow& row);
    /// Removes the row of the record with that ID; false when no row holds it.
    bool removeRecord(qint64 id);
    /// True when the data rows are in the ledger's order, so that placeRecord() keeps the order a refill gives.
    bool isInRecordOrder() const;
    /// Leaves the grid as a refill does, its rows kept: no cell focused, column widths from the current width,
    /// scrolled to the top, repainted.
    void settle();

    /// Rows including the two fixed ones.
    int rowCount() const;
    /// Text of a cell: row 0 the title, row 1 the headers, rows 2 and up the data. The money column returns
    /// the amount with two decimals without "￥", and the empty text for zero.
    QString cellText(int row, int column) const;
    /// The focused cell's row and column, or -1 when no cell is focused.
    int currentRow() const;
    int currentColumn() const;
    /// Focuses a data cell as a click on it would; a cell outside the data rows leaves no cell focused.
    void setCurrentCell(int row, int column);
    int columnWidthAt(int column) const;
    /// Background of a data row by its row index; an invalid colour for the fixed rows and beyond the data.
    QColor rowBackground(int row) const;
    void setRowColours(const QColor& even, const QColor& odd);
    /// The tooltip of each amount in the money column, made from its ticks (the amount in capitals).
    void setAmountToolTip(std::function<QString(qint64 ticks)> toolTip);
    /// The stored amount of a grid row (fixed rows counted); none for a row without one.
    std::optional<qint64> amountAt(int row) const;

    /// Paints the title, header and every data row onto the printer's pages, repeating title and header on
    /// each page; the columns share the page width in proportion to their widths, the ID column left out.
    /// Goes page by page with a progress dialog; false when cancelled or failed.
    bool print(QPrinter* printer) const;
    /// The same as a PDF file with the default page layout. The file appears only when complete: cancelled or
    /// failed, it leaves no file and an earlier file of that name as it was.
    bool printToPdf(const QString& path) const;
    /// The modal print preview titled "打印预览"; the window that was active before is active again after it.
    void openPrintPreview();
    /// What paints the grid's pages, for the preview and the printer.
    GridPrinter gridPrinter() const;

    static QString dateText(const QDate& date); ///< "%d年%d月%d日"
    static QString moneyText(qint64 ticks); ///< two decimals; empty for zero
    static QString titleText(); ///< "总 收 送 礼 记 录"
    static QStringList headerTexts();

    /// The page layout shared by the preview and the PDF output: A4 portrait, 15 mm margins.
    static QPageLayout pageLayout();
    static void preparePrinter(QPrinter& printer);

    /// Typing does not move the focus.
    void keyboardSearch(const QString& search) override;

Q_SIGNALS:
    /// A double-click with the left button anywhere in the grid, fixed rows included; the position is not
    /// passed on: the current row is what counts.
    void cellDoubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    /// With no cell focused, Down, Home and Page Down focus the first record and Up, End and Page Up the last;
    /// other keys choose nothing. Once a cell is focused the keys move it as in any table, except Home and End,
    /// which go to the first and the last record in the same column.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    QList<int> columnWidths() const;
    /// Column widths from the grid's current width, ID column hidden, scrolled to the top left.
    void resetView();

    LedgerGridModel* m_model;
};

} // namespace ovelta
