// A small command-line program over the store, built once against each SQLCipher major version, so that a test
// can hand a ledger file from one build to the other:
//   create FILE          a new ledger with its seed rows and one record
//   add FILE NAME        one more record, named NAME
//   read FILE [PASSWORD] the login lookup of admin and every record, newest first
// Every command first prints "engine VERSION" (the engine's cipher_version). Exit code 0 on success, 1 when the
// file does not open or a step fails (the reason on standard error).

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/value/SqlText.h"

#include <QCoreApplication>
#include <QDate>
#include <QTextStream>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

int fail(const QString& why)
{
    QTextStream(stderr) << why << Qt::endl;
    return 1;
}

QString engineVersion(DatabaseConnection& db)
{
    const EngineConnection::Statement version = db.engine()->prepareNative(u"PRAGMA cipher_version"_s);
    if (!version || sqlite3_step(version.get()) != SQLITE_ROW)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(version.get(), 0)));
}

bool addRecord(DatabaseConnection& db, const QString& direction, const QString& name, const QString& date,
               const QString& amount, const QString& note)
{
    return db.execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values("_s + SqlText::quoted(direction)
                      + u","_s + SqlText::quoted(name) + u","_s + SqlText::quoted(date) + u",'朋友','结婚',"_s
                      + SqlText::quoted(amount) + u","_s + SqlText::quoted(note) + u')');
}

int read(const QString& file, const QString& password)
{
    // The login's lookup, as the login window makes it.
    ExternalDatabase external;
    if (!external.connect(file, QString(), password))
        return fail(u"the ledger does not open"_s);
    const int account = external.query(u"select * from 账号 where 用户="_s + SqlText::quoted(u"admin"_s));
    out() << "account " << external.read(account, u"用户"_s).toString() << ' '
          << external.read(account, u"密码"_s).toString() << Qt::endl;
    external.close(account);

    DatabaseConnection db;
    if (!db.connect(file, password))
        return fail(u"the ledger does not open"_s);
    RecordSet records;
    if (!records.bind(&db) || !records.openOrdered(u"收送礼"_s, u"时间 DESC"_s))
        return fail(u"the records do not read"_s);
    for (records.moveFirst(); !records.atEnd(); records.moveNext()) {
        QString direction, name, note;
        QDate date;
        qint64 ticks = 0;
        if (!records.readText(u"收送"_s, direction) || !records.readText(u"姓名"_s, name)
            || !records.readDate(u"时间"_s, date) || !records.readCurrency(u"金额"_s, ticks)
            || !records.readText(u"说明"_s, note))
            return fail(u"a record does not read"_s);
        out() << "record " << direction << ' ' << name << ' ' << date.toString(Qt::ISODate) << ' ' << ticks << ' '
              << note << Qt::endl;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return fail(u"usage: ledger_probe create FILE | add FILE NAME | read FILE [PASSWORD]"_s);
    const QString& command = args.at(0);
    const QString& file = args.at(1);
    const QString password = LedgerFile::password();

    if (command == u"create"_s && !LedgerSchema::createFile(file, password))
        return fail(u"the ledger was not created"_s);

    DatabaseConnection db;
    if (db.connect(file, command == u"read"_s && args.size() > 2 ? args.at(2) : password))
        out() << "engine " << engineVersion(db) << Qt::endl;
    else if (command != u"read"_s)
        return fail(u"the ledger does not open"_s);

    if (command == u"create"_s) {
        if (!addRecord(db, u"收礼"_s, u"张三"_s, u"2024-5-1"_s, u"888.88"_s, u"婚礼 red envelope"_s))
            return fail(u"the record was not added"_s);
        return 0;
    }
    if (command == u"add"_s && args.size() == 3) {
        if (!addRecord(db, u"送礼"_s, args.at(2), u"2025-10-2"_s, u"0.01"_s, QString()))
            return fail(u"the record was not added"_s);
        return 0;
    }
    if (command == u"read"_s)
        return read(file, args.size() > 2 ? args.at(2) : password);
    return fail(u"unknown command "_s + command);
}
