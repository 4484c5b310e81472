#include "windows/transfer/BackupListWindow.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ovelta {

QString BackupListWindow::sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return u"%1 字节"_s.arg(bytes);
    if (bytes < 1024 * 1024)
        return u"%1 KB"_s.arg(double(bytes) / 1024.0, 0, 'f', 1);
    return u"%1 MB"_s.arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

BackupListWindow::BackupListWindow(const QList<Entry>& entries, const QString& folder, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(u"备份窗口"_s);
    setWindowTitle(u"从备份恢复"_s);
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    auto* where = new QLabel(u"备份保存在“%1”中。选择要恢复的备份："_s.arg(folder), this);
    where->setWordWrap(true);
    layout->addWidget(where);

    m_table = new QTableWidget(int(entries.size()), 3, this);
    m_table->setObjectName(u"备份表"_s);
    m_table->setHorizontalHeaderLabels({u"备份时间"_s, u"账目数"_s, u"大小"_s});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int row = 0; row < entries.size(); ++row) {
        const Entry& entry = entries[row];
        const QStringList texts{entry.backup.time.toString(u"yyyy年M月d日 HH:mm:ss"_s),
                                entry.records >= 0 ? QString::number(entry.records) : u"无法打开"_s,
                                sizeText(entry.backup.bytes)};
        for (int column = 0; column < texts.size(); ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (column > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, column, item);
        }
    }
    if (!entries.isEmpty())
        m_table->selectRow(0);
    layout->addWidget(m_table);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* restore = buttons->addButton(u"恢复"_s, QDialogButtonBox::AcceptRole);
    restore->setObjectName(u"恢复按钮"_s);
    restore->setDefault(true);
    restore->setEnabled(!entries.isEmpty());
    QPushButton* close = buttons->addButton(u"关闭"_s, QDialogButtonBox::RejectRole);
    close->setObjectName(u"关闭按钮"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (selected() >= 0)
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this] { accept(); });
    layout->addWidget(buttons);
    resize(520, 400);
}

int BackupListWindow::selected() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

} // namespace ovelta
