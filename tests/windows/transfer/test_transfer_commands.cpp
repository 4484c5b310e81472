// The grid's transfer commands over a real ledger file: CSV export of the whole ledger or the rows shown, the
// import with its mapping, review, new list entries and progress, hostile files, backups now and at the end of a
// session, and the restore. File dialogs and message boxes are answered through their seams.

#include "GuiSupport.h"
#include "Noted.h"
#include "TempFolder.h"
#include "TestHost.h"
#include "Workbooks.h"
#include "XlsxRead.h"

#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/ledger/PrivateLedger.h"
#include "windows/common/FileChooser.h"
#include "windows/ledger/GridCommands.h"
#include "windows/ledger/MainWindow.h"
#include "windows/ledger/PasswordWindow.h"
#include "windows/transfer/BackupListWindow.h"
#include "windows/transfer/ImportMappingWindow.h"
#include "windows/transfer/TransferCommands.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QStringEncoder>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

const QDateTime Now(QDate(2026, 5, 20), QTime(10, 30, 0));

/// Answers file dialogs from a queue while it lives.
class FileAnswers
{
public:
    FileAnswers() { FileChooser::startRecording(); }
    ~FileAnswers() { FileChooser::stopRecording(); }
    void answer(const QString& path, const QString& chosenFilter = QString())
    {
        FileChooser::setNextAnswer(path, chosenFilter);
    }
};

/// Runs each step on the dialog of that objectName once it is shown, while opener() runs. A dialog that no step
/// expects is rejected and noted, so that a test that goes wrong fails instead of hanging.
struct DialogSteps
{
    using Step = std::pair<QString, std::function<void(QDialog*)>>;
    QList<Step> steps;
    int stepsRun = 0;
    QStringList unexpected;

    void run(const std::function<void()>& opener)
    {
        QTimer timer;
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { tick(); });
        timer.start();
        opener();
        timer.stop();
    }

private:
    void tick()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (!dialog || !dialog->isVisible() || qobject_cast<QProgressDialog*>(dialog))
                continue;
            if (stepsRun < steps.size() && dialog->objectName() == steps[stepsRun].first) {
                steps[stepsRun++].second(dialog);
            } else {
                unexpected << dialog->objectName();
                dialog->reject();
            }
            return;
        }
    }
};

void click(QDialog* dialog, const QString& button)
{
    findControl<QPushButton>(dialog, button)->click();
}

LedgerRecord record(const QString& direction, const QString& name, const QString& date, qint64 amount,
                    const QString& relation = u"朋友"_s, const QString& kind = u"结婚"_s)
{
    LedgerRecord r;
    r.direction = direction;
    r.name = name;
    r.time = JetDateTime::parse(date);
    r.relation = relation;
    r.occasion = kind;
    r.amount = amount;
    return r;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList namesIn(EngineConnection& engine)
{
    QStringList names;
    const auto records = LedgerTransfer::readAll(engine);
    for (const LedgerRecord& r : records.valueOr({}))
        names << r.name;
    names.sort();
    return names;
}

QStringList backupNames()
{
    QStringList names;
    for (const auto& backup : LedgerBackup::list(LedgerBackup::folderOf(LedgerFile::name())))
        names << QFileInfo(backup.path).fileName();
    return names;
}

} // namespace

class TestTransferCommands : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempFolder> m_folder;
    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<BoxRecorder> m_boxes;
    std::unique_ptr<FileAnswers> m_files;

    EngineConnection& engine() { return *m_host->connection.engine(); }
    void add(const std::vector<LedgerRecord>& records)
    {
        QVERIFY(LedgerImport::write(engine(), records, {}, {}, {}));
        m_host->ledgerRefill();
    }
    void checkBox(const MessageBox::Record& box, const QString& text, const QString& title, MessageBox::Icon icon,
                  MessageBox::Buttons buttons = MessageBox::OkOnly)
    {
        QCOMPARE(box.text, text);
        QCOMPARE(box.title, title);
        QCOMPARE(box.icon, icon);
        QCOMPARE(box.buttons, buttons);
    }

private Q_SLOTS:
    void initTestCase() { ::signal(SIGXFSZ, SIG_IGN); }

    void init()
    {
        Program::setNow(Now);
        m_folder = std::make_unique<TempFolder>();
        // As the session's start does: the ledger's changes count from here.
        LedgerBackup::watchChanges(LedgerFile::name());
        m_host = std::make_unique<TestHost>();
        QVERIFY(m_host->createAndConnect());
        m_boxes = std::make_unique<BoxRecorder>();
        m_files = std::make_unique<FileAnswers>();
    }

    void cleanup()
    {
        m_files.reset();
        m_boxes.reset();
        m_host.reset();
        m_folder.reset();
        Program::setNow(std::nullopt);
    }

    void gridCommandsAndTheirKeys()
    {
        QStringList rows;
        for (const GridCommand& command : gridCommands()) {
            if (command.name == u"导出CSV"_s || command.name == u"导入CSV/Excel"_s || command.name == u"立即备份"_s
                || command.name == u"从备份恢复"_s)
                rows << command.name + u'|' + command.caption + u'|' + command.shortcut.toString();
        }
        QCOMPARE(rows,
                 (QStringList{u"导出CSV|导出CSV|Ctrl+E"_s, u"导入CSV/Excel|导入CSV/Excel|Ctrl+I"_s,
                              u"立即备份|立即备份|Ctrl+B"_s, u"从备份恢复|从备份恢复|Ctrl+Shift+B"_s}));
    }

    void mainWindowOffersTheCommandsInItsGridMenu()
    {
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1)});
        m_host.reset(); // the main window opens the ledger with objects of its own
        auto* window = new MainWindow;
        QPointer<MainWindow> main(window);
        window->setStartupStep([window] {
            DatabaseObjects db = window->database();
            return db.connection.connect(LedgerFile::name(), LedgerFile::password())
                && db.recordSet.bind(&db.connection)
                && db.external.connect(LedgerFile::name(), QString(), LedgerFile::password());
        });
        window->openModeless();
        QMenu* menu = gridContextMenu(*window);
        QStringList names;
        for (QAction* action : menu->actions())
            names << action->objectName();
        delete menu;
        for (const QString& name : {u"导出CSV"_s, u"导入CSV/Excel"_s, u"立即备份"_s, u"从备份恢复"_s})
            QVERIFY2(names.contains(name), qPrintable(name));
        auto* backup = window->findChild<QAction*>(u"立即备份"_s);
        QVERIFY(backup);
        QCOMPARE(backup->shortcut(), QKeySequence(u"Ctrl+B"_s));
        backup->trigger();
        QCOMPARE(m_boxes->last().title, u"立即备份"_s);
        QCOMPARE(backupNames(), QStringList{u"lgbk-20260520-103000.xc"_s});
        QCOMPARE(
            LedgerBackup::countRecords(LedgerBackup::list(u"备份"_s).front().path, LedgerFile::password()).optional(),
            1);
        delete main.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void exportsTheWholeLedger()
    {
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 2000000), record(u"送礼"_s, u"=乙"_s, u"2012-1-1"_s, 6660)});
        const QString path = m_folder->file(u"账目.csv"_s);
        m_files->answer(path);
        TransferCommands::exportCsv(*m_host);
        QCOMPARE(m_boxes->count(), 1);
        checkBox(m_boxes->last(), u"已导出2条账目到\n"_s + path, u"导出CSV"_s, MessageBox::Information);
        QCOMPARE(readFile(path), LedgerTransfer::csv(*LedgerTransfer::readAll(engine())));
        QVERIFY(readFile(path).contains("'=乙"));
        const auto request = FileChooser::requests().value(0);
        QVERIFY(request.save);
        QCOMPARE(request.caption, u"导出CSV"_s);
        QCOMPARE(request.suggested, u"人情账目-20260520.csv"_s);
        QCOMPARE(QDir(m_folder->path()).entryList({u"*.csv*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"账目.csv"_s});
    }

    void exportsTheRowsShownOrAll_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("yes: the rows shown") << int(MessageBox::Yes) << QStringList{u"乙"_s};
        QTest::newRow("no: all") << int(MessageBox::No) << QStringList{u"丙"_s, u"乙"_s, u"甲"_s};
        QTest::newRow("cancel: nothing") << int(MessageBox::Cancel) << QStringList();
    }
    void exportsTheRowsShownOrAll()
    {
        QFETCH(int, answer);
        QFETCH(QStringList, names);
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1), record(u"收礼"_s, u"乙"_s, u"2011-6-3"_s, 2),
             record(u"收礼"_s, u"丙"_s, u"2011-6-4"_s, 3)});
        // A search left one record in the grid.
        LedgerGrid& grid = m_host->grid();
        grid.prepare();
        LedgerRow row;
        row.id = 2;
        row.name = u"乙"_s;
        grid.appendRow(row);
        const QString path = m_folder->file(u"out.csv"_s);
        m_files->answer(path);
        m_boxes->answer(MessageBox::Answer(answer));
        TransferCommands::exportCsv(*m_host);
        const MessageBox::Record question = m_boxes->shown().value(0);
        checkBox(question, u"表格中显示了1条账目，账本中共有3条。\n是：只导出表格中显示的1条；否：导出全部3条。"_s,
                 u"导出CSV"_s, MessageBox::Question, MessageBox::YesNoCancel);
        QCOMPARE(question.defaultButton, MessageBox::Yes);
        if (names.isEmpty()) {
            QVERIFY(FileChooser::requests().isEmpty());
            QVERIFY(!QFile::exists(path));
            return;
        }
        const auto table = CsvTable::parse(readFile(path), nullptr);
        QVERIFY(table);
        QStringList exported;
        for (qsizetype i = 1; i < table->rows.size(); ++i)
            exported << table->rows[i][1];
        exported.sort();
        QCOMPARE(exported, names);
    }

    void failedExportKeepsTheOldFile()
    {
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1)});
        m_files->answer(m_folder->file(u"missing/out.csv"_s));
        TransferCommands::exportCsv(*m_host);
        // There was no file before: nothing is said about one.
        checkBox(m_boxes->last(),
                 u"导出失败，没有写入文件：\n无法在“%1”中创建文件：文件夹不存在。"_s.arg(m_folder->file(u"missing"_s)),
                 u"导出CSV"_s, MessageBox::Stop);

        // A full disk: the file that was there stays as it was, and no temporary file is left.
        const QString path = m_folder->file(u"old.csv"_s);
        writeFile(path, "old content");
        add(std::vector<LedgerRecord>(2000, record(u"收礼"_s, u"乙"_s, u"2011-6-2"_s, 1)));
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &small);
        m_files->answer(path);
        m_boxes->answer(MessageBox::Yes); // replace old.csv
        TransferCommands::exportCsv(*m_host);
        ::setrlimit(RLIMIT_FSIZE, &old);
        // In Chinese throughout, with the true reason.
        checkBox(m_boxes->last(), u"导出失败，原有的文件没有改变：\n写入文件失败：文件太大，超出了系统允许的大小。"_s,
                 u"导出CSV"_s, MessageBox::Stop);
        QCOMPARE(readFile(path), "old content"_ba);
        QCOMPARE(QDir(m_folder->path()).entryList({u"old.csv*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"old.csv"_s});
    }

    void exportWritesTheTypeOfTheChosenName_data()
    {
        QTest::addColumn<bool>("excelCommand");
        QTest::addColumn<QString>("answer"); // the name typed
        QTest::addColumn<QString>("chosenFilter"); // empty: the dialog's first
        QTest::addColumn<QString>("written");
        const QString excel = u"Excel工作簿 (*.xlsx)"_s;
        const QString csv = u"CSV文件 (*.csv)"_s;
        QTest::newRow("导出Excel, a workbook's name") << true << u"账目.xlsx"_s << QString() << u"账目.xlsx"_s;
        QTest::newRow("导出Excel, no suffix: the workbook offered first")
            << true << u"账目"_s << QString() << u"账目.xlsx"_s;
        QTest::newRow("导出Excel, CSV chosen") << true << u"账目"_s << csv << u"账目.csv"_s;
        QTest::newRow("导出Excel, a CSV name") << true << u"账目.csv"_s << QString() << u"账目.csv"_s;
        QTest::newRow("导出CSV, no suffix: CSV offered first") << false << u"账目"_s << QString() << u"账目.csv"_s;
        QTest::newRow("导出CSV, the workbook chosen") << false << u"账目"_s << excel << u"账目.xlsx"_s;
        QTest::newRow("导出CSV, a workbook's name in capitals")
            << false << u"账目.XLSX"_s << QString() << u"账目.XLSX"_s;
    }
    void exportWritesTheTypeOfTheChosenName()
    {
        QFETCH(bool, excelCommand);
        QFETCH(QString, answer);
        QFETCH(QString, chosenFilter);
        QFETCH(QString, written);
        add({record(u"收礼"_s, u"0012"_s, u"2011-6-2"_s, 123456), record(u"送礼"_s, u"=乙"_s, u"2012-1-1"_s, 6660)});
        m_files->answer(m_folder->file(answer), chosenFilter);
        if (excelCommand)
            TransferCommands::exportExcel(*m_host);
        else
            TransferCommands::exportCsv(*m_host);
        const QString title = excelCommand ? u"导出Excel"_s : u"导出CSV"_s;
        const QString path = m_folder->file(written);
        QCOMPARE(m_boxes->count(), 1);
        checkBox(m_boxes->last(), u"已导出2条账目到\n"_s + path, title, MessageBox::Information);
        const auto request = FileChooser::requests().value(0);
        QCOMPARE(request.caption, title);
        QCOMPARE(request.suggested, excelCommand ? u"人情账目-20260520.xlsx"_s : u"人情账目-20260520.csv"_s);
        QCOMPARE(request.filter,
                 excelCommand ? u"Excel工作簿 (*.xlsx);;CSV文件 (*.csv)"_s
                              : u"CSV文件 (*.csv);;Excel工作簿 (*.xlsx)"_s);
        QCOMPARE(QDir(m_folder->path()).entryList({u"账目*"_s}, QDir::Files | QDir::Hidden), QStringList{written});
        if (!written.endsWith(u".xlsx"_s, Qt::CaseInsensitive)) {
            QCOMPARE(readFile(path), LedgerTransfer::csv(*LedgerTransfer::readAll(engine())));
            return;
        }
        // Newest first, texts as text, the amount a number.
        const XlsxSheet sheet = readXlsxSheet(path);
        QCOMPARE(sheet.rows.size(), 3);
        QCOMPARE(sheet.rows[1][1].value, u"=乙"_s);
        QCOMPARE(sheet.rows[2][1].kind, XlsxCell::Text);
        QCOMPARE(sheet.rows[2][1].value, u"0012"_s);
        QCOMPARE(sheet.rows[2][5].kind, XlsxCell::Number);
        QCOMPARE(sheet.rows[2][5].value, u"12.3456"_s);
    }

    void workbookExportCancelledOrFailedKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("icon");
        QTest::newRow("cancelled in its progress dialog")
            << true << u"导出已取消，原有的文件没有改变。"_s << int(MessageBox::Information);
        QTest::newRow("a file too large for the system")
            << false << u"导出失败，原有的文件没有改变：\n写入文件失败：文件太大，超出了系统允许的大小。"_s
            << int(MessageBox::Stop);
    }
    void workbookExportCancelledOrFailedKeepsTheOldFile()
    {
        QFETCH(bool, cancel);
        QFETCH(QString, text);
        QFETCH(int, icon);
        add(std::vector<LedgerRecord>(5000, record(u"收礼"_s, u"乙"_s, u"2011-6-2"_s, 1)));
        const QString path = m_folder->file(u"old.xlsx"_s);
        writeFile(path, "old content");
        m_files->answer(path);
        m_boxes->answer(MessageBox::Yes); // replace old.xlsx
        bool sawProgress = false;
        QTimer watch;
        watch.setInterval(0);
        QObject::connect(&watch, &QTimer::timeout, &watch, [&sawProgress, cancel] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* p = qobject_cast<QProgressDialog*>(w); p && p->objectName() == u"导出进度"_s) {
                    sawProgress = sawProgress || p->windowTitle() == u"导出Excel"_s;
                    if (cancel)
                        p->cancel();
                }
            }
        });
        watch.start();
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = cancel ? old.rlim_cur : 16384;
        ::setrlimit(RLIMIT_FSIZE, &small);
        TransferCommands::exportExcel(*m_host);
        ::setrlimit(RLIMIT_FSIZE, &old);
        watch.stop();
        QVERIFY(sawProgress);
        checkBox(m_boxes->last(), text, u"导出Excel"_s, MessageBox::Icon(icon));
        QCOMPARE(readFile(path), "old content"_ba);
        QCOMPARE(QDir(m_folder->path()).entryList({u"old.xlsx*"_s, u".old.xlsx*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{u"old.xlsx"_s});
    }

    void importReviewsSkipsDuplicatesAndAddsNewEntries()
    {
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 2000000)});
        const QString path = m_folder->file(u"in.csv"_s);
        writeFile(path,
                  "收送,姓名,时间,关系,类型,金额,说明\r\n"
                  "收礼,甲,2011-06-02,朋友,结婚,200,same as the ledger\r\n"
                  "送礼,乙,2012-01-01,邻居,满月,50.5,\r\n"
                  "送礼,丙,2012-01-02,朋友,结婚,五十,\r\n"
                  "收礼,丁,,同事,生日,,no date or amount\r\n");
        m_files->answer(path);
        const QString problems = m_folder->file(u"errors.csv"_s);
        m_files->answer(problems);
        DialogSteps steps;
        QString summary;
        int problemRows = -1, duplicateRows = -1;
        QString newEntries;
        steps.steps = {{u"导入检查窗口"_s, [&](QDialog* d) {
                            summary = findControl<QLabel>(d, u"摘要标签"_s)->text();
                            problemRows = findControl<QTableWidget>(d, u"错误表"_s)->rowCount();
                            QCOMPARE(findControl<QTableWidget>(d, u"错误表"_s)->item(0, 0)->text(), u"4"_s);
                            duplicateRows = findControl<QTableWidget>(d, u"重复表"_s)->rowCount();
                            newEntries = findControl<QLabel>(d, u"新条目标签"_s)->text();
                            click(d, u"保存错误行按钮"_s);
                            click(d, u"导入按钮"_s);
                        }}};
        m_boxes->answer(MessageBox::Ok); // the saved rows
        m_boxes->answer(MessageBox::Yes); // the new entries
        const int refills = m_host->refills;
        steps.run([this] { TransferCommands::importCsv(*m_host); });
        QCOMPARE(steps.unexpected, QStringList());
        QCOMPARE(steps.stepsRun, 1);
        QCOMPARE(
            summary,
            u"可以导入3条账目，其中1条与账本中已有的账目相同（收送、姓名、日期和金额都相同）；1行有错误，不能导入。"_s);
        QCOMPARE(problemRows, 1);
        QCOMPARE(duplicateRows, 1);
        QCOMPARE(newEntries, u"列表中还没有的关系：邻居\n列表中还没有的类型：满月"_s);

        const QList<MessageBox::Record> shown = m_boxes->shown();
        QCOMPARE(shown.size(), 3);
        checkBox(shown[0], u"已把1行有错误的账目保存到\n%1\n改正后可以再次导入。"_s.arg(problems), u"保存错误行"_s,
                 MessageBox::Information);
        checkBox(shown[1], u"以下条目还不在列表中，导入时将加入列表：\n关系：邻居\n类型：满月\n要继续导入吗？"_s,
                 u"导入CSV/Excel"_s, MessageBox::Question, MessageBox::YesNo);
        checkBox(shown[2], u"已导入2条账目。"_s, u"导入CSV/Excel"_s, MessageBox::Information);
        QCOMPARE(namesIn(engine()), (QStringList{u"丁"_s, u"乙"_s, u"甲"_s}));
        QCOMPARE(LedgerTransfer::listEntries(engine(), u"关系"_s)->last(), u"邻居"_s);
        QCOMPARE(m_host->refills, refills + 1);
        QCOMPARE(m_host->grid().rowCount(), LedgerGrid::FixedRows + 3);
        const auto saved = CsvTable::parse(readFile(problems), nullptr);
        QVERIFY(saved);
        QCOMPARE(saved->rows.size(), 2);
        QCOMPARE(saved->rows[1].last(), u"第4行：金额“五十”不是正确的数字。"_s);
    }

    void importKeepsDuplicatesOrStopsAtNewEntries_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<int>("newEntriesAnswer");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("duplicates kept") << true << int(MessageBox::Yes) << QStringList{u"乙"_s, u"甲"_s, u"甲"_s};
        QTest::newRow("no to new entries: nothing, and said so")
            << false << int(MessageBox::No) << QStringList{u"甲"_s};
    }
    void importKeepsDuplicatesOrStopsAtNewEntries()
    {
        QFETCH(bool, keep);
        QFETCH(int, newEntriesAnswer);
        QFETCH(QStringList, names);
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 2000000)});
        const QString path = m_folder->file(u"in.csv"_s);
        writeFile(
            path,
            "收送,姓名,时间,关系,类型,金额,说明\n收礼,甲,2011-06-02,朋友,结婚,200,\n送礼,乙,2012-01-01,邻居,满月,1,\n");
        m_files->answer(path);
        DialogSteps steps;
        steps.steps = {{u"导入检查窗口"_s, [keep](QDialog* d) {
                            findControl<QCheckBox>(d, u"保留重复框"_s)->setChecked(keep);
                            click(d, u"导入按钮"_s);
                        }}};
        m_boxes->answer(MessageBox::Answer(newEntriesAnswer));
        steps.run([this] { TransferCommands::importCsv(*m_host); });
        QCOMPARE(steps.stepsRun, 1);
        QCOMPARE(namesIn(engine()), names);
        QCOMPARE(LedgerTransfer::listEntries(engine(), u"关系"_s)->size(), keep ? 6 : 5);
        checkBox(m_boxes->last(), keep ? u"已导入2条账目。"_s : u"没有导入任何账目。"_s, u"导入CSV/Excel"_s,
                 MessageBox::Information);
    }

    void hostileFilesImportNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << QByteArray() << u"文件是空的。"_s;
        QTest::newRow("NUL") << "收送,姓名\n收礼,\0\n"_ba << u"文件含有空字符（NUL），不是文本格式的CSV文件。"_s;
        QTest::newRow("broken quoting") << "收送,姓名,时间,关系,类型,金额,说明\n收礼,\"甲,2011-1-1,朋友,结婚,1,\n"_ba
                                        << u"第2行开始的引号没有结束。"_s;
        QTest::newRow("100,000 columns") << QByteArray(100000, ',') << u"第1行的列数超过1000，不是账目表格。"_s;
        QByteArray binary;
        for (int i = 0; i < 65536; ++i)
            binary += char((i * 131 + 7) % 256);
        QTest::newRow("binary") << binary << u"文件含有空字符（NUL），不是文本格式的CSV文件。"_s;
    }
    void hostileFilesImportNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1)});
        const QString path = m_folder->file(u"bad.csv"_s);
        writeFile(path, bytes);
        m_files->answer(path);
        DialogSteps steps;
        steps.run([this] { TransferCommands::importCsv(*m_host); });
        QCOMPARE(steps.unexpected, QStringList());
        QCOMPARE(m_boxes->count(), 1);
        checkBox(m_boxes->last(), u"无法导入“bad.csv”，没有导入任何账目：\n"_s + reason, u"导入CSV/Excel"_s,
                 MessageBox::Stop);
        QCOMPARE(namesIn(engine()), QStringList{u"甲"_s});
    }

    void workbooksAndMisnamedFilesImport_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("names");
        auto text = [](const QByteArray& t) { return "<c t=\"inlineStr\"><is><t>" + t + "</t></is></c>"; };
        const QByteArray sheet = "<row r=\"1\">" + text("2025年张家婚礼礼单") + "</row><row r=\"2\">" + text("日期")
            + text("姓名") + text("礼金") + text("收送") + text("关系") + text("事由")
            + "</row><row r=\"3\"><c s=\"1\">" + "<v>45778</v></c>" + text("乙") + "<c><v>200</v></c>" + text("收礼")
            + text("朋友") + text("结婚") + "</row>";
        TempFolder scratch;
        const QString book = scratch.file(u"book.xlsx"_s);
        QVERIFY(writeZip(book,
                         workbookParts({{u"封面"_s, "<row>" + text("封面") + "</row>"}, {u"礼单"_s, sheet}}, {},
                                       "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs>")));
        const QByteArray workbook = readFile(book);
        QTest::newRow("the second of two sheets, its title row skipped")
            << u"礼单.xlsx"_s << workbook << QStringList{u"sheet 1"_s, u"mapping 3,1,0,4,5,2,-1"_s, u"review"_s}
            << u"已导入1条账目。"_s << QStringList{u"乙"_s, u"甲"_s};
        QTest::newRow("the choice of a sheet cancelled")
            << u"礼单.xlsx"_s << workbook << QStringList{u"sheet cancel"_s} << QString() << QStringList{u"甲"_s};
        QTest::newRow("a CSV file named .xlsx is read as CSV")
            << u"礼单.xlsx"_s << "收送,姓名,时间,关系,类型,金额,说明\n送礼,丙,2012-01-01,朋友,结婚,1,\n"_ba
            << QStringList{u"review"_s} << u"已导入1条账目。"_s << QStringList{u"丙"_s, u"甲"_s};
        QTest::newRow("neither a workbook nor text")
            << u"礼单.xls"_s << "\x01\x02\x03\0\0"_ba << QStringList()
            << u"无法导入“礼单."
               u"xls”，没有导入任何账目：\n文件的内容不是Excel工作簿（xlsx或xls），当作CSV文本也读不出：\n"
               "文件含有空字符（NUL），不是文本格式的CSV文件。"_s
            << QStringList{u"甲"_s};
        QTest::newRow("a workbook with a password, whatever its name")
            << u"礼单.csv"_s << encryptedWorkbook() << QStringList()
            << u"无法导入“礼单."
               u"csv”，没有导入任何账目：\n工作簿已加密（设有打开密码），无法读取。请在表格程序中去掉密码另存一"
               "份，再导入那一份。"_s
            << QStringList{u"甲"_s};
    }
    void workbooksAndMisnamedFilesImport()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, steps);
        QFETCH(QString, box);
        QFETCH(QStringList, names);
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1)});
        const QString path = m_folder->file(file);
        writeFile(path, bytes);
        m_files->answer(path);
        DialogSteps dialogs;
        for (const QString& step : steps) {
            const QStringList words = step.split(u' ');
            if (words[0] == u"sheet") {
                dialogs.steps.append({u"工作表选择窗口"_s, [words](QDialog* d) {
                                          auto* list = findControl<QListWidget>(d, u"工作表列表"_s);
                                          QCOMPARE(list->count(), 2);
                                          QCOMPARE(list->currentRow(), 0);
                                          if (words[1] == u"cancel")
                                              return click(d, u"取消按钮"_s);
                                          list->setCurrentRow(words[1].toInt());
                                          click(d, u"确定按钮"_s);
                                      }});
            } else if (words[0] == u"mapping") {
                dialogs.steps.append(
                    {u"导入映射窗口"_s, [words](QDialog* d) {
                         QStringList preset;
                         for (const QString& name : ImportMappingWindow::boxNames())
                             preset << findControl<QComboBox>(d, name)->currentData().toString();
                         QCOMPARE(preset.join(u','), words[1]);
                         QVERIFY(findControl<QCheckBox>(d, u"首行标题框"_s)->isChecked());
                         QCOMPARE(d->findChild<QLabel*>()->text(),
                                  u"这个文件不是本程序导出的格式。请为每一项选择文件中的一列（xlsx工作簿，共2行）。"_s);
                         click(d, u"确定按钮"_s);
                     }});
            } else {
                dialogs.steps.append({u"导入检查窗口"_s, [](QDialog* d) { click(d, u"导入按钮"_s); }});
            }
        }
        dialogs.run([this] { TransferCommands::importCsv(*m_host); });
        QCOMPARE(dialogs.unexpected, QStringList());
        QCOMPARE(dialogs.stepsRun, steps.size());
        QCOMPARE(
            FileChooser::requests().value(0).filter,
            u"表格文件 (*.csv *.txt *.xlsx *.xls);;CSV文件 (*.csv *.txt);;Excel工作簿 (*.xlsx *.xls);;所有文件 (*)"_s);
        if (box.isEmpty()) {
            QCOMPARE(m_boxes->count(), 0);
        } else {
            QCOMPARE(m_boxes->count(), 1);
            checkBox(m_boxes->last(), box, u"导入CSV/Excel"_s,
                     box.startsWith(u"无法"_s) ? MessageBox::Stop : MessageBox::Information);
        }
        QCOMPARE(namesIn(engine()), names);
        if (names.contains(u"乙"_s)) {
            const auto all = LedgerTransfer::readAll(engine());
            QCOMPARE(all->front().time->canonical(), u"2025-05-01 00:00:00"_s);
            QCOMPARE(*all->front().amount, qint64(2000000));
        }
    }

    void otherFilesAreMappedAndTheMappingRemembered()
    {
        const QString path = m_folder->file(u"other.csv"_s);
        writeFile(path,
                  "日期,人名,收或送,钱,关系,事由\n2011/6/2,甲,收礼,100,朋友,结婚\n2011/6/3,乙,送礼,200,同事,生日\n");
        for (int round = 0; round < 2; ++round) {
            m_files->answer(path);
            QList<int> preset;
            DialogSteps steps;
            steps.steps = {{u"导入映射窗口"_s,
                            [&preset, round](QDialog* d) {
                                const QStringList boxes = ImportMappingWindow::boxNames();
                                for (const QString& name : boxes)
                                    preset << findControl<QComboBox>(d, name)->currentData().toInt();
                                if (round == 0) {
                                    const int columns[] = {2, 1, 0, 4, 5, -1, -1};
                                    for (int i = 0; i < 7; ++i) {
                                        auto* box = findControl<QComboBox>(d, boxes[i]);
                                        box->setCurrentIndex(box->findData(columns[i]));
                                    }
                                    findControl<QCheckBox>(d, u"首行标题框"_s)->setChecked(true);
                                }
                                click(d, u"确定按钮"_s);
                            }},
                           {u"导入检查窗口"_s, [](QDialog* d) { click(d, u"导入按钮"_s); }}};
            steps.run([this] { TransferCommands::importCsv(*m_host); });
            QCOMPARE(steps.unexpected, QStringList());
            QCOMPARE(steps.stepsRun, 2);
            // The first time 日期, 关系 and 事由 name their fields and 人名, 收或送 and 钱 nothing; the second time
            // every column chosen before is chosen again.
            QCOMPARE(preset, round == 0 ? (QList<int>{-1, -1, 0, 4, 5, -1, -1}) : (QList<int>{2, 1, 0, 4, 5, -1, -1}));
        }
        // Imported twice: the second time the rows were duplicates and skipped.
        QCOMPARE(namesIn(engine()), (QStringList{u"乙"_s, u"甲"_s}));
        const auto all = LedgerTransfer::readAll(engine());
        QCOMPARE(all->front().time->canonical(), u"2011-06-03 00:00:00"_s);
        QVERIFY(!all->front().amount);
        QCOMPARE(m_boxes->last().text, u"没有要导入的账目。"_s);
    }

    void mappingWithoutTheRequiredColumnsIsRefused()
    {
        const QString path = m_folder->file(u"other.csv"_s);
        writeFile(path, "a,b\n1,2\n");
        m_files->answer(path);
        DialogSteps steps;
        steps.steps = {{u"导入映射窗口"_s, [](QDialog* d) {
                            click(d, u"确定按钮"_s);
                            QVERIFY(d->isVisible());
                            click(d, u"取消按钮"_s);
                        }}};
        steps.run([this] { TransferCommands::importCsv(*m_host); });
        QCOMPARE(m_boxes->count(), 1);
        checkBox(m_boxes->last(), u"请为收送、关系和类型各选一列。"_s, u"导入CSV/Excel"_s, MessageBox::Information);
        QCOMPARE(namesIn(engine()), QStringList());
    }

    void spreadsheetFilesImport_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::newRow("GBK, commas") << u"csv"_s;
        QTest::newRow("UTF-16 with tabs, as a spreadsheet's Unicode text") << u"unicode text"_s;
    }
    void spreadsheetFilesImport()
    {
        QFETCH(QString, saved);
        QString path = QString::fromLocal8Bit(qgetenv("OVELTA_SOURCE_DIR")) + u"/tests/data/spreadsheet-gbk.csv"_s;
        if (saved == u"unicode text"_s) {
            const auto table = CsvTable::parse(readFile(path), nullptr);
            QVERIFY(table);
            QString text;
            for (const QStringList& row : table->rows) {
                QStringList fields;
                for (const QString& field : row)
                    fields << CsvTable::quoted(field);
                text += fields.join(u'\t') + u"\r\n"_s;
            }
            path = m_folder->file(u"unicode.txt"_s);
            writeFile(path, QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom).encode(text));
        }
        m_files->answer(path);
        DialogSteps steps;
        steps.steps = {{u"导入检查窗口"_s, [](QDialog* d) { click(d, u"导入按钮"_s); }}};
        steps.run([this] { TransferCommands::importCsv(*m_host); });
        QCOMPARE(steps.stepsRun, 1);
        QCOMPARE(m_boxes->last().text, u"已导入4条账目。"_s);
        QCOMPARE(namesIn(engine()), (QStringList{u"张三"_s, u"李四"_s, u"王\"小\"五"_s, u"赵六"_s}));
    }

    void largeImportCanBeCancelled()
    {
        QByteArray bytes = "收送,姓名,时间,关系,类型,金额,说明\n";
        for (int i = 0; i < 5000; ++i)
            bytes += "收礼,甲" + QByteArray::number(i) + ",2011-1-1,朋友,结婚,1,\n";
        const QString path = m_folder->file(u"large.csv"_s);
        writeFile(path, bytes);
        m_files->answer(path);
        DialogSteps steps;
        steps.steps = {{u"导入检查窗口"_s, [](QDialog* d) { click(d, u"导入按钮"_s); }}};
        bool sawProgress = false;
        QTimer cancel;
        cancel.setInterval(0);
        QObject::connect(&cancel, &QTimer::timeout, &cancel, [&sawProgress] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* p = qobject_cast<QProgressDialog*>(w); p && p->objectName() == u"导入进度"_s) {
                    sawProgress = true;
                    p->cancel();
                }
            }
        });
        cancel.start();
        steps.run([this] { TransferCommands::importCsv(*m_host); });
        QVERIFY(sawProgress);
        checkBox(m_boxes->last(), u"导入已取消，没有导入任何账目。"_s, u"导入CSV/Excel"_s, MessageBox::Information);
        QCOMPARE(namesIn(engine()), QStringList());
        QVERIFY(!engine().inTransaction());
    }

    void backupNowAndRestore()
    {
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1), record(u"收礼"_s, u"乙"_s, u"2011-6-3"_s, 2)});
        TransferCommands::backupNow(*m_host);
        const QString first = m_folder->file(u"备份/lgbk-20260520-103000.xc"_s);
        checkBox(m_boxes->last(), u"已备份到\n"_s + first, u"立即备份"_s, MessageBox::Information);
        QCOMPARE(backupNames(), QStringList{u"lgbk-20260520-103000.xc"_s});

        add({record(u"送礼"_s, u"丙"_s, u"2011-6-4"_s, 3)});
        Program::setNow(Now.addSecs(60));
        m_boxes->clear();
        m_boxes->answer(MessageBox::Yes);
        QStringList listed;
        DialogSteps steps;
        steps.steps = {{u"备份窗口"_s, [&listed](QDialog* d) {
                            auto* table = findControl<QTableWidget>(d, u"备份表"_s);
                            for (int c = 0; c < 3; ++c)
                                listed << table->item(0, c)->text();
                            click(d, u"恢复按钮"_s);
                        }}};
        steps.run([this] { TransferCommands::restoreBackup(*m_host); });
        QCOMPARE(steps.stepsRun, 1);
        QCOMPARE(listed.value(0), u"2026年5月20日 10:30:00"_s);
        QCOMPARE(listed.value(1), u"2"_s);
        QVERIFY(listed.value(2).endsWith(u" KB"_s));
        const QList<MessageBox::Record> shown = m_boxes->shown();
        QCOMPARE(shown.size(), 2);
        checkBox(shown[0], u"确定要用2026年5月20日 10:30:00的备份替换现在的账本吗？\n现在的账本会先另存为一个备份。"_s,
                 u"从备份恢复"_s, MessageBox::Question, MessageBox::YesNo);
        QCOMPARE(shown[0].defaultButton, MessageBox::No);
        const QString kept = m_folder->file(u"备份/lgbk-20260520-103100.xc"_s);
        checkBox(shown[1], u"已从2026年5月20日 10:30:00的备份恢复，共2条账目。\n恢复前的账本已保存为备份：\n"_s + kept,
                 u"从备份恢复"_s, MessageBox::Information);
        QCOMPARE(namesIn(engine()), (QStringList{u"乙"_s, u"甲"_s}));
        QCOMPARE(m_host->grid().rowCount(), LedgerGrid::FixedRows + 2);
        QCOMPARE(LedgerBackup::countRecords(kept, LedgerFile::password()).optional(), 3);
        QVERIFY(!QFile::exists(LedgerFile::name() + u"-journal"_s));
    }

    void privateLedgerBacksUpWithItsKeyAndRestoresEither()
    {
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1), record(u"收礼"_s, u"乙"_s, u"2011-6-3"_s, 2)});
        TransferCommands::backupNow(*m_host);
        const QString folder = LedgerBackup::folderOf(LedgerFile::name());
        const QString plain = folder + u"/lgbk-20260520-103000.xc"_s;
        QString error;
        QVERIFY2(
            test::noted(PrivateLedger::rekey(LedgerFile::name(), LedgerFile::password(), u"口令"_s, true, {}), &error),
            qPrintable(error));
        QVERIFY(PasswordWindow::reconnectLedger(*m_host, u"口令"_s));
        add({record(u"送礼"_s, u"丙"_s, u"2011-6-4"_s, 3)});
        Program::setNow(Now.addSecs(60));
        TransferCommands::backupNow(*m_host);
        const QString keyed = folder + u"/lgbk-20260520-103100.xc"_s;
        checkBox(m_boxes->last(), u"已备份到\n"_s + m_folder->file(u"备份/lgbk-20260520-103100.xc"_s), u"立即备份"_s,
                 MessageBox::Information);
        QVERIFY(!EngineConnection::open(keyed, LedgerFile::password()));
        QCOMPARE(LedgerBackup::countRecords(keyed, u"口令"_s).optional(), 3);

        // The list counts both; the older backup, of the program's key, is restored into the private ledger.
        Program::setNow(Now.addSecs(120));
        m_boxes->clear();
        m_boxes->answer(MessageBox::Yes);
        QStringList counts;
        DialogSteps steps;
        steps.steps = {{u"备份窗口"_s, [&counts](QDialog* d) {
                            auto* table = findControl<QTableWidget>(d, u"备份表"_s);
                            counts << table->item(0, 1)->text() << table->item(1, 1)->text();
                            table->selectRow(1);
                            click(d, u"恢复按钮"_s);
                        }}};
        steps.run([this] { TransferCommands::restoreBackup(*m_host); });
        QCOMPARE(counts, (QStringList{u"3"_s, u"2"_s}));
        const QString kept = folder + u"/lgbk-20260520-103200.xc"_s;
        checkBox(m_boxes->last(),
                 u"已从2026年5月20日 10:30:00的备份恢复，共2条账目。\n恢复前的账本已保存为备份：\n"_s
                     + m_folder->file(u"备份/lgbk-20260520-103200.xc"_s),
                 u"从备份恢复"_s, MessageBox::Information);
        QCOMPARE(namesIn(engine()), (QStringList{u"乙"_s, u"甲"_s}));
        QVERIFY(PrivateLedger::isPrivate(LedgerFile::name()));
        QVERIFY(!EngineConnection::open(LedgerFile::name(), LedgerFile::password()));
        QCOMPARE(LedgerBackup::countRecords(kept, u"口令"_s).optional(), 3);
        QVERIFY(!EngineConnection::open(kept, LedgerFile::password()));
        QCOMPARE(LedgerBackup::countRecords(plain, LedgerFile::password()).optional(), 2);
        LedgerFile::setSessionKey(LedgerFile::password());
    }

    void damagedBackupIsNotRestored()
    {
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1)});
        QVERIFY(QDir().mkdir(u"备份"_s));
        writeFile(u"备份/lgbk-20260101-000000.xc"_s, QByteArray(8192, 'x'));
        m_boxes->answer(MessageBox::Yes);
        QString count;
        DialogSteps steps;
        steps.steps = {{u"备份窗口"_s, [&count](QDialog* d) {
                            count = findControl<QTableWidget>(d, u"备份表"_s)->item(0, 1)->text();
                            click(d, u"恢复按钮"_s);
                        }}};
        steps.run([this] { TransferCommands::restoreBackup(*m_host); });
        QCOMPARE(count, u"无法打开"_s);
        checkBox(m_boxes->last(),
                 u"这个备份不能恢复，账本没有改变：\n备份文件无法打开（文件损坏，或不是本程序的备份）。"_s,
                 u"从备份恢复"_s, MessageBox::Stop);
        QCOMPARE(namesIn(engine()), QStringList{u"甲"_s});
        QCOMPARE(backupNames(), QStringList{u"lgbk-20260101-000000.xc"_s});
    }

    void noBackupsYet()
    {
        TransferCommands::restoreBackup(*m_host);
        checkBox(m_boxes->last(), u"还没有备份。\n备份保存在“%1”中。"_s.arg(m_folder->file(u"备份"_s)), u"从备份恢复"_s,
                 MessageBox::Information);

        // A 备份 that is a link to another folder is named as such, and nothing there is listed.
        QVERIFY(QDir().mkdir(u"elsewhere"_s));
        writeFile(u"elsewhere/lgbk-20260101-000000.xc"_s, "x");
        QVERIFY(QFile::link(u"elsewhere"_s, u"备份"_s));
        DialogSteps steps;
        steps.run([this] { TransferCommands::restoreBackup(*m_host); });
        QCOMPARE(steps.unexpected, QStringList());
        checkBox(m_boxes->last(), LedgerBackup::checkFolder(u"备份"_s).errorText(), u"从备份恢复"_s, MessageBox::Stop);
        QVERIFY(m_boxes->last().text.contains(u"符号链接"_s));
        TransferCommands::backupNow(*m_host);
        checkBox(m_boxes->last(),
                 u"备份失败，账本没有受到影响：\n"_s + LedgerBackup::checkFolder(u"备份"_s).errorText(), u"立即备份"_s,
                 MessageBox::Stop);
        QCOMPARE(QDir(u"elsewhere"_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"lgbk-20260101-000000.xc"_s});
    }

    void sessionEndBacksUpOnlyWhenTheContentChanged_data()
    {
        QTest::addColumn<QString>("session");
        QTest::addColumn<bool>("backedUp");
        QTest::newRow("nothing done") << u"nothing"_s << false;
        QTest::newRow("the file's time changed, as by a hot journal rolled back at start-up") << u"touched"_s << false;
        QTest::newRow("an import that failed on a full disk") << u"failed import"_s << false;
        QTest::newRow("a restore that failed on a full disk") << u"failed restore"_s << false;
        QTest::newRow("records added") << u"added"_s << true;
        QTest::newRow("a record changed") << u"changed"_s << true;
        QTest::newRow("a record deleted") << u"deleted"_s << true;
        QTest::newRow("restored") << u"restored"_s << true;
        QTest::newRow("the ledger made in this session") << u"made"_s << true;
    }
    void sessionEndBacksUpOnlyWhenTheContentChanged()
    {
        QFETCH(QString, session);
        QFETCH(bool, backedUp);
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1)});
        QString error;
        const QString path
            = LedgerBackup::create(LedgerFile::name(), LedgerFile::password(), Now.addDays(-1)).valueOr({});
        QVERIFY(!path.isEmpty());
        LedgerBackup::watchChanges(LedgerFile::name());
        m_host->connection.close();
        QVERIFY(m_host->connectAll());
        const QStringList before = backupNames();
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit full = old;
        full.rlim_cur = 0;
        if (session == u"touched"_s) {
            const struct timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
            QCOMPARE(::utimensat(AT_FDCWD, "lgbk.xc", times, 0), 0);
        } else if (session == u"failed import"_s || session == u"failed restore"_s) {
            add({record(u"收礼"_s, u"乙"_s, u"2011-6-3"_s, 2)});
            LedgerBackup::watchChanges(LedgerFile::name());
            ::setrlimit(RLIMIT_FSIZE, &full);
            const bool done = session == u"failed import"_s
                ? test::noted(
                      LedgerImport::write(engine(),
                                          std::vector<LedgerRecord>(500, record(u"收礼"_s, u"丙"_s, u"2011-6-4"_s, 3)),
                                          {}, {}, {}),
                      &error)
                      .ok()
                : LedgerBackup::restore(engine(), path, LedgerFile::password()).ok();
            ::setrlimit(RLIMIT_FSIZE, &old);
            QVERIFY(!done);
        } else if (session == u"added"_s) {
            add({record(u"收礼"_s, u"乙"_s, u"2011-6-3"_s, 2)});
        } else if (session == u"changed"_s) {
            QVERIFY(m_host->connection.execute(u"UPDATE 收送礼 SET 说明='x' WHERE 姓名='甲'"_s));
        } else if (session == u"deleted"_s) {
            QVERIFY(m_host->connection.execute(u"DELETE FROM 收送礼 WHERE 姓名='甲'"_s));
        } else if (session == u"restored"_s) {
            QVERIFY(LedgerBackup::restore(engine(), path, LedgerFile::password()));
        }
        QVERIFY(TransferCommands::backupAtSessionEnd(session != u"made"_s));
        QCOMPARE(m_boxes->count(), 0);
        QCOMPARE(backupNames(), backedUp ? QStringList{u"lgbk-20260520-103000.xc"_s} + before : before);
    }

    void failedSessionEndBackupIsReported()
    {
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1)});
        // A backup that cannot be written is reported and leaves the ledger as it is.
        writeFile(u"备份"_s, "a file where the folder should be");
        QVERIFY(!TransferCommands::backupAtSessionEnd(true));
        checkBox(
            m_boxes->last(),
            u"程序结束时的自动备份失败，账本没有受到影响：\n无法创建备份文件夹“%1”。"_s.arg(m_folder->file(u"备份"_s)),
            u"自动备份"_s, MessageBox::Warning);
        QCOMPARE(namesIn(engine()), QStringList{u"甲"_s});
    }

    void exportAsksBeforeReplacingTheFileItWrites_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("there"); ///< what is at k.csv before: nothing, a file, a link, a dangling link
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question"); ///< %1 the folder; empty when none is asked
        QTest::addColumn<QString>("written"); ///< the file that holds the export afterwards, empty for none
        const QString exists = u"“%1/k.csv”已经存在。\n要替换它吗？"_s;
        const QString link = u"“%1/k.csv”是一个符号链接，指向“%1/sub/target.csv”。\n要替换它指向的这个文件吗？"_s;
        QTest::newRow("new file") << u"k"_s << u"nothing"_s << int(MessageBox::Yes) << QString() << u"k.csv"_s;
        QTest::newRow("typed without .csv, declined")
            << u"k"_s << u"file"_s << int(MessageBox::No) << exists << QString();
        QTest::newRow("typed without .csv, replaced")
            << u"k"_s << u"file"_s << int(MessageBox::Yes) << exists << u"k.csv"_s;
        QTest::newRow("typed with .csv, declined")
            << u"k.csv"_s << u"file"_s << int(MessageBox::No) << exists << QString();
        QTest::newRow("a link, declined") << u"k"_s << u"link"_s << int(MessageBox::No) << link << QString();
        QTest::newRow("a link, replaced")
            << u"k.csv"_s << u"link"_s << int(MessageBox::Yes) << link << u"sub/target.csv"_s;
        QTest::newRow("a link to nothing, replaced")
            << u"k"_s << u"dangling"_s << int(MessageBox::Yes)
            << u"“%1/k.csv”是一个符号链接，它指向的文件不存在。\n要用新文件替换这个链接吗？"_s << u"k.csv"_s;
    }
    void exportAsksBeforeReplacingTheFileItWrites()
    {
        QFETCH(QString, typed);
        QFETCH(QString, there);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(QString, written);
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1)});
        QVERIFY(QDir().mkdir(u"sub"_s));
        writeFile(u"sub/target.csv"_s, "kept");
        if (there == u"file"_s)
            writeFile(u"k.csv"_s, "kept");
        else if (there == u"link"_s)
            QVERIFY(QFile::link(u"sub/target.csv"_s, u"k.csv"_s));
        else if (there == u"dangling"_s)
            QVERIFY(QFile::link(u"sub/gone.csv"_s, u"k.csv"_s));
        m_files->answer(m_folder->file(typed));
        m_boxes->answer(MessageBox::Answer(answer));
        TransferCommands::exportCsv(*m_host);
        const QList<MessageBox::Record> shown = m_boxes->shown();
        if (question.isEmpty()) {
            QCOMPARE(shown.size(), 1);
        } else {
            checkBox(shown.value(0), question.arg(m_folder->path()), u"导出CSV"_s, MessageBox::Question,
                     MessageBox::YesNo);
            QCOMPARE(shown.value(0).defaultButton, MessageBox::No);
        }
        const QByteArray exported = LedgerTransfer::csv(*LedgerTransfer::readAll(engine()));
        for (const QString& file : {u"k.csv"_s, u"sub/target.csv"_s}) {
            if (file == written)
                QCOMPARE(readFile(file), exported);
            else if (QFileInfo(file).isFile() && !QFileInfo(file).isSymLink())
                QCOMPARE(readFile(file), "kept"_ba);
        }
        QCOMPARE(QFileInfo(u"k.csv"_s).isSymLink(),
                 there == u"link"_s || (there == u"dangling"_s && written.isEmpty()));
        QCOMPARE(m_boxes->last().text.startsWith(u"已导出"_s), !written.isEmpty());
    }

    void ledgerInAFolderWhoseNameIsNoUtf8()
    {
        // A folder unpacked from a Windows archive keeps its GBK name: 张三 in GBK bytes.
        const QByteArray native = QFile::encodeName(m_folder->path()) + "/\xd5\xc5\xc8\xfd";
        QCOMPARE(::mkdir(native.constData(), 0700), 0);
        m_host.reset();
        QCOMPARE(::chdir(native.constData()), 0);
        // Back to the test's folder at the end, the folder removed by its bytes (which the toolkit cannot name).
        struct Back
        {
            QString folder;
            QByteArray native;
            ~Back()
            {
                QDir::setCurrent(folder);
                std::filesystem::remove_all(std::filesystem::path(native.toStdString()));
            }
        } back{m_folder->path(), native};
        LedgerBackup::watchChanges(LedgerFile::name());
        m_host = std::make_unique<TestHost>();
        QVERIFY(m_host->createAndConnect());
        add({record(u"收礼"_s, u"甲"_s, u"2011-6-2"_s, 1)});
        auto exists = [](const QByteArray& path) {
            struct stat info;
            return ::lstat(path.constData(), &info) == 0;
        };

        TransferCommands::backupNow(*m_host);
        QVERIFY2(m_boxes->last().text.startsWith(u"已备份到\n"_s), qPrintable(m_boxes->last().text));
        QVERIFY(exists(native + "/备份/lgbk-20260520-103000.xc"));
        Program::setNow(Now.addSecs(1));
        QVERIFY(TransferCommands::backupAtSessionEnd(true));
        QVERIFY(exists(native + "/备份/lgbk-20260520-103001.xc"));
        QCOMPARE(m_boxes->count(), 1);

        // The dialogs start in a folder that exists, not in a name with U+FFFD for the bytes.
        m_files->answer(QString());
        TransferCommands::exportCsv(*m_host);
        QCOMPARE(FileChooser::requests().value(0).folder, QDir::homePath());

        // The mapping of another file is remembered beside the ledger.
        writeFile(m_folder->file(u"other.csv"_s), "日期,人名,收或送,关系,事由\n2011/6/2,乙,收礼,朋友,结婚\n");
        m_files->answer(m_folder->file(u"other.csv"_s));
        DialogSteps steps;
        steps.steps = {{u"导入映射窗口"_s,
                        [](QDialog* d) {
                            const QStringList boxes = ImportMappingWindow::boxNames();
                            const int columns[] = {2, 1, 0, 3, 4, -1, -1};
                            for (int i = 0; i < 7; ++i) {
                                auto* box = findControl<QComboBox>(d, boxes[i]);
                                box->setCurrentIndex(box->findData(columns[i]));
                            }
                            findControl<QCheckBox>(d, u"首行标题框"_s)->setChecked(true);
                            click(d, u"确定按钮"_s);
                        }},
                       {u"导入检查窗口"_s, [](QDialog* d) { click(d, u"导入按钮"_s); }}};
        steps.run([this] { TransferCommands::importCsv(*m_host); });
        QCOMPARE(steps.unexpected, QStringList());
        QCOMPARE(m_boxes->last().text, u"已导入1条账目。"_s);
        QVERIFY(exists(native + "/lgbk-导入设置.ini"));

        // Nothing was made under a name of the wrong characters beside the folder: the first ledger, the file
        // imported and the folder itself are all there is.
        const std::filesystem::directory_iterator entries(
            std::filesystem::path(QFile::encodeName(m_folder->path()).toStdString()));
        QCOMPARE(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)), 3);
        m_host.reset();
    }
};

QTEST_MAIN(TestTransferCommands)
#include "test_transfer_commands.moc"
