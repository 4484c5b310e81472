#pragma once

#include <QList>
#include <QPair>
#include <QPointer>
#include <QWidget>

class QEventLoop;

namespace ovelta {

/// A top-level window of the program that owns itself once opened and deletes itself when it closes, and that
/// opens modally as all the program's windows do: Qt's application modality, the program's other windows
/// disabled while it is open and given back the enabled state they had, and a nested loop so that the code that
/// opened it continues once it has been destroyed. Only one window of an id (its objectName) is open at a time.
///
/// Subclasses put their opening work in created(), which runs once before the window is first shown; a
/// requestClose() from there destroys the window without showing it.
class ModalWindow : public QWidget
{
    Q_OBJECT
public:
    ~ModalWindow() override;

    /// The window's kind, also its objectName.
    QString id() const { return objectName(); }

    /// Opens this window modally: fires created(), shows it, disables the other windows and returns once the
    /// window has been destroyed. Takes ownership (the window deletes itself when it closes), so the window must
    /// have been created with new. A parent named at construction has no effect on a modal window.
    ///
    /// When a window with the same id is open already, that one is restored and raised instead and this one is
    /// discarded without firing created(). When the created handler requests a close, the window is destroyed
    /// without being shown. Returns at once when the program has ended.
    void openModal();
    /// Opens this window without a modal loop (the main window): fires created() and shows it. The window
    /// deletes itself when it closes, as with openModal().
    void openModeless();

    /// The opened window of any kind with this id whose close is not under way, or nullptr.
    static ModalWindow* findOpenWindow(const QString& id);
    /// Restores the window when minimised, raises and activates it.
    void bringToFront();

    /// When the program ends under a test end handler: every open window is hidden and destroyed later and
    /// every modal loop is left, without running any window handler.
    static void abandonAll();

    /// Close by the program: the window is destroyed after the running handler returns; the close query does
    /// not run, aboutToBeDestroyed() does.
    void requestClose();
    bool closeRequested() const { return m_stage == Stage::CloseRequested; }

Q_SIGNALS:
    void destroying();

protected:
    /// Where the window is in its life. The stage only moves on, though not every window passes every stage: one
    /// closed before it was shown skips Shown, one discarded without being opened goes from Built to Destroyed.
    enum class Stage {
        Built, ///< constructed and not opened
        Opened, ///< owns itself, and created() runs or has run; not shown yet
        Shown, ///< shown since it was opened
        Closing, ///< the user's close was allowed; destroyed when the event loop gets back
        CloseRequested, ///< closed by the program, perhaps after a user's close; destroyed after the handler returns
        Destroyed, ///< aboutToBeDestroyed() and destroying() have run, or it was discarded; deletion follows
    };

    ModalWindow(QWidget* parent, Qt::WindowFlags flags);

    Stage stage() const { return m_stage; }
    /// The program ended under a test's end handler while the window existed: none of its handlers runs any more.
    bool abandoned() const { return m_abandoned; }

    /// Runs once before the window is first shown.
    virtual void created() { }
    /// A close asked for by the user (close box, Alt+F4, Esc). False keeps the window open.
    virtual bool closeQuery() { return true; }
    /// Runs while the window is being destroyed, however the close came about.
    virtual void aboutToBeDestroyed() { }

    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool begin();
    void finishClose();
    void discard();
    void destroyNow();
    void disableOthers();
    void restoreOthers();
    /// Opened, and no close under way.
    bool isOpen() const { return m_stage == Stage::Opened || m_stage == Stage::Shown; }
    bool closeUnderWay() const { return m_stage == Stage::Closing || m_stage == Stage::CloseRequested; }

    Stage m_stage = Stage::Built;
    /// Not a stage: the program ended under a test's end handler, at whatever stage the window was. The stage
    /// still moves on to Destroyed, but none of the window's handlers runs any more.
    bool m_abandoned = false;
    QEventLoop* m_loop = nullptr;
    QPointer<QWidget> m_previousActive;
    /// The windows this one disabled, each with the enabled state it had.
    QList<QPair<QPointer<QWidget>, bool>> m_disabledOthers;
};

} // namespace ovelta
