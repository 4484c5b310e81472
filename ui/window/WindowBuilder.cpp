#include "ui/window/WindowBuilder.h"

#include "ui/base/DatePicker.h"
#include "ui/base/EditBox.h"
#include "ui/base/Fonts.h"
#include "ui/base/FrameBox.h"
#include "ui/base/Pictures.h"
#include "ui/grid/LedgerGrid.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr int PictureSize = 32;
constexpr int MinimumListHeight = 160;
constexpr int ToolButtonHeight = 50;

/// A toolbar docked at the top of its window, with the etched separator line along its top edge.
class DockedToolBar : public QToolBar
{
public:
    using QToolBar::QToolBar;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QToolBar::paintEvent(event);
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(0, 0, width() - 1, 0);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(0, 1, width() - 1, 1);
    }
};

/// Keeps a toolbar button from showing the tooltip its action would otherwise lend it.
class NoToolTip : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip)
            return true;
        return QObject::eventFilter(watched, event);
    }
};

/// Draws the grid lines of a report-view list around every cell.
class GridLineDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(QColor(192, 192, 192));
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

void whiteBox(QWidget* widget)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::Text, Qt::black);
    }
    widget->setPalette(palette);
}

QWidget* buildEditBox(const ControlDef& c, QWidget* parent)
{
    if (c.multiLine) {
        auto* box = new MultiLineEdit(parent);
        box->setReadOnly(c.readOnly);
        box->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        whiteBox(box);
        return box;
    }
    auto* box = new EditBox(parent);
    box->setReadOnly(c.readOnly);
    box->setFrame(true);
    box->setAlignment(c.alignment);
    if (c.password) {
        box->setEchoMode(QLineEdit::Password);
        // The mask is "*" whatever the style would draw.
        box->setStyleSheet(u"lineedit-password-character: 42;"_s);
        if (c.maxLength > 0) {
            // Counted in GBK bytes, as the rest of the program counts text.
            box->setMaxBytes(c.maxLength);
            box->setMaxLength(c.maxLength);
        }
    } else if (c.maxLength > 0) {
        box->setMaxLength(c.maxLength);
    }
    whiteBox(box);
    return box;
}

QWidget* buildButton(const ControlDef& c, QWidget* parent)
{
    auto* button = new QPushButton(c.text, parent);
    button->setAutoDefault(false);
    button->setDefault(c.defaultButton);
    return button;
}

QWidget* buildLabel(const ControlDef& c, QWidget* parent)
{
    auto* label = new QLabel(c.text, parent);
    label->setAlignment(c.alignment);
    label->setAutoFillBackground(false);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

QWidget* buildComboBox(const ControlDef&, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setEditable(false);
    combo->setInsertPolicy(QComboBox::NoInsert);
    // A plain list that drops down below the box, rather than a menu over it.
    combo->setStyleSheet(u"QComboBox { combobox-popup: 0; }"_s);
    QPalette palette = combo->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::Button, Qt::white);
        palette.setColor(group, QPalette::Text, Qt::black);
        palette.setColor(group, QPalette::ButtonText, Qt::black);
    }
    combo->setPalette(palette);
    // The container of the drop-down list exists once view() has been asked for.
    if (QWidget* container = combo->view()->parentWidget())
        container->setMinimumHeight(MinimumListHeight);
    return combo;
}

QWidget* buildDatePicker(const ControlDef& c, QWidget* parent)
{
    auto* picker = new DatePicker(parent);
    picker->setTypingAllowed(c.typing);
    return picker;
}

QWidget* buildPictureButton(const ControlDef& c, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    const QPixmap picture = Pictures::render(c.picture, PictureSize);
    QIcon icon;
    // A disabled decoration still shows its picture as drawn.
    icon.addPixmap(picture, QIcon::Normal);
    icon.addPixmap(picture, QIcon::Disabled);
    button->setIcon(icon);
    button->setIconSize(QSize(PictureSize, PictureSize));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return button;
}

QWidget* buildListView(const ControlDef&, QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(0);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setHeaderHidden(false);
    list->header()->setSectionsMovable(false);
    list->setItemDelegate(new GridLineDelegate(list));
    list->setFrameStyle(QFrame::Box | QFrame::Plain);
    list->setLineWidth(1);
    QPalette palette = list->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::Text, Qt::black);
    }
    // The selection stays as visible when the list loses the focus.
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    list->setPalette(palette);
    return list;
}

QWidget* buildToolBar(const ControlDef& c, QWidget* parent)
{
    auto* bar = new DockedToolBar(parent);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setOrientation(Qt::Horizontal);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(PictureSize, PictureSize));
    bar->setFocusPolicy(Qt::NoFocus);
    for (int i = 0; i < int(c.toolButtons.size()); ++i) {
        const ToolButtonDef& def = c.toolButtons.at(std::size_t(i));
        QAction* action = bar->addAction(Pictures::icon(def.picture, PictureSize), def.caption);
        const QString name = c.name + u'_' + QString::number(i);
        action->setObjectName(name);
        action->setData(i);
        action->setToolTip(def.toolTip.isEmpty() ? def.caption : def.toolTip);
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) {
            button->setObjectName(name);
            button->setFocusPolicy(Qt::NoFocus);
            if (def.toolTip.isEmpty()) {
                button->setToolTip(QString());
                button->installEventFilter(new NoToolTip(button));
            }
        }
    }
    // Docked at the top and as wide as the window; the stored rectangle does not place it. The ten buttons share
    // the width evenly, so that all of them show in one row above the grid.
    const QMargins margins = bar->contentsMargins() + bar->layout()->contentsMargins();
    const int count = qMax(1, int(c.toolButtons.size()));
    const int spacing = qMax(0, bar->layout()->spacing());
    const int buttonWidth = (parent->width() - margins.left() - margins.right() - (count - 1) * spacing) / count;
    for (QToolButton* button : bar->findChildren<QToolButton*>()) {
        if (button->defaultAction() != nullptr && button->defaultAction()->data().isValid())
            button->setFixedSize(buttonWidth, ToolButtonHeight);
    }
    bar->setGeometry(0, 0, parent->width(), bar->sizeHint().height());
    return bar;
}

QWidget* buildStatusBar(const ControlDef& c, QWidget* parent)
{
    auto* bar = new QStatusBar(parent);
    bar->setSizeGripEnabled(false);
    // Docked at the bottom and as wide as the window, at the stored height.
    const int height = c.rect.height() > 0 ? c.rect.height() : bar->sizeHint().height();
    bar->setGeometry(0, parent->height() - height, parent->width(), height);
    // The panes sit side by side from the left edge at their exact widths, which the status bar's own layout
    // (margins and spacing between items) would not allow.
    int left = 0;
    for (int i = 0; i < int(c.paneWidths.size()); ++i) {
        const int width = c.paneWidths.at(std::size_t(i));
        auto* pane = new QLabel(bar);
        pane->setObjectName(c.name + u'_' + QString::number(i));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setTextFormat(Qt::PlainText);
        pane->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        pane->setGeometry(left, 0, width, height);
        left += width;
    }
    return bar;
}

QWidget* buildWidget(const ControlDef& c, QWidget* parent)
{
    switch (c.kind) {
    case ControlKind::EditBox:
        return buildEditBox(c, parent);
    case ControlKind::Button:
        return buildButton(c, parent);
    case ControlKind::Label:
        return buildLabel(c, parent);
    case ControlKind::Frame:
        return new FrameBox(parent);
    case ControlKind::ComboBox:
        return buildComboBox(c, parent);
    case ControlKind::DatePicker:
        return buildDatePicker(c, parent);
    case ControlKind::CheckBox:
        return new QCheckBox(c.text, parent);
    case ControlKind::PictureButton:
        return buildPictureButton(c, parent);
    case ControlKind::ListView:
        return buildListView(c, parent);
    case ControlKind::ToolBar:
        return buildToolBar(c, parent);
    case ControlKind::StatusBar:
        return buildStatusBar(c, parent);
    case ControlKind::Grid:
        return new LedgerGrid(parent);
    case ControlKind::DatabaseConnection:
    case ControlKind::RecordSet:
    case ControlKind::ExternalDatabase:
    case ControlKind::CommonDialog:
        break;
    }
    return nullptr;
}

bool placedByDocking(ControlKind kind)
{
    return kind == ControlKind::ToolBar || kind == ControlKind::StatusBar;
}

} // namespace

QFont WindowBuilder::fontFor(FontDef font)
{
    return Fonts::forDef(font);
}

QWidget* WindowBuilder::buildControl(const ControlDef& control, QWidget* parent)
{
    QWidget* widget = buildWidget(control, parent);
    if (widget == nullptr)
        return nullptr;
    widget->setObjectName(control.name);
    if (control.font != FontDef::Default)
        widget->setFont(fontFor(control.font));
    if (!placedByDocking(control.kind))
        widget->setGeometry(control.rect);
    widget->setFocusPolicy(control.tabStop ? Qt::StrongFocus : Qt::NoFocus);
    if (!control.enabled)
        widget->setEnabled(false);
    if (!control.visible)
        widget->setVisible(false);
    return widget;
}

void WindowBuilder::build(const WindowDef& def, QWidget* window)
{
    if (window->size() != def.clientSize())
        window->resize(def.clientSize());
    // Every control without a font of its own draws with the windows' default font.
    window->setFont(Fonts::gui());

    QHash<QString, QWidget*> built;
    // A control may lie inside a frame listed after it, so a parent frame is built when first needed.
    std::function<QWidget*(const ControlDef&)> buildRow = [&](const ControlDef& c) -> QWidget* {
        if (built.contains(c.name))
            return built.value(c.name);
        QWidget* parent = window;
        if (!c.parent.isEmpty()) {
            const ControlDef* frame = def.control(c.parent);
            if (frame != nullptr && frame != &c)
                parent = buildRow(*frame);
            if (parent == nullptr)
                parent = window;
        }
        QWidget* widget = buildControl(c, parent);
        built.insert(c.name, widget);
        return widget;
    };
    for (const ControlDef& c : def.controls)
        buildRow(c);

    // Earlier rows lie above later ones: raising from the last row to the first leaves the first on top.
    for (auto it = def.controls.rbegin(); it != def.controls.rend(); ++it) {
        if (QWidget* widget = built.value(it->name))
            widget->raise();
    }
}

} // namespace ovelta
