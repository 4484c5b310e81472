// The database check at the start of the login: open the ledger file, or when there is none, with the user's
// consent create it; every other way ends the program after its message, and no existing file is ever touched.

#include "GuiSupport.h"
#include "TempFolder.h"
#include "app/DatabaseCheck.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <sqlcipher/sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

const QString Question = u"没有找到数据库,是否要重新创建数据库?"_s;

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList folderEntries()
{
    return QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

/// The main window's three objects.
struct Objects
{
    DatabaseConnection connection;
    RecordSet recordSet;
    ExternalDatabase external;
    DatabaseObjects refs() { return {connection, recordSet, external}; }
};

/// Another connection to the ledger, in this process, that holds the lock its statement takes until dropped.
class LockHolder
{
public:
    explicit LockHolder(const QString& begin)
    {
        const QByteArray key = LedgerFile::password().toUtf8();
        if (sqlite3_open_v2(QFile::encodeName(LedgerFile::name()).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr)
                == SQLITE_OK
            && sqlite3_key(m_db, key.constData(), int(key.size())) == SQLITE_OK
            && sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK
            && sqlite3_exec(m_db, begin.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
            m_holds = true;
        else
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
    }
    ~LockHolder()
    {
        if (m_holds)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool holds() const { return m_holds; }
    QString error() const { return m_error; }

private:
    sqlite3* m_db = nullptr;
    bool m_holds = false;
    QString m_error;
};

void verifyQuestion(const MessageBox::Record& box)
{
    QCOMPARE(box.text, Question);
    QCOMPARE(box.title, MessageBox::defaultTitle());
    QCOMPARE(box.buttons, MessageBox::YesNo);
    QCOMPARE(box.icon, MessageBox::Warning);
    QCOMPARE(box.defaultButton, MessageBox::Yes);
}

void verifyEndingBox(const MessageBox::Record& box, const QString& text, const QString& title)
{
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, title);
    QCOMPARE(box.buttons, MessageBox::OkOnly);
    QCOMPARE(box.icon, MessageBox::Stop);
}

} // namespace

class TestDatabaseCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ::signal(SIGXFSZ, SIG_IGN); }

    void anOpenableFileNeedsNoQuestion()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        const QByteArray before = contentOf(LedgerFile::name());
        test::BoxRecorder boxes;
        test::EndRecorder end;
        Objects db;
        QVERIFY(DatabaseCheck::run(db.refs()));
        QCOMPARE(boxes.count(), 0);
        QVERIFY(!end.ended());
        QVERIFY(db.connection.isOpen());
        QVERIFY(db.recordSet.openTable(u"账号"_s)); // bound
        QCOMPARE(db.recordSet.rowCount(), 1);
        QVERIFY(!db.external.isOpen());
        QCOMPARE(contentOf(LedgerFile::name()), before);
    }

    void firstStartYesCreatesTheDatabase()
    {
        test::TempFolder folder;
        test::BoxRecorder boxes;
        test::EndRecorder end;
        boxes.answer(MessageBox::Yes);
        Objects db;
        QVERIFY(DatabaseCheck::run(db.refs()));
        QVERIFY(!end.ended());
        QCOMPARE(boxes.count(), 2);
        verifyQuestion(boxes.shown().at(0));
        const MessageBox::Record done = boxes.shown().at(1);
        QCOMPARE(done.text, u"成功创建数据库!"_s);
        QCOMPARE(done.title, u"提示"_s);
        QCOMPARE(done.buttons, MessageBox::OkOnly);
        QCOMPARE(done.icon, MessageBox::Information);

        QCOMPARE(folderEntries(), QStringList{u"lgbk.xc"_s});
        struct stat info;
        QCOMPARE(::stat("lgbk.xc", &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));

        // Both connections stand on the finished file, and the record set is bound.
        QVERIFY(db.connection.isOpen());
        QVERIFY(db.external.isOpen());
        QCOMPARE(
            db.connection.lastConnectionText(),
            u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=lgbk.xc;Jet OLEDB:Database Password=Qm_4Rtwpz8-2HsK;"_s);
        QCOMPARE(db.external.lastConnectionText(),
                 u"ODBC;DBQ=lgbk.xc;Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access;PWD=Qm_4Rtwpz8-2HsK;"_s);
        QVERIFY(db.recordSet.open(u"select * from 收送礼"_s));
        QCOMPARE(db.recordSet.rowCount(), 0);

        auto list = [&db](const QString& table) {
            QStringList values;
            const int rows = db.external.query(u"select * from "_s + table);
            for (; !db.external.atEnd(rows); db.external.moveNext(rows))
                values << db.external.read(rows, 1).toString() + u':' + db.external.read(rows, 2).toString();
            db.external.close(rows);
            return values;
        };
        QCOMPARE(list(u"账号"_s), QStringList{u"1:admin"_s});
        QCOMPARE(list(u"关系"_s), (QStringList{u"1:亲戚"_s, u"2:朋友"_s, u"3:同学"_s, u"4:同事"_s, u"5:其他"_s}));
        QCOMPARE(list(u"类型"_s),
                 (QStringList{u"1:结婚"_s, u"2:生日"_s, u"3:升职"_s, u"4:乔迁"_s, u"5:探病"_s, u"6:丧礼"_s}));
        QCOMPARE(list(u"收送"_s), (QStringList{u"1:收礼"_s, u"2:送礼"_s}));

        // The next start finds it and asks nothing.
        boxes.clear();
        Objects next;
        QVERIFY(DatabaseCheck::run(next.refs()));
        QCOMPARE(boxes.count(), 0);
    }

    void firstStartNoCreatesNothingAndEnds()
    {
        test::TempFolder folder;
        test::BoxRecorder boxes;
        test::EndRecorder end;
        boxes.answer(MessageBox::No);
        Objects db;
        QVERIFY(!DatabaseCheck::run(db.refs()));
        QVERIFY(end.ended());
        QCOMPARE(end.code(), 0);
        QCOMPARE(boxes.count(), 2);
        verifyQuestion(boxes.shown().at(0));
        verifyEndingBox(boxes.shown().at(1), u"没有创建数据库,系统即将退出!"_s, u"退出"_s);
        QCOMPARE(folderEntries(), QStringList());
        QVERIFY(!db.connection.isOpen());
    }

    void anUnopenableFileIsNeverAskedAboutNorTouched_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("random bytes") << u"random"_s;
        QTest::newRow("another key") << u"other key"_s;
        QTest::newRow("empty file") << u"empty"_s;
        QTest::newRow("a folder") << u"folder"_s;
        QTest::newRow("a named pipe") << u"pipe"_s;
        QTest::newRow("a link that leads nowhere") << u"dangling"_s;
    }
    void anUnopenableFileIsNeverAskedAboutNorTouched()
    {
        QFETCH(QString, kind);
        test::TempFolder folder;
        if (kind == u"random"_s) {
            QByteArray noise;
            for (int i = 0; i < 5000; ++i)
                noise.append(char((i * 7919 + 13) % 251));
            QFile f(LedgerFile::name());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(noise);
        } else if (kind == u"other key"_s) {
            QVERIFY(LedgerSchema::createFile(LedgerFile::name(), u"another password"_s));
        } else if (kind == u"empty"_s) {
            QFile f(LedgerFile::name());
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (kind == u"folder"_s) {
            QVERIFY(QDir::current().mkdir(LedgerFile::name()));
        } else if (kind == u"pipe"_s) {
            QCOMPARE(::mkfifo(QFile::encodeName(LedgerFile::name()).constData(), 0600), 0);
        } else {
            QVERIFY(QFile::link(u"elsewhere"_s, LedgerFile::name()));
        }
        // A pipe is never opened, here neither: it would wait for a writer.
        const bool notAFile = kind == u"folder"_s || kind == u"pipe"_s;
        const QByteArray before = kind == u"pipe"_s ? QByteArray() : contentOf(LedgerFile::name());

        test::BoxRecorder boxes;
        test::EndRecorder end;
        boxes.answer(MessageBox::Yes); // were it asked, this would try to create the file
        Objects db;
        QVERIFY(!DatabaseCheck::run(db.refs()));
        QVERIFY(end.ended());
        QCOMPARE(end.code(), 0);
        QCOMPARE(boxes.count(), 1);
        verifyEndingBox(
            boxes.last(),
            notAFile ? u"数据库文件“lgbk.xc”不是普通文件(可能是文件夹或管道),无法打开,未做任何改动,系统即将退出!"_s
                     : u"数据库文件已存在但无法打开,未做任何改动,系统即将退出!"_s,
            u"错误"_s);
        if (kind != u"pipe"_s)
            QCOMPARE(contentOf(LedgerFile::name()), before);
        QCOMPARE(folderEntries(), QStringList{u"lgbk.xc"_s});
        QVERIFY(!db.connection.isOpen());
    }

    // A file that does not open, beside a backup that passes its check: the backup is offered, and taking it
    // keeps the unopenable file aside; declining changes nothing.
    void anUnopenableFileIsOfferedItsNewestGoodBackup_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("restored") << int(MessageBox::Yes);
        QTest::newRow("declined") << int(MessageBox::No);
    }
    void anUnopenableFileIsOfferedItsNewestGoodBackup()
    {
        QFETCH(int, answer);
        test::TempFolder folder;
        QVERIFY(QDir::current().mkdir(u"备份"_s));
        const QString backup = u"备份/lgbk-20261201-080000.xc"_s;
        QVERIFY(LedgerSchema::createFile(backup, LedgerFile::password()));
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), u"another password"_s));
        const QByteArray before = contentOf(LedgerFile::name());

        test::BoxRecorder boxes;
        test::EndRecorder end;
        boxes.answer(MessageBox::Answer(answer));
        Objects db;
        QVERIFY(!DatabaseCheck::run(db.refs()));
        QVERIFY(end.ended());
        QCOMPARE(end.code(), 0);
        const MessageBox::Record offer = boxes.shown().first();
        QVERIFY2(offer.text.contains(u"2026年12月1日 08:00:00"_s), qPrintable(offer.text));
        QCOMPARE(offer.title, u"数据库文件已损坏"_s);
        QCOMPARE(offer.buttons, MessageBox::YesNo);
        QCOMPARE(offer.icon, MessageBox::Stop);
        QCOMPARE(offer.defaultButton, MessageBox::Yes);
        const QStringList aside = QDir::current().entryList({u"lgbk-损坏-*.xc"_s}, QDir::Files);
        if (answer == MessageBox::No) {
            QCOMPARE(boxes.count(), 1);
            QCOMPARE(contentOf(LedgerFile::name()), before);
            QVERIFY(aside.isEmpty());
            return;
        }
        QCOMPARE(boxes.count(), 2);
        QCOMPARE(boxes.last().icon, MessageBox::Information);
        QCOMPARE(contentOf(LedgerFile::name()), contentOf(backup));
        QCOMPARE(aside.size(), 1);
        QCOMPARE(contentOf(aside.first()), before);
    }

    void aLockedFileGetsItsOwnMessageAndOpensOnceFree()
    {
        test::TempFolder folder;
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        const QByteArray before = contentOf(LedgerFile::name());
        {
            // Another program in the middle of writing: it keeps every reader out.
            LockHolder other(u"BEGIN EXCLUSIVE"_s);
            QVERIFY2(other.holds(), qPrintable(other.error()));
            test::BoxRecorder boxes;
            test::EndRecorder end;
            boxes.answer(MessageBox::Yes);
            Objects db;
            QVERIFY(!DatabaseCheck::run(db.refs()));
            QVERIFY(end.ended());
            QCOMPARE(end.code(), 0);
            QCOMPARE(boxes.count(), 1);
            verifyEndingBox(boxes.last(), u"数据库文件正被其他程序使用,请稍后再试!"_s, u"错误"_s);
            QCOMPARE(contentOf(LedgerFile::name()), before);
            QCOMPARE(folderEntries(), QStringList{u"lgbk.xc"_s});
        }
        test::BoxRecorder boxes;
        test::EndRecorder end;
        Objects db;
        QVERIFY(DatabaseCheck::run(db.refs()));
        QCOMPARE(boxes.count(), 0);
        QVERIFY(!end.ended());
    }

    void theQuestionHasNoEscapeAnswer()
    {
        test::TempFolder folder;
        test::EndRecorder end;
        QStringList seen;
        // The real boxes: Esc and the close box leave the question up; only a button answers it.
        QTimer::singleShot(0, this, [&seen] {
            QMessageBox* box = nullptr;
            QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) != nullptr);
            QCOMPARE(box->text(), Question);
            QTest::keyClick(box, Qt::Key_Escape);
            if (QWidget* focus = QApplication::focusWidget())
                QTest::keyClick(focus, Qt::Key_Escape);
            QVERIFY(!box->close());
            QCoreApplication::processEvents();
            QVERIFY2(QApplication::activeModalWidget() == box && box->isVisible(), "the question went away");
            QVERIFY(box->clickedButton() == nullptr);
            seen << box->text();
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == u"否(&N)"_s)
                    b->click();
            }
            QTimer::singleShot(0, [&seen] {
                QMessageBox* farewell = nullptr;
                QTRY_VERIFY((farewell = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) != nullptr);
                seen << farewell->text();
                // A box with a single button still answers Esc with it.
                QTest::keyClick(farewell, Qt::Key_Escape);
            });
        });
        Objects db;
        QVERIFY(!DatabaseCheck::run(db.refs()));
        QCOMPARE(seen, (QStringList{Question, u"没有创建数据库,系统即将退出!"_s}));
        QVERIFY(end.ended());
        QCOMPARE(folderEntries(), QStringList());
    }

    void aFailedCreationShowsNoSuccessAndLeavesNoFile()
    {
        test::TempFolder folder;
        test::BoxRecorder boxes;
        test::EndRecorder end;
        boxes.answer(MessageBox::Yes);
        // The disk fills up after a few pages.
        struct rlimit previous;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        struct rlimit small = previous;
        small.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        Objects db;
        const bool opened = DatabaseCheck::run(db.refs());
        ::setrlimit(RLIMIT_FSIZE, &previous);
        QVERIFY(!opened);
        QVERIFY(end.ended());
        QCOMPARE(end.code(), 0);
        QCOMPARE(boxes.count(), 2);
        verifyQuestion(boxes.shown().at(0));
        verifyEndingBox(boxes.shown().at(1), u"创建数据库失败,系统即将退出!"_s, u"错误"_s);
        QCOMPARE(folderEntries(), QStringList());
        QVERIFY(!db.connection.isOpen());
        QVERIFY(!db.external.isOpen());
    }

    void aReadOnlyFolderGivesTheCreationFailure()
    {
        test::TempFolder folder;
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
        QFile probe(u"probe"_s);
        const bool writable = probe.open(QIODevice::WriteOnly);
        if (writable)
            probe.remove();
        if (writable) {
            QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("running with a privilege that writes into read-only folders; the full-disk case covers this");
        }
        test::BoxRecorder boxes;
        test::EndRecorder end;
        boxes.answer(MessageBox::Yes);
        Objects db;
        QVERIFY(!DatabaseCheck::run(db.refs()));
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(end.ended());
        QCOMPARE(boxes.count(), 2);
        verifyEndingBox(boxes.shown().at(1), u"创建数据库失败,系统即将退出!"_s, u"错误"_s);
        QCOMPARE(folderEntries(), QStringList());
    }
};

QTEST_MAIN(TestDatabaseCheck)
#include "test_database_check.moc"
