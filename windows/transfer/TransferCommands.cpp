#include "windows/transfer/TransferCommands.h"

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/ledger/LedgerXlsx.h"
#include "store/ledger/PrivateLedger.h"
#include "store/ledger/SheetReader.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/common/FileChooser.h"
#include "windows/common/LedgerHost.h"
#include "windows/transfer/BackupListWindow.h"
#include "windows/transfer/ImportMappingWindow.h"
#include "windows/transfer/ImportReviewWindow.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <climits>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace ovelta::TransferCommands {

namespace {

const QString ExportTitle = u"导出CSV"_s;
const QString ExcelTitle = u"导出Excel"_s;
const QString ImportTitle = u"导入CSV/Excel"_s;
const QString BackupTitle = u"立即备份"_s;
const QString RestoreTitle = u"从备份恢复"_s;
const QString CsvFilter = u"CSV文件 (*.csv)"_s;
const QString ExcelFilter = u"Excel工作簿 (*.xlsx)"_s;
const QString ImportFilter
    = u"表格文件 (*.csv *.txt *.xlsx *.xls);;CSV文件 (*.csv *.txt);;Excel工作簿 (*.xlsx *.xls);;所有文件 (*)"_s;
/// Imports of at least this many records show a progress dialog.
constexpr qsizetype ProgressFrom = 2000;

void fail(const QString& text, const QString& title)
{
    MessageBox::show(text, title, MessageBox::OkOnly, MessageBox::Stop);
}

void inform(const QString& text, const QString& title)
{
    MessageBox::show(text, title, MessageBox::OkOnly, MessageBox::Information);
}

/// The main window's engine connection, connected again when a window left it closed; null when the ledger
/// does not open.
std::shared_ptr<EngineConnection> ledgerEngine(LedgerHost& host)
{
    DatabaseConnection& connection = host.database().connection;
    if (!connection.isOpen())
        connection.connect(LedgerFile::name(), LedgerFile::sessionKey());
    return connection.engine();
}

/// The IDs of the records the grid shows, in its order.
QList<qint64> gridIds(const LedgerGrid& grid)
{
    QList<qint64> ids;
    for (int row = LedgerGrid::FixedRows; row < grid.rowCount(); ++row)
        ids.append(grid.cellText(row, 0).toLongLong());
    return ids;
}

/// The ledger's name as it is opened: relative, so that it resolves in the ledger's folder (the current one)
/// whatever bytes that folder's name is made of.
QString ledgerPath()
{
    return LedgerFile::name();
}

/// A name for Qt's settings files, which make every name absolute: the current folder's own path when it can
/// be carried in a text, else the system's name for the current folder of this process.
QString settingsPath(const QString& name)
{
    const QString folder = FileChooser::startFolder();
    return folder == QDir::currentPath() ? QDir::current().absoluteFilePath(name) : u"/proc/self/cwd/"_s + name;
}

/// The reason a file cannot be read, in Chinese.
QString readError(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return u"文件不存在。"_s;
    if (info.isDir())
        return u"这是一个文件夹。"_s;
    if (!info.isReadable())
        return u"没有读取权限。"_s;
    return u"读取文件时出错。"_s;
}

ColumnMapping rememberedMapping(const QStringList& firstRow)
{
    QSettings settings(mappingSettingsFile(), QSettings::IniFormat);
    if (!settings.contains(u"mapping/headerRow"_s))
        return LedgerImport::guessMapping(firstRow);
    ColumnMapping mapping;
    mapping.headerRow = settings.value(u"mapping/headerRow"_s).toBool();
    const QStringList fields = LedgerTransfer::header();
    for (int field = 0; field < ColumnMapping::FieldCount; ++field) {
        // A column found by its remembered title wins over its remembered place.
        const QString title = settings.value(u"mapping/title%1"_s.arg(field)).toString();
        const int byTitle = title.isEmpty() ? -1 : int(firstRow.indexOf(title));
        mapping.columns[size_t(field)]
            = byTitle >= 0 ? byTitle : settings.value(u"mapping/column%1"_s.arg(field), -1).toInt();
    }
    return mapping;
}

void rememberMapping(const ColumnMapping& mapping, const QStringList& firstRow)
{
    QSettings settings(mappingSettingsFile(), QSettings::IniFormat);
    settings.setValue(u"mapping/headerRow"_s, mapping.headerRow);
    for (int field = 0; field < ColumnMapping::FieldCount; ++field) {
        const int column = mapping.columns[size_t(field)];
        settings.setValue(u"mapping/column%1"_s.arg(field), column);
        settings.setValue(u"mapping/title%1"_s.arg(field),
                          mapping.headerRow && column >= 0 ? firstRow.value(column) : QString());
    }
}

/// The relations and occasions of the chosen records that are new to their lists, in the order of the file.
void newEntriesOf(const std::vector<LedgerRecord>& records, const LedgerImport::Checked& checked,
                  QStringList& relations, QStringList& kinds)
{
    QSet<QString> usedRelations, usedOccasions;
    for (const LedgerRecord& record : records) {
        usedRelations.insert(record.relation);
        usedOccasions.insert(record.occasion);
    }
    for (const QString& relation : checked.newRelations) {
        if (usedRelations.contains(relation))
            relations << relation;
    }
    for (const QString& kind : checked.newOccasions) {
        if (usedOccasions.contains(kind))
            kinds << kind;
    }
}

/// The sheet of a workbook to import: the only one, or the one the user chooses; -1 when the user cancels.
int chosenSheet(const QStringList& names)
{
    if (names.size() < 2)
        return 0;
    QDialog dialog;
    dialog.setObjectName(u"工作表选择窗口"_s);
    dialog.setWindowTitle(ImportTitle);
    dialog.setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(u"这个工作簿有%1张工作表，请选择要导入的一张："_s.arg(names.size()), &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(u"工作表列表"_s);
    list->addItems(names);
    list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = buttons->addButton(u"确定"_s, QDialogButtonBox::AcceptRole);
    ok->setObjectName(u"确定按钮"_s);
    ok->setDefault(true);
    buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole)->setObjectName(u"取消按钮"_s);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    return dialog.exec() == QDialog::Accepted ? list->currentRow() : -1;
}

/// The table of the open file: a workbook's sheet (the format known by the file's first bytes, whatever its
/// name), else the text of a CSV file. Empty with a message in error when it cannot be read, with an empty
/// error when the user cancelled the choice of a sheet.
std::optional<CsvTable> readTable(QFile& file, QString* error)
{
    const SheetReader::Format format = SheetReader::formatOf(file.peek(8));
    if (format == SheetReader::Format::Text) {
        auto table = CsvTable::parse(file.readAll(), error);
        const QString suffix = QFileInfo(file.fileName()).suffix().toLower();
        if (!table && (suffix == u"xlsx" || suffix == u"xls"))
            *error = u"文件的内容不是Excel工作簿（xlsx或xls），当作CSV文本也读不出：\n"_s + *error;
        return table;
    }
    file.close();
    const auto book = SheetReader::open(file.fileName(), format);
    if (!book) {
        *error = book.errorText();
        return std::nullopt;
    }
    const int sheet = chosenSheet((*book)->sheetNames());
    if (sheet < 0) {
        error->clear();
        return std::nullopt;
    }
    auto table = (*book)->sheet(sheet);
    *error = table.errorText();
    return std::move(table).optional();
}

} // namespace

QString mappingSettingsFile()
{
    return settingsPath(u"lgbk-导入设置.ini"_s);
}

namespace {

/// The export of both commands: the file's type follows its name.
void exportLedger(LedgerHost& host, bool excelFirst)
{
    const QString title = excelFirst ? ExcelTitle : ExportTitle;
    const auto engine = ledgerEngine(host);
    if (!engine) {
        fail(u"无法打开账本，没有导出。"_s, title);
        return;
    }
    const qint64 total = LedgerTransfer::recordCount(*engine);
    const QList<qint64> shown = gridIds(host.grid());
    bool onlyShown = false;
    if (total >= 0 && shown.size() != total) {
        const MessageBox::Answer answer = MessageBox::show(
            u"表格中显示了%1条账目，账本中共有%2条。\n是：只导出表格中显示的%1条；否：导出全部%2条。"_s
                .arg(shown.size())
                .arg(total),
            title, MessageBox::YesNoCancel, MessageBox::Question, 0);
        if (answer == MessageBox::Cancel)
            return;
        onlyShown = answer == MessageBox::Yes;
    }
    const QString day = Program::now().toString(u"yyyyMMdd"_s);
    const QString path
        = FileChooser::saveFile(title, u"人情账目-%1.%2"_s.arg(day, excelFirst ? u"xlsx"_s : u"csv"_s),
                                excelFirst ? ExcelFilter + u";;"_s + CsvFilter : CsvFilter + u";;"_s + ExcelFilter);
    if (path.isEmpty())
        return;
    struct stat earlier;
    const bool replacing = ::stat(LedgerTransfer::replacedFile(path).constData(), &earlier) == 0;
    const QString failed = replacing ? u"导出失败，原有的文件没有改变：\n"_s : u"导出失败，没有写入文件：\n"_s;
    const QString done = u"已导出%1条账目到\n%2"_s;
    QString error;

    if (!path.endsWith(u".xlsx"_s, Qt::CaseInsensitive)) {
        const auto records = onlyShown ? LedgerTransfer::readByIds(*engine, shown) : LedgerTransfer::readAll(*engine);
        if (!records) {
            fail(u"读取账目失败，没有导出：\n"_s + records.errorText(), title);
            return;
        }
        if (const Done written = LedgerTransfer::writeWhole(path, LedgerTransfer::csv(*records)); !written) {
            fail(failed + written.errorText(), title);
            return;
        }
        inform(done.arg(records->size()).arg(QDir::toNativeSeparators(path)), title);
        return;
    }

    // A workbook is written record by record, with a progress dialog for a long ledger; the last part of the bar
    // stands for putting the file together, which goes on after the last record.
    const qint64 count = onlyShown ? shown.size() : total;
    std::unique_ptr<QProgressDialog> progress;
    if (count >= ProgressFrom) {
        const qint64 steps = std::min<qint64>(count + count / 5, INT_MAX);
        progress = std::make_unique<QProgressDialog>(u"正在导出账目……"_s, u"取消"_s, 0, int(steps));
        progress->setObjectName(u"导出进度"_s);
        progress->setWindowTitle(title);
        progress->setWindowModality(Qt::ApplicationModal);
        progress->setMinimumDuration(0);
    }
    const auto report = [&progress, count](qint64 written) {
        if (!progress)
            return true;
        progress->setValue(int(std::min<qint64>(written, progress->maximum() - 1)));
        if (written >= count)
            progress->setLabelText(u"正在保存文件……"_s);
        QCoreApplication::processEvents();
        return !progress->wasCanceled();
    };
    const auto result = LedgerXlsx::write(*engine, path, onlyShown ? std::optional(shown) : std::nullopt, report);
    progress.reset();
    if (result) {
        QString text = done.arg(result->records).arg(QDir::toNativeSeparators(path));
        if (result->cutTexts > 0)
            text += u"\n其中%1段文字超过了Excel单元格能容纳的32767个字符，只写入了前32767个字符。"_s.arg(
                result->cutTexts);
        inform(text, title);
    } else if (result.cancelled()) {
        inform(replacing ? u"导出已取消，原有的文件没有改变。"_s : u"导出已取消，没有写入文件。"_s, title);
    } else {
        fail(failed + result.errorText(), title);
    }
}

} // namespace

void exportCsv(LedgerHost& host)
{
    exportLedger(host, false);
}

void exportExcel(LedgerHost& host)
{
    exportLedger(host, true);
}

void importCsv(LedgerHost& host)
{
    const QString path = FileChooser::openFile(ImportTitle, ImportFilter);
    if (path.isEmpty())
        return;
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(u"无法打开文件“%1”：\n%2"_s.arg(name, readError(path)), ImportTitle);
        return;
    }
    if (file.size() > CsvTable::MaxFileBytes) {
        fail(u"无法导入“%1”：\n文件太大（超过256MB），不是账目表格。"_s.arg(name), ImportTitle);
        return;
    }
    QString error;
    std::optional<CsvTable> table = readTable(file, &error);
    file.close();
    if (!table) {
        if (!error.isEmpty())
            fail(u"无法导入“%1”，没有导入任何账目：\n%2"_s.arg(name, error), ImportTitle);
        return;
    }
    LedgerImport::arrange(*table);

    const QStringList firstRow = table->rows.front();
    ColumnMapping mapping;
    if (const auto exportFormat = LedgerImport::exportMapping(firstRow)) {
        mapping = *exportFormat;
    } else {
        ImportMappingWindow window(*table, rememberedMapping(firstRow));
        if (window.exec() != QDialog::Accepted)
            return;
        mapping = window.mapping();
        rememberMapping(mapping, firstRow);
    }

    const auto engine = ledgerEngine(host);
    const auto lists = engine ? LedgerImport::readLists(*engine) : Result<LedgerImport::Lists>(Problem::NoLedger);
    const auto existing = engine ? LedgerImport::existingKeys(*engine) : Result<QSet<QString>>(Problem::NoLedger);
    if (!lists || !existing) {
        fail(u"无法读取账本，没有导入任何账目。"_s, ImportTitle);
        return;
    }
    const LedgerImport::Checked checked = LedgerImport::check(*table, mapping, *lists, *existing);
    bool keepDuplicates = false;
    {
        ImportReviewWindow review(checked, mapping.headerRow ? firstRow : QStringList());
        if (review.exec() != QDialog::Accepted)
            return;
        keepDuplicates = review.keepDuplicates();
    }
    std::vector<LedgerRecord> records;
    records.reserve(checked.candidates.size());
    for (const auto& candidate : checked.candidates) {
        if (!candidate.duplicate || keepDuplicates)
            records.push_back(candidate.record);
    }
    if (records.empty()) {
        inform(u"没有要导入的账目。"_s, ImportTitle);
        return;
    }
    QStringList newRelations, newOccasions;
    newEntriesOf(records, checked, newRelations, newOccasions);
    if (!newRelations.isEmpty() || !newOccasions.isEmpty()) {
        QStringList lines;
        if (!newRelations.isEmpty())
            lines << u"关系：%1"_s.arg(newRelations.join(u"、"_s));
        if (!newOccasions.isEmpty())
            lines << u"类型：%1"_s.arg(newOccasions.join(u"、"_s));
        const MessageBox::Answer answer
            = MessageBox::show(u"以下条目还不在列表中，导入时将加入列表：\n%1\n要继续导入吗？"_s.arg(lines.join(u'\n')),
                               ImportTitle, MessageBox::YesNo, MessageBox::Question, 0);
        if (answer != MessageBox::Yes) {
            inform(u"没有导入任何账目。"_s, ImportTitle);
            return;
        }
    }

    std::unique_ptr<QProgressDialog> progress;
    if (qsizetype(records.size()) >= ProgressFrom) {
        progress = std::make_unique<QProgressDialog>(u"正在导入账目……"_s, u"取消"_s, 0, int(records.size()));
        progress->setObjectName(u"导入进度"_s);
        progress->setWindowTitle(ImportTitle);
        progress->setWindowModality(Qt::ApplicationModal);
        progress->setMinimumDuration(0);
    }
    const auto report = [&progress](qsizetype written) {
        if (!progress)
            return true;
        progress->setValue(int(written));
        QCoreApplication::processEvents();
        return !progress->wasCanceled();
    };
    const Done written = LedgerImport::write(*engine, records, newRelations, newOccasions, report);
    progress.reset();
    if (written) {
        host.ledgerRefill();
        inform(u"已导入%1条账目。"_s.arg(records.size()), ImportTitle);
    } else if (written.cancelled()) {
        inform(u"导入已取消，没有导入任何账目。"_s, ImportTitle);
    } else {
        fail(u"导入失败，没有导入任何账目：\n"_s + written.errorText(), ImportTitle);
    }
}

void backupNow(LedgerHost&)
{
    const Result<QString> created = LedgerBackup::create(ledgerPath(), LedgerFile::sessionKey(), Program::now());
    if (!created) {
        fail(u"备份失败，账本没有受到影响：\n"_s + created.errorText(), BackupTitle);
        return;
    }
    LedgerBackup::rotate(LedgerBackup::folderOf(ledgerPath()), Program::now().date());
    inform(u"已备份到\n%1"_s.arg(LedgerBackup::shownPath(*created)), BackupTitle);
}

void restoreBackup(LedgerHost& host)
{
    const QString folder = LedgerBackup::folderOf(ledgerPath());
    if (const Done usable = LedgerBackup::checkFolder(folder); !usable) {
        fail(usable.errorText(), RestoreTitle);
        return;
    }
    const QList<LedgerBackup::Backup> backups = LedgerBackup::list(folder);
    if (backups.isEmpty()) {
        inform(u"还没有备份。\n备份保存在“%1”中。"_s.arg(LedgerBackup::shownPath(folder)), RestoreTitle);
        return;
    }
    QList<BackupListWindow::Entry> entries;
    for (const LedgerBackup::Backup& backup : backups)
        entries.append(
            {backup, LedgerBackup::countRecords(backup.path, PrivateLedger::keyOpening(backup.path)).valueOr(-1)});
    int chosen = -1;
    {
        BackupListWindow window(entries, LedgerBackup::shownPath(folder));
        if (window.exec() != QDialog::Accepted)
            return;
        chosen = window.selected();
    }
    if (chosen < 0)
        return;
    const LedgerBackup::Backup backup = backups[chosen];
    const QString when = backup.time.toString(u"yyyy年M月d日 HH:mm:ss"_s);
    const MessageBox::Answer answer
        = MessageBox::show(u"确定要用%1的备份替换现在的账本吗？\n现在的账本会先另存为一个备份。"_s.arg(when),
                           RestoreTitle, MessageBox::YesNo, MessageBox::Question, 1);
    if (answer != MessageBox::Yes)
        return;
    const Result<qint64> records = LedgerBackup::verify(backup.path, PrivateLedger::keyOpening(backup.path));
    if (!records) {
        fail(u"这个备份不能恢复，账本没有改变：\n"_s + records.errorText(), RestoreTitle);
        return;
    }
    const auto engine = ledgerEngine(host);
    if (!engine) {
        fail(u"无法打开账本，没有恢复。"_s, RestoreTitle);
        return;
    }
    const Result<QString> kept = LedgerBackup::create(ledgerPath(), LedgerFile::sessionKey(), Program::now());
    if (!kept) {
        fail(u"无法先备份现在的账本，没有恢复：\n"_s + kept.errorText(), RestoreTitle);
        return;
    }
    if (const Done restored = LedgerBackup::restore(*engine, backup.path, PrivateLedger::keyOpening(backup.path));
        !restored) {
        fail(restored.errorText(), RestoreTitle);
        return;
    }
    host.ledgerRefill();
    inform(u"已从%1的备份恢复，共%2条账目。\n恢复前的账本已保存为备份：\n%3"_s.arg(when).arg(*records).arg(
               LedgerBackup::shownPath(*kept)),
           RestoreTitle);
}

bool backupAtSessionEnd(bool ledgerAtStart)
{
    if (LedgerBackup::stampOf(ledgerPath()).isEmpty())
        return true;
    // The content, not the file: a hot journal rolled back at start-up, or an import or restore that failed,
    // changes the file's bytes or time but not one record.
    if (ledgerAtStart && LedgerBackup::changesSinceWatch() == 0)
        return true;
    if (const Result<QString> created = LedgerBackup::create(ledgerPath(), LedgerFile::sessionKey(), Program::now());
        !created) {
        MessageBox::show(u"程序结束时的自动备份失败，账本没有受到影响：\n"_s + created.errorText(), u"自动备份"_s,
                         MessageBox::OkOnly, MessageBox::Warning);
        return false;
    }
    LedgerBackup::rotate(LedgerBackup::folderOf(ledgerPath()), Program::now().date());
    return true;
}

} // namespace ovelta::TransferCommands
