#include "windows/EntryStatements.h"

#include "store/Money.h"
#include "store/SqlText.h"

using namespace Qt::StringLiterals;

namespace ovelta::EntryStatements {

namespace {

bool isRecordKey(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

QString dateText(const QDate& date)
{
    return u"%1-%2-%3"_s.arg(date.year()).arg(date.month()).arg(date.day());
}

QString insert(const EntryValues& values)
{
    return u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values("_s + SqlText::quoted(values.direction)
        + u","_s + SqlText::quoted(values.name) + u",'"_s + dateText(values.date) + u"',"_s
        + SqlText::quoted(values.relation) + u","_s + SqlText::quoted(values.kind) + u",'"_s
        + Money::toLiteral(values.amountTicks) + u"',"_s + SqlText::quoted(values.note) + u")"_s;
}

QString update(const EntryValues& values, const QString& recordId)
{
    if (!isRecordKey(recordId))
        return {};
    return u"update 收送礼 set 时间='"_s + dateText(values.date) + u"',收送="_s + SqlText::quoted(values.direction)
        + u",姓名="_s + SqlText::quoted(values.name) + u",关系="_s + SqlText::quoted(values.relation) + u",类型="_s
        + SqlText::quoted(values.kind) + u",金额="_s + Money::toLiteral(values.amountTicks) + u",说明="_s
        + SqlText::quoted(values.note) + u" where ID="_s + recordId;
}

QString findCriteria(const QString& recordId)
{
    return u"id="_s + recordId;
}

} // namespace ovelta::EntryStatements
