#include "BenchReport.h"

#include "BenchFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

using namespace Qt::StringLiterals;
using namespace ovelta::bench::format;

namespace ovelta::bench {

namespace {

/// A figure of the main table: every size measures it, so a missing one failed.
QString measured(double value)
{
    return ms(value, u"failed"_s);
}

QString perRecord(double ms, qint64 records)
{
    if (ms < 0 || records <= 0)
        return u"-"_s;
    return QString::number(ms * 1000 / double(records), 'f', 2) + u" us"_s;
}

QString verdict(bool met)
{
    return met ? u"met"_s : u"NOT met"_s;
}

} // namespace

QString BenchReport::table() const
{
    QString t;
    t += u"Ovelta benchmark: medians of repeated runs (runs per size in brackets)\n"_s;
    t += u"Machine: %1; load average %2 at the start, %3 at the end; %4 s in all\n\n"_s
             .arg(machine, loadBefore, loadAfter)
             .arg(totalSeconds, 0, 'f', 0);
    QStringList header;
    for (const SizeResults& s : sizes)
        header << u"%1 (%2)"_s.arg(count(s.records)).arg(s.floor.count());
    t += line(u"Records"_s, header);
    auto row = [&](const QString& label, auto value) {
        QStringList values;
        for (const SizeResults& s : sizes)
            values << value(s);
        t += line(label, values);
    };
    if (ledgerMeasured) {
        row(u"(a) floor: engine alone, order by time"_s,
            [](const SizeResults& s) { return measured(s.floor.median()); });
        row(u"(a2) floor: engine alone, unsorted"_s,
            [](const SizeResults& s) { return measured(s.plainFloor.median()); });
        row(u"(b) ledger refill, record set + grid"_s,
            [](const SizeResults& s) { return measured(s.refill.median()); });
        row(u"    (b)/(a)"_s, [](const SizeResults& s) { return ratio(s.refill.median(), s.floor.median()); });
        row(u"    (b)/(a2)"_s, [](const SizeResults& s) { return ratio(s.refill.median(), s.plainFloor.median()); });
        row(u"    (a) per record"_s, [](const SizeResults& s) { return perRecord(s.floor.median(), s.records); });
        row(u"    (b) per record"_s, [](const SizeResults& s) { return perRecord(s.refill.median(), s.records); });
        row(u"    (b) - (a) per record"_s, [](const SizeResults& s) {
            const double a = s.floor.median(), b = s.refill.median();
            return a < 0 || b < 0 ? u"-"_s : perRecord(b - a, s.records);
        });
        row(u"(c) search, part of a name"_s, [](const SizeResults& s) { return measured(s.searchName.median()); });
        row(u"    (c)/(a)"_s, [](const SizeResults& s) { return ratio(s.searchName.median(), s.floor.median()); });
        row(u"    records found"_s, [](const SizeResults& s) { return count(s.foundByName); });
        row(u"(c) search, date range of one year"_s,
            [](const SizeResults& s) { return measured(s.searchDates.median()); });
        row(u"    (c)/(a)"_s, [](const SizeResults& s) { return ratio(s.searchDates.median(), s.floor.median()); });
        row(u"    records found"_s, [](const SizeResults& s) { return count(s.foundByDates); });
        row(u"(d) entry window open, add"_s, [](const SizeResults& s) { return measured(s.entryAdd.median()); });
        row(u"(d) entry window open, modify (last ID)"_s,
            [](const SizeResults& s) { return measured(s.entryModify.median()); });
    }
    row(u"    creating the ledger (not timed above)"_s, [](const SizeResults& s) { return measured(s.creationMs); });
    t += u'\n';
    const QString records = count(processRecords);
    if (processMeasured) {
        t += line(u"(e) start to login window painted (%1%2)"_s.arg(startToLogin.count())
                      .arg(sessionBus ? u", session bus"_s : u", no session bus"_s),
                  {measured(startToLogin.median())});
        t += line(u"    floor: a bare toolkit window painted (%1)"_s.arg(startFloor.count()),
                  {measured(startFloor.median())});
        t += line(u"    (e)/floor"_s, {ratio(startToLogin.median(), startFloor.median())});
        t += line(u"(e) login to grid painted, %1 (%2)"_s.arg(records).arg(loginToGrid.count()),
                  {measured(loginToGrid.median())});
    }
    if (memoryMeasured) {
        t += line(
            u"(f) peak memory over a session of refill, preview, print and three edits, %1"_s.arg(count(memoryRecords)),
            {peakKiB < 0 ? u"failed"_s : QString::number(double(peakKiB) / 1024, 'f', 0) + u" MiB"_s});
    }

    t += u"\nTargets\n"_s;
    bool refillMet = true, searchMet = true, entryMet = true, refillPlainMet = true;
    for (const SizeResults& s : sizes) {
        const double a = s.floor.median();
        if (s.records >= 100000 && !(s.refill.median() >= 0 && s.refill.median() <= 2 * a))
            refillMet = false;
        if (s.records >= 1000000 && !(s.refill.median() >= 0 && s.refill.median() <= 2 * s.plainFloor.median()))
            refillPlainMet = false;
        for (const Samples* search : {&s.searchName, &s.searchDates}) {
            if (!(search->median() >= 0 && search->median() <= 2 * a))
                searchMet = false;
        }
        for (const Samples* entry : {&s.entryAdd, &s.entryModify}) {
            if (!(entry->median() >= 0 && entry->median() < 50))
                entryMet = false;
        }
    }
    if (ledgerMeasured) {
        t += u"  refill at 100,000 and 1,000,000 within 2x the floor: %1\n"_s.arg(verdict(refillMet));
        t += u"  refill at 1,000,000 within 2x the unsorted floor: %1\n"_s.arg(verdict(refillPlainMet));
        t += u"  search within 2x the floor: %1\n"_s.arg(verdict(searchMet));
        t += u"  entry window open under 50 ms at every size: %1\n"_s.arg(verdict(entryMet));
    }
    if (processMeasured) {
        t += u"  start to login window painted under 70 ms: %1\n"_s.arg(
            verdict(startToLogin.median() >= 0 && startToLogin.median() < 70));
    }
    if (memoryMeasured) {
        t += u"  peak memory over a session of refill, preview, print and three edits at %1 under 200 MiB: %2\n"_s.arg(
            count(memoryRecords), verdict(peakKiB >= 0 && peakKiB < 200 * 1024));
    }
    for (const QString& e : errors)
        t += u"ERROR: "_s + e + u'\n';
    return t;
}

QByteArray BenchReport::json() const
{
    QJsonArray sizeList;
    for (const SizeResults& s : sizes) {
        sizeList.append(QJsonObject{
            {u"records"_s, s.records},
            {u"creation_ms"_s, s.creationMs},
            {u"floor"_s, samples(s.floor)},
            {u"refill"_s, samples(s.refill)},
            {u"plain_floor"_s, samples(s.plainFloor)},
            {u"refill_over_floor"_s, s.floor.median() > 0 ? s.refill.median() / s.floor.median() : -1},
            {u"refill_over_plain_floor"_s, s.plainFloor.median() > 0 ? s.refill.median() / s.plainFloor.median() : -1},
            {u"search_name"_s, samples(s.searchName)},
            {u"search_name_over_floor"_s, s.floor.median() > 0 ? s.searchName.median() / s.floor.median() : -1},
            {u"search_name_found"_s, s.foundByName},
            {u"search_dates"_s, samples(s.searchDates)},
            {u"search_dates_over_floor"_s, s.floor.median() > 0 ? s.searchDates.median() / s.floor.median() : -1},
            {u"search_dates_found"_s, s.foundByDates},
            {u"entry_add"_s, samples(s.entryAdd)},
            {u"entry_modify"_s, samples(s.entryModify)},
        });
    }
    QJsonArray errorList;
    for (const QString& e : errors)
        errorList.append(e);
    const QJsonObject root{
        {u"machine"_s, machine},
        {u"load_before"_s, loadBefore},
        {u"load_after"_s, loadAfter},
        {u"total_seconds"_s, totalSeconds},
        {u"sizes"_s, sizeList},
        {u"process"_s,
         QJsonObject{{u"records"_s, processRecords},
                     {u"start_to_login_painted"_s, samples(startToLogin)},
                     {u"session_bus"_s, sessionBus},
                     {u"toolkit_floor_painted"_s, samples(startFloor)},
                     {u"login_to_grid_painted"_s, samples(loginToGrid)}}},
        {u"memory"_s, QJsonObject{{u"records"_s, memoryRecords}, {u"session_peak_kib"_s, peakKiB}}},
        {u"errors"_s, errorList},
    };
    return QJsonDocument(root).toJson();
}

} // namespace ovelta::bench
