#include "app/EndRoutine.h"

#include "app/LedgerFolder.h"
#include "ui/Program.h"
#include "ui/SharedState.h"

#include <cstdio>
#include <cstdlib>

namespace ovelta {

void EndRoutine::install()
{
    Program::setEndHandler([](int exitCode) { run(exitCode); });
}

void EndRoutine::run(int exitCode)
{
    SharedState::instance().clear();
    LedgerFolder::removeUnusedFolders();
    std::fflush(nullptr);
    // No handler, destructor or event may run after this point.
    std::_Exit(exitCode);
}

} // namespace ovelta
