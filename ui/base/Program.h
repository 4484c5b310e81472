#pragma once

#include <QDateTime>
#include <functional>
#include <optional>

namespace ovelta {

/// Program-wide services that every window may call: the end routine and the clock.
class Program
{
public:
    using EndHandler = std::function<void(int exitCode)>;

    /// Ends the program with the exit code. With the production handler installed this never returns.
    /// Under a test handler it records the code, marks the program ended and returns; the caller must then
    /// return at once without touching anything else.
    static void end(int exitCode);
    static void setEndHandler(EndHandler handler);
    /// True once end() ran. Window code stops dispatching events from then on.
    static bool hasEnded();
    /// Forgets an earlier end (tests that start a fresh program in the same process).
    static void resetEnded();

    /// The current local date and time. Tests can pin it with setNow().
    static QDateTime now();
    static void setNow(std::optional<QDateTime> fixed);
};

} // namespace ovelta
