// The edit box's character-input event and its GBK byte limit, and the date picker's typing switch.

#include "TempFolder.h"
#include "UiTestSupport.h"
#include "ui/base/DatePicker.h"
#include "ui/base/EditBox.h"
#include "ui/base/Program.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

/// Types each character of the text as its own keystroke, Chinese characters included.
void type(QWidget* box, const QString& text)
{
    for (char32_t c : text.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        const int key = c < 0x80 ? int(QChar(c).toUpper().unicode()) : int(Qt::Key_unknown);
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key(key), character, Qt::NoModifier);
    }
}

/// Commits text as an input method does (a whole phrase at once).
void commit(QWidget* box, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(box, &event);
}

} // namespace

class EditBoxTest : public QObject
{
    Q_OBJECT

private:
    test::TempFolder m_folder;

private Q_SLOTS:
    void filterPassesDiscardsOrReplaces()
    {
        EditBox box;
        QList<char32_t> seen;
        box.setCharFilter([&seen](char32_t c) -> std::optional<char32_t> {
            seen << c;
            if (c == U'x')
                return char32_t(0); // discarded
            if (c == U'a')
                return U'A'; // replaced
            if (c == U'中')
                return U'国';
            return std::nullopt; // passes unchanged
        });
        type(&box, u"1ax2中"_s);
        QCOMPARE(box.text(), u"1A2国"_s);
        QCOMPARE(seen, (QList<char32_t>{U'1', U'a', U'x', U'2', U'中'}));
        QCOMPARE(box.cursorPosition(), 4);
    }

    void filterSeesOnlyTypedCharacters()
    {
        EditBox box;
        int calls = 0;
        box.setCharFilter([&calls](char32_t) -> std::optional<char32_t> {
            ++calls;
            return char32_t(0);
        });
        // Text set by the program and editing keys do not pass the filter.
        box.setText(u"12.5"_s);
        box.end(false);
        QTest::keyClick(&box, Qt::Key_Backspace);
        QTest::keyClick(&box, Qt::Key_Left);
        QTest::keyClick(&box, Qt::Key_Delete);
        QCOMPARE(box.text(), u"12"_s);
        QCOMPARE(calls, 0);
        // A paste is not filtered either.
        QApplication::clipboard()->setText(u"ab"_s);
        box.paste();
        QCOMPARE(box.text(), u"12ab"_s);
        QCOMPARE(calls, 0);
        type(&box, u"z"_s);
        QCOMPARE(calls, 1);
        QCOMPARE(box.text(), u"12ab"_s);
    }

    void filterAppliesToInputMethodText()
    {
        EditBox box;
        box.setCharFilter([](char32_t c) -> std::optional<char32_t> {
            if (c > U'9')
                return char32_t(0);
            return std::nullopt;
        });
        commit(&box, u"1人2"_s);
        QCOMPARE(box.text(), u"12"_s);
        commit(&box, u"元"_s);
        QCOMPARE(box.text(), u"12"_s);
    }

    void gbkLengthCountsChineseAsTwoBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bytes");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("ascii") << u"abc 123"_s << 7;
        QTest::newRow("chinese") << u"口令"_s << 4;
        QTest::newRow("mixed") << u"a中b"_s << 4;
        QTest::newRow("full-width") << u"１２"_s << 4;
    }

    void gbkLengthCountsChineseAsTwoBytes()
    {
        QFETCH(QString, text);
        QFETCH(int, bytes);
        QCOMPARE(EditBox::gbkLength(text), bytes);
    }

    void byteLimitRefusesTheKeystrokeThatWouldExceedIt()
    {
        EditBox box;
        box.setMaxBytes(10);
        type(&box, u"abcdefghijk"_s);
        QCOMPARE(box.text(), u"abcdefghij"_s);

        box.clear();
        type(&box, u"一二三四五六"_s);
        QCOMPARE(box.text(), u"一二三四五"_s);

        // Nine bytes leave room for a letter but not for a Chinese character.
        box.clear();
        type(&box, u"abcdefghi"_s);
        type(&box, u"中"_s);
        QCOMPARE(box.text(), u"abcdefghi"_s);
        type(&box, u"j"_s);
        QCOMPARE(box.text(), u"abcdefghij"_s);

        // Typing over a selection counts the text that remains.
        box.selectAll();
        type(&box, u"中"_s);
        QCOMPARE(box.text(), u"中"_s);
        box.setText(u"一二三四五"_s);
        box.setSelection(0, 1);
        type(&box, u"六"_s);
        QCOMPARE(box.text(), u"六二三四五"_s);
    }

    void byteLimitTakesWhatFitsOfAnInputMethodPhrase()
    {
        EditBox box;
        box.setMaxBytes(10);
        commit(&box, u"abcdef"_s);
        commit(&box, u"人情往来"_s);
        QCOMPARE(box.text(), u"abcdef人情"_s);
        QCOMPARE(EditBox::gbkLength(box.text()), 10);
    }

    void byteLimitHoldsHoweverTextComesIn_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor"); // -1: the whole text selected
        QTest::addColumn<QString>("incoming");
        QTest::addColumn<QString>("after");
        enum { Type, InputMethod, PasteKey, PasteCommand, Drop, Insert };
        const QString six = u"一二三四五六"_s;
        const QString five = u"一二三四五"_s;
        for (const auto& [way, name] :
             {std::pair{Type, "typed"}, std::pair{InputMethod, "input method"}, std::pair{PasteKey, "Ctrl+V"},
              std::pair{PasteCommand, "paste"}, std::pair{Drop, "dropped"}, std::pair{Insert, "inserted"}}) {
            auto row = [&](const char* what) -> QTestData& { return QTest::addRow("%s: %s", name, what); };
            row("six Chinese characters keep five") << int(way) << QString() << 0 << six << five;
            row("eleven letters keep ten") << int(way) << QString() << 0 << u"abcdefghijk"_s << u"abcdefghij"_s;
            row("letters then Chinese") << int(way) << QString() << 0 << u"ab一二三四五"_s << u"ab一二三四"_s;
            // A phrase stops at its first character that does not fit; keystrokes are taken one by one.
            row("one byte left, no half character")
                << int(way) << u"abcdefghi"_s << 9 << u"中j"_s << (way == Type ? u"abcdefghij"_s : u"abcdefghi"_s);
            row("into the middle") << int(way) << u"abcdefgh"_s << 2 << u"一二"_s << u"ab一cdefgh"_s;
            // A drop lands beside the selection rather than replacing it.
            row("over a selection") << int(way) << five << -1 << u"abcdefghijkl"_s
                                    << (way == Drop ? five : u"abcdefghij"_s);
            row("outside the basic plane") << int(way) << QString() << 0 << u"𠀋𠀋𠀋𠀋𠀋𠀋"_s << u"𠀋𠀋𠀋𠀋𠀋"_s;
        }
    }

    void byteLimitHoldsHoweverTextComesIn()
    {
        QFETCH(int, way);
        QFETCH(QString, before);
        QFETCH(int, cursor);
        QFETCH(QString, incoming);
        QFETCH(QString, after);
        // The password window's boxes hold at most 10 GBK bytes.
        LedgerWindow window(test::defById(u"password"_s));
        auto* box = window.control<EditBox>(u"编辑框1"_s);
        QCOMPARE(box->maxBytes(), 10);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        box->setFocus();
        box->setText(before);
        if (cursor < 0)
            box->selectAll();
        else
            box->setCursorPosition(cursor);
        switch (way) {
        case 0:
            type(box, incoming);
            break;
        case 1:
            commit(box, incoming);
            break;
        case 2:
            QApplication::clipboard()->setText(incoming);
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            break;
        case 3:
            QApplication::clipboard()->setText(incoming);
            box->paste();
            break;
        case 4: {
            QMimeData mime;
            mime.setText(incoming);
            // Dropped where the cursor is.
            const QPoint at(box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x(), box->height() / 2);
            QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(box, &enter);
            QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(box, &drop);
            QVERIFY(drop.isAccepted());
            break;
        }
        default:
            box->insert(incoming);
            break;
        }
        QCOMPARE(box->text(), after);
        QVERIFY(EditBox::gbkLength(box->text()) <= 10);
    }

    void byteLimitKeepsTheStartOfAHugePaste()
    {
        EditBox box;
        box.setMaxBytes(10);
        box.setText(u"ab"_s);
        box.end(false);
        QApplication::clipboard()->setText(QString(1'000'000, u'密'));
        box.paste();
        QCOMPARE(box.text(), u"ab密密密密"_s);
        QCOMPARE(box.cursorPosition(), 6);
    }

    void byteLimitAppliesAfterTheFilter()
    {
        EditBox box;
        box.setMaxBytes(2);
        box.setCharFilter([](char32_t c) -> std::optional<char32_t> {
            if (c == U'a')
                return U'中';
            return std::nullopt;
        });
        type(&box, u"ba"_s);
        QCOMPARE(box.text(), u"b"_s);
        type(&box, u"c"_s);
        QCOMPARE(box.text(), u"bc"_s);
    }

    void withoutLimitOrFilterTheBoxTakesEverything()
    {
        EditBox box;
        const QString text = u"张三 收礼 200.00 元"_s;
        type(&box, text);
        QCOMPARE(box.text(), text);
    }

    void passwordBoxMasksEveryCharacterWithAStar()
    {
        EditBox box;
        box.setEchoMode(QLineEdit::Password);
        box.setStyleSheet(u"lineedit-password-character: 42;"_s);
        box.setMaxBytes(10);
        type(&box, u"口令ab"_s);
        QCOMPARE(box.text(), u"口令ab"_s);
        QCOMPARE(box.displayText(), u"****"_s);
    }

    void datePickerWithoutTypingRefusesKeys()
    {
        Program::setNow(QDateTime(QDate(2026, 12, 8), QTime(8, 0)));
        DatePicker picker;
        picker.setTypingAllowed(false);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        picker.setFocus();
        QTest::keyClick(&picker, Qt::Key_Up);
        QTest::keyClick(&picker, Qt::Key_Down);
        QTest::keyClicks(&picker, u"2025"_s);
        QTest::keyClick(&picker, Qt::Key_Backspace);
        QTest::keyClick(&picker, Qt::Key_PageUp);
        QCOMPARE(picker.date(), QDate(2026, 12, 8));
        commit(picker.findChild<QLineEdit*>(), u"1"_s);
        QCOMPARE(picker.date(), QDate(2026, 12, 8));
        QCOMPARE(picker.text(), u"2026年12月8日"_s);
        // Picking from the calendar still sets the date.
        picker.setDate(QDate(2026, 1, 2));
        QCOMPARE(picker.text(), u"2026年1月2日"_s);
        Program::setNow(std::nullopt);
    }

    void datePickerOpensItsCalendarFromTheKeyboard()
    {
        DatePicker picker;
        picker.setTypingAllowed(false);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        picker.setFocus();
        for (const QKeyCombination key :
             {QKeyCombination(Qt::Key_F4), QKeyCombination(Qt::AltModifier, Qt::Key_Down)}) {
            QTest::keyClick(&picker, key.key(), key.keyboardModifiers());
            QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
            QVERIFY(picker.calendarWidget()->isVisible());
            QApplication::activePopupWidget()->close();
            QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        }
    }

    void datePickerWithTypingTakesKeys()
    {
        Program::setNow(QDateTime(QDate(2026, 12, 8), QTime(8, 0)));
        DatePicker picker;
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        picker.setFocus();
        picker.setSelectedSection(QDateTimeEdit::YearSection);
        QTest::keyClick(&picker, Qt::Key_Down);
        QCOMPARE(picker.date(), QDate(2025, 12, 8));
        Program::setNow(std::nullopt);
    }
};

QTEST_MAIN(EditBoxTest)
#include "test_edit_box.moc"
