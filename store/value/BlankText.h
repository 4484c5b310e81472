#pragma once

#include <QString>

namespace ovelta::BlankText {

/// The text without the blanks at both ends. Only the ASCII blank and the full-width blank "　" (U+3000)
/// count; tabs, line breaks and inner blanks stay.
QString trimmed(const QString& text);

} // namespace ovelta::BlankText
