// A full disk, and a ledger file or folder made read-only while the program runs: every window that writes
// shows its failure message, and no committed record is lost. The full disk is a small file system of its own,
// filled to the last page (where mounting is not allowed: a file size limit of zero for the process); the
// read-only cases set the immutable attribute, since permission bits do not stop root.

#include "app/DatabaseCheck.h"

#include "GuiSupport.h"
#include "ModalSteps.h"
#include "TempFolder.h"

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "ui/base/SharedState.h"
#include "ui/grid/LedgerGrid.h"
#include "windows/ledger/EntryWindow.h"
#include "windows/ledger/ListWindow.h"
#include "windows/ledger/MainWindow.h"
#include "windows/ledger/PasswordWindow.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sqlcipher/sqlite3.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

enum class Fault { FullDisk, NearlyFullDisk, ReadOnlyFile, ReadOnlyFolder };
enum class Operation {
    AddRecord,
    ModifyRecord,
    DeleteRecord,
    AddRelation,
    AddBanquetType,
    DeleteEntry,
    Password,
    Create
};

/// Sets or clears the immutable attribute; false when the file system or the process's rights do not allow it.
bool setImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

/// A disk with no room left for the ledger's folder.
class FullDisk
{
public:
    /// Mounts a small file system of its own on folder, where allowed.
    explicit FullDisk(const QString& folder)
        : m_folder(folder)
    {
        m_mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                            "size=1m,mode=0700")
            == 0;
    }
    ~FullDisk()
    {
        free();
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool isMounted() const { return m_mounted; }

    /// Takes the last free byte, or all but the room of a small journal: a write then gets its journal in and
    /// fails while the file grows, in the middle of its commit.
    void fill(bool roomForAJournal)
    {
        if (!m_mounted) {
            // Without a file system of its own: no file of the process may grow (beyond the ledger's size).
            ::getrlimit(RLIMIT_FSIZE, &m_limit);
            struct rlimit none = m_limit;
            none.rlim_cur = roomForAJournal ? rlim_t(QFileInfo(LedgerFile::name()).size()) : 0;
            ::setrlimit(RLIMIT_FSIZE, &none);
            m_filled = true;
            return;
        }
        const int fd = ::open(QFile::encodeName(QDir(m_folder).filePath(u"filler"_s)).constData(),
                              O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        const QByteArray page(4096, 'x');
        off_t size = 0;
        for (qsizetype chunk : {page.size(), qsizetype(1)}) {
            ssize_t written;
            while ((written = ::write(fd, page.constData(), size_t(chunk))) > 0)
                size += written;
        }
        if (roomForAJournal)
            ::ftruncate(fd, size - 3 * page.size());
        ::close(fd);
        m_filled = true;
    }
    void free()
    {
        if (!m_filled)
            return;
        m_filled = false;
        if (m_mounted)
            QFile::remove(QDir(m_folder).filePath(u"filler"_s));
        else
            ::setrlimit(RLIMIT_FSIZE, &m_limit);
    }

private:
    QString m_folder;
    bool m_mounted = false;
    bool m_filled = false;
    struct rlimit m_limit = {};
};

/// Every row of every table, as text, read through a connection of its own; empty when the file does not
/// open or fails the engine's integrity check.
QStringList everyRow()
{
    DatabaseConnection connection;
    if (!connection.connect(LedgerFile::name(), LedgerFile::password()))
        return {};
    EngineConnection::Statement check = connection.engine()->prepareNative(u"PRAGMA integrity_check"_s);
    if (!check || sqlite3_step(check.get()) != SQLITE_ROW
        || qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0)), "ok") != 0)
        return {};
    RecordSet records;
    records.bind(&connection);
    QStringList rows;
    for (const QString& table : {u"收送礼"_s, u"关系"_s, u"类型"_s, u"收送"_s, u"账号"_s}) {
        records.open(u"select * from "_s + table);
        for (records.moveFirst(); !records.atEnd(); records.moveNext()) {
            QStringList values{table};
            for (const QString& column : {u"ID"_s, u"收送"_s, u"姓名"_s, u"时间"_s, u"关系"_s, u"类型"_s, u"金额"_s,
                                          u"说明"_s, u"用户"_s, u"密码"_s}) {
                QString value;
                if (records.readText(column, value))
                    values << value;
            }
            rows << values.join(u'|');
        }
    }
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Operation)

class TestDiskFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        ::signal(SIGXFSZ, SIG_IGN);
        // A mount namespace of its own, so that no mount outlives the test even if it dies.
        if (::unshare(CLONE_NEWNS) == 0)
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    }

    void cleanup()
    {
        m_main.reset();
        SharedState::instance().clear();
    }

    void writeFails_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QStringList>("messages");
        const QList<QPair<Operation, QStringList>> operations = {
            {Operation::AddRecord, {u"添加账目失败。"_s}},
            {Operation::ModifyRecord, {u"确定要修改选定的账目吗？"_s, u"修改账目失败。"_s}},
            {Operation::DeleteRecord, {u"确定要删除选定的账目吗？\r\n数据删除后不可恢复。"_s, u"删除账目失败。"_s}},
            {Operation::AddRelation, {u"添加关系失败！"_s}},
            {Operation::AddBanquetType, {u"添加类型失败！"_s}},
            {Operation::DeleteEntry, {u"确认删除?"_s, u"数据没有被删除！"_s}},
            {Operation::Password, {u"密码修改失败！"_s}},
            {Operation::Create, {u"没有找到数据库,是否要重新创建数据库?"_s, u"创建数据库失败,系统即将退出!"_s}},
        };
        const QList<QPair<Fault, const char*>> faults = {{Fault::FullDisk, "full disk"},
                                                         {Fault::NearlyFullDisk, "full disk during the commit"},
                                                         {Fault::ReadOnlyFile, "read-only file"},
                                                         {Fault::ReadOnlyFolder, "read-only folder"}};
        // The record entry window gives the engine's reason on a second line.
        const QMap<Fault, QString> reasons = {{Fault::FullDisk, u"磁盘已满,不能写入数据库。"_s},
                                              {Fault::NearlyFullDisk, u"磁盘已满,不能写入数据库。"_s},
                                              {Fault::ReadOnlyFile, u"数据库文件是只读的,不能保存改动。"_s},
                                              {Fault::ReadOnlyFolder, u"无法打开数据库文件。"_s}};
        const QStringList names{u"add record"_s,      u"modify record"_s,     u"delete record"_s,
                                u"add relation"_s,    u"add banquet type"_s,  u"delete list entry"_s,
                                u"change password"_s, u"first-run creation"_s};
        for (const auto& [fault, faultName] : faults) {
            for (const auto& [operation, messages] : operations) {
                // A creation has no file to make read-only; only a record with a long note needs the room that
                // the nearly full disk lacks.
                if ((operation == Operation::Create && fault == Fault::ReadOnlyFile)
                    || (fault == Fault::NearlyFullDisk && operation > Operation::ModifyRecord))
                    continue;
                QStringList expected = messages;
                if (operation == Operation::AddRecord || operation == Operation::ModifyRecord)
                    expected.last() += u'\n' + reasons.value(fault);
                QTest::addRow("%s: %s", faultName, qPrintable(names.at(int(operation))))
                    << fault << operation << expected;
            }
        }
    }

    void writeFails()
    {
        QFETCH(Fault, fault);
        QFETCH(Operation, operation);
        QFETCH(QStringList, messages);

        TempFolder folder;
        QVERIFY(QDir().mkdir(u"ledger"_s));
        const QString ledger = folder.file(u"ledger"_s);
        std::unique_ptr<FullDisk> disk;
        const bool diskFull = fault == Fault::FullDisk || fault == Fault::NearlyFullDisk;
        if (diskFull)
            disk = std::make_unique<FullDisk>(ledger);
        QVERIFY(QDir::setCurrent(ledger));

        QStringList before;
        if (operation != Operation::Create) {
            QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
            DatabaseConnection connection;
            QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
            for (const char* values : {"'收礼','张三','2011-6-1','朋友','结婚','100','甲'",
                                       "'送礼','李四','2011-6-2','同学','生日','200','乙'"})
                QVERIFY(connection.execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values("_s
                                           + QString::fromUtf8(values) + u")"_s));
            before = everyRow();
            QCOMPARE(before.size(), 2 + 5 + 6 + 2 + 1);
            openMain();
        }

        // The fault strikes while the program runs, and is lifted however the test ends.
        const QString target = fault == Fault::ReadOnlyFile ? LedgerFile::name() : ledger;
        bool lifted = false;
        const auto lift = [&] {
            if (!std::exchange(lifted, true) && disk)
                disk->free();
            return disk || setImmutable(target, false);
        };
        const auto guard = qScopeGuard(lift);
        if (diskFull) {
            disk->fill(fault == Fault::NearlyFullDisk);
            if (!disk->isMounted())
                qInfo("no file system of its own could be mounted: a file size limit of zero stands for the full disk");
        } else if (!setImmutable(target, true)) {
            QSKIP("the immutable attribute cannot be set here (it needs root with CAP_LINUX_IMMUTABLE on a file "
                  "system that has it), and permission bits do not stop root");
        }

        BoxRecorder boxes;
        EndRecorder end;
        run(operation, boxes);
        QVERIFY(lift());

        QCOMPARE(boxes.texts(), messages);
        for (const auto& record : boxes.shown().mid(messages.size() - 1))
            QCOMPARE(record.icon, MessageBox::Stop);
        if (operation == Operation::Create) {
            QVERIFY(end.ended());
            QCOMPARE(
                QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(u"lgbk"_s),
                QStringList());
            return;
        }
        // Nothing committed is lost and nothing half-done is left; the file takes writes again.
        m_main.reset();
        QCOMPARE(everyRow(), before);
        DatabaseConnection connection;
        QVERIFY(connection.connect(LedgerFile::name(), LedgerFile::password()));
        QVERIFY(connection.execute(u"insert into 关系(关系) values('邻居')"_s));
        QCOMPARE(everyRow().size(), before.size() + 1);
    }

private:
    void openMain()
    {
        auto* main = new MainWindow;
        m_main.reset(main);
        main->setStartupStep([main] {
            const DatabaseObjects db = main->database();
            return db.connection.connect(LedgerFile::name(), LedgerFile::password())
                && db.recordSet.bind(&db.connection)
                && db.external.connect(LedgerFile::name(), QString(), LedgerFile::password());
        });
        main->openModeless();
        QCOMPARE(main->grid().rowCount(), LedgerGrid::FixedRows + 2);
    }

    /// Runs steps in the modal window of that id while open() runs.
    static void drive(const QString& id, const std::function<void()>& open, QList<ModalSteps::Step> steps)
    {
        ModalSteps driver(id, std::move(steps));
        driver.run(open);
    }

    void run(Operation operation, BoxRecorder& boxes)
    {
        MainWindow* main = m_main.get();
        auto click = [](LedgerWindow* w, const QString& button) { findControl<QPushButton>(w, button)->click(); };
        switch (operation) {
        case Operation::AddRecord:
        case Operation::ModifyRecord: {
            const bool add = operation == Operation::AddRecord;
            SharedState::instance().entryMode = add ? u"添加"_s : u"修改"_s;
            SharedState::instance().selectedRecordId = u"1"_s;
            if (!add)
                boxes.answer(MessageBox::Yes);
            drive(u"entry"_s, [main] { (new EntryWindow(*main))->openModal(); }, {[&](LedgerWindow* w) {
                      for (const QString& box : {u"收送组合框"_s, u"关系组合框"_s, u"类型组合框"_s})
                          findControl<QComboBox>(w, box)->setCurrentIndex(0);
                      w->setText(u"姓名编辑框"_s, u"王五"_s);
                      w->setText(u"金额编辑框"_s, u"300"_s);
                      w->setText(u"说明编辑框"_s, u"长"_s.repeated(30000));
                      click(w, u"添加按钮"_s);
                      click(w, u"返回按钮"_s);
                  }});
            break;
        }
        case Operation::DeleteRecord:
            main->grid().setCurrentCell(2, 3);
            boxes.answer(MessageBox::Yes);
            main->runCommand(MainWindow::DeleteRecord);
            break;
        case Operation::AddRelation:
        case Operation::AddBanquetType:
        case Operation::DeleteEntry: {
            const auto kind = operation == Operation::AddBanquetType ? ListWindow::Occasions : ListWindow::Relations;
            if (operation == Operation::DeleteEntry)
                boxes.answer(MessageBox::Yes);
            drive(kind == ListWindow::Relations ? u"relations"_s : u"banquetTypes"_s,
                  [main, kind] { (new ListWindow(*main, kind))->openModal(); }, {[&](LedgerWindow* w) {
                      if (operation == Operation::DeleteEntry) {
                          findControl<QTreeWidget>(w, u"超级列表框1"_s)->topLevelItem(1)->setSelected(true);
                          click(w, kind == ListWindow::Relations ? u"删除关系按钮"_s : u"删除类型按钮"_s);
                      } else {
                          w->setText(u"编辑框1"_s, u"邻居"_s);
                          click(w, kind == ListWindow::Relations ? u"添加关系按钮"_s : u"添加类型按钮"_s);
                      }
                      click(w, u"返回按钮"_s);
                  }});
            break;
        }
        case Operation::Password:
            drive(u"password"_s, [main] { (new PasswordWindow(*main))->openModal(); }, {[&](LedgerWindow* w) {
                      w->setText(u"编辑框1"_s, u"kelpo"_s);
                      w->setText(u"编辑框2"_s, u"newpw"_s);
                      w->setText(u"编辑框3"_s, u"newpw"_s);
                      click(w, u"确定按钮"_s);
                      click(w, u"取消按钮"_s);
                  }});
            break;
        case Operation::Create: {
            DatabaseConnection connection;
            RecordSet records;
            ExternalDatabase external;
            boxes.answer(MessageBox::Yes);
            QVERIFY(!DatabaseCheck::run({connection, records, external}));
            break;
        }
        }
    }

    std::unique_ptr<MainWindow> m_main;
};

QTEST_MAIN(TestDiskFaults)
#include "test_disk_faults.moc"
