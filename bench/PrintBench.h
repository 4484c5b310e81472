#pragma once

#include "BenchStats.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace ovelta {
class MainWindow;
} // namespace ovelta

namespace ovelta::bench {

/// The printing figures of one ledger size.
struct PrintResults
{
    qint64 records = 0;
    double floorMs = -1; ///< the size's floor, for the ratios
    Samples previewOpen; ///< (g) from the print command to the preview's first page painted
    qint64 previewPeakKiB = -1; ///< (g) largest rise of the resident memory while a preview opened and painted
    qint64 previewLeftKiB = -1; ///< (g) resident memory still above the start after the last preview closed
    int pages = 0;
    Samples pdf; ///< (h) the whole ledger to a PDF file, at the PDF size only
    Samples pdfCpu; ///< (h) the processor time of this process meanwhile, which a loaded machine does not inflate
    qint64 pdfLeftKiB = -1; ///< (h) resident memory still above the start after the last PDF was written
    bool progressShown = false; ///< (h) the progress dialog was on screen during every PDF run
};

/// The print preview and the PDF output of the program's own main window (offscreen, in this process) over
/// the ledger file lgbk.xc of a folder, filled as at start-up.
class PrintBench
{
public:
    /// Makes folder the current directory and opens the main window over its ledger.
    explicit PrintBench(const QString& folder);
    ~PrintBench();
    PrintBench(const PrintBench&) = delete;
    PrintBench& operator=(const PrintBench&) = delete;

    /// Measures the preview (runs times) and, when pdfRuns > 0, the PDF output into r.
    void measure(PrintResults& r, int runs, int pdfRuns);
    QStringList errors() const { return m_errors; }

    /// The ledger size whose PDF output is measured.
    static constexpr qint64 PdfRecords = 100000;

private:
    /// Milliseconds to the first page painted; sets the rise of resident memory meanwhile.
    double openPreview(qint64& peakRiseKiB);
    double writePdf(const QString& path, bool& progressShown, double& cpuMs);

    MainWindow* m_main = nullptr;
    QStringList m_errors;
};

/// Opens the print preview of main's ledger and closes it once its first page is painted; whenPainted runs right
/// after that paint, with the preview still open. The milliseconds from the print command to the paint; -1 when
/// no page was painted.
double previewUntilPainted(MainWindow& main, const std::function<void()>& whenPainted = {});
/// Writes main's whole ledger as a PDF file at path (through the grid's print path, with its progress dialog) and
/// removes the file again. The milliseconds it took, -1 when no file was written; progressShown tells whether
/// the progress dialog was shown, cpuMs the processor time of this process meanwhile.
double writePdf(MainWindow& main, const QString& path, bool& progressShown, double& cpuMs);

/// The table rows of the printing figures, in the layout of the main table, with the targets met or not.
QString printTable(const QList<PrintResults>& results);
QJsonObject printJson(const QList<PrintResults>& results);

} // namespace ovelta::bench
