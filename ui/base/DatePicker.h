#pragma once

#include <QDateTimeEdit>

namespace ovelta {

/// Date field with a drop-down calendar, showing the long date format ("2026年12月8日"). Its value starts as
/// the program clock's current date and time.
///
/// The field holds a calendar date and a time of day as a wall clock shows them, free of any time zone: a date
/// whose local midnight does not exist (a daylight-saving change at 00:00) is held like any other. Every date
/// from 100-01-01 to 9999-12-31 can be held. Set dates with setDate() and the clock's time with
/// setLocalDateTime(); setDateTime() would convert a local time into the field's zone-free time first.
///
/// The field is drawn with a thin one-pixel border and a narrow drop-down button, so that the longest date
/// shows whole in the layout's 110-pixel boxes.
///
/// With typing off the date can only be picked from the calendar: keys, the wheel, pasting and input methods
/// that would change the field are refused, while Tab, Enter, Esc and the keys that open the calendar still work.
class DatePicker : public QDateTimeEdit
{
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);

    static constexpr int ButtonWidth = 14;

    /// Shows the calendar date and time of day of value, as read on the local wall clock.
    void setLocalDateTime(const QDateTime& value);

    void setTypingAllowed(bool allowed);
    bool typingAllowed() const { return m_typing; }

    /// The display format of every date picker.
    static QString longDateFormat();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool refusesKey(const QKeyEvent* event) const;
    static bool opensCalendar(const QKeyEvent* event);
    void openCalendar();
    /// The text field's place: inside the border, left of the drop-down button.
    QRect fieldRect() const;
    void placeField();

    /// Set while placeField() moves the text field, which the event filter otherwise puts back.
    bool m_placing = false;

    bool m_typing = true;
};

} // namespace ovelta
