#include "windows/transfer/ImportReviewWindow.h"

#include "store/value/Money.h"
#include "ui/base/MessageBox.h"
#include "windows/common/FileChooser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

QTableWidget* makeTable(QWidget* parent, const QString& name, const QStringList& headers)
{
    auto* table = new QTableWidget(parent);
    table->setObjectName(name);
    table->setColumnCount(int(headers.size()));
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void setRow(QTableWidget* table, int row, const QStringList& texts)
{
    for (int column = 0; column < texts.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(texts[column]));
}

} // namespace

QString ImportReviewWindow::summary(const LedgerImport::Checked& checked)
{
    return u"可以导入%1条账目，其中%2条与账本中已有的账目相同（收送、姓名、日期和金额都相同）；%3行有错误，不能导入。"_s
        .arg(checked.candidates.size())
        .arg(checked.duplicates)
        .arg(checked.problems.size());
}

ImportReviewWindow::ImportReviewWindow(const LedgerImport::Checked& checked, const QStringList& fileHeader,
                                       QWidget* parent)
    : QDialog(parent)
    , m_checked(checked)
    , m_fileHeader(fileHeader)
{
    setObjectName(u"导入检查窗口"_s);
    setWindowTitle(u"导入CSV/Excel：检查结果"_s);
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    auto* summaryLabel = new QLabel(summary(checked), this);
    summaryLabel->setObjectName(u"摘要标签"_s);
    summaryLabel->setWordWrap(true);
    layout->addWidget(summaryLabel);

    if (!checked.problems.isEmpty()) {
        layout->addWidget(new QLabel(u"有错误的行："_s, this));
        QTableWidget* problems = makeTable(this, u"错误表"_s, {u"行号"_s, u"原因"_s});
        problems->setRowCount(int(std::min<qsizetype>(checked.problems.size(), 10000)));
        for (int row = 0; row < problems->rowCount(); ++row) {
            const auto& problem = checked.problems[row];
            setRow(problems, row, {QString::number(problem.line), problem.reason});
        }
        layout->addWidget(problems);
    }
    if (checked.duplicates > 0) {
        layout->addWidget(new QLabel(u"与账本中已有账目相同的行（默认不导入）："_s, this));
        QTableWidget* duplicates
            = makeTable(this, u"重复表"_s, {u"行号"_s, u"收送"_s, u"姓名"_s, u"时间"_s, u"金额"_s});
        duplicates->setRowCount(int(std::min<qsizetype>(checked.duplicates, 10000)));
        int row = 0;
        for (const auto& candidate : checked.candidates) {
            if (!candidate.duplicate || row >= duplicates->rowCount())
                continue;
            const LedgerRecord& r = candidate.record;
            setRow(duplicates, row++,
                   {QString::number(candidate.line), r.direction, r.name,
                    r.time ? LedgerTransfer::dateText(*r.time) : QString(),
                    r.amount ? Money::toLiteral(*r.amount) : QString()});
        }
        layout->addWidget(duplicates);
    }
    m_keepDuplicates = new QCheckBox(u"相同的账目也导入"_s, this);
    m_keepDuplicates->setObjectName(u"保留重复框"_s);
    m_keepDuplicates->setVisible(checked.duplicates > 0);
    layout->addWidget(m_keepDuplicates);
    if (!checked.newRelations.isEmpty() || !checked.newOccasions.isEmpty()) {
        auto* added = new QLabel(this);
        added->setObjectName(u"新条目标签"_s);
        added->setWordWrap(true);
        QStringList lines;
        if (!checked.newRelations.isEmpty())
            lines << u"列表中还没有的关系：%1"_s.arg(checked.newRelations.join(u"、"_s));
        if (!checked.newOccasions.isEmpty())
            lines << u"列表中还没有的类型：%1"_s.arg(checked.newOccasions.join(u"、"_s));
        added->setText(lines.join(u'\n'));
        layout->addWidget(added);
    }

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* importButton = buttons->addButton(u"导入"_s, QDialogButtonBox::AcceptRole);
    importButton->setObjectName(u"导入按钮"_s);
    importButton->setEnabled(!checked.candidates.empty());
    importButton->setDefault(true);
    QPushButton* save = buttons->addButton(u"保存错误行…"_s, QDialogButtonBox::ActionRole);
    save->setObjectName(u"保存错误行按钮"_s);
    save->setEnabled(!checked.problems.isEmpty());
    QPushButton* cancel = buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole);
    cancel->setObjectName(u"取消按钮"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, [this] { saveProblems(); });
    layout->addWidget(buttons);
    resize(720, 480);
}

bool ImportReviewWindow::keepDuplicates() const
{
    return m_keepDuplicates->isChecked();
}

void ImportReviewWindow::saveProblems()
{
    const QString path = FileChooser::saveFile(u"保存错误行"_s, u"导入错误.csv"_s, u"CSV文件 (*.csv)"_s);
    if (path.isEmpty())
        return;
    const Done written = LedgerTransfer::writeWhole(path, LedgerImport::problemsCsv(m_fileHeader, m_checked.problems));
    if (!written) {
        MessageBox::show(u"保存错误行失败：\n"_s + written.errorText(), u"保存错误行"_s, MessageBox::OkOnly,
                         MessageBox::Stop);
        return;
    }
    MessageBox::show(u"已把%1行有错误的账目保存到\n%2\n改正后可以再次导入。"_s.arg(m_checked.problems.size()).arg(path),
                     u"保存错误行"_s, MessageBox::OkOnly, MessageBox::Information);
}

} // namespace ovelta
