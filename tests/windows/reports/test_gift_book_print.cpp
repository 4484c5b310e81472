// The gift book on paper: the traditional book (a cover with the count and the total, then the guests in columns
// read from right to left, each page with its own total and number, in red for happy occasions and in black and
// grey for a funeral, long and rare names whole) and the plain table, both from the 礼簿 window through the print
// preview and to PDF.
//
// With OVELTA_BOOK_PNG_DIR set, the books are also written there as PDF files and PNG pictures, to be looked at.

#include "GuiSupport.h"
#include "store/ledger/LedgerEvents.h"
#include "store/value/Money.h"
#include "ui/print/PrintPreview.h"
#include "windows/common/ReportPrint.h"
#include "windows/common/ReportText.h"
#include "windows/reports/GiftBookPrint.h"
#include "windows/reports/GiftBookWindow.h"

#include "DrawnText.h"
#include "KnownLedger.h"
#include "LedgerFixture.h"
#include "ReportSteps.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QPageLayout>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

const QDate Day(2026, 12, 8);

/// Guests of a book: everyday names, rare characters (one outside the basic plane), long names up to twelve
/// characters, and amounts of many kinds, one with a part of a fen.
QList<GiftLine> guests(int count)
{
    const QStringList special{u"李焜"_s,
                              u"刘䶮"_s,
                              u"陈𠇔"_s,
                              u"爱新觉罗·溥仪"_s,
                              u"欧阳长名字的亲戚"_s,
                              u"阿卜杜热合曼买买提江"_s,
                              u"诸葛亮"_s,
                              u"Tom"_s,
                              u"阿卜杜热合曼·买买提江·艾尔肯·吐尔逊"_s};
    const QStringList surnames{u"王"_s, u"李"_s, u"张"_s, u"刘"_s, u"陈"_s, u"杨"_s, u"赵"_s, u"黄"_s, u"周"_s};
    const QStringList given{u"伟"_s, u"芳"_s, u"娜"_s, u"秀英"_s, u"敏"_s, u"静"_s,
                            u"丽"_s, u"强"_s, u"磊"_s, u"洋"_s,   u"艳"_s};
    const qint64 amounts[]{2000000, 1000000, 6660000, 8880000, 500000, 12000000, 2880000, 100050, 3005000};
    QList<GiftLine> lines;
    for (int i = 0; i < count; ++i) {
        GiftLine line;
        line.name = i % 13 == 3 ? special.at((i / 13) % special.size())
                                : surnames.at(i % surnames.size()) + given.at((i / 3) % given.size());
        line.relation = i % 2 ? u"朋友"_s : u"亲戚"_s;
        line.ticks = amounts[i % std::size(amounts)];
        line.note = i % 5 == 0 ? u"第%1位"_s.arg(i + 1) : QString();
        lines << line;
    }
    return lines;
}

/// The capitals of an amount as the book writes them: with "※" when they are rounded to the fen.
QString capitals(Sum ticks)
{
    bool rounded = false;
    const QString text = Money::toCapitals(qint64(ticks), &rounded);
    return rounded ? text + u"※"_s : text;
}

/// The texts one page paints, in points, in the coordinates of the whole sheet. The preview lays pages out at
/// 1200 dpi; painted at as many pixels, the painter is not scaled and every text's box is exact.
QList<DrawnText> pageTexts(PrintPreview& preview, int page)
{
    constexpr qreal PixelsPerPoint = 1200.0 / 72.0;
    preview.setCurrentPage(page);
    const QSizeF sheet = preview.pageLayout().fullRect(QPageLayout::Point).size() * PixelsPerPoint;
    DrawnTextDevice device(sheet.toSize() + QSize(1, 1));
    {
        QPainter painter(&device);
        preview.paintCurrentPage(painter, PixelsPerPoint);
    }
    QList<DrawnText> texts = device.texts();
    for (DrawnText& t : texts) {
        t.rect = QRectF(t.rect.topLeft() / PixelsPerPoint, t.rect.size() / PixelsPerPoint);
        t.clip = QRectF(t.clip.topLeft() / PixelsPerPoint, t.clip.size() / PixelsPerPoint);
    }
    return texts;
}

/// The page as pixels at two pixels per point.
QImage pageImage(PrintPreview& preview, int page)
{
    preview.setCurrentPage(page);
    const QSizeF sheet = preview.pageLayout().fullRect(QPageLayout::Point).size() * 2;
    QImage image(sheet.toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    preview.paintCurrentPage(painter, 2.0);
    return image;
}

/// Pixels of a red hue.
int redPixels(const QImage& image)
{
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            red += qRed(p) - std::max(qGreen(p), qBlue(p)) > 40;
        }
    }
    return red;
}

/// The texts in lines from the top (pieces whose tops differ by a few points at most), each line's pieces
/// joined from the left where they touch.
QList<QStringList> linesOf(QList<DrawnText> texts)
{
    std::stable_sort(texts.begin(), texts.end(),
                     [](const DrawnText& a, const DrawnText& b) { return a.rect.top() < b.rect.top(); });
    QList<QList<DrawnText>> lines;
    for (const DrawnText& t : texts) {
        if (lines.isEmpty() || t.rect.top() - lines.last().first().rect.top() > 6)
            lines.append(QList<DrawnText>());
        lines.last().append(t);
    }
    QList<QStringList> joined;
    for (QList<DrawnText>& line : lines) {
        std::sort(line.begin(), line.end(),
                  [](const DrawnText& a, const DrawnText& b) { return a.rect.left() < b.rect.left(); });
        QStringList parts;
        qreal right = -1e9;
        for (const DrawnText& t : line) {
            if (!parts.isEmpty() && t.rect.left() - right < 1.0)
                parts.last() += t.text;
            else
                parts << t.text;
            right = t.rect.right();
        }
        joined << parts;
    }
    return joined;
}

/// A page of guests as printed: the line above the columns, the columns from the right (each one's texts from
/// the top, joined; with their pieces), and the line at the foot.
struct GuestPage
{
    QStringList header;
    QStringList columns;
    QList<QList<DrawnText>> pieces;
    QStringList footer;
};

/// The page read as a book: the columns are the slots of the paint area from the right; in each, the lines of
/// characters stacked at one place across are read from the top, the line that starts higher first, and of two
/// that start alike the right one first.
GuestPage guestPage(const QList<DrawnText>& texts, const QRectF& paint, int slots)
{
    qreal top = 1e9;
    qreal bottom = -1e9;
    for (const DrawnText& t : texts) {
        top = std::min(top, t.rect.top());
        bottom = std::max(bottom, t.rect.top());
    }
    const qreal slot = paint.width() / slots;
    QList<DrawnText> header;
    QList<DrawnText> footer;
    QList<QList<QList<DrawnText>>> columns(slots);
    for (const DrawnText& t : texts) {
        if (t.rect.top() - top < 6) {
            header << t;
            continue;
        }
        if (bottom - t.rect.top() < 6) {
            footer << t;
            continue;
        }
        const qreal centre = t.rect.center().x();
        const int c = std::clamp(int((paint.right() - centre) / slot), 0, slots - 1);
        bool placed = false;
        for (QList<DrawnText>& line : columns[c]) {
            if (std::abs(line.first().rect.center().x() - centre) < 3) {
                line << t;
                placed = true;
                break;
            }
        }
        if (!placed)
            columns[c].append(QList<DrawnText>{t});
    }
    GuestPage page;
    page.header = linesOf(header).value(0);
    page.footer = linesOf(footer).value(0);
    for (QList<QList<DrawnText>>& lines : columns) {
        if (lines.isEmpty())
            continue;
        for (QList<DrawnText>& line : lines) {
            std::sort(line.begin(), line.end(),
                      [](const DrawnText& a, const DrawnText& b) { return a.rect.top() < b.rect.top(); });
        }
        std::sort(lines.begin(), lines.end(), [](const QList<DrawnText>& a, const QList<DrawnText>& b) {
            if (std::abs(a.first().rect.top() - b.first().rect.top()) > 3)
                return a.first().rect.top() < b.first().rect.top();
            return a.first().rect.center().x() > b.first().rect.center().x();
        });
        QString text;
        QList<DrawnText> pieces;
        for (const QList<DrawnText>& line : std::as_const(lines)) {
            for (const DrawnText& t : line)
                text += t.text;
            pieces << line;
        }
        page.columns << text;
        page.pieces << pieces;
    }
    return page;
}

QString pdfText(const QString& path)
{
    QProcess process;
    process.start(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, path, u"-"_s});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return u"<pdftotext failed>"_s;
    QString text = QString::fromUtf8(process.readAllStandardOutput());
    text.remove(QRegularExpression(u"\\s"_s));
    return text;
}

} // namespace

class TestGiftBookPrint : public QObject
{
    Q_OBJECT

    std::unique_ptr<LedgerFixture> m_fixture;

private Q_SLOTS:
    void init()
    {
        m_fixture = std::make_unique<LedgerFixture>(LedgerFixture::Options{}.pinnedAt(QDateTime(Day, QTime(20, 0))));
        QVERIFY(m_fixture->isValid());
    }
    void cleanup() { m_fixture.reset(); }

    void theBookReadsFromTheRightWithEveryPageSummed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("direction");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("red");
        QTest::addColumn<QString>("countText");
        QTest::newRow("wedding") << u"结婚"_s << u"收礼"_s << 200 << true << u"来宾 200 位"_s;
        QTest::newRow("funeral") << u"丧礼"_s << u"收礼"_s << 40 << false << u"来宾 40 位"_s;
        QTest::newRow("white affair given") << u"白事"_s << u"送礼"_s << 3 << false << u"共 3 笔"_s;
        QTest::newRow("birthday") << u"寿宴"_s << u"收礼"_s << 17 << true << u"来宾 17 位"_s;
    }
    void theBookReadsFromTheRightWithEveryPageSummed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, direction);
        QFETCH(int, count);
        QFETCH(bool, red);
        QFETCH(QString, countText);
        const EventKey event{Day, kind, direction};
        const QList<GiftLine> lines = guests(count);
        const QPageLayout layout = GiftBookPrinter::pageLayout();
        QCOMPARE(layout.orientation(), QPageLayout::Landscape);
        const int columns = GiftBookPrinter::columnsPerPage(layout);
        QVERIFY2(columns >= 12 && columns <= 16, qPrintable(QString::number(columns)));
        const int pages = 1 + (count + columns - 1) / columns;
        auto printer = std::make_shared<const GiftBookPrinter>(event, lines);
        PrintPreview preview(printer, layout);
        QCOMPARE(preview.pageCount(), pages);

        // The cover: the book's name, date and direction, the count and the total, and the note on the mark.
        Sum total = 0;
        bool rounded = false;
        for (const GiftLine& line : lines) {
            total += line.ticks;
            rounded = rounded || capitals(line.ticks).endsWith(u"※"_s);
        }
        QList<QStringList> cover{
            {kind + u"礼簿"_s},        {u"2026年12月8日"_s}, {direction}, {countText}, {u"合计："_s + capitals(total)},
            {ReportText::money(total)}};
        if (rounded)
            cover << QStringList{u"注：标有“※”的金额不足一分的尾数，大写按四舍五入到分。"_s};
        QCOMPARE(linesOf(pageTexts(preview, 1)), cover);

        const QRectF paint = layout.paintRect(QPageLayout::Point);
        const qreal slot = paint.width() / columns;
        int guest = 0;
        for (int p = 2; p <= pages; ++p) {
            const GuestPage page = guestPage(pageTexts(preview, p), paint, columns);
            QCOMPARE(page.header, QStringList{kind + u"礼簿　2026年12月8日　"_s + direction});
            // The first guest of the page in the rightmost column, each one a column further to the left.
            QStringList expected;
            Sum pageTotal = 0;
            for (int c = 0; c < columns && guest < count; ++c, ++guest) {
                expected << lines.at(guest).name + capitals(lines.at(guest).ticks);
                pageTotal += lines.at(guest).ticks;
            }
            QCOMPARE(page.columns, expected);
            QCOMPARE(page.footer,
                     (QStringList{u"第 %1 页 / 共 %2 页"_s.arg(p).arg(pages),
                                  u"本页合计：%1　%2"_s.arg(capitals(pageTotal), ReportText::money(pageTotal))}));
            // Every character whole in its own column's slot, none over another.
            for (int c = 0; c < page.pieces.size(); ++c) {
                const qreal right = paint.right() - c * slot;
                const QList<DrawnText>& column = page.pieces.at(c);
                for (int i = 0; i < column.size(); ++i) {
                    const QRectF r = column.at(i).rect;
                    QVERIFY2(r.left() >= right - slot && r.right() <= right, qPrintable(column.at(i).text));
                    QVERIFY2(r.top() >= paint.top() && r.bottom() <= paint.bottom(), qPrintable(column.at(i).text));
                    for (int k = 0; k < i; ++k) {
                        const QRectF o = column.at(k).rect;
                        const bool across
                            = std::abs(o.center().x() - r.center().x()) < (o.width() + r.width()) / 2 - 0.5;
                        const bool down = std::abs(o.top() - r.top()) < 0.6 * std::min(o.height(), r.height());
                        QVERIFY2(!(across && down), qPrintable(page.columns.at(c)));
                    }
                }
            }
        }
        QCOMPARE(guest, count);

        // Red rules and titles for a happy occasion; not a red pixel for a funeral.
        for (const int p : {1, 2}) {
            const int redCount = redPixels(pageImage(preview, p));
            QVERIFY2(red ? redCount > 500 : redCount == 0, qPrintable(u"page %1: %2"_s.arg(p).arg(redCount)));
        }

        // The same pages as a PDF file.
        const QString pdf = m_fixture->folder().file(u"礼簿.pdf"_s);
        QCOMPARE(printer->writePdf(pdf, layout, 1, pages, {}), PagePrinter::Printed);
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains(kind + u"礼簿"_s + u"2026年12月8日"_s + direction), qPrintable(text.left(200)));
        QVERIFY(text.contains(QString(countText).remove(u' ')));

        const QString pictures = qEnvironmentVariable("OVELTA_BOOK_PNG_DIR");
        if (!pictures.isEmpty()) {
            QVERIFY(QDir().mkpath(pictures));
            const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
            const QString bookPdf = pictures + u"/"_s + name + u".pdf"_s;
            const QString tablePdf = pictures + u"/"_s + name + u"-table.pdf"_s;
            QCOMPARE(printer->writePdf(bookPdf, layout, 1, pages, {}), PagePrinter::Printed);
            QCOMPARE(GiftTablePrinter(event, lines).writePdf(tablePdf, ReportPrinter::pageLayout(), 1, 1000, {}),
                     PagePrinter::Printed);
            for (const QString& file : {bookPdf, tablePdf}) {
                QCOMPARE(
                    QProcess::execute(u"pdftoppm"_s, {u"-png"_s, u"-r"_s, u"60"_s, file, QString(file).chopped(4)}), 0);
            }
        }
    }

    void occasionsOfMourningPrintInBlack()
    {
        for (const QString& kind : {u"丧礼"_s, u"丧事"_s, u"白事"_s, u"奔丧"_s, u"出殡下葬"_s, u"祭祖"_s, u"追悼会"_s})
            QVERIFY2(GiftBookPrinter::isMourning(kind), qPrintable(kind));
        for (const QString& kind : {u"结婚"_s, u"满月"_s, u"寿宴"_s, u"乔迁"_s, u"白玉婚"_s, u"升学"_s, QString()})
            QVERIFY2(!GiftBookPrinter::isMourning(kind), qPrintable(kind));
    }

    // The window prints the event shown, the guests in the order they came, as a book (Ctrl+P) or as a table
    // (打印 with 表格 chosen); an empty event says there is nothing to print.
    void theWindowPrintsItsEventInTheStyleChosen_data()
    {
        QTest::addColumn<QString>("style");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<bool>("empty");
        QTest::newRow("book by Ctrl+P") << u"传统礼簿（竖排）"_s << true << false;
        QTest::newRow("table by the button") << u"表格"_s << false << false;
        QTest::newRow("nothing to print") << u"表格"_s << false << true;
    }
    void theWindowPrintsItsEventInTheStyleChosen()
    {
        QFETCH(QString, style);
        QFETCH(bool, byKey);
        QFETCH(bool, empty);
        const QString time = Day.toString(u"yyyy-MM-dd 00:00:00"_s);
        if (!empty) {
            // Stored in this order; the window lists them newest first.
            QVERIFY(addRecords(*m_fixture->host().connection.engine(),
                               {{u"送礼"_s, u"王五"_s, time, u"同事"_s, u"结婚"_s, 100000, {}},
                                {u"收礼"_s, u"李焜"_s, time, u"亲戚"_s, u"结婚"_s, 2000000, u"早到"_s},
                                {u"收礼"_s, u"刘䶮"_s, time, u"朋友"_s, u"结婚"_s, 6660000, {}},
                                {u"收礼"_s, u"陈𠇔"_s, time, u"同事"_s, u"结婚"_s, 100050, {}}}));
        }
        QList<QStringList> tableLines;
        QStringList bookColumns;
        int pages = 0;
        QPageLayout::Orientation orientation = QPageLayout::Portrait;
        QVERIFY(whileOpen(
            u"giftBook"_s, [this] { (new GiftBookWindow(m_fixture->host()))->openModal(); },
            [&](ReportWindow& w) {
                w.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&w));
                QCOMPARE(static_cast<GiftBookWindow&>(w).lines().size(), empty ? 0 : 3);
                auto* styles = findControl<QComboBox>(&w, u"版式框"_s);
                styles->setCurrentIndex(styles->findText(style));
                QCOMPARE(styles->currentText(), style);
                whenModal<PrintPreview>(this, u"打印预览"_s, [&](PrintPreview* preview) {
                    pages = preview->pageCount();
                    orientation = preview->pageLayout().orientation();
                    if (style == u"表格"_s)
                        tableLines = linesOf(pageTexts(*preview, 1));
                    else
                        bookColumns
                            = guestPage(pageTexts(*preview, 2), preview->pageLayout().paintRect(QPageLayout::Point),
                                        GiftBookPrinter::columnsPerPage(preview->pageLayout()))
                                  .columns;
                });
                if (byKey)
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier);
                else
                    findControl<QPushButton>(&w, u"打印按钮"_s)->click();
            }));
        if (empty) {
            QCOMPARE(m_fixture->boxes().count(), 1);
            const MessageBox::Record box = m_fixture->boxes().last();
            QCOMPARE(box.text, u"这次酒席的礼簿中还没有登记，没有可以打印的。"_s);
            QCOMPARE(box.title, u"系统提示"_s);
            QCOMPARE(box.buttons, MessageBox::OkOnly);
            QCOMPARE(box.icon, MessageBox::Information);
            QCOMPARE(pages, 0);
            return;
        }
        QCOMPARE(m_fixture->boxes().count(), 0);
        if (style == u"表格"_s) {
            QCOMPARE(pages, 1);
            QCOMPARE(orientation, QPageLayout::Portrait);
            const QList<QStringList> expected{{u"结婚礼簿　2026年12月8日　收礼"_s},
                                              {u"姓名"_s, u"关系"_s, u"金额"_s, u"大写"_s, u"说明"_s},
                                              {u"李焜"_s, u"亲戚"_s, u"￥200.00"_s, u"贰佰元整"_s, u"早到"_s},
                                              {u"刘䶮"_s, u"朋友"_s, u"￥666.00"_s, u"陆佰陆拾陆元整"_s},
                                              {u"陈𠇔"_s, u"同事"_s, u"￥10.0050"_s, u"壹拾元零壹分※"_s},
                                              {u"来宾 3 位　合计 ￥876.0050　大写：捌佰柒拾陆元零壹分※"_s},
                                              {u"第 1 页 / 共 1 页"_s}};
            QCOMPARE(tableLines, expected);
        } else {
            QCOMPARE(pages, 2);
            QCOMPARE(orientation, QPageLayout::Landscape);
            QCOMPARE(bookColumns, (QStringList{u"李焜贰佰元整"_s, u"刘䶮陆佰陆拾陆元整"_s, u"陈𠇔壹拾元零壹分※"_s}));
        }
    }
};

QTEST_MAIN(TestGiftBookPrint)
#include "test_gift_book_print.moc"
