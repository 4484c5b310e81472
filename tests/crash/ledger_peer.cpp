// Another program on the same ledger file, for the tests of locks and of the program's end. Every line it
// writes goes out at once, so that the parent knows where it stands.
//
//   ledger_peer lock FILE MS   holds the file locked against readers and writers for MS milliseconds:
//                              "locked" once it holds the lock, "releasing" just before it lets go
//   ledger_peer end FILE N     connects the program's database objects to FILE, adds N records through
//                              数据库连接 ("added N"), and ends through the program's end routine

#include "app/EndRoutine.h"
#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/ledger/LedgerFile.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

void say(const char* line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int holdLock(const QString& file, int milliseconds)
{
    const auto engine = EngineConnection::open(file, LedgerFile::password());
    // An exclusive transaction keeps every other connection from reading as well as from writing.
    if (!engine || !engine->executeNative("BEGIN EXCLUSIVE"))
        return 2;
    say("locked");
    ::usleep(useconds_t(milliseconds) * 1000);
    say("releasing");
    return engine->executeNative("ROLLBACK") ? 0 : 3;
}

int addAndEnd(const QString& file, int records)
{
    DatabaseConnection connection;
    ExternalDatabase external;
    if (!connection.connect(file, LedgerFile::password()) || !external.connect(file, QString(), LedgerFile::password()))
        return 2;
    for (int i = 1; i <= records; ++i) {
        if (!connection.execute(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','尾%1',"
                                u"'2020-1-%2','朋友','结婚','%1','')"_s.arg(i)
                                    .arg(i % 28 + 1)))
            return 3;
    }
    say(qPrintable(u"added %1"_s.arg(records)));
    EndRoutine::run(0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == u"lock"_s)
        return holdLock(args[2], args[3].toInt());
    if (args.size() == 4 && args[1] == u"end"_s)
        return addAndEnd(args[2], args[3].toInt());
    std::fputs("usage: ledger_peer lock FILE MS | end FILE N\n", stderr);
    return 1;
}
