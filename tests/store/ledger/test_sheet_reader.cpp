// Workbooks read into the import's table: .xlsx and .xls saved by a spreadsheet program from the same rows
// import as the same records; hand-made .xlsx parts show cells by reference, shared and inline texts, dates of
// every kind and numbers in full; hostile files are refused with their reason. Also the import's headers:
// title rows above them, the spellings of ledgers kept by hand and two amount columns.

#include "TempFolder.h"
#include "Workbooks.h"

#include "store/ledger/LedgerImport.h"
#include "store/ledger/SheetReader.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

const QString Sheet = u"礼单"_s;

/// The outcome of an import's check, one line for each row: "line:收送|姓名|时间|关系|类型|金额|说明" for a
/// record ("-" for no date or amount), "line:!reason" for a refused row.
QString checkedText(const CsvTable& table)
{
    const LedgerImport::Lists lists{{u"收礼"_s, u"送礼"_s}, {u"朋友"_s}, {u"结婚"_s}};
    const auto checked = LedgerImport::check(table, LedgerImport::guessMapping(table.rows.value(0)), lists, {});
    QMap<qsizetype, QString> lines;
    for (const auto& candidate : checked.candidates) {
        const LedgerRecord& r = candidate.record;
        lines.insert(candidate.line,
                     QStringList{r.direction, r.name, r.time ? r.time->canonical() : u"-"_s, r.relation, r.occasion,
                                 r.amount ? QString::number(*r.amount) : u"-"_s, r.note}
                         .join(u'|'));
    }
    for (const auto& problem : checked.problems)
        lines.insert(problem.line, u'!' + problem.reason);
    QStringList text;
    for (auto i = lines.cbegin(); i != lines.cend(); ++i)
        text << QString::number(i.key()) + u':' + i.value();
    return text.join(u'\n');
}

/// A table as "line:cell|cell|..." lines.
QString tableText(const CsvTable& table)
{
    QStringList text;
    for (qsizetype i = 0; i < table.rows.size(); ++i)
        text << QString::number(table.lines[i]) + u':' + table.rows[i].join(u'|');
    return text.join(u'\n');
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray zipBytes(const QList<ZipEntry>& entries)
{
    TempFolder folder;
    const QString path = folder.file(u"book.xlsx"_s);
    return writeZip(path, entries) ? fileBytes(path) : QByteArray();
}

QByteArray bookBytes(const QByteArray& sheetData, const QList<QByteArray>& strings = {})
{
    return zipBytes(workbookParts({{Sheet, sheetData}}, strings));
}

/// The sheet at index (the last when -1) of the workbook in bytes, or the reason it was refused.
QString readBook(const QByteArray& bytes, int index, QStringList* names = nullptr)
{
    TempFolder folder;
    const QString path = folder.file(u"book"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return u"(not written)"_s;
    file.close();
    const auto book = SheetReader::open(path, SheetReader::formatOf(bytes));
    if (!book)
        return book.errorText();
    if (names)
        *names = (*book)->sheetNames();
    const auto table = (*book)->sheet(index < 0 ? int((*book)->sheetNames().size()) - 1 : index);
    return table ? tableText(*table) : table.errorText();
}

} // namespace

class TestSheetReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void workbooksSavedBySpreadsheetProgramsImportExactly_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("xlsx") << u"xlsx"_s;
        QTest::newRow("xls") << u"xls"_s;
    }
    void workbooksSavedBySpreadsheetProgramsImportExactly()
    {
        QFETCH(QString, format);
        if (officeProgram().isEmpty())
            QSKIP("the office suite (soffice) is not installed: no workbooks to read");
        TempFolder folder;
        const QString csv = folder.file(u"礼单.csv"_s);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // A title above the header; dates as date cells (unquoted) and as texts (quoted); a note that is a
        // number of fifteen digits, and one that is a text of digits.
        file.write("2025年张家婚礼礼单\n"
                   "日期,宾客,礼金,收/送,关系,事由,备注\n"
                   "2025-05-01,张三,200,收礼,朋友,结婚,\"逗号,引号\"\"在内\"\n"
                   "\"2025年5月2日\",李四,50.5,送礼,同事,满月,123456789012345\n"
                   "2025/5/3,王五,,收礼,朋友,生日,\n"
                   ",赵六,0.1,送礼,朋友,结婚,\"007\"\n");
        file.close();
        const QString book = convertWithOffice(csv, format);
        QVERIFY2(!book.isEmpty(), "the office suite did not convert the CSV file");
        const QByteArray bytes = fileBytes(book);
        QCOMPARE(SheetReader::formatOf(bytes),
                 format == u"xlsx" ? SheetReader::Format::Xlsx : SheetReader::Format::Xls);
        const auto reader = SheetReader::open(book, SheetReader::formatOf(bytes));
        QVERIFY2(reader, qPrintable(reader.errorText()));
        QCOMPARE((*reader)->sheetNames(), QStringList{u"礼单"_s});
        auto table = (*reader)->sheet(0);
        QVERIFY2(table, qPrintable(table.errorText()));
        LedgerImport::arrange(*table);
        QCOMPARE(checkedText(*table),
                 u"3:收礼|张三|2025-05-01 00:00:00|朋友|结婚|2000000|逗号,引号\"在内\n"
                 "4:送礼|李四|2025-05-02 00:00:00|同事|满月|505000|123456789012345\n"
                 "5:收礼|王五|2025-05-03 00:00:00|朋友|生日|-|\n"
                 "6:送礼|赵六|-|朋友|结婚|1000|007"_s);
        if (format != u"xls")
            return;
        // The same workbook stating its sheet to be of 65,536 rows and 256 columns: FreeXL would make room for all
        // of them on opening it.
        QByteArray huge = bytes;
        const qsizetype dimensions = huge.indexOf("\x00\x02\x0e\x00"_ba);
        QVERIFY(dimensions > 0);
        const char stated[] = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        huge.replace(dimensions + 4, sizeof stated, stated, sizeof stated);
        const QString hugePath = folder.file(u"huge.xls"_s);
        QFile hugeFile(hugePath);
        QVERIFY(hugeFile.open(QIODevice::WriteOnly) && hugeFile.write(huge) == huge.size());
        hugeFile.close();
        const auto refused = SheetReader::open(hugePath, SheetReader::Format::Xls);
        QVERIFY(!refused);
        QCOMPARE(refused.errorText(), u"工作簿的单元格超过5000000个，不是账目表格。"_s);
    }

    void handMadeWorkbooksRead_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("rows");
        const QByteArray styles
            = "<numFmts count=\"3\">"
              "<numFmt numFmtId=\"164\" formatCode=\"yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;\"/>"
              "<numFmt numFmtId=\"165\" formatCode=\"0.00&quot;元&quot;;[Red]\\-0.00\"/>"
              "<numFmt numFmtId=\"166\" formatCode=\"[$-804]yyyy/m/d\\ h:mm\"/></numFmts>"
              "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs>"
              "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/>"
              "<xf numFmtId=\"165\"/><xf numFmtId=\"166\"/><xf numFmtId=\"20\"/>"
              "<xf numFmtId=\"58\"/></cellXfs>";
        const QByteArray dates = "<row r=\"1\"><c s=\"1\"><v>45778</v></c><c s=\"2\"><v>45779</v></c>"
                                 "<c s=\"3\"><v>200</v></c><c s=\"4\"><v>45778.5</v></c><c s=\"5\"><v>0.75</v></c>"
                                 "<c s=\"1\"><v>60</v></c><c s=\"1\"><v>59</v></c><c s=\"6\"><v>1</v></c>"
                                 "<c s=\"0\"><v>45778</v></c></row>";
        QTest::newRow("cells by reference, gaps filled, texts shared, inline and rich, rows without text left out")
            << bookBytes("<row r=\"2\"><c r=\"B2\" t=\"inlineStr\"><is><r><t>甲</t></r><r><t>乙</t></r></is></c>"
                         "<c r=\"D2\"><v>7</v></c><c r=\"F2\" s=\"0\"/></row>"
                         "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>1</v></c></row>"
                         "<row r=\"5\"><c r=\"C5\" t=\"s\"><v>0</v></c><c r=\"D5\" t=\"s\"><v>1</v></c></row>",
                         {"<r><t>富</t></r><r><t xml:space=\"preserve\">文 本</t></r><rPh><t>ふ</t></rPh>", "<t/>"})
            << u"2:|甲乙||7\n5:||富文 本"_s;
        QTest::newRow("cells and rows without references follow each other; booleans, results, errors, ISO days")
            << bookBytes(
                   "<row><c><v>1</v></c><c t=\"b\"><v>1</v></c><c t=\"str\"><f>A1&amp;\"x\"</f><v>1x</v></c></row>"
                   "<row><c t=\"e\"><v>#N/A</v></c><c t=\"d\"><v>2025-05-01T00:00:00</v></c>"
                   "<c t=\"d\"><v>2025-05-01T08:30:00</v></c></row>")
            << u"1:1|TRUE|1x\n2:#N/A|2025-05-01|2025-05-01 08:30:00"_s;
        QTest::newRow("numbers in full, never with an exponent")
            << bookBytes("<row r=\"1\"><c r=\"A1\"><v>1.2E+17</v></c><c r=\"B1\"><v>0.30000000000000004</v></c>"
                         "<c r=\"C1\"><v>-5E-3</v></c><c r=\"D1\"><v>50.50</v></c><c r=\"E1\"><v>-0</v></c>"
                         "<c r=\"F1\"><v>123456789012345</v></c><c r=\"G1\"><v>-12.5</v></c><c r=\"H1\"><v>007</v></c>"
                         "<c r=\"I1\"><v>1234567890123456</v></c></row>")
            << u"1:120000000000000000|0.3|-0.005|50.5|0|123456789012345|-12.5|7|1234567890123460"_s;
        QTest::newRow("days by built-in, Chinese and custom formats; times; the 1900 leap day that never was")
            << zipBytes(workbookParts({{Sheet, dates}}, {}, styles))
            << u"1:2025-05-01|2025-05-02|200|2025-05-01 12:00:00|18:00:00|1900-02-29|1900-02-28|1900-01-01|45778"_s;
        QTest::newRow("days counted from 1904") << zipBytes(
            workbookParts({{Sheet, "<row><c s=\"1\"><v>0</v></c><c s=\"1\"><v>44316</v></c></row>"}}, {}, styles, true))
                                                << u"1:1904-01-01|2025-05-01"_s;
        QTest::newRow("the chosen one of several sheets")
            << zipBytes(workbookParts({{u"封面"_s, "<row><c t=\"inlineStr\"><is><t>封面</t></is></c></row>"},
                                       {Sheet, "<row><c t=\"inlineStr\"><is><t>礼单</t></is></c></row>"}}))
            << u"1:礼单"_s;
    }
    void handMadeWorkbooksRead()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, rows);
        QStringList names;
        QCOMPARE(readBook(bytes, -1, &names), rows);
        QCOMPARE(names.last(), Sheet);
    }

    void hostileFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QList<ZipEntry> bomb = workbookParts({{Sheet, {}}});
        bomb[0] = {u"xl/worksheets/sheet1.xml"_s, "\x03\x00"_ba, quint64(3) << 30};
        QTest::newRow("zip bomb: a sheet of 3 GiB")
            << zipBytes(bomb)
            << u"工作簿中的“xl/worksheets/sheet1.xml”解压后超过256MB，不是账目表"
               "格（可能是特意构造的有害文件），没有读取。"_s;
        QList<ZipEntry> lying = workbookParts({{Sheet, {}}});
        lying[0] = {u"xl/worksheets/sheet1.xml"_s, QByteArray(100000, ' '), 10};
        QTest::newRow("an entry bigger than it says")
            << zipBytes(lying) << u"工作簿已损坏：无法解压其中的“xl/worksheets/sheet1.xml”。"_s;
        QByteArray wide = "<row r=\"1\">";
        for (int i = 0; i < 1000000; ++i)
            wide += "<c><v>1</v></c>";
        wide += "</row>";
        const QString tooWide = u"工作表“礼单”第1行的列数超过16384，不是账目表格。"_s;
        QTest::newRow("a million columns") << bookBytes(wide) << tooWide;
        QTest::newRow("a cell beyond the last column")
            << bookBytes("<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>") << tooWide;
        QTest::newRow("a row beyond the last") << bookBytes("<row r=\"1048577\"><c><v>1</v></c></row>")
                                               << u"工作表“礼单”的行号“1048577”超出了1到1048576，不是账目表格。"_s;
        QByteArray many;
        for (int i = 1; i <= 400; ++i)
            many += "<row r=\"" + QByteArray::number(i) + "\"><c r=\"XFD" + QByteArray::number(i)
                + "\"><v>1</v></c></row>";
        QTest::newRow("too many cells") << bookBytes(many) << u"工作表“礼单”的单元格超过5000000个，不是账目表格。"_s;
        QTest::newRow("a shared text that does not exist")
            << bookBytes("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>5</v></c></row>", {"<t>甲</t>"})
            << u"工作簿已损坏：工作表“礼单”的单元格A1引用的共享文字（序号5）不存在，工作簿中只有1条。"_s;
        QTest::newRow("a sheet that is no XML") << bookBytes("<row><c><v>1</v></row>")
                                                << u"工作簿已损坏：“xl/worksheets/sheet1.xml”的第1行不是正确的XML。"_s;
        QList<ZipEntry> laughs = workbookParts({{Sheet, "<row><c t=\"s\"><v>0</v></c></row>"}});
        QByteArray entities = "<!ENTITY e0 \"ha\">";
        for (int i = 1; i <= 9; ++i)
            entities += "<!ENTITY e" + QByteArray::number(i) + " \""
                + QByteArray("&e" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
        QCOMPARE(laughs[4].name, u"xl/sharedStrings.xml"_s);
        laughs[4].bytes = "<?xml version=\"1.0\"?><!DOCTYPE sst [" + entities + "]><sst><si><t>&e9;</t></si></sst>";
        QTest::newRow("entities that expand to gigabytes")
            << zipBytes(laughs) << u"工作簿已损坏：“xl/sharedStrings.xml”的第1行不是正确的XML。"_s;
        QTest::newRow("a zip archive that is no workbook")
            << zipBytes({{u"hello.txt"_s, "hello"}}) << u"这个压缩文件不是Excel工作簿（里面没有工作簿的内容）。"_s;
        QTest::newRow("a cut-off archive")
            << bookBytes("<row/>").first(200) << u"文件已损坏：不是完整的zip压缩文件，也就不是xlsx工作簿。"_s;
        QTest::newRow("a workbook with a password")
            << encryptedWorkbook()
            << u"工作簿已加密（设有打开密码），无法读取。请在表格程序中去掉密码另存一份，再导入那一份。"_s;
        QList<ZipEntry> locked = workbookParts({{Sheet, "<row><c><v>1</v></c></row>"}});
        locked[0].password = "secret";
        QTest::newRow("a sheet packed with a password")
            << zipBytes(locked)
            << u"工作簿已加密（设有打开密码），无法读取。请在表格程序中去掉密码另存一份，再导入那一份。"_s;
        QByteArray compound("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
        compound.resize(2048, '\x11');
        QTest::newRow("a broken compound document")
            << compound << u"无法读取这个xls工作簿：文件已损坏，或不是Excel工作簿。"_s;
        QTest::newRow("an empty sheet") << bookBytes("<row r=\"1\"><c r=\"A1\"/></row>") << u"工作表“礼单”是空的。"_s;
        QTest::newRow("a sheet of empty shared texts")
            << bookBytes("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>", {"<t/>"}) << u"工作表“礼单”是空的。"_s;
    }
    void hostileFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QVERIFY(!bytes.isEmpty());
        QVERIFY(SheetReader::formatOf(bytes) != SheetReader::Format::Text);
        QCOMPARE(readBook(bytes, 0), reason);
    }

    void numbersAndDays()
    {
        const std::pair<double, const char16_t*> numbers[] = {{1.2e17, u"120000000000000000"},
                                                              {-5e-5, u"-0.00005"},
                                                              {0.1 + 0.2, u"0.3"},
                                                              {200, u"200"},
                                                              {1e-20, u"0.00000000000000000001"},
                                                              {-0.0, u"0"},
                                                              {123456789.125, u"123456789.125"}};
        for (const auto& [value, text] : numbers)
            QCOMPARE(SheetReader::plainNumber(value), QString::fromUtf16(text));
        const std::tuple<double, bool, const char16_t*> days[] = {{1, false, u"1900-01-01"},
                                                                  {61, false, u"1900-03-01"},
                                                                  {45778, false, u"2025-05-01"},
                                                                  {0, true, u"1904-01-01"},
                                                                  {45778.999999, false, u"2025-05-02"},
                                                                  {2958465, false, u"9999-12-31"},
                                                                  {2958466, false, u""},
                                                                  {-1, false, u""},
                                                                  {0, false, u"1899-12-31"},
                                                                  {59.75, false, u"1900-02-28 18:00:00"},
                                                                  {60, false, u"1900-02-29"},
                                                                  {45778.5215625, false, u"2025-05-01 12:31:03"},
                                                                  {1.25, true, u"1904-01-02 06:00:00"}};
        for (const auto& [serial, from1904, text] : days)
            QCOMPARE(SheetReader::dayText(serial, from1904), QString::fromUtf16(text));
    }

    void headersTitleRowsAndTwoAmountColumns_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("records");
        QTest::newRow("title rows and a blank line above the header")
            << "2025年张家婚礼礼单\n\n制表：张,2025年5月\n日期,名字,钱数,收送,关系,类型,说明\n2025-5-1,甲,200,收礼,朋友,结婚,\n"_ba
            << u"5:收礼|甲|2025-05-01 00:00:00|朋友|结婚|2000000|"_s;
        QTest::newRow("the other spellings")
            << "时间,宾客,礼金,收／送,关系,事由,备注\n2025-5-1,甲,1,送礼,朋友,结婚,x\n"_ba
            << u"2:送礼|甲|2025-05-01 00:00:00|朋友|结婚|10000|x"_s;
        QTest::newRow("a title that names one field is no header")
            << "备注\n姓名,收/送,关系,类型\n甲,收礼,朋友,结婚\n"_ba << u"3:收礼|甲|-|朋友|结婚|-|"_s;
        QTest::newRow("two amount columns: the filled one gives the direction")
            << "日期,姓名,收礼,送礼,关系,类型\n2025-5-1,甲,200,,朋友,结婚\n2025-5-2,乙,,50,朋友,结婚\n"
               "2025-5-3,丙,1,2,朋友,结婚\n2025-5-4,丁,,,朋友,结婚\n"_ba
            << u"2:收礼|甲|2025-05-01 00:00:00|朋友|结婚|2000000|\n3:送礼|乙|2025-05-02 00:00:00|朋友|结婚|500000|\n"
               "4:!收送“收礼和送礼”不对（须为收礼或送礼）。\n5:!没有收送（须为收礼或送礼）。"_s;
        QTest::newRow("no header: the table stays as it is")
            << "甲,收礼\n乙,送礼\n"_ba << u"1:!没有收送（须为收礼或送礼）。\n2:!没有收送（须为收礼或送礼）。"_s;
    }
    void headersTitleRowsAndTwoAmountColumns()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QString, records);
        auto table = CsvTable::parse(csv, nullptr);
        QVERIFY(table);
        LedgerImport::arrange(*table);
        QCOMPARE(checkedText(*table), records);
    }
};

QTEST_APPLESS_MAIN(TestSheetReader)
#include "test_sheet_reader.moc"
