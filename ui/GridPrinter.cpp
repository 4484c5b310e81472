#include "ui/GridPrinter.h"

#include "ui/GridHeaderView.h"
#include "ui/LedgerGridModel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

namespace ovelta {

namespace {

constexpr qreal ScreenDpi = 96.0;
const QColor HeaderBackground(224, 224, 224);
const QColor LineColour(96, 96, 96);

qreal deviceScale(QPrinter* printer)
{
    return printer->resolution() / ScreenDpi;
}

QSizeF paintArea(QPrinter* printer)
{
    return printer->pageRect(QPrinter::DevicePixel).size();
}

} // namespace

GridPrinter::GridPrinter(const LedgerGridModel& model, const QString& title, const QList<int>& columnWidths,
                         const QFont& font)
    : m_model(model)
    , m_title(title)
    , m_widths(columnWidths)
    , m_font(font)
{
}

int GridPrinter::rowsPerPage(QPrinter* printer) const
{
    const qreal rowHeight = GridHeaderView::RowHeight * deviceScale(printer);
    const int fixedRows = 2;
    return std::max(1, int(paintArea(printer).height() / rowHeight) - fixedRows);
}

int GridPrinter::pageCount(QPrinter* printer) const
{
    const int perPage = rowsPerPage(printer);
    return std::max(1, (m_model.rowCount() + perPage - 1) / perPage);
}

bool GridPrinter::print(QPrinter* printer) const
{
    QPainter painter;
    if (printer == nullptr || !painter.begin(printer))
        return false;

    const int perPage = rowsPerPage(printer);
    const int pages = pageCount(printer);
    int first = 1;
    int last = pages;
    if (printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0) {
        first = std::min(printer->fromPage(), pages);
        last = std::clamp(printer->toPage() > 0 ? printer->toPage() : pages, first, pages);
    }
    for (int page = first; page <= last; ++page) {
        if (page != first && !printer->newPage()) {
            painter.end();
            return false;
        }
        const int firstRow = (page - 1) * perPage;
        paintPage(painter, printer, firstRow, std::min(perPage, m_model.rowCount() - firstRow));
    }
    return painter.end();
}

QList<GridPrinter::Column> GridPrinter::layoutColumns(qreal pageWidth) const
{
    QList<int> shown;
    qint64 total = 0;
    for (int c = 0; c < LedgerGridModel::Columns; ++c) {
        if (c == LedgerGridModel::IdColumn)
            continue;
        const int width = c < m_widths.size() ? std::max(0, m_widths.at(c)) : 0;
        shown.append(width);
        total += width;
    }
    // A grid that was never laid out has no widths yet: the columns then share the page equally.
    if (total == 0) {
        shown.fill(1);
        total = shown.size();
    }
    QList<Column> columns;
    qint64 before = 0;
    for (int i = 0; i < shown.size(); ++i) {
        const qint64 after = before + shown.at(i);
        if (shown.at(i) > 0) {
            const qreal left = pageWidth * qreal(before) / qreal(total);
            const qreal right = pageWidth * qreal(after) / qreal(total);
            columns.append({i + 1, left, right - left});
        }
        before = after;
    }
    return columns;
}

void GridPrinter::paintPage(QPainter& painter, QPrinter* printer, int firstRow, int rowCount) const
{
    const qreal scale = deviceScale(printer);
    const qreal rowHeight = GridHeaderView::RowHeight * scale;
    const qreal pageWidth = paintArea(printer).width();
    const QList<Column> columns = layoutColumns(pageWidth);

    QFont screenFont(m_font);
    // A size in screen pixels would shrink to nothing at printer resolution; points scale with the device.
    if (screenFont.pixelSize() > 0)
        screenFont.setPointSizeF(screenFont.pixelSize() * 72.0 / ScreenDpi);
    QFont bodyFont(screenFont, printer);
    QFont titleFont(bodyFont);
    titleFont.setBold(true);

    painter.fillRect(QRectF(0, 0, pageWidth, 2 * rowHeight), HeaderBackground);
    painter.setPen(Qt::black);
    painter.setFont(titleFont);
    paintText(painter, QRectF(0, 0, pageWidth, rowHeight), m_title, Qt::AlignCenter);
    painter.setFont(bodyFont);
    for (const Column& column : columns) {
        const QString header = m_model.headerData(column.column, Qt::Horizontal).toString();
        paintText(painter, QRectF(column.left, rowHeight, column.width, rowHeight), header, Qt::AlignCenter);
    }

    for (int i = 0; i < rowCount; ++i) {
        const int row = firstRow + i;
        const qreal top = (i + 2) * rowHeight;
        painter.fillRect(QRectF(0, top, pageWidth, rowHeight), m_model.background(row));
        for (const Column& column : columns) {
            paintText(painter, QRectF(column.left, top, column.width, rowHeight),
                      m_model.displayText(row, column.column), Qt::AlignLeft | Qt::AlignVCenter);
        }
    }

    // The rules go on last, once per page rather than per cell, which keeps long printouts and their preview
    // small.
    QPen pen(LineColour);
    pen.setWidthF(std::max<qreal>(1.0, scale * 0.75));
    painter.setPen(pen);
    const qreal bottom = (rowCount + 2) * rowHeight;
    for (int line = 0; line <= rowCount + 2; ++line)
        painter.drawLine(QPointF(0, line * rowHeight), QPointF(pageWidth, line * rowHeight));
    painter.drawLine(QPointF(0, 0), QPointF(0, bottom));
    painter.drawLine(QPointF(pageWidth, 0), QPointF(pageWidth, bottom));
    for (int i = 1; i < columns.size(); ++i)
        painter.drawLine(QPointF(columns.at(i).left, rowHeight), QPointF(columns.at(i).left, bottom));
}

void GridPrinter::paintText(QPainter& painter, const QRectF& rect, const QString& text, Qt::Alignment alignment) const
{
    if (text.isEmpty())
        return;
    const qreal padding = painter.fontMetrics().averageCharWidth() * 0.4;
    const QRectF inner = rect.adjusted(padding, 0, -padding, 0);
    const qreal width = QFontMetricsF(painter.font(), painter.device()).horizontalAdvance(text);
    if (width <= inner.width() || inner.width() <= 0) {
        painter.drawText(inner, int(alignment) | Qt::TextSingleLine, text);
        return;
    }
    // Paper has no tooltip: a text wider than its cell is printed whole, narrowed to the cell's width.
    const qreal factor = inner.width() / width;
    painter.save();
    painter.translate(inner.left(), 0);
    painter.scale(factor, 1.0);
    painter.drawText(QRectF(0, inner.top(), width, inner.height()),
                     int(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextSingleLine, text);
    painter.restore();
}

} // namespace ovelta
