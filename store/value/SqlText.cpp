#include "store/value/SqlText.h"

using namespace Qt::StringLiterals;

namespace ovelta::SqlText {

QString escaped(const QString& text)
{
    QString result = text;
    result.replace(u'\'', u"''"_s);
    return result;
}

QString quoted(const QString& text)
{
    return u'\'' + escaped(text) + u'\'';
}

} // namespace ovelta::SqlText
