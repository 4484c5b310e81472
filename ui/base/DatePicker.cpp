#include "ui/base/DatePicker.h"

#include "ui/base/Program.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace ovelta {

DatePicker::DatePicker(QWidget* parent)
    : QDateTimeEdit(parent)
{
    // A zone-free clock: no date is skipped or shifted by a change of the local time.
    setTimeSpec(Qt::UTC);
    setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));
    setCalendarPopup(true);
    setDisplayFormat(longDateFormat());
    setLocalDateTime(Program::now());
    // The field's own line edit sees pastes and input-method text before the picker does.
    lineEdit()->installEventFilter(this);
    placeField();
}

void DatePicker::setLocalDateTime(const QDateTime& value)
{
    if (value.isValid())
        setDateTime(QDateTime(value.date(), value.time(), Qt::UTC));
}

QRect DatePicker::fieldRect() const
{
    return QRect(1, 1, qMax(0, width() - 2 - ButtonWidth), qMax(0, height() - 2));
}

void DatePicker::placeField()
{
    m_placing = true;
    lineEdit()->setGeometry(fieldRect());
    m_placing = false;
}

void DatePicker::resizeEvent(QResizeEvent* event)
{
    QDateTimeEdit::resizeEvent(event);
    placeField();
}

void DatePicker::changeEvent(QEvent* event)
{
    QDateTimeEdit::changeEvent(event);
    if (event->type() == QEvent::StyleChange)
        placeField();
}

void DatePicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect frame = rect();
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    painter.fillRect(frame, palette().brush(group, QPalette::Base));
    const QRect button(frame.right() - ButtonWidth, 1, ButtonWidth, frame.height() - 2);
    painter.fillRect(button, palette().brush(group, QPalette::Button));
    painter.setPen(palette().color(group, QPalette::Mid));
    painter.drawLine(button.topLeft(), button.bottomLeft());
    painter.setPen(palette().color(QPalette::Active, QPalette::Dark));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = button.adjusted(2, 0, -1, 0);
    style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &painter, this);
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
    // The spin box lays its text field out for the style's wider frame and button; keep it in its place.
    if (watched == lineEdit() && !m_placing && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        && lineEdit()->geometry() != fieldRect()) {
        placeField();
    }
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
