#include "store/value/BlankText.h"

namespace ovelta::BlankText {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == QChar(0x3000);
}

} // namespace

QString trimmed(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text.at(first)))
        ++first;
    while (last > first && isBlank(text.at(last - 1)))
        --last;
    return text.mid(first, last - first);
}

} // namespace ovelta::BlankText
