#include "ui/grid/LedgerGrid.h"

#include "ui/grid/GridCellDelegate.h"
#include "ui/grid/GridHeaderView.h"
#include "ui/grid/GridPrinter.h"
#include "ui/grid/LedgerGridModel.h"
#include "ui/print/PrintPreview.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QPrinter>
#include <QScrollBar>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr int RowHeight = GridHeaderView::RowHeight;

/// While a modal window disables the grid, its texts stay legible on both row colours (contrast above 5:1 on
/// RGB 192 and above 8:1 on RGB 236), only muted against the black of an enabled grid.
const QColor DisabledText(64, 64, 64);

} // namespace

LedgerGrid::LedgerGrid(QWidget* parent)
    : QTableView(parent)
    , m_model(new LedgerGridModel(this))
{
    auto* header = new GridHeaderView(this);
    header->setTitle(titleText());
    setHorizontalHeader(header);
    setModel(m_model);
    connect(header, &GridHeaderView::fixedRowsDoubleClicked, this, &LedgerGrid::cellDoubleClicked);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(0);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(RowHeight);

    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setItemDelegate(new GridCellDelegate(this));
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        colours.setColor(QPalette::Disabled, role, DisabledText);
    colours.setColor(QPalette::Disabled, QPalette::Highlight, colours.color(QPalette::Active, QPalette::Highlight));
    colours.setColor(QPalette::Disabled, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(colours);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setAlternatingRowColors(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    prepare();
}

LedgerGrid::~LedgerGrid() = default;

void LedgerGrid::prepare()
{
    // The model reset also drops the focused cell and makes the header forget its sections.
    m_model->clear();
    resetView();
}

void LedgerGrid::resetView()
{
    QHeaderView* header = horizontalHeader();
    header->setSectionHidden(0, true);
    const int w = width();
    // Each width is W divided by the column's factor, truncated; the factors with a decimal are scaled to
    // integers so that no binary fraction can push a quotient below its true value.
    const int widths[Columns] = {0, w / 12, w / 12, w * 10 / 96, w * 2 / 11, w / 11, w / 11, w / 8, w * 10 / 48};
    for (int c = 0; c < Columns; ++c)
        header->resizeSection(c, widths[c]);
    scrollToTop();
    horizontalScrollBar()->setValue(0);
}

void LedgerGrid::placeRecord(const LedgerRow& row)
{
    m_model->placeRecord(row);
}

bool LedgerGrid::removeRecord(qint64 id)
{
    return m_model->removeRecord(id);
}

bool LedgerGrid::isInRecordOrder() const
{
    return m_model->isInRecordOrder();
}

void LedgerGrid::settle()
{
    selectionModel()->clear();
    resetView();
    repaintNow();
}

void LedgerGrid::appendRow(const LedgerRow& row)
{
    std::vector<LedgerRow> one;
    one.push_back(row);
    m_model->append(std::move(one));
}

void LedgerGrid::appendRows(std::vector<LedgerRow>&& rows)
{
    m_model->append(std::move(rows));
}

void LedgerGrid::appendRowViews(std::span<const LedgerRowView> rows)
{
    m_model->append(rows);
}

void LedgerGrid::repaintNow()
{
    horizontalHeader()->viewport()->repaint();
    viewport()->repaint();
}

int LedgerGrid::rowCount() const
{
    return FixedRows + m_model->rowCount();
}

QString LedgerGrid::cellText(int row, int column) const
{
    if (column < 0 || column >= Columns)
        return {};
    if (row == 0)
        return titleText();
    if (row == 1)
        return headerTexts().at(column);
    return m_model->cellText(row - FixedRows, column);
}

void LedgerGrid::setAmountToolTip(std::function<QString(qint64 ticks)> toolTip)
{
    m_model->setAmountToolTip(std::move(toolTip));
}

std::optional<qint64> LedgerGrid::amountAt(int row) const
{
    return m_model->amount(row - FixedRows);
}

int LedgerGrid::currentRow() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() + FixedRows : -1;
}

int LedgerGrid::currentColumn() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.column() : -1;
}

void LedgerGrid::setCurrentCell(int row, int column)
{
    const QModelIndex index = m_model->index(row - FixedRows, column);
    if (!index.isValid()) {
        selectionModel()->clear();
        return;
    }
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int LedgerGrid::columnWidthAt(int column) const
{
    if (column < 0 || column >= Columns)
        return 0;
    return horizontalHeader()->sectionSize(column);
}

QColor LedgerGrid::rowBackground(int row) const
{
    if (row < FixedRows || row >= rowCount())
        return {};
    return m_model->background(row - FixedRows);
}

void LedgerGrid::setRowColours(const QColor& even, const QColor& odd)
{
    m_model->setRowColours(even, odd);
}

QList<int> LedgerGrid::columnWidths() const
{
    QList<int> widths;
    for (int c = 0; c < Columns; ++c)
        widths.append(columnWidthAt(c));
    return widths;
}

GridPrinter LedgerGrid::gridPrinter() const
{
    return GridPrinter(*m_model, titleText(), columnWidths(), font());
}

bool LedgerGrid::print(QPrinter* printer) const
{
    return gridPrinter().printWithProgress(printer) == GridPrinter::Printed;
}

QPageLayout LedgerGrid::pageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                       QPageLayout::Millimeter);
}

void LedgerGrid::preparePrinter(QPrinter& printer)
{
    printer.setPageLayout(pageLayout());
}

bool LedgerGrid::printToPdf(const QString& path) const
{
    return gridPrinter().writePdf(path, pageLayout()) == GridPrinter::Printed;
}

void LedgerGrid::openPrintPreview()
{
    // The preview has no owner, so no window system hands the activation back when it closes: the window it
    // was opened from takes it again itself, so that its keys work on without a click.
    const QPointer<QWidget> previousActive = QApplication::activeWindow();
    {
        PrintPreview preview(gridPrinter(), pageLayout(), nullptr);
        preview.setWindowModality(Qt::ApplicationModal);
        preview.exec();
    }
    GridPrinter::releaseFreedMemory();
    if (!previousActive.isNull() && previousActive->isVisible())
        previousActive->activateWindow();
}

void LedgerGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT cellDoubleClicked();
}

QModelIndex LedgerGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const int records = m_model->rowCount();
    const QModelIndex current = currentIndex();
    // The grid selects whole rows: Home and End, with Ctrl or without, go to the first and the last record
    // and keep the column, instead of going along the row, where they would change nothing that shows.
    if (records > 0 && current.isValid() && (cursorAction == MoveHome || cursorAction == MoveEnd))
        return m_model->index(cursorAction == MoveHome ? 0 : records - 1, current.column());
    if (current.isValid())
        return QTableView::moveCursor(cursorAction, modifiers);
    // No row is current after a refill: the keys that go down or to the start pick the first record, those
    // that go up or to the end the last, so that the keyboard alone can choose a row.
    if (records == 0)
        return {};
    switch (cursorAction) {
    case MoveDown:
    case MoveHome:
    case MovePageDown:
        return m_model->index(0, FirstShownColumn);
    case MoveUp:
    case MoveEnd:
    case MovePageUp:
        return m_model->index(records - 1, FirstShownColumn);
    default:
        return {};
    }
}

void LedgerGrid::keyboardSearch(const QString&) { }

QString LedgerGrid::dateText(const QDate& date)
{
    if (!date.isValid())
        return {};
    return u"%1年%2月%3日"_s.arg(date.year()).arg(date.month()).arg(date.day());
}

QString LedgerGrid::moneyText(qint64 ticks)
{
    if (ticks == 0)
        return {};
    // Ticks are ten-thousandths; hundredths are rounded half away from zero on the magnitude, which is
    // computed unsigned so that the most negative amount cannot overflow.
    const quint64 magnitude = ticks < 0 ? quint64(0) - quint64(ticks) : quint64(ticks);
    const quint64 cents = (magnitude + 50) / 100;
    QString text;
    if (ticks < 0 && cents != 0)
        text.append(u'-');
    text.append(QString::number(cents / 100));
    text.append(u'.');
    const quint64 fraction = cents % 100;
    text.append(QChar(u'0' + char16_t(fraction / 10)));
    text.append(QChar(u'0' + char16_t(fraction % 10)));
    return text;
}

QString LedgerGrid::titleText()
{
    return u"总 收 送 礼 记 录"_s;
}

QStringList LedgerGrid::headerTexts()
{
    static const QStringList texts
        = {u"ID"_s, u"序号"_s, u"收送"_s, u"姓名"_s, u"时间"_s, u"关系"_s, u"类型"_s, u"金额"_s, u"说明"_s};
    return texts;
}

} // namespace ovelta
