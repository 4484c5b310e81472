#include "windows/TableExport.h"

#include "store/CsvTable.h"
#include "store/LedgerTransfer.h"
#include "ui/MessageBox.h"
#include "windows/FileChooser.h"

#include <QAbstractItemModel>
#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QPixmap>
#include <QRegularExpression>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace ovelta::TableExport {

namespace {

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
        for (int c = 0; c < model.columnCount(); ++c) {
            const QModelIndex index = model.index(r, c);
            const QVariant exported = model.data(index, ExportRole);
            row << (exported.isValid() ? exported.toString() : model.data(index).toString());
        }
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
    for (const QStringList& row : cells(model)) {
        QStringList clean;
        for (const QString& cell : row)
            clean << QString(cell).replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
        text += clean.join(u'\t') + u'\n';
    }
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

bool saveCsv(const QAbstractItemModel& model, const QString& suggested)
{
    const QString path = FileChooser::saveFile(u"保存为CSV文件"_s, suggested, u"CSV 文件 (*.csv)"_s);
    if (path.isEmpty())
        return false;
    if (!LedgerTransfer::writeWhole(path, QByteArray("\xEF\xBB\xBF") + csvText(model).toUtf8(), nullptr)) {
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
    if (bytes.isEmpty() || !LedgerTransfer::writeWhole(path, bytes, nullptr)) {
        MessageBox::show(u"保存图表失败。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return false;
    }
    return true;
}

} // namespace ovelta::TableExport
