// The ledger's CSV export and import: the file format, the formula guard, the checks of each row, duplicates,
// one transaction for the whole import, and a round trip of every awkward text through CSV and through an Excel
// workbook.

#include "LedgerRecords.h"
#include "Noted.h"
#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/ledger/LedgerXlsx.h"
#include "store/ledger/SheetReader.h"
#include "store/value/CsvTable.h"
#include "store/value/Money.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using ovelta::test::record;

namespace {

std::shared_ptr<EngineConnection> freshLedger()
{
    if (!LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()))
        return nullptr;
    return EngineConnection::open(LedgerFile::name(), LedgerFile::password());
}

/// Records with every text that a CSV or a spreadsheet can get wrong.
std::vector<LedgerRecord> awkwardRecords()
{
    return {
        record(u"收礼"_s, u"O'Brien"_s, "2011-06-02", u"朋友"_s, u"结婚"_s, 2000000, u"it's \"quoted\", with commas"_s),
        record(u"送礼"_s, u"张三\n李四"_s, "2012-03-15 18:30:05", u"同事"_s, u"乔迁"_s, 1234567, u"two\r\nlines"_s),
        record(u"收礼"_s, u"=SUM(A1:A9)"_s, "1999-12-31", u"亲戚"_s, u"生日"_s, 1, u"+86 138"_s),
        record(u"送礼"_s, u"-王五"_s, "2020-02-29", u"同学"_s, u"升职"_s, -5000, u"@cmd"_s),
        record(u"收礼"_s, u"'=already"_s, nullptr, u"其他"_s, u"探病"_s, std::nullopt, u"\tTabbed"_s),
        record(u"送礼"_s, u"🎉 表情 😀"_s, "2001-01-01", u"朋友"_s, u"丧礼"_s, 99999999999999, u"\rreturn"_s),
        record(u"收礼"_s, QString(), nullptr, u"朋友"_s, u"结婚"_s, 0, QString()),
        record(u"收礼"_s, u" padded "_s, "2011-06-02", u"朋友"_s, u"结婚"_s, 6660000, u"''+x"_s),
        // A note far longer than any table's field would need; the ledger keeps it, so the import takes it back.
        record(u"送礼"_s, u"长说明"_s, "2015-05-05", u"朋友"_s, u"结婚"_s, 1, QString(150000, u'长') + u",\"x\"\n"_s),
    };
}

/// The text in UTF-16, as a spreadsheet's "Unicode 文本" saves it (little end first with a byte-order mark).
QByteArray utf16(const QString& text, QStringConverter::Encoding order, bool byteOrderMark)
{
    QStringEncoder encoder(order, byteOrderMark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder.encode(text);
}

bool addRecords(EngineConnection& engine, const std::vector<LedgerRecord>& records)
{
    QString error;
    return test::noted(LedgerImport::write(engine, records, {}, {}, {}), &error).ok();
}

} // namespace

class TestLedgerTransfer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesStandardCsv_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QList<qsizetype>>("lines");
        QTest::addColumn<QString>("encoding");
        const QString utf8 = u"UTF-8"_s;
        QTest::newRow("plain LF") << "a,b\nc,d\n"_ba << QList<QStringList>{{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}}
                                  << QList<qsizetype>{1, 2} << utf8;
        QTest::newRow("CRLF, no last line end")
            << "a,b\r\nc,d"_ba << QList<QStringList>{{u"a"_s, u"b"_s}, {u"c"_s, u"d"_s}} << QList<qsizetype>{1, 2}
            << utf8;
        QTest::newRow("old CR ends") << "a\rb\r"_ba << QList<QStringList>{{u"a"_s}, {u"b"_s}} << QList<qsizetype>{1, 2}
                                     << utf8;
        QTest::newRow("quotes, commas and line breaks inside")
            << "\"x,y\",\"say \"\"hi\"\"\"\r\n\"multi\r\nline\",z\r\nlast,\"\"\r\n"_ba
            << QList<QStringList>{{u"x,y"_s, u"say \"hi\""_s}, {u"multi\r\nline"_s, u"z"_s}, {u"last"_s, QString()}}
            << QList<qsizetype>{1, 2, 4} << utf8;
        QTest::newRow("blank lines left out, empty fields kept")
            << "\n,\n\na\n"_ba << QList<QStringList>{{QString(), QString()}, {u"a"_s}} << QList<qsizetype>{2, 4}
            << utf8;
        QTest::newRow("byte-order mark") << "\xEF\xBB\xBF收礼,张三\n"_ba << QList<QStringList>{{u"收礼"_s, u"张三"_s}}
                                         << QList<qsizetype>{1} << utf8;
        // A quote inside a field that does not start with one is an ordinary character, as spreadsheets read it.
        QTest::newRow("stray quotes inside unquoted fields")
            << "收礼,王\"小\"五,12\" TV,a\"\nx\"y,\"q\"\n"_ba
            << QList<QStringList>{{u"收礼"_s, u"王\"小\"五"_s, u"12\" TV"_s, u"a\""_s}, {u"x\"y"_s, u"q"_s}}
            << QList<qsizetype>{1, 2} << utf8;
        const QString tabbed = u"收送\t姓名\t说明\r\n收礼\t张三\t\"a,\tb\"\r\n送礼\t李四\t1,2\r\n"_s;
        const QList<QStringList> tabbedRows{
            {u"收送"_s, u"姓名"_s, u"说明"_s}, {u"收礼"_s, u"张三"_s, u"a,\tb"_s}, {u"送礼"_s, u"李四"_s, u"1,2"_s}};
        QTest::newRow("tab-separated UTF-8") << tabbed.toUtf8() << tabbedRows << QList<qsizetype>{1, 2, 3} << utf8;
        QStringEncoder gbk("GB18030");
        QTest::newRow("tab-separated GBK")
            << QByteArray(gbk.encode(tabbed)) << tabbedRows << QList<qsizetype>{1, 2, 3} << u"GBK"_s;
        QTest::newRow("UTF-16, little end first, byte-order mark (a spreadsheet's Unicode text)")
            << utf16(tabbed, QStringConverter::Utf16LE, true) << tabbedRows << QList<qsizetype>{1, 2, 3} << u"UTF-16"_s;
        QTest::newRow("UTF-16, big end first, byte-order mark")
            << utf16(tabbed, QStringConverter::Utf16BE, true) << tabbedRows << QList<qsizetype>{1, 2, 3} << u"UTF-16"_s;
        QTest::newRow("UTF-16, little end first, no byte-order mark")
            << utf16(tabbed, QStringConverter::Utf16LE, false) << tabbedRows << QList<qsizetype>{1, 2, 3}
            << u"UTF-16"_s;
        QTest::newRow("UTF-16, big end first, no byte-order mark, commas")
            << utf16(u"收礼,张三\n"_s, QStringConverter::Utf16BE, false) << QList<QStringList>{{u"收礼"_s, u"张三"_s}}
            << QList<qsizetype>{1} << u"UTF-16"_s;
    }
    void parsesStandardCsv()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QStringList>, rows);
        QFETCH(QList<qsizetype>, lines);
        QFETCH(QString, encoding);
        QString error;
        const auto table = CsvTable::parse(bytes, &error);
        QVERIFY2(table, qPrintable(error));
        QCOMPARE(table->rows, rows);
        QCOMPARE(table->lines, lines);
        QCOMPARE(table->encoding, encoding);
    }

    void refusesHostileFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray() << u"文件是空的。"_s;
        QTest::newRow("only a byte-order mark") << "\xEF\xBB\xBF"_ba << u"文件是空的。"_s;
        QTest::newRow("only blank lines") << "\r\n\r\n"_ba << u"文件是空的。"_s;
        QTest::newRow("NUL") << "a,b\nc\0d\n"_ba << u"文件含有空字符（NUL），不是文本格式的CSV文件。"_s;
        QTest::newRow("unclosed quote") << "a,b\n\"c,d\ne\n"_ba << u"第2行开始的引号没有结束。"_s;
        QTest::newRow("text after closing quote")
            << "a\n\"b\"c\n"_ba << u"第2行的引号不成对：结束的引号后面还有文字。"_s;
        QTest::newRow("UTF-16 with a NUL character")
            << utf16(u"a\tb\n"_s + QChar(0) + u"\n"_s, QStringConverter::Utf16LE, true)
            << u"文件含有空字符（NUL），不是文本格式的CSV文件。"_s;
        QTest::newRow("NUL, even number of bytes, line ends")
            << "a,\0b\r\n"_ba << u"文件含有空字符（NUL），不是文本格式的CSV文件。"_s;
        QTest::newRow("100,000 columns") << QByteArray(100000, ',') << u"第1行的列数超过1000，不是账目表格。"_s;
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary += char((i * 7 + 1) % 255 + 1);
        QTest::newRow("binary") << binary << u"无法识别文件的编码（只能读取UTF-8、GBK或UTF-16编码的文本）。"_s;
        QByteArray controls;
        for (int i = 0; i < 100; ++i)
            controls += "\x01\x02\x03";
        QTest::newRow("control characters") << controls << u"文件含有大量控制字符，不是文本格式的CSV文件。"_s;
    }
    void refusesHostileFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QString error;
        QVERIFY(!CsvTable::parse(bytes, &error));
        QCOMPARE(error, message);
    }

    void readsGbkAsSpreadsheetsSaveIt()
    {
        QFile file(QString::fromLocal8Bit(qgetenv("OVELTA_SOURCE_DIR")) + u"/tests/data/spreadsheet-gbk.csv"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.contains("\r\n"));
        // Qt reads GBK through ICU on this platform; the program reads it as its superset GB18030.
        QVERIFY(QStringDecoder("GBK").isValid());
        QCOMPARE(QStringDecoder("GBK").decode(bytes.first(4)), QString(u"收送"_s));
        QString error;
        const auto table = CsvTable::parse(bytes, &error);
        QVERIFY2(table, qPrintable(error));
        QCOMPARE(table->encoding, u"GBK"_s);
        QCOMPARE(table->rows.size(), 5);
        QCOMPARE(table->rows[0], LedgerTransfer::header());
        QCOMPARE(table->rows[3][2 - 1], u"王\"小\"五"_s);
        QCOMPARE(table->rows[3][6], u"两行\r\n说明"_s);
        QCOMPARE(table->lines, (QList<qsizetype>{1, 2, 3, 4, 6}));

        test::TempFolder folder;
        const auto engine = freshLedger();
        QVERIFY(engine);
        const auto mapping = LedgerImport::exportMapping(table->rows[0]);
        QVERIFY(mapping);
        const auto lists = LedgerImport::readLists(*engine);
        QVERIFY(lists);
        const LedgerImport::Checked checked = LedgerImport::check(*table, *mapping, *lists, {});
        QCOMPARE(checked.problems.size(), 0);
        QCOMPARE(checked.candidates.size(), size_t(4));
        const LedgerRecord& second = checked.candidates[1].record;
        QCOMPARE(second.time->canonical(), u"2012-03-15 18:30:00"_s);
        QCOMPARE(*second.amount, 12000000);
        QCOMPARE(*checked.candidates[3].record.amount, 666000);
        QCOMPARE(checked.candidates[3].line, 6);
    }

    void guardKeepsFormulasAsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << u"张三"_s << u"张三"_s;
        QTest::newRow("=") << u"=1+1"_s << u"'=1+1"_s;
        QTest::newRow("+") << u"+86"_s << u"'+86"_s;
        QTest::newRow("-") << u"-5"_s << u"'-5"_s;
        QTest::newRow("@") << u"@x"_s << u"'@x"_s;
        QTest::newRow("tab") << u"\tx"_s << u"'\tx"_s;
        QTest::newRow("CR") << u"\rx"_s << u"'\rx"_s;
        QTest::newRow("apostrophe before a formula") << u"'=x"_s << u"''=x"_s;
        QTest::newRow("apostrophe alone") << u"'abc"_s << u"'abc"_s;
        QTest::newRow("apostrophes only") << u"''"_s << u"''"_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("inner =") << u"a=b"_s << u"a=b"_s;
    }
    void guardKeepsFormulasAsText()
    {
        QFETCH(QString, text);
        QFETCH(QString, written);
        QCOMPARE(CsvTable::guarded(text), written);
        QCOMPARE(CsvTable::unguarded(written), text);
    }

    void amountsAndDatesOfOtherFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("amount");
        QTest::newRow("plain") << u"200"_s << u"200"_s;
        QTest::newRow("four decimals") << u"0.0001"_s << u"0.0001"_s;
        QTest::newRow("yuan sign") << u"￥1,234.50"_s << u"1234.5"_s;
        QTest::newRow("half-width yuan sign") << u"¥ 66.60"_s << u"66.6"_s;
        QTest::newRow("full-width digits") << u"　１２３　"_s << u"123"_s;
        QTest::newRow("negative grouped") << u"-1,000,000"_s << u"-1000000"_s;
        QTest::newRow("bad grouping") << u"1,2"_s << QString();
        QTest::newRow("words") << u"两百"_s << QString();
        QTest::newRow("five decimals round") << u"0.00005"_s << u"0.0001"_s;
    }
    void amountsAndDatesOfOtherFiles()
    {
        QFETCH(QString, text);
        QFETCH(QString, amount);
        const auto ticks = LedgerImport::parseAmount(text);
        QCOMPARE(ticks ? Money::toLiteral(*ticks) : QString(), amount);
    }

    void datesOfOtherFiles()
    {
        QCOMPARE(LedgerImport::parseDate(u"2011年6月2日"_s)->canonical(), u"2011-06-02 00:00:00"_s);
        QCOMPARE(LedgerImport::parseDate(u"2011/6/2 8:05"_s)->canonical(), u"2011-06-02 08:05:00"_s);
        QCOMPARE(LedgerImport::parseDate(u" 2011-06-02 "_s)->canonical(), u"2011-06-02 00:00:00"_s);
        QVERIFY(!LedgerImport::parseDate(u"2011-2-30"_s));
        QVERIFY(!LedgerImport::parseDate(u"昨天"_s));
        QCOMPARE(LedgerTransfer::dateText(*JetDateTime::parse(u"2011-6-2"_s)), u"2011-06-02"_s);
        QCOMPARE(LedgerTransfer::dateText(*JetDateTime::parse(u"2011-6-2 0:00:01"_s)), u"2011-06-02 00:00:01"_s);
    }

    void fieldsAreQuotedWhereAReaderWouldChangeThem_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("row");
        QTest::newRow("plain, inner blank") << QStringList{u"张 三"_s, u"200"_s} << u"张 三,200\r\n"_s;
        QTest::newRow("comma, quote, line breaks") << QStringList{u"a,b"_s, u"说\"好\""_s, u"x\ny"_s, u"x\ry"_s}
                                                   << u"\"a,b\",\"说\"\"好\"\"\",\"x\ny\",\"x\ry\"\r\n"_s;
        QTest::newRow("blanks at either end")
            << QStringList{u" 张三"_s, u"张三 "_s, u"\t备注"_s} << u"\" 张三\",\"张三 \",\"\t备注\"\r\n"_s;
        QTest::newRow("full-width blank at an end") << QStringList{u"\u3000张三"_s} << u"\"\u3000张三\"\r\n"_s;
        QTest::newRow("empty fields") << QStringList{QString(), QString()} << u",\r\n"_s;
    }
    void fieldsAreQuotedWhereAReaderWouldChangeThem()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, row);
        QCOMPARE(CsvTable::rowText(fields), row);
    }

    void exportWritesHeaderBomAndExactAmounts()
    {
        const QByteArray bytes = LedgerTransfer::csv(
            {record(u"收礼"_s, u"张三"_s, "2011-06-02", u"朋友"_s, u"结婚"_s, 2001234, u"a,b"_s)});
        QCOMPARE(
            bytes,
            "\xEF\xBB\xBF收送,姓名,时间,关系,类型,金额,说明\r\n收礼,张三,2011-06-02,朋友,结婚,200.1234,\"a,b\"\r\n"_ba);
    }

    void roundTripKeepsEveryRecord_data()
    {
        QTest::addColumn<bool>("workbook");
        QTest::newRow("CSV") << false;
        QTest::newRow("Excel workbook") << true;
    }
    void roundTripKeepsEveryRecord()
    {
        QFETCH(bool, workbook);
        test::TempFolder folder;
        std::vector<LedgerRecord> original = awkwardRecords();
        if (workbook) // A spreadsheet's cell holds at most 32,767 characters.
            std::erase_if(original, [](const LedgerRecord& r) { return r.note.size() > 32767; });
        QByteArray bytes;
        const QString book = folder.file(u"账目.xlsx"_s);
        {
            const auto source = freshLedger();
            QVERIFY(source);
            QVERIFY(addRecords(*source, original));
            const auto all = LedgerTransfer::readAll(*source);
            QVERIFY(all);
            QCOMPARE(all->size(), original.size());
            bytes = LedgerTransfer::csv(*all);
            if (workbook)
                QVERIFY(LedgerXlsx::write(*source, book, std::nullopt));
        }
        QVERIFY(QFile::remove(LedgerFile::name()));
        const auto target = freshLedger();
        QVERIFY(target);
        QString error;
        std::optional<CsvTable> table;
        if (workbook) {
            const auto reader = SheetReader::open(book, SheetReader::Format::Xlsx);
            QVERIFY2(reader, qPrintable(reader.errorText()));
            table = (*reader)->sheet(0).optional();
        } else {
            table = CsvTable::parse(bytes, &error);
        }
        QVERIFY2(table, qPrintable(error));
        const auto mapping = LedgerImport::exportMapping(table->rows.front());
        QVERIFY(mapping);
        const auto checked = LedgerImport::check(*table, *mapping, *LedgerImport::readLists(*target), {});
        QCOMPARE(checked.problems.size(), 0);
        QVERIFY(checked.newRelations.isEmpty() && checked.newOccasions.isEmpty());
        std::vector<LedgerRecord> imported;
        for (const auto& candidate : checked.candidates)
            imported.push_back(candidate.record);
        QVERIFY(addRecords(*target, imported));
        const auto back = LedgerTransfer::readAll(*target);
        QVERIFY(back);
        QCOMPARE(back->size(), original.size());
        // Every original record is found once with every value equal.
        std::vector<bool> used(back->size(), false);
        for (const LedgerRecord& r : original) {
            bool found = false;
            for (size_t i = 0; i < back->size() && !found; ++i) {
                if (!used[i] && (*back)[i].sameContent(r))
                    used[i] = found = true;
            }
            QVERIFY2(found, qPrintable(r.name));
        }
    }

    void rowsAreCheckedAsTheEntryWindowChecks()
    {
        test::TempFolder folder;
        const auto engine = freshLedger();
        QVERIFY(engine);
        const QByteArray bytes = "收送,姓名,时间,关系,类型,金额,说明\n"
                                 "收礼,甲,2011-1-1,朋友,结婚,100,\n"
                                 "收到,乙,2011-1-1,朋友,结婚,100,\n"
                                 ",丙,2011-1-1,朋友,结婚,100,\n"
                                 "收礼,丁,2011-1-1,　,结婚,100,\n"
                                 "收礼,戊,2011-1-1,朋友,结婚,一百,\n"
                                 "收礼,己,2011-1-1,朋友,,100,\n"
                                 "收礼,庚,2011-13-1,朋友,结婚,100,\n"
                                 "送礼,辛,2011-1-1,邻居,满月,100,\n"
                                 "送礼,壬,,邻居,满月,,\n"
                                 "收礼,癸\n"_ba;
        const auto table = CsvTable::parse(bytes, nullptr);
        QVERIFY(table);
        const auto checked = LedgerImport::check(*table, *LedgerImport::exportMapping(table->rows.front()),
                                                 *LedgerImport::readLists(*engine), {});
        QCOMPARE(checked.candidates.size(), size_t(3));
        QStringList reasons;
        for (const auto& p : checked.problems)
            reasons << u"%1 %2"_s.arg(p.line).arg(p.reason);
        QCOMPARE(reasons,
                 (QStringList{
                     u"3 收送“收到”不对（须为收礼或送礼）。"_s,
                     u"4 没有收送（须为收礼或送礼）。"_s,
                     u"5 没有关系。"_s,
                     u"6 金额“一百”不是正确的数字。"_s,
                     u"7 没有类型。"_s,
                     u"8 时间“2011-13-1”不是正确的日期。"_s,
                     u"11 没有关系。"_s,
                 }));
        QCOMPARE(checked.newRelations, QStringList{u"邻居"_s});
        QCOMPARE(checked.newOccasions, QStringList{u"满月"_s});
        QVERIFY(!checked.candidates[2].record.time && !checked.candidates[2].record.amount);

        const QByteArray saved = LedgerImport::problemsCsv(table->rows.front(), checked.problems);
        const auto again = CsvTable::parse(saved, nullptr);
        QVERIFY(again);
        QCOMPARE(again->rows.size(), 8);
        QCOMPARE(again->rows[0].last(), u"错误原因"_s);
        QCOMPARE(again->rows[1],
                 (QStringList{u"收到"_s, u"乙"_s, u"2011-1-1"_s, u"朋友"_s, u"结婚"_s, u"100"_s, QString(),
                              u"第3行：收送“收到”不对（须为收礼或送礼）。"_s}));
        // The saved file is in the export's format again, its reason column left aside.
        QVERIFY(LedgerImport::exportMapping(again->rows[0]));
    }

    void savedRejectedRowsAreGuardedAndImportAsRead()
    {
        test::TempFolder folder;
        const auto engine = freshLedger();
        QVERIFY(engine);
        const QByteArray bytes = "收送,姓名,时间,关系,类型,金额,说明\n"
                                 "收礼,=坏公式,2011-1-1,朋友,结婚,一百,\"=HYPERLINK(\"\"x\"\")\"\n"
                                 "收礼,'=已防护,2011-1-1,朋友,结婚,x,@SUM(1)\n"
                                 "送礼,+86,-1,朋友,结婚,-5,'abc\n"_ba;
        const auto table = CsvTable::parse(bytes, nullptr);
        QVERIFY(table);
        const auto lists = LedgerImport::readLists(*engine);
        const auto checked = LedgerImport::check(*table, *LedgerImport::exportMapping(table->rows.front()), *lists, {});
        QCOMPARE(checked.problems.size(), 3);
        const QByteArray saved = LedgerImport::problemsCsv(table->rows.front(), checked.problems);
        const auto again = CsvTable::parse(saved, nullptr);
        QVERIFY(again);
        // No field of the saved file starts as a formula: every one a spreadsheet would run has its apostrophe.
        for (qsizetype row = 0; row < again->rows.size(); ++row) {
            for (const QString& field : again->rows[row])
                QVERIFY2(field.isEmpty() || !(u"=+-@"_s.contains(field.front())), qPrintable(field));
        }
        QVERIFY(saved.contains("'=坏公式,"));
        QVERIFY(saved.contains("\"'=HYPERLINK(\"\"x\"\")\""));
        // Imported again as it is, each text reads as it read from the first file.
        const auto rechecked
            = LedgerImport::check(*again, *LedgerImport::exportMapping(again->rows.front()), *lists, {});
        QCOMPARE(rechecked.problems.size(), 3);
        for (qsizetype i = 0; i < 3; ++i) {
            QStringList first = checked.problems[i].fields, second = rechecked.problems[i].fields.first(7);
            for (QString& field : first)
                field = CsvTable::unguarded(field);
            for (QString& field : second)
                field = CsvTable::unguarded(field);
            QCOMPARE(second, first);
            QCOMPARE(rechecked.problems[i].reason, checked.problems[i].reason);
        }
    }

    void duplicatesAreMarked()
    {
        test::TempFolder folder;
        const auto engine = freshLedger();
        QVERIFY(engine);
        QVERIFY(addRecords(
            *engine, {record(u"收礼"_s, u"张三"_s, "2011-06-02 10:00:00", u"朋友"_s, u"结婚"_s, 2000000, u"x"_s)}));
        const auto table = CsvTable::parse("收礼,张三,2011-6-2,朋友,生日,200,other note\n"
                                           "收礼,张三,2011-6-2,朋友,结婚,200.01,\n"
                                           "送礼,张三,2011-6-2,朋友,结婚,200,\n"
                                           "收礼,张三,2011-6-3,朋友,结婚,200,\n"_ba,
                                           nullptr);
        QVERIFY(table);
        ColumnMapping mapping;
        for (int i = 0; i < ColumnMapping::FieldCount; ++i)
            mapping.columns[size_t(i)] = i;
        const auto existing = LedgerImport::existingKeys(*engine);
        QVERIFY(existing);
        const auto checked = LedgerImport::check(*table, mapping, *LedgerImport::readLists(*engine), *existing);
        QCOMPARE(checked.candidates.size(), size_t(4));
        QCOMPARE(checked.duplicates, 1);
        QVERIFY(checked.candidates[0].duplicate);
        QVERIFY(!checked.candidates[1].duplicate && !checked.candidates[2].duplicate
                && !checked.candidates[3].duplicate);
    }

    void mappingOfOtherFiles()
    {
        QVERIFY(!LedgerImport::exportMapping({u"收送"_s, u"姓名"_s}));
        const ColumnMapping guess = LedgerImport::guessMapping({u"序号"_s, u"姓名"_s, u" 金额 "_s, u"备注"_s});
        QVERIFY(guess.headerRow);
        QCOMPARE(guess.columns[ColumnMapping::Name], 1);
        QCOMPARE(guess.columns[ColumnMapping::Amount], 2);
        QCOMPARE(guess.columns[ColumnMapping::Direction], -1);
        QVERIFY(LedgerImport::guessMapping({u"a"_s}).isEmpty());
        QVERIFY(!LedgerImport::guessMapping({u"a"_s}).headerRow);
    }

    void importIsAllOrNothing()
    {
        test::TempFolder folder;
        const auto engine = freshLedger();
        QVERIFY(engine);
        std::vector<LedgerRecord> many(2500, record(u"收礼"_s, u"甲"_s, "2011-01-01", u"朋友"_s, u"结婚"_s, 1, {}));
        // Cancelled half-way: nothing stays, not even the new list entries.
        QString error;
        QVERIFY(LedgerImport::write(*engine, many, {u"邻居"_s}, {u"满月"_s}, [](qsizetype written) {
                    return written < 2000;
                }).cancelled());
        QCOMPARE(LedgerTransfer::recordCount(*engine), 0);
        QCOMPARE(LedgerTransfer::listEntries(*engine, u"关系"_s)->size(), 5);
        QVERIFY(!engine->inTransaction());
        // A record the engine refuses (a date outside its range) fails the whole import.
        many[1800].time = JetDateTime::parse(u"9999-12-31"_s);
        QVERIFY(engine->executeNative("CREATE TRIGGER refuse BEFORE INSERT ON 收送礼 WHEN NEW.姓名='坏' "
                                      "BEGIN SELECT RAISE(ABORT,'refused'); END"));
        many[1900].name = u"坏"_s;
        QVERIFY(!test::noted(LedgerImport::write(*engine, many, {u"邻居"_s}, {}, {}), &error) && !error.isEmpty());
        // The engine's own text, after the data layer's Chinese words for a failure it has no name for.
        QCOMPARE(error, u"数据库操作失败:refused"_s);
        QCOMPARE(LedgerTransfer::recordCount(*engine), 0);
        QCOMPARE(LedgerTransfer::listEntries(*engine, u"关系"_s)->size(), 5);
        many[1900].name = u"好"_s;
        QVERIFY2(test::noted(LedgerImport::write(*engine, many, {u"邻居"_s}, {u"满月"_s}, {}), &error),
                 qPrintable(error));
        QCOMPARE(LedgerTransfer::recordCount(*engine), 2500);
        QCOMPARE(LedgerTransfer::listEntries(*engine, u"关系"_s)->last(), u"邻居"_s);
        QCOMPARE(LedgerTransfer::listEntries(*engine, u"类型"_s)->last(), u"满月"_s);
    }

    void fullDiskImportsNothing()
    {
        ::signal(SIGXFSZ, SIG_IGN);
        test::TempFolder folder;
        const auto engine = freshLedger();
        QVERIFY(engine);
        QVERIFY(addRecords(*engine, awkwardRecords()));
        const qint64 size = QFileInfo(LedgerFile::name()).size();
        std::vector<LedgerRecord> many(3000, awkwardRecords().front());
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        for (const rlim_t limit : {rlim_t(0), rlim_t(size), rlim_t(size + 8192)}) {
            struct rlimit full = old;
            full.rlim_cur = limit;
            ::setrlimit(RLIMIT_FSIZE, &full);
            QString error;
            const Done outcome = test::noted(LedgerImport::write(*engine, many, {u"邻居"_s}, {}, {}), &error);
            ::setrlimit(RLIMIT_FSIZE, &old);
            QVERIFY(!outcome && !outcome.cancelled());
            QVERIFY(!error.isEmpty());
            QVERIFY(!engine->inTransaction());
        }
        const auto reopened = EngineConnection::open(LedgerFile::name(), LedgerFile::password());
        QVERIFY(reopened);
        QCOMPARE(LedgerTransfer::recordCount(*reopened), qint64(awkwardRecords().size()));
        QCOMPARE(LedgerTransfer::listEntries(*reopened, u"关系"_s)->size(), 5);
        QVERIFY(addRecords(*engine, many));
    }

    void readByIdsKeepsTheGridsOrder()
    {
        test::TempFolder folder;
        const auto engine = freshLedger();
        QVERIFY(engine);
        QVERIFY(addRecords(*engine, awkwardRecords()));
        const auto some = LedgerTransfer::readByIds(*engine, {5, 1, 999, 3});
        QVERIFY(some);
        QCOMPARE(some->size(), size_t(3));
        QCOMPARE((*some)[0].id, 5);
        QCOMPARE((*some)[1].id, 1);
        QCOMPARE((*some)[2].id, 3);
        QCOMPARE((*some)[1].name, u"O'Brien"_s);
    }

    void writeWholeReplacesOrKeeps()
    {
        ::signal(SIGXFSZ, SIG_IGN);
        test::TempFolder folder;
        auto read = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
        };
        auto entries = [&folder] {
            return QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        };
        QString error;
        QVERIFY(test::noted(LedgerTransfer::writeWhole(folder.file(u"out.csv"_s), "first"), &error));
        QVERIFY(QFile::setPermissions(folder.file(u"out.csv"_s), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(test::noted(LedgerTransfer::writeWhole(u"out.csv"_s, "second"), &error));
        QCOMPARE(read(u"out.csv"_s), "second"_ba);
        QCOMPARE(QFile::permissions(u"out.csv"_s),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QVERIFY(!test::noted(LedgerTransfer::writeWhole(folder.file(u"missing/out.csv"_s), "x"), &error));
        QCOMPARE(error, u"无法在“%1”中创建文件：文件夹不存在。"_s.arg(folder.file(u"missing"_s)));

        // A symbolic link stays; the file it points to is replaced.
        QVERIFY(QDir().mkdir(u"sub"_s));
        QVERIFY(test::noted(LedgerTransfer::writeWhole(u"sub/target.csv"_s, "old"), &error));
        QVERIFY(QFile::link(u"sub/target.csv"_s, u"link.csv"_s));
        QVERIFY(test::noted(LedgerTransfer::writeWhole(u"link.csv"_s, "through the link"), &error));
        QVERIFY(QFileInfo(u"link.csv"_s).isSymLink());
        QCOMPARE(read(u"sub/target.csv"_s), "through the link"_ba);
        QCOMPARE(QFile::decodeName(LedgerTransfer::replacedFile(u"link.csv"_s)), folder.file(u"sub/target.csv"_s));

        // A full disk or a file too large: a Chinese reason, the old file as it was, no temporary file left.
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 4;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const bool written
            = test::noted(LedgerTransfer::writeWhole(u"out.csv"_s, QByteArray(100000, 'x')), &error).ok();
        ::setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!written);
        QCOMPARE(error, u"写入文件失败：文件太大，超出了系统允许的大小。"_s);
        QCOMPARE(read(u"out.csv"_s), "second"_ba);
        QCOMPARE(entries(), (QStringList{u"link.csv"_s, u"out.csv"_s, u"sub"_s}));
        QCOMPARE(systemErrorText(ENOSPC), u"磁盘已满。"_s);
    }
};

QTEST_GUILESS_MAIN(TestLedgerTransfer)
#include "test_ledger_transfer.moc"
