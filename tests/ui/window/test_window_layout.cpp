// The eight windows as the catalogue lays them out: every control with its name, kind, rectangle and
// settings, the window frames, the toolbar and status bar of the main window, and the pictures.

#include "TempFolder.h"
#include "UiTestSupport.h"
#include "ui/base/DatePicker.h"
#include "ui/base/EditBox.h"
#include "ui/base/Fonts.h"
#include "ui/base/FrameBox.h"
#include "ui/base/Pictures.h"
#include "ui/base/Program.h"
#include "ui/grid/LedgerGrid.h"
#include "ui/window/Controls.h"
#include "ui/window/WindowBuilder.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

/// One row as the catalogue prints it: name, widget class, rectangle in its parent.
struct Expected
{
    QString name;
    const char* widgetClass;
    QRect rect;
};

// Written out again from the window catalogue, independently of the layout data under test.
QList<Expected> expectedRows(const QString& id)
{
    const char* edit = "ovelta::EditBox";
    const char* button = "QPushButton";
    const char* label = "QLabel";
    const char* frame = "ovelta::FrameBox";
    const char* combo = "QComboBox";
    const char* date = "ovelta::DatePicker";
    if (id == u"main"_s) {
        return {{u"状态条1"_s, "QStatusBar", {0, 426, 560, 20}},
                {u"高级表格"_s, "ovelta::LedgerGrid", {4, 58, 550, 361}}};
    }
    if (id == u"login"_s) {
        return {{u"用户编辑框"_s, edit, {110, 19, 100, 20}}, {u"图形按钮1"_s, "QToolButton", {15, 14, 30, 30}},
                {u"透明标签1"_s, label, {52, 19, 50, 20}},   {u"图形按钮2"_s, "QToolButton", {15, 51, 30, 30}},
                {u"透明标签2"_s, label, {52, 56, 50, 20}},   {u"口令编辑框"_s, edit, {110, 56, 100, 20}},
                {u"登录按钮"_s, button, {34, 91, 70, 30}},   {u"取消按钮"_s, button, {147, 91, 70, 30}}};
    }
    if (id == u"password"_s) {
        return {{u"透明标签2"_s, label, {14, 26, 52, 16}},   {u"透明标签3"_s, label, {14, 56, 52, 16}},
                {u"透明标签4"_s, label, {14, 86, 52, 16}},   {u"编辑框3"_s, edit, {68, 84, 112, 20}},
                {u"取消按钮"_s, button, {112, 120, 65, 26}}, {u"确定按钮"_s, button, {19, 120, 65, 26}},
                {u"编辑框2"_s, edit, {68, 54, 112, 20}},     {u"编辑框1"_s, edit, {68, 24, 112, 20}},
                {u"外形框1"_s, frame, {0, 0, 205, 173}}};
    }
    if (id == u"entry"_s) {
        return {{u"说明编辑框"_s, edit, {81, 129, 287, 24}},  {u"透明标签7"_s, label, {14, 129, 60, 20}},
                {u"返回按钮"_s, button, {288, 169, 80, 30}},  {u"添加按钮"_s, button, {184, 169, 80, 30}},
                {u"金额编辑框"_s, edit, {267, 94, 100, 20}},  {u"透明标签6"_s, label, {200, 94, 60, 20}},
                {u"类型组合框"_s, combo, {81, 94, 100, 20}},  {u"透明标签5"_s, label, {14, 94, 60, 20}},
                {u"关系组合框"_s, combo, {267, 59, 100, 20}}, {u"透明标签4"_s, label, {200, 59, 60, 20}},
                {u"姓名编辑框"_s, edit, {267, 24, 100, 20}},  {u"透明标签3"_s, label, {200, 24, 60, 20}},
                {u"收送组合框"_s, combo, {81, 24, 60, 20}},   {u"透明标签2"_s, label, {14, 24, 60, 20}},
                {u"日期框"_s, date, {81, 59, 110, 20}},       {u"透明标签1"_s, label, {14, 59, 60, 20}},
                {u"外形框1"_s, frame, {0, 0, 387, 227}}};
    }
    if (id == u"relations"_s || id == u"banquetTypes"_s) {
        const QString noun = id == u"relations"_s ? u"关系"_s : u"类型"_s;
        return {{u"编辑框1"_s, edit, {142, 18, 70, 20}},
                {u"返回按钮"_s, button, {142, 133, 70, 30}},
                {u"删除"_s + noun + u"按钮"_s, button, {142, 90, 70, 30}},
                {u"添加"_s + noun + u"按钮"_s, button, {142, 47, 70, 30}},
                {u"超级列表框1"_s, "QTreeWidget", {9, 18, 120, 145}},
                {u"外形框1"_s, frame, {0, 0, 225, 183}}};
    }
    if (id == u"search"_s) {
        return {{u"透明标签2"_s, label, {14, 55, 55, 20}},     {u"收送组合框"_s, combo, {71, 55, 73, 20}},
                {u"截止日期框"_s, date, {207, 25, 110, 20}},   {u"透明标签1"_s, label, {185, 25, 20, 20}},
                {u"选择框1"_s, "QCheckBox", {14, 25, 50, 20}}, {u"返回按钮"_s, button, {236, 93, 80, 30}},
                {u"查询按钮"_s, button, {121, 93, 80, 30}},    {u"姓名编辑框"_s, edit, {217, 55, 100, 20}},
                {u"透明标签3"_s, label, {160, 55, 50, 20}},    {u"起始日期框"_s, date, {71, 25, 110, 20}},
                {u"外形框1"_s, frame, {0, 0, 335, 146}}};
    }
    if (id == u"details"_s) {
        return {{u"说明编辑框"_s, "ovelta::MultiLineEdit", {84, 128, 287, 60}},
                {u"收送编辑框"_s, edit, {84, 23, 60, 20}},
                {u"类型编辑框"_s, edit, {84, 93, 100, 20}},
                {u"关系编辑框"_s, edit, {270, 58, 100, 20}},
                {u"时间编辑框"_s, edit, {84, 58, 110, 20}},
                {u"透明标签7"_s, label, {17, 128, 60, 20}},
                {u"金额编辑框"_s, edit, {270, 93, 100, 20}},
                {u"透明标签6"_s, label, {203, 93, 60, 20}},
                {u"透明标签5"_s, label, {17, 93, 60, 20}},
                {u"透明标签4"_s, label, {203, 58, 60, 20}},
                {u"姓名编辑框"_s, edit, {270, 23, 100, 20}},
                {u"透明标签3"_s, label, {203, 23, 60, 20}},
                {u"透明标签2"_s, label, {17, 23, 60, 20}},
                {u"透明标签1"_s, label, {17, 58, 60, 20}},
                {u"外形框1"_s, frame, {0, 0, 392, 219}}};
    }
    return {};
}

QStringList ids()
{
    return {u"main"_s,      u"login"_s,        u"password"_s, u"entry"_s,
            u"relations"_s, u"banquetTypes"_s, u"search"_s,   u"details"_s};
}

} // namespace

class WindowLayoutTest : public QObject
{
    Q_OBJECT

private:
    TempFolder m_folder;

private Q_SLOTS:
    void init() { Program::setNow(QDateTime(QDate(2026, 12, 8), QTime(9, 30))); }
    void cleanup()
    {
        destroyAllWindows();
        Program::setNow(std::nullopt);
    }

    void everyControlHasItsNameKindAndRectangle_data()
    {
        QTest::addColumn<QString>("id");
        for (const QString& id : ids())
            QTest::newRow(qPrintable(id)) << id;
    }

    void everyControlHasItsNameKindAndRectangle()
    {
        QFETCH(QString, id);
        LedgerWindow window(defById(id));
        const QList<Expected> rows = expectedRows(id);
        QVERIFY(!rows.isEmpty());
        for (const Expected& row : rows) {
            QWidget* w = window.control(row.name);
            QVERIFY2(w->inherits(row.widgetClass),
                     qPrintable(row.name + u" is a "_s + QString::fromLatin1(w->metaObject()->className())));
            QCOMPARE(w->geometry(), row.rect);
            QVERIFY2(!w->isHidden(), qPrintable(row.name));
        }
        // The catalogue's table lists the same controls in the same order, plus the invisible objects.
        QStringList visibleInTable;
        for (const ControlDef& c : window.def().controls) {
            if (c.kind != ControlKind::ToolBar && c.kind != ControlKind::DatabaseConnection
                && c.kind != ControlKind::RecordSet && c.kind != ControlKind::ExternalDatabase
                && c.kind != ControlKind::CommonDialog)
                visibleInTable << c.name;
        }
        QStringList expectedNames;
        for (const Expected& row : rows)
            expectedNames << row.name;
        if (id == u"main"_s)
            expectedNames = QStringList{u"状态条1"_s, u"高级表格"_s};
        QCOMPARE(visibleInTable, expectedNames);
    }

    void everyWindowsControlSetFindsItsControls()
    {
        // A name that the catalogue lacks, or a control of another kind, aborts the set's filling.
        LedgerWindow main(Catalogue::mainWindow());
        QCOMPARE(MainControls::from(main).toolActions.size(), 10);
        LedgerWindow login(Catalogue::loginWindow());
        LoginControls::from(login);
        LedgerWindow password(Catalogue::passwordWindow());
        PasswordControls::from(password);
        LedgerWindow entry(Catalogue::entryWindow());
        EntryControls::from(entry);
        LedgerWindow relations(Catalogue::relationsWindow());
        ListControls::fromRelations(relations);
        LedgerWindow banquetTypes(Catalogue::occasionsWindow());
        ListControls::fromOccasions(banquetTypes);
        LedgerWindow search(Catalogue::searchWindow());
        SearchControls::from(search);
        LedgerWindow details(Catalogue::detailsWindow());
        QCOMPARE(DetailsControls::from(details).lineBoxes().size(), 6);
    }

    void invisibleObjectsBuildNoWidget()
    {
        LedgerWindow window(Catalogue::mainWindow());
        for (const QString& name : {u"数据库连接"_s, u"外部数据库"_s, u"通用对话框1"_s, u"记录集"_s})
            QVERIFY2(window.findChild<QWidget*>(name) == nullptr, qPrintable(name));
        QCOMPARE(window.def().control(u"记录集"_s)->kind, ControlKind::RecordSet);
    }

    void earlierRowsLieAboveLaterOnes_data() { everyControlHasItsNameKindAndRectangle_data(); }

    void earlierRowsLieAboveLaterOnes()
    {
        QFETCH(QString, id);
        LedgerWindow window(defById(id));
        // Among siblings, Qt stacks the later child on top.
        QList<QWidget*> siblings;
        for (QObject* child : window.clientArea()->children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (w != nullptr && window.def().control(w->objectName()) != nullptr)
                siblings.append(w);
        }
        QVERIFY(!siblings.isEmpty());
        QStringList bottomToTop = namesOf(siblings);
        QStringList tableOrder;
        for (const ControlDef& c : window.def().controls) {
            if (bottomToTop.contains(c.name))
                tableOrder << c.name;
        }
        std::reverse(tableOrder.begin(), tableOrder.end());
        QCOMPARE(bottomToTop, tableOrder);
    }

    void frameOwnsTheDetailsNoteBox()
    {
        LedgerWindow window(Catalogue::detailsWindow());
        QWidget* note = window.control(u"说明编辑框"_s);
        QCOMPARE(note->parentWidget(), window.control(u"外形框1"_s));
        QCOMPARE(note->mapTo(&window, QPoint(0, 0)), QPoint(84, 128));
        // Every other control lies directly in the window.
        QCOMPARE(window.control(u"透明标签7"_s)->parentWidget(), &window);
    }

    void windowsHaveTheirFrameSizeAndPlace_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<bool>("frameless");
        QTest::addColumn<bool>("taskbar");
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("minimiseBox");
        QTest::newRow("main") << u"main"_s << u"Ovelta"_s << QSize(568, 473) << QSize(560, 446) << false << true << true
                              << true;
        QTest::newRow("login") << u"login"_s << u"Ovelta"_s << QSize(243, 159) << QSize(235, 136) << false << false
                               << true << false;
        QTest::newRow("password") << u"password"_s << u"修改用户口令"_s << QSize(205, 173) << QSize(205, 173) << true
                                  << false << false << false;
        QTest::newRow("entry") << u"entry"_s << u"添加人情"_s << QSize(387, 227) << QSize(387, 227) << true << false
                               << false << false;
        QTest::newRow("relations") << u"relations"_s << u"来往关系管理"_s << QSize(225, 183) << QSize(225, 183) << true
                                   << false << false << false;
        QTest::newRow("banquetTypes") << u"banquetTypes"_s << u"酒席类型管理"_s << QSize(225, 183) << QSize(225, 183)
                                      << true << false << false << false;
        QTest::newRow("search") << u"search"_s << u"人情查询"_s << QSize(335, 146) << QSize(335, 146) << true << false
                                << false << false;
        QTest::newRow("details") << u"details"_s << QString() << QSize(392, 219) << QSize(392, 219) << true << false
                                 << false << false;
    }

    void windowsHaveTheirFrameSizeAndPlace()
    {
        QFETCH(QString, id);
        QFETCH(QString, caption);
        QFETCH(QSize, outer);
        QFETCH(QSize, client);
        QFETCH(bool, frameless);
        QFETCH(bool, taskbar);
        QFETCH(bool, closeBox);
        QFETCH(bool, minimiseBox);

        const WindowDef& def = defById(id);
        QCOMPARE(def.outerSize, outer);
        QCOMPARE(def.clientSize(), client);

        LedgerWindow window(def);
        QCOMPARE(window.objectName(), id);
        QCOMPARE(window.windowTitle(), caption);
        // Only the main window has a menu bar; the window grows by its height and the written client area lies
        // whole below it.
        QCOMPARE(window.menuBar() != nullptr, id == u"main"_s);
        int barHeight = 0;
        if (QMenuBar* bar = window.menuBar()) {
            bar->addMenu(u"账目(&Z)"_s);
            window.fitMenuBar();
            barHeight = bar->height();
            QVERIFY(barHeight > 0);
            QCOMPARE(bar->geometry(), QRect(0, 0, client.width(), barHeight));
        }
        QCOMPARE(window.clientArea()->size(), client);
        QCOMPARE(window.clientArea()->mapTo(&window, QPoint(0, 0)), QPoint(0, barHeight));
        const QSize whole = client + QSize(0, barHeight);
        QCOMPARE(window.size(), whole);
        // Fixed size: neither resizable nor maximisable.
        QCOMPARE(window.minimumSize(), whole);
        QCOMPARE(window.maximumSize(), whole);
        const Qt::WindowFlags flags = window.windowFlags();
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(bool(flags & Qt::FramelessWindowHint), frameless);
        QCOMPARE(window.windowType() == Qt::Window, taskbar);
        QCOMPARE(window.windowType() == Qt::Tool, !taskbar);
        if (!frameless) {
            QCOMPARE(bool(flags & Qt::WindowCloseButtonHint), closeBox);
            QCOMPARE(bool(flags & Qt::WindowMinimizeButtonHint), minimiseBox);
        }
        QCOMPARE(!window.windowIcon().isNull() && id == u"main"_s, id == u"main"_s);

        // Centred on the screen by the outer size, with integer division.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(window.pos(),
                 QPoint(screen.x() + (screen.width() - outer.width()) / 2,
                        screen.y() + (screen.height() - outer.height()) / 2));
    }

    void programIconIsOnTheMainWindowOnly()
    {
        LedgerWindow main(Catalogue::mainWindow());
        const QList<QSize> sizes = main.windowIcon().availableSizes();
        for (int size : {128, 64, 48, 32, 16})
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        LedgerWindow login(Catalogue::loginWindow());
        QVERIFY(login.windowIcon().cacheKey() != main.windowIcon().cacheKey());
    }

    void labelsShowTheirTextsAligned()
    {
        LedgerWindow search(Catalogue::searchWindow());
        QCOMPARE(search.text(u"透明标签2"_s), u"收礼\\送礼"_s);
        QCOMPARE(search.control<QLabel>(u"透明标签2"_s)->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
        QCOMPARE(search.control<QLabel>(u"透明标签1"_s)->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
        QCOMPARE(search.text(u"透明标签3"_s), u"姓    名"_s);

        LedgerWindow entry(Catalogue::entryWindow());
        const QStringList texts = {u"时间日期"_s, u"收礼/送礼"_s, u"姓    名"_s, u"来往关系"_s,
                                   u"酒席类型"_s, u"金    额"_s,  u"说    明"_s};
        for (int i = 0; i < texts.size(); ++i) {
            auto* label = entry.control<QLabel>(u"透明标签"_s + QString::number(i + 1));
            QCOMPARE(label->text(), texts.at(i));
            QCOMPARE(label->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
            QVERIFY(!label->autoFillBackground());
        }
        LedgerWindow login(Catalogue::loginWindow());
        QCOMPARE(login.text(u"透明标签1"_s), u"用户姓名"_s);
        QCOMPARE(login.text(u"透明标签2"_s), u"用户口令"_s);
        QCOMPARE(login.text(u"登录按钮"_s), u"登录(&I)"_s);
        QCOMPARE(login.text(u"取消按钮"_s), u"取消(&X)"_s);
    }

    void fontsFollowTheTable()
    {
        LedgerWindow login(Catalogue::loginWindow());
        for (const QString& name : {u"用户编辑框"_s, u"透明标签1"_s, u"口令编辑框"_s, u"登录按钮"_s, u"取消按钮"_s}) {
            const QFont font = login.control(name)->font();
            QCOMPARE(font.pixelSize(), 12);
            QCOMPARE(font.families().value(0), u"宋体"_s);
            QVERIFY(font.families().size() > 1); // a CJK face stands in where 宋体 is missing
        }
        LedgerWindow details(Catalogue::detailsWindow());
        QCOMPARE(details.control(u"说明编辑框"_s)->font().pixelSize(), 14);
        // The other controls draw with the windows' default font: the same face at 12 pixels.
        QCOMPARE(details.control(u"姓名编辑框"_s)->font(), Fonts::gui());
        LedgerWindow entry(Catalogue::entryWindow());
        QCOMPARE(entry.control(u"添加按钮"_s)->font(), Fonts::gui());
        QCOMPARE(Fonts::gui().pixelSize(), 12);
        QCOMPARE(WindowBuilder::fontFor(FontDef::S14).weight(), QFont::Normal);
    }

    void editBoxesCarryTheirSettings()
    {
        LedgerWindow details(Catalogue::detailsWindow());
        for (const QString& name :
             {u"收送编辑框"_s, u"类型编辑框"_s, u"关系编辑框"_s, u"时间编辑框"_s, u"金额编辑框"_s, u"姓名编辑框"_s}) {
            auto* box = details.control<EditBox>(name);
            QVERIFY(box->isReadOnly());
            QCOMPARE(box->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
            QVERIFY(box->text().isEmpty());
        }
        auto* note = details.control<MultiLineEdit>(u"说明编辑框"_s);
        QVERIFY(note->isReadOnly());
        QCOMPARE(note->lineWrapMode(), QPlainTextEdit::WidgetWidth);

        LedgerWindow password(Catalogue::passwordWindow());
        for (const QString& name : {u"编辑框1"_s, u"编辑框2"_s, u"编辑框3"_s}) {
            auto* box = password.control<EditBox>(name);
            QCOMPARE(box->echoMode(), QLineEdit::Password);
            QCOMPARE(box->maxBytes(), 10);
            box->setText(u"abc"_s);
            QCOMPARE(box->displayText(), u"***"_s);
        }
        LedgerWindow login(Catalogue::loginWindow());
        auto* loginPassword = login.control<EditBox>(u"口令编辑框"_s);
        QCOMPARE(loginPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(loginPassword->maxBytes(), 0);
        QCOMPARE(login.control<EditBox>(u"用户编辑框"_s)->echoMode(), QLineEdit::Normal);

        LedgerWindow entry(Catalogue::entryWindow());
        auto* amount = entry.control<EditBox>(u"金额编辑框"_s);
        QVERIFY(!amount->isReadOnly());
        QCOMPARE(amount->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
        QVERIFY(amount->hasFrame());
        QCOMPARE(amount->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(amount->palette().color(QPalette::Text), QColor(Qt::black));
    }

    void buttonsAndCheckBoxStartAsListed()
    {
        const QList<QPair<QString, QString>> defaults = {
            {u"login"_s, u"登录按钮"_s},         {u"password"_s, u"确定按钮"_s},         {u"entry"_s, u"添加按钮"_s},
            {u"relations"_s, u"添加关系按钮"_s}, {u"banquetTypes"_s, u"添加类型按钮"_s}, {u"search"_s, u"查询按钮"_s}};
        for (const auto& [id, defaultName] : defaults) {
            LedgerWindow window(defById(id));
            for (QPushButton* button : window.findChildren<QPushButton*>()) {
                QCOMPARE(button->isDefault(), button->objectName() == defaultName);
                QVERIFY(!button->autoDefault());
            }
        }
        LedgerWindow search(Catalogue::searchWindow());
        auto* box = search.control<QCheckBox>(u"选择框1"_s);
        QCOMPARE(box->text(), u"时间"_s);
        QVERIFY(!box->isChecked());
        QVERIFY(box->isEnabled());
    }

    void datePickersShowTheLongDateAndStartToday()
    {
        LedgerWindow entry(Catalogue::entryWindow());
        auto* date = entry.control<DatePicker>(u"日期框"_s);
        QVERIFY(date->calendarPopup());
        QVERIFY(date->typingAllowed());
        QVERIFY(date->isEnabled());
        QCOMPARE(date->date(), QDate(2026, 12, 8));
        QCOMPARE(date->text(), u"2026年12月8日"_s);

        LedgerWindow search(Catalogue::searchWindow());
        for (const QString& name : {u"起始日期框"_s, u"截止日期框"_s}) {
            auto* picker = search.control<DatePicker>(name);
            QVERIFY(!picker->typingAllowed());
            QVERIFY(!picker->isEnabled());
            QCOMPARE(picker->date(), QDate(2026, 12, 8));
        }
    }

    void comboBoxesAreEmptyDropDownLists()
    {
        LedgerWindow entry(Catalogue::entryWindow());
        entry.openModeless();
        QVERIFY(QTest::qWaitForWindowExposed(&entry));
        for (const QString& name : {u"收送组合框"_s, u"关系组合框"_s, u"类型组合框"_s}) {
            auto* combo = entry.control<QComboBox>(name);
            QVERIFY(!combo->isEditable());
            QCOMPARE(combo->count(), 0);
            QCOMPARE(combo->currentIndex(), -1);
        }
        // Items stay in the order they are added, and even two of them open a list at least 160 px high.
        auto* combo = entry.control<QComboBox>(u"收送组合框"_s);
        combo->addItems({u"送礼"_s, u"收礼"_s});
        QCOMPARE(combo->itemText(0), u"送礼"_s);
        combo->showPopup();
        QWidget* list = combo->view()->window();
        QTRY_VERIFY(list->isVisible());
        QVERIFY2(list->height() >= 160, qPrintable(QString::number(list->height())));
        // The list drops down below the box.
        QVERIFY(list->geometry().top() >= combo->mapToGlobal(QPoint(0, combo->height())).y() - 1);
        combo->hidePopup();
        entry.requestClose();
    }

    void pictureButtonsAreDisabledDecorations()
    {
        LedgerWindow login(Catalogue::loginWindow());
        for (const QString& name : {u"图形按钮1"_s, u"图形按钮2"_s}) {
            auto* button = login.control<QToolButton>(name);
            QVERIFY(!button->isEnabled());
            QCOMPARE(button->size(), QSize(30, 30));
            QCOMPARE(button->iconSize(), QSize(32, 32));
            QVERIFY(!button->icon().isNull());
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        }
        QVERIFY(login.control<QToolButton>(u"图形按钮1"_s)->icon().pixmap(32).toImage()
                != login.control<QToolButton>(u"图形按钮2"_s)->icon().pixmap(32).toImage());
    }

    void listViewIsAReportWithFullRowSelection()
    {
        LedgerWindow relations(Catalogue::relationsWindow());
        auto* list = relations.control<QTreeWidget>(u"超级列表框1"_s);
        QCOMPARE(list->columnCount(), 0);
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(!list->isHeaderHidden());
        QVERIFY(!list->rootIsDecorated());
        QVERIFY(list->allColumnsShowFocus());
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        // The selection looks the same when the list loses the focus.
        const QPalette palette = list->palette();
        QCOMPARE(palette.color(QPalette::Inactive, QPalette::Highlight),
                 palette.color(QPalette::Active, QPalette::Highlight));
        QCOMPARE(palette.color(QPalette::Base), QColor(Qt::white));
    }

    void framesDrawABlueOutlineOnly()
    {
        LedgerWindow password(Catalogue::passwordWindow());
        auto* frame = password.control<FrameBox>(u"外形框1"_s);
        QVERIFY(!frame->autoFillBackground());
        QImage image(frame->size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        frame->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        const QRgb blue = qRgb(0, 0, 255);
        for (const QPoint p : {QPoint(0, 0), QPoint(1, 1), QPoint(100, 0), QPoint(100, 1), QPoint(0, 90),
                               QPoint(204, 90), QPoint(203, 90), QPoint(100, 172), QPoint(100, 171)})
            QCOMPARE(image.pixel(p), blue);
        // Two pixels wide, and not filled.
        QCOMPARE(qAlpha(image.pixel(2, 90)), 0);
        QCOMPARE(qAlpha(image.pixel(100, 90)), 0);
        QCOMPARE(qAlpha(image.pixel(100, 2)), 0);
    }

    void toolbarHasTenCaptionedButtonsAtTheTop()
    {
        LedgerWindow main(Catalogue::mainWindow());
        main.openModeless();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto* bar = main.control<QToolBar>(u"工具条1"_s);
        QCOMPARE(bar->geometry().topLeft(), QPoint(0, 0));
        QCOMPARE(bar->width(), 560);
        QVERIFY(bar->height() <= 58); // the grid starts below it
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(bar->iconSize(), QSize(32, 32));
        QVERIFY(!bar->isMovable());

        const QStringList captions = {u"添加人情"_s, u"修改人情"_s, u"删除人情"_s, u"查询人情"_s, u"来往关系"_s,
                                      u"酒席类型"_s, u"打印账目"_s, u"修改口令"_s, u"刷新数据"_s, u"退出系统"_s};
        const QList<QAction*> actions = bar->actions();
        QCOMPARE(actions.size(), 10);
        for (int i = 0; i < 10; ++i) {
            QAction* action = actions.at(i);
            QCOMPARE(action->text(), captions.at(i));
            QVERIFY(!action->isSeparator());
            QVERIFY(action->isEnabled());
            QVERIFY(!action->isCheckable());
            QCOMPARE(action->data().toInt(), i);
            auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
            QVERIFY(button != nullptr);
            QCOMPARE(button->objectName(), u"工具条1_"_s + QString::number(i));
            QCOMPARE(button->toolTip(), i == 5 ? QString() : captions.at(i));
            QVERIFY(button->autoRaise());
            QVERIFY(!action->icon().isNull());
            // Every button shows within the window's width; none is pushed into an overflow menu.
            QVERIFY2(button->isVisible(), qPrintable(captions.at(i)));
            QVERIFY(bar->rect().contains(button->geometry()));
        }
    }

    void clickingAToolbarButtonTriggersItsAction()
    {
        LedgerWindow main(Catalogue::mainWindow());
        main.openModeless();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto* bar = main.control<QToolBar>(u"工具条1"_s);
        QList<int> clicked;
        connect(bar, &QToolBar::actionTriggered, this, [&](QAction* a) { clicked << int(bar->actions().indexOf(a)); });
        QTest::mouseClick(bar->findChild<QToolButton*>(u"工具条1_7"_s), Qt::LeftButton);
        QTest::mouseClick(bar->findChild<QToolButton*>(u"工具条1_0"_s), Qt::LeftButton);
        QCOMPARE(clicked, (QList<int>{7, 0}));
    }

    void statusBarHasTwoSunkenPanesAtTheBottom()
    {
        LedgerWindow main(Catalogue::mainWindow());
        main.openModeless();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto* bar = main.control<QStatusBar>(u"状态条1"_s);
        QVERIFY(!bar->isSizeGripEnabled());
        QCOMPARE(bar->geometry(), QRect(0, 426, 560, 20));
        const QList<QLabel*> panes = bar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(panes.size(), 2);
        QCOMPARE(panes.at(0)->objectName(), u"状态条1_0"_s);
        QCOMPARE(panes.at(1)->objectName(), u"状态条1_1"_s);
        QCOMPARE(panes.at(0)->width(), 449);
        QCOMPARE(panes.at(1)->width(), 110);
        QVERIFY(panes.at(0)->geometry().right() < panes.at(1)->geometry().left());
        QCOMPARE(panes.at(0)->frameShadow(), QFrame::Sunken);
        QVERIFY(panes.at(0)->text().isEmpty());
        main.setText(u"状态条1_1"_s, u" 2026年12月8日"_s);
        QCOMPARE(panes.at(1)->text(), u" 2026年12月8日"_s);
    }

    void picturesAreDrawnAndDistinct()
    {
        QList<QImage> images;
        for (int i = 0; i < Pictures::ToolbarImageCount; ++i) {
            const QImage image = Pictures::toolbarImage(i).toImage();
            QCOMPARE(image.size(), QSize(32, 32));
            QVERIFY(image.hasAlphaChannel());
            images << image;
        }
        images << Pictures::loginPicture(Pictures::LoginUser).toImage()
               << Pictures::loginPicture(Pictures::LoginPassword).toImage();
        for (int a = 0; a < images.size(); ++a) {
            int opaque = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x)
                    opaque += qAlpha(images.at(a).pixel(x, y)) > 128 ? 1 : 0;
            QVERIFY2(opaque > 60 && opaque < 1024, qPrintable(QString::number(a)));
            for (int b = a + 1; b < images.size(); ++b)
                QVERIFY(images.at(a) != images.at(b));
        }
        QVERIFY(Pictures::toolbarImage(10).isNull());
        QVERIFY(Pictures::loginPicture(2).isNull());

        // The yuan sign is turquoise: its most common opaque colour has far more green and blue than red.
        const QImage icon = Pictures::programIcon().pixmap(64).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), QSize(64, 64));
        qint64 red = 0, green = 0, blue = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const QRgb p = icon.pixel(x, y);
                if (qAlpha(p) == 255) {
                    red += qRed(p);
                    green += qGreen(p);
                    blue += qBlue(p);
                }
            }
        }
        QVERIFY(green > 2 * red && blue > 2 * red);
        QCOMPARE(qAlpha(icon.pixel(0, 63)), 0);
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "test_window_layout.moc"
