#include "windows/TableExport.h"

#include "ui/MessageBox.h"

#include <QAbstractItemModel>
#include <QBuffer>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPixmap>
#include <QRegularExpression>
#include <QSaveFile>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace ovelta::TableExport {

namespace {

FileChooser& chooser()
{
    static FileChooser c;
    return c;
}

QString choose(QWidget* parent, const QString& title, const QString& suggested, const QString& filter)
{
    if (chooser())
        return chooser()(title, suggested, filter);
    // The dialog asks before it lets an existing file be replaced.
    return QFileDialog::getSaveFileName(parent, title, suggested, filter);
}

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
    QString cell = text;
    if (!cell.isEmpty() && QStringView(u"=+-@").contains(cell.front()) && !isNumber(cell))
        cell.prepend(u'\'');
    if (cell.contains(u',') || cell.contains(u'"') || cell.contains(u'\n') || cell.contains(u'\r')) {
        cell.replace(u"\""_s, u"\"\""_s);
        cell = u'"' + cell + u'"';
    }
    return cell;
}

bool write(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
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

bool saveCsv(QWidget* parent, const QAbstractItemModel& model, const QString& suggested)
{
    const QString path = choose(parent, u"保存为CSV文件"_s, suggested, u"CSV 文件 (*.csv)"_s);
    if (path.isEmpty())
        return false;
    if (!write(path, QByteArray("\xEF\xBB\xBF") + csvText(model).toUtf8())) {
        MessageBox::show(u"保存CSV文件失败。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return false;
    }
    return true;
}

bool savePng(QWidget* parent, QWidget& widget, const QString& suggested)
{
    const QString path = choose(parent, u"保存图表"_s, suggested, u"PNG 图片 (*.png)"_s);
    if (path.isEmpty())
        return false;
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly) || !widget.grab().save(&buffer, "PNG"))
            bytes.clear();
    }
    if (bytes.isEmpty() || !write(path, bytes)) {
        MessageBox::show(u"保存图表失败。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return false;
    }
    return true;
}

void setFileChooser(FileChooser c)
{
    chooser() = std::move(c);
}

} // namespace ovelta::TableExport
