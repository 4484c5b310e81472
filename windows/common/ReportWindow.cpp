#include "windows/common/ReportWindow.h"

#include "ui/base/Program.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

// Room for the title bar and a panel on a 1280×800 screen.
constexpr QSize PreferredSize(1200, 700);
constexpr QSize MinimumSize(640, 400);

QList<ReportWindow*>& openWindows()
{
    static QList<ReportWindow*> windows;
    return windows;
}

/// While a drop-down (a combo box's list) is open, Esc is its own: the window's Esc shortcut is overridden, so
/// that the key closes the drop-down only. The drop-down may close before the shortcut would run, so the
/// override is decided when the key arrives.
class PopupKeys : public QObject
{
public:
    explicit PopupKeys(QObject* parent)
        : QObject(parent)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride && QApplication::activePopupWidget() != nullptr
            && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            event->accept();
        }
        return false;
    }
};

} // namespace

ReportWindow::ReportWindow(const QString& id, const QString& caption, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(id);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(MinimumSize);
    QSize size = PreferredSize;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        size = size.boundedTo(area.size() - QSize(40, 60)).expandedTo(MinimumSize);
        resize(size);
        move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
    } else {
        resize(size);
    }
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, this, &ReportWindow::escape);
    new PopupKeys(this);
}

ReportWindow::~ReportWindow()
{
    openWindows().removeAll(this);
    restoreOthers();
    if (m_loop != nullptr)
        m_loop->quit();
    if (m_open && !m_previousActive.isNull() && m_previousActive->isVisible() && !Program::hasEnded())
        m_previousActive->activateWindow();
}

ReportWindow* ReportWindow::findOpen(const QString& id)
{
    for (ReportWindow* w : openWindows()) {
        if (w->id() == id)
            return w;
    }
    return nullptr;
}

void ReportWindow::openModal()
{
    if (Program::hasEnded()) {
        deleteLater();
        return;
    }
    if (ReportWindow* other = findOpen(id())) {
        other->raise();
        other->activateWindow();
        deleteLater();
        return;
    }
    // The window owns itself from now on, like the program's other modal windows.
    if (parentWidget() != nullptr)
        setParent(nullptr, windowFlags());
    // Adding up a large ledger takes a moment: the pointer says so meanwhile.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool loaded = load();
    QGuiApplication::restoreOverrideCursor();
    if (!loaded) {
        deleteLater();
        return;
    }
    m_open = true;
    openWindows().append(this);
    m_previousActive = QApplication::activeWindow();
    setWindowModality(Qt::ApplicationModal);
    disableOthers();

    QPointer<ReportWindow> self(this);
    QEventLoop loop;
    m_loop = &loop;
    show();
    raise();
    activateWindow();
    if (self.isNull())
        return;
    loop.exec(QEventLoop::DialogExec);
    if (!self.isNull())
        self->m_loop = nullptr;
}

void ReportWindow::escape()
{
    // Esc in an open drop-down closes the drop-down only.
    if (QWidget* popup = QApplication::activePopupWidget()) {
        for (QWidget* owner = popup->parentWidget(); owner != nullptr; owner = owner->parentWidget()) {
            if (auto* box = qobject_cast<QComboBox*>(owner)) {
                box->hidePopup();
                return;
            }
        }
        popup->close();
        return;
    }
    close();
}

void ReportWindow::disableOthers()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isVisible() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
            continue;
        m_disabledOthers.append({QPointer<QWidget>(w), w->isEnabled()});
        w->setEnabled(false);
    }
}

void ReportWindow::restoreOthers()
{
    for (auto it = m_disabledOthers.crbegin(); it != m_disabledOthers.crend(); ++it) {
        if (!it->first.isNull())
            it->first->setEnabled(it->second);
    }
    m_disabledOthers.clear();
}

} // namespace ovelta
