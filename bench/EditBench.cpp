#include "EditBench.h"

#include "BenchFormat.h"
#include "BenchMainWindow.h"
#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "ui/base/MessageBox.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/ledger/LedgerUpdate.h"
#include "windows/ledger/MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QLocale>

using namespace Qt::StringLiterals;
using namespace ovelta::bench::format;

namespace ovelta::bench {

namespace {

constexpr double EditTargetMs = 50;

LedgerStatements::EntryValues entry(const QString& name, const QDate& date)
{
    LedgerStatements::EntryValues values;
    values.direction = u"收礼"_s;
    values.name = name;
    values.date = date;
    values.relation = u"朋友"_s;
    values.occasion = u"结婚"_s;
    values.amountTicks = 1'000'000;
    values.note = u"基准"_s;
    return values;
}

} // namespace

EditBench::EditBench(const QString& folder)
{
    m_main = openMainWindow(folder);
    settle();
    for (const MessageBox::Record& box : MessageBox::shown())
        m_errors << u"opening the main window: box \""_s + box.text + u"\""_s;
    MessageBox::clearShown();
}

EditBench::EditBench(MainWindow& main)
    : m_main(&main)
    , m_ownsMain(false)
{
}

EditBench::~EditBench()
{
    if (!m_ownsMain)
        return;
    m_main->requestClose();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void EditBench::settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void EditBench::check(qint64 records, qint64 id, const QString& where)
{
    const LedgerGrid& grid = m_main->grid();
    const qint64 rows = grid.rowCount() - LedgerGrid::FixedRows;
    if (rows != records)
        m_errors << u"%1: the grid holds %2 rows, not %3"_s.arg(where).arg(rows).arg(records);
    if (grid.currentRow() != -1)
        m_errors << u"%1: a row is current"_s.arg(where);
    bool found = false;
    for (int row = LedgerGrid::FixedRows; row < grid.rowCount() && !found; ++row)
        found = grid.cellText(row, 0) == QString::number(id);
    if (found != (where != u"delete"_s))
        m_errors << u"%1: record %2 %3 in the grid"_s.arg(where).arg(id).arg(found ? u"still"_s : u"not"_s);
}

void EditBench::measure(EditResults& r, int runs)
{
    DatabaseConnection& connection = m_main->database().connection;
    QElapsedTimer timer;
    auto tally = [&](LedgerUpdate::Outcome outcome) {
        ++r.edits;
        if (outcome == LedgerUpdate::Outcome::InPlace)
            ++r.inPlace;
    };
    for (int i = 0; i < runs; ++i) {
        timer.start();
        if (!connection.execute(LedgerStatements::addRecord(entry(u"基准%1"_s.arg(i), QDate(2015, 6, 15))))) {
            m_errors << u"the add failed"_s;
            return;
        }
        const qint64 id = connection.engine()->lastInsertRowid();
        tally(LedgerUpdate::afterAdd(*m_main));
        settle();
        r.add.add(millisecondsSince(timer));
        check(r.records + 1, id, u"add"_s);

        const QString key = QString::number(id);
        timer.start();
        if (!connection.execute(LedgerStatements::modifyRecord(entry(u"改%1"_s.arg(i), QDate(2001, 1, 2)), key))) {
            m_errors << u"the modify failed"_s;
            return;
        }
        tally(LedgerUpdate::afterModify(*m_main, key));
        settle();
        r.modify.add(millisecondsSince(timer));
        check(r.records + 1, id, u"modify"_s);

        timer.start();
        if (!connection.execute(LedgerStatements::deleteRecord(key))) {
            m_errors << u"the delete failed"_s;
            return;
        }
        tally(LedgerUpdate::afterDelete(*m_main, key));
        settle();
        r.remove.add(millisecondsSince(timer));
        check(r.records, id, u"delete"_s);
    }
    for (const MessageBox::Record& box : MessageBox::shown())
        m_errors << u"editing: box \""_s + box.text + u"\""_s;
    MessageBox::clearShown();
}

QString editTable(const QList<EditResults>& results, bool editsMeasured)
{
    if (results.isEmpty())
        return {};
    QString t = u"\nThe grid at login and after an edit, consistent and the event loop idle (edit runs per size in "
                u"brackets)\n"_s;
    QStringList header;
    for (const EditResults& r : results)
        header << u"%1 (%2)"_s.arg(count(r.records)).arg(r.add.count());
    t += line(u"Records"_s, header);
    auto row = [&](const QString& label, auto value) {
        QStringList values;
        for (const EditResults& r : results)
            values << value(r);
        t += line(label, values);
    };
    row(u"(e) login to grid painted"_s, [](const EditResults& r) { return ms(r.loginToGrid.median()); });
    row(u"    (e)/(a)"_s, [](const EditResults& r) { return ratio(r.loginToGrid.median(), r.floorMs); });
    if (!editsMeasured)
        return t;
    row(u"(i) after an add"_s, [](const EditResults& r) { return ms(r.add.median()); });
    row(u"    (i)/(a)"_s, [](const EditResults& r) { return ratio(r.add.median(), r.floorMs); });
    row(u"(i) after a modify (to another day)"_s, [](const EditResults& r) { return ms(r.modify.median()); });
    row(u"    (i)/(a)"_s, [](const EditResults& r) { return ratio(r.modify.median(), r.floorMs); });
    row(u"(i) after a delete"_s, [](const EditResults& r) { return ms(r.remove.median()); });
    row(u"    (i)/(a)"_s, [](const EditResults& r) { return ratio(r.remove.median(), r.floorMs); });
    row(u"    edits updated in place"_s,
        [](const EditResults& r) { return u"%1 of %2"_s.arg(r.inPlace).arg(r.edits); });

    t += u"\nEdit targets\n"_s;
    for (const EditResults& r : results) {
        if (r.records != 1000000)
            continue;
        const auto under = [](const Samples& s) { return s.median() >= 0 && s.median() < EditTargetMs; };
        const bool met = under(r.add) && under(r.modify) && under(r.remove);
        t += u"  grid consistent after an add, modify or delete at 1,000,000 under 50 ms: %1\n"_s.arg(
            met ? u"met"_s : u"NOT met"_s);
    }
    return t;
}

QJsonArray editJson(const QList<EditResults>& results)
{
    QJsonArray sizes;
    for (const EditResults& r : results) {
        const auto over = [&](const Samples& s) { return r.floorMs > 0 ? s.median() / r.floorMs : -1; };
        sizes.append(QJsonObject{
            {u"records"_s, r.records},
            {u"login_to_grid"_s, samples(r.loginToGrid)},
            {u"login_to_grid_over_floor"_s, over(r.loginToGrid)},
            {u"after_add"_s, samples(r.add)},
            {u"after_add_over_floor"_s, over(r.add)},
            {u"after_modify"_s, samples(r.modify)},
            {u"after_modify_over_floor"_s, over(r.modify)},
            {u"after_delete"_s, samples(r.remove)},
            {u"after_delete_over_floor"_s, over(r.remove)},
            {u"edits_in_place"_s, r.inPlace},
            {u"edits"_s, r.edits},
        });
    }
    return sizes;
}

} // namespace ovelta::bench
