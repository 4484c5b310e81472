#pragma once

#include <QList>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolBar;
class QTreeWidget;

namespace ovelta {

class DatePicker;
class EditBox;
class FrameBox;
class LedgerGrid;
class LedgerWindow;
class MultiLineEdit;

// The controls of each catalogue window, typed and named for what they are. Each set is filled once, by its
// from(), right after the window's controls are built; a control missing from the window, or of another kind,
// aborts there at once. The windows' code reaches its controls only through these sets.

/// The main window (Ovelta).
struct MainControls
{
    LedgerGrid* grid = nullptr; ///< 高级表格
    QToolBar* toolBar = nullptr; ///< 工具条1
    /// The actions of the toolbar's ten buttons, by the 0-based index of their button (MainWindow::Command).
    QList<QAction*> toolActions;
    QLabel* productPane = nullptr; ///< 状态条1, pane 0
    QLabel* datePane = nullptr; ///< 状态条1, pane 1

    static MainControls from(const LedgerWindow& window);
};

/// The login window.
struct LoginControls
{
    EditBox* user = nullptr; ///< 用户编辑框
    EditBox* password = nullptr; ///< 口令编辑框
    QPushButton* login = nullptr; ///< 登录按钮
    QPushButton* cancel = nullptr; ///< 取消按钮

    static LoginControls from(const LedgerWindow& window);
};

/// The password window (修改用户口令).
struct PasswordControls
{
    EditBox* current = nullptr; ///< 编辑框1
    EditBox* fresh = nullptr; ///< 编辑框2, the new password
    EditBox* confirmation = nullptr; ///< 编辑框3
    QPushButton* ok = nullptr; ///< 确定按钮
    QPushButton* cancel = nullptr; ///< 取消按钮

    static PasswordControls from(const LedgerWindow& window);
};

/// The record entry window (添加人情).
struct EntryControls
{
    QComboBox* direction = nullptr; ///< 收送组合框
    DatePicker* date = nullptr; ///< 日期框
    EditBox* name = nullptr; ///< 姓名编辑框
    QComboBox* relation = nullptr; ///< 关系组合框
    QComboBox* occasion = nullptr; ///< 类型组合框
    EditBox* amount = nullptr; ///< 金额编辑框
    EditBox* note = nullptr; ///< 说明编辑框
    QPushButton* save = nullptr; ///< 添加按钮
    QPushButton* back = nullptr; ///< 返回按钮

    static EntryControls from(const LedgerWindow& window);
};

/// The two lookup list windows, relations (来往关系管理) and banquet types (酒席类型管理).
struct ListControls
{
    EditBox* entry = nullptr; ///< 编辑框1
    QTreeWidget* list = nullptr; ///< 超级列表框1
    QPushButton* add = nullptr; ///< 添加关系按钮 or 添加类型按钮
    QPushButton* remove = nullptr; ///< 删除关系按钮 or 删除类型按钮
    QPushButton* back = nullptr; ///< 返回按钮

    static ListControls fromRelations(const LedgerWindow& window);
    static ListControls fromOccasions(const LedgerWindow& window);
};

/// The search window (人情查询).
struct SearchControls
{
    QCheckBox* dateRange = nullptr; ///< 选择框1
    DatePicker* start = nullptr; ///< 起始日期框
    DatePicker* end = nullptr; ///< 截止日期框
    QComboBox* direction = nullptr; ///< 收送组合框
    EditBox* name = nullptr; ///< 姓名编辑框
    QPushButton* search = nullptr; ///< 查询按钮
    QPushButton* back = nullptr; ///< 返回按钮

    static SearchControls from(const LedgerWindow& window);
};

/// The record details window.
struct DetailsControls
{
    EditBox* direction = nullptr; ///< 收送编辑框
    EditBox* name = nullptr; ///< 姓名编辑框
    EditBox* date = nullptr; ///< 时间编辑框
    EditBox* relation = nullptr; ///< 关系编辑框
    EditBox* occasion = nullptr; ///< 类型编辑框
    EditBox* amount = nullptr; ///< 金额编辑框
    MultiLineEdit* note = nullptr; ///< 说明编辑框
    FrameBox* frame = nullptr; ///< 外形框1

    /// The six single-line boxes, in the order the window fills them.
    QList<EditBox*> lineBoxes() const { return {direction, name, date, relation, occasion, amount}; }

    static DetailsControls from(const LedgerWindow& window);
};

} // namespace ovelta
