#include "ui/base/Program.h"

#include <cstdlib>

namespace ovelta {

namespace {

struct State
{
    Program::EndHandler handler;
    bool ended = false;
    std::optional<QDateTime> now;
};

State& state()
{
    static State s;
    return s;
}

} // namespace

void Program::end(int exitCode)
{
    State& s = state();
    if (s.ended)
        return;
    s.ended = true;
    if (s.handler) {
        s.handler(exitCode);
        return;
    }
    std::_Exit(exitCode);
}

void Program::setEndHandler(EndHandler handler)
{
    state().handler = std::move(handler);
}

bool Program::hasEnded()
{
    return state().ended;
}

void Program::resetEnded()
{
    state().ended = false;
}

QDateTime Program::now()
{
    const State& s = state();
    return s.now ? *s.now : QDateTime::currentDateTime();
}

void Program::setNow(std::optional<QDateTime> fixed)
{
    state().now = std::move(fixed);
}

} // namespace ovelta
