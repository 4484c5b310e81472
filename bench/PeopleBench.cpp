#include "PeopleBench.h"

#include "BenchFormat.h"
#include "BenchHost.h"
#include "PaintWatcher.h"

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerTotals.h"
#include "ui/base/MessageBox.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/common/LedgerHost.h"
#include "windows/reports/PeopleWindow.h"
#include "windows/reports/PersonWindow.h"
#include "windows/reports/StatisticsWindow.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;
using namespace ovelta::bench::format;

namespace ovelta::bench {

namespace {

/// Milliseconds from opener() to the first paint of the window with that id; -1 when it never opened.
double timeToPaint(const QString& id, const std::function<void()>& opener)
{
    PaintWatcher watcher(id);
    double ms = -1;
    QElapsedTimer timer;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        ReportWindow* window = ReportWindow::findOpen(id);
        if (window == nullptr || watcher.paints() == 0 || ms >= 0)
            return;
        ms = millisecondsSince(timer);
        window->close();
    });
    poll.start();
    timer.start();
    opener();
    poll.stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ms;
}

/// The name of the ledger's last record: an ordinary person with a handful of records.
QString lastRecordName(EngineConnection& engine)
{
    const auto statement = engine.prepareNative(u"SELECT 姓名 FROM 收送礼 ORDER BY ID DESC LIMIT 1"_s);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)));
}

} // namespace

PeopleResults PeopleBench::measure(const QString& folder, qint64 records, int runs, QStringList& errors)
{
    PeopleResults r;
    r.records = records;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    {
        BenchHost host;
        if (!host.connection.connect(LedgerFile::name(), LedgerFile::password())
            || !host.records.bind(&host.connection)) {
            errors << u"%1 records: the people windows cannot connect"_s.arg(records);
            QDir::setCurrent(previous);
            return r;
        }
        EngineConnection& engine = *host.connection.engine();
        const QString name = lastRecordName(engine);
        QElapsedTimer timer;
        timer.start();
        LedgerTotals totals(&engine);
        if (totals.ensurePersonIndex())
            r.personIndexMs = millisecondsSince(timer);
        else
            errors << u"%1 records: the person index cannot be made"_s.arg(records);

        const auto floor = engine.prepareNative(u"SELECT 姓名,时间,ID,收送,金额,关系 FROM 收送礼"_s);
        for (int i = 0; i < runs; ++i) {
            timer.start();
            qint64 bytes = 0;
            while (floor && sqlite3_step(floor.get()) == SQLITE_ROW) {
                for (int column = 0; column < 6; ++column) {
                    sqlite3_column_text(floor.get(), column);
                    bytes += sqlite3_column_bytes(floor.get(), column);
                }
            }
            if (floor)
                sqlite3_reset(floor.get());
            r.scanFloor.add(millisecondsSince(timer));
            if (bytes == 0)
                errors << u"%1 records: the floor read nothing"_s.arg(records);
            timer.start();
            if (!totals.totalsByPerson())
                errors << u"%1 records: the sums per person fail"_s.arg(records);
            r.peopleSums.add(millisecondsSince(timer));
            timer.start();
            if (!totals.statisticsCells())
                errors << u"%1 records: the statistics fail"_s.arg(records);
            r.statisticsSums.add(millisecondsSince(timer));
            r.overview.add(timeToPaint(u"people"_s, [&] { (new PeopleWindow(host))->openModal(); }));
            r.person.add(timeToPaint(u"person"_s, [&] { (new PersonWindow(host, name))->openModal(); }));
            r.statistics.add(timeToPaint(u"statistics"_s, [&] { (new StatisticsWindow(host))->openModal(); }));
        }
        if (const auto history = totals.recordsOfPerson(name))
            r.personRecords = history->records.size();
        if (const auto people = totals.totalsByPerson())
            r.people = people->size();
        for (const MessageBox::Record& box : MessageBox::shown())
            errors << u"%1 records, people windows: box \"%2\""_s.arg(records).arg(box.text);
        MessageBox::clearShown();
    }
    QDir::setCurrent(previous);
    return r;
}

QString PeopleBench::table(const QList<PeopleResults>& results)
{
    const auto ms = [](double value) { return format::ms(value, u"failed"_s); };
    QStringList sizes, people, personRecords, index, scanFloor, peopleSums, statisticsSums, overview, person,
        statistics;
    for (const PeopleResults& r : results) {
        sizes << count(r.records);
        people << count(r.people);
        personRecords << count(r.personRecords);
        index << ms(r.personIndexMs);
        scanFloor << ms(r.scanFloor.median());
        peopleSums << ms(r.peopleSums.median());
        statisticsSums << ms(r.statisticsSums.median());
        overview << ms(r.overview.median());
        person << ms(r.person.median());
        statistics << ms(r.statistics.median());
    }
    QString text = u"\nPeople and statistics windows (medians; targets at 1,000,000 records)\n"_s;
    text += line(u"records"_s, sizes);
    text += line(u"people in the overview"_s, people);
    text += line(u"records of the person measured"_s, personRecords);
    text += line(u"person index made once"_s, index);
    text += line(u"floor: the ledger's columns read once"_s, scanFloor);
    text += line(u"sums per person read by the store"_s, peopleSums);
    text += line(u"往来汇总 opened and painted (< 1 s)"_s, overview);
    text += line(u"往来明细 of one person (< 100 ms)"_s, person);
    text += line(u"statistics read by the store"_s, statisticsSums);
    text += line(u"人情统计 opened and painted (< 1 s)"_s, statistics);
    for (const PeopleResults& r : results) {
        if (r.records != 1000000)
            continue;
        const bool met = r.overview.median() >= 0 && r.overview.median() < 1000 && r.person.median() >= 0
            && r.person.median() < 100 && r.statistics.median() >= 0 && r.statistics.median() < 1000;
        text += met ? u"All three targets met at 1,000,000 records.\n"_s
                    : u"Not every target met at 1,000,000 records.\n"_s;
    }
    return text;
}

QJsonArray PeopleBench::json(const QList<PeopleResults>& results)
{
    QJsonArray sizes;
    for (const PeopleResults& r : results) {
        sizes.append(QJsonObject{
            {u"records"_s, r.records},
            {u"people"_s, r.people},
            {u"person_records"_s, r.personRecords},
            {u"person_index_ms"_s, r.personIndexMs},
            {u"scan_floor"_s, samples(r.scanFloor)},
            {u"people_sums"_s, samples(r.peopleSums)},
            {u"statistics_sums"_s, samples(r.statisticsSums)},
            {u"overview"_s, samples(r.overview)},
            {u"person"_s, samples(r.person)},
            {u"statistics"_s, samples(r.statistics)},
        });
    }
    return sizes;
}

} // namespace ovelta::bench
