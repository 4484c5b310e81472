#pragma once

#include "SheetReader.h"

namespace ovelta {

/// Opens an Office Open XML workbook (.xlsx): the zip archive through minizip, its parts through
/// QXmlStreamReader. See SheetReader.
std::unique_ptr<SheetReader> openXlsx(const QString& path, QString* error);

} // namespace ovelta
