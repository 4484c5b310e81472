#include "windows/ledger/SearchWindow.h"

#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "ui/base/DatePicker.h"
#include "ui/base/EditBox.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"
#include "ui/grid/LedgerGrid.h"
#include "ui/window/Catalogue.h"
#include "windows/common/LedgerHost.h"
#include "windows/ledger/LedgerFill.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr double MillisecondsPerDay = 86'400'000.0;

} // namespace

SearchWindow::SearchWindow(LedgerHost& host, QWidget* parent)
    : LedgerWindow(Catalogue::searchWindow(), parent)
    , m_controls(SearchControls::from(*this))
    , m_host(host)
{
    connect(m_controls.dateRange, &QCheckBox::toggled, this, [this](bool on) {
        m_controls.start->setEnabled(on);
        m_controls.end->setEnabled(on);
    });
    connect(m_controls.search, &QPushButton::clicked, this, [this] { search(); });
    connect(m_controls.back, &QPushButton::clicked, this, [this] { requestClose(); });
}

void SearchWindow::created()
{
    const QDateTime now = Program::now();
    // addMonths clamps the day to the end of a shorter month: 31 March gives the last day of February.
    m_controls.start->setLocalDateTime(now.addMonths(-1));
    m_controls.end->setLocalDateTime(now);

    QComboBox* directions = m_controls.direction;
    directions->clear();
    directions->addItem(LedgerStatements::anyDirection());
    RecordSet& records = m_host.database().recordSet;
    records.openTable(u"收送"_s);
    records.moveFirst();
    while (!records.atEnd()) {
        QString direction;
        records.readText(u"收送"_s, direction);
        directions->addItem(direction);
        records.moveNext();
    }
    records.close();
    directions->setCurrentIndex(0);
}

void SearchWindow::search()
{
    const QDateTime start = m_controls.start->dateTime();
    const QDateTime end = m_controls.end->dateTime();
    // Checked whether or not the range is on; equal dates pass.
    if (double(end.msecsTo(start)) / MillisecondsPerDay > 0.0000001) {
        MessageBox::show(u"起始日期应小于截止日期。"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Information);
        focus(m_controls.start);
        return;
    }

    LedgerGrid& grid = m_host.grid();
    grid.prepare();

    LedgerStatements::SearchInput input;
    input.rangeOn = m_controls.dateRange->isChecked();
    input.start = start.date();
    input.end = end.date();
    input.direction = m_controls.direction->currentText();
    input.name = m_controls.name->text();

    RecordSet& records = m_host.database().recordSet;
    if (!records.open(LedgerStatements::search(input))) {
        MessageBox::show(u"打开数据表失败！"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    LedgerFill::appendAll(records, grid);
    records.close();
    grid.repaintNow();
    requestClose();
}

} // namespace ovelta
