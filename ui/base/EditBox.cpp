#include "ui/base/EditBox.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QValidator>
#include <algorithm>
#include <limits>

namespace ovelta {

namespace {

/// Keeps the text to whole characters and within the box's byte limit, whichever way the text came in:
/// typed, committed by an input method, pasted, dropped or inserted by the program.
///
/// A length limit counts UTF-16 units and cuts a pasted text that runs over it wherever it ends, also between
/// the two halves of a character outside the Basic Multilingual Plane; the half left behind is no character at
/// all, and would be stored as another one than the box shows. A byte limit is kept by dropping the end of the
/// text that came in, whole characters at a time, as typing stops at the first character that does not fit.
class WholeCharacters : public QValidator
{
public:
    explicit WholeCharacters(EditBox* box)
        : QValidator(box)
        , m_box(box)
    {
    }

    State validate(QString& text, int& position) const override
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                ++i;
            } else if (text.at(i).isSurrogate()) {
                text.remove(i, 1);
                if (position > i)
                    --position;
                --i;
            }
        }
        keepWithinBytes(text, position);
        m_accepted = text;
        return Acceptable;
    }

private:
    void keepWithinBytes(QString& text, int& position) const
    {
        const int limit = m_box->maxBytes();
        if (limit <= 0 || EditBox::gbkLength(text) <= limit)
            return;
        // The text that came in ends at the cursor; what follows the cursor was there before.
        const qsizetype end = std::clamp<qsizetype>(position, 0, text.size());
        const QString after = text.mid(end);
        qsizetype start = 0;
        if (m_accepted.endsWith(after)) {
            const qsizetype before = m_accepted.size() - after.size();
            while (start < end && start < before && text.at(start) == m_accepted.at(start))
                ++start;
        }
        // Keep the incoming characters from the first up to the first that does not fit, in one pass so that a
        // huge paste costs no more than its length.
        const int kept = EditBox::gbkLength(text.left(start)) + EditBox::gbkLength(after);
        int bytes = kept;
        qsizetype cut = start;
        while (cut < end) {
            const qsizetype size = text.at(cut).isHighSurrogate() && cut + 1 < end ? 2 : 1;
            const int characterBytes = text.at(cut).unicode() < 0x80 ? 1 : 2;
            if (bytes + characterBytes > limit)
                break;
            bytes += characterBytes;
            cut += size;
        }
        text = text.left(cut) + after;
        // The text that was there before is over the limit by itself only when the limit was lowered since:
        // it is then cut from its end as well.
        if (kept > limit) {
            qsizetype length = 0;
            int total = 0;
            for (const char32_t c : text.toUcs4()) {
                const int characterBytes = c < 0x80 ? 1 : 2;
                if (total + characterBytes > limit)
                    break;
                total += characterBytes;
                length += QChar::requiresSurrogates(c) ? 2 : 1;
            }
            text.truncate(length);
        }
        position = int(std::min<qsizetype>(cut, text.size()));
    }

    EditBox* m_box;
    /// The text as last accepted: what was in the box before the change being validated.
    mutable QString m_accepted;
};

} // namespace

EditBox::EditBox(QWidget* parent)
    : QLineEdit(parent)
{
    // The line edit's own default limit (32767 characters) would cut a longer pasted text without a sign.
    setMaxLength(std::numeric_limits<int>::max());
    setValidator(new WholeCharacters(this));
}

int EditBox::gbkLength(const QString& text)
{
    int bytes = 0;
    for (char32_t c : text.toUcs4())
        bytes += c < 0x80 ? 1 : 2;
    return bytes;
}

QString EditBox::admit(const QString& typed) const
{
    // The limit applies to the text as it will be once the typed characters replace the selection.
    QString kept = text();
    if (hasSelectedText())
        kept.remove(selectionStart(), selectedText().size());
    int bytes = gbkLength(kept);

    QString result;
    for (char32_t c : typed.toUcs4()) {
        if (m_filter) {
            const std::optional<char32_t> answer = m_filter(c);
            if (answer) {
                if (*answer == 0)
                    continue;
                c = *answer;
            }
        }
        const QString character = QString::fromUcs4(&c, 1);
        const int size = gbkLength(character);
        if (m_maxBytes > 0 && bytes + size > m_maxBytes)
            break;
        bytes += size;
        result += character;
    }
    return result;
}

namespace {

/// Text of a key press that types characters; empty for editing keys, shortcuts and control characters.
QString typedText(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers shortcutKeys = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (event->modifiers() & shortcutKeys)
        return {};
    const QString text = event->text();
    if (text.isEmpty())
        return {};
    for (QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return {};
    }
    return text;
}

} // namespace

void EditBox::keyPressEvent(QKeyEvent* event)
{
    const QString typed = typedText(event);
    if (typed.isEmpty() || isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QString admitted = admit(typed);
    if (admitted == typed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!admitted.isEmpty())
        insert(admitted);
}

void EditBox::inputMethodEvent(QInputMethodEvent* event)
{
    const QString typed = event->commitString();
    if (typed.isEmpty() || isReadOnly()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    const QString admitted = admit(typed);
    if (admitted == typed) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent filtered(event->preeditString(), event->attributes());
    filtered.setCommitString(admitted, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&filtered);
    event->setAccepted(filtered.isAccepted());
}

MultiLineEdit::MultiLineEdit(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

} // namespace ovelta
