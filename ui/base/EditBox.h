#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <functional>
#include <optional>

namespace ovelta {

/// Single-line edit box. Offers the character-input event: a filter sees every typed character (key presses
/// and committed input-method text) before the box does. The filter returns std::nullopt to let it pass
/// unchanged, 0 to discard it, or another character code to put in instead. Pasted or programmatic text is
/// not filtered.
///
/// A byte limit (maxBytes) counts the text in GBK bytes (ASCII one byte, any other character two): a
/// keystroke that would exceed it is refused, and text that comes in any other way (input method, paste, drop,
/// insert) keeps its whole characters up to the limit and loses the rest. Without a limit set (setMaxLength,
/// maxBytes) the box holds a text of any length. The box holds whole characters only: a limit that cuts a
/// pasted character outside the Basic Multilingual Plane in two drops the half it would keep.
class EditBox : public QLineEdit
{
    Q_OBJECT
public:
    using CharFilter = std::function<std::optional<char32_t>(char32_t)>;

    explicit EditBox(QWidget* parent = nullptr);
    void setCharFilter(CharFilter filter) { m_filter = std::move(filter); }
    void setMaxBytes(int bytes) { m_maxBytes = bytes; }
    int maxBytes() const { return m_maxBytes; }

    /// Bytes the text takes in the GBK code page (ASCII one, other characters two).
    static int gbkLength(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    /// Applies the filter and the byte limit to typed text; returns the text to insert (maybe empty).
    QString admit(const QString& typed) const;

    CharFilter m_filter;
    int m_maxBytes = 0;
};

/// Multi-line edit box (long text wraps at word boundaries and scrolls vertically).
class MultiLineEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit MultiLineEdit(QWidget* parent = nullptr);
};

} // namespace ovelta
