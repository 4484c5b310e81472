#pragma once

#include <QString>

namespace ovelta {
class MainWindow;
}

namespace ovelta::bench {

/// The real main window over the ledger in folder, which becomes the current folder, opened as the program opens
/// it after a login: its objects connect to the file, and the grid is filled. The caller owns the window.
MainWindow* openMainWindow(const QString& folder);

} // namespace ovelta::bench
