#pragma once

#include "ui/WindowSpec.h"

namespace ovelta::Catalogue {

/// The layout data of the eight windows, exactly as the program's window catalogue lists them.
const WindowSpec& mainWindow();
const WindowSpec& loginWindow();
const WindowSpec& passwordWindow();
const WindowSpec& entryWindow();
const WindowSpec& relationsWindow();
const WindowSpec& banquetTypesWindow();
const WindowSpec& searchWindow();
const WindowSpec& detailsWindow();

/// All eight, in the order above.
std::vector<const WindowSpec*> all();

} // namespace ovelta::Catalogue
