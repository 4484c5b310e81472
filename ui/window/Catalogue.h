#pragma once

#include "ui/base/WindowDef.h"

namespace ovelta::Catalogue {

/// The layout data of the eight windows, exactly as the program's window catalogue lists them.
const WindowDef& mainWindow();
const WindowDef& loginWindow();
const WindowDef& passwordWindow();
const WindowDef& entryWindow();
const WindowDef& relationsWindow();
const WindowDef& occasionsWindow();
const WindowDef& searchWindow();
const WindowDef& detailsWindow();

/// All eight, in the order above.
std::vector<const WindowDef*> all();

} // namespace ovelta::Catalogue
