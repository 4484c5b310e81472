// The Excel export benchmark: the export of ledgers of 100,000 and 1,000,000 records to a workbook, against a
// floor measured in the same run: libxlsxwriter alone, in its constant-memory mode, writing the same cells with
// the same formats from memory (read from the ledger beforehand, untimed). Medians of repeated runs, and the
// peak memory each adds to the process (the growth of VmHWM, reset before each run).

#include "../BenchLedger.h"
#include "../BenchStats.h"

#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/ledger/LedgerXlsx.h"
#include "store/value/JetDateTime.h"
#include "store/value/Money.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <optional>
#include <sqlcipher/sqlite3.h>
#include <string>
#include <vector>
#include <xlsxwriter.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::bench;

namespace {

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

/// A line of /proc/self/status in kB ("VmRSS", "VmHWM").
qint64 statusKb(const char* field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

/// Starts the peak over again at the present resident size (Linux: 5 into clear_refs resets VmHWM).
void resetPeak()
{
    QFile refs(u"/proc/self/clear_refs"_s);
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

/// One record's cells as the library takes them.
struct Cells
{
    std::string texts[5]; ///< 收送, 姓名, 关系, 类型, 说明
    std::optional<lxw_datetime> date;
    bool midnight = true;
    std::optional<double> amount;
    bool fen = false;
};

std::vector<Cells> readCells(EngineConnection& engine)
{
    std::vector<Cells> all;
    const auto statement
        = engine.prepareNative(u"SELECT 收送,姓名,时间,关系,类型,金额,说明 FROM 收送礼 ORDER BY 时间 DESC, ID"_s);
    if (!statement)
        return all;
    const auto text = [&](int column) {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), column));
        return bytes ? std::string(bytes, size_t(sqlite3_column_bytes(statement.get(), column))) : std::string();
    };
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        Cells cells;
        cells.texts[0] = text(0);
        cells.texts[1] = text(1);
        cells.texts[2] = text(3);
        cells.texts[3] = text(4);
        cells.texts[4] = text(6);
        if (sqlite3_column_type(statement.get(), 2) != SQLITE_NULL) {
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 2));
            if (const auto time = JetDateTime::fromCanonical(bytes, sqlite3_column_bytes(statement.get(), 2))) {
                const QDateTime value = time->toDateTime();
                cells.date = lxw_datetime{value.date().year(), value.date().month(),  value.date().day(),
                                          value.time().hour(), value.time().minute(), double(value.time().second())};
                cells.midnight = value.time() == QTime(0, 0);
            }
        }
        if (sqlite3_column_type(statement.get(), 5) != SQLITE_NULL) {
            const qint64 ticks = sqlite3_column_int64(statement.get(), 5);
            cells.amount = Money::toDouble(ticks);
            cells.fen = ticks % 100 != 0;
        }
        all.push_back(std::move(cells));
    }
    return all;
}

/// The floor: the library alone writing the cells, as the export writes them.
bool writeFloor(const std::vector<Cells>& records, const char* path)
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(".");
    lxw_workbook* book = workbook_new_opt(path, &options);
    if (book == nullptr)
        return false;
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* yuan = workbook_add_format(book);
    format_set_num_format(yuan, "\"￥\"#,##0.00");
    lxw_format* yuanFen = workbook_add_format(book);
    format_set_num_format(yuanFen, "\"￥\"#,##0.0000");
    lxw_format* day = workbook_add_format(book);
    format_set_num_format(day, "yyyy\"年\"m\"月\"d\"日\"");
    lxw_format* dayTime = workbook_add_format(book);
    format_set_num_format(dayTime, "yyyy\"年\"m\"月\"d\"日\" hh:mm:ss");
    lxw_worksheet* sheet = workbook_add_worksheet(book, "人情账目");
    const QStringList header = LedgerTransfer::header();
    for (int column = 0; column < header.size(); ++column)
        worksheet_write_string(sheet, 0, lxw_col_t(column), header[column].toUtf8().constData(), bold);
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_fit_to_pages(sheet, 1, 0);
    lxw_row_t row = 1;
    static const int textColumns[5] = {0, 1, 3, 4, 6};
    for (const Cells& cells : records) {
        for (int i = 0; i < 5; ++i) {
            if (!cells.texts[i].empty())
                worksheet_write_string(sheet, row, lxw_col_t(textColumns[i]), cells.texts[i].c_str(), nullptr);
        }
        if (cells.date) {
            lxw_datetime date = *cells.date;
            worksheet_write_datetime(sheet, row, 2, &date, cells.midnight ? day : dayTime);
        }
        if (cells.amount)
            worksheet_write_number(sheet, row, 5, *cells.amount, cells.fen ? yuanFen : yuan);
        ++row;
    }
    for (lxw_col_t column = 0; column < 7; ++column)
        worksheet_set_column(sheet, column, column, 12, nullptr);
    return workbook_close(book) == LXW_NO_ERROR;
}

struct Measured
{
    Samples ms;
    qint64 peakKb = 0; ///< the largest growth of the peak resident size over a run
};

bool measure(Measured& result, int runs, const std::function<bool()>& run)
{
    for (int i = 0; i < runs; ++i) {
        QFile::remove(u"out.xlsx"_s);
        resetPeak();
        const qint64 before = statusKb("VmRSS");
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return false;
        result.ms.add(millisecondsSince(timer));
        result.peakKb = std::max(result.peakKb, statusKb("VmHWM") - before);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    QDir::setCurrent(folder.path());
    const QString key = LedgerFile::password();
    // "--sizes 100000,1000000" (the default) measures other sizes.
    QList<qint64> sizes{100000, 1000000};
    const QStringList arguments = app.arguments();
    if (const qsizetype at = arguments.indexOf(u"--sizes"_s); at >= 0 && at + 1 < arguments.size()) {
        sizes.clear();
        for (const QString& size : arguments.at(at + 1).split(u','))
            sizes << size.toLongLong();
    }
    std::printf("%-12s %12s %12s %8s %14s %14s %10s %12s %12s\n", "records", "export ms", "floor ms", "ratio",
                "export peak MB", "floor peak MB", "file MB", "read ms", "scan ms");
    for (const qint64 count : sizes) {
        int runs = count > 100000 ? 3 : 5;
        if (arguments.contains(u"--once"_s))
            runs = 1;
        const QString ledger = u"ledger-%1.xc"_s.arg(count);
        say(u"building a ledger of %1 records ..."_s.arg(count));
        if (!BenchLedger::create(ledger, count))
            return 1;
        const auto engine = EngineConnection::open(ledger, key);
        if (!engine)
            return 1;

        Measured exported;
        QString error;
        say(u"exporting ..."_s);
        const bool exportOk = measure(exported, runs, [&] {
            const auto result = LedgerXlsx::write(*engine, u"out.xlsx"_s, std::nullopt);
            error = result.errorText();
            return result && result->records == count;
        });
        if (!exportOk) {
            say(u"export failed: "_s + error);
            return 1;
        }
        const double fileMb = double(QFileInfo(u"out.xlsx"_s).size()) / (1024.0 * 1024.0);

        say(u"the floor: reading the cells, then the library alone ..."_s);
        // The engine's plain read of one column of every record (no sort).
        double scanMs = 0;
        {
            QElapsedTimer scanning;
            scanning.start();
            const auto statement = engine->prepareNative(u"SELECT 时间 FROM 收送礼"_s);
            qint64 rows = 0;
            while (statement && sqlite3_step(statement.get()) == SQLITE_ROW)
                ++rows;
            scanMs = millisecondsSince(scanning);
            if (rows != count)
                return 1;
        }
        Measured floor;
        double readMs = 0;
        {
            QElapsedTimer reading;
            reading.start();
            const std::vector<Cells> cells = readCells(*engine);
            readMs = millisecondsSince(reading);
            if (qint64(cells.size()) != count)
                return 1;
            if (!measure(floor, runs, [&] { return writeFloor(cells, "out.xlsx"); }))
                return 1;
        }
        const double ms = exported.ms.median();
        const double floorMs = floor.ms.median();
        std::printf("%-12lld %12.0f %12.0f %8.2f %14.1f %14.1f %10.1f %12.0f %12.0f\n", static_cast<long long>(count),
                    ms, floorMs, ms / floorMs, double(exported.peakKb) / 1024.0, double(floor.peakKb) / 1024.0, fileMb,
                    readMs, scanMs);
        std::fflush(stdout);
        QFile::remove(ledger);
    }
    return 0;
}
