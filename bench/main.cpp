// The benchmark program: builds encrypted ledgers of 10,000, 100,000 and 1,000,000 records and measures the
// ledger's paths against the engine's own floor. See the "Benchmark" section of the README.

#include "BenchLedger.h"
#include "BenchMainWindow.h"
#include "BenchReport.h"
#include "EditBench.h"
#include "FloorQuery.h"
#include "GiftBookBench.h"
#include "PeopleBench.h"
#include "PrintBench.h"
#include "ProcessBench.h"
#include "WindowBench.h"

#include "store/ledger/LedgerFile.h"
#include "ui/base/MessageBox.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/ledger/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::bench;

namespace {

const QByteArray FloorStatement = u"select * from 收送礼 order by 时间 DESC"_s.toUtf8();
/// The second floor: the same rows as the engine reads them, without sorting.
const QByteArray PlainFloorStatement = u"select * from 收送礼"_s.toUtf8();

/// The offscreen platform cannot raise windows and this process has no runtime folder of its own; neither
/// matters to a measurement, and a line for each window opened would bury the table.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg
        && (message.contains(u"does not support raise()"_s) || message.contains(u"XDG_RUNTIME_DIR"_s)))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QString procLine(const QString& file, const QByteArray& prefix)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return QString::fromLatin1(line.mid(prefix.size())).trimmed();
    }
    return {};
}

QString loadAverage()
{
    return procLine(u"/proc/loadavg"_s, QByteArray()).section(u' ', 0, 2);
}

/// Runs per size: enough for a stable median, few enough that a million records stay within the time.
int runsFor(qint64 records)
{
    return records <= 10000 ? 9 : records <= 100000 ? 7 : 5;
}

/// The child that measures the peak memory: a fresh process, so that nothing of the other measurements counts.
/// A whole session over the ledger of folder, which holds records records, as a user has it: the main window
/// opens (its refill), is refreshed once more, opens the print preview and closes it, prints the ledger as a PDF
/// file (into a temporary folder) and takes three edits (an add, a modify and a delete, each its statement and
/// the grid's update). Prints VmHWM, the peak of the whole session; the resident memory after each step goes to
/// the error channel, which tells where the peak comes from.
int memoryChild(const QString& folder, qint64 records)
{
    MessageBox::startRecording();
    QStringList errors;
    auto step = [](const QString& what) {
        say(u"  %1: resident %2, peak %3"_s.arg(what, procLine(u"/proc/self/status"_s, "VmRSS:"),
                                                procLine(u"/proc/self/status"_s, "VmHWM:")));
    };
    MainWindow* main = openMainWindow(folder);
    step(u"main window open"_s);
    main->runCommand(MainWindow::Refresh);
    if (main->grid().rowCount() - LedgerGrid::FixedRows != records)
        errors << u"the refresh did not fill the grid"_s;
    step(u"refreshed"_s);
    if (previewUntilPainted(*main) < 0)
        errors << u"the print preview painted no page"_s;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    step(u"print preview opened and closed"_s);
    const QTemporaryDir pdfFolder;
    bool progressShown = false;
    double cpuMs = -1;
    if (writePdf(*main, pdfFolder.filePath(u"ledger.pdf"_s), progressShown, cpuMs) < 0)
        errors << u"no PDF was written"_s;
    step(u"printed to PDF"_s);
    {
        EditBench edit(*main);
        EditResults edits;
        edits.records = records;
        edit.measure(edits, 1);
        errors << edit.errors();
    }
    step(u"three edits"_s);
    for (const MessageBox::Record& box : MessageBox::shown())
        errors << u"box \""_s + box.text + u"\""_s;
    const QString peak = procLine(u"/proc/self/status"_s, "VmHWM:").section(u' ', 0, 0);
    main->requestClose();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const QString& e : errors)
        say(u"memory session: "_s + e);
    std::printf("%s\n", qPrintable(peak));
    return errors.isEmpty() ? 0 : 1;
}

qint64 measureMemory(const QString& folder, qint64 records, QStringList& errors)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {u"--memory-child"_s, folder, QString::number(records)});
    if (!child.waitForFinished(900000) || child.exitCode() != 0) {
        errors << u"the memory session did not finish"_s;
        return -1;
    }
    bool ok = false;
    const qint64 kib = QString::fromLatin1(child.readAllStandardOutput()).trimmed().toLongLong(&ok);
    return ok ? kib : -1;
}

/// Makes the ledger of r.records records in folder and, when measure is set, measures the floors, the refill and
/// the entry and search windows on it.
void measureSize(const QString& folder, SizeResults& r, bool measure, QStringList& errors)
{
    const QString path = QDir(folder).filePath(LedgerFile::name());
    QElapsedTimer timer;
    timer.start();
    if (!BenchLedger::create(path, r.records)) {
        errors << u"cannot create the ledger of %1 records"_s.arg(r.records);
        return;
    }
    r.creationMs = millisecondsSince(timer);
    if (!measure)
        return;

    FloorQuery floor(path, LedgerFile::password());
    if (!floor.isValid()) {
        errors << u"the floor connection does not open"_s;
        return;
    }
    WindowBench windows(folder); // its opening refill is the warm-up of the record set and the grid
    floor.run(FloorStatement);
    floor.run(PlainFloorStatement);
    const int runs = runsFor(r.records);
    // Floors and refill alternate, so that a change of load falls on all of them.
    for (int i = 0; i < runs; ++i) {
        for (const auto& [statement, samples] :
             {std::pair{&FloorStatement, &r.floor}, std::pair{&PlainFloorStatement, &r.plainFloor}}) {
            timer.start();
            const qint64 rows = floor.run(*statement);
            const double floorMs = millisecondsSince(timer);
            if (rows != r.records)
                errors << u"floor: %1 rows instead of %2"_s.arg(rows).arg(r.records);
            samples->add(floorMs);
        }
        r.refill.add(windows.refill(r.records));
    }
    for (int i = 0; i < runs; ++i) {
        r.entryAdd.add(windows.openEntryToAdd());
        r.entryModify.add(windows.openEntryToModify(BenchLedger::lastId(r.records)));
    }
    for (int i = 0; i < runs; ++i) {
        r.searchName.add(windows.searchByName(BenchLedger::namePart()));
        r.foundByName = windows.foundRows();
        r.searchDates.add(windows.searchByDates(BenchLedger::rangeStart(), BenchLedger::rangeEnd()));
        r.foundByDates = windows.foundRows();
    }
    for (const QString& e : windows.errors())
        errors << u"%1 records: %2"_s.arg(r.records).arg(e);
}

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(quietMessages);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == u"--memory-child"_s)
        return memoryChild(args[2], args[3].toLongLong());

    QList<qint64> sizes = {10000, 100000, 1000000};
    QString output = u"ovelta-bench.json"_s;
    // Parts of the run to measure; all by default. The ledgers are made whatever is chosen.
    const QStringList allParts
        = {u"ledger"_s, u"print"_s, u"people"_s, u"edit"_s, u"giftbook"_s, u"process"_s, u"memory"_s};
    QStringList parts = allParts;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--sizes"_s && i + 1 < args.size()) {
            sizes.clear();
            for (const QString& n : args[++i].split(u','))
                sizes << n.toLongLong();
        } else if (args[i] == u"--output"_s && i + 1 < args.size()) {
            output = args[++i];
        } else if (args[i] == u"--only"_s && i + 1 < args.size()) {
            parts = args[++i].split(u',');
        } else {
            say(u"usage: ovelta_bench [--sizes 10000,100000,1000000] [--only %1] [--output ovelta-bench.json]"_s.arg(
                allParts.join(u',')));
            return 2;
        }
    }
    output = QFileInfo(output).absoluteFilePath();

    QElapsedTimer total;
    total.start();
    BenchReport report;
    report.machine = u"%1, %2 cores"_s.arg(procLine(u"/proc/cpuinfo"_s, "model name").section(u':', 1).trimmed())
                         .arg(QThread::idealThreadCount());
    report.loadBefore = loadAverage();
    MessageBox::startRecording();

    QTemporaryDir root;
    QString processFolder, memoryFolder;
    QList<PrintResults> printing;
    QList<PeopleResults> people;
    QList<EditResults> editing;
    QList<GiftBookResults> giftBooks;
    for (qint64 records : sizes) {
        const QString folder = QDir(root.path()).filePath(QString::number(records));
        QDir().mkpath(folder);
        say(u"%1 records ..."_s.arg(records));
        SizeResults r;
        r.records = records;
        measureSize(folder, r, parts.contains(u"ledger"_s), report.errors);
        report.sizes << r;
        PrintResults& p = printing.emplace_back();
        p.records = records;
        p.floorMs = r.floor.median();
        if (parts.contains(u"print"_s)) {
            say(u"%1 records, printing ..."_s.arg(records));
            PrintBench print(folder);
            print.measure(p, runsFor(records), records == PrintBench::PdfRecords ? 3 : 0);
            for (const QString& e : print.errors())
                report.errors << u"%1 records: %2"_s.arg(records).arg(e);
        }
        if (parts.contains(u"people"_s))
            people << PeopleBench::measure(folder, records, runsFor(records), report.errors);
        EditResults& e = editing.emplace_back();
        e.records = records;
        e.floorMs = r.floor.median();
        if (parts.contains(u"edit"_s)) {
            say(u"%1 records, editing ..."_s.arg(records));
            EditBench edit(folder);
            edit.measure(e, runsFor(records));
            for (const QString& error : edit.errors())
                report.errors << u"%1 records: %2"_s.arg(records).arg(error);
        }
        if (parts.contains(u"giftbook"_s)) {
            say(u"%1 records, gift book ..."_s.arg(records));
            giftBooks << GiftBookBench::measure(folder, records, runsFor(records), report.errors);
        }
        if (processFolder.isEmpty() || records == 100000) {
            processFolder = folder;
            report.processRecords = records;
        }
        if (records >= report.memoryRecords) {
            memoryFolder = folder;
            report.memoryRecords = records;
        }
    }

    std::optional<ProcessBench> process;
    if (parts.contains(u"process"_s)) {
        say(u"the program under Xvfb ..."_s);
        // The ledgers just written (some 100 MB at 1,000,000 records) would otherwise be written back to the disk
        // while the program starts: the start is timed on an idle machine.
        ::sync();
        process.emplace();
    }
    const bool started = process && process->isValid()
        && QFile::copy(QStringLiteral(OVELTA_PROGRAM), QDir(processFolder).filePath(u"ovelta"_s));
    if (process && !started) {
        report.errors << u"the program cannot be started under Xvfb: "_s + process->error();
    } else if (started) {
        report.sessionBus = process->hasSessionBus();
        const QString floorFolder = QDir(root.path()).filePath(u"toolkit-floor"_s);
        const bool floorReady = QDir().mkpath(floorFolder)
            && QFile::copy(QStringLiteral(OVELTA_TOOLKIT_FLOOR), QDir(floorFolder).filePath(u"ovelta"_s));
        if (!floorReady)
            report.errors << u"the toolkit floor cannot be copied to a folder of its own"_s;
        // Each start takes well under a second; eleven of them steady the median on a machine whose timings vary.
        // The floor starts in turn with the program, so that both see the same machine.
        for (int i = 0; i < 11; ++i) {
            const auto start = process->run(processFolder);
            if (!start) {
                report.errors << process->error();
                break;
            }
            report.startToLogin.add(start->toLogin);
            report.loginToGrid.add(start->loginToGrid);
            if (!floorReady)
                continue;
            if (const auto floor = process->run(floorFolder))
                report.startFloor.add(floor->toLogin);
            else
                report.errors << u"toolkit floor: "_s + process->error();
        }
    }

    if (process && process->isValid()) {
        say(u"the program under Xvfb, login at every size ..."_s);
        for (qsizetype i = 0; i < sizes.size(); ++i) {
            const QString folder = QDir(root.path()).filePath(QString::number(sizes[i]));
            const QString program = QDir(folder).filePath(u"ovelta"_s);
            if (!QFile::exists(program) && !QFile::copy(QStringLiteral(OVELTA_PROGRAM), program)) {
                report.errors << u"the program cannot be copied beside the ledger"_s;
                break;
            }
            for (int run = 0; run < 3; ++run) {
                const auto start = process->run(folder);
                if (!start) {
                    report.errors << process->error();
                    break;
                }
                editing[i].loginToGrid.add(start->loginToGrid);
            }
        }
    }

    if (parts.contains(u"memory"_s)) {
        say(u"peak memory over a session ..."_s);
        report.peakKiB = measureMemory(memoryFolder, report.memoryRecords, report.errors);
    }

    report.loadAfter = loadAverage();
    report.totalSeconds = double(total.elapsed()) / 1000;
    // Only the tables and rows of the parts measured, so that a part left out shows no verdict.
    report.ledgerMeasured = parts.contains(u"ledger"_s);
    report.processMeasured = parts.contains(u"process"_s);
    report.memoryMeasured = parts.contains(u"memory"_s);
    QString table;
    if (parts.contains(u"ledger"_s) || parts.contains(u"process"_s) || parts.contains(u"memory"_s)) {
        table += report.table();
    } else {
        // The main table, which lists them, is left out: the errors of the parts measured stand on their own.
        for (const QString& e : std::as_const(report.errors))
            table += u"ERROR: "_s + e + u'\n';
    }
    if (parts.contains(u"print"_s))
        table += printTable(printing);
    if (parts.contains(u"edit"_s) || parts.contains(u"process"_s))
        table += editTable(editing, parts.contains(u"edit"_s));
    if (parts.contains(u"people"_s))
        table += PeopleBench::table(people);
    if (parts.contains(u"giftbook"_s))
        table += GiftBookBench::table(giftBooks);
    std::printf("%s", table.toLocal8Bit().constData());
    QFile json(output);
    if (json.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QJsonObject figures = QJsonDocument::fromJson(report.json()).object();
        figures.insert(u"printing"_s, printJson(printing));
        figures.insert(u"people_windows"_s, PeopleBench::json(people));
        figures.insert(u"editing"_s, editJson(editing));
        figures.insert(u"gift_book"_s, GiftBookBench::json(giftBooks));
        json.write(QJsonDocument(figures).toJson());
        std::printf("Results written to %s\n", qPrintable(output));
    }
    return report.errors.isEmpty() ? 0 : 1;
}
