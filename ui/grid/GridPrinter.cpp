#include "ui/grid/GridPrinter.h"

#include "ui/grid/GridHeaderView.h"
#include "ui/grid/LedgerGridModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QProgressDialog>
#include <QSaveFile>
#include <algorithm>
#include <optional>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr qreal ScreenDpi = 96.0;
constexpr qreal PointsPerInch = 72.0;
/// The grid's row height in points: 24 pixels at 96 dpi.
constexpr qreal RowPoints = GridHeaderView::RowHeight * PointsPerInch / ScreenDpi;
constexpr int FixedRows = 2;
const QColor HeaderBackground(224, 224, 224);
const QColor LineColour(96, 96, 96);

} // namespace

GridPrinter::GridPrinter(const LedgerGridModel& model, const QString& title, const QList<int>& columnWidths,
                         const QFont& font)
    : m_model(model)
    , m_title(title)
    , m_widths(columnWidths)
    , m_font(font)
{
}

int GridPrinter::rowsPerPage(const QPageLayout& layout)
{
    const qreal height = layout.paintRect(QPageLayout::Point).height();
    // A hair of tolerance, so that a page that holds exactly n rows is not cut to n-1 by rounding.
    return std::max(1, int(height / RowPoints + 1e-6) - FixedRows);
}

int GridPrinter::pageCount(const QPageLayout& layout) const
{
    const qint64 perPage = rowsPerPage(layout);
    return int(std::max<qint64>(1, (qint64(m_model.rowCount()) + perPage - 1) / perPage));
}

int GridPrinter::firstRowOf(const QPageLayout& layout, int page) const
{
    const qint64 first = qint64(std::max(1, page) - 1) * rowsPerPage(layout);
    return int(std::min<qint64>(first, m_model.rowCount()));
}

int GridPrinter::rowsOn(const QPageLayout& layout, int page) const
{
    return std::min(rowsPerPage(layout), m_model.rowCount() - firstRowOf(layout, page));
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

void GridPrinter::paintPage(QPainter& painter, const QPageLayout& layout, qreal dpi, int page) const
{
    const qreal unitsPerPoint = dpi / PointsPerInch;
    const qreal rowHeight = RowPoints * unitsPerPoint;
    const qreal pageWidth = layout.paintRect(QPageLayout::Point).width() * unitsPerPoint;
    const QList<Column> columns = layoutColumns(pageWidth);
    const int firstRow = firstRowOf(layout, page);
    const int rowCount = rowsOn(layout, page);

    // The font keeps its size in points on paper whatever the device: a size in screen pixels is taken at
    // 96 dpi, and a device of another resolution than dpi (the preview's screen) gets the size scaled so
    // that the texts measure the same in the painter's units.
    const qreal points = m_font.pointSizeF() > 0 ? m_font.pointSizeF() : m_font.pixelSize() * PointsPerInch / ScreenDpi;
    const int deviceDpi = painter.device() != nullptr ? painter.device()->logicalDpiY() : int(dpi);
    QFont bodyFont(m_font);
    bodyFont.setPointSizeF(points * dpi / std::max(1, deviceDpi));
    // Hinting is for screens; without it the many texts of a long printout are laid out much faster.
    bodyFont.setHintingPreference(QFont::PreferNoHinting);
    QFont titleFont(bodyFont);
    titleFont.setBold(true);

    painter.save();
    painter.fillRect(QRectF(0, 0, pageWidth, 2 * rowHeight), HeaderBackground);
    painter.setPen(Qt::black);
    painter.setFont(titleFont);
    paintText(painter, metricsOf(painter), QRectF(0, 0, pageWidth, rowHeight), m_title, true);
    painter.setFont(bodyFont);
    FontMetrics& body = metricsOf(painter);
    for (const Column& column : columns) {
        const QString header = m_model.headerData(column.column, Qt::Horizontal).toString();
        paintText(painter, body, QRectF(column.left, rowHeight, column.width, rowHeight), header, true);
    }

    for (int i = 0; i < rowCount; ++i) {
        const int row = firstRow + i;
        const qreal top = (i + 2) * rowHeight;
        painter.fillRect(QRectF(0, top, pageWidth, rowHeight), m_model.background(row));
        for (const Column& column : columns) {
            paintText(painter, body, QRectF(column.left, top, column.width, rowHeight),
                      m_model.displayText(row, column.column), false);
        }
    }

    // The rules go on last, once per page rather than per cell, which keeps long printouts small.
    QPen pen(LineColour);
    pen.setWidthF(std::max<qreal>(1.0, dpi / ScreenDpi * 0.75));
    painter.setPen(pen);
    const qreal bottom = (rowCount + 2) * rowHeight;
    for (int line = 0; line <= rowCount + 2; ++line)
        painter.drawLine(QPointF(0, line * rowHeight), QPointF(pageWidth, line * rowHeight));
    painter.drawLine(QPointF(0, 0), QPointF(0, bottom));
    painter.drawLine(QPointF(pageWidth, 0), QPointF(pageWidth, bottom));
    for (int i = 1; i < columns.size(); ++i)
        painter.drawLine(QPointF(columns.at(i).left, rowHeight), QPointF(columns.at(i).left, bottom));
    painter.restore();
}

GridPrinter::FontMetrics& GridPrinter::metricsOf(QPainter& painter) const
{
    const QString key = painter.font().key() + u'@' + QString::number(painter.device()->logicalDpiY());
    auto it = m_metrics.find(key);
    if (it != m_metrics.end())
        return it.value();
    const QFontMetricsF metrics(painter.font(), painter.device());
    FontMetrics& fresh = m_metrics[key];
    fresh.ascent = metrics.ascent();
    fresh.lineHeight = metrics.ascent() + metrics.descent();
    fresh.padding = metrics.averageCharWidth() * 0.4;
    return fresh;
}

void GridPrinter::paintText(QPainter& painter, FontMetrics& known, const QRectF& rect, const QString& text,
                            bool centred) const
{
    if (text.isEmpty())
        return;
    const QRectF inner = rect.adjusted(known.padding, 0, -known.padding, 0);
    std::optional<QFontMetricsF> metrics;
    const auto measure = [&]() -> const QFontMetricsF& {
        if (!metrics)
            metrics.emplace(painter.font(), painter.device());
        return *metrics;
    };

    // The sum of the characters' widths; a surrogate pair or a combining mark makes the sum unreliable, and the
    // text is then measured whole. Line breaks and other control characters print as blanks, on one line.
    QString shown = text;
    qreal estimate = 0;
    bool reliable = true;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QChar c = shown.at(i);
        if (c.unicode() < 0x20 || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            shown[i] = u' ';
            c = u' ';
        }
        if (c.isSurrogate() || c.isMark()) {
            reliable = false;
            continue;
        }
        auto it = known.advances.constFind(c.unicode());
        if (it == known.advances.constEnd())
            it = known.advances.insert(c.unicode(), measure().horizontalAdvance(c));
        estimate += it.value();
    }
    // Kerning moves a text's width by a hair at most; a text close to its cell's width is measured exactly.
    qreal width = estimate;
    if (!reliable || estimate > inner.width() * 0.97)
        width = measure().horizontalAdvance(shown);
    const qreal baseline = rect.top() + (rect.height() - known.lineHeight) / 2 + known.ascent;
    if (width <= inner.width() || inner.width() <= 0) {
        const qreal x = centred ? inner.left() + (inner.width() - width) / 2 : inner.left();
        painter.drawText(QPointF(x, baseline), shown);
        return;
    }
    // Paper has no tooltip: a text wider than its cell is printed whole, narrowed to the cell's width.
    painter.save();
    painter.translate(inner.left(), 0);
    painter.scale(inner.width() / width, 1.0);
    painter.drawText(QPointF(0, baseline), shown);
    painter.restore();
}

} // namespace ovelta
