#include "ui/window/LedgerWindow.h"

#include "ui/base/Fonts.h"
#include "ui/base/Pictures.h"
#include "ui/base/Program.h"
#include "ui/window/KeyRouter.h"
#include "ui/window/WindowBuilder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

Qt::WindowFlags flagsFor(const WindowDef& def)
{
    // Only a window with a taskbar button is a normal window; the others are tool windows, which have none.
    Qt::WindowFlags flags = def.taskbar ? Qt::Window : Qt::Tool;
    if (def.frame == FrameKind::None)
        return flags | Qt::FramelessWindowHint;
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (def.closeBox)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (def.minimiseBox)
        flags |= Qt::WindowMinimizeButtonHint;
    return flags;
}

} // namespace

LedgerWindow::LedgerWindow(const WindowDef& def, QWidget* parent, Build build)
    : ModalWindow(parent, flagsFor(def))
    , m_def(def)
{
    setObjectName(def.id);
    setWindowTitle(def.caption);
    // Fixed size: no edge can be dragged and there is nothing to maximise to.
    setFixedSize(def.clientSize());
    if (def.programIcon)
        setWindowIcon(Pictures::programIcon());
    if (build == Build::Now)
        buildControls();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - def.outerSize.width()) / 2,
             area.y() + (area.height() - def.outerSize.height()) / 2);
    }

    KeyRouter::install();
}

void LedgerWindow::buildControls()
{
    if (m_controlsBuilt)
        return;
    m_controlsBuilt = true;
    if (m_def.menuBar) {
        m_menuBar = new QMenuBar(this);
        m_menuBar->setObjectName(u"菜单栏"_s);
        m_menuBar->setFont(Fonts::gui());
        m_client = new QWidget(this);
        m_client->setObjectName(u"客户区"_s);
        m_client->resize(m_def.clientSize());
        fitMenuBar();
    }
    WindowBuilder::build(m_def, clientArea());
    const QList<QWidget*> stops = orderedTabStops(false);
    for (qsizetype i = 0; i + 1 < stops.size(); ++i)
        QWidget::setTabOrder(stops.at(i), stops.at(i + 1));
}

QWidget* LedgerWindow::clientArea() const
{
    return m_client != nullptr ? m_client : const_cast<LedgerWindow*>(this);
}

void LedgerWindow::fitMenuBar()
{
    if (m_menuBar == nullptr)
        return;
    const QSize client = m_def.clientSize();
    const int height = m_menuBar->heightForWidth(client.width()) > 0 ? m_menuBar->heightForWidth(client.width())
                                                                     : m_menuBar->sizeHint().height();
    m_menuBar->setGeometry(0, 0, client.width(), height);
    m_client->setGeometry(0, height, client.width(), client.height());
    setFixedSize(client.width(), client.height() + height);
}

QWidget* LedgerWindow::control(const QString& name) const
{
    const QList<QWidget*> found = findChildren<QWidget*>(name);
    for (QWidget* w : found) {
        if (w->window() == this)
            return w;
    }
    const QString where = m_def.caption.isEmpty() ? m_def.id : m_def.caption;
    qFatal("no control %s in %s", qUtf8Printable(name), qUtf8Printable(where));
    return nullptr;
}

QString LedgerWindow::text(const QString& name) const
{
    QWidget* w = control(name);
    if (auto* line = qobject_cast<QLineEdit*>(w))
        return line->text();
    if (auto* lines = qobject_cast<QPlainTextEdit*>(w))
        return lines->toPlainText();
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentText();
    if (auto* date = qobject_cast<QDateTimeEdit*>(w))
        return date->text();
    return {};
}

void LedgerWindow::setText(const QString& name, const QString& text)
{
    QWidget* w = control(name);
    if (auto* line = qobject_cast<QLineEdit*>(w))
        line->setText(text);
    else if (auto* lines = qobject_cast<QPlainTextEdit*>(w))
        lines->setPlainText(text);
    else if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->setCurrentText(text);
    else if (auto* date = qobject_cast<QDateTimeEdit*>(w)) {
        // A calendar date, free of any time zone.
        const QDate value = QDate::fromString(text, date->displayFormat());
        if (value.isValid())
            date->setDate(value);
    }
}

void LedgerWindow::focus(const QString& name)
{
    focus(control(name));
}

void LedgerWindow::focus(QWidget* control)
{
    m_lastFocus = control;
    control->setFocus(Qt::OtherFocusReason);
}

QList<QWidget*> LedgerWindow::orderedTabStops(bool usableOnly) const
{
    struct Stop
    {
        int key;
        int row;
        QWidget* widget;
    };
    std::vector<Stop> stops;
    for (int row = 0; row < int(m_def.controls.size()); ++row) {
        const ControlDef& c = m_def.controls.at(std::size_t(row));
        if (!c.tabStop)
            continue;
        QWidget* w = nullptr;
        for (QWidget* candidate : findChildren<QWidget*>(c.name)) {
            if (candidate->window() == this) {
                w = candidate;
                break;
            }
        }
        if (w == nullptr)
            continue;
        if (usableOnly && !(w->isVisibleTo(this) && w->isEnabledTo(this)))
            continue;
        stops.push_back({c.tabKey, row, w});
    }
    // Ascending tab key; among equal keys the row listed last comes first.
    std::sort(stops.begin(), stops.end(),
              [](const Stop& a, const Stop& b) { return a.key != b.key ? a.key < b.key : a.row > b.row; });
    QList<QWidget*> result;
    for (const Stop& s : stops)
        result.append(s.widget);
    return result;
}

QList<QWidget*> LedgerWindow::tabSequence() const
{
    return orderedTabStops(true);
}

QWidget* LedgerWindow::controlOwning(QWidget* widget) const
{
    for (QWidget* w = widget; w != nullptr && w != this; w = w->parentWidget()) {
        if (w->isWindow())
            return nullptr;
        if (!w->objectName().isEmpty() && m_def.control(w->objectName()) != nullptr)
            return w;
    }
    return nullptr;
}

void LedgerWindow::noteFocus(QWidget* widget)
{
    if (QWidget* c = controlOwning(widget))
        m_lastFocus = c;
}

void LedgerWindow::moveFocus(bool forward)
{
    const QList<QWidget*> all = orderedTabStops(false);
    const QList<QWidget*> usable = orderedTabStops(true);
    if (usable.isEmpty())
        return;
    QWidget* target = nullptr;
    const qsizetype at = all.indexOf(controlOwning(QApplication::focusWidget()));
    if (at < 0) {
        target = forward ? usable.first() : usable.last();
    } else {
        // Step through the whole order, so that leaving a control that has just become unusable still lands on
        // its neighbour.
        const qsizetype n = all.size();
        for (qsizetype step = 1; step <= n && target == nullptr; ++step) {
            QWidget* candidate = all.at(((forward ? at + step : at - step) % n + n) % n);
            if (usable.contains(candidate))
                target = candidate;
        }
    }
    if (target != nullptr)
        target->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void LedgerWindow::pressEnter()
{
    auto usableDefault = [this](QWidget* w) -> QPushButton* {
        auto* button = qobject_cast<QPushButton*>(w);
        if (button == nullptr || !button->isVisibleTo(this) || !button->isEnabledTo(this))
            return nullptr;
        const ControlDef* c = m_def.control(button->objectName());
        return c != nullptr && c->defaultButton ? button : nullptr;
    };
    if (QPushButton* focused = usableDefault(controlOwning(QApplication::focusWidget()))) {
        focused->click();
        return;
    }
    for (const ControlDef& c : m_def.controls) {
        if (c.kind != ControlKind::Button || !c.defaultButton)
            continue;
        for (QWidget* w : findChildren<QWidget*>(c.name)) {
            if (w->window() != this)
                continue;
            if (QPushButton* button = usableDefault(w)) {
                button->click();
                return;
            }
        }
    }
}

void LedgerWindow::pressEsc()
{
    if (m_def.escCloses)
        close();
}

QAbstractButton* LedgerWindow::mnemonicTarget(QChar key) const
{
    const QChar wanted = key.toUpper();
    for (const ControlDef& c : m_def.controls) {
        if (c.kind != ControlKind::Button && c.kind != ControlKind::CheckBox)
            continue;
        for (QWidget* w : findChildren<QWidget*>(c.name)) {
            auto* button = qobject_cast<QAbstractButton*>(w);
            if (button == nullptr || w->window() != this || !button->isVisibleTo(this) || !button->isEnabledTo(this))
                continue;
            const QString caption = button->text();
            for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
                if (caption.at(i) != u'&')
                    continue;
                if (caption.at(i + 1) == u'&') {
                    ++i; // "&&" draws one ampersand and marks nothing
                    continue;
                }
                if (caption.at(i + 1).toUpper() == wanted)
                    return button;
            }
        }
    }
    return nullptr;
}

void LedgerWindow::focusOnActivation()
{
    const QWidget* current = QApplication::focusWidget();
    if (current != nullptr && isAncestorOf(current))
        return;
    auto usable = [this](QWidget* w) {
        return w != nullptr && isAncestorOf(w) && w->isVisible() && w->isEnabled() && w->focusPolicy() != Qt::NoFocus;
    };
    QWidget* target = nullptr;
    if (usable(m_lastFocus))
        target = m_lastFocus;
    else if (QWidget* remembered = controlOwning(focusWidget()); usable(remembered))
        target = remembered;
    else if (const QList<QWidget*> sequence = tabSequence(); !sequence.isEmpty())
        target = sequence.first();
    if (target != nullptr)
        target->setFocus(Qt::ActiveWindowFocusReason);
}

LedgerWindow* LedgerWindow::findOpen(const QString& id)
{
    return qobject_cast<LedgerWindow*>(findOpenWindow(id));
}

bool LedgerWindow::bringToFrontIfOpen(const QString& id)
{
    LedgerWindow* w = findOpen(id);
    if (w == nullptr)
        return false;
    w->bringToFront();
    return true;
}

void LedgerWindow::closeEvent(QCloseEvent* event)
{
    // Without a close box the window manager's close (Alt+F4) has nothing to press.
    if (event->spontaneous() && !m_def.closeBox && stage() < Stage::Closing && !abandoned() && !Program::hasEnded()) {
        event->ignore();
        return;
    }
    ModalWindow::closeEvent(event);
}

bool LedgerWindow::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (!abandoned() && stage() != Stage::Destroyed && !Program::hasEnded())
            focusOnActivation();
        break;
    case QEvent::WindowDeactivate:
        noteFocus(QApplication::focusWidget());
        break;
    default:
        break;
    }
    return ModalWindow::event(event);
}

void LedgerWindow::mousePressEvent(QMouseEvent* event)
{
    // Only the window's own background starts a drag; a press on any control, labels included, does not.
    if (m_def.dragAnywhere && event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr
        && !Program::hasEnded()) {
        event->accept();
        if (QWindow* handle = windowHandle(); handle != nullptr && handle->startSystemMove())
            return;
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        return;
    }
    QWidget::mousePressEvent(event);
}

void LedgerWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void LedgerWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

} // namespace ovelta
