#include "windows/ledger/ListWindow.h"
#include "store/value/BlankText.h"

#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "ui/base/EditBox.h"
#include "ui/base/MessageBox.h"
#include "ui/base/SharedState.h"
#include "ui/window/Catalogue.h"
#include "windows/common/LedgerHost.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr int idColumnWidth = 33;
constexpr int entryColumnWidth = 70;
// An ID is written as a number with at most this many significant digits, in its shortest form.
constexpr int idDigits = 13;

} // namespace

const ListWindow::Differences& ListWindow::differences(Kind kind)
{
    static const Differences occasions{
        .columnTitle = u"酒席类型"_s,
        .list = LedgerStatements::LookupList::Occasions,
        .emptyText = u"请输入类型！"_s,
        .emptyTitle = u"错误"_s,
        .duplicateText = u"重复类型！"_s,
        .duplicateTitle = u"错误"_s,
        .refusedText = u"添加类型失败！"_s,
        .refusedTitle = u"添加失败"_s,
        .doneText = u"类型添加成功！"_s,
        .doneTitle = u"添加成功"_s,
    };
    static const Differences relations{
        .columnTitle = u"来往关系"_s,
        .list = LedgerStatements::LookupList::Relations,
        .emptyText = u"请输入关系！"_s,
        .emptyTitle = u"提示"_s,
        .duplicateText = u"重复关系！"_s,
        .duplicateTitle = u"错误"_s,
        .refusedText = u"添加关系失败！"_s,
        .refusedTitle = u"添加失败"_s,
        .doneText = u"成功添关系！"_s,
        .doneTitle = u"添加成功"_s,
    };
    return kind == Relations ? relations : occasions;
}

ListWindow::ListWindow(LedgerHost& host, Kind kind, QWidget* parent)
    : LedgerWindow(kind == Relations ? Catalogue::relationsWindow() : Catalogue::occasionsWindow(), parent)
    , m_host(host)
    , m_kind(kind)
    , m_table(differences(kind))
    , m_controls(kind == Relations ? ListControls::fromRelations(*this) : ListControls::fromOccasions(*this))
{
    connect(m_controls.add, &QPushButton::clicked, this, &ListWindow::addEntry);
    connect(m_controls.remove, &QPushButton::clicked, this, &ListWindow::deleteSelected);
    connect(m_controls.back, &QPushButton::clicked, this, &ListWindow::returnToLedger);
}

void ListWindow::created()
{
    loadList();
}

QString& ListWindow::sharedNewEntry() const
{
    auto& state = SharedState::instance();
    return m_kind == Relations ? state.newRelation : state.newBanquetType;
}

qint32& ListWindow::sharedListRowSet() const
{
    auto& state = SharedState::instance();
    return m_kind == Relations ? state.relationListRowSet : state.banquetListRowSet;
}

void ListWindow::loadList()
{
    ExternalDatabase& external = m_host.database().external;
    // A fresh connection sees the rows just written through 数据库连接; when it fails the old one serves.
    external.connect(LedgerFile::name(), QString(), LedgerFile::sessionKey());

    QTreeWidget* view = m_controls.list;
    view->clear();
    view->setColumnCount(0);
    view->setColumnCount(2);
    QTreeWidgetItem* header = view->headerItem();
    header->setText(0, u"ID"_s);
    header->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    header->setText(1, m_table.columnTitle);
    header->setTextAlignment(1, Qt::AlignHCenter | Qt::AlignVCenter);
    // The columns keep the widths they are given, like report columns, instead of filling the view.
    view->header()->setStretchLastSection(false);
    view->header()->resizeSection(0, idColumnWidth);
    view->header()->resizeSection(1, entryColumnWidth);

    qint32& rowSet = sharedListRowSet();
    rowSet = external.query(LedgerStatements::listLookup(m_table.list));
    external.moveFirst(rowSet);
    while (!external.atEnd(rowSet)) {
        auto* item = new QTreeWidgetItem(view);
        item->setText(0, QString::number(external.read(rowSet, 1).toDouble(), 'g', idDigits));
        item->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
        item->setText(1, external.read(rowSet, 2).toString());
        item->setTextAlignment(1, Qt::AlignHCenter | Qt::AlignVCenter);
        external.moveNext(rowSet);
    }
    external.close(rowSet);

    focus(m_controls.entry);
}

void ListWindow::addEntry()
{
    QString& entry = sharedNewEntry();
    entry = BlankText::trimmed(m_controls.entry->text());
    if (entry.isEmpty()) {
        MessageBox::show(m_table.emptyText, m_table.emptyTitle, MessageBox::OkOnly, MessageBox::Stop);
        focus(m_controls.entry);
        return;
    }

    const DatabaseObjects db = m_host.database();
    db.recordSet.open(LedgerStatements::findDuplicate(m_table.list, entry));
    // A query the engine refuses counts -1 rows and is reported as a duplicate as well.
    const int matches = db.recordSet.rowCount();
    db.recordSet.close();
    if (matches != 0) {
        MessageBox::show(m_table.duplicateText, m_table.duplicateTitle, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }

    if (!db.connection.execute(LedgerStatements::addLookup(m_table.list, entry))) {
        MessageBox::show(m_table.refusedText, m_table.refusedTitle, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    MessageBox::show(m_table.doneText, m_table.doneTitle, MessageBox::OkOnly, MessageBox::Information);
    m_controls.entry->setText(QString());
    loadList();
}

QString ListWindow::firstSelectedId() const
{
    const QTreeWidget* view = m_controls.list;
    for (int row = 0; row < view->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = view->topLevelItem(row);
        if (item->isSelected())
            return item->text(0);
    }
    return QString();
}

void ListWindow::deleteSelected()
{
    const QString notDeleted = u"数据没有被删除！"_s;
    const auto answer = MessageBox::show(u"确认删除?"_s, u"警告!"_s, MessageBox::YesNo, MessageBox::Warning, 0);
    if (answer != MessageBox::Yes) {
        MessageBox::show(notDeleted, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }

    const QString id = firstSelectedId();
    repaint();
    // Without a selection the statement would end in "id=" and fail; it is not sent at all.
    if (id.isEmpty() || !m_host.database().connection.execute(LedgerStatements::deleteLookup(m_table.list, id))) {
        MessageBox::show(notDeleted, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    MessageBox::show(u"删除数据成功！"_s, u"提示"_s, MessageBox::OkOnly, MessageBox::Information);
    loadList();
}

void ListWindow::returnToLedger()
{
    requestClose();
    m_host.bringLedgerToFront();
}

} // namespace ovelta
