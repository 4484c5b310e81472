#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <Qt>
#include <vector>

namespace ovelta {

enum class ControlKind {
    EditBox, ///< 编辑框: single-line EditBox, or MultiLineEdit when multiLine is set
    Button, ///< 按钮: QPushButton
    Label, ///< 透明标签: QLabel without background
    Frame, ///< 外形框: FrameBox, a 2-px blue outline that receives background presses
    ComboBox, ///< 组合框: non-editable QComboBox
    DatePicker, ///< 日期框: DatePicker (QDateTimeEdit with a calendar popup)
    CheckBox, ///< 选择框: QCheckBox
    PictureButton, ///< 图形按钮: QToolButton showing a 32×32 picture
    ListView, ///< 超级列表框: QTreeWidget in report view
    ToolBar, ///< 工具条: QToolBar docked at the top
    StatusBar, ///< 状态条: QStatusBar docked at the bottom
    Grid, ///< 高级表格: LedgerGrid
    DatabaseConnection, ///< invisible; no widget is built
    RecordSet, ///< invisible; no widget is built
    ExternalDatabase, ///< invisible; no widget is built
    CommonDialog, ///< invisible; no widget is built
};

enum class FontDef { Default, S12, S14 };

/// One toolbar button: caption (drawn under the image), tooltip (empty for none) and picture resource.
struct ToolButtonDef
{
    QString caption;
    QString toolTip;
    QString picture;
};

/// One row of a window's control table.
struct ControlDef
{
    QString name;
    ControlKind kind = ControlKind::Label;
    QRect rect; ///< relative to the parent's client area
    QString parent; ///< empty: the window; otherwise the name of a frame control
    QString text; ///< caption or label text
    int tabKey = 0;
    bool tabStop = false;
    bool visible = true;
    bool enabled = true;
    bool defaultButton = false;
    bool multiLine = false;
    bool readOnly = false;
    bool password = false; ///< shows "*" for every character
    int maxLength = 0; ///< 0 = no limit; for password boxes counted in GBK bytes
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    FontDef font = FontDef::Default;
    bool typing = true; ///< date picker: the user may type the date
    QString picture; ///< picture button: resource path
    std::vector<ToolButtonDef> toolButtons; ///< toolbar only
    std::vector<int> paneWidths; ///< status bar only
};

enum class FrameKind { Normal, Tool, None };

/// A window of the catalogue: its look and its control table in creation order.
struct WindowDef
{
    QString id; ///< stable name used by the window registry ("main", "login", ...)
    QString caption;
    QSize outerSize; ///< frame and title bar included
    FrameKind frame = FrameKind::None;
    bool closeBox = false;
    bool minimiseBox = false;
    bool escCloses = false;
    bool dragAnywhere = false;
    bool programIcon = false;
    bool taskbar = false;
    /// A menu bar above the client area: the window grows by the bar's height and the controls keep their
    /// places relative to the area below it.
    bool menuBar = false;
    std::vector<ControlDef> controls;

    /// Client size: the outer size less the frame and title bar this window's frame kind draws.
    QSize clientSize() const;
    const ControlDef* control(const QString& name) const;
};

} // namespace ovelta
