#include "windows/SearchStatement.h"

#include "store/SqlText.h"
#include "windows/BlankText.h"

using namespace Qt::StringLiterals;

namespace ovelta::SearchStatement {

QString anyDirection()
{
    return u"全部"_s;
}

QString dateLiteral(const QDate& date)
{
    return u"#%1/%2/%3#"_s.arg(date.year()).arg(date.month()).arg(date.day());
}

QString build(const SearchInput& input)
{
    const QString n = SqlText::escaped(BlankText::trimmed(input.name));
    const QString d = SqlText::escaped(input.direction);
    const bool anyDir = input.direction == anyDirection();
    const bool anyName = n.isEmpty();
    const QString head = u"select * from 收送礼"_s;
    const QString order = u" order by 时间 desc"_s;

    if (input.rangeOn) {
        // The engine needs no blank between a quote and a keyword; the pieces stay exactly as the ledger has
        // always written them ("like'%", "'and 姓名").
        QString s = head + u" where 时间 between "_s + dateLiteral(input.start) + u" and "_s + dateLiteral(input.end);
        if (!anyDir)
            s += u" and 收送='"_s + d + u"'"_s;
        if (!anyName)
            s += (anyDir ? u" and 姓名 like'%"_s : u"and 姓名 like'%"_s) + n + u"%'"_s;
        return s + order;
    }

    if (anyDir && anyName)
        return head + order;
    QString s = head + u" where "_s;
    if (!anyDir)
        s += u"收送 like '%"_s + d + u"%'"_s;
    if (!anyName)
        s += (anyDir ? QString() : u" and "_s) + u"姓名 like '%"_s + n + u"%'"_s;
    return s + order;
}

} // namespace ovelta::SearchStatement
