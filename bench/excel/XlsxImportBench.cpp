// The workbook import benchmark: 100,000 records imported from an .xlsx workbook (and, as the older format holds
// no more than 65,536 rows, 65,535 from an .xls one), against a floor measured in the same run on the same file:
// reading its cells alone (minizip and an XML parse of the sheet and its shared texts for .xlsx, FreeXL for
// .xls). The workbooks are made once by the office suite (soffice) from the ledger's CSV export. See the
// README, Benchmark.

#include "../BenchLedger.h"
#include "../BenchStats.h"

#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/ledger/SheetReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <cstdio>
#include <freexl.h>
#include <functional>
#include <sqlcipher/sqlite3.h>
#include <unzip.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::bench;

namespace {

constexpr int Runs = 5;

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

/// The median of runs of run(); prepare() before each is not timed. -1 at the first failure.
double measure(const std::function<bool()>& prepare, const std::function<bool()>& run)
{
    Samples samples;
    for (int i = 0; i < Runs; ++i) {
        if (prepare && !prepare())
            return -1;
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return -1;
        samples.add(millisecondsSince(timer));
    }
    return samples.median();
}

bool convert(const QString& csv, const QString& format)
{
    QProcess office;
    office.start(QStandardPaths::findExecutable(u"soffice"_s),
                 {u"-env:UserInstallation=file://"_s + QDir::currentPath() + u"/office-profile"_s, u"--headless"_s,
                  u"--infilter=CSV:44,34,76,1,,2052,true"_s, u"--convert-to"_s, format, u"--outdir"_s,
                  QDir::currentPath(), csv});
    return office.waitForFinished(600000) && office.exitCode() == 0
        && QFile::exists(QFileInfo(csv).completeBaseName() + u'.' + format);
}

/// The floor of an .xlsx: its sheet and shared texts unpacked and parsed, every cell's value and every shared text
/// read as the parser gives them, and nothing done with them. The cells counted.
qint64 xlsxFloor(const QString& path)
{
    unzFile zip = unzOpen64(QFile::encodeName(path).constData());
    if (!zip)
        return -1;
    qint64 cells = 0;
    for (const char* entry : {"xl/sharedStrings.xml", "xl/worksheets/sheet1.xml"}) {
        if (unzLocateFile(zip, entry, 2) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK) {
            unzClose(zip);
            return -1;
        }
        QByteArray bytes;
        char buffer[1 << 16];
        int n = 0;
        while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, n);
        unzCloseCurrentFile(zip);
        QXmlStreamReader xml(bytes);
        qsizetype characters = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"c")
                ++cells;
            else if (xml.name() == u"v" || xml.name() == u"t")
                characters += xml.readElementText(QXmlStreamReader::SkipChildElements).size();
        }
        if (characters < 0)
            return -1;
    }
    unzClose(zip);
    return cells;
}

/// The floor of an .xls: FreeXL's reading of the file and of every cell of its first sheet.
qint64 xlsFloor(const QString& path)
{
    const void* handle = nullptr;
    qint64 cells = -1;
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_open(QFile::encodeName(path).constData(), &handle) == FREEXL_OK
        && freexl_select_active_worksheet(handle, 0) == FREEXL_OK
        && freexl_worksheet_dimensions(handle, &rows, &columns) == FREEXL_OK) {
        cells = 0;
        for (unsigned int r = 0; r < rows; ++r) {
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue value;
                if (freexl_get_cell_value(handle, r, c, &value) == FREEXL_OK && value.type != FREEXL_CELL_NULL)
                    ++cells;
            }
        }
    }
    if (handle)
        freexl_close(handle);
    return cells;
}

/// The records as the engine stores them: UTF-8 texts and the amount, ready to bind.
struct NativeRecord
{
    QByteArray texts[6]; ///< 收送, 姓名, 时间 (canonical or null), 关系, 类型, 说明
    std::optional<qint64> amount;
};

/// The engine alone adding the records to a new ledger, in one transaction, from memory: the least any import
/// of them must do after reading the file.
bool insertFloor(EngineConnection& engine, const std::vector<NativeRecord>& records)
{
    if (!engine.executeNative("BEGIN IMMEDIATE"))
        return false;
    const auto insert
        = engine.prepareNative(u"INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) VALUES(?,?,?,?,?,?,?)"_s);
    if (!insert)
        return false;
    sqlite3_stmt* s = insert.get();
    static const int columns[6] = {1, 2, 3, 4, 5, 7};
    for (const NativeRecord& record : records) {
        sqlite3_reset(s);
        for (int i = 0; i < 6; ++i) {
            if (record.texts[i].isNull())
                sqlite3_bind_null(s, columns[i]);
            else
                sqlite3_bind_text(s, columns[i], record.texts[i].constData(), int(record.texts[i].size()),
                                  SQLITE_STATIC);
        }
        if (record.amount)
            sqlite3_bind_int64(s, 6, *record.amount);
        else
            sqlite3_bind_null(s, 6);
        if (sqlite3_step(s) != SQLITE_DONE)
            return false;
    }
    return engine.executeNative("COMMIT");
}

/// The first sheet of the workbook at path; empty with the reason in error.
std::optional<CsvTable> readSheet(const QString& path, bool xlsx, QString& error)
{
    const auto reader = SheetReader::open(path, xlsx ? SheetReader::Format::Xlsx : SheetReader::Format::Xls);
    if (!reader) {
        error = reader.errorText();
        return std::nullopt;
    }
    auto table = (*reader)->sheet(0);
    error = table.errorText();
    return std::move(table).optional();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty()) {
        say(u"the office suite (soffice) is needed to make the workbooks"_s);
        return 1;
    }
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    QDir::setCurrent(folder.path());
    const QString key = LedgerFile::password();

    say(u"building a ledger of 100,000 records and its workbooks ..."_s);
    if (!BenchLedger::create(u"ledger-100k.xc"_s, 100000))
        return 1;
    const auto source = EngineConnection::open(u"ledger-100k.xc"_s, key);
    if (!source)
        return 1;
    auto records = LedgerTransfer::readAll(*source);
    if (!records)
        return 1;
    const struct
    {
        QString name;
        QString format;
        qsizetype records;
    } books[] = {{u"records-100000"_s, u"xlsx"_s, 100000}, {u"records-65535"_s, u"xls"_s, 65535}};
    for (const auto& book : books) {
        const std::vector<LedgerRecord> some(records->begin(), records->begin() + book.records);
        if (!LedgerTransfer::writeWhole(book.name + u".csv"_s, LedgerTransfer::csv(some))
            || !convert(book.name + u".csv"_s, book.format)) {
            say(u"could not make "_s + book.name + u'.' + book.format);
            return 1;
        }
    }

    std::printf("%-58s %10s %10s %10s %8s\n", "measurement", "records", "median ms", "floor ms", "ratio");
    // The import also adds every record to the encrypted ledger, which reading the file alone does not: a
    // second floor adds the engine's own insert of the same records.
    std::vector<NativeRecord> native;
    native.reserve(records->size());
    for (const LedgerRecord& record : *records) {
        NativeRecord n;
        n.texts[0] = record.direction.toUtf8();
        n.texts[1] = record.name.toUtf8();
        if (record.time)
            n.texts[2] = record.time->canonical().toUtf8();
        n.texts[3] = record.relation.toUtf8();
        n.texts[4] = record.occasion.toUtf8();
        n.texts[5] = record.note.toUtf8();
        n.amount = record.amount;
        native.push_back(std::move(n));
    }
    QString error;
    for (const auto& book : books) {
        const QString path = book.name + u'.' + book.format;
        const bool xlsx = book.format == u"xlsx";
        qint64 cells = 0;
        const double floor = measure({}, [&] {
            cells = xlsx ? xlsxFloor(path) : xlsFloor(path);
            return cells > 0;
        });
        std::shared_ptr<EngineConnection> target;
        const std::vector<NativeRecord> some(native.begin(), native.begin() + book.records);
        const auto newLedger = [&] {
            target.reset();
            QFile::remove(u"import.xc"_s);
            if (!LedgerSchema::createFile(u"import.xc"_s, key))
                return false;
            target = EngineConnection::open(u"import.xc"_s, key);
            return target != nullptr;
        };
        const double inserting = measure(newLedger, [&] { return insertFloor(*target, some); });
        qsizetype rows = 0;
        const double read = measure({}, [&] {
            const auto table = readSheet(path, xlsx, error);
            rows = table ? table->rows.size() : 0;
            return table.has_value();
        });
        qsizetype imported = 0;
        const double import = measure(newLedger, [&] {
            auto table = readSheet(path, xlsx, error);
            const auto lists = LedgerImport::readLists(*target);
            const auto existing = LedgerImport::existingKeys(*target);
            if (!table || !lists || !existing)
                return false;
            LedgerImport::arrange(*table);
            const auto mapping = LedgerImport::exportMapping(table->rows.front());
            if (!mapping)
                return false;
            const auto checked = LedgerImport::check(*table, *mapping, *lists, *existing);
            std::vector<LedgerRecord> chosen;
            chosen.reserve(checked.candidates.size());
            for (const auto& candidate : checked.candidates)
                chosen.push_back(candidate.record);
            imported = qsizetype(chosen.size());
            const Done written = LedgerImport::write(*target, chosen, checked.newRelations, checked.newOccasions, {});
            error = written.errorText();
            return written.ok();
        });
        if (floor < 0 || read < 0 || import < 0 || inserting < 0) {
            say(u"failed on "_s + path + u": "_s + error);
            return 1;
        }
        if (imported != book.records || rows != book.records + 1) {
            say(u"%1: %2 of %3 records read"_s.arg(path).arg(imported).arg(book.records));
            return 1;
        }
        const QString reading = u"reading the sheet of "_s + path + u" ("_s + QString::number(cells) + u" cells)"_s;
        std::printf("%-58s %10lld %10.0f %10.0f %8.2f\n", qPrintable(reading), qlonglong(book.records), read, floor,
                    read / floor);
        const QString importing = u"import from "_s + path + u" (read, check, duplicates, write)"_s;
        std::printf("%-58s %10lld %10.0f %10.0f %8.2f\n", qPrintable(importing), qlonglong(book.records), import, floor,
                    import / floor);
        const QString whole
            = u"  the same, floor with the engine's insert ("_s + QString::number(inserting, 'f', 0) + u" ms)"_s;
        std::printf("%-58s %10lld %10.0f %10.0f %8.2f\n", qPrintable(whole), qlonglong(book.records), import,
                    floor + inserting, import / (floor + inserting));
    }
    return 0;
}
