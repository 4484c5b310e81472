#include "ui/window/ModalWindow.h"

#include "ui/base/Program.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>

namespace ovelta {

namespace {

/// Every window that exists, in creation order.
QList<ModalWindow*>& registry()
{
    static QList<ModalWindow*> windows;
    return windows;
}

} // namespace

ModalWindow::ModalWindow(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    registry().append(this);
}

ModalWindow::~ModalWindow()
{
    registry().removeAll(this);
    if (m_stage != Stage::Destroyed) {
        // Deleted directly rather than closed: the other windows still get their enabled state back.
        m_stage = Stage::Destroyed;
        restoreOthers();
        Q_EMIT destroying();
    }
    if (m_loop != nullptr)
        m_loop->quit();
}

bool ModalWindow::begin()
{
    if (Program::hasEnded() || m_abandoned) {
        if (m_stage == Stage::Built)
            discard();
        return false;
    }
    if (m_stage != Stage::Built) {
        bringToFront();
        return false;
    }
    if (ModalWindow* other = findOpenWindow(id()); other != nullptr && other != this) {
        other->bringToFront();
        discard();
        return false;
    }
    // A window of this id whose close is under way is finished now, so that only the fresh one is open.
    for (ModalWindow* w : QList<ModalWindow*>(registry())) {
        if (w != this && w->id() == id() && w->closeUnderWay()) {
            w->hide();
            w->finishClose();
        }
    }
    // The window owns itself from now on; an owner named by the caller has no effect.
    if (parentWidget() != nullptr)
        setParent(nullptr, windowFlags());
    m_stage = Stage::Opened;

    QPointer<ModalWindow> self(this);
    created();
    if (self.isNull() || Program::hasEnded() || m_abandoned)
        return false;
    if (m_stage == Stage::CloseRequested) {
        // Closed by its own creation handler: destroyed without ever being shown.
        destroyNow();
        return false;
    }
    return true;
}

void ModalWindow::openModal()
{
    if (!begin())
        return;
    QPointer<ModalWindow> self(this);
    m_previousActive = QApplication::activeWindow();
    setWindowModality(Qt::ApplicationModal);
    disableOthers();
    show();
    raise();
    activateWindow();
    if (self.isNull() || m_stage == Stage::Destroyed || m_abandoned)
        return;

    QEventLoop loop;
    m_loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    if (!self.isNull())
        self->m_loop = nullptr;
}

void ModalWindow::openModeless()
{
    if (!begin())
        return;
    show();
    raise();
    activateWindow();
}

ModalWindow* ModalWindow::findOpenWindow(const QString& id)
{
    for (ModalWindow* w : registry()) {
        if (w->isOpen() && w->id() == id && !w->m_abandoned)
            return w;
    }
    return nullptr;
}

void ModalWindow::bringToFront()
{
    if (windowState() & Qt::WindowMinimized)
        setWindowState(windowState() & ~Qt::WindowMinimized);
    if (m_stage >= Stage::Shown && isHidden())
        show();
    raise();
    activateWindow();
}

void ModalWindow::abandonAll()
{
    for (ModalWindow* w : QList<ModalWindow*>(registry())) {
        w->m_abandoned = true;
        if (w->m_loop != nullptr)
            w->m_loop->quit();
        w->hide();
        if (w->m_stage != Stage::Built)
            w->deleteLater();
    }
}

void ModalWindow::requestClose()
{
    if (m_stage == Stage::CloseRequested || m_stage == Stage::Destroyed)
        return;
    m_stage = Stage::CloseRequested;
    // Carried out when control returns to the event loop that runs this handler.
    deleteLater();
}

void ModalWindow::finishClose()
{
    if (m_stage == Stage::Destroyed)
        return;
    m_stage = Stage::Destroyed;
    if (!m_abandoned && !Program::hasEnded())
        aboutToBeDestroyed();
    Q_EMIT destroying();
    hide();
    restoreOthers();
    if (!m_abandoned && !Program::hasEnded() && !m_previousActive.isNull() && m_previousActive->isVisible())
        m_previousActive->activateWindow();
}

void ModalWindow::discard()
{
    // Never opened, so none of its handlers runs on the way out.
    m_stage = Stage::Destroyed;
    deleteLater();
}

void ModalWindow::destroyNow()
{
    finishClose();
    delete this;
}

void ModalWindow::disableOthers()
{
    // The program's windows, shown or not, and whatever else is shown on its own (not a drop-down or a tip).
    auto other = [this](QWidget* w) {
        if (w == this)
            return false;
        if (auto* window = qobject_cast<ModalWindow*>(w))
            return window->m_stage != Stage::Destroyed;
        return w->isVisible() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip;
    };
    QList<QWidget*> others;
    for (ModalWindow* w : registry())
        others.append(w);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<ModalWindow*>(w) == nullptr)
            others.append(w);
    }
    for (QWidget* w : others) {
        if (!other(w))
            continue;
        m_disabledOthers.append({QPointer<QWidget>(w), w->isEnabled()});
        w->setEnabled(false);
    }
}

void ModalWindow::restoreOthers()
{
    for (auto it = m_disabledOthers.crbegin(); it != m_disabledOthers.crend(); ++it) {
        if (!it->first.isNull())
            it->first->setEnabled(it->second);
    }
    m_disabledOthers.clear();
}

void ModalWindow::closeEvent(QCloseEvent* event)
{
    if (m_abandoned || Program::hasEnded()) {
        event->ignore();
        return;
    }
    if (m_stage == Stage::Destroyed || closeUnderWay()) {
        event->accept();
        return;
    }
    QPointer<ModalWindow> self(this);
    const bool allowed = closeQuery();
    if (self.isNull())
        return;
    if (m_abandoned || Program::hasEnded() || m_stage == Stage::Destroyed) {
        event->ignore();
        return;
    }
    if (m_stage == Stage::CloseRequested) {
        event->accept();
        return;
    }
    if (!allowed) {
        event->ignore();
        return;
    }
    event->accept();
    m_stage = Stage::Closing;
    deleteLater();
}

bool ModalWindow::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::DeferredDelete:
        finishClose();
        break;
    case QEvent::Show:
        if (m_stage == Stage::Opened)
            m_stage = Stage::Shown;
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

} // namespace ovelta
