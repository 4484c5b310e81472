#include "PrintBench.h"

#include "BenchFormat.h"
#include "BenchMainWindow.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "ui/base/MessageBox.h"
#include "ui/grid/GridPrinter.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/ledger/MainWindow.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLocale>
#include <QTimer>
#include <QWidget>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace ovelta::bench::format;

namespace ovelta::bench {

namespace {

constexpr double PreviewTargetMs = 300;
constexpr double PreviewMemoryTargetMiB = 50;
constexpr double PdfTargetMs = 4000;

/// A figure of /proc/self/status in KiB; -1 when it cannot be read.
qint64 statusKiB(const QByteArray& field)
{
    QFile f(u"/proc/self/status"_s);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

/// Processor time (user and system) of this process so far.
double processorMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1000 + double(t.tv_usec) / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

/// Starts the peak of the resident memory afresh from what is resident now; false when the kernel refuses.
bool resetPeak()
{
    QFile f(u"/proc/self/clear_refs"_s);
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

/// Waits for the first paint of one widget, found by its parent's object name, and for the show of another;
/// the time is taken once the painting has returned.
class PaintClock : public QObject
{
public:
    PaintClock(const QString& paintedParent, const QString& shown)
        : m_paintedParent(paintedParent)
        , m_shown(shown)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~PaintClock() override { QCoreApplication::instance()->removeEventFilter(this); }

    /// Runs once after the first paint of the watched widget has finished.
    std::function<void()> afterPaint;
    bool wasShown() const { return m_wasShown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !m_shown.isEmpty() && watched->objectName() == m_shown)
            m_wasShown = true;
        if (event->type() == QEvent::Paint && !m_painted && watched->parent() != nullptr
            && watched->parent()->objectName() == m_paintedParent) {
            m_painted = true;
            // The zero timer runs after this paint event has been handled.
            if (afterPaint)
                QTimer::singleShot(0, this, afterPaint);
        }
        return false;
    }

private:
    QString m_paintedParent;
    QString m_shown;
    bool m_painted = false;
    bool m_wasShown = false;
};

} // namespace

PrintBench::PrintBench(const QString& folder)
{
    m_main = openMainWindow(folder);
    for (const MessageBox::Record& box : MessageBox::shown())
        m_errors << u"opening the main window: box \""_s + box.text + u"\""_s;
    MessageBox::clearShown();
}

PrintBench::~PrintBench()
{
    m_main->requestClose();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

double previewUntilPainted(MainWindow& main, const std::function<void()>& whenPainted)
{
    PaintClock clock(u"预览页面"_s, QString());
    QElapsedTimer timer;
    double elapsed = -1;
    clock.afterPaint = [&] {
        elapsed = millisecondsSince(timer);
        if (whenPainted)
            whenPainted();
        if (auto* preview = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            preview->reject();
    };
    // Should the preview never paint, it is closed after a while so that the run goes on.
    QTimer::singleShot(30000, &clock, [] {
        if (auto* preview = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            preview->reject();
    });
    timer.start();
    main.runCommand(MainWindow::Print);
    return elapsed;
}

double writePdf(MainWindow& main, const QString& path, bool& progressShown, double& cpuMs)
{
    PaintClock clock(QString(), u"打印进度"_s);
    QElapsedTimer timer;
    const double cpuBefore = processorMs();
    timer.start();
    const bool written = main.grid().printToPdf(path);
    const double elapsed = millisecondsSince(timer);
    cpuMs = processorMs() - cpuBefore;
    progressShown = clock.wasShown();
    const qint64 size = QFileInfo(path).size();
    QFile::remove(path);
    return written && size > 0 ? elapsed : -1;
}

double PrintBench::openPreview(qint64& peakRiseKiB)
{
    GridPrinter::releaseFreedMemory();
    const qint64 before = statusKiB("VmRSS:");
    const bool peakFresh = resetPeak();
    const double elapsed = previewUntilPainted(*m_main, [&] {
        const qint64 now = peakFresh ? statusKiB("VmHWM:") : statusKiB("VmRSS:");
        peakRiseKiB = before < 0 || now < 0 ? -1 : now - before;
    });
    if (elapsed < 0)
        m_errors << u"print preview: no page was painted"_s;
    return elapsed;
}

double PrintBench::writePdf(const QString& path, bool& progressShown, double& cpuMs)
{
    const double elapsed = bench::writePdf(*m_main, path, progressShown, cpuMs);
    if (elapsed < 0)
        m_errors << u"PDF output failed"_s;
    return elapsed;
}

void PrintBench::measure(PrintResults& r, int runs, int pdfRuns)
{
    const int rows = m_main->grid().rowCount() - LedgerGrid::FixedRows;
    if (rows != r.records)
        m_errors << u"printing: the grid holds %1 rows, not %2"_s.arg(rows).arg(r.records);
    r.pages = m_main->grid().gridPrinter().pageCount(LedgerGrid::pageLayout());

    GridPrinter::releaseFreedMemory();
    const qint64 start = statusKiB("VmRSS:");
    for (int i = 0; i < runs; ++i) {
        qint64 rise = -1;
        r.previewOpen.add(openPreview(rise));
        r.previewPeakKiB = std::max(r.previewPeakKiB, rise);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    GridPrinter::releaseFreedMemory();
    const qint64 end = statusKiB("VmRSS:");
    r.previewLeftKiB = start < 0 || end < 0 ? -1 : end - start;

    bool allShown = pdfRuns > 0;
    const QString path = QDir::current().filePath(u"bench.pdf"_s);
    const qint64 beforePdf = statusKiB("VmRSS:");
    for (int i = 0; i < pdfRuns; ++i) {
        bool shown = false;
        double cpu = -1;
        r.pdf.add(writePdf(path, shown, cpu));
        r.pdfCpu.add(cpu);
        allShown = allShown && shown;
    }
    r.progressShown = allShown;
    if (pdfRuns > 0) {
        const qint64 afterPdf = statusKiB("VmRSS:");
        r.pdfLeftKiB = beforePdf < 0 || afterPdf < 0 ? -1 : afterPdf - beforePdf;
    }
    for (const MessageBox::Record& box : MessageBox::shown())
        m_errors << u"printing: box \""_s + box.text + u"\""_s;
    MessageBox::clearShown();
}

QString printTable(const QList<PrintResults>& results)
{
    if (results.isEmpty())
        return {};
    QString t = u"\nPrinting (runs per size in brackets)\n"_s;
    QStringList header;
    for (const PrintResults& r : results)
        header << u"%1 (%2)"_s.arg(count(r.records)).arg(r.previewOpen.count());
    t += line(u"Records"_s, header);
    auto row = [&](const QString& label, auto value) {
        QStringList values;
        for (const PrintResults& r : results)
            values << value(r);
        t += line(label, values);
    };
    row(u"    pages (A4, 15 mm margins)"_s, [](const PrintResults& r) { return count(r.pages); });
    row(u"(g) print preview open, first page painted"_s,
        [](const PrintResults& r) { return ms(r.previewOpen.median()); });
    row(u"    (g)/(a)"_s, [](const PrintResults& r) { return ratio(r.previewOpen.median(), r.floorMs); });
    row(u"(g) preview memory above before, peak"_s, [](const PrintResults& r) { return mib(r.previewPeakKiB); });
    row(u"(g) memory left after the previews closed"_s, [](const PrintResults& r) { return mib(r.previewLeftKiB); });
    row(u"(h) PDF of the whole ledger"_s, [](const PrintResults& r) { return ms(r.pdf.median()); });
    row(u"    (h) processor time"_s, [](const PrintResults& r) { return ms(r.pdfCpu.median()); });
    row(u"    (h)/(a)"_s, [](const PrintResults& r) { return ratio(r.pdf.median(), r.floorMs); });
    row(u"(h) memory left after the PDF"_s, [](const PrintResults& r) { return mib(r.pdfLeftKiB); });
    row(u"    (h) progress dialog shown"_s, [](const PrintResults& r) {
        return r.pdf.isEmpty() ? u"-"_s : r.progressShown ? u"yes"_s : u"no"_s;
    });

    t += u"\nPrinting targets\n"_s;
    for (const PrintResults& r : results) {
        if (r.records != 1000000)
            continue;
        const bool fast = r.previewOpen.median() >= 0 && r.previewOpen.median() < PreviewTargetMs;
        const bool small = r.previewPeakKiB >= 0 && double(r.previewPeakKiB) / 1024 < PreviewMemoryTargetMiB;
        t += u"  print preview open at 1,000,000 under 300 ms: %1\n"_s.arg(fast ? u"met"_s : u"NOT met"_s);
        t += u"  print preview at 1,000,000 under 50 MiB above before: %1\n"_s.arg(small ? u"met"_s : u"NOT met"_s);
    }
    for (const PrintResults& r : results) {
        if (r.pdf.isEmpty())
            continue;
        const bool met = r.pdf.median() >= 0 && r.pdf.median() < PdfTargetMs && r.progressShown;
        t += u"  PDF of %1 under 4 s with progress shown: %2\n"_s.arg(count(r.records), met ? u"met"_s : u"NOT met"_s);
    }
    return t;
}

QJsonObject printJson(const QList<PrintResults>& results)
{
    QJsonArray sizes;
    for (const PrintResults& r : results) {
        QJsonObject o{
            {u"records"_s, r.records},
            {u"pages"_s, r.pages},
            {u"preview_open"_s, samples(r.previewOpen)},
            {u"preview_open_over_floor"_s, r.floorMs > 0 ? r.previewOpen.median() / r.floorMs : -1},
            {u"preview_peak_rise_kib"_s, r.previewPeakKiB},
            {u"preview_left_kib"_s, r.previewLeftKiB},
        };
        if (!r.pdf.isEmpty()) {
            o.insert(u"pdf"_s, samples(r.pdf));
            o.insert(u"pdf_cpu"_s, samples(r.pdfCpu));
            o.insert(u"pdf_over_floor"_s, r.floorMs > 0 ? r.pdf.median() / r.floorMs : -1);
            o.insert(u"pdf_progress_shown"_s, r.progressShown);
            o.insert(u"pdf_left_kib"_s, r.pdfLeftKiB);
        }
        sizes.append(o);
    }
    return QJsonObject{{u"sizes"_s, sizes}};
}

} // namespace ovelta::bench
