// The ledger's export to an Excel workbook, read back as a spreadsheet program reads it: every awkward text,
// amount and date of every record exactly, the sheet's settings, the file replaced whole or not at all, and
// LibreOffice's own reading of the workbook.

#include "LedgerRecords.h"
#include "Noted.h"
#include "TempFolder.h"
#include "XlsxRead.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/ledger/LedgerXlsx.h"
#include "store/value/CsvTable.h"
#include "store/value/Money.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <cmath>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

const QString LongNote = QString(40000, u'长');

/// Records with every text, amount and date that a spreadsheet can get wrong.
std::vector<LedgerRecord> awkwardRecords()
{
    return {
        record(u"收礼"_s, u"=SUM(A1:A9)"_s, "2026-12-08", u"朋友"_s, u"结婚"_s, 123456, u"0012"_s),
        record(u"送礼"_s, u"110101199003077777"_s, nullptr, u"同事"_s, u"乔迁"_s, std::nullopt, u"two\nlines"_s),
        record(u"收礼"_s, u"  padded  "_s, "2026-12-08 13:45:10", u"亲戚"_s, u"生日"_s, -5000000,
               u"say \"hi\", it's\x01"_s),
        // 99.9998 is a number that "%.16G" prints as 99.99979999999999.
        record(u"送礼"_s, u"_x0041_ and _x005F_"_s, "1850-01-01", u"同学"_s, u"升职"_s, 999998, u"\t+1 @x -2"_s),
        record(u"收礼"_s, u"🎉 表情"_s, "2000-02-29", u"朋友"_s, u"丧礼"_s, std::numeric_limits<qint64>::max(),
               QString()),
        record(u"送礼"_s, u"长说明"_s, "1900-03-01", u"朋友"_s, u"结婚"_s, 1, LongNote),
    };
}

/// What a spreadsheet holds in a record's cell: the text, the amount (a double shown to 15 digits, as a
/// spreadsheet shows it) or the date (the day number counted from 1899-12-30), with the number format.
QString shown(const XlsxCell& cell, int column)
{
    if (cell.kind == XlsxCell::Empty)
        return u"empty"_s;
    if (cell.kind == XlsxCell::Text)
        return u"text:"_s + cell.value;
    bool ok = false;
    const double value = cell.value.toDouble(&ok);
    if (!ok)
        return u"bad number "_s + cell.value;
    if (column == 5) {
        const auto ticks = Money::parseLiteral(QString::number(value, 'g', 15));
        return u"amount:%1|%2"_s.arg(ticks ? Money::toLiteral(*ticks) : u"?"_s, cell.format);
    }
    if (column == 2) {
        const double days = std::floor(value);
        const qint64 seconds = std::llround((value - days) * 86400.0);
        const QDateTime time = QDateTime(QDate(1899, 12, 30).addDays(qint64(days)), QTime(0, 0)).addSecs(seconds);
        return u"date:%1|%2"_s.arg(time.toString(u"yyyy-MM-dd HH:mm:ss"_s), cell.format);
    }
    return u"number:"_s + cell.value;
}

/// The same, as the record should come out.
QStringList expected(const LedgerRecord& r)
{
    const auto text = [](const QString& t) { return t.isEmpty() ? u"empty"_s : u"text:"_s + t; };
    QString date = u"empty"_s;
    if (r.time && r.time->date() < QDate(1900, 3, 1))
        date = u"text:"_s + LedgerTransfer::dateText(*r.time);
    else if (r.time)
        date
            = u"date:%1|%2"_s.arg(r.time->canonical(),
                                  r.time->canonical().endsWith(u"00:00:00"_s) ? u"yyyy\"年\"m\"月\"d\"日\""_s
                                                                              : u"yyyy\"年\"m\"月\"d\"日\" hh:mm:ss"_s);
    QString amount = u"empty"_s;
    if (r.amount && qAbs(*r.amount) >= 1000000000000000LL)
        amount = u"text:"_s + Money::toLiteral(*r.amount); // more digits than a spreadsheet's number holds
    else if (r.amount)
        amount = u"amount:%1|%2"_s.arg(Money::toLiteral(*r.amount),
                                       *r.amount % 100 ? u"\"￥\"#,##0.0000"_s : u"\"￥\"#,##0.00"_s);
    return {text(r.direction),
            text(r.name),
            date,
            text(r.relation),
            text(r.occasion),
            amount,
            text(r.note.size() > 32767 ? r.note.first(32767) : r.note)};
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestLedgerXlsx : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempFolder> m_folder;
    std::shared_ptr<EngineConnection> m_engine;

    void addRecords(const std::vector<LedgerRecord>& records)
    {
        QString error;
        QVERIFY2(test::noted(LedgerImport::write(*m_engine, records, {}, {}, {}), &error), qPrintable(error));
    }

private Q_SLOTS:
    void initTestCase() { ::signal(SIGXFSZ, SIG_IGN); }

    void init()
    {
        m_folder = std::make_unique<TempFolder>();
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        m_engine = EngineConnection::open(LedgerFile::name(), LedgerFile::password());
        QVERIFY(m_engine);
    }

    void cleanup()
    {
        m_engine.reset();
        m_folder.reset();
    }

    void everyRecordReadsBackExactly_data()
    {
        QTest::addColumn<bool>("onlyShown");
        QTest::addColumn<qint64>("windowRecords");
        QTest::newRow("the whole ledger, newest first") << false << LedgerXlsx::WindowRecords;
        // Read in spans of whole days (three records on one day), then the records without a date.
        QTest::newRow("the whole ledger, a day at a time") << false << qint64(1);
        QTest::newRow("the whole ledger, two days at a time") << false << qint64(2);
        QTest::newRow("the rows shown, in their order") << true << LedgerXlsx::WindowRecords;
    }
    void everyRecordReadsBackExactly()
    {
        QFETCH(bool, onlyShown);
        QFETCH(qint64, windowRecords);
        addRecords(awkwardRecords());
        // Two records of the same time: the older ID first, as the engine orders them.
        LedgerRecord sameTime = awkwardRecords().front();
        sameTime.name = u"同时"_s;
        addRecords({sameTime});
        const QList<qint64> shownIds{6, 2, 4, 1};
        const auto records
            = onlyShown ? LedgerTransfer::readByIds(*m_engine, shownIds) : LedgerTransfer::readAll(*m_engine);
        QVERIFY(records);
        const QString path = m_folder->file(u"账目.xlsx"_s);
        QList<qint64> told;
        const auto result = LedgerXlsx::write(
            *m_engine, path, onlyShown ? std::optional(shownIds) : std::nullopt,
            [&](qint64 n) {
                told << n;
                return true;
            },
            windowRecords);
        QCOMPARE(result.errorText(), QString());
        QVERIFY(result.ok());
        QCOMPARE(result->records, qint64(records->size()));
        QCOMPARE(result->cutTexts, 1);
        QCOMPARE(told.last(), result->records);

        const XlsxSheet sheet = readXlsxSheet(path);
        QCOMPARE(sheet.rows.size(), qsizetype(records->size()) + 1);
        QStringList header;
        for (const XlsxCell& cell : sheet.rows.first())
            header << cell.value;
        QCOMPARE(header, LedgerTransfer::header());
        for (size_t i = 0; i < records->size(); ++i) {
            QStringList cells;
            const QList<XlsxCell> row = sheet.rows.at(qsizetype(i) + 1);
            for (int column = 0; column < 7; ++column)
                cells << shown(row.value(column), column);
            QCOMPARE(cells, expected(records->at(i)));
        }

        // The header stays in view and on every printed page; the print fits the page width.
        for (const char* setting :
             {"<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>",
              "<pageSetUpPr fitToPage=\"1\"/>", "fitToHeight=\"0\"", "paperSize=\"9\""})
            QVERIFY2(sheet.xml.contains(setting), setting);
        // Columns as wide as their contents: the 18-digit ID whole, the long note within bounds.
        QVERIFY2(sheet.widths.value(1) >= 18 && sheet.widths.value(1) < 30,
                 qPrintable(QString::number(sheet.widths.value(1))));
        QVERIFY(sheet.widths.value(0) >= 6 && sheet.widths.value(0) < 12);
        QVERIFY(sheet.widths.value(6) >= 40 && sheet.widths.value(6) <= 61);
        QVERIFY(sheet.widths.value(2) >= 13);
        QCOMPARE(filesIn(m_folder->path()), (QStringList{u"lgbk.xc"_s, u"账目.xlsx"_s}));
    }

    void cancelOrFailureLeavesTheOldFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("cancelAt"); // -1: never
        QTest::addColumn<int>("sizeLimit"); // 0: none
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("error");
        const int cancelled = 1;
        const int failed = 2;
        QTest::newRow("cancelled at the start") << u"old.xlsx"_s << 0 << 0 << cancelled << QString();
        QTest::newRow("cancelled before the file is finished") << u"old.xlsx"_s << 5000 << 0 << cancelled << QString();
        QTest::newRow("a file too large for the system")
            << u"old.xlsx"_s << -1 << 8192 << failed << u"写入文件失败：文件太大，超出了系统允许的大小。"_s;
        QTest::newRow("a folder that is not there") << u"missing/new.xlsx"_s << -1 << 0 << failed
                                                    << u"无法在“%1”中创建文件：文件夹不存在。"_s; // %1: the folder
    }
    void cancelOrFailureLeavesTheOldFile()
    {
        QFETCH(QString, name);
        QFETCH(int, cancelAt);
        QFETCH(int, sizeLimit);
        QFETCH(int, outcome);
        QFETCH(QString, error);
        addRecords(std::vector<LedgerRecord>(5000, awkwardRecords().front()));
        const QString path = m_folder->file(name);
        QFile old(m_folder->file(u"old.xlsx"_s));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content");
        old.close();
        const QStringList before = filesIn(m_folder->path());

        struct rlimit limit;
        ::getrlimit(RLIMIT_FSIZE, &limit);
        struct rlimit small = limit;
        if (sizeLimit > 0)
            small.rlim_cur = rlim_t(sizeLimit);
        ::setrlimit(RLIMIT_FSIZE, &small);
        const auto result = LedgerXlsx::write(*m_engine, path, std::nullopt,
                                              [cancelAt](qint64 n) { return cancelAt < 0 || n < cancelAt; });
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QCOMPARE(result.ok() ? 0 : result.cancelled() ? 1 : 2, outcome);
        QCOMPARE(result.cancelled() ? QString() : result.errorText(),
                 error.contains(u"%1"_s) ? error.arg(m_folder->file(u"missing"_s)) : error);
        QCOMPARE(QFileInfo(m_folder->file(u"old.xlsx"_s)).size(), 11);
        QCOMPARE(readFile(m_folder->file(u"old.xlsx"_s)), "old content"_ba);
        QCOMPARE(filesIn(m_folder->path()), before);
    }

    void aFullDiskAtAnyByteFailsOrWritesTheWholeFile()
    {
        // The library writes the rows, then each whole sheet, to temporary files and does not look at the outcome
        // of those writes. At every size the disk can hold, the export either fails and keeps the old file, or
        // writes a workbook with every row.
        std::vector<LedgerRecord> records;
        for (int i = 0; i < 4; ++i) {
            const std::vector<LedgerRecord> some = awkwardRecords();
            records.insert(records.end(), some.begin(), some.end() - 1);
        }
        addRecords(records);
        const QString path = m_folder->file(u"old.xlsx"_s);
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content");
        old.close();
        const QStringList before = filesIn(m_folder->path());
        struct rlimit limit;
        ::getrlimit(RLIMIT_FSIZE, &limit);
        QSet<QString> errors;
        for (rlim_t size = 256;; size += 97) {
            struct rlimit small = limit;
            small.rlim_cur = size;
            ::setrlimit(RLIMIT_FSIZE, &small);
            const auto result = LedgerXlsx::write(*m_engine, path, std::nullopt);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            if (result) {
                const XlsxSheet sheet = readXlsxSheet(path);
                QCOMPARE(sheet.rows.size(), qsizetype(records.size()) + 1);
                QCOMPARE(sheet.rows.last().value(1).value, LedgerTransfer::readAll(*m_engine)->back().name);
                break;
            }
            QVERIFY(!result.cancelled());
            QCOMPARE(readFile(path), "old content"_ba);
            QCOMPARE(filesIn(m_folder->path()), before);
            errors << result.errorText();
        }
        // Failures both where the system tells and where only the finished file shows it.
        QCOMPARE(errors,
                 (QSet<QString>{u"写入文件失败：文件太大，超出了系统允许的大小。"_s,
                                u"写入文件失败：写成的文件不完整，磁盘可能已满。"_s}));
    }

    void aLongTableGoesOnInFurtherSheets_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<QStringList>>("sheets");
        // Each sheet holds the header and as many rows as a sheet can (here two), the last one the rest.
        QTest::newRow("five rows") << 5
                                   << QList<QStringList>{{u"序号"_s, u"1"_s, u"2"_s},
                                                         {u"序号"_s, u"3"_s, u"4"_s},
                                                         {u"序号"_s, u"5"_s}};
        QTest::newRow("four rows: no sheet of nothing but the header")
            << 4 << QList<QStringList>{{u"序号"_s, u"1"_s, u"2"_s}, {u"序号"_s, u"3"_s, u"4"_s}};
    }
    void aLongTableGoesOnInFurtherSheets()
    {
        QFETCH(int, rows);
        QFETCH(QList<QStringList>, sheets);
        const QString path = m_folder->file(u"长表.xlsx"_s);
        XlsxBook book(path, 3);
        QString error;
        QVERIFY(test::noted(book.open(u"人情账目"_s, {u"序号"_s}), &error));
        for (int i = 1; i <= rows; ++i) {
            book.number(0, i);
            book.nextRow();
        }
        QVERIFY2(test::noted(book.commit(), &error), qPrintable(error));
        QList<QStringList> read;
        for (int number = 1; !unzip(path).value(u"xl/worksheets/sheet%1.xml"_s.arg(number)).isEmpty(); ++number) {
            const XlsxSheet sheet = readXlsxSheet(path, number);
            QStringList cells;
            for (const QList<XlsxCell>& row : sheet.rows)
                cells << row.value(0).value;
            QVERIFY(sheet.xml.contains("state=\"frozen\""));
            read << cells;
        }
        QCOMPARE(read, sheets);
        const QByteArray workbook = unzip(path).value(u"xl/workbook.xml"_s);
        QCOMPARE(workbook.count("<sheet "), sheets.size());
        QVERIFY(workbook.contains("name=\"人情账目\""));
        QVERIFY(workbook.contains("name=\"人情账目 (2)\""));
    }

    void libreOfficeReadsTextsAsText()
    {
        const QString office = QStandardPaths::findExecutable(u"soffice"_s);
        if (office.isEmpty())
            QSKIP("LibreOffice (soffice) is not installed: the workbook is not read by a spreadsheet program");
        addRecords(awkwardRecords());
        const QString path = m_folder->file(u"账目.xlsx"_s);
        QVERIFY(LedgerXlsx::write(*m_engine, path, QList<qint64>{1, 2, 3}));
        QProcess convert;
        convert.start(office,
                      {u"-env:UserInstallation=file://"_s + m_folder->file(u"profile"_s), u"--headless"_s,
                       u"--convert-to"_s, u"csv:Text - txt - csv (StarCalc):44,34,76,1"_s, u"--outdir"_s,
                       m_folder->file(u"out"_s), path});
        QVERIFY(convert.waitForFinished(120000));
        QCOMPARE(convert.exitCode(), 0);
        const auto table = CsvTable::parse(readFile(m_folder->file(u"out/账目.csv"_s)), nullptr);
        QVERIFY2(table, convert.readAllStandardError().constData());
        // As the spreadsheet shows the cells: the ID number and "0012" whole, a formula-like text as text, the
        // amounts and dates in their formats.
        const QList<QStringList> rows{
            LedgerTransfer::header(),
            {u"收礼"_s, u"=SUM(A1:A9)"_s, u"2026年12月8日"_s, u"朋友"_s, u"结婚"_s, u"￥12.3456"_s, u"0012"_s},
            {u"送礼"_s, u"110101199003077777"_s, QString(), u"同事"_s, u"乔迁"_s, QString(), u"two\nlines"_s},
            {u"收礼"_s, u"  padded  "_s, u"2026年12月8日 13:45:10"_s, u"亲戚"_s, u"生日"_s, u"-￥500.00"_s,
             u"say \"hi\", it's\x01"_s},
        };
        QCOMPARE(table->rows, rows);
    }
};

QTEST_GUILESS_MAIN(TestLedgerXlsx)
#include "test_ledger_xlsx.moc"
