#pragma once

#include <QString>

namespace ovelta::SqlText {

/// The user's text with every single quote doubled, for use between quotes that the caller writes.
QString escaped(const QString& text);
/// The user's text as a quoted literal: "'" + escaped(text) + "'".
QString quoted(const QString& text);

} // namespace ovelta::SqlText
