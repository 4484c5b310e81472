#include "app/EndRoutine.h"

#include "store/EngineConnection.h"
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
    // Every connection closed cleanly: the ledger file alone then holds every record, whatever lay beside it.
    EngineConnection::closeAll();
    std::fflush(nullptr);
    // No handler, destructor or event may run after this point.
    std::_Exit(exitCode);
}

} // namespace ovelta
