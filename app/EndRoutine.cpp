#include "app/EndRoutine.h"

#include "app/LedgerFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerFile.h"
#include "ui/base/Program.h"
#include "ui/base/SharedState.h"
#include "windows/transfer/TransferCommands.h"

#include <cstdio>
#include <cstdlib>

namespace ovelta {

namespace {

/// Whether the session found a ledger file; changes to its content are counted from then on.
bool& ledgerAtStart()
{
    static bool found = false;
    return found;
}

} // namespace

void EndRoutine::install()
{
    noteLedgerAtStart();
    Program::setEndHandler([](int exitCode) { run(exitCode); });
}

void EndRoutine::noteLedgerAtStart()
{
    ledgerAtStart() = !LedgerBackup::stampOf(LedgerFile::name()).isEmpty();
    LedgerBackup::watchChanges(LedgerFile::name());
}

void EndRoutine::run(int exitCode)
{
    SharedState::instance().clear();
    // A damaged ledger is never copied over the backups that may still restore it.
    if (!EngineConnection::watchedFileDamaged())
        TransferCommands::backupAtSessionEnd(ledgerAtStart());
    // Every connection closed cleanly: the ledger file alone then holds every record, whatever lay beside it.
    EngineConnection::closeAll();
    LedgerFolder::removeUnusedFolders();
    std::fflush(nullptr);
    // No handler, destructor or event may run after this point.
    std::_Exit(exitCode);
}

} // namespace ovelta
