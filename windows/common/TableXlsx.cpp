#include "windows/common/TableXlsx.h"

#include "store/ledger/LedgerXlsx.h"
#include "ui/base/MessageBox.h"
#include "windows/common/FileChooser.h"
#include "windows/common/TableExport.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace ovelta::TableXlsx {

namespace {

/// The sheet's name: the file's, without the characters a sheet name cannot hold, at most 31 characters.
QString sheetName(const QString& path)
{
    static const QRegularExpression forbidden(u"[\\[\\]:*?/\\\\']"_s);
    const QString name = QFileInfo(path).completeBaseName().remove(forbidden).left(31).trimmed();
    return name.isEmpty() ? u"表格"_s : name;
}

void writeCell(XlsxBook& book, const QAbstractItemModel& model, const QModelIndex& index)
{
    const int column = index.column();
    const QString shown = model.data(index).toString();
    const QVariant exported = model.data(index, TableExport::ExportRole);
    if (exported.isValid()) {
        const QString text = exported.toString();
        static const QRegularExpression isoDate(u"^\\d{4}-\\d{2}-\\d{2}$"_s);
        if (isoDate.match(text).hasMatch() && QDate::fromString(text, Qt::ISODate).isValid())
            book.date(column, QDate::fromString(text, Qt::ISODate));
        else
            book.amount(column, text);
        return;
    }
    const QVariant plain = model.data(index, Qt::UserRole);
    const int type = plain.metaType().id();
    const bool integer = type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::UInt;
    if (integer && QString::number(plain.toLongLong()) == shown)
        book.number(column, plain.toLongLong());
    else
        book.text(column, shown);
}

} // namespace

Done writeXlsx(const QAbstractItemModel& model, const QString& path)
{
    QStringList header;
    for (int c = 0; c < model.columnCount(); ++c)
        header << model.headerData(c, Qt::Horizontal).toString();
    XlsxBook book(path);
    if (const Done opened = book.open(sheetName(path), header); !opened)
        return opened;
    for (int r = 0; r < model.rowCount(); ++r) {
        for (int c = 0; c < model.columnCount(); ++c)
            writeCell(book, model, model.index(r, c));
        book.nextRow();
    }
    return book.commit();
}

bool saveXlsx(const QAbstractItemModel& model, const QString& suggested)
{
    const QString path = FileChooser::saveFile(u"保存为Excel文件"_s, suggested, u"Excel 工作簿 (*.xlsx)"_s);
    if (path.isEmpty())
        return false;
    if (const Done written = writeXlsx(model, path); !written) {
        MessageBox::show(u"保存Excel文件失败：\n"_s + written.errorText(), u"错误"_s, MessageBox::OkOnly,
                         MessageBox::Stop);
        return false;
    }
    return true;
}

} // namespace ovelta::TableXlsx
