#pragma once

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

/// Pages of a table for paper, laid out by arithmetic from the page layout alone, so that any one page can be
/// painted without the others: the print preview paints only the page on screen, and printing goes page by page
/// with a progress dialog that can cancel it. The kinds of table say how many pages they need and paint a page.
class PagePrinter
{
public:
    enum Outcome { Printed, Cancelled, Failed };
    /// Told after each page painted; answers false to stop the printing.
    using Progress = std::function<bool(int pagesDone, int pagesTotal)>;

    virtual ~PagePrinter() = default;

    /// Pages needed with that layout; at least one.
    virtual int pageCount(const QPageLayout& layout) const = 0;
    /// Pages needed on that printer.
    int pageCount(QPrinter* printer) const;
    /// Paints one page (1-based) with the painter's origin at the top left of the layout's paint area, in
    /// units of which dpi make one inch. The preview paints with the same dpi as the printer and scales the
    /// painter, so that texts are measured alike on screen and on paper.
    virtual void paintPage(QPainter& painter, const QPageLayout& layout, qreal dpi, int page) const = 0;
    /// The title of a PDF file of the pages.
    virtual QString documentTitle() const = 0;

    /// Paints the pages first..last (clamped to the pages) onto the device one by one, telling progress after
    /// each page. Failed when painting could not start or a page could not be begun.
    Outcome print(QPagedPaintDevice* device, int firstPage, int lastPage, const Progress& progress = {}) const;
    /// Prints every page (or the page range the printer asks for) with a progress dialog that can cancel
    /// the job. A cancelled job is aborted, so that a printer gets nothing of it.
    Outcome printWithProgress(QPrinter* printer) const;
    /// Writes the pages first..last as a PDF file with that page layout, with a progress dialog that can
    /// cancel. The file appears only once complete: a cancelled or failed output leaves no file, and an
    /// earlier file of that name stays as it was.
    Outcome writePdf(const QString& path, const QPageLayout& layout, int firstPage = 1,
                     int lastPage = std::numeric_limits<int>::max()) const;
    /// The same without a dialog: progress is told to the callback, which can stop the output.
    Outcome writePdf(const QString& path, const QPageLayout& layout, int firstPage, int lastPage,
                     const Progress& progress) const;

    /// Hands memory freed by a closed preview or a finished print back to the system.
    static void releaseFreedMemory();

protected:
    PagePrinter() = default;
    PagePrinter(const PagePrinter&) = default;
    PagePrinter& operator=(const PagePrinter&) = default;

private:
    Outcome runWithDialog(const std::function<Outcome(const Progress&)>& job, int pages) const;
};

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
