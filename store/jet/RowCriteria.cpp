#include "store/jet/RowCriteria.h"

#include "store/value/JetDateTime.h"
#include "store/value/Money.h"

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || (c.unicode() >= 0x80 && !c.isSpace());
}

template <typename T> int compare(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

std::optional<RowCriteria> RowCriteria::parse(const QString& text)
{
    RowCriteria criteria;
    const QString s = text.trimmed();
    qsizetype i = 0;
    if (s.startsWith(u'[')) {
        const qsizetype end = s.indexOf(u']');
        if (end <= 1)
            return std::nullopt;
        criteria.m_column = s.mid(1, end - 1);
        i = end + 1;
    } else {
        while (i < s.size() && isNameChar(s[i]))
            ++i;
        criteria.m_column = s.left(i);
    }
    if (criteria.m_column.isEmpty())
        return std::nullopt;
    while (i < s.size() && s[i].isSpace())
        ++i;
    static const std::pair<const char16_t*, Operator> operators[] = {
        {u"<>", Operator::NotEqual}, {u"<=", Operator::LessOrEqual}, {u">=", Operator::GreaterOrEqual},
        {u"=", Operator::Equal},     {u"<", Operator::Less},         {u">", Operator::Greater},
    };
    bool found = false;
    for (const auto& [symbol, op] : operators) {
        const QStringView sv(symbol);
        if (QStringView(s).sliced(i).startsWith(sv)) {
            criteria.m_operator = op;
            i += sv.size();
            found = true;
            break;
        }
    }
    if (!found)
        return std::nullopt;
    const QString value = s.mid(i).trimmed();
    if (value.size() >= 2 && value.startsWith(u'\'') && value.endsWith(u'\'')) {
        QString inner = value.mid(1, value.size() - 2);
        // A lone quote inside would end the text early.
        if (QString(inner).replace(u"''"_s, QString()).contains(u'\''))
            return std::nullopt;
        criteria.m_kind = Value::Text;
        criteria.m_text = inner.replace(u"''"_s, u"'"_s);
    } else if (value.size() >= 2 && value.startsWith(u'#') && value.endsWith(u'#')) {
        const auto when = JetDateTime::parse(QStringView(value).sliced(1, value.size() - 2));
        if (!when)
            return std::nullopt;
        criteria.m_kind = Value::Date;
        criteria.m_packedDate = when->packed();
    } else {
        bool ok = false;
        criteria.m_number = value.toDouble(&ok);
        if (!ok || value.isEmpty() || !(value[0].isDigit() || value[0] == u'-' || value[0] == u'+' || value[0] == u'.'))
            return std::nullopt;
        criteria.m_kind = Value::Number;
        criteria.m_ticks = Money::parseLiteral(value);
    }
    return criteria;
}

std::optional<qint64> RowCriteria::equalInteger() const
{
    if (m_operator != Operator::Equal || m_kind != Value::Number || !m_ticks || *m_ticks % Money::TicksPerUnit != 0)
        return std::nullopt;
    return *m_ticks / Money::TicksPerUnit;
}

bool RowCriteria::holds(int comparison) const
{
    switch (m_operator) {
    case Operator::Equal:
        return comparison == 0;
    case Operator::NotEqual:
        return comparison != 0;
    case Operator::Less:
        return comparison < 0;
    case Operator::Greater:
        return comparison > 0;
    case Operator::LessOrEqual:
        return comparison <= 0;
    case Operator::GreaterOrEqual:
        return comparison >= 0;
    }
    return false;
}

bool RowCriteria::matches(const RowSnapshot::Cell& cell) const
{
    using Kind = RowSnapshot::Kind;
    if (cell.kind == Kind::Null)
        return false;
    switch (m_kind) {
    case Value::Number:
        switch (cell.kind) {
        case Kind::Integer:
        case Kind::Boolean:
            if (m_ticks && *m_ticks % Money::TicksPerUnit == 0)
                return holds(compare(cell.value, *m_ticks / Money::TicksPerUnit));
            return holds(compare(static_cast<long double>(cell.value), static_cast<long double>(m_number)));
        case Kind::Currency:
            if (m_ticks)
                return holds(compare(cell.value, *m_ticks));
            return holds(compare(Money::toDouble(cell.value), m_number));
        case Kind::Double:
            return holds(compare(cell.real(), m_number));
        default:
            return false;
        }
    case Value::Text:
        if (cell.kind != Kind::Text)
            return false;
        return holds(QString::fromUtf8(cell.bytes).compare(m_text, Qt::CaseInsensitive));
    case Value::Date:
        if (cell.kind != Kind::DateTime)
            return false;
        return holds(compare(cell.value, m_packedDate));
    }
    return false;
}

} // namespace ovelta
