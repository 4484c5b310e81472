#include "windows/transfer/ImportMappingWindow.h"

#include "ui/base/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

qsizetype columnCount(const CsvTable& table)
{
    qsizetype columns = 0;
    for (qsizetype i = 0; i < table.rows.size() && i < ImportMappingWindow::PreviewRows + 1; ++i)
        columns = std::max(columns, table.rows[i].size());
    return columns;
}

/// A field's text shortened for a cell or a list entry, its line breaks shown as blanks.
QString shortText(const QString& text)
{
    QString shown = text.left(40);
    shown.replace(u'\n', u' ').replace(u'\r', u' ');
    return text.size() > 40 ? shown + u'…' : shown;
}

} // namespace

QStringList ImportMappingWindow::boxNames()
{
    return {u"收送列框"_s, u"姓名列框"_s, u"时间列框"_s, u"关系列框"_s, u"类型列框"_s, u"金额列框"_s, u"说明列框"_s};
}

ImportMappingWindow::ImportMappingWindow(const CsvTable& table, const ColumnMapping& mapping, QWidget* parent)
    : QDialog(parent)
    , m_table(table)
{
    setObjectName(u"导入映射窗口"_s);
    setWindowTitle(u"导入CSV/Excel：选择各项所在的列"_s);
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    // A workbook's sheet has no encoding of its own to tell: its kind is told instead.
    const QString source = table.encoding.endsWith(u"工作簿"_s) ? table.encoding : u"编码："_s + table.encoding;
    layout->addWidget(
        new QLabel(u"这个文件不是本程序导出的格式。请为每一项选择文件中的一列（%1，共%2行）。"_s.arg(source).arg(
                       table.rows.size()),
                   this));

    m_preview = new QTableWidget(this);
    m_preview->setObjectName(u"预览表"_s);
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->setMinimumSize(640, 240);
    layout->addWidget(m_preview);

    m_headerRow = new QCheckBox(u"第一行是标题（不导入）"_s, this);
    m_headerRow->setObjectName(u"首行标题框"_s);
    m_headerRow->setChecked(mapping.headerRow);
    layout->addWidget(m_headerRow);

    auto* form = new QFormLayout;
    const QStringList fields = LedgerTransfer::header();
    const QStringList names = boxNames();
    const qsizetype columns = columnCount(table);
    const QStringList first = table.rows.value(0);
    for (int field = 0; field < ColumnMapping::FieldCount; ++field) {
        auto* box = new QComboBox(this);
        box->setObjectName(names[field]);
        box->addItem(u"（不导入）"_s, -1);
        for (int column = 0; column < columns; ++column)
            box->addItem(u"第%1列：%2"_s.arg(column + 1).arg(shortText(first.value(column))), column);
        const int chosen = mapping.columns[size_t(field)];
        box->setCurrentIndex(chosen >= 0 && chosen < columns ? chosen + 1 : 0);
        form->addRow(fields[field] + u'：', box);
        m_boxes[size_t(field)] = box;
    }
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(u"确定"_s, QDialogButtonBox::AcceptRole);
    ok->setObjectName(u"确定按钮"_s);
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole);
    cancel->setObjectName(u"取消按钮"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    fillPreview();
}

void ImportMappingWindow::fillPreview()
{
    const qsizetype rows = std::min<qsizetype>(m_table.rows.size(), PreviewRows);
    const qsizetype columns = columnCount(m_table);
    m_preview->setRowCount(int(rows));
    m_preview->setColumnCount(int(columns));
    QStringList headers;
    for (qsizetype column = 0; column < columns; ++column)
        headers << u"第%1列"_s.arg(column + 1);
    m_preview->setHorizontalHeaderLabels(headers);
    QStringList lines;
    for (qsizetype row = 0; row < rows; ++row) {
        lines << QString::number(m_table.lines[row]);
        for (qsizetype column = 0; column < m_table.rows[row].size(); ++column)
            m_preview->setItem(int(row), int(column), new QTableWidgetItem(shortText(m_table.rows[row][column])));
    }
    m_preview->setVerticalHeaderLabels(lines);
}

ColumnMapping ImportMappingWindow::mapping() const
{
    ColumnMapping mapping;
    for (size_t field = 0; field < m_boxes.size(); ++field)
        mapping.columns[field] = m_boxes[field]->currentData().toInt();
    mapping.headerRow = m_headerRow->isChecked();
    return mapping;
}

void ImportMappingWindow::accept()
{
    const ColumnMapping chosen = mapping();
    if (chosen.columns[ColumnMapping::Direction] < 0 || chosen.columns[ColumnMapping::Relation] < 0
        || chosen.columns[ColumnMapping::Kind] < 0) {
        MessageBox::show(u"请为收送、关系和类型各选一列。"_s, u"导入CSV/Excel"_s, MessageBox::OkOnly,
                         MessageBox::Information);
        return;
    }
    QDialog::accept();
}

} // namespace ovelta
