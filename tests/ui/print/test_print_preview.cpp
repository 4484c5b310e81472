// The print preview: its buttons, its pages against the printed PDF, printing with progress and cancelling.

#include "DrawnText.h"
#include "GuiSupport.h"
#include "TempFolder.h"
#include "ui/base/MessageBox.h"
#include "ui/grid/GridPrinter.h"
#include "ui/grid/LedgerGrid.h"
#include "ui/print/PrintPreview.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace Qt::StringLiterals;
using ovelta::GridPrinter;
using ovelta::LedgerGrid;
using ovelta::LedgerRow;
using ovelta::MessageBox;
using ovelta::PrintPreview;
using ovelta::test::whenModal;

namespace {

constexpr qint64 Yuan = 10000;

QString guestName(int i)
{
    return u"客人%1"_s.arg(i, 4, 10, QChar(u'0'));
}

/// A ledger of count records, each with texts of its own, in a grid of the main window's width.
void fill(LedgerGrid& grid, int count)
{
    grid.resize(550, 361);
    grid.prepare();
    std::vector<LedgerRow> rows;
    rows.reserve(size_t(count));
    for (int i = 1; i <= count; ++i) {
        LedgerRow row;
        row.id = 100000 + i;
        row.direction = i % 3 ? u"收礼"_s : u"送礼"_s;
        row.name = guestName(i);
        row.date = QDate(2000, 1, 1).addDays(i);
        row.relation = u"朋友"_s;
        row.occasion = u"婚礼"_s;
        row.amountTicks = (i % 7) * 100 * Yuan;
        row.note = i % 2 ? u"注%1"_s.arg(i) : QString();
        rows.push_back(row);
    }
    grid.appendRows(std::move(rows));
}

QString withoutBlanks(QString text)
{
    text.remove(u' ').remove(u'\n').remove(u'\f').remove(u'\r');
    return text;
}

/// The text of pages first..last, as pdftotext lays it out line by line, without blanks and line breaks.
QString pdfText(const QString& path, int first, int last)
{
    QProcess process;
    process.start(u"pdftotext"_s,
                  {u"-layout"_s, u"-enc"_s, u"UTF-8"_s, u"-f"_s, QString::number(first), u"-l"_s, QString::number(last),
                   path, u"-"_s});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return u"<pdftotext failed: %1>"_s.arg(QString::fromUtf8(process.readAllStandardError()));
    return withoutBlanks(QString::fromUtf8(process.readAllStandardOutput()));
}

int pdfPages(const QString& path)
{
    QProcess process;
    process.start(u"pdfinfo"_s, {path});
    if (!process.waitForFinished(60000))
        return -1;
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(u'\n')) {
        if (line.startsWith(u"Pages:"_s))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

/// The texts the preview shows on screen, in the order painted.
QString textOnScreen(PrintPreview& preview)
{
    auto* view = preview.findChild<QAbstractScrollArea*>(u"预览页面"_s);
    if (view == nullptr)
        return u"<no page view>"_s;
    ovelta::test::DrawnTextDevice device(QSize(4000, 4000));
    view->viewport()->render(&device);
    QString text;
    for (const ovelta::test::DrawnText& drawn : device.texts())
        text += drawn.text;
    return withoutBlanks(text);
}

QAbstractButton* button(PrintPreview& preview, const QString& name)
{
    auto* b = preview.findChild<QAbstractButton*>(name);
    if (b == nullptr)
        qFatal("no button %s in the print preview", qUtf8Printable(name));
    return b;
}

/// Rows per page of a layout with these margins in millimetres on A4 portrait: the paint height in rows of
/// 18 points, less title and header.
int expectedRowsPerPage(qreal topMm, qreal bottomMm)
{
    const qreal heightPoints = (297.0 - topMm - bottomMm) * 72.0 / 25.4;
    return int(heightPoints / 18.0 + 1e-6) - 2;
}

} // namespace

class TestPrintPreview : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { MessageBox::startRecording(); }
    void cleanup()
    {
        MessageBox::clearShown();
        MessageBox::stopRecording();
    }

    void openingShowsAModalPreviewWithItsButtons()
    {
        LedgerGrid grid;
        fill(grid, 200);
        QString title;
        QWidget* owner = &grid;
        Qt::WindowModality modality = Qt::NonModal;
        QStringList captions;
        int pages = -1;
        whenModal<PrintPreview>(this, u"打印预览"_s, [&](PrintPreview* preview) {
            title = preview->windowTitle();
            owner = preview->parentWidget();
            modality = preview->windowModality();
            pages = preview->pageCount();
            for (const QString& name :
                 {u"打印按钮"_s, u"页边距按钮"_s, u"打印设置按钮"_s, u"上页按钮"_s, u"下页按钮"_s, u"到指定页按钮"_s,
                  u"放大按钮"_s, u"缩小按钮"_s, u"等宽按钮"_s, u"等高按钮"_s, u"退出按钮"_s})
                captions << button(*preview, name)->text();
            button(*preview, u"退出按钮"_s)->click();
        });
        grid.openPrintPreview();
        QCOMPARE(title, u"打印预览"_s);
        QCOMPARE(owner, nullptr);
        QCOMPARE(modality, Qt::ApplicationModal);
        QCOMPARE(captions,
                 (QStringList{u"打印"_s, u"页边距"_s, u"打印设置"_s, u"上页"_s, u"下页"_s, u"到指定页"_s, u"放大"_s,
                              u"缩小"_s, u"等宽"_s, u"等高"_s, u"退出"_s}));
        const int perPage = expectedRowsPerPage(15, 15);
        QCOMPARE(pages, (200 + perPage - 1) / perPage);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void pageCountFollowsTheRows_data()
    {
        QTest::addColumn<int>("records");
        const int perPage = expectedRowsPerPage(15, 15);
        QTest::newRow("empty ledger") << 0;
        QTest::newRow("one row") << 1;
        QTest::newRow("one full page") << perPage;
        QTest::newRow("one row over") << perPage + 1;
        QTest::newRow("many pages") << 100'000;
    }
    void pageCountFollowsTheRows()
    {
        QFETCH(int, records);
        LedgerGrid grid;
        fill(grid, records);
        const GridPrinter printer = grid.gridPrinter();
        const QPageLayout layout = LedgerGrid::pageLayout();
        const int perPage = expectedRowsPerPage(15, 15);
        QCOMPARE(GridPrinter::rowsPerPage(layout), perPage);
        const int pages = std::max(1, (records + perPage - 1) / perPage);
        QCOMPARE(printer.pageCount(layout), pages);
        QCOMPARE(printer.firstRowOf(layout, pages), (pages - 1) * perPage);
        QCOMPARE(printer.rowsOn(layout, pages), records - (pages - 1) * perPage);
        QCOMPARE(printer.rowsOn(layout, 1), std::min(records, perPage));
    }

    void previewPagesAreThePrintedPages()
    {
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        fill(grid, 150);
        const QString path = folder.file(u"ledger.pdf"_s);
        QVERIFY(grid.printToPdf(path));

        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        QVERIFY(preview.pageCount() >= 3);
        QCOMPARE(pdfPages(path), preview.pageCount());
        for (int page = 1; page <= preview.pageCount(); ++page) {
            preview.setCurrentPage(page);
            const QString shown = textOnScreen(preview);
            QVERIFY2(shown.startsWith(u"总收送礼记录序号收送姓名时间关系类型金额说明"_s), qPrintable(shown));
            QCOMPARE(shown, pdfText(path, page, page));
        }
        // The last page holds the last record and the first page the first; nothing more.
        preview.setCurrentPage(1);
        QVERIFY(textOnScreen(preview).contains(guestName(1)));
        QVERIFY(!textOnScreen(preview).contains(guestName(150)));
        preview.setCurrentPage(preview.pageCount());
        QVERIFY(textOnScreen(preview).contains(guestName(150)));
    }

    void cellTextsPrintOnOneLineWithinTheirCell_data()
    {
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("printedStart");
        QTest::newRow("short") << u"早点到"_s << u"早点到"_s;
        QTest::newRow("line break prints as a blank") << u"第一行\n第二行"_s << u"第一行第二行"_s;
        QTest::newRow("tab and carriage return") << u"甲\t乙\r\n丙"_s << u"甲乙丙"_s;
        QTest::newRow("too long prints whole, narrowed")
            << (u"开头"_s + QString(20, u'长') + u"结尾"_s) << (u"开头"_s + QString(20, u'长') + u"结尾"_s);
        QTest::newRow("Latin letters and digits") << u"AVA Wolf 王 No.57"_s << u"AVAWolf王No.57"_s;
    }
    void cellTextsPrintOnOneLineWithinTheirCell()
    {
        QFETCH(QString, note);
        QFETCH(QString, printedStart);
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        fill(grid, 3);
        LedgerRow row;
        row.id = 7;
        row.direction = u"收礼"_s;
        row.name = u"末行"_s;
        row.date = QDate(2011, 6, 2);
        row.relation = u"同学"_s;
        row.occasion = u"寿宴"_s;
        row.amountTicks = 500 * Yuan;
        row.note = note;
        grid.appendRow(row);
        const QString path = folder.file(u"cells.pdf"_s);
        QVERIFY(grid.printToPdf(path));
        QCOMPARE(pdfPages(path), 1);
        // The last record's cells come in one line of the printout, the note last.
        const QString text = pdfText(path, 1, 1);
        const QString rowStart = u"4收礼末行2011年6月2日同学寿宴￥500.00"_s;
        QVERIFY2(text.contains(rowStart + printedStart), qPrintable(text));
        // The preview shows the same.
        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.show();
        QCOMPARE(textOnScreen(preview), text);
    }

    void pageButtonsMoveThroughThePages()
    {
        LedgerGrid grid;
        fill(grid, 200);
        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        const int pages = preview.pageCount();
        QVERIFY(pages >= 4);
        auto* label = preview.findChild<QLabel*>(u"页码标签"_s);
        QVERIFY(label != nullptr);

        QCOMPARE(preview.currentPage(), 1);
        QVERIFY(!button(preview, u"上页按钮"_s)->isEnabled());
        button(preview, u"下页按钮"_s)->click();
        QCOMPARE(preview.currentPage(), 2);
        QVERIFY2(label->text().startsWith(u"第 2 页，共 %1 页"_s.arg(pages)), qPrintable(label->text()));
        QVERIFY(button(preview, u"上页按钮"_s)->isEnabled());
        button(preview, u"上页按钮"_s)->click();
        QCOMPARE(preview.currentPage(), 1);

        for (int i = 1; i < pages + 3; ++i)
            preview.nextPage();
        QCOMPARE(preview.currentPage(), pages);
        QVERIFY(!button(preview, u"下页按钮"_s)->isEnabled());
        preview.setCurrentPage(0);
        QCOMPARE(preview.currentPage(), 1);
    }

    void goToPageAsksForTheNumber_data()
    {
        QTest::addColumn<int>("typed");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<int>("expected");
        QTest::newRow("third page") << 3 << true << 3;
        QTest::newRow("last page") << 5 << true << 5;
        QTest::newRow("beyond the last is held at the last") << 99 << true << 5;
        QTest::newRow("cancelled") << 3 << false << 2;
    }
    void goToPageAsksForTheNumber()
    {
        QFETCH(int, typed);
        QFETCH(bool, accept);
        QFETCH(int, expected);
        LedgerGrid grid;
        fill(grid, 4 * expectedRowsPerPage(15, 15) + 1);
        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.show();
        QCOMPARE(preview.pageCount(), 5);
        preview.setCurrentPage(2);
        QString title;
        int maximum = 0;
        whenModal<QInputDialog>(this, u"到指定页"_s, [&](QInputDialog* dialog) {
            title = dialog->windowTitle();
            maximum = dialog->intMaximum();
            dialog->setIntValue(typed);
            if (accept)
                dialog->accept();
        });
        button(preview, u"到指定页按钮"_s)->click();
        QCOMPARE(title, u"到指定页"_s);
        QCOMPARE(maximum, 5);
        QCOMPARE(preview.currentPage(), expected);
    }

    // The page is white on a grey desk, whichever way it is fitted into the view.
    void pageStandsOutOnAGreyDesk_data()
    {
        QTest::addColumn<bool>("fitWidth");
        QTest::newRow("whole page") << false;
        QTest::newRow("page width") << true;
    }
    void pageStandsOutOnAGreyDesk()
    {
        QFETCH(bool, fitWidth);
        LedgerGrid grid;
        fill(grid, 3);
        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.resize(700, 500);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        if (fitWidth)
            button(preview, u"等宽按钮"_s)->click();
        auto* view = preview.findChild<QAbstractScrollArea*>(u"预览页面"_s);
        QVERIFY(view != nullptr);
        const QImage shot = view->viewport()->grab().toImage();
        const qreal scale = view->logicalDpiY() / 72.0 * preview.zoom() * shot.devicePixelRatio();
        const QSizeF paper = LedgerGrid::pageLayout().fullRect(QPageLayout::Point).size() * scale;
        // The page's top left corner: centred across; at the top gap when scrolled, centred when it fits.
        const int left = int((shot.width() - paper.width()) / 2);
        const int top = fitWidth ? int(12 * shot.devicePixelRatio()) : int((shot.height() - paper.height()) / 2);
        const QColor desk = shot.pixelColor(2, 2);
        QCOMPARE(desk, QColor(128, 128, 128));
        QCOMPARE(shot.pixelColor(std::max(0, left - 3), top + 10), desk);
        // Inside the page's margin, left of any text.
        QCOMPARE(shot.pixelColor(left + 3, top + 3), QColor(Qt::white));
    }

    void zoomButtonsScaleThePage()
    {
        LedgerGrid grid;
        fill(grid, 100);
        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.resize(600, 400); // as narrow as its buttons allow
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        auto* view = preview.findChild<QAbstractScrollArea*>(u"预览页面"_s);
        QVERIFY(view != nullptr);
        const qreal fullSize = view->logicalDpiY() / 72.0;
        const QSizeF paper = LedgerGrid::pageLayout().fullRect(QPageLayout::Point).size();

        // The whole page height fits at first, so there is nothing to scroll.
        QCOMPARE(preview.zoomMode(), PrintPreview::FitHeight);
        QVERIFY(paper.height() * fullSize * preview.zoom() <= view->viewport()->height());
        QVERIFY(paper.height() * fullSize * preview.zoom() > view->viewport()->height() - 40);
        QCOMPARE(view->verticalScrollBar()->maximum(), 0);

        button(preview, u"等宽按钮"_s)->click();
        QCOMPARE(preview.zoomMode(), PrintPreview::FitWidth);
        QVERIFY(paper.width() * fullSize * preview.zoom() <= view->viewport()->width());
        QVERIFY(paper.width() * fullSize * preview.zoom() > view->viewport()->width() - 60);
        QVERIFY(view->verticalScrollBar()->maximum() > 0);

        // The fit follows the window's size.
        const qreal before = preview.zoom();
        preview.resize(790, 500);
        QTRY_VERIFY(preview.zoom() > before);

        const qreal start = preview.zoom();
        button(preview, u"放大按钮"_s)->click();
        QCOMPARE(preview.zoomMode(), PrintPreview::FreeZoom);
        QVERIFY(qFuzzyCompare(preview.zoom(), start * PrintPreview::ZoomStep));
        button(preview, u"缩小按钮"_s)->click();
        button(preview, u"缩小按钮"_s)->click();
        QVERIFY(qFuzzyCompare(preview.zoom(), start / PrintPreview::ZoomStep));

        for (int i = 0; i < 40; ++i)
            preview.zoomIn();
        QCOMPARE(preview.zoom(), PrintPreview::MaximumZoom);
        QVERIFY(!button(preview, u"放大按钮"_s)->isEnabled());
        QVERIFY(view->horizontalScrollBar()->maximum() > 0);
        for (int i = 0; i < 80; ++i)
            preview.zoomOut();
        QCOMPARE(preview.zoom(), PrintPreview::MinimumZoom);
        QVERIFY(!button(preview, u"缩小按钮"_s)->isEnabled());
        QVERIFY(button(preview, u"放大按钮"_s)->isEnabled());

        button(preview, u"等高按钮"_s)->click();
        QCOMPARE(preview.zoomMode(), PrintPreview::FitHeight);
        QCOMPARE(view->verticalScrollBar()->maximum(), 0);
        // Whatever the zoom, the page on screen is the same page.
        QVERIFY(textOnScreen(preview).contains(guestName(1)));
    }

    void marginsAreSetInTenthsOfAMillimetre_data()
    {
        QTest::addColumn<QMargins>("margins"); // left, top, right, bottom
        QTest::newRow("narrow") << QMargins(50, 50, 50, 50);
        QTest::newRow("none") << QMargins(0, 0, 0, 0);
        QTest::newRow("uneven, fractions of a millimetre") << QMargins(125, 333, 207, 451);
        QTest::newRow("wide") << QMargins(400, 800, 400, 800);
    }
    void marginsAreSetInTenthsOfAMillimetre()
    {
        QFETCH(QMargins, margins);
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        fill(grid, 300);
        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.show();
        QCOMPARE(preview.marginsInTenthsOfMillimetre(), QMargins(150, 150, 150, 150));
        QStringList labels;
        whenModal<QDialog>(this, u"页边距"_s, [&](QDialog* dialog) {
            labels << dialog->windowTitle();
            const QStringList names = {u"左边距框"_s, u"上边距框"_s, u"右边距框"_s, u"下边距框"_s};
            const QList<int> values = {margins.left(), margins.top(), margins.right(), margins.bottom()};
            for (int i = 0; i < names.size(); ++i) {
                auto* spin = dialog->findChild<QSpinBox*>(names.at(i));
                QVERIFY2(spin != nullptr, qPrintable(names.at(i)));
                QCOMPARE(spin->value(), 150);
                spin->setValue(values.at(i));
            }
            dialog->findChild<QPushButton*>(u"确定按钮"_s)->click();
        });
        button(preview, u"页边距按钮"_s)->click();
        QCOMPARE(labels, QStringList{u"页边距"_s});
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(preview.marginsInTenthsOfMillimetre(), margins);
        const int perPage = expectedRowsPerPage(margins.top() / 10.0, margins.bottom() / 10.0);
        QCOMPARE(GridPrinter::rowsPerPage(preview.pageLayout()), perPage);
        QCOMPARE(preview.pageCount(), (300 + perPage - 1) / perPage);

        // The printout keeps the margins the preview shows.
        const QString path = folder.file(u"margins.pdf"_s);
        QCOMPARE(grid.gridPrinter().writePdf(path, preview.pageLayout(), 1, 1, {}), GridPrinter::Printed);
        preview.setCurrentPage(1);
        QCOMPARE(textOnScreen(preview), pdfText(path, 1, 1));
    }

    void marginsThatLeaveNoRoomAreRefused()
    {
        LedgerGrid grid;
        fill(grid, 300);
        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.show();
        const int pages = preview.pageCount();
        int topAfterRefusal = -1;
        bool stillOpen = false;
        whenModal<QDialog>(this, u"页边距"_s, [&](QDialog* dialog) {
            auto* top = dialog->findChild<QSpinBox*>(u"上边距框"_s);
            auto* bottom = dialog->findChild<QSpinBox*>(u"下边距框"_s);
            top->setValue(1500);
            bottom->setValue(1450);
            dialog->findChild<QPushButton*>(u"确定按钮"_s)->click();
            // Refused: the box was shown, the dialog stays open with what was typed.
            stillOpen = dialog->isVisible();
            topAfterRefusal = top->value();
            dialog->findChild<QPushButton*>(u"取消按钮"_s)->click();
        });
        button(preview, u"页边距按钮"_s)->click();
        QVERIFY(stillOpen);
        QCOMPARE(topAfterRefusal, 1500);
        QCOMPARE(MessageBox::shown().size(), 1);
        const MessageBox::Record box = MessageBox::last();
        QCOMPARE(box.text, u"页边距太大，页面上放不下表格。"_s);
        QCOMPARE(box.title, u"系统提示"_s);
        QCOMPARE(box.buttons, MessageBox::OkOnly);
        QCOMPARE(box.icon, MessageBox::Warning);
        QCOMPARE(box.defaultButton, MessageBox::Ok);
        QCOMPARE(preview.marginsInTenthsOfMillimetre(), QMargins(150, 150, 150, 150));
        QCOMPARE(preview.pageCount(), pages);

        QVERIFY(!preview.setMarginsInTenthsOfMillimetre(QMargins(1000, 150, 1000, 150)));
        QVERIFY(!preview.setMarginsInTenthsOfMillimetre(QMargins(-10, 150, 150, 150)));
        QCOMPARE(preview.marginsInTenthsOfMillimetre(), QMargins(150, 150, 150, 150));
    }

    void printAndPrintSetupOpenTheirDialogs_data()
    {
        QTest::addColumn<QString>("buttonName");
        QTest::addColumn<QString>("dialogName");
        QTest::addColumn<QString>("title");
        QTest::newRow("print") << u"打印按钮"_s << u"打印对话框"_s << u"打印"_s;
        QTest::newRow("print setup") << u"打印设置按钮"_s << u"打印设置"_s << u"打印设置"_s;
    }
    void printAndPrintSetupOpenTheirDialogs()
    {
        QFETCH(QString, buttonName);
        QFETCH(QString, dialogName);
        QFETCH(QString, title);
        LedgerGrid grid;
        fill(grid, 100);
        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.show();
        QString shownTitle;
        whenModal<QDialog>(this, dialogName, [&](QDialog* dialog) { shownTitle = dialog->windowTitle(); });
        button(preview, buttonName)->click();
        QCOMPARE(shownTitle, title);
        // Cancelled: nothing printed, nothing changed, the preview still open.
        QVERIFY(preview.isVisible());
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(preview.marginsInTenthsOfMillimetre(), QMargins(150, 150, 150, 150));
    }

    void printerPageRangeIsPrinted()
    {
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        fill(grid, 200);
        QPrinter printer(QPrinter::HighResolution);
        LedgerGrid::preparePrinter(printer);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString path = folder.file(u"range.pdf"_s);
        printer.setOutputFileName(path);
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 3);
        QVERIFY(grid.print(&printer));
        QCOMPARE(pdfPages(path), 2);
        PrintPreview preview(grid.gridPrinter(), LedgerGrid::pageLayout());
        preview.show();
        preview.setCurrentPage(2);
        QCOMPARE(pdfText(path, 1, 1), textOnScreen(preview));
        preview.setCurrentPage(3);
        QCOMPARE(pdfText(path, 2, 2), textOnScreen(preview));
    }

    void cancelledPdfLeavesNoFile_data()
    {
        QTest::addColumn<bool>("earlierFile");
        QTest::newRow("new file") << false;
        QTest::newRow("earlier file of that name") << true;
    }
    void cancelledPdfLeavesNoFile()
    {
        QFETCH(bool, earlierFile);
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        fill(grid, 3000);
        const QString path = folder.file(u"cancelled.pdf"_s);
        const QByteArray earlier = "an earlier file";
        if (earlierFile) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(earlier);
        }
        int maximum = -1;
        QString title;
        // The cancel button is pressed as soon as the first page is out.
        std::function<void()> cancel = [&] {
            QProgressDialog* dialog = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() == u"打印进度"_s)
                    dialog = qobject_cast<QProgressDialog*>(w);
            }
            if (dialog == nullptr) {
                QTimer::singleShot(0, this, cancel);
                return;
            }
            maximum = dialog->maximum();
            title = dialog->windowTitle();
            dialog->cancel();
        };
        QTimer::singleShot(0, this, cancel);
        QVERIFY(!grid.printToPdf(path));
        QCOMPARE(title, u"打印"_s);
        QCOMPARE(maximum, GridPrinter(grid.gridPrinter()).pageCount(LedgerGrid::pageLayout()));
        if (earlierFile) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), earlier);
        } else {
            QVERIFY(!QFile::exists(path));
        }
        // Nothing else was left behind in the folder either.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), earlierFile ? 1 : 0);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void progressIsToldPageByPage()
    {
        ovelta::test::TempFolder folder;
        LedgerGrid grid;
        fill(grid, 500);
        const GridPrinter printer = grid.gridPrinter();
        const int pages = printer.pageCount(LedgerGrid::pageLayout());
        QList<int> told;
        const QString path = folder.file(u"progress.pdf"_s);
        const auto outcome = printer.writePdf(path, LedgerGrid::pageLayout(), 1, pages, [&](int done, int total) {
            told << done;
            return total == pages;
        });
        QCOMPARE(outcome, GridPrinter::Printed);
        QCOMPARE(told.size(), pages);
        QCOMPARE(told.first(), 1);
        QCOMPARE(told.last(), pages);
        QCOMPARE(pdfPages(path), pages);

        // Stopped after the second page by the callback: no file.
        const QString stopped = folder.file(u"stopped.pdf"_s);
        QCOMPARE(printer.writePdf(stopped, LedgerGrid::pageLayout(), 1, pages, [](int done, int) { return done < 2; }),
                 GridPrinter::Cancelled);
        QVERIFY(!QFile::exists(stopped));
    }
};

QTEST_MAIN(TestPrintPreview)
#include "test_print_preview.moc"
