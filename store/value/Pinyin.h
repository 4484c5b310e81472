#pragma once

#include <QString>
#include <QStringList>

namespace ovelta::Pinyin {

/// The ways a name is typed in Latin letters: its full pinyin and its initials, lower case, without tones or
/// blanks ("张伟" gives "zhangwei" and "zw"), from ICU's Han-Latin transliteration. A surname that reads otherwise
/// as a surname than as a word (单 shàn, 曾 zēng, 解 xiè ...) gives both readings, the surname's first. Letters and
/// digits in the name stay as they are (lower case); other characters are left out. Empty for a name without any.
QStringList keysOf(const QString& name);

/// True when typed starts the name itself or one of its keys (typed is compared in lower case, blanks at both
/// ends left out); never for an empty typed text.
bool matches(const QString& name, const QStringList& keys, const QString& typed);

} // namespace ovelta::Pinyin
