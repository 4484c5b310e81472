// A report table saved as an Excel workbook: each kind of cell as a spreadsheet reads it back, the file asked
// for through the file dialog, and a cancel or failure that writes nothing.

#include "GuiSupport.h"
#include "Noted.h"
#include "TempFolder.h"
#include "XlsxRead.h"

#include "windows/common/FileChooser.h"
#include "windows/common/TableExport.h"
#include "windows/common/TableXlsx.h"

#include <QDir>
#include <QStandardItemModel>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

/// A cell of a report as its window makes it: the text shown, and the exact value for files or the plain value
/// for sorting when it has one.
QStandardItem* item(const QString& shown, const QVariant& exported = {}, const QVariant& plain = {})
{
    auto* cell = new QStandardItem(shown);
    if (exported.isValid())
        cell->setData(exported, TableExport::ExportRole);
    if (plain.isValid())
        cell->setData(plain, Qt::UserRole);
    return cell;
}

QString described(const XlsxCell& cell)
{
    switch (cell.kind) {
    case XlsxCell::Empty:
        return u"empty"_s;
    case XlsxCell::Text:
        return u"text:"_s + cell.value;
    case XlsxCell::Number:
        break;
    }
    return u"number:%1|%2"_s.arg(QString::number(cell.value.toDouble(), 'g', 15), cell.format);
}

} // namespace

class TestTableXlsx : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { FileChooser::startRecording(); }
    void cleanup() { FileChooser::stopRecording(); }

    void everyKindOfCellReadsBack_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QVariant>("exported"); // TableExport::ExportRole
        QTest::addColumn<QVariant>("plain"); // Qt::UserRole
        QTest::addColumn<QString>("read");
        const auto row = [](const char* name, const QString& shown, const QVariant& exported, const QVariant& plain,
                            const QString& read) { QTest::newRow(name) << shown << exported << plain << read; };
        const QString yuan = u"\"￥\"#,##0.00"_s;
        row("a name of digits stays text", u"0012"_s, QVariant(), QVariant(u"0012"_s), u"text:0012"_s);
        row("an ID number stays text", u"110101199003077777"_s, QVariant(), QVariant(), u"text:110101199003077777"_s);
        row("a formula-like text stays text", u"=1+1"_s, QVariant(), QVariant(), u"text:=1+1"_s);
        row("an amount", u"￥1,234.50"_s, QVariant(u"1234.50"_s), QVariant(qint64(12345000)),
            u"number:1234.5|"_s + yuan);
        row("a negative amount", u"-￥500.00"_s, QVariant(u"-500.00"_s), QVariant(), u"number:-500|"_s + yuan);
        row("an amount with parts of a fen", u"￥12.3456"_s, QVariant(u"12.3456"_s), QVariant(),
            u"number:12.3456|\"￥\"#,##0.0000"_s);
        row("a sum beyond any amount stays its exact text", u"￥123,456,789,012,345,678,901.00"_s,
            QVariant(u"123456789012345678901.00"_s), QVariant(), u"text:123456789012345678901.00"_s);
        row("a date", u"2026年12月8日"_s, QVariant(u"2026-12-08"_s), QVariant(QDate(2026, 12, 8)),
            u"number:46364|yyyy\"年\"m\"月\"d\"日\""_s);
        row("a count", u"3"_s, QVariant(), QVariant(3), u"number:3|General"_s);
        row("a count beyond an int", u"5000000000"_s, QVariant(), QVariant(qint64(5000000000)),
            u"number:5000000000|General"_s);
        row("a text with a number underneath is the text", u"无日期"_s, QVariant(), QVariant(0), u"text:无日期"_s);
        row("an empty cell", QString(), QVariant(), QVariant(), u"empty"_s);
    }
    void everyKindOfCellReadsBack()
    {
        QFETCH(QString, shown);
        QFETCH(QVariant, exported);
        QFETCH(QVariant, plain);
        QFETCH(QString, read);
        TempFolder folder;
        QStandardItemModel model(0, 2);
        model.setHorizontalHeaderLabels({u"姓名"_s, u"值"_s});
        model.appendRow({item(u"甲"_s), item(shown, exported, plain)});
        const QString path = folder.file(u"往来汇总.xlsx"_s);
        QString error;
        QVERIFY2(test::noted(TableXlsx::writeXlsx(model, path), &error), qPrintable(error));
        const XlsxSheet sheet = readXlsxSheet(path);
        QCOMPARE(sheet.rows.size(), 2);
        QCOMPARE(described(sheet.rows[0].value(1)), u"text:值"_s);
        QCOMPARE(described(sheet.rows[1].value(1)), read);
        QVERIFY(sheet.xml.contains("state=\"frozen\""));
        const QByteArray book = unzip(path).value(u"xl/workbook.xml"_s);
        QVERIFY2(book.contains("name=\"往来汇总\""), book.constData());
    }

    void asksForTheFileAndTellsAFailure_data()
    {
        QTest::addColumn<QString>("answer"); // empty: cancelled
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("box"); // %1: the temporary folder
        QTest::newRow("saved, the suffix added") << u"表"_s << true << QString();
        QTest::newRow("cancelled") << QString() << false << QString();
        QTest::newRow("a folder that is not there")
            << u"missing/表.xlsx"_s << false << u"保存Excel文件失败：\n无法在“%1/missing”中创建文件：文件夹不存在。"_s;
    }
    void asksForTheFileAndTellsAFailure()
    {
        QFETCH(QString, answer);
        QFETCH(bool, saved);
        QFETCH(QString, box);
        TempFolder folder;
        BoxRecorder boxes;
        QStandardItemModel model(0, 1);
        model.setHorizontalHeaderLabels({u"姓名"_s});
        model.appendRow(item(u"甲"_s));
        FileChooser::setNextAnswer(answer.isEmpty() ? QString() : folder.file(answer));
        QCOMPARE(TableXlsx::saveXlsx(model, u"往来汇总-20261208.xlsx"_s), saved);
        const FileChooser::Request request = FileChooser::requests().value(0);
        QVERIFY(request.save);
        QCOMPARE(request.caption, u"保存为Excel文件"_s);
        QCOMPARE(request.suggested, u"往来汇总-20261208.xlsx"_s);
        QCOMPARE(request.filter, u"Excel 工作簿 (*.xlsx)"_s);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 saved ? QStringList{u"表.xlsx"_s} : QStringList());
        if (saved)
            QCOMPARE(readXlsxSheet(folder.file(u"表.xlsx"_s)).rows.value(1).value(0).value, u"甲"_s);
        QCOMPARE(boxes.count(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            QCOMPARE(boxes.last().text, box.arg(folder.path()));
            QCOMPARE(boxes.last().title, u"错误"_s);
            QCOMPARE(boxes.last().icon, MessageBox::Stop);
        }
    }
};

QTEST_MAIN(TestTableXlsx)
#include "test_table_xlsx.moc"
