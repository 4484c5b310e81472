#pragma once

namespace ovelta {

/// Process start: the end routine is installed, the ledger's folder (see LedgerFolder) becomes the current
/// directory, the main window is created hidden and its creation handler runs the single-instance check and the
/// login before the ledger is shown.
class Application
{
public:
    static int run(int argc, char** argv);
};

} // namespace ovelta
