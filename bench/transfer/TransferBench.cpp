// The transfer benchmark: the CSV export and import of a ledger of 100,000 records, and a backup of a ledger of
// 1,000,000 records, each as the medians of repeated runs, against a target of 3 s. See the README, Benchmark.

#include "../BenchLedger.h"
#include "../BenchStats.h"

#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/value/CsvTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::bench;

namespace {

constexpr double TargetMs = 3000;

struct Timing
{
    QString name;
    Samples samples;
    Samples cpu; ///< processor time of this process: on a busy machine far below the wall-clock time
};

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

/// Runs run() runs times; prepare() before each run is not timed. Stops at the first failure.
bool measure(Timing& result, int runs, const std::function<bool()>& prepare, const std::function<bool()>& run)
{
    for (int i = 0; i < runs; ++i) {
        if (prepare && !prepare())
            return false;
        QElapsedTimer timer;
        const std::clock_t cpuStart = std::clock();
        timer.start();
        if (!run())
            return false;
        result.samples.add(millisecondsSince(timer));
        result.cpu.add(double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = 5;
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    QDir::setCurrent(folder.path());
    const QString key = LedgerFile::password();
    QList<Timing> results;

    say(u"building a ledger of 100,000 records ..."_s);
    if (!BenchLedger::create(u"ledger-100k.xc"_s, 100000))
        return 1;
    const auto source = EngineConnection::open(u"ledger-100k.xc"_s, key);
    if (!source)
        return 1;

    Timing exported{u"export of 100,000 records to CSV"_s, {}, {}};
    QString error;
    const bool exportOk = measure(exported, runs, {}, [&] {
        const auto records = LedgerTransfer::readAll(*source);
        const Done written = records ? LedgerTransfer::writeWhole(u"export.csv"_s, LedgerTransfer::csv(*records))
                                     : Done(records.failure());
        error = written.errorText();
        return written.ok();
    });
    if (!exportOk) {
        say(u"export failed: "_s + error);
        return 1;
    }
    results << exported;

    Timing imported{u"import of 100,000 records from CSV (read, check, duplicates, write)"_s, {}, {}};
    std::shared_ptr<EngineConnection> target;
    const bool importOk = measure(
        imported, runs,
        [&] {
            target.reset();
            QFile::remove(u"import.xc"_s);
            if (!LedgerSchema::createFile(u"import.xc"_s, key))
                return false;
            target = EngineConnection::open(u"import.xc"_s, key);
            return target != nullptr;
        },
        [&] {
            QFile file(u"export.csv"_s);
            if (!file.open(QIODevice::ReadOnly))
                return false;
            const auto table = CsvTable::parse(file.readAll(), &error);
            const auto lists = LedgerImport::readLists(*target);
            const auto existing = LedgerImport::existingKeys(*target);
            if (!table || !lists || !existing)
                return false;
            const auto checked
                = LedgerImport::check(*table, *LedgerImport::exportMapping(table->rows.front()), *lists, *existing);
            std::vector<LedgerRecord> records;
            records.reserve(checked.candidates.size());
            for (const auto& candidate : checked.candidates)
                records.push_back(candidate.record);
            if (records.size() != 100000)
                return false;
            const Done written = LedgerImport::write(*target, records, checked.newRelations, checked.newOccasions, {});
            error = written.errorText();
            return written.ok();
        });
    if (!importOk) {
        say(u"import failed: "_s + error);
        return 1;
    }
    results << imported;

    say(u"building a ledger of 1,000,000 records ..."_s);
    if (!BenchLedger::create(LedgerFile::name(), 1000000))
        return 1;
    Timing backup{u"backup of a ledger of 1,000,000 records"_s, {}, {}};
    int n = 0;
    const bool backupOk = measure(
        backup, runs, [&] { return QDir(LedgerBackup::folderOf(LedgerFile::name())).removeRecursively(); },
        [&] {
            const auto made
                = LedgerBackup::create(LedgerFile::name(), key, QDateTime(QDate(2026, 1, 1), {}).addSecs(++n));
            error = made.errorText();
            return made.ok();
        });
    if (!backupOk) {
        say(u"backup failed: "_s + error);
        return 1;
    }
    results << backup;

    std::printf("%-70s %10s %10s %10s %8s\n", "measurement", "median ms", "cpu ms", "target ms", "");
    bool allFast = true;
    for (const Timing& r : results) {
        const double median = r.samples.median();
        allFast = allFast && median < TargetMs;
        std::printf("%-70s %10.0f %10.0f %10.0f %8s\n", qPrintable(r.name), median, r.cpu.median(), TargetMs,
                    median < TargetMs ? "ok" : "SLOW");
    }
    std::printf("ledger file of 1,000,000 records: %.1f MB\n",
                double(QFileInfo(LedgerFile::name()).size()) / (1024.0 * 1024.0));
    return allFast ? 0 : 3;
}
