#include "ui/print/PagePrinter.h"

#include <QApplication>
#include <QElapsedTimer>
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

/// While a long printout is written, freed memory stays with the process: every page builds and drops buffers
/// of some hundred kilobytes, and handing each back to the system only to ask for it again on the next page
/// costs a quarter of the time. The usual settings come back afterwards, and everything freed is handed back at
/// once.
class KeepFreedMemory
{
public:
    KeepFreedMemory()
    {
#if defined(__GLIBC__)
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
        mallopt(M_TOP_PAD, 16 * 1024 * 1024);
#endif
    }
    ~KeepFreedMemory()
    {
#if defined(__GLIBC__)
        mallopt(M_TRIM_THRESHOLD, 128 * 1024);
        mallopt(M_TOP_PAD, 128 * 1024);
#endif
        PagePrinter::releaseFreedMemory();
    }
    KeepFreedMemory(const KeepFreedMemory&) = delete;
    KeepFreedMemory& operator=(const KeepFreedMemory&) = delete;
};

/// The resolution of PDF output, as a high-resolution printer has it.
constexpr int PdfDpi = 1200;
/// A job shorter than this shows no progress dialog.
constexpr int ProgressDelayMs = 300;
constexpr int UpdateIntervalMs = 50;

} // namespace

int PagePrinter::pageCount(QPrinter* printer) const
{
    return printer == nullptr ? 0 : pageCount(printer->pageLayout());
}

PagePrinter::Outcome PagePrinter::print(QPagedPaintDevice* device, int firstPage, int lastPage,
                                        const Progress& progress) const
{
    QPainter painter;
    if (device == nullptr || !painter.begin(device))
        return Failed;
    const QPageLayout layout = device->pageLayout();
    const qreal dpi = device->logicalDpiY();
    const int pages = pageCount(layout);
    const int first = std::clamp(firstPage, 1, pages);
    const int last = std::clamp(lastPage, first, pages);
    const int total = last - first + 1;
    for (int page = first; page <= last; ++page) {
        if (page != first && !device->newPage()) {
            painter.end();
            return Failed;
        }
        paintPage(painter, layout, dpi, page);
        if (progress && !progress(page - first + 1, total)) {
            painter.end();
            return Cancelled;
        }
    }
    return painter.end() ? Printed : Failed;
}

PagePrinter::Outcome PagePrinter::runWithDialog(const std::function<Outcome(const Progress&)>& job, int pages) const
{
    QProgressDialog dialog(u"正在打印 ..."_s, u"取消"_s, 0, pages);
    dialog.setObjectName(u"打印进度"_s);
    dialog.setWindowTitle(u"打印"_s);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(ProgressDelayMs);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    // The dialog is brought up to date and the events are let through a few times a second, not after every
    // page: a long printout has thousands of pages that take a millisecond or two each.
    QElapsedTimer sinceUpdate;
    sinceUpdate.start();
    bool first = true;
    const Outcome outcome = job([&](int done, int total) {
        if (first || done == total || sinceUpdate.elapsed() >= UpdateIntervalMs) {
            first = false;
            sinceUpdate.restart();
            dialog.setLabelText(u"正在打印第 %1 页，共 %2 页"_s.arg(done).arg(total));
            dialog.setValue(done);
            // The dialog's own event processing runs only while it is modal and shown; cancelling must work
            // from the first page on.
            QCoreApplication::processEvents();
        }
        return !dialog.wasCanceled();
    });
    dialog.close();
    return outcome;
}

PagePrinter::Outcome PagePrinter::printWithProgress(QPrinter* printer) const
{
    if (printer == nullptr)
        return Failed;
    int first = 1;
    int last = std::numeric_limits<int>::max();
    if (printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0) {
        first = printer->fromPage();
        last = printer->toPage() > 0 ? printer->toPage() : last;
    }
    // A printout to a PDF file goes through the same safe file writing as the program's own PDF output.
    if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty())
        return writePdf(printer->outputFileName(), printer->pageLayout(), first, last);

    const int pages = pageCount(printer->pageLayout());
    const int shown = std::clamp(last, 1, pages) - std::clamp(first, 1, pages) + 1;
    const KeepFreedMemory keep;
    const Outcome outcome = runWithDialog(
        [&](const Progress& progress) {
            return print(printer, first, last, [&](int done, int total) {
                if (progress(done, total))
                    return true;
                printer->abort();
                return false;
            });
        },
        std::max(1, shown));
    return outcome;
}

PagePrinter::Outcome PagePrinter::writePdf(const QString& path, const QPageLayout& layout, int firstPage,
                                           int lastPage) const
{
    const int pages = pageCount(layout);
    const int shown = std::clamp(lastPage, 1, pages) - std::clamp(firstPage, 1, pages) + 1;
    const KeepFreedMemory keep;
    const Outcome outcome
        = runWithDialog([&](const Progress& progress) { return writePdf(path, layout, firstPage, lastPage, progress); },
                        std::max(1, shown));
    return outcome;
}

PagePrinter::Outcome PagePrinter::writePdf(const QString& path, const QPageLayout& layout, int firstPage, int lastPage,
                                           const Progress& progress) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failed;
    Outcome outcome = Failed;
    {
        QPdfWriter writer(&file);
        writer.setResolution(PdfDpi);
        writer.setCreator(QCoreApplication::applicationName());
        writer.setTitle(documentTitle());
        if (!writer.setPageLayout(layout))
            return Failed;
        outcome = print(&writer, firstPage, lastPage, progress);
    }
    // An uncommitted save file is removed with its object; the file of that name is not touched.
    if (outcome != Printed) {
        file.cancelWriting();
        return outcome;
    }
    return file.commit() ? Printed : Failed;
}

void PagePrinter::releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace ovelta
