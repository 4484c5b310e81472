#include "store/jet/ConnectionText.h"

namespace ovelta::ConnectionText {

QHash<QString, QString> fields(const QString& text)
{
    QHash<QString, QString> result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype equals = text.indexOf(u'=', i);
        const qsizetype semicolon = text.indexOf(u';', i);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            if (semicolon < 0)
                break;
            i = semicolon + 1;
            continue;
        }
        const QString key = text.mid(i, equals - i).trimmed().toLower();
        qsizetype end;
        QString value;
        if (equals + 1 < n && text[equals + 1] == u'{') {
            const qsizetype close = text.indexOf(u'}', equals + 2);
            end = close < 0 ? n : close + 1;
            value = text.mid(equals + 1, end - equals - 1);
            const qsizetype next = text.indexOf(u';', end);
            end = next < 0 ? n : next;
        } else {
            end = semicolon < 0 ? n : semicolon;
            value = text.mid(equals + 1, end - equals - 1);
        }
        result.insert(key, value);
        i = end + 1;
    }
    return result;
}

} // namespace ovelta::ConnectionText
