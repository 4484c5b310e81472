// What the user sees is whole: the texts the main grid and the date pickers draw at the windows' default font,
// the grid's tooltips and its colours while a modal window is open, the keyboard's first row, and a screenshot
// of the main window over an ordinary ledger.

#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "ui/base/DatePicker.h"
#include "ui/base/Fonts.h"
#include "ui/base/SharedState.h"
#include "ui/grid/LedgerGrid.h"
#include "ui/window/Catalogue.h"
#include "windows/ledger/MainWindow.h"

#include "DrawnText.h"
#include "GuiSupport.h"
#include "TempFolder.h"

#include <QFontInfo>
#include <QHelpEvent>
#include <QPointer>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

struct Gift
{
    QString name;
    QString date; ///< year-month-day, as the entry window writes it
    QString amount;
    QString note;
};

void addGifts(const QList<Gift>& gifts)
{
    DatabaseConnection connection;
    QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
    for (const Gift& g : gifts) {
        QVERIFY2(connection.execute(u"insert into 收送礼 (收送,姓名,时间,关系,类型,金额,说明) values ('收礼','"_s
                                    + g.name + u"','"_s + g.date + u"','朋友','结婚','"_s + g.amount + u"','"_s + g.note
                                    + u"')"_s),
                 qPrintable(g.name));
    }
}

/// Ten wedding gifts of ¥888 to ¥88888.88, dated from October to December.
const QList<Gift> TenGifts{
    {u"张伟"_s, u"2026-10-1"_s, u"888"_s, u"喜酒"_s},       {u"王芳"_s, u"2026-10-18"_s, u"1888.8"_s, u"婚宴"_s},
    {u"李娜"_s, u"2026-10-31"_s, u"2888.88"_s, QString()},  {u"刘洋"_s, u"2026-11-8"_s, u"6666"_s, u"回礼"_s},
    {u"陈静"_s, u"2026-11-20"_s, u"9999.99"_s, u"红包"_s},  {u"杨磊"_s, u"2026-11-28"_s, u"12345.6"_s, QString()},
    {u"赵敏"_s, u"2026-12-6"_s, u"23456.78"_s, u"订婚"_s},  {u"黄强"_s, u"2026-12-18"_s, u"50000"_s, QString()},
    {u"周杰"_s, u"2026-12-28"_s, u"66666.66"_s, u"喜酒"_s}, {u"吴刚"_s, u"2026-12-31"_s, u"88888.88"_s, u"婚宴"_s},
};

qreal luminance(const QColor& c)
{
    auto channel = [](qreal v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

/// The contrast ratio of two colours, 1 (none) to 21 (black on white).
qreal contrast(const QColor& a, const QColor& b)
{
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

/// The drawn texts of the grid's data cells, with the grid row each lies in.
QList<QPair<int, DrawnText>> dataCellTexts(LedgerGrid& grid)
{
    const QRect viewport = grid.viewport()->geometry();
    QList<QPair<int, DrawnText>> cells;
    for (const DrawnText& t : drawnTexts(&grid)) {
        const int y = int(t.rect.center().y());
        if (y < viewport.top() || y > viewport.bottom())
            continue;
        const int modelRow = grid.rowAt(y - viewport.top());
        if (modelRow >= 0)
            cells.append({modelRow + LedgerGrid::FixedRows, t});
    }
    return cells;
}

} // namespace

class TestDisplayWhole : public QObject
{
    Q_OBJECT

private:
    MainWindow* openMain()
    {
        auto* window = new MainWindow;
        m_main = window;
        window->setStartupStep([window] {
            DatabaseObjects db = window->database();
            return db.connection.connect(LedgerFile::name(), LedgerFile::password())
                && db.recordSet.bind(&db.connection)
                && db.external.connect(LedgerFile::name(), QString(), LedgerFile::password());
        });
        window->openModeless();
        return window;
    }

    /// Every amount and date of the grid's data rows is drawn whole in its cell.
    static void checkAmountsAndDatesWhole(LedgerGrid& grid)
    {
        const QList<DrawnText> texts = drawnTexts(&grid);
        const QPoint origin = grid.viewport()->geometry().topLeft();
        for (int row = LedgerGrid::FixedRows; row < grid.rowCount(); ++row) {
            for (int column : {4, 7}) {
                QString expected = grid.cellText(row, column);
                if (column == 7)
                    expected.prepend(u'￥');
                const QRect cell
                    = grid.visualRect(grid.model()->index(row - LedgerGrid::FixedRows, column)).translated(origin);
                QList<DrawnText> drawn;
                for (const DrawnText& t : texts) {
                    if (cell.contains(t.rect.center().toPoint()))
                        drawn.append(t);
                }
                QVERIFY2(drawn.size() == 1, qPrintable(u"%1 drawn %2 times"_s.arg(expected).arg(drawn.size())));
                QVERIFY2(drawn.first().text == expected,
                         qPrintable(u"%1 drawn as %2"_s.arg(expected, drawn.first().text)));
                QVERIFY2(drawn.first().shownWhole(), qPrintable(expected + u" is cut off by its cell"_s));
            }
        }
    }

    std::unique_ptr<TempFolder> m_folder;
    std::unique_ptr<BoxRecorder> m_boxes;
    std::unique_ptr<EndRecorder> m_end;
    QPointer<MainWindow> m_main;

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<TempFolder>();
        QVERIFY(m_folder->isValid());
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        m_boxes = std::make_unique<BoxRecorder>();
        m_end = std::make_unique<EndRecorder>();
        SharedState::instance().clear();
        Program::setNow(QDateTime(QDate(2026, 12, 28), QTime(9, 41)));
    }

    void cleanup()
    {
        delete m_main.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QToolTip::hideText();
        Program::setNow(std::nullopt);
        m_end.reset();
        m_boxes.reset();
        m_folder.reset();
        SharedState::instance().clear();
    }

    void windowsDrawWithTheCjkFaceAtTheLayoutsSizes()
    {
        LedgerWindow entry(Catalogue::entryWindow());
        for (const QString& name : {u"日期框"_s, u"添加按钮"_s, u"姓名编辑框"_s}) {
            const QFont font = entry.control(name)->font();
            QCOMPARE(font.pixelSize(), 12);
            QCOMPARE(font.families(), Fonts::families());
        }
        QCOMPARE(Fonts::forDef(FontDef::S14).pixelSize(), 14);
        // The face the machine resolves draws the widest amount and date within their columns.
        const QFontMetricsF metrics(Fonts::gui());
        QVERIFY2(metrics.horizontalAdvance(u"￥99999.99"_s) <= 68 - 1 - 4,
                 qPrintable(QFontInfo(Fonts::gui()).family()));
        QVERIFY(metrics.horizontalAdvance(u"2026年12月28日"_s) <= 100 - 1 - 4);
    }

    void gridShowsEveryAmountAndDateWhole()
    {
        QList<Gift> gifts = TenGifts;
        gifts.append({u"郑红"_s, u"2026-12-28"_s, u"99999.99"_s, QString()});
        gifts.append({u"孙丽"_s, u"2026-11-22"_s, u"0.01"_s, QString()});
        addGifts(gifts);
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        LedgerGrid& grid = w.grid();
        QCOMPARE(grid.rowCount(), 2 + 12);
        QCOMPARE(grid.cellText(2, 4), u"2026年12月31日"_s);
        checkAmountsAndDatesWhole(grid);
        // Nothing else the grid draws at this size is elided either: titles, headers, names, notes.
        for (const DrawnText& t : drawnTexts(&grid))
            QVERIFY2(!t.elided(), qPrintable(t.text));
    }

    void cellThatDoesNotFitShowsItsWholeTextAsTooltip()
    {
        const QString longNote = u"新郎新娘百年好合，早生贵子，白头偕老，永结同心"_s;
        addGifts({{u"欧阳慕容"_s, u"2026-12-28"_s, u"-99999.99"_s, longNote}});
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        LedgerGrid& grid = w.grid();
        auto hover = [&grid](int column) {
            const QRect cell = grid.visualRect(grid.model()->index(0, column));
            QHelpEvent event(QEvent::ToolTip, cell.center(), grid.viewport()->mapToGlobal(cell.center()));
            QApplication::sendEvent(grid.viewport(), &event);
        };

        // The note is drawn elided and shown whole when hovered.
        const QList<DrawnText> drawn = drawnAs(drawnTexts(&grid), longNote);
        QCOMPARE(drawn.size(), 1);
        QVERIFY(drawn.first().elided());
        hover(8);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), longNote);
        // A cell whose text fits has no tooltip.
        hover(3);
        QTRY_VERIFY(!QToolTip::isVisible());
        hover(7);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), u"￥-99999.99"_s);
        hover(4);
        QTRY_VERIFY(!QToolTip::isVisible());
    }

    void rowsStayLegibleWhileAModalWindowIsOpen()
    {
        addGifts(TenGifts.mid(0, 4));
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        LedgerGrid& grid = w.grid();
        grid.setCurrentCell(3, 3);

        bool enabled = true;
        QList<QPair<int, DrawnText>> cells;
        QTimer::singleShot(0, qApp, [&] {
            LedgerWindow* search = LedgerWindow::findOpen(u"search"_s);
            QVERIFY(search != nullptr);
            enabled = grid.isEnabled();
            cells = dataCellTexts(grid);
            search->requestClose();
        });
        w.runCommand(MainWindow::Search);
        QVERIFY(!enabled);
        QVERIFY(cells.size() >= 4 * 7);
        QSet<int> rows;
        for (const auto& [row, text] : cells) {
            rows.insert(row);
            if (row == 3)
                continue; // the current row is drawn in the selection's colours
            const qreal ratio = contrast(text.colour, grid.rowBackground(row));
            QVERIFY2(ratio >= 4.5, qPrintable(u"%1 in row %2: contrast %3"_s.arg(text.text).arg(row).arg(ratio)));
        }
        QCOMPARE(rows.size(), 4);
        // Muted: not the black of an enabled grid.
        QVERIFY(cells.first().second.colour != QColor(Qt::black));
    }

    void keyboardPicksAFirstRow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("row"); // grid row made current; -1 for none
        QTest::newRow("Down: first record") << int(Qt::Key_Down) << Qt::KeyboardModifiers() << 2;
        QTest::newRow("Home: first record") << int(Qt::Key_Home) << Qt::KeyboardModifiers() << 2;
        QTest::newRow("Ctrl+Home: first record")
            << int(Qt::Key_Home) << Qt::KeyboardModifiers(Qt::ControlModifier) << 2;
        QTest::newRow("Page Down: first record") << int(Qt::Key_PageDown) << Qt::KeyboardModifiers() << 2;
        QTest::newRow("Up: last record") << int(Qt::Key_Up) << Qt::KeyboardModifiers() << 4;
        QTest::newRow("End: last record") << int(Qt::Key_End) << Qt::KeyboardModifiers() << 4;
        QTest::newRow("Ctrl+End: last record") << int(Qt::Key_End) << Qt::KeyboardModifiers(Qt::ControlModifier) << 4;
        QTest::newRow("Right: nothing") << int(Qt::Key_Right) << Qt::KeyboardModifiers() << -1;
        QTest::newRow("Left: nothing") << int(Qt::Key_Left) << Qt::KeyboardModifiers() << -1;
    }
    void keyboardPicksAFirstRow()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, row);
        addGifts(TenGifts.mid(0, 3));
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        LedgerGrid& grid = w.grid();
        QCOMPARE(grid.currentRow(), -1);
        QTest::keyClick(&grid, Qt::Key(key), modifiers);
        QCOMPARE(grid.currentRow(), row);
        if (row < 0)
            return;
        // A keyboard user can then modify the record without a mouse.
        const QString id = grid.cellText(row, 0);
        bool opened = false;
        QTimer::singleShot(0, qApp, [&] {
            if (LedgerWindow* entry = LedgerWindow::findOpen(u"entry"_s)) {
                opened = true;
                entry->requestClose();
            }
        });
        w.runCommand(MainWindow::ModifyRecord);
        QVERIFY(opened);
        QCOMPARE(SharedState::instance().selectedRecordId, id);
        QCOMPARE(m_boxes->count(), 0);
    }

    void keysChooseNothingInAnEmptyLedger()
    {
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Home, Qt::Key_End})
            QTest::keyClick(&w.grid(), key);
        QCOMPARE(w.grid().currentRow(), -1);
    }

    void datePickersShowTheWholeDate()
    {
        // The longest dates of the layout's form, in every picker of the entry and search windows, enabled or not.
        for (const QDate date : {QDate(2026, 12, 28), QDate(2028, 11, 30), QDate(9999, 12, 31)}) {
            const QString text = LedgerGrid::dateText(date);
            LedgerWindow entry(Catalogue::entryWindow());
            LedgerWindow search(Catalogue::searchWindow());
            QList<DatePicker*> pickers{entry.control<DatePicker>(u"日期框"_s),
                                       search.control<DatePicker>(u"起始日期框"_s),
                                       search.control<DatePicker>(u"截止日期框"_s)};
            search.control<DatePicker>(u"截止日期框"_s)->setEnabled(true);
            entry.show();
            search.show();
            QVERIFY(QTest::qWaitForWindowExposed(&search));
            for (DatePicker* picker : pickers) {
                QCOMPARE(picker->size(), QSize(110, 20));
                picker->setDate(date);
                QCOMPARE(picker->text(), text);
                const QList<DrawnText> drawn = drawnAs(drawnTexts(picker), text);
                QVERIFY2(!drawn.isEmpty(), qPrintable(picker->objectName()));
                // A focused field draws its selected part once more, clipped to the selection; the text as a
                // whole is the drawing under the widest clip.
                DrawnText whole = drawn.first();
                for (const DrawnText& t : drawn) {
                    QVERIFY2(t.text == text, qPrintable(t.text));
                    if (t.clip.width() > whole.clip.width())
                        whole = t;
                }
                QVERIFY2(whole.shownWhole(),
                         qPrintable(u"%1: %2 drawn from %3 to %4, clipped at %5"_s.arg(picker->objectName(), text)
                                        .arg(whole.rect.left())
                                        .arg(whole.rect.right())
                                        .arg(whole.clip.right())));
                QVERIFY(whole.rect.right() <= picker->width() - DatePicker::ButtonWidth);
            }
        }
    }

    void screenshotOfTheMainWindowShowsEveryAmountAndDate()
    {
        addGifts(TenGifts);
        MainWindow& w = *openMain();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        LedgerGrid& grid = w.grid();
        QCOMPARE(grid.rowCount(), 12);
        checkAmountsAndDatesWhole(grid);
        const QStringList amounts
            = {u"￥888.00"_s,   u"￥1888.80"_s,  u"￥2888.88"_s,  u"￥6666.00"_s,  u"￥9999.99"_s,
               u"￥12345.60"_s, u"￥23456.78"_s, u"￥50000.00"_s, u"￥66666.66"_s, u"￥88888.88"_s};
        const QList<DrawnText> texts = drawnTexts(&w);
        for (const QString& amount : amounts) {
            const QList<DrawnText> drawn = drawnAs(texts, amount);
            QVERIFY2(drawn.size() == 1 && drawn.first().text == amount && drawn.first().shownWhole(),
                     qPrintable(amount));
        }

        // In device pixels: the same test runs at any scale factor (QT_SCALE_FACTOR=2 for a high-density screen).
        const QImage shot = w.grab().toImage();
        const QSize pixels = w.size() * w.devicePixelRatio();
        QCOMPARE(shot.size(), pixels);
        const QString path = m_folder->file(u"main-window.png"_s);
        QVERIFY(shot.save(path, "PNG"));
        QCOMPARE(QImage(path).size(), pixels);
        // For a look by eye: OVELTA_SCREENSHOT names a file to keep a copy in.
        const QString keep = qEnvironmentVariable("OVELTA_SCREENSHOT");
        if (!keep.isEmpty())
            QVERIFY(shot.save(keep, "PNG"));
    }
};

QTEST_MAIN(TestDisplayWhole)
#include "test_display_whole.moc"
