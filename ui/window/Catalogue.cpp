#include "ui/window/Catalogue.h"

#include "ui/base/Pictures.h"

using namespace Qt::StringLiterals;

namespace ovelta::Catalogue {

namespace {

// One table row, written the way the catalogue reads: kind, name and rectangle first, then the settings.
// Every control is visible and enabled unless its row says otherwise; kinds that take keyboard focus are
// tab stops.
class Row
{
public:
    Row(ControlKind kind, const QString& name, QRect rect)
    {
        m_def.name = name;
        m_def.kind = kind;
        m_def.rect = rect;
        switch (kind) {
        case ControlKind::EditBox:
        case ControlKind::Button:
        case ControlKind::ComboBox:
        case ControlKind::DatePicker:
        case ControlKind::CheckBox:
        case ControlKind::ListView:
        case ControlKind::Grid:
            m_def.tabStop = true;
            break;
        default:
            break;
        }
    }

    Row& text(const QString& text)
    {
        m_def.text = text;
        return *this;
    }
    Row& tabKey(int key)
    {
        m_def.tabKey = key;
        return *this;
    }
    Row& font(FontDef font)
    {
        m_def.font = font;
        return *this;
    }
    Row& centred()
    {
        m_def.alignment = Qt::AlignHCenter | Qt::AlignVCenter;
        return *this;
    }
    Row& leftAligned()
    {
        m_def.alignment = Qt::AlignLeft | Qt::AlignVCenter;
        return *this;
    }
    Row& defaultButton()
    {
        m_def.defaultButton = true;
        return *this;
    }
    Row& disabled()
    {
        m_def.enabled = false;
        return *this;
    }
    Row& readOnly()
    {
        m_def.readOnly = true;
        return *this;
    }
    Row& multiLine()
    {
        m_def.multiLine = true;
        return *this;
    }
    Row& password(int maxLength = 0)
    {
        m_def.password = true;
        m_def.maxLength = maxLength;
        return *this;
    }
    Row& noTyping()
    {
        m_def.typing = false;
        return *this;
    }
    Row& picture(const QString& resource)
    {
        m_def.picture = resource;
        return *this;
    }
    Row& inside(const QString& frame)
    {
        m_def.parent = frame;
        return *this;
    }
    Row& toolButtons(std::vector<ToolButtonDef> buttons)
    {
        m_def.toolButtons = std::move(buttons);
        return *this;
    }
    Row& panes(std::vector<int> widths)
    {
        m_def.paneWidths = std::move(widths);
        return *this;
    }

    operator ControlDef() const { return m_def; }

private:
    ControlDef m_def;
};

Row editBox(const QString& name, QRect rect)
{
    return Row(ControlKind::EditBox, name, rect);
}
Row button(const QString& name, QRect rect, const QString& caption)
{
    return Row(ControlKind::Button, name, rect).text(caption);
}
Row label(const QString& name, QRect rect, const QString& caption)
{
    return Row(ControlKind::Label, name, rect).text(caption);
}
Row frame(const QString& name, QRect rect)
{
    return Row(ControlKind::Frame, name, rect);
}
Row comboBox(const QString& name, QRect rect)
{
    return Row(ControlKind::ComboBox, name, rect);
}
Row datePicker(const QString& name, QRect rect)
{
    return Row(ControlKind::DatePicker, name, rect);
}
Row checkBox(const QString& name, QRect rect, const QString& caption)
{
    return Row(ControlKind::CheckBox, name, rect).text(caption);
}
Row pictureButton(const QString& name, QRect rect)
{
    return Row(ControlKind::PictureButton, name, rect);
}
Row listView(const QString& name, QRect rect)
{
    return Row(ControlKind::ListView, name, rect);
}
Row invisible(ControlKind kind, const QString& name)
{
    return Row(kind, name, QRect());
}

WindowDef window(const QString& id, const QString& caption, QSize outerSize, FrameKind frameKind)
{
    WindowDef w;
    w.id = id;
    w.caption = caption;
    w.outerSize = outerSize;
    w.frame = frameKind;
    return w;
}

WindowDef makeMainWindow()
{
    WindowDef w = window(u"main"_s, u"Ovelta"_s, {568, 473}, FrameKind::Normal);
    w.closeBox = true;
    w.minimiseBox = true;
    w.programIcon = true;
    w.taskbar = true;
    w.menuBar = true;

    // Caption under the image, and the same text as tooltip; button 5 has none.
    const QStringList captions = {u"添加人情"_s, u"修改人情"_s, u"删除人情"_s, u"查询人情"_s, u"来往关系"_s,
                                  u"酒席类型"_s, u"打印账目"_s, u"修改口令"_s, u"刷新数据"_s, u"退出系统"_s};
    std::vector<ToolButtonDef> toolButtons;
    for (int i = 0; i < captions.size(); ++i)
        toolButtons.push_back({captions.at(i), i == 5 ? QString() : captions.at(i), Pictures::toolbarImagePath(i)});

    w.controls = {
        invisible(ControlKind::DatabaseConnection, u"数据库连接"_s),
        invisible(ControlKind::ExternalDatabase, u"外部数据库"_s),
        invisible(ControlKind::CommonDialog, u"通用对话框1"_s),
        invisible(ControlKind::RecordSet, u"记录集"_s),
        Row(ControlKind::StatusBar, u"状态条1"_s, {0, 426, 543, 20}).panes({449, 110}),
        Row(ControlKind::ToolBar, u"工具条1"_s, {8, 8, 661, 28}).toolButtons(std::move(toolButtons)),
        Row(ControlKind::Grid, u"高级表格"_s, {4, 58, 550, 361}),
    };
    return w;
}

WindowDef makeLoginWindow()
{
    WindowDef w = window(u"login"_s, u"Ovelta"_s, {243, 159}, FrameKind::Tool);
    w.closeBox = true;
    w.dragAnywhere = true;
    w.controls = {
        editBox(u"用户编辑框"_s, {110, 19, 100, 20}).font(FontDef::S12).tabKey(1),
        pictureButton(u"图形按钮1"_s, {15, 14, 30, 30})
            .disabled()
            .picture(Pictures::loginPicturePath(Pictures::LoginUser)),
        label(u"透明标签1"_s, {52, 19, 50, 20}, u"用户姓名"_s).leftAligned().font(FontDef::S12),
        pictureButton(u"图形按钮2"_s, {15, 51, 30, 30})
            .disabled()
            .picture(Pictures::loginPicturePath(Pictures::LoginPassword)),
        label(u"透明标签2"_s, {52, 56, 50, 20}, u"用户口令"_s).leftAligned().font(FontDef::S12),
        editBox(u"口令编辑框"_s, {110, 56, 100, 20}).password().font(FontDef::S12).tabKey(1),
        button(u"登录按钮"_s, {34, 91, 70, 30}, u"登录(&I)"_s).defaultButton().font(FontDef::S12).tabKey(2),
        button(u"取消按钮"_s, {147, 91, 70, 30}, u"取消(&X)"_s).font(FontDef::S12).tabKey(3),
    };
    return w;
}

WindowDef makePasswordWindow()
{
    WindowDef w = window(u"password"_s, u"修改用户口令"_s, {205, 173}, FrameKind::None);
    w.controls = {
        label(u"透明标签2"_s, {14, 26, 52, 16}, u"原密码"_s).leftAligned().font(FontDef::S12),
        label(u"透明标签3"_s, {14, 56, 52, 16}, u"新密码"_s).leftAligned().font(FontDef::S12),
        label(u"透明标签4"_s, {14, 86, 52, 16}, u"确认密码"_s).leftAligned().font(FontDef::S12),
        editBox(u"编辑框3"_s, {68, 84, 112, 20}).password(10).font(FontDef::S12).tabKey(4),
        button(u"取消按钮"_s, {112, 120, 65, 26}, u"取消"_s).font(FontDef::S12).tabKey(6),
        button(u"确定按钮"_s, {19, 120, 65, 26}, u"确定"_s).defaultButton().font(FontDef::S12).tabKey(5),
        editBox(u"编辑框2"_s, {68, 54, 112, 20}).password(10).font(FontDef::S12).tabKey(3),
        editBox(u"编辑框1"_s, {68, 24, 112, 20}).password(10).font(FontDef::S12).tabKey(2),
        frame(u"外形框1"_s, {0, 0, 205, 173}),
    };
    return w;
}

WindowDef makeEntryWindow()
{
    WindowDef w = window(u"entry"_s, u"添加人情"_s, {387, 227}, FrameKind::None);
    w.escCloses = true;
    w.controls = {
        editBox(u"说明编辑框"_s, {81, 129, 287, 24}),
        label(u"透明标签7"_s, {14, 129, 60, 20}, u"说    明"_s).centred(),
        button(u"返回按钮"_s, {288, 169, 80, 30}, u"返回"_s),
        button(u"添加按钮"_s, {184, 169, 80, 30}, u"添加"_s).defaultButton(),
        editBox(u"金额编辑框"_s, {267, 94, 100, 20}),
        label(u"透明标签6"_s, {200, 94, 60, 20}, u"金    额"_s).centred(),
        comboBox(u"类型组合框"_s, {81, 94, 100, 20}),
        label(u"透明标签5"_s, {14, 94, 60, 20}, u"酒席类型"_s).centred(),
        comboBox(u"关系组合框"_s, {267, 59, 100, 20}),
        label(u"透明标签4"_s, {200, 59, 60, 20}, u"来往关系"_s).centred(),
        editBox(u"姓名编辑框"_s, {267, 24, 100, 20}),
        label(u"透明标签3"_s, {200, 24, 60, 20}, u"姓    名"_s).centred(),
        comboBox(u"收送组合框"_s, {81, 24, 60, 20}),
        label(u"透明标签2"_s, {14, 24, 60, 20}, u"收礼/送礼"_s).centred(),
        datePicker(u"日期框"_s, {81, 59, 110, 20}),
        label(u"透明标签1"_s, {14, 59, 60, 20}, u"时间日期"_s).centred(),
        frame(u"外形框1"_s, {0, 0, 387, 227}),
    };
    return w;
}

// The relations and banquet types windows share one layout; only the id, caption and three names differ.
WindowDef makeListWindow(const QString& id, const QString& caption, const QString& noun)
{
    WindowDef w = window(id, caption, {225, 183}, FrameKind::None);
    w.escCloses = true;
    w.controls = {
        editBox(u"编辑框1"_s, {142, 18, 70, 20}),
        button(u"返回按钮"_s, {142, 133, 70, 30}, u"返回"_s),
        button(u"删除"_s + noun + u"按钮"_s, {142, 90, 70, 30}, u"删除"_s + noun),
        button(u"添加"_s + noun + u"按钮"_s, {142, 47, 70, 30}, u"添加"_s + noun).defaultButton(),
        listView(u"超级列表框1"_s, {9, 18, 120, 145}),
        frame(u"外形框1"_s, {0, 0, 225, 183}),
    };
    return w;
}

WindowDef makeSearchWindow()
{
    WindowDef w = window(u"search"_s, u"人情查询"_s, {335, 146}, FrameKind::None);
    w.escCloses = true;
    w.controls = {
        label(u"透明标签2"_s, {14, 55, 55, 20}, u"收礼\\送礼"_s).leftAligned(),
        comboBox(u"收送组合框"_s, {71, 55, 73, 20}),
        datePicker(u"截止日期框"_s, {207, 25, 110, 20}).noTyping().disabled(),
        label(u"透明标签1"_s, {185, 25, 20, 20}, u"至"_s).centred(),
        checkBox(u"选择框1"_s, {14, 25, 50, 20}, u"时间"_s),
        button(u"返回按钮"_s, {236, 93, 80, 30}, u"返回"_s),
        button(u"查询按钮"_s, {121, 93, 80, 30}, u"查询"_s).defaultButton(),
        editBox(u"姓名编辑框"_s, {217, 55, 100, 20}),
        label(u"透明标签3"_s, {160, 55, 50, 20}, u"姓    名"_s).centred(),
        datePicker(u"起始日期框"_s, {71, 25, 110, 20}).noTyping().disabled(),
        frame(u"外形框1"_s, {0, 0, 335, 146}),
    };
    return w;
}

WindowDef makeDetailsWindow()
{
    WindowDef w = window(u"details"_s, QString(), {392, 219}, FrameKind::None);
    w.escCloses = true;
    w.controls = {
        editBox(u"说明编辑框"_s, {84, 128, 287, 60})
            .readOnly()
            .multiLine()
            .leftAligned()
            .font(FontDef::S14)
            .inside(u"外形框1"_s),
        editBox(u"收送编辑框"_s, {84, 23, 60, 20}).readOnly().centred(),
        editBox(u"类型编辑框"_s, {84, 93, 100, 20}).readOnly().centred(),
        editBox(u"关系编辑框"_s, {270, 58, 100, 20}).readOnly().centred(),
        editBox(u"时间编辑框"_s, {84, 58, 110, 20}).readOnly().centred(),
        label(u"透明标签7"_s, {17, 128, 60, 20}, u"说    明"_s).centred(),
        editBox(u"金额编辑框"_s, {270, 93, 100, 20}).readOnly().centred(),
        label(u"透明标签6"_s, {203, 93, 60, 20}, u"金    额"_s).centred(),
        label(u"透明标签5"_s, {17, 93, 60, 20}, u"酒席类型"_s).centred(),
        label(u"透明标签4"_s, {203, 58, 60, 20}, u"来往关系"_s).centred(),
        editBox(u"姓名编辑框"_s, {270, 23, 100, 20}).readOnly().centred(),
        label(u"透明标签3"_s, {203, 23, 60, 20}, u"姓    名"_s).centred(),
        label(u"透明标签2"_s, {17, 23, 60, 20}, u"收礼/送礼"_s).centred(),
        label(u"透明标签1"_s, {17, 58, 60, 20}, u"时间日期"_s).centred(),
        frame(u"外形框1"_s, {0, 0, 392, 219}),
    };
    return w;
}

} // namespace

const WindowDef& mainWindow()
{
    static const WindowDef def = makeMainWindow();
    return def;
}

const WindowDef& loginWindow()
{
    static const WindowDef def = makeLoginWindow();
    return def;
}

const WindowDef& passwordWindow()
{
    static const WindowDef def = makePasswordWindow();
    return def;
}

const WindowDef& entryWindow()
{
    static const WindowDef def = makeEntryWindow();
    return def;
}

const WindowDef& relationsWindow()
{
    static const WindowDef def = makeListWindow(u"relations"_s, u"来往关系管理"_s, u"关系"_s);
    return def;
}

const WindowDef& occasionsWindow()
{
    static const WindowDef def = makeListWindow(u"banquetTypes"_s, u"酒席类型管理"_s, u"类型"_s);
    return def;
}

const WindowDef& searchWindow()
{
    static const WindowDef def = makeSearchWindow();
    return def;
}

const WindowDef& detailsWindow()
{
    static const WindowDef def = makeDetailsWindow();
    return def;
}

std::vector<const WindowDef*> all()
{
    return {&mainWindow(),      &loginWindow(),     &passwordWindow(), &entryWindow(),
            &relationsWindow(), &occasionsWindow(), &searchWindow(),   &detailsWindow()};
}

} // namespace ovelta::Catalogue
