#include "windows/common/TableExport.h"

#include "store/ledger/LedgerTransfer.h"
#include "store/value/CsvTable.h"
#include "ui/base/MessageBox.h"
#include "windows/common/FileChooser.h"

#include <QAbstractItemModel>
#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPixmap>
#include <QRegularExpression>
#include <QTableView>
#include <QWidget>
#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace ovelta::TableExport {

namespace {

QString exportText(const QAbstractItemModel& model, const QModelIndex& index)
{
    const QVariant exported = model.data(index, ExportRole);
    return exported.isValid() ? exported.toString() : model.data(index).toString();
}

/// Tabs and line breaks inside a cell would start new cells and rows: they go out as blanks.
QString tabLine(const QStringList& row)
{
    QStringList clean;
    for (const QString& cell : row)
        clean << QString(cell).replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
    return clean.join(u'\t') + u'\n';
}

class CopyKey : public QObject
{
public:
    explicit CopyKey(QTableView& table)
        : QObject(&table)
        , m_table(table)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_table || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->matches(QKeySequence::Copy))
            return false;
        // The key is the table's own, whatever shortcut the window may have for it.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            clipboard->setText(selectionText(m_table));
        return true;
    }

private:
    QTableView& m_table;
};

/// Rows of cells: the header, then the model's rows, as the model shows them.
QList<QStringList> cells(const QAbstractItemModel& model)
{
    QList<QStringList> rows;
    QStringList header;
    for (int c = 0; c < model.columnCount(); ++c)
        header << model.headerData(c, Qt::Horizontal).toString();
    rows << header;
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < model.columnCount(); ++c)
            row << exportText(model, model.index(r, c));
        rows << row;
    }
    return rows;
}

bool isNumber(const QString& text)
{
    static const QRegularExpression number(u"^[-+]?[0-9]+(\\.[0-9]+)?$"_s);
    return number.match(text).hasMatch();
}

QString csvCell(const QString& text)
{
    // Numbers stay numbers (a negative balance too); any other text that a spreadsheet would run stays text.
    return CsvTable::quoted(isNumber(text) ? text : CsvTable::guarded(text));
}

} // namespace

QString tabText(const QAbstractItemModel& model)
{
    QString text;
    for (const QStringList& row : cells(model))
        text += tabLine(row);
    return text;
}

QString csvText(const QAbstractItemModel& model)
{
    QString text;
    for (const QStringList& row : cells(model)) {
        QStringList out;
        for (const QString& cell : row)
            out << csvCell(cell);
        text += out.join(u',') + u"\r\n"_s;
    }
    return text;
}

void copyToClipboard(const QAbstractItemModel& model)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(tabText(model));
}

QString selectionText(const QTableView& table)
{
    const QAbstractItemModel* model = table.model();
    const QItemSelectionModel* selection = table.selectionModel();
    if (model == nullptr || selection == nullptr)
        return {};
    const QModelIndexList chosen = selection->selectedIndexes();
    if (chosen.isEmpty())
        return {};
    // Rows and columns in the order the table shows them.
    const QHeaderView* across = table.horizontalHeader();
    const QHeaderView* down = table.verticalHeader();
    int top = std::numeric_limits<int>::max();
    int bottom = -1;
    int left = std::numeric_limits<int>::max();
    int right = -1;
    for (const QModelIndex& index : chosen) {
        top = std::min(top, down->visualIndex(index.row()));
        bottom = std::max(bottom, down->visualIndex(index.row()));
        left = std::min(left, across->visualIndex(index.column()));
        right = std::max(right, across->visualIndex(index.column()));
    }
    QString text;
    for (int v = top; v <= bottom; ++v) {
        const int row = down->logicalIndex(v);
        if (table.isRowHidden(row))
            continue;
        QStringList line;
        for (int h = left; h <= right; ++h) {
            const int column = across->logicalIndex(h);
            if (table.isColumnHidden(column))
                continue;
            const QModelIndex index = model->index(row, column);
            line << (selection->isSelected(index) ? exportText(*model, index) : QString());
        }
        text += tabLine(line);
    }
    return text;
}

void copySelectionOnCopyKey(QTableView& table)
{
    table.installEventFilter(new CopyKey(table));
}

bool saveCsv(const QAbstractItemModel& model, const QString& suggested)
{
    const QString path = FileChooser::saveFile(u"保存为CSV文件"_s, suggested, u"CSV 文件 (*.csv)"_s);
    if (path.isEmpty())
        return false;
    if (!LedgerTransfer::writeWhole(path, QByteArray("\xEF\xBB\xBF") + csvText(model).toUtf8())) {
        MessageBox::show(u"保存CSV文件失败。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return false;
    }
    return true;
}

bool savePng(QWidget& widget, const QString& suggested)
{
    const QString path = FileChooser::saveFile(u"保存图表"_s, suggested, u"PNG 图片 (*.png)"_s);
    if (path.isEmpty())
        return false;
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly) || !widget.grab().save(&buffer, "PNG"))
            bytes.clear();
    }
    if (bytes.isEmpty() || !LedgerTransfer::writeWhole(path, bytes)) {
        MessageBox::show(u"保存图表失败。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return false;
    }
    return true;
}

} // namespace ovelta::TableExport
