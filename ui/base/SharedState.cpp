#include "ui/base/SharedState.h"

namespace ovelta {

SharedState& SharedState::instance()
{
    static SharedState s;
    return s;
}

void SharedState::clear()
{
    *this = SharedState{};
}

} // namespace ovelta
