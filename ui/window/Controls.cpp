#include "ui/window/Controls.h"

#include "ui/base/DatePicker.h"
#include "ui/base/EditBox.h"
#include "ui/base/FrameBox.h"
#include "ui/grid/LedgerGrid.h"
#include "ui/window/LedgerWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

QString where(const LedgerWindow& window)
{
    return window.def().caption.isEmpty() ? window.def().id : window.def().caption;
}

/// The control of that name, which must be a T; aborts when it is missing ("no control NAME in CAPTION") or of
/// another kind.
template <typename T> T* find(const LedgerWindow& window, const QString& name)
{
    QWidget* widget = window.control(name);
    auto* typed = qobject_cast<T*>(widget);
    if (typed == nullptr)
        qFatal("control %s in %s is a %s, not a %s", qUtf8Printable(name), qUtf8Printable(where(window)),
               widget->metaObject()->className(), T::staticMetaObject.className());
    return typed;
}

/// The part of a control that the builder names after it (a status bar pane, a toolbar action).
template <typename T> T* findPart(const LedgerWindow& window, QWidget* control, const QString& name)
{
    T* part = control->findChild<T*>(name);
    if (part == nullptr)
        qFatal("no control %s in %s", qUtf8Printable(name), qUtf8Printable(where(window)));
    return part;
}

ListControls listControls(const LedgerWindow& window, const QString& noun)
{
    return {
        .entry = find<EditBox>(window, u"编辑框1"_s),
        .list = find<QTreeWidget>(window, u"超级列表框1"_s),
        .add = find<QPushButton>(window, u"添加"_s + noun + u"按钮"_s),
        .remove = find<QPushButton>(window, u"删除"_s + noun + u"按钮"_s),
        .back = find<QPushButton>(window, u"返回按钮"_s),
    };
}

} // namespace

MainControls MainControls::from(const LedgerWindow& window)
{
    const QString toolBarName = u"工具条1"_s;
    const QString statusBarName = u"状态条1"_s;
    auto* toolBar = find<QToolBar>(window, toolBarName);
    QList<QAction*> toolActions;
    const ControlDef* toolBarDef = window.def().control(toolBarName);
    for (int i = 0; i < int(toolBarDef->toolButtons.size()); ++i)
        toolActions.append(findPart<QAction>(window, toolBar, toolBarName + u'_' + QString::number(i)));
    auto* statusBar = find<QStatusBar>(window, statusBarName);
    return {
        .grid = find<LedgerGrid>(window, u"高级表格"_s),
        .toolBar = toolBar,
        .toolActions = toolActions,
        .productPane = findPart<QLabel>(window, statusBar, statusBarName + u"_0"_s),
        .datePane = findPart<QLabel>(window, statusBar, statusBarName + u"_1"_s),
    };
}

LoginControls LoginControls::from(const LedgerWindow& window)
{
    return {
        .user = find<EditBox>(window, u"用户编辑框"_s),
        .password = find<EditBox>(window, u"口令编辑框"_s),
        .login = find<QPushButton>(window, u"登录按钮"_s),
        .cancel = find<QPushButton>(window, u"取消按钮"_s),
    };
}

PasswordControls PasswordControls::from(const LedgerWindow& window)
{
    return {
        .current = find<EditBox>(window, u"编辑框1"_s),
        .fresh = find<EditBox>(window, u"编辑框2"_s),
        .confirmation = find<EditBox>(window, u"编辑框3"_s),
        .ok = find<QPushButton>(window, u"确定按钮"_s),
        .cancel = find<QPushButton>(window, u"取消按钮"_s),
    };
}

EntryControls EntryControls::from(const LedgerWindow& window)
{
    return {
        .direction = find<QComboBox>(window, u"收送组合框"_s),
        .date = find<DatePicker>(window, u"日期框"_s),
        .name = find<EditBox>(window, u"姓名编辑框"_s),
        .relation = find<QComboBox>(window, u"关系组合框"_s),
        .occasion = find<QComboBox>(window, u"类型组合框"_s),
        .amount = find<EditBox>(window, u"金额编辑框"_s),
        .note = find<EditBox>(window, u"说明编辑框"_s),
        .save = find<QPushButton>(window, u"添加按钮"_s),
        .back = find<QPushButton>(window, u"返回按钮"_s),
    };
}

ListControls ListControls::fromRelations(const LedgerWindow& window)
{
    return listControls(window, u"关系"_s);
}

ListControls ListControls::fromOccasions(const LedgerWindow& window)
{
    return listControls(window, u"类型"_s);
}

SearchControls SearchControls::from(const LedgerWindow& window)
{
    return {
        .dateRange = find<QCheckBox>(window, u"选择框1"_s),
        .start = find<DatePicker>(window, u"起始日期框"_s),
        .end = find<DatePicker>(window, u"截止日期框"_s),
        .direction = find<QComboBox>(window, u"收送组合框"_s),
        .name = find<EditBox>(window, u"姓名编辑框"_s),
        .search = find<QPushButton>(window, u"查询按钮"_s),
        .back = find<QPushButton>(window, u"返回按钮"_s),
    };
}

DetailsControls DetailsControls::from(const LedgerWindow& window)
{
    return {
        .direction = find<EditBox>(window, u"收送编辑框"_s),
        .name = find<EditBox>(window, u"姓名编辑框"_s),
        .date = find<EditBox>(window, u"时间编辑框"_s),
        .relation = find<EditBox>(window, u"关系编辑框"_s),
        .occasion = find<EditBox>(window, u"类型编辑框"_s),
        .amount = find<EditBox>(window, u"金额编辑框"_s),
        .note = find<MultiLineEdit>(window, u"说明编辑框"_s),
        .frame = find<FrameBox>(window, u"外形框1"_s),
    };
}

} // namespace ovelta
