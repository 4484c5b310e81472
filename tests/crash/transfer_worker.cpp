// The child of the transfer kill test: runs one operation of the ledger's ways in and out in its folder, over
// and over or once, and says on its output what it has finished, until the test kills it.
//
//   transfer_worker export FOLDER   writes the export of lgbk.xc to out.csv again and again ("exported")
//   transfer_worker import FOLDER   imports import.csv into lgbk.xc once ("imported")
//   transfer_worker backup FOLDER   writes backups of lgbk.xc again and again ("backup PATH")
//   transfer_worker restore FOLDER  restores backup.xc into lgbk.xc once ("restored")
//   transfer_worker giftbook FOLDER stores gift-book lines into lgbk.xc one by one, as the 礼簿 window does at each
//                                   Enter ("stored N" after line N, named 宾客N, is committed)

#include "Noted.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerEvents.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerImport.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/value/CsvTable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

void say(const QString& line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

[[noreturn]] void idle()
{
    for (;;)
        ::pause();
}

int failed(const QString& what)
{
    say(u"failed "_s + what);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 || !QDir::setCurrent(args[2]))
        return 1;
    const QString mode = args[1];
    const QString key = LedgerFile::password();
    QString error;

    if (mode == u"export"_s) {
        const auto engine = EngineConnection::open(LedgerFile::name(), key);
        if (!engine)
            return failed(u"open"_s);
        for (;;) {
            const auto records = LedgerTransfer::readAll(*engine);
            if (!records)
                return failed(records.errorText());
            if (const Done written = LedgerTransfer::writeWhole(u"out.csv"_s, LedgerTransfer::csv(*records)); !written)
                return failed(written.errorText());
            say(u"exported"_s);
        }
    }
    if (mode == u"import"_s) {
        const auto engine = EngineConnection::open(LedgerFile::name(), key);
        QFile file(u"import.csv"_s);
        if (!engine || !file.open(QIODevice::ReadOnly))
            return failed(u"open"_s);
        const auto table = CsvTable::parse(file.readAll(), &error);
        const auto lists = LedgerImport::readLists(*engine);
        if (!table || !lists)
            return failed(error);
        const auto checked = LedgerImport::check(*table, *LedgerImport::exportMapping(table->rows.front()), *lists, {});
        std::vector<LedgerRecord> records;
        for (const auto& candidate : checked.candidates)
            records.push_back(candidate.record);
        if (!test::noted(LedgerImport::write(*engine, records, checked.newRelations, checked.newOccasions, {}), &error))
            return failed(error);
        say(u"imported"_s);
        idle();
    }
    if (mode == u"backup"_s) {
        for (int n = 0;; ++n) {
            const auto path
                = LedgerBackup::create(LedgerFile::name(), key, QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(n));
            if (!path)
                return failed(path.errorText());
            say(u"backup "_s + *path);
        }
    }
    if (mode == u"restore"_s) {
        const auto engine = EngineConnection::open(LedgerFile::name(), key);
        if (!engine)
            return failed(u"open"_s);
        if (const Done restored = LedgerBackup::restore(*engine, u"backup.xc"_s, key); !restored)
            return failed(restored.errorText());
        say(u"restored"_s);
        idle();
    }
    if (mode == u"giftbook"_s) {
        const auto engine = EngineConnection::open(LedgerFile::name(), key);
        if (!engine)
            return failed(u"open"_s);
        LedgerEvents events(engine.get());
        const EventKey event{QDate(2026, 12, 8), u"结婚"_s, u"收礼"_s};
        for (qint64 n = 0;; ++n) {
            const auto added = events.add(event, GiftLine{u"宾客"_s + QString::number(n), u"朋友"_s, 2000000, {}});
            if (!added)
                return failed(added.errorText());
            say(u"stored "_s + QString::number(n));
        }
    }
    return 1;
}
