// The child of the re-key kill test: changes the key of lgbk.xc in its folder over and over, until the test kills
// it, and says on its output each key it has finished ("keyed N", N the index into the keys below):
// the program's own key, then two login passwords in turn, each time with the account's password changed along.
//
//   rekey_worker FOLDER

#include "Noted.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/PrivateLedger.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

void say(const QString& line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 || !QDir::setCurrent(args[1]))
        return 1;
    const QStringList keys = {LedgerFile::password(), u"甲乙丙123"_s, u"另一口令"_s};
    qsizetype now = 0;
    while (now < keys.size() && !EngineConnection::open(LedgerFile::name(), keys[now]))
        ++now;
    if (now == keys.size()) {
        say(u"failed open"_s);
        return 2;
    }
    for (;;) {
        const qsizetype next = (now + 1) % keys.size();
        const bool marked = next != 0;
        const QString key = keys[next];
        PrivateLedger::CopyChange change;
        if (marked)
            change = [&](EngineConnection& c) { return PrivateLedger::replaceAccount(c, u"admin"_s, key); };
        QString error;
        if (!test::noted(PrivateLedger::rekey(LedgerFile::name(), keys[now], key, marked, change), &error)) {
            say(u"failed "_s + error);
            return 2;
        }
        now = next;
        say(u"keyed "_s + QString::number(now));
    }
}
