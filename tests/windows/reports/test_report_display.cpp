// The people, person and statistics windows over a household's ledger of some years: every text of their tables
// is drawn whole and every column is in view (sums of nine digits, dates, names; a name of 300 characters kept
// narrow, whole in its tool tip), and each window fits a 1280×800 screen. With
// OVELTA_SCREENSHOT_DIR set, a picture of each window is kept there for a look by eye.

#include "DrawnText.h"
#include "GuiSupport.h"
#include "KnownLedger.h"
#include "ReportSteps.h"
#include "TempFolder.h"
#include "TestHost.h"
#include "windows/reports/PeopleWindow.h"
#include "windows/reports/PersonWindow.h"
#include "windows/reports/StatisticsWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

/// A name of 300 characters.
QString longName()
{
    return u"欧阳"_s + QString(298, QChar(u'长'));
}

/// Six years of a family's gifts: relatives and friends at weddings, births, birthdays and funerals, a few large
/// sums, a few with jiao and fen, one without a date.
QList<KnownRecord> householdLedger()
{
    const QStringList names
        = {u"张建国"_s, u"李秀英"_s, u"王志强"_s,   u"刘桂兰"_s, u"陈晓明"_s,   u"杨丽"_s,   u"赵德胜"_s, u"黄海燕"_s,
           u"周文华"_s, u"吴敏"_s,   u"欧阳春梅"_s, u"孙立"_s,   u"Tom Wang"_s, u"马玉兰"_s, u"朱国庆"_s, u"胡晓燕"_s};
    const QStringList relations = {u"亲戚"_s, u"朋友"_s, u"同学"_s, u"同事"_s, u"邻居"_s};
    const QStringList kinds = {u"结婚"_s, u"满月"_s, u"生日"_s, u"乔迁"_s, u"丧事"_s, u"升学"_s};
    const qint64 amounts[] = {200, 500, 600, 800, 1000, 1200, 2000, 6666, 8888, 10000, 66666, 88888};
    QList<KnownRecord> records;
    for (int i = 0; i < 150; ++i) {
        const int person = (i * 7) % int(names.size());
        const QDate date = QDate(2019, 1, 1).addDays((i * 53) % 2190);
        qint64 ticks = amounts[(i * 5) % std::size(amounts)] * 10000;
        if (i % 17 == 0)
            ticks += 8800; // 0.88
        records.append({i % 3 == 0 ? u"送礼"_s : u"收礼"_s,
                        names.at(person),
                        date.toString(u"yyyy-MM-dd 00:00:00"_s),
                        relations.at(person % relations.size()),
                        kinds.at((i * 11) % kinds.size()),
                        ticks,
                        {}});
    }
    records.append({u"收礼"_s, u"张建国"_s, std::nullopt, u"亲戚"_s, u"结婚"_s, 999999990000, u"补记"_s});
    // Sums of nine digits, with parts of a fen, and one very long name.
    records.append({u"送礼"_s, u"王志强"_s, u"2024-05-01 00:00:00"_s, u"同学"_s, u"结婚"_s, 2999876543210, {}});
    records.append({u"收礼"_s, u"李秀英"_s, u"2024-06-01 00:00:00"_s, u"朋友"_s, u"满月"_s, -1999876543211, {}});
    records.append({u"收礼"_s, longName(), u"2024-07-01 00:00:00"_s, u"邻居"_s, u"乔迁"_s, 8888880000, {}});
    return records;
}

/// The texts of the table that are not drawn whole, but for the long name, which its tool tip shows whole.
QStringList cutTexts(QTableView* table)
{
    QStringList cut;
    for (const DrawnText& t : drawnTexts(table)) {
        // The font engine may draw the ellipsis apart from the name's first characters.
        const bool ofLongName = longName().startsWith(QString(t.text).remove(QChar(0x2026)));
        if ((t.elided() || !t.shownWhole()) && !ofLongName)
            cut << t.text;
    }
    return cut;
}

/// The headers of the columns that are not wholly in view.
QStringList columnsOutOfView(QTableView* table)
{
    QStringList out;
    const QHeaderView* header = table->horizontalHeader();
    for (int c = 0; c < header->count(); ++c) {
        if (header->sectionViewportPosition(c) < 0
            || header->sectionViewportPosition(c) + header->sectionSize(c) > table->viewport()->width())
            out << table->model()->headerData(c, Qt::Horizontal).toString();
    }
    return out;
}

/// Adds count records in one transaction through one bound statement: two people, a few relations and kinds,
/// dates over 26 years, so that the tables stay short while their counts and sums grow long. 李秀英 has 99
/// records in a hundred, each of ￥88,888.88; 张建国 the others, each a gift of ￥1,234,567,890.12 received, so
/// that the balance of his list grows a digit longer after its first thousand rows. False on failure.
bool addManyRecords(EngineConnection& engine, int count)
{
    const QByteArray names[] = {"张建国", "李秀英"};
    const QByteArray relations[] = {"亲戚", "朋友", "同学"};
    const QByteArray kinds[] = {"结婚", "满月", "生日", "乔迁"};
    const QByteArray directions[] = {"收礼", "送礼"};
    const auto bind = [](sqlite3_stmt* s, int column, const QByteArray& text) {
        sqlite3_bind_text(s, column, text.constData(), int(text.size()), SQLITE_STATIC);
    };
    if (!engine.executeNative("BEGIN"))
        return false;
    const auto insert
        = engine.prepareNative(u"INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) VALUES(?,?,?,?,?,?,NULL)"_s);
    if (!insert)
        return false;
    sqlite3_stmt* s = insert.get();
    char time[32];
    for (int i = 0; i < count; ++i) {
        const int length
            = std::snprintf(time, sizeof time, "%04d-%02d-%02d 00:00:00", 2000 + i % 26, 1 + i % 12, 1 + i % 28);
        bind(s, 1, directions[i % 4 == 3 ? 1 : 0]);
        bind(s, 2, names[i % 100 == 0 ? 0 : 1]);
        sqlite3_bind_text(s, 3, time, length, SQLITE_TRANSIENT);
        bind(s, 4, relations[i % 3]);
        bind(s, 5, kinds[i % 4]);
        sqlite3_bind_int64(s, 6, i % 100 == 0 ? 12345678901200 : 888888800);
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            return false;
    }
    return engine.executeNative("COMMIT");
}

void keepPicture(QWidget& window, const QString& name)
{
    const QString folder = qEnvironmentVariable("OVELTA_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        window.grab().save(QDir(folder).filePath(name + u".png"_s));
}

} // namespace

class TestReportDisplay : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempFolder> m_folder;
    std::unique_ptr<TestHost> m_host;

    void checkWindow(ReportWindow& w, const QString& tableName, const QString& picture)
    {
        QVERIFY(w.width() <= 1280 && w.height() <= 800);
        // The size the window takes on a 1280×800 screen (the offscreen screen here is smaller).
        w.resize(1200, 700);
        QCoreApplication::processEvents();
        auto* table = findControl<QTableView>(&w, tableName);
        QVERIFY(table != nullptr);
        QVERIFY(table->model()->rowCount() > 0);
        keepPicture(w, picture);
        const QStringList cut = cutTexts(table);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u" | "_s)));
        const QStringList out = columnsOutOfView(table);
        QVERIFY2(out.isEmpty(), qPrintable(out.join(u" | "_s)));
        // A long name keeps to a part of the table and is shown whole as the tool tip of its cell.
        const QAbstractItemModel& m = *table->model();
        for (int c = 0; c < m.columnCount(); ++c) {
            for (int r = 0; r < m.rowCount(); ++r) {
                if (m.data(m.index(r, c)).toString() != longName())
                    continue;
                QCOMPARE(m.data(m.index(r, c), Qt::ToolTipRole).toString(), longName());
                QVERIFY(table->columnWidth(c) <= table->viewport()->width() / 3);
            }
        }
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<TempFolder>();
        QVERIFY(m_folder->isValid());
        m_host = std::make_unique<TestHost>();
        QVERIFY(m_host->createAndConnect());
        QVERIFY(addRecords(*m_host->connection.engine(), householdLedger()));
    }
    void cleanup()
    {
        m_host.reset();
        m_folder.reset();
    }

    void overviewShowsEveryTextWhole()
    {
        QVERIFY(whileOpen(
            u"people"_s, [&] { (new PeopleWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) { checkWindow(w, u"往来汇总表"_s, u"people"_s); }));
    }

    void personShowsEveryTextWhole_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("many records") << u"张建国"_s;
        QTest::newRow("nine digits") << u"王志强"_s;
        QTest::newRow("long name") << longName();
    }
    void personShowsEveryTextWhole()
    {
        QFETCH(QString, name);
        QVERIFY(whileOpen(
            u"person"_s, [&] { (new PersonWindow(*m_host, name))->openModal(); },
            [&](ReportWindow& w) { checkWindow(w, u"往来明细表"_s, u"person"_s); }));
    }

    // A ledger of a million records: the counts of seven digits and the sums of the tables' totals are drawn
    // whole in every table, and so are the last rows of a person's long list, whose balance grows longer than
    // in its first rows.
    void millionRecordsShowEveryTextWhole()
    {
        QElapsedTimer took;
        took.start();
        // With the household's records, the ledger holds exactly a million.
        QVERIFY(addManyRecords(*m_host->connection.engine(), 1'000'000 - int(householdLedger().size())));
        qInfo("1,000,000 records added in %lld ms", took.restart());
        QVERIFY(whileOpen(
            u"people"_s, [&] { (new PeopleWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) { checkWindow(w, u"往来汇总表"_s, u"people-million"_s); }));
        qInfo("往来汇总 in %lld ms", took.restart());
        QVERIFY(whileOpen(
            u"person"_s, [&] { (new PersonWindow(*m_host, u"张建国"_s))->openModal(); },
            [&](ReportWindow& w) {
                checkWindow(w, u"往来明细表"_s, u"person-million"_s);
                auto* table = findControl<QTableView>(&w, u"往来明细表"_s);
                table->scrollToBottom();
                QCoreApplication::processEvents();
                const QStringList cut = cutTexts(table);
                QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u" | "_s)));
            }));
        qInfo("往来明细 in %lld ms", took.restart());
        QVERIFY(whileOpen(
            u"statistics"_s, [&] { (new StatisticsWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) {
                auto* tabs = findControl<QTabWidget>(&w, u"统计分页"_s);
                for (int i = 0; i < tabs->count(); ++i) {
                    tabs->setCurrentIndex(i);
                    QCoreApplication::processEvents();
                    const QList<QTableView*> tables = tabs->widget(i)->findChildren<QTableView*>();
                    QCOMPARE(tables.size(), 1);
                    checkWindow(w, tables.first()->objectName(), u"statistics-million-%1"_s.arg(i));
                }
            }));
        qInfo("人情统计 in %lld ms", took.restart());
    }

    void statisticsShowEveryTextWhole()
    {
        QVERIFY(whileOpen(
            u"statistics"_s, [&] { (new StatisticsWindow(*m_host))->openModal(); },
            [&](ReportWindow& w) {
                auto* tabs = findControl<QTabWidget>(&w, u"统计分页"_s);
                QVERIFY(tabs != nullptr);
                for (int i = 0; i < tabs->count(); ++i) {
                    tabs->setCurrentIndex(i);
                    QCoreApplication::processEvents();
                    const QList<QTableView*> tables = tabs->widget(i)->findChildren<QTableView*>();
                    QCOMPARE(tables.size(), 1);
                    checkWindow(w, tables.first()->objectName(), u"statistics-%1"_s.arg(i));
                }
            }));
    }
};

QTEST_MAIN(TestReportDisplay)
#include "test_report_display.moc"
