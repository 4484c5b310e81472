#pragma once

#include "store/ledger/SheetReader.h"

namespace ovelta {

/// Opens an Office Open XML workbook (.xlsx): the zip archive through minizip, its parts through
/// QXmlStreamReader. See SheetReader.
std::unique_ptr<SheetReader> openXlsx(const QString& path, QString* error);

/// The reason an encrypted workbook (one with an opening password) is not read, whatever its format.
QString encryptedWorkbookMessage();

} // namespace ovelta
