// Keyboard behaviour every window shares: the tab sequence, Enter on the default button, Esc, Alt mnemonics
// and the focus a window takes when it is activated.

#include "TempFolder.h"
#include "UiTestSupport.h"
#include "ui/base/DatePicker.h"
#include "ui/base/EditBox.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

/// Counts the clicks of every push button and check box of a window, by control name.
class ClickCounter
{
public:
    ClickCounter(LedgerWindow* window, QObject* context)
    {
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            if (window->def().control(button->objectName()) == nullptr)
                continue;
            const QString name = button->objectName();
            QObject::connect(button, &QAbstractButton::clicked, context, [this, name] { ++m_clicks[name]; });
        }
    }
    int of(const QString& name) const { return m_clicks.value(name); }
    int total() const
    {
        int sum = 0;
        for (int n : m_clicks)
            sum += n;
        return sum;
    }

private:
    QHash<QString, int> m_clicks;
};

/// A key pressed where the keyboard focus is, or on the active window when no control has the focus.
void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr)
        target = QApplication::activeWindow();
    QVERIFY(target != nullptr);
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

} // namespace

class WindowKeysTest : public QObject
{
    Q_OBJECT

private:
    TempFolder m_folder;

private Q_SLOTS:
    void cleanup() { destroyAllWindows(); }

    void tabFollowsTheSequenceAndWraps_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("sequence");
        QTest::newRow("main") << u"main"_s << QStringList{u"高级表格"_s};
        QTest::newRow("login") << u"login"_s
                               << QStringList{u"口令编辑框"_s, u"用户编辑框"_s, u"登录按钮"_s, u"取消按钮"_s};
        QTest::newRow("password") << u"password"_s
                                  << QStringList{u"编辑框1"_s, u"编辑框2"_s, u"编辑框3"_s, u"确定按钮"_s,
                                                 u"取消按钮"_s};
        QTest::newRow("entry") << u"entry"_s << QStringList{u"日期框"_s,     u"收送组合框"_s, u"姓名编辑框"_s,
                                                            u"关系组合框"_s, u"类型组合框"_s, u"金额编辑框"_s,
                                                            u"添加按钮"_s,   u"返回按钮"_s,   u"说明编辑框"_s};
        QTest::newRow("relations") << u"relations"_s
                                   << QStringList{u"超级列表框1"_s, u"添加关系按钮"_s, u"删除关系按钮"_s, u"返回按钮"_s,
                                                  u"编辑框1"_s};
        QTest::newRow("banquetTypes") << u"banquetTypes"_s
                                      << QStringList{u"超级列表框1"_s, u"添加类型按钮"_s, u"删除类型按钮"_s,
                                                     u"返回按钮"_s, u"编辑框1"_s};
        // The date pickers start disabled, so the sequence skips them.
        QTest::newRow("search") << u"search"_s
                                << QStringList{u"姓名编辑框"_s, u"查询按钮"_s, u"返回按钮"_s, u"选择框1"_s,
                                               u"收送组合框"_s};
        QTest::newRow("details") << u"details"_s
                                 << QStringList{u"姓名编辑框"_s, u"金额编辑框"_s, u"时间编辑框"_s, u"关系编辑框"_s,
                                                u"类型编辑框"_s, u"收送编辑框"_s, u"说明编辑框"_s};
    }

    void tabFollowsTheSequenceAndWraps()
    {
        QFETCH(QString, id);
        QFETCH(QStringList, sequence);
        LedgerWindow* window = openWindow(defById(id));
        QCOMPARE(namesOf(window->tabSequence()), sequence);

        // Opened without a focused control, the window focuses the first of its sequence.
        QCOMPARE(focusedControl(window), sequence.first());
        const qsizetype n = sequence.size();
        for (qsizetype i = 1; i <= n; ++i) {
            press(Qt::Key_Tab);
            QCOMPARE(focusedControl(window), sequence.at(i % n));
        }
        for (qsizetype i = n - 1; i >= 0; --i) {
            press(Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(focusedControl(window), sequence.at(i));
        }
        // Shift with Tab, as some keyboards report it, goes backwards too.
        press(Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(focusedControl(window), sequence.at(n - 1));
    }

    void tabTakesDatePickersOnlyWhileEnabled()
    {
        LedgerWindow* window = openWindow(Catalogue::searchWindow());
        window->control(u"起始日期框"_s)->setEnabled(true);
        window->control(u"截止日期框"_s)->setEnabled(true);
        QCOMPARE(namesOf(window->tabSequence()),
                 (QStringList{u"起始日期框"_s, u"姓名编辑框"_s, u"查询按钮"_s, u"返回按钮"_s, u"选择框1"_s,
                              u"截止日期框"_s, u"收送组合框"_s}));
        window->focus(u"选择框1"_s);
        press(Qt::Key_Tab);
        QCOMPARE(focusedControl(window), u"截止日期框"_s);
        press(Qt::Key_Tab);
        press(Qt::Key_Tab);
        QCOMPARE(focusedControl(window), u"起始日期框"_s);

        // Disabled again while one of them has the focus: Tab goes on to the next usable control.
        window->focus(u"选择框1"_s);
        press(Qt::Key_Tab);
        window->control(u"起始日期框"_s)->setEnabled(false);
        window->control(u"截止日期框"_s)->setEnabled(false);
        press(Qt::Key_Tab);
        QVERIFY(focusedControl(window) != u"截止日期框"_s);
        for (int i = 0; i < 6; ++i) {
            press(Qt::Key_Tab);
            QVERIFY(!focusedControl(window).endsWith(u"日期框"_s));
        }
    }

    void hiddenControlsLeaveTheSequence()
    {
        LedgerWindow* window = openWindow(Catalogue::passwordWindow());
        window->control(u"编辑框2"_s)->hide();
        QCOMPARE(namesOf(window->tabSequence()),
                 (QStringList{u"编辑框1"_s, u"编辑框3"_s, u"确定按钮"_s, u"取消按钮"_s}));
    }

    void enterClicksTheDefaultButtonWhereverTheFocusIs_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("defaultButton");
        QTest::newRow("login") << u"login"_s << u"登录按钮"_s;
        QTest::newRow("password") << u"password"_s << u"确定按钮"_s;
        QTest::newRow("entry") << u"entry"_s << u"添加按钮"_s;
        QTest::newRow("relations") << u"relations"_s << u"添加关系按钮"_s;
        QTest::newRow("banquetTypes") << u"banquetTypes"_s << u"添加类型按钮"_s;
        QTest::newRow("search") << u"search"_s << u"查询按钮"_s;
    }

    void enterClicksTheDefaultButtonWhereverTheFocusIs()
    {
        QFETCH(QString, id);
        QFETCH(QString, defaultButton);
        LedgerWindow* window = openWindow(defById(id));
        ClickCounter clicks(window, this);
        int expected = 0;
        for (QWidget* control : window->tabSequence()) {
            control->setFocus();
            QCOMPARE(focusedControl(window), control->objectName());
            press(Qt::Key_Return);
            ++expected;
            QVERIFY2(clicks.of(defaultButton) == expected, qPrintable(control->objectName()));
            press(Qt::Key_Enter, Qt::KeypadModifier);
            ++expected;
            QCOMPARE(clicks.of(defaultButton), expected);
            QCOMPARE(clicks.total(), expected);
        }
        // Keys sent straight to the window itself find the default button all the same.
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(clicks.of(defaultButton), expected + 1);
    }

    void enterReachesTheWindowFromInnerEditors()
    {
        LedgerWindow* window = openWindow(Catalogue::searchWindow());
        ClickCounter clicks(window, this);
        auto* picker = window->control<DatePicker>(u"起始日期框"_s);
        picker->setEnabled(true);
        picker->setFocus();
        QTest::keyClick(picker->findChild<QLineEdit*>(), Qt::Key_Return);
        QCOMPARE(clicks.of(u"查询按钮"_s), 1);

        LedgerWindow* entry = openWindow(Catalogue::entryWindow());
        ClickCounter entryClicks(entry, this);
        auto* date = entry->control<DatePicker>(u"日期框"_s);
        date->setFocus();
        QTest::keyClick(date->findChild<QLineEdit*>(), Qt::Key_Return);
        QCOMPARE(entryClicks.of(u"添加按钮"_s), 1);
    }

    void enterSkipsADisabledDefaultButton()
    {
        LedgerWindow* window = openWindow(Catalogue::entryWindow());
        ClickCounter clicks(window, this);
        window->control(u"添加按钮"_s)->setEnabled(false);
        window->focus(u"姓名编辑框"_s);
        press(Qt::Key_Return);
        QCOMPARE(clicks.total(), 0);
        window->control(u"添加按钮"_s)->setEnabled(true);
        press(Qt::Key_Return);
        QCOMPARE(clicks.of(u"添加按钮"_s), 1);
    }

    void enterDoesNothingWithoutADefaultButton()
    {
        LedgerWindow* details = openWindow(Catalogue::detailsWindow());
        QPointer<LedgerWindow> guard(details);
        for (const QString& name : {u"姓名编辑框"_s, u"说明编辑框"_s}) {
            details->focus(name);
            press(Qt::Key_Return);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!guard.isNull());
        QVERIFY(details->isVisible());
        QVERIFY(details->text(u"说明编辑框"_s).isEmpty()); // read-only: no line break went in
    }

    void anEditableMultiLineBoxKeepsEnter()
    {
        WindowDef def = Catalogue::entryWindow();
        def.id = u"notes"_s;
        for (ControlDef& c : def.controls) {
            if (c.name == u"说明编辑框"_s) {
                c.multiLine = true;
                c.rect.setHeight(60);
            }
        }
        LedgerWindow* window = openWindow(def);
        ClickCounter clicks(window, this);
        auto* note = window->control<QPlainTextEdit>(u"说明编辑框"_s);
        window->focus(u"说明编辑框"_s);
        QTest::keyClicks(note, u"ab"_s);
        press(Qt::Key_Return);
        QTest::keyClicks(note, u"cd"_s);
        QCOMPARE(note->toPlainText(), u"ab\ncd"_s);
        QCOMPARE(clicks.total(), 0);
        // Read-only, the same box leaves Enter to the window.
        note->setReadOnly(true);
        press(Qt::Key_Return);
        QCOMPARE(clicks.of(u"添加按钮"_s), 1);
    }

    void anOpenDropDownListKeepsItsKeys()
    {
        LedgerWindow* window = openWindow(Catalogue::entryWindow());
        ClickCounter clicks(window, this);
        auto* combo = window->control<QComboBox>(u"收送组合框"_s);
        combo->addItems({u"送礼"_s, u"收礼"_s});
        window->focus(u"收送组合框"_s);
        combo->showPopup();
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        QTest::keyClick(combo->view(), Qt::Key_Down);
        QTest::keyClick(combo->view(), Qt::Key_Return);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QCOMPARE(clicks.total(), 0);
        QCOMPARE(combo->currentText(), u"收礼"_s);
        // Closed again, Enter in the box is the window's.
        press(Qt::Key_Return);
        QCOMPARE(clicks.of(u"添加按钮"_s), 1);
    }

    void escClosesTheMarkedWindowsOnly_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("closes");
        QTest::newRow("main") << u"main"_s << false;
        QTest::newRow("login") << u"login"_s << false;
        QTest::newRow("password") << u"password"_s << false;
        QTest::newRow("entry") << u"entry"_s << true;
        QTest::newRow("relations") << u"relations"_s << true;
        QTest::newRow("banquetTypes") << u"banquetTypes"_s << true;
        QTest::newRow("search") << u"search"_s << true;
        QTest::newRow("details") << u"details"_s << true;
    }

    void escClosesTheMarkedWindowsOnly()
    {
        QFETCH(QString, id);
        QFETCH(bool, closes);
        LedgerWindow* window = openWindow(defById(id));
        QPointer<LedgerWindow> guard(window);
        // From the last control of the sequence too, so that no control swallows the key.
        for (QWidget* control : {window->tabSequence().first(), window->tabSequence().last()}) {
            if (guard.isNull())
                break;
            control->setFocus();
            press(Qt::Key_Escape);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(guard.isNull(), closes);
        }
        QCOMPARE(LedgerWindow::findOpen(id) == nullptr, closes);
    }

    void altWithTheMnemonicClicksTheButton()
    {
        LedgerWindow* login = openWindow(Catalogue::loginWindow());
        ClickCounter clicks(login, this);
        login->focus(u"口令编辑框"_s);
        press(Qt::Key_I, Qt::AltModifier);
        QCOMPARE(clicks.of(u"登录按钮"_s), 1);
        QCOMPARE(clicks.total(), 1);
        // Clicked at once, and once only: Qt's own delayed mnemonic click does not run as well.
        QVERIFY(!login->control<QPushButton>(u"登录按钮"_s)->isDown());
        QVERIFY(login->text(u"口令编辑框"_s).isEmpty());

        login->focus(u"用户编辑框"_s);
        press(Qt::Key_X, Qt::AltModifier);
        QCOMPARE(clicks.of(u"取消按钮"_s), 1);
        QVERIFY(!login->control<QPushButton>(u"取消按钮"_s)->isDown());

        // A letter no caption marks does nothing; a disabled button is not clicked.
        press(Qt::Key_Q, Qt::AltModifier);
        login->control(u"登录按钮"_s)->setEnabled(false);
        press(Qt::Key_I, Qt::AltModifier);
        QCOMPARE(clicks.total(), 2);
        // The focus stays where it was.
        QCOMPARE(focusedControl(login), u"用户编辑框"_s);
    }

    void mnemonicsToggleCheckBoxesAndSkipDoubledAmpersands()
    {
        WindowDef def = Catalogue::searchWindow();
        def.id = u"mnemonics"_s;
        for (ControlDef& c : def.controls) {
            if (c.name == u"选择框1"_s)
                c.text = u"时间(&T)"_s;
            if (c.name == u"返回按钮"_s)
                c.text = u"A&&B"_s;
        }
        LedgerWindow* window = openWindow(def);
        ClickCounter clicks(window, this);
        auto* box = window->control<QCheckBox>(u"选择框1"_s);
        press(Qt::Key_T, Qt::AltModifier);
        QVERIFY(box->isChecked());
        QCOMPARE(clicks.of(u"选择框1"_s), 1);
        press(Qt::Key_T, Qt::AltModifier | Qt::ShiftModifier);
        QVERIFY(!box->isChecked());
        press(Qt::Key_B, Qt::AltModifier);
        QCOMPARE(clicks.of(u"返回按钮"_s), 0);
    }

    void focusReturnsToTheLastFocusedControl()
    {
        LedgerWindow* entry = openWindow(Catalogue::entryWindow());
        entry->focus(u"金额编辑框"_s);
        LedgerWindow* other = openWindow(Catalogue::detailsWindow());
        QCOMPARE(focusedControl(other), u"姓名编辑框"_s);
        entry->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(entry));
        QCOMPARE(focusedControl(entry), u"金额编辑框"_s);
    }
};

QTEST_MAIN(WindowKeysTest)
#include "test_window_keys.moc"
