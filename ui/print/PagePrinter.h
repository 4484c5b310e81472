#pragma once

#include <QString>
#include <functional>
#include <limits>

class QPageLayout;
class QPagedPaintDevice;
class QPainter;
class QPrinter;

namespace ovelta {

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

} // namespace ovelta
