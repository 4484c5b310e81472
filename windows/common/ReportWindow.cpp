#include "windows/common/ReportWindow.h"

#include <QApplication>
#include <QComboBox>
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
    : ModalWindow(parent, Qt::Window)
{
    setObjectName(id);
    setWindowTitle(caption);
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

ReportWindow* ReportWindow::findOpen(const QString& id)
{
    return qobject_cast<ReportWindow*>(findOpenWindow(id));
}

void ReportWindow::created()
{
    // Adding up a large ledger takes a moment: the pointer says so meanwhile.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool loaded = load();
    QGuiApplication::restoreOverrideCursor();
    if (!loaded)
        requestClose();
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

} // namespace ovelta
