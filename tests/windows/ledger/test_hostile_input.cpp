// Hostile texts through every text field of every window: each is stored and shown exactly as typed, or
// refused with its window's message; no other record changes and nothing crashes. A text reaches a box as a
// paste does (inserted at the cursor, so the box's own length limit applies), and what the engine stores is
// read back through a connection of its own.

#include "app/LoginWindow.h"
#include "store/value/BlankText.h"

#include "GuiSupport.h"
#include "LedgerFixture.h"
#include "ModalSteps.h"

#include "store/value/Money.h"
#include "ui/base/EditBox.h"
#include "ui/base/SharedState.h"
#include "windows/ledger/EntryWindow.h"
#include "windows/ledger/ListWindow.h"
#include "windows/ledger/PasswordWindow.h"
#include "windows/ledger/SearchWindow.h"

#include <QComboBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

enum class Field {
    EntryName,
    EntryNote,
    EntryAmount,
    SearchName,
    RelationEntry,
    BanquetTypeEntry,
    LoginUser,
    LoginPassword,
    CurrentPassword,
    NewPassword, ///< typed into both the new password and its confirmation
};

const QList<QPair<Field, const char*>> Fields = {
    {Field::EntryName, "entry name"},
    {Field::EntryNote, "entry note"},
    {Field::EntryAmount, "entry amount"},
    {Field::SearchName, "search name"},
    {Field::RelationEntry, "relations entry"},
    {Field::BanquetTypeEntry, "banquet types entry"},
    {Field::LoginUser, "login user"},
    {Field::LoginPassword, "login password"},
    {Field::CurrentPassword, "current password"},
    {Field::NewPassword, "new password"},
};

constexpr qint64 NotAnAmount = -1;

struct Hostile
{
    const char* tag;
    QString text;
    qint64 amountTicks; ///< what the amount box makes of it, or NotAnAmount
};

QList<Hostile> hostileTexts()
{
    QString megabyte;
    while (megabyte.toUtf8().size() < (1 << 20))
        megabyte += u"礼金 note 0123456789 "_s.repeated(1024);
    return {
        {"apostrophes", u"O'Neil's ''gift'''"_s, NotAnAmount},
        {"double quotes", u"\"引号\" and \\\""_s, NotAnAmount},
        {"statement fragment", u"'; delete from 收送礼 --"_s, NotAnAmount},
        {"like wildcards", u"100%_折扣%"_s, NotAnAmount},
        {"one megabyte", megabyte, NotAnAmount},
        {"embedded NUL", u"前"_s + QChar(u'\0') + u"后"_s, NotAnAmount},
        {"emoji and other planes", u"礼🧧😀𠀀𝄞🧧"_s, NotAnAmount},
        {"full-width forms", u"ＡＢＣ１２３！＇＂"_s, NotAnAmount},
        {"right-to-left marks", u"\u200F\u202Eשלום عيد\u202C\u200E"_s, NotAnAmount},
        {"blanks around", u"  　张三　  "_s, NotAnAmount},
        {"full-width amount", u"１２３．５"_s, 1235000},
        {"amount with blanks around", u" 　88.5　 "_s, 885000},
    };
}

bool holdsNul(const QString& text)
{
    return text.contains(QChar(u'\0'));
}

/// The first and last blanks (ASCII and full-width) that the list windows and the search trim.
QString trimmed(const QString& text)
{
    return BlankText::trimmed(text);
}

/// Puts text into a box as a paste does: at the cursor, replacing the selection, within the box's limit.
void paste(LedgerWindow* w, const QString& box, const QString& text)
{
    EditBox* edit = findControl<EditBox>(w, box);
    edit->selectAll();
    edit->insert(text);
}

void click(LedgerWindow* w, const QString& button)
{
    findControl<QPushButton>(w, button)->click();
}

/// Every row of every table, as text, read through a connection of its own.
QMap<QString, QStringList> tables()
{
    static const QList<QPair<QString, QStringList>> schema = {
        {u"收送礼"_s, {u"ID"_s, u"收送"_s, u"姓名"_s, u"时间"_s, u"关系"_s, u"类型"_s, u"金额"_s, u"说明"_s}},
        {u"关系"_s, {u"ID"_s, u"关系"_s}},
        {u"类型"_s, {u"ID"_s, u"类型"_s}},
        {u"收送"_s, {u"ID"_s, u"收送"_s}},
        {u"账号"_s, {u"ID"_s, u"用户"_s, u"密码"_s}},
    };
    ExternalDatabase db;
    QMap<QString, QStringList> out;
    if (!db.connect(LedgerFile::name(), QString(), LedgerFile::password()))
        return out;
    for (const auto& [table, columns] : schema) {
        const int rows = db.query(u"select * from "_s + table);
        QStringList& lines = out[table];
        for (db.moveFirst(rows); !db.atEnd(rows); db.moveNext(rows)) {
            QStringList values;
            for (const QString& column : columns)
                values << db.read(rows, column).toString();
            lines << values.join(u'|');
        }
        db.close(rows);
    }
    return out;
}

} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void hostileText_data();
    void hostileText();

private:
    void throughEntry(Field field, const Hostile& h);
    void throughSearch(const Hostile& h);
    void throughList(ListWindow::Kind kind, const Hostile& h);
    void throughLogin(Field field, const Hostile& h);
    void throughPassword(Field field, const Hostile& h);

    /// Runs steps in the modal window of that id while open() runs; every step must run.
    void drive(const QString& id, const std::function<void()>& open, QList<ModalSteps::Step> steps);
    /// Sets the first account row's column to an exact text through the record set.
    void setAccount(const QString& column, const QString& text);
    /// The texts of the last boxes shown.
    QStringList shown() const { return m_boxes->texts(); }
    /// The tables now, each compared with how it was before the test, except the one named.
    void othersUnchanged(const QString& changed);

    std::unique_ptr<LedgerFixture> m_fixture;
    TestHost* m_host = nullptr;
    BoxRecorder* m_boxes = nullptr;
    QMap<QString, QStringList> m_before;
};

void TestHostileInput::initTestCase()
{
    // One ledger file built once and copied for every case: each case starts from the same fresh file.
    QVERIFY(!LedgerFixture::templateLedger().isEmpty());
}

void TestHostileInput::init()
{
    m_fixture = std::make_unique<LedgerFixture>(LedgerFixture::Options().showingOpenErrors());
    QVERIFY(m_fixture->isValid());
    m_host = &m_fixture->host();
    m_boxes = &m_fixture->boxes();
}

void TestHostileInput::cleanup()
{
    m_fixture.reset();
}

void TestHostileInput::hostileText_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("hostile");
    const QList<Hostile> texts = hostileTexts();
    for (const auto& [field, fieldName] : Fields) {
        for (int i = 0; i < texts.size(); ++i)
            QTest::addRow("%s: %s", fieldName, texts[i].tag) << int(field) << i;
    }
}

void TestHostileInput::hostileText()
{
    QFETCH(int, field);
    QFETCH(int, hostile);
    const Hostile h = hostileTexts().at(hostile);
    const auto f = Field(field);
    switch (f) {
    case Field::EntryName:
    case Field::EntryNote:
    case Field::EntryAmount:
        throughEntry(f, h);
        break;
    case Field::SearchName:
        throughSearch(h);
        break;
    case Field::RelationEntry:
        throughList(ListWindow::Relations, h);
        break;
    case Field::BanquetTypeEntry:
        throughList(ListWindow::Occasions, h);
        break;
    case Field::LoginUser:
    case Field::LoginPassword:
        throughLogin(f, h);
        break;
    case Field::CurrentPassword:
    case Field::NewPassword:
        throughPassword(f, h);
        break;
    }
}

void TestHostileInput::drive(const QString& id, const std::function<void()>& open, QList<ModalSteps::Step> steps)
{
    const int count = int(steps.size());
    ModalSteps driver(id, std::move(steps));
    driver.run(open);
    QCOMPARE(driver.stepsRun, count);
}

void TestHostileInput::setAccount(const QString& column, const QString& text)
{
    RecordSet& records = m_host->recordSet;
    QVERIFY(records.openTable(u"账号"_s));
    QVERIFY(records.writeText(column, text) && records.saveRow());
    records.close();
}

void TestHostileInput::othersUnchanged(const QString& changed)
{
    QMap<QString, QStringList> now = tables();
    QCOMPARE(now.keys(), m_before.keys());
    for (auto it = m_before.cbegin(); it != m_before.cend(); ++it) {
        if (it.key() != changed)
            QVERIFY2(now.value(it.key()) == *it, qPrintable(u"table "_s + it.key() + u" changed"_s));
    }
}

void TestHostileInput::throughEntry(Field field, const Hostile& h)
{
    m_before = tables();
    const QString name = field == Field::EntryName ? h.text : u"张三"_s;
    const QString note = field == Field::EntryNote ? h.text : u"喜酒"_s;
    const QString amount = field == Field::EntryAmount ? h.text : u"66.6"_s;
    SharedState::instance().entryMode = u"添加"_s;
    drive(u"entry"_s, [this] { (new EntryWindow(*m_host))->openModal(); },
          {[&](LedgerWindow* w) {
               for (const QString& box : {u"收送组合框"_s, u"关系组合框"_s, u"类型组合框"_s})
                   findControl<QComboBox>(w, box)->setCurrentIndex(0);
               paste(w, u"姓名编辑框"_s, name);
               paste(w, u"说明编辑框"_s, note);
               paste(w, u"金额编辑框"_s, amount);
               QCOMPARE(w->text(u"姓名编辑框"_s), name);
               QCOMPARE(w->text(u"说明编辑框"_s), note);
               QCOMPARE(w->text(u"金额编辑框"_s), amount);
               click(w, u"添加按钮"_s);
           },
           [](LedgerWindow* w) { click(w, u"返回按钮"_s); }});

    const qint64 ticks = field == Field::EntryAmount ? h.amountTicks : 666000;
    if (ticks == NotAnAmount) {
        QCOMPARE(shown(), QStringList{u"请输入正确的账目金额。"_s});
        othersUnchanged(QString());
        return;
    }
    if (holdsNul(h.text)) {
        // The engine takes a statement up to a NUL only: the literal is cut open and the statement refused, as
        // the second line says.
        QCOMPARE(shown().size(), 1);
        QVERIFY2(shown().first().startsWith(u"添加账目失败。\n数据库操作失败:"_s), qPrintable(shown().first()));
        othersUnchanged(QString());
        return;
    }
    QCOMPARE(shown(), QStringList{u"成功添加账目信息。"_s});
    othersUnchanged(u"收送礼"_s);
    QCOMPARE(m_host->recordSet.open(u"select * from 收送礼"_s), true);
    QCOMPARE(m_host->recordSet.rowCount(), 1);
    QString storedName, storedNote;
    qint64 storedTicks = 0;
    m_host->recordSet.readText(u"姓名"_s, storedName);
    m_host->recordSet.readText(u"说明"_s, storedNote);
    m_host->recordSet.readCurrency(u"金额"_s, storedTicks);
    m_host->recordSet.close();
    QCOMPARE(storedName, name);
    QCOMPARE(storedNote, note);
    QCOMPARE(storedTicks, ticks);
    // The ledger grid, refilled after the save, shows the record as typed.
    const LedgerGrid& grid = m_host->grid();
    QCOMPARE(grid.rowCount(), LedgerGrid::FixedRows + 1);
    QCOMPARE(grid.cellText(2, 3), name);
    QCOMPARE(grid.cellText(2, 7), Money::toTwoDecimals(ticks));
    QCOMPARE(grid.cellText(2, 8), note);

    // Opened for modifying, it shows the same texts; saved unchanged, it stays as it was.
    m_boxes->clear();
    m_boxes->answer(MessageBox::Yes);
    SharedState::instance().entryMode = u"修改"_s;
    SharedState::instance().selectedRecordId = grid.cellText(2, 0);
    const QMap<QString, QStringList> added = tables();
    drive(u"entry"_s, [this] { (new EntryWindow(*m_host))->openModal(); }, {[&](LedgerWindow* w) {
              QCOMPARE(w->text(u"姓名编辑框"_s), name);
              QCOMPARE(w->text(u"说明编辑框"_s), note);
              click(w, u"添加按钮"_s);
          }});
    QCOMPARE(shown(), QStringList({u"确定要修改选定的账目吗？"_s, u"成功修改账目信息。"_s}));
    QCOMPARE(tables(), added);
}

void TestHostileInput::throughSearch(const Hostile& h)
{
    // The ledger holds a record named exactly so, stored through the record set, and one that no name matches.
    RecordSet& records = m_host->recordSet;
    for (const QString& name : {h.text, u"对照"_s}) {
        QVERIFY(records.openTable(u"收送礼"_s) && records.addRow());
        QVERIFY(records.writeText(u"收送"_s, u"收礼"_s) && records.writeText(u"姓名"_s, name)
                && records.writeText(u"时间"_s, u"2011-6-2"_s) && records.writeText(u"金额"_s, u"1"_s)
                && records.saveRow());
    }
    records.close();
    m_before = tables();
    m_host->grid().prepare();
    drive(u"search"_s, [this] { (new SearchWindow(*m_host))->openModal(); }, {[&](LedgerWindow* w) {
              paste(w, u"姓名编辑框"_s, h.text);
              QCOMPARE(w->text(u"姓名编辑框"_s), h.text);
              click(w, u"查询按钮"_s);
              if (!w->closeRequested())
                  click(w, u"返回按钮"_s);
          }});
    othersUnchanged(QString());
    const LedgerGrid& grid = m_host->grid();
    if (!shown().isEmpty()) {
        // Refused: the engine's own text first, then the window's message; the grid keeps its fixed rows.
        QCOMPARE(shown().size(), 2);
        QCOMPARE(shown().last(), u"打开数据表失败！"_s);
        QCOMPARE(grid.rowCount(), LedgerGrid::FixedRows);
        // A like pattern may be 50,000 bytes long in the engine.
        QVERIFY2(holdsNul(h.text) || h.text.toUtf8().size() > 50000, "refused a search it should run");
        return;
    }
    QCOMPARE(grid.rowCount(), LedgerGrid::FixedRows + 1);
    QCOMPARE(grid.cellText(2, 3), h.text);
}

void TestHostileInput::throughList(ListWindow::Kind kind, const Hostile& h)
{
    m_before = tables();
    const ListWindow::Differences& d = ListWindow::differences(kind);
    const QString id = kind == ListWindow::Relations ? u"relations"_s : u"banquetTypes"_s;
    const QString table = kind == ListWindow::Relations ? u"关系"_s : u"类型"_s;
    QStringList listed;
    drive(id, [&] { (new ListWindow(*m_host, kind))->openModal(); }, {[&](LedgerWindow* w) {
              paste(w, u"编辑框1"_s, h.text);
              QCOMPARE(w->text(u"编辑框1"_s), h.text);
              click(w, kind == ListWindow::Relations ? u"添加关系按钮"_s : u"添加类型按钮"_s);
              const QTreeWidget* list = findControl<QTreeWidget>(w, u"超级列表框1"_s);
              for (int i = 0; i < list->topLevelItemCount(); ++i)
                  listed << list->topLevelItem(i)->text(1);
              click(w, u"返回按钮"_s);
          }});
    if (shown().value(shown().size() - 1) != d.doneText) {
        // Refused by the engine: its text, then the window's message; nothing is stored.
        QCOMPARE(shown().size(), 2);
        QCOMPARE(shown().last(), d.duplicateText);
        othersUnchanged(QString());
        QVERIFY2(holdsNul(h.text), "refused an entry it should store");
        return;
    }
    QCOMPARE(shown(), QStringList{d.doneText});
    othersUnchanged(table);
    const QStringList rows = tables().value(table);
    QCOMPARE(rows.size(), m_before.value(table).size() + 1);
    QCOMPARE(rows.last().section(u'|', 1), trimmed(h.text));
    QCOMPARE(listed.size(), rows.size());
    QCOMPARE(listed.last(), trimmed(h.text));
}

void TestHostileInput::throughLogin(Field field, const Hostile& h)
{
    // The account holds the text exactly (stored through the record set); typing it in again logs in.
    const QString user = field == Field::LoginUser ? h.text : u"admin"_s;
    const QString password = field == Field::LoginPassword ? h.text : u"kelpo"_s;
    setAccount(field == Field::LoginUser ? u"用户"_s : u"密码"_s, h.text);
    m_before = tables();
    EndRecorder end;
    bool loggedIn = false;
    drive(u"login"_s, [this] { (new LoginWindow(m_host->database()))->openModal(); }, {[&](LedgerWindow* w) {
              paste(w, u"用户编辑框"_s, user);
              paste(w, u"口令编辑框"_s, password);
              QCOMPARE(w->text(u"用户编辑框"_s), user);
              QCOMPARE(w->text(u"口令编辑框"_s), password);
              click(w, u"登录按钮"_s);
              loggedIn = w->closeRequested();
          }});
    othersUnchanged(QString());
    QVERIFY(!end.ended());
    if (!loggedIn) {
        QCOMPARE(shown(), QStringList{u"用户名错误!"_s});
        QVERIFY2(field == Field::LoginUser && holdsNul(h.text), "refused a login it should let in");
        return;
    }
    QCOMPARE(shown(), QStringList());
}

void TestHostileInput::throughPassword(Field field, const Hostile& h)
{
    // The boxes hold at most ten characters: what a paste leaves in them is what counts.
    QString held;
    if (field == Field::CurrentPassword) {
        auto* probe = new PasswordWindow(*m_host);
        paste(probe, u"编辑框1"_s, h.text);
        held = probe->text(u"编辑框1"_s);
        delete probe;
        setAccount(u"密码"_s, held);
    }
    m_before = tables();
    const QString fresh = u"新口令1"_s;
    drive(u"password"_s, [this] { (new PasswordWindow(*m_host))->openModal(); }, {[&](LedgerWindow* w) {
              if (field == Field::CurrentPassword) {
                  paste(w, u"编辑框1"_s, h.text);
                  paste(w, u"编辑框2"_s, fresh);
                  paste(w, u"编辑框3"_s, fresh);
              } else {
                  paste(w, u"编辑框1"_s, u"kelpo"_s);
                  paste(w, u"编辑框2"_s, h.text);
                  paste(w, u"编辑框3"_s, h.text);
                  held = w->text(u"编辑框2"_s);
              }
              QVERIFY(h.text.startsWith(held));
              click(w, u"确定按钮"_s);
              if (!w->closeRequested())
                  click(w, u"取消按钮"_s);
          }});
    QCOMPARE(shown(), QStringList{u"密码修改成功！"_s});
    othersUnchanged(u"账号"_s);
    const QStringList accounts = tables().value(u"账号"_s);
    QCOMPARE(accounts.size(), 1);
    QCOMPARE(accounts.first().section(u'|', 1), u"admin|"_s + (field == Field::NewPassword ? held : fresh));
}

QTEST_MAIN(TestHostileInput)
#include "test_hostile_input.moc"
