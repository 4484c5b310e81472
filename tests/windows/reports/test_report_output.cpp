// The tables of 往来汇总, 往来明细 and 人情统计 leaving the program: the selected cells copied by Ctrl+C, the
// list of people saved as CSV as it is narrowed, each table saved as an Excel workbook with the CSV's contents, and
// each table printed through the print preview (title, headers on every page, every row, the totals, page numbers,
// amounts aligned at the right, every text whole); and the keys of those windows: a mnemonic of its own for every
// button, Tab out of the tables, and Esc that closes an open drop-down before the window.

#include "ui/print/PrintPreview.h"
#include "windows/common/FileChooser.h"
#include "windows/common/ReportPrint.h"
#include "windows/reports/PeopleWindow.h"
#include "windows/reports/PersonWindow.h"
#include "windows/reports/StatisticsWindow.h"

#include "DrawnText.h"
#include "GuiSupport.h"
#include "KnownLedger.h"
#include "ReportSteps.h"
#include "TempFolder.h"
#include "TestHost.h"
#include "XlsxRead.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPageLayout>
#include <QPageSize>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

/// A name too long for any column: printed whole all the same.
const QString LongName = u"欧阳"_s + QString(u"长名字很长很长的一位远房亲戚"_s).repeated(3);
constexpr int LongNameRecords = 60;

/// Sixty gifts received from LongName in 2023 and 2024, ￥100.0001 to ￥100.0060.
QList<KnownRecord> longNameRecords()
{
    QList<KnownRecord> records;
    for (int i = 1; i <= LongNameRecords; ++i) {
        const QDate date = QDate(2023, 1, 1).addDays(i * 7);
        records.append({u"收礼"_s, LongName, date.toString(u"yyyy-MM-dd 00:00:00"_s), u"亲戚"_s, u"结婚"_s, 1000000 + i,
                        u"第%1次"_s.arg(i)});
    }
    return records;
}

/// One text as printed: the pieces drawn side by side (a change of script draws a new piece) joined.
struct Printed
{
    QString text;
    QRectF rect;
    qreal lastTop = 0; ///< of its last line, when wrapped
};

/// A page as printed, line by line from the top, each line's texts from the left; the paint area's left and
/// right in the same units.
struct PrintedPage
{
    QList<QList<Printed>> lines;
    qreal left = 0;
    qreal right = 0;
    int wrapped = 0; ///< lines that went on a text of the line above

    QStringList line(int i) const
    {
        QStringList texts;
        for (const Printed& p : lines.value(i))
            texts << p.text;
        return texts;
    }
};

/// Every page of the preview, painted at one pixel per point.
QList<PrintedPage> printedPages(PrintPreview& preview)
{
    QList<PrintedPage> pages;
    const QRectF paint = preview.pageLayout().paintRect(QPageLayout::Point);
    for (int p = 1; p <= preview.pageCount(); ++p) {
        preview.setCurrentPage(p);
        DrawnTextDevice device(QSize(700, 900));
        {
            QPainter painter(&device);
            preview.paintCurrentPage(painter, 1.0);
        }
        QList<DrawnText> texts = device.texts();
        std::stable_sort(texts.begin(), texts.end(),
                         [](const DrawnText& a, const DrawnText& b) { return a.rect.top() < b.rect.top(); });
        PrintedPage page;
        page.left = paint.left();
        page.right = paint.right();
        // Lines are 18 points apart; the pieces of one line differ by their fonts' ascents only.
        for (const DrawnText& t : texts) {
            if (page.lines.isEmpty() || t.rect.top() - page.lines.last().first().rect.top() > 6)
                page.lines.append(QList<Printed>());
            page.lines.last().append({t.text, t.rect});
        }
        for (QList<Printed>& line : page.lines) {
            std::sort(line.begin(), line.end(),
                      [](const Printed& a, const Printed& b) { return a.rect.left() < b.rect.left(); });
            QList<Printed> joined;
            for (const Printed& piece : line) {
                if (!joined.isEmpty() && piece.rect.left() - joined.last().rect.right() < 0.3) {
                    joined.last().text += piece.text;
                    joined.last().rect = joined.last().rect.united(piece.rect);
                } else {
                    joined.append(piece);
                }
            }
            line = joined;
        }
        // A wrapped text goes on under its start, 15 points down rather than the 18 of the next row: its lines
        // join it.
        QList<QList<Printed>> rows;
        for (QList<Printed>& line : page.lines) {
            bool goesOn = !rows.isEmpty();
            for (Printed& t : line) {
                t.lastTop = t.rect.top();
                bool under = false;
                for (const Printed& above : std::as_const(rows.isEmpty() ? line : rows.last())) {
                    under = under
                        || (std::abs(above.rect.left() - t.rect.left()) < 0.5 && t.rect.top() - above.lastTop > 10
                            && t.rect.top() - above.lastTop < 16.5);
                }
                goesOn = goesOn && under;
            }
            if (!goesOn) {
                rows.append(line);
                continue;
            }
            ++page.wrapped;
            for (const Printed& t : std::as_const(line)) {
                for (Printed& above : rows.last()) {
                    if (std::abs(above.rect.left() - t.rect.left()) < 0.5) {
                        above.text += t.text;
                        above.rect = above.rect.united(t.rect);
                        above.lastTop = t.rect.top();
                        break;
                    }
                }
            }
        }
        page.lines = rows;
        pages.append(page);
    }
    return pages;
}

QStringList headersOf(const QAbstractItemModel& model)
{
    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c)
        headers << model.headerData(c, Qt::Horizontal).toString();
    return headers;
}

/// The model's rows as shown, empty cells left out, as printed lines read.
QList<QStringList> shownRows(const QAbstractItemModel& model)
{
    QList<QStringList> rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList texts;
        for (int c = 0; c < model.columnCount(); ++c) {
            const QString text = model.data(model.index(r, c)).toString();
            if (!text.isEmpty())
                texts << text;
        }
        rows << texts;
    }
    return rows;
}

QString withoutBlanks(QString text)
{
    text.remove(u' ').remove(u'\n').remove(u'\f').remove(u'\r').remove(u'\u3000');
    return text;
}

/// The text of a PDF file, as pdftotext lays it out line by line, without blanks and line breaks.
QString pdfText(const QString& path)
{
    QProcess process;
    process.start(u"pdftotext"_s, {u"-layout"_s, u"-enc"_s, u"UTF-8"_s, path, u"-"_s});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return u"<pdftotext failed>"_s;
    return withoutBlanks(QString::fromUtf8(process.readAllStandardOutput()));
}

/// The mnemonic letters of a caption: "(&X)".
QString mnemonicOf(const QString& caption)
{
    static const QRegularExpression mnemonic(u"\\(&([^&])\\)"_s);
    return mnemonic.match(caption).captured(1).toUpper();
}

} // namespace

class TestReportOutput : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempFolder> m_folder;
    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<BoxRecorder> m_boxes;

    /// Opens the window of that kind and runs the script on it.
    void withWindow(const QString& kind, const std::function<void(ReportWindow&)>& script)
    {
        const QString id = kind == u"statistics"_s ? kind : kind == u"person"_s ? kind : u"people"_s;
        QVERIFY(whileOpen(
            id,
            [&] {
                if (kind == u"statistics"_s)
                    (new StatisticsWindow(*m_host))->openModal();
                else if (kind == u"person"_s)
                    (new PersonWindow(*m_host, LongName))->openModal();
                else
                    (new PeopleWindow(*m_host))->openModal();
            },
            script));
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<TempFolder>();
        QVERIFY(m_folder->isValid());
        m_host = std::make_unique<TestHost>();
        QVERIFY(m_host->createAndConnect());
        QVERIFY(addRecords(*m_host->connection.engine(), knownRecords() + longNameRecords()));
        m_boxes = std::make_unique<BoxRecorder>();
    }
    void cleanup()
    {
        FileChooser::stopRecording();
        m_boxes.reset();
        m_host.reset();
        m_folder.reset();
    }

    void tablesAreCopiedAndPrinted_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("owedOnly");
        QTest::addColumn<QString>("printButton"); ///< empty: Ctrl+P in the table
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("totals");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("moneyColumns");
        QTest::addColumn<QString>("copied"); ///< Ctrl+C with rows 0-1 of the two columns from firstColumn selected
        QTest::addColumn<int>("firstColumn");
        QTest::addColumn<bool>("wraps"); ///< the long name goes on in further lines of its row

        QTest::newRow("people still owed")
            << u"people"_s << u"往来汇总表"_s << true << QString() << u"往来汇总（只看未还）"_s
            << QStringList{u"合计：4 人　收礼 65 次，￥6,101.4834　送礼 1 次，￥50.50　差额 ￥6,050.9834"_s} << 1 << 3
            << u"60\t6000.183\n2\t100.0004\n"_s << 2 << true;
        QTest::newRow("one person's statement")
            << u"person"_s << u"往来明细表"_s << false << u"打印按钮"_s << u"往来明细 - "_s + LongName
            << QStringList{u"收礼 60 次，合计 ￥6,000.1830"_s, u"送礼 0 次，合计 ￥0.00"_s,
                           u"差额 ￥6,000.1830（对方送得多，尚欠人情）"_s}
            << 5 << 2 << u"100.0001\t100.0001\n100.0002\t200.0003\n"_s << 6 << true;
        QTest::newRow("years") << u"statistics"_s << u"年份表"_s << false << QString() << u"人情统计 - 按年份"_s
                               << QStringList{} << 1 << 3 << u"1\t200.00\n4\t101.3001\n"_s << 1 << false;
    }
    void tablesAreCopiedAndPrinted()
    {
        QFETCH(QString, kind);
        QFETCH(QString, table);
        QFETCH(bool, owedOnly);
        QFETCH(QString, printButton);
        QFETCH(QString, title);
        QFETCH(QStringList, totals);
        QFETCH(int, pages);
        QFETCH(int, moneyColumns);
        QFETCH(QString, copied);
        QFETCH(int, firstColumn);
        QFETCH(bool, wraps);
        QList<PrintedPage> printed;
        QList<QStringList> expectedRows;
        QStringList headers;
        withWindow(kind, [&](ReportWindow& w) {
            QVERIFY(QTest::qWaitForWindowActive(&w));
            if (owedOnly)
                findControl<QCheckBox>(&w, u"只看未还选择框"_s)->setChecked(true);
            auto* view = findControl<QTableView>(&w, table);
            QAbstractItemModel& model = *view->model();
            expectedRows = shownRows(model);
            headers = headersOf(model);

            // Ctrl+C copies the selected cells, exact numbers, as a spreadsheet pastes them.
            view->setFocus();
            view->selectionModel()->select(QItemSelection(model.index(0, firstColumn), model.index(1, firstColumn + 1)),
                                           QItemSelectionModel::ClearAndSelect);
            QGuiApplication::clipboard()->clear();
            QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QGuiApplication::clipboard()->text(), copied);

            whenModal<PrintPreview>(this, u"打印预览"_s, [&](PrintPreview* preview) {
                QCOMPARE(preview->pageCount(), pages);
                printed = printedPages(*preview);
            });
            if (printButton.isEmpty())
                QTest::keyClick(view, Qt::Key_P, Qt::ControlModifier);
            else
                findControl<QPushButton>(&w, printButton)->click();

            // The same pages as a PDF file hold every text in the order printed.
            const QString pdf = m_folder->file(u"表.pdf"_s);
            QCOMPARE(ReportPrinter(title, model, totals)
                         .writePdf(pdf, ReportPrinter::pageLayout(), 1, std::numeric_limits<int>::max(), {}),
                     PagePrinter::Printed);
            const QString top = withoutBlanks(title + headers.join(QString()));
            QString text = pdfText(pdf);
            QCOMPARE(text.count(top), pages);
            text.remove(top);
            for (int p = 1; p <= pages; ++p) {
                const QString footer = u"第%1页/共%2页"_s.arg(p).arg(pages);
                QVERIFY2(text.contains(footer), qPrintable(footer));
                text.remove(footer);
            }
            QString expected;
            for (const QStringList& row : std::as_const(expectedRows))
                expected += withoutBlanks(row.join(QString()));
            for (const QString& line : std::as_const(totals))
                expected += withoutBlanks(line);
            // A wrapped text's further lines come after the rest of its row: every character is there.
            std::sort(text.begin(), text.end());
            std::sort(expected.begin(), expected.end());
            QCOMPARE(text, expected);
        });
        QCOMPARE(printed.size(), pages);

        QList<QStringList> body;
        int wrapped = 0;
        for (int p = 0; p < printed.size(); ++p) {
            wrapped += printed.at(p).wrapped;
            const PrintedPage& page = printed.at(p);
            // The title, the headers and the page number on every page.
            QVERIFY(page.lines.size() >= 3);
            QCOMPARE(page.line(0), QStringList{title});
            QCOMPARE(page.line(1), headers);
            QCOMPARE(page.line(int(page.lines.size()) - 1),
                     QStringList{u"第 %1 页 / 共 %2 页"_s.arg(p + 1).arg(pages)});
            for (int l = 2; l < page.lines.size() - 1; ++l)
                body << page.line(l);
            // Every text whole: nothing elided, inside the paint area, none over its neighbour.
            QList<qreal> moneyRights;
            for (int l = 0; l < page.lines.size(); ++l) {
                const QList<Printed>& line = page.lines.at(l);
                for (int i = 0; i < line.size(); ++i) {
                    const Printed& t = line.at(i);
                    QVERIFY2(!t.text.contains(QChar(0x2026)), qPrintable(t.text));
                    QVERIFY2(t.rect.left() >= page.left - 0.5 && t.rect.right() <= page.right + 0.5,
                             qPrintable(t.text));
                    if (i + 1 < line.size())
                        QVERIFY2(t.rect.right() <= line.at(i + 1).rect.left() + 0.5, qPrintable(t.text));
                    if (l >= 2 && t.text.startsWith(u'￥') && line.size() > 1) {
                        bool known = false;
                        for (const qreal right : moneyRights)
                            known = known || std::abs(right - t.rect.right()) < 0.6;
                        if (!known)
                            moneyRights << t.rect.right();
                    }
                }
            }
            // Amounts of any length end at their column's right edge.
            QVERIFY2(moneyRights.size() <= moneyColumns, qPrintable(QString::number(moneyRights.size())));
        }
        // Every row in the order shown, then the totals.
        QList<QStringList> expected = expectedRows;
        for (const QString& line : totals)
            expected << QStringList{line};
        QCOMPARE(body, expected);
        QCOMPARE(wrapped > 0, wraps);
        QCOMPARE(m_boxes->count(), 0);
    }

    // One long name among many short ones goes on in further lines of its row; the dates beside the names keep
    // their one line whenever the page holds a short name and a date side by side.
    void aRareLongNameWrapsAlone_data()
    {
        QTest::addColumn<qreal>("paintWidth"); ///< points
        QTest::newRow("narrow") << qreal(120);
        QTest::newRow("A4") << qreal(510);
    }
    void aRareLongNameWrapsAlone()
    {
        QFETCH(qreal, paintWidth);
        QStandardItemModel model(0, 2);
        model.setHorizontalHeaderLabels({u"姓名"_s, u"最近往来"_s});
        for (int r = 0; r < 40; ++r)
            model.appendRow({new QStandardItem(r == 10 ? LongName : u"甲"_s), new QStandardItem(u"2021年12月31日"_s)});
        const QPageLayout layout(QPageSize(QSizeF(paintWidth, 842), QPageSize::Point), QPageLayout::Portrait,
                                 QMarginsF(), QPageLayout::Point);
        PrintPreview preview(std::make_shared<const ReportPrinter>(u"往来"_s, model), layout);
        const QList<PrintedPage> pages = printedPages(preview);
        QList<QStringList> body;
        int wrapped = 0;
        for (const PrintedPage& page : pages) {
            wrapped += page.wrapped;
            for (int l = 2; l < page.lines.size() - 1; ++l)
                body << page.line(l);
        }
        QCOMPARE(body, shownRows(model));
        QVERIFY2(wrapped >= 1 || paintWidth > 400, qPrintable(QString::number(wrapped)));
        QVERIFY2(wrapped <= 2, qPrintable(QString::number(wrapped)));
    }

    void peopleAsShownAreSavedAndCopiedWhole()
    {
        const QString path = m_folder->file(u"汇总.csv"_s);
        FileChooser::startRecording();
        FileChooser::setNextAnswer(path);
        withWindow(u"people"_s, [&](ReportWindow& w) {
            findControl<QCheckBox>(&w, u"只看未还选择框"_s)->setChecked(true);
            findControl<QPushButton>(&w, u"保存CSV按钮"_s)->click();
            QGuiApplication::clipboard()->clear();
            findControl<QPushButton>(&w, u"复制按钮"_s)->click();
        });
        QCOMPARE(FileChooser::requests().size(), 1);
        QCOMPARE(FileChooser::requests().front().suggested, u"往来汇总.csv"_s);
        const QString table = u"姓名,关系,收礼次数,收礼合计,送礼次数,送礼合计,差额,最近往来\r\n"_s + LongName
            + u",亲戚,60,6000.183,0,0.00,6000.183,2024-02-25\r\n"
              u"张三,亲戚,2,100.0004,1,50.50,49.5004,2021-03-01\r\n"
              u"赵六,朋友,2,0.30,0,0.00,0.30,2020-12-31\r\n"
              u",,1,1.00,0,0.00,1.00,2020-06-01\r\n"_s;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(QString::fromUtf8(bytes.mid(3)), table);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(table).replace(u"\r\n"_s, u"\n"_s).replace(u',', u'\t'));
        QCOMPARE(m_boxes->count(), 0);
    }

    void tablesAreSavedAsWorkbooks_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("csvButton");
        QTest::addColumn<QString>("excelButton");
        QTest::addColumn<QString>("suggested");
        QTest::newRow("people") << u"people"_s << u"保存CSV按钮"_s << u"保存Excel按钮"_s << u"往来汇总.xlsx"_s;
        QTest::newRow("person") << u"person"_s << u"保存CSV按钮"_s << u"保存Excel按钮"_s
                                << u"往来明细-"_s + LongName + u".xlsx"_s;
        QTest::newRow("years") << u"statistics"_s << u"年份保存CSV按钮"_s << u"年份保存Excel按钮"_s
                               << u"人情统计-年份.xlsx"_s;
    }
    void tablesAreSavedAsWorkbooks()
    {
        // The workbook holds what the CSV file holds: texts as texts, amounts and counts as their exact numbers,
        // dates as date cells.
        QFETCH(QString, kind);
        QFETCH(QString, csvButton);
        QFETCH(QString, excelButton);
        QFETCH(QString, suggested);
        const QString csvPath = m_folder->file(u"表.csv"_s), xlsxPath = m_folder->file(u"表.xlsx"_s);
        FileChooser::startRecording();
        withWindow(kind, [&](ReportWindow& w) {
            FileChooser::setNextAnswer(csvPath);
            findControl<QPushButton>(&w, csvButton)->click();
            FileChooser::setNextAnswer(xlsxPath);
            findControl<QPushButton>(&w, excelButton)->click();
        });
        QCOMPARE(FileChooser::requests().size(), 2);
        QCOMPARE(FileChooser::requests().back().suggested, suggested);
        QCOMPARE(m_boxes->count(), 0);

        QFile csv(csvPath);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(csv.readAll().mid(3)).split(u"\r\n"_s, Qt::SkipEmptyParts);
        const XlsxSheet sheet = readXlsxSheet(xlsxPath);
        QCOMPARE(sheet.rows.size(), lines.size());
        for (qsizetype r = 0; r < lines.size(); ++r) {
            const QStringList fields = lines[r].split(u',');
            for (qsizetype c = 0; c < fields.size(); ++c) {
                const XlsxCell cell = c < sheet.rows[r].size() ? sheet.rows[r][c] : XlsxCell{};
                QString read = cell.value;
                if (cell.kind == XlsxCell::Number && cell.format.contains(u'年'))
                    read = QDate(1899, 12, 30).addDays(cell.value.toLongLong()).toString(Qt::ISODate);
                else if (cell.kind == XlsxCell::Number)
                    QVERIFY2(qAbs(cell.value.toDouble() - fields[c].toDouble()) < 1e-9, qPrintable(fields[c]));
                if (cell.kind != XlsxCell::Number || cell.format.contains(u'年'))
                    QCOMPARE(read, fields[c]);
            }
        }
    }

    void keysOfTheWindows_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("people") << u"people"_s;
        QTest::newRow("person") << u"person"_s;
        QTest::newRow("statistics") << u"statistics"_s;
    }
    void keysOfTheWindows()
    {
        QFETCH(QString, kind);
        bool closed = false;
        withWindow(kind, [&](ReportWindow& w) {
            QVERIFY(QTest::qWaitForWindowActive(&w));
            auto* tabs = w.findChild<QTabWidget*>();
            const int views = tabs != nullptr ? tabs->count() : 1;
            for (int v = 0; v < views; ++v) {
                if (tabs != nullptr)
                    tabs->setCurrentIndex(v);
                // Every button, tab and labelled control that can be reached has a mnemonic of its own.
                QStringList captions;
                for (QAbstractButton* button : w.findChildren<QAbstractButton*>()) {
                    if (button->isVisibleTo(&w) && !button->text().isEmpty())
                        captions << button->text();
                }
                for (QLabel* label : w.findChildren<QLabel*>()) {
                    if (label->buddy() != nullptr && label->isVisibleTo(&w))
                        captions << label->text();
                }
                for (int t = 0; tabs != nullptr && t < tabs->count(); ++t)
                    captions << tabs->tabText(t);
                QStringList letters;
                for (const QString& caption : captions) {
                    const QString letter = mnemonicOf(caption);
                    QVERIFY2(!letter.isEmpty(), qPrintable(caption));
                    QVERIFY2(!letters.contains(letter), qPrintable(caption));
                    letters << letter;
                }
                QVERIFY(captions.size() >= 3);
                // Tab leaves the table for the next control.
                for (QTableView* table : w.findChildren<QTableView*>()) {
                    if (!table->isVisibleTo(&w))
                        continue;
                    table->setFocus();
                    QTRY_VERIFY(table->hasFocus());
                    QTest::keyClick(table, Qt::Key_Tab);
                    QVERIFY2(!table->hasFocus(), qPrintable(table->objectName()));
                }
            }
            // Esc in an open drop-down closes the drop-down and no more.
            QPointer<ReportWindow> guard(&w);
            for (QComboBox* box : w.findChildren<QComboBox*>()) {
                tabs->setCurrentWidget(box->parentWidget());
                box->setFocus();
                box->showPopup();
                QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
                // The key comes to the drop-down's own window, as the window system sends it.
                QTest::keyClick(QApplication::activePopupWidget()->windowHandle(), Qt::Key_Escape);
                QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
                QTest::qWait(20);
                QVERIFY2(guard && w.isVisible(), qPrintable(box->objectName()));
                // The window is active again (the test platform leaves that to the test).
                w.activateWindow();
                QTRY_COMPARE(QApplication::activeWindow(), &w);
            }
            // Without one, Esc closes the window.
            QTableView* shown = nullptr;
            for (QTableView* table : w.findChildren<QTableView*>()) {
                if (table->isVisible())
                    shown = table;
            }
            QVERIFY(shown != nullptr);
            QTest::keyClick(shown, Qt::Key_Escape);
            QTRY_VERIFY(!guard);
            closed = true;
        });
        QVERIFY(closed);
    }
};

QTEST_MAIN(TestReportOutput)

#include "test_report_output.moc"
