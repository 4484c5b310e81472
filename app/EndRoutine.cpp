#include "app/EndRoutine.h"

#include "app/LedgerFolder.h"
#include "store/EngineConnection.h"
#include "store/LedgerBackup.h"
#include "store/LedgerFile.h"
#include "ui/Program.h"
#include "ui/SharedState.h"
#include "windows/TransferCommands.h"

#include <cstdio>
#include <cstdlib>

namespace ovelta {

namespace {

/// The ledger file as the session found it; a different file at the end means the session changed it.
QByteArray& stampAtStart()
{
    static QByteArray stamp;
    return stamp;
}

} // namespace

void EndRoutine::install()
{
    noteLedgerAtStart();
    Program::setEndHandler([](int exitCode) { run(exitCode); });
}

void EndRoutine::noteLedgerAtStart()
{
    stampAtStart() = LedgerBackup::stampOf(LedgerFile::name());
}

void EndRoutine::run(int exitCode)
{
    SharedState::instance().clear();
    // A damaged ledger is never copied over the backups that may still restore it.
    if (!EngineConnection::watchedFileDamaged())
        TransferCommands::backupAtSessionEnd(stampAtStart());
    // Every connection closed cleanly: the ledger file alone then holds every record, whatever lay beside it.
    EngineConnection::closeAll();
    LedgerFolder::removeUnusedFolders();
    std::fflush(nullptr);
    // No handler, destructor or event may run after this point.
    std::_Exit(exitCode);
}

} // namespace ovelta
