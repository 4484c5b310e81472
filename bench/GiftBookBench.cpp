#include "GiftBookBench.h"

#include "BenchFormat.h"
#include "BenchHost.h"
#include "PaintWatcher.h"

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerEvents.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerTotals.h"
#include "store/value/Pinyin.h"
#include "ui/base/MessageBox.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/common/LedgerHost.h"
#include "windows/reports/GiftBookPrint.h"
#include "windows/reports/GiftBookWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <functional>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;
using namespace ovelta::bench::format;

namespace ovelta::bench {

namespace {

constexpr double KeyTargetMs = 30;
constexpr double StoreTargetMs = 20;
constexpr double EventTargetMs = 100;
constexpr double PreviewTargetMs = 300;
constexpr double PdfTargetMs = 3000;
constexpr int Guests = 500;
const QString Typed = u"zhangw"_s;
const QString WindowId = u"giftBook"_s;
/// The banquet of 500 guests: a day after the last one of the bench ledgers, so that it is the newest event.
const EventKey Banquet{QDate(2025, 10, 1), u"结婚"_s, u"收礼"_s};
/// The days of the lines stored by the window and by the floor, apart from each other and from the ledger.
const QDate StoreDay(2026, 6, 1);
const QByteArray FloorDay = "2026-06-02 00:00:00";

/// Milliseconds from action() to the next paint in the window; -1 when nothing is painted within two seconds
/// after action() returned.
double untilPainted(const std::function<void()>& action)
{
    PaintWatcher watcher(WindowId);
    QElapsedTimer timer;
    timer.start();
    action();
    QElapsedTimer waiting;
    waiting.start();
    while (watcher.paints() == 0 && waiting.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return watcher.paints() > 0 ? millisecondsSince(timer) : -1;
}

/// Runs script on the gift book once it is open and painted, then closes it; the milliseconds to that paint.
double withWindow(LedgerHost& host, const std::function<void(GiftBookWindow&)>& script)
{
    PaintWatcher watcher(WindowId);
    double ms = -1;
    QElapsedTimer timer;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        ReportWindow* window = ReportWindow::findOpen(WindowId);
        if (window == nullptr || watcher.paints() == 0 || ms >= 0)
            return;
        ms = millisecondsSince(timer);
        poll.stop();
        script(*static_cast<GiftBookWindow*>(window));
        window->close();
    });
    poll.start();
    timer.start();
    (new GiftBookWindow(host))->openModal();
    poll.stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ms;
}

/// Reads the banquet's records with one bound statement; the rows read.
qint64 readBanquet(sqlite3_stmt* s)
{
    const QByteArray day = Banquet.date.toString(Qt::ISODate).toUtf8();
    const QByteArray kind = Banquet.occasion.toUtf8();
    const QByteArray direction = Banquet.direction.toUtf8();
    sqlite3_bind_text(s, 1, day.constData(), int(day.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 2, kind.constData(), int(kind.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 3, direction.constData(), int(direction.size()), SQLITE_STATIC);
    qint64 rows = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        sqlite3_column_int64(s, 0);
        for (int column = 1; column < 5; ++column)
            sqlite3_column_text(s, column);
        ++rows;
    }
    sqlite3_reset(s);
    return rows;
}

/// One line stored as the floor: BEGIN IMMEDIATE, the INSERT, COMMIT.
bool insertOnce(EngineConnection& engine, sqlite3_stmt* s, int i)
{
    const QByteArray name = u"基准客%1"_s.arg(i).toUtf8();
    if (!engine.executeNative("BEGIN IMMEDIATE"))
        return false;
    sqlite3_bind_text(s, 1, name.constData(), int(name.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 2, FloorDay.constData(), int(FloorDay.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return engine.executeNative(rc == SQLITE_DONE ? "COMMIT" : "ROLLBACK") && rc == SQLITE_DONE;
}

/// Milliseconds from pressing 打印 to the end of the print preview's first paint of a page; the preview is closed
/// then. -1 when no page is painted within 30 seconds.
double previewUntilPainted(QPushButton& print)
{
    PaintWatcher watcher(u"打印预览"_s);
    QElapsedTimer timer;
    double ms = -1;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto* preview = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        const bool painted = watcher.paints() > 0;
        if (painted && ms < 0)
            ms = millisecondsSince(timer);
        if (preview != nullptr && preview->objectName() == u"打印预览"_s && (painted || timer.elapsed() > 30000)) {
            poll.stop();
            preview->reject();
        }
    });
    poll.start();
    timer.start();
    print.click();
    poll.stop();
    return ms;
}

/// The measurements inside the open window; floors and window alternate, so that a change of load falls on both.
void measureInWindow(GiftBookWindow& w, EngineConnection& engine, const QStringList& names,
                     const QList<QStringList>& keys, GiftBookResults& r, int runs, QStringList& errors)
{
    auto* name = w.findChild<QLineEdit*>(u"姓名框"_s);
    auto* list = w.findChild<QListWidget*>(u"候选名单"_s);
    auto* relation = w.findChild<QComboBox*>(u"关系框"_s);
    auto* amount = w.findChild<QLineEdit*>(u"金额框"_s);
    auto* note = w.findChild<QLineEdit*>(u"说明框"_s);
    auto* events = w.findChild<QComboBox*>(u"酒席列表"_s);
    auto* table = w.findChild<QTableWidget*>(u"礼簿表"_s);
    auto* date = w.findChild<QDateEdit*>(u"日期框"_s);
    if (!name || !list || !relation || !amount || !note || !events || !table || !date) {
        errors << u"a control of the gift book is missing"_s;
        return;
    }
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w, 2000))
        errors << u"the gift book does not become active"_s;

    // As a user does: the first key at once, while the window may still be making the names' pinyin.
    r.firstKeyMs = untilPainted([&] { QTest::keyClick(name, Typed.front().toLatin1()); });
    // Until the pinyin is made the names are offered by their characters only: the key is typed again until a
    // name is offered by its pinyin. Taken back rather than escaped: with no name offered, Esc closes the window.
    QElapsedTimer pinyin;
    pinyin.start();
    while (!list->isVisible() && pinyin.elapsed() < 120000) {
        QTest::keyClick(name, Qt::Key_Backspace);
        QThread::msleep(5);
        QTest::keyClick(name, Typed.front().toLatin1());
    }
    r.pinyinReadyMs = list->isVisible() ? millisecondsSince(pinyin) : -1;
    QTest::keyClick(name, Qt::Key_Backspace);

    for (int run = 0; run < runs; ++run) {
        for (qsizetype n = 1; n <= Typed.size(); ++n) {
            const QString prefix = Typed.left(n);
            QElapsedTimer timer;
            timer.start();
            qint64 found = 0;
            for (qsizetype i = 0; i < names.size(); ++i)
                found += Pinyin::matches(names.at(i), keys.at(i), prefix) ? 1 : 0;
            r.matchFloor.add(millisecondsSince(timer));
            if (found == 0)
                errors << u"no name matches %1"_s.arg(prefix);
        }
        name->clear();
        for (const QChar c : Typed)
            r.keystroke.add(untilPainted([&] { QTest::keyClick(name, c.toLatin1()); }));
        bool offered = list->isVisible() && list->count() > 0;
        for (int i = 0; offered && i < list->count(); ++i)
            offered = list->item(i)->text().startsWith(u"张"_s);
        if (!offered)
            errors << u"the names offered for %1 are not 张…"_s.arg(Typed);
        r.candidates = list->count();
        QTest::keyClick(name, Qt::Key_Escape);
        name->clear();
    }

    // In the expressions of the index of events, when the file has it: the engine's best.
    const auto select
        = engine.prepareNative(u"SELECT ID,姓名,关系,金额,说明 FROM 收送礼 WHERE substr(时间,1,10)=?1 AND "
                               u"ifnull(类型,'')=?2 AND ifnull(收送,'')=?3"_s);
    if (!select) {
        errors << u"the floor's SELECT: "_s + engine.lastError();
        return;
    }
    readBanquet(select.get());
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const qint64 rows = readBanquet(select.get());
        r.selectFloor.add(millisecondsSince(timer));
        if (rows != Guests)
            errors << u"the floor read %1 lines of the banquet, not %2"_s.arg(rows).arg(Guests);
        // Another event first (unmeasured), then the banquet, the newest event at the top of the list.
        events->setCurrentIndex(1);
        Q_EMIT events->activated(1);
        QCoreApplication::processEvents();
        r.openEvent.add(untilPainted([&] {
            events->setCurrentIndex(0);
            Q_EMIT events->activated(0);
        }));
        if (!(w.event() == Banquet) || table->rowCount() != Guests)
            errors << u"the banquet shows %1 lines, not %2"_s.arg(table->rowCount()).arg(Guests);
    }
    r.guests = table->rowCount();

    const auto insert = engine.prepareNative(
        u"INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) VALUES('收礼',?1,?2,'朋友','结婚',6000000,'')"_s);
    if (!insert) {
        errors << u"the floor's INSERT: "_s + engine.lastError();
        return;
    }
    date->setDate(StoreDay);
    QCoreApplication::processEvents();
    const int lines = 3 * runs;
    for (int i = 0; i < lines; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!insertOnce(engine, insert.get(), i))
            errors << u"the floor's INSERT: "_s + engine.lastError();
        r.insertFloor.add(millisecondsSince(timer));

        // A guest not yet in the ledger: the window adds the name to those it completes.
        name->setText(u"新客%1号"_s.arg(i));
        relation->setCurrentIndex(0);
        amount->setText(u"600"_s);
        note->clear();
        note->setFocus(Qt::OtherFocusReason);
        r.store.add(untilPainted([&] { QTest::keyClick(note, Qt::Key_Return); }));
        if (table->rowCount() != i + 1 || !name->text().isEmpty() || QApplication::focusWidget() != name)
            errors << u"line %1 was not stored with 姓名框 empty and in focus"_s.arg(i + 1);
    }

    // The book of the banquet chosen again: its preview as the user waits for it, and its PDF.
    // The lines stored above made a newer event: the banquet is found again in the list.
    for (int i = 0; i < events->count() && !(w.event() == Banquet); ++i) {
        events->setCurrentIndex(i);
        Q_EMIT events->activated(i);
        QCoreApplication::processEvents();
    }
    auto* print = w.findChild<QPushButton*>(u"打印按钮"_s);
    QList<GiftLine> book;
    for (auto it = w.lines().crbegin(); it != w.lines().crend(); ++it)
        book.append(it->line);
    const GiftBookPrinter printer(w.event(), book);
    r.bookPages = printer.pageCount(GiftBookPrinter::pageLayout());
    const QString pdf = QDir::current().filePath(u"礼簿.pdf"_s);
    for (int run = 0; print != nullptr && run < runs; ++run) {
        r.bookPreview.add(previewUntilPainted(*print));
        QElapsedTimer timer;
        timer.start();
        const bool written
            = printer.writePdf(pdf, GiftBookPrinter::pageLayout(), 1, r.bookPages, {}) == PagePrinter::Printed;
        r.bookPdf.add(written && QFileInfo(pdf).size() > 0 ? millisecondsSince(timer) : -1);
        QFile::remove(pdf);
    }
    if (print == nullptr || r.bookPreview.median() < 0)
        errors << u"the book's print preview did not paint"_s;
}

} // namespace

GiftBookResults GiftBookBench::measure(const QString& folder, qint64 records, int runs, QStringList& errors)
{
    GiftBookResults r;
    r.records = records;
    const QString copy = QDir(folder).filePath(u"giftbook"_s);
    if (!QDir().mkpath(copy)
        || !QFile::copy(QDir(folder).filePath(LedgerFile::name()), QDir(copy).filePath(LedgerFile::name()))) {
        errors << u"%1 records: the ledger cannot be copied for the gift book"_s.arg(records);
        return r;
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(copy);
    QStringList found;
    {
        BenchHost host;
        if (!host.connection.connect(LedgerFile::name(), LedgerFile::password())
            || !host.records.bind(&host.connection)) {
            errors << u"%1 records: the gift book cannot connect"_s.arg(records);
            QDir::setCurrent(previous);
            return r;
        }
        EngineConnection& engine = *host.connection.engine();
        // The banquet: the guests of the ledger's first records, once more on its day.
        const QString banquet
            = u"INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) SELECT '%1',姓名,'%2 00:00:00',"
              u"关系,'%3',金额,说明 FROM 收送礼 WHERE ID<=%4"_s
                  .arg(Banquet.direction, Banquet.date.toString(Qt::ISODate), Banquet.occasion)
                  .arg(Guests);
        // The indexes are made the first time the window opens at all: made here, they are not measured.
        if (!engine.executeNative(banquet.toUtf8().constData()) || !LedgerTotals(&engine).ensurePersonIndex()
            || !LedgerEvents(&engine).ensureIndexes()) {
            errors << u"%1 records: the banquet cannot be added: %2"_s.arg(records).arg(engine.lastError());
            QDir::setCurrent(previous);
            return r;
        }
        QElapsedTimer timer;
        timer.start();
        const auto firstPage = LedgerEvents(&engine).eventPage(QDate(), 40);
        r.eventsMs = millisecondsSince(timer);
        const auto events = LedgerEvents(&engine).events();
        r.events = events ? events->size() : 0;
        timer.start();
        const auto names = LedgerEvents(&engine).names();
        r.namesMs = millisecondsSince(timer);
        if (!names || !events || !firstPage) {
            errors << u"%1 records: the names cannot be read"_s.arg(records);
            QDir::setCurrent(previous);
            return r;
        }
        r.names = names->size();
        timer.start();
        QList<QStringList> keys;
        keys.reserve(names->size());
        for (const QString& n : *names)
            keys.append(Pinyin::keysOf(n));
        r.keysMs = millisecondsSince(timer);

        r.openMs
            = withWindow(host, [&](GiftBookWindow& w) { measureInWindow(w, engine, *names, keys, r, runs, found); });
        if (r.openMs < 0)
            found << u"the gift book did not open"_s;
        for (const MessageBox::Record& box : MessageBox::shown())
            found << u"box \"%1\""_s.arg(box.text);
        MessageBox::clearShown();
    }
    for (const QString& e : found)
        errors << u"%1 records, gift book: %2"_s.arg(records).arg(e);
    QDir::setCurrent(previous);
    QFile::remove(QDir(copy).filePath(LedgerFile::name()));
    return r;
}

QString GiftBookBench::table(const QList<GiftBookResults>& results)
{
    const auto ms = [](double value) { return format::ms(value, u"failed"_s); };
    const auto slowest = [](const Samples& s) {
        const QList<double> values = s.values();
        return values.isEmpty() ? -1.0 : *std::max_element(values.begin(), values.end());
    };
    QStringList sizes, events, eventsMs, namesMs, names, candidates, guests, keys, open, firstKey, pinyinReady,
        matchFloor, keystroke, keystrokeMax, keyRatio, insertFloor, store, storeRatio, selectFloor, openEvent,
        eventRatio, bookPages, bookPreview, bookPdf;
    for (const GiftBookResults& r : results) {
        sizes << count(r.records);
        names << count(r.names);
        events << count(r.events);
        eventsMs << ms(r.eventsMs);
        namesMs << ms(r.namesMs);
        candidates << count(r.candidates);
        guests << count(r.guests);
        keys << ms(r.keysMs);
        open << ms(r.openMs);
        firstKey << ms(r.firstKeyMs);
        pinyinReady << ms(r.pinyinReadyMs);
        matchFloor << ms(r.matchFloor.median());
        keystroke << ms(r.keystroke.median());
        keystrokeMax << ms(slowest(r.keystroke));
        keyRatio << ratio(r.keystroke.median(), r.matchFloor.median());
        insertFloor << ms(r.insertFloor.median());
        store << ms(r.store.median());
        storeRatio << ratio(r.store.median(), r.insertFloor.median());
        selectFloor << ms(r.selectFloor.median());
        openEvent << ms(r.openEvent.median());
        eventRatio << ratio(r.openEvent.median(), r.selectFloor.median());
        bookPages << count(r.bookPages);
        bookPreview << ms(r.bookPreview.median());
        bookPdf << ms(r.bookPdf.median());
    }
    QString text = u"\n礼簿 (medians; targets at 1,000,000 records)\n"_s;
    text += line(u"records"_s, sizes);
    text += line(u"distinct names completed"_s, names);
    text += line(u"events in 以前的酒席"_s, events);
    text += line(u"events of the newest 40 days read"_s, eventsMs);
    text += line(u"names read by the store"_s, namesMs);
    text += line(u"names' pinyin made once"_s, keys);
    text += line(u"礼簿 opened and painted"_s, open);
    text += line(u"first key at once after opening"_s, firstKey);
    text += line(u"  then until a name is offered by its pinyin"_s, pinyinReady);
    text += line(u"floor: Pinyin::matches over every name"_s, matchFloor);
    text += line(u"a key of \"zhangw\" until listed (< 30 ms)"_s, keystroke);
    text += line(u"  slowest key"_s, keystrokeMax);
    text += line(u"  ratio to the floor"_s, keyRatio);
    text += line(u"  names offered for \"zhangw\""_s, candidates);
    text += line(u"floor: one INSERT in its transaction"_s, insertFloor);
    text += line(u"Enter to the next empty line (< 20 ms)"_s, store);
    text += line(u"  ratio to the floor"_s, storeRatio);
    text += line(u"floor: the banquet's SELECT"_s, selectFloor);
    text += line(u"banquet chosen until shown (< 100 ms)"_s, openEvent);
    text += line(u"  ratio to the floor"_s, eventRatio);
    text += line(u"  guests of the banquet"_s, guests);
    text += line(u"its book: pages with the cover"_s, bookPages);
    text += line(u"打印 until the book's preview painted (< 300 ms)"_s, bookPreview);
    text += line(u"the book written as PDF (< 3 s)"_s, bookPdf);
    for (const GiftBookResults& r : results) {
        if (r.records != 1000000)
            continue;
        const auto within = [](const Samples& s, double target) { return s.median() >= 0 && s.median() < target; };
        const bool met = within(r.keystroke, KeyTargetMs) && within(r.store, StoreTargetMs)
            && within(r.openEvent, EventTargetMs) && within(r.bookPreview, PreviewTargetMs)
            && within(r.bookPdf, PdfTargetMs);
        text += met ? u"Every target met at 1,000,000 records.\n"_s : u"Not every target met at 1,000,000 records.\n"_s;
    }
    return text;
}

QJsonArray GiftBookBench::json(const QList<GiftBookResults>& results)
{
    QJsonArray sizes;
    for (const GiftBookResults& r : results) {
        sizes.append(QJsonObject{
            {u"records"_s, r.records},
            {u"names"_s, r.names},
            {u"candidates"_s, r.candidates},
            {u"guests"_s, r.guests},
            {u"events"_s, r.events},
            {u"events_ms"_s, r.eventsMs},
            {u"names_ms"_s, r.namesMs},
            {u"keys_ms"_s, r.keysMs},
            {u"open_ms"_s, r.openMs},
            {u"first_key_ms"_s, r.firstKeyMs},
            {u"pinyin_ready_ms"_s, r.pinyinReadyMs},
            {u"match_floor"_s, samples(r.matchFloor)},
            {u"keystroke"_s, samples(r.keystroke)},
            {u"insert_floor"_s, samples(r.insertFloor)},
            {u"store"_s, samples(r.store)},
            {u"select_floor"_s, samples(r.selectFloor)},
            {u"open_event"_s, samples(r.openEvent)},
            {u"book_pages"_s, r.bookPages},
            {u"book_preview"_s, samples(r.bookPreview)},
            {u"book_pdf"_s, samples(r.bookPdf)},
        });
    }
    return sizes;
}

} // namespace ovelta::bench
