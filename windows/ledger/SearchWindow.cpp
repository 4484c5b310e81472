#include "windows/ledger/SearchWindow.h"

#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "ui/base/DatePicker.h"
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

const QString RangeBox = u"选择框1"_s;
const QString StartBox = u"起始日期框"_s;
const QString EndBox = u"截止日期框"_s;
const QString DirectionBox = u"收送组合框"_s;
const QString NameBox = u"姓名编辑框"_s;

constexpr double MillisecondsPerDay = 86'400'000.0;

} // namespace

SearchWindow::SearchWindow(LedgerHost& host, QWidget* parent)
    : LedgerWindow(Catalogue::searchWindow(), parent)
    , m_host(host)
{
    connect(control<QCheckBox>(RangeBox), &QCheckBox::toggled, this, [this](bool on) {
        control(StartBox)->setEnabled(on);
        control(EndBox)->setEnabled(on);
    });
    connect(control<QPushButton>(u"查询按钮"_s), &QPushButton::clicked, this, [this] { search(); });
    connect(control<QPushButton>(u"返回按钮"_s), &QPushButton::clicked, this, [this] { requestClose(); });
}

void SearchWindow::created()
{
    const QDateTime now = Program::now();
    // addMonths clamps the day to the end of a shorter month: 31 March gives the last day of February.
    control<DatePicker>(StartBox)->setLocalDateTime(now.addMonths(-1));
    control<DatePicker>(EndBox)->setLocalDateTime(now);

    QComboBox* directions = control<QComboBox>(DirectionBox);
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
    const QDateTime start = control<DatePicker>(StartBox)->dateTime();
    const QDateTime end = control<DatePicker>(EndBox)->dateTime();
    // Checked whether or not the range is on; equal dates pass.
    if (double(end.msecsTo(start)) / MillisecondsPerDay > 0.0000001) {
        MessageBox::show(u"起始日期应小于截止日期。"_s, u"系统提示"_s, MessageBox::OkOnly, MessageBox::Information);
        focus(StartBox);
        return;
    }

    LedgerGrid& grid = m_host.grid();
    grid.prepare();

    LedgerStatements::SearchInput input;
    input.rangeOn = control<QCheckBox>(RangeBox)->isChecked();
    input.start = start.date();
    input.end = end.date();
    input.direction = control<QComboBox>(DirectionBox)->currentText();
    input.name = text(NameBox);

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
