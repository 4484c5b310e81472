#pragma once

#include <QHash>
#include <QString>

namespace ovelta::ConnectionText {

/// The "key=value;" fields of a connection text, keys trimmed and in lower case, values as written (a value in
/// braces is taken whole). Parts without "=" (the leading "ODBC") are skipped.
QHash<QString, QString> fields(const QString& text);

} // namespace ovelta::ConnectionText
