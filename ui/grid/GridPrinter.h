#pragma once

#include "ui/print/PagePrinter.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <limits>

class QPageLayout;
class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QRectF;

namespace ovelta {

class LedgerGridModel;

/// Paints the ledger grid's contents onto printer pages: on every page the title row merged over the table,
/// the header row, then as many data rows as fit. The columns share the page width in proportion to their
/// widths in the grid; the hidden ID column is left out. Rows keep the grid's 24-pixel height (at 96 dpi, that
/// is 18 points) and its row backgrounds; texts that do not fit their cell are printed
/// whole, narrowed to the cell's width. The pages are laid out by rows per page.
class GridPrinter : public PagePrinter
{
public:
    GridPrinter(const LedgerGridModel& model, const QString& title, const QList<int>& columnWidths, const QFont& font);

    /// Data rows on one page of that layout: the rows of 18 points that fit the paint area, less the title and
    /// header rows; at least one.
    static int rowsPerPage(const QPageLayout& layout);
    using PagePrinter::pageCount;
    /// Pages needed for the ledger with that layout; at least one (an empty ledger prints its two fixed rows).
    int pageCount(const QPageLayout& layout) const override;
    /// The first data row (0-based) and the number of data rows of a page (1-based).
    int firstRowOf(const QPageLayout& layout, int page) const;
    int rowsOn(const QPageLayout& layout, int page) const;

    void paintPage(QPainter& painter, const QPageLayout& layout, qreal dpi, int page) const override;
    QString documentTitle() const override { return m_title; }

private:
    struct Column
    {
        int column;
        qreal left;
        qreal width;
    };

    QList<Column> layoutColumns(qreal pageWidth) const;
    // Most cell texts fit their cells. Their widths are summed from the widths of their characters, kept per
    // font and device here, so that only a text that may not fit is measured (shaped) in full before it is
    // drawn.
    struct FontMetrics
    {
        QHash<char16_t, qreal> advances;
        qreal ascent = 0;
        qreal lineHeight = 0;
        qreal padding = 0;
    };
    /// The metrics of the painter's font on its device.
    FontMetrics& metricsOf(QPainter& painter) const;
    /// Paints a text on one line in its cell, elided when it does not fit; centred or at the left.
    void paintText(QPainter& painter, FontMetrics& metrics, const QRectF& rect, const QString& text,
                   bool centred) const;

    mutable QHash<QString, FontMetrics> m_metrics;
    const LedgerGridModel& m_model;
    QString m_title;
    QList<int> m_widths;
    QFont m_font;
};

} // namespace ovelta
