#pragma once

#include <QDateTimeEdit>

namespace ovelta {

/// Date field with a drop-down calendar, showing the long date format ("2026年12月8日"). Its value starts as
/// the program clock's current date and time.
///
/// With typing off the date can only be picked from the calendar: keys, the wheel, pasting and input methods
/// that would change the field are refused, while Tab, Enter, Esc and the keys that open the calendar still work.
class DatePicker : public QDateTimeEdit
{
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);

    void setTypingAllowed(bool allowed);
    bool typingAllowed() const { return m_typing; }

    /// The display format of every date picker.
    static QString longDateFormat();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool refusesKey(const QKeyEvent* event) const;
    static bool opensCalendar(const QKeyEvent* event);
    void openCalendar();

    bool m_typing = true;
};

} // namespace ovelta
