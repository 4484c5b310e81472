#include "ui/DatePicker.h"

#include "ui/Program.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace ovelta {

DatePicker::DatePicker(QWidget* parent)
    : QDateTimeEdit(parent)
{
    setCalendarPopup(true);
    setDisplayFormat(longDateFormat());
    setDateTime(Program::now());
    // The field's own line edit sees pastes and input-method text before the picker does.
    lineEdit()->installEventFilter(this);
}

QString DatePicker::longDateFormat()
{
    return u"yyyy年M月d日"_s;
}

void DatePicker::setTypingAllowed(bool allowed)
{
    m_typing = allowed;
    setContextMenuPolicy(allowed ? Qt::DefaultContextMenu : Qt::NoContextMenu);
    lineEdit()->setContextMenuPolicy(allowed ? Qt::DefaultContextMenu : Qt::NoContextMenu);
}

bool DatePicker::refusesKey(const QKeyEvent* event) const
{
    if (m_typing)
        return false;
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        return false;
    default:
        break;
    }
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll))
        return false;
    return true;
}

bool DatePicker::opensCalendar(const QKeyEvent* event)
{
    if (event->key() == Qt::Key_F4)
        return true;
    return (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) && (event->modifiers() & Qt::AltModifier);
}

void DatePicker::openCalendar()
{
    // The field opens its calendar on a press of its arrow; F4 and Alt+Down do the same, as a drop-down list's
    // keys do.
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    const QRect arrow = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    const QPointF at = arrow.isValid() ? QPointF(arrow.center()) : QPointF(width() - height() / 2, height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    mousePressEvent(&press);
}

void DatePicker::keyPressEvent(QKeyEvent* event)
{
    if (opensCalendar(event)) {
        event->accept();
        openCalendar();
        return;
    }
    if (refusesKey(event)) {
        event->accept();
        return;
    }
    QDateTimeEdit::keyPressEvent(event);
}

void DatePicker::wheelEvent(QWheelEvent* event)
{
    if (!m_typing) {
        event->accept();
        return;
    }
    QDateTimeEdit::wheelEvent(event);
}

void DatePicker::inputMethodEvent(QInputMethodEvent* event)
{
    if (!m_typing) {
        event->accept();
        return;
    }
    QDateTimeEdit::inputMethodEvent(event);
}

bool DatePicker::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_typing && watched == lineEdit()) {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (refusesKey(static_cast<QKeyEvent*>(event)))
                return true;
            break;
        case QEvent::InputMethod:
        case QEvent::Drop:
        case QEvent::DragEnter:
        case QEvent::DragMove:
            return true;
        default:
            break;
        }
    }
    return QDateTimeEdit::eventFilter(watched, event);
}

} // namespace ovelta
