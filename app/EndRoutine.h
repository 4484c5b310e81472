#pragma once

namespace ovelta {

/// The one way the program ends: the shared texts are released, every database connection is closed, nothing
/// else runs, and the process exits with the code given. Windows are not closed one by one.
class EndRoutine
{
public:
    /// Installs the production end routine as the program's end handler.
    static void install();
    [[noreturn]] static void run(int exitCode);
};

} // namespace ovelta
