#include "JetDialect.h"

#include "JetDateTime.h"
#include "Money.h"
#include "SqlText.h"

#include <QHash>
#include <limits>
#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

enum class Kind { Space, Word, Name, String, Number, Date, Symbol };

struct Token
{
    Kind kind;
    QStringView text; ///< as written
    QString value; ///< String: the decoded text; Name: the name inside its quotes; Date: the canonical text
};

bool isAsciiSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isWordStart(QChar c)
{
    // Chinese identifiers reach the engine unchanged; the engine takes any non-ASCII character as a letter.
    return (c.unicode() < 0x80 && (c.isLetter() || c == u'_')) || (c.unicode() >= 0x80 && !c.isSpace());
}

bool isWordPart(QChar c)
{
    return isWordStart(c) || isDigit(c);
}

struct Tokenized
{
    std::vector<Token> tokens;
    QString error;
};

Tokenized tokenize(QStringView s)
{
    Tokenized r;
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto push = [&](Kind kind, qsizetype start, QString value = QString()) {
        r.tokens.push_back(Token{kind, s.sliced(start, i - start), std::move(value)});
    };
    while (i < n) {
        const QChar c = s[i];
        const qsizetype start = i;
        if (isAsciiSpace(c)) {
            while (i < n && isAsciiSpace(s[i]))
                ++i;
            push(Kind::Space, start);
        } else if (c == u'\'' || c == u'"') {
            // Jet takes both quotes as text delimiters; a doubled quote stands for one.
            QString value;
            bool closed = false;
            for (++i; i < n; ++i) {
                if (s[i] == c) {
                    if (i + 1 < n && s[i + 1] == c) {
                        value += c;
                        ++i;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += s[i];
            }
            if (!closed) {
                r.error = u"Syntax error in string in query expression."_s;
                return r;
            }
            push(Kind::String, start, value);
        } else if (c == u'[' || c == u'`') {
            const QChar close = c == u'[' ? u']' : u'`';
            const qsizetype end = s.indexOf(close, i + 1);
            if (end < 0 || end == i + 1) {
                r.error = u"Invalid bracketing of name."_s;
                return r;
            }
            i = end + 1;
            push(Kind::Name, start, s.sliced(start + 1, end - start - 1).toString());
        } else if (c == u'#') {
            const qsizetype end = s.indexOf(u'#', i + 1);
            const auto value = end < 0 ? std::nullopt : JetDateTime::parse(s.sliced(i + 1, end - i - 1));
            if (!value) {
                r.error = u"Syntax error in date in query expression."_s;
                return r;
            }
            i = end + 1;
            push(Kind::Date, start, value->canonical());
        } else if (isDigit(c) || (c == u'.' && i + 1 < n && isDigit(s[i + 1]))) {
            while (i < n && isDigit(s[i]))
                ++i;
            if (i < n && s[i] == u'.') {
                ++i;
                while (i < n && isDigit(s[i]))
                    ++i;
            }
            if (i < n && (s[i] == u'e' || s[i] == u'E')) {
                qsizetype j = i + 1;
                if (j < n && (s[j] == u'+' || s[j] == u'-'))
                    ++j;
                if (j < n && isDigit(s[j])) {
                    i = j;
                    while (i < n && isDigit(s[i]))
                        ++i;
                }
            }
            push(Kind::Number, start);
        } else if (isWordStart(c)) {
            while (i < n && isWordPart(s[i]))
                ++i;
            push(Kind::Word, start);
        } else if (c == u'?' || c == u':' || c == u'@' || c == u'$') {
            r.error = u"Parameters are not supported."_s;
            return r;
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.isSpace()) {
            r.error = u"Invalid character in query expression."_s;
            return r;
        } else {
            static const char16_t* const pairs[] = {u"<>", u"<=", u">=", u"!=", u"||", u"=="};
            i += 1;
            for (const char16_t* pair : pairs) {
                if (start + 1 < n && s[start] == QChar(pair[0]) && s[start + 1] == QChar(pair[1])) {
                    i = start + 2;
                    break;
                }
            }
            push(Kind::Symbol, start);
        }
    }
    return r;
}

bool isComparison(const Token& t)
{
    if (t.kind != Kind::Symbol)
        return false;
    static const char16_t* const ops[] = {u"=", u"<>", u"<", u">", u"<=", u">=", u"!=", u"=="};
    for (const char16_t* op : ops) {
        if (t.text == QStringView(op))
            return true;
    }
    return false;
}

/// Operators that bind a literal into a larger expression, so that it is not a value of its own.
bool isBinding(const Token& t)
{
    if (t.kind != Kind::Symbol)
        return false;
    static const char16_t* const ops[] = {u"+", u"-", u"*", u"/", u"&", u"||", u"%", u"^", u".", u"("};
    for (const char16_t* op : ops) {
        if (t.text == QStringView(op))
            return true;
    }
    return false;
}

struct Literal
{
    int first = -1; ///< significant positions covered, a sign included
    int last = -1;
    Kind kind = Kind::String;
    QString value; ///< Number: the signed number text; String, Date: the value
    bool isNull = false;
};

struct Edit
{
    bool replaced = false;
    QString text;
    QString before;
    QString after;
};

class Rewriter
{
public:
    Rewriter(std::vector<Token> tokens, const JetDialect::TableLookup& lookup)
        : m_tokens(std::move(tokens))
        , m_lookup(lookup)
        , m_edits(m_tokens.size())
    {
        for (int i = 0; i < int(m_tokens.size()); ++i) {
            if (m_tokens[i].kind != Kind::Space)
                m_sig.push_back(i);
        }
    }

    JetDialect::Translation run(bool withRowid);

private:
    int count() const { return int(m_sig.size()); }
    const Token& at(int p) const { return m_tokens[m_sig[p]]; }
    Edit& edit(int p) { return m_edits[m_sig[p]]; }
    bool valid(int p) const { return p >= 0 && p < count(); }
    bool word(int p, QStringView w) const
    {
        return valid(p) && at(p).kind == Kind::Word && at(p).text.compare(w, Qt::CaseInsensitive) == 0;
    }
    bool symbol(int p, QStringView s) const { return valid(p) && at(p).kind == Kind::Symbol && at(p).text == s; }
    bool isName(int p) const { return valid(p) && (at(p).kind == Kind::Word || at(p).kind == Kind::Name); }
    QString nameAt(int p) const { return at(p).kind == Kind::Name ? at(p).value : at(p).text.toString(); }
    void remove(int p)
    {
        edit(p).replaced = true;
        edit(p).text.clear();
    }

    bool matchParentheses();
    void collectTables();
    JetType columnType(int p) const;
    JetType typeOfName(const QString& name) const;

    bool rewriteColumnDefinitions(int first, int last);
    bool rewriteColumnDefinition(int first, int last);
    bool rewriteInsert();
    bool rewriteUpdate();
    bool rewriteComparisons();
    void rewriteRowid(JetDialect::Translation& result);

    std::optional<Literal> literalAt(int p, bool signAllowed) const;
    std::optional<Literal> expressionLiteral(int first, int last) const;
    bool storeValue(int first, int last, JetType type);
    bool convert(const Literal& literal, JetType type);
    QString assemble() const;

    std::vector<Token> m_tokens;
    const JetDialect::TableLookup& m_lookup;
    std::vector<Edit> m_edits;
    std::vector<int> m_sig;
    std::vector<int> m_close;
    std::vector<int> m_depth;
    QHash<QString, JetType> m_columns;
    QHash<QString, QList<JetColumn>> m_tables;
    QString m_error;
};

bool Rewriter::matchParentheses()
{
    m_close.assign(m_sig.size(), -1);
    m_depth.assign(m_sig.size(), 0);
    std::vector<int> open;
    for (int p = 0; p < count(); ++p) {
        m_depth[p] = int(open.size());
        if (symbol(p, u"(")) {
            open.push_back(p);
        } else if (symbol(p, u")")) {
            if (open.empty())
                return false;
            m_close[open.back()] = p;
            open.pop_back();
            m_depth[p] = int(open.size());
        }
    }
    return open.empty();
}

void Rewriter::collectTables()
{
    if (!m_lookup)
        return;
    for (int p = 0; p + 1 < count(); ++p) {
        if (!(word(p, u"FROM") || word(p, u"JOIN") || word(p, u"UPDATE") || word(p, u"INTO")) || !isName(p + 1))
            continue;
        const QString table = nameAt(p + 1);
        const QString key = table.toLower();
        if (m_tables.contains(key))
            continue;
        const auto columns = m_lookup(table);
        if (!columns)
            continue;
        m_tables.insert(key, *columns);
        for (const JetColumn& column : *columns) {
            const QString name = column.name.toLower();
            if (!m_columns.contains(name))
                m_columns.insert(name, column.type);
        }
    }
}

JetType Rewriter::typeOfName(const QString& name) const
{
    return m_columns.value(name.toLower(), JetType::Unknown);
}

JetType Rewriter::columnType(int p) const
{
    if (!isName(p) || symbol(p + 1, u"("))
        return JetType::Unknown;
    return typeOfName(nameAt(p));
}

std::optional<Literal> Rewriter::literalAt(int p, bool signAllowed) const
{
    if (!valid(p))
        return std::nullopt;
    const Token& t = at(p);
    if (t.kind == Kind::Symbol && (t.text == u"-" || t.text == u"+")) {
        if (!signAllowed || !valid(p + 1) || at(p + 1).kind != Kind::Number)
            return std::nullopt;
        Literal l{p, p + 1, Kind::Number, at(p + 1).text.toString()};
        if (t.text == u"-")
            l.value.prepend(u'-');
        return l;
    }
    if (t.kind == Kind::String || t.kind == Kind::Date)
        return Literal{p, p, t.kind, t.value};
    if (t.kind == Kind::Number)
        return Literal{p, p, t.kind, t.text.toString()};
    if (word(p, u"NULL")) {
        Literal l{p, p, Kind::Word, QString()};
        l.isNull = true;
        return l;
    }
    return std::nullopt;
}

std::optional<Literal> Rewriter::expressionLiteral(int first, int last) const
{
    while (first < last && symbol(first, u"(") && m_close[first] == last) {
        ++first;
        --last;
    }
    auto literal = literalAt(first, true);
    if (!literal || literal->last != last)
        return std::nullopt;
    return literal;
}

bool Rewriter::convert(const Literal& literal, JetType type)
{
    QString text;
    if (literal.isNull) {
        return true;
    } else if (type == JetType::Time) {
        std::optional<JetDateTime> value;
        if (literal.kind == Kind::String || literal.kind == Kind::Date)
            value = JetDateTime::parse(literal.value);
        else if (literal.kind == Kind::Number)
            value = JetDateTime::fromSerial(literal.value.toDouble());
        if (!value) {
            m_error = u"Data type mismatch: %1 is not a date."_s.arg(SqlText::quoted(literal.value));
            return false;
        }
        text = SqlText::quoted(value->canonical());
    } else if (type == JetType::Currency) {
        std::optional<qint64> ticks;
        if (literal.kind == Kind::String || literal.kind == Kind::Number)
            ticks = Money::parseLiteral(literal.value.trimmed());
        if (!ticks) {
            m_error = u"Data type mismatch: %1 is not an amount of the Currency range."_s.arg(
                SqlText::quoted(literal.value));
            return false;
        }
        text = JetDialect::ticksLiteral(*ticks);
    } else if (type == JetType::Integer || type == JetType::Counter || type == JetType::Double) {
        if (literal.kind != Kind::String)
            return true;
        bool ok = false;
        const QString trimmed = literal.value.trimmed();
        if (type == JetType::Double)
            trimmed.toDouble(&ok);
        else
            trimmed.toLongLong(&ok);
        if (!ok) {
            m_error = u"Data type mismatch: %1 is not a number."_s.arg(SqlText::quoted(literal.value));
            return false;
        }
        text = trimmed;
    } else {
        return true;
    }
    edit(literal.first).replaced = true;
    edit(literal.first).text = text;
    for (int p = literal.first + 1; p <= literal.last; ++p)
        remove(p);
    return true;
}

bool Rewriter::storeValue(int first, int last, JetType type)
{
    if (first > last)
        return true;
    if (const auto literal = expressionLiteral(first, last))
        return convert(*literal, type);
    const char* function = type == JetType::Time ? JetDialect::TimeFunction
        : type == JetType::Currency              ? JetDialect::CurrencyFunction
                                                 : nullptr;
    if (function != nullptr) {
        edit(first).before += QLatin1StringView(function) + u'(';
        edit(last).after.prepend(u')');
    }
    return true;
}

bool Rewriter::rewriteColumnDefinition(int first, int last)
{
    static const QStringList constraintWords
        = {u"CONSTRAINT"_s, u"PRIMARY"_s, u"UNIQUE"_s,     u"FOREIGN"_s, u"CHECK"_s, u"NOT"_s,
           u"NULL"_s,       u"DEFAULT"_s, u"REFERENCES"_s, u"COLLATE"_s, u"WITH"_s};
    auto isConstraintWord = [&](int p) {
        return valid(p) && at(p).kind == Kind::Word
            && constraintWords.contains(at(p).text.toString(), Qt::CaseInsensitive);
    };
    if (isConstraintWord(first))
        return true; // a table constraint
    if (!isName(first)) {
        m_error = u"Syntax error in field definition."_s;
        return false;
    }
    const QString column = at(first).text.toString();
    int p = first + 1;
    QStringList typeWords;
    while (p <= last && at(p).kind == Kind::Word && !isConstraintWord(p)) {
        typeWords << at(p).text.toString().toUpper();
        ++p;
    }
    if (typeWords.isEmpty()) {
        m_error = u"Syntax error in field definition."_s;
        return false;
    }
    const int typeFirst = first + 1;
    int typeLast = p - 1;
    if (p <= last && symbol(p, u"(")) {
        typeLast = m_close[p]; // a size or seed: the engine keeps no such limit
        p = typeLast + 1;
    }

    static const QHash<QString, JetType> names = {
        {u"COUNTER"_s, JetType::Counter},   {u"AUTOINCREMENT"_s, JetType::Counter},
        {u"IDENTITY"_s, JetType::Counter},  {u"MEMO"_s, JetType::Memo},
        {u"LONGTEXT"_s, JetType::Memo},     {u"LONGCHAR"_s, JetType::Memo},
        {u"NOTE"_s, JetType::Memo},         {u"NTEXT"_s, JetType::Memo},
        {u"TEXT"_s, JetType::Text},         {u"VARCHAR"_s, JetType::Text},
        {u"CHAR"_s, JetType::Text},         {u"CHARACTER"_s, JetType::Text},
        {u"STRING"_s, JetType::Text},       {u"ALPHANUMERIC"_s, JetType::Text},
        {u"NCHAR"_s, JetType::Text},        {u"NVARCHAR"_s, JetType::Text},
        {u"TIME"_s, JetType::Time},         {u"DATETIME"_s, JetType::Time},
        {u"DATE"_s, JetType::Time},         {u"TIMESTAMP"_s, JetType::Time},
        {u"CURRENCY"_s, JetType::Currency}, {u"MONEY"_s, JetType::Currency},
        {u"LONG"_s, JetType::Integer},      {u"INTEGER"_s, JetType::Integer},
        {u"INT"_s, JetType::Integer},       {u"INTEGER4"_s, JetType::Integer},
        {u"SMALLINT"_s, JetType::Integer},  {u"SHORT"_s, JetType::Integer},
        {u"INTEGER2"_s, JetType::Integer},  {u"BYTE"_s, JetType::Integer},
        {u"TINYINT"_s, JetType::Integer},   {u"INTEGER1"_s, JetType::Integer},
        {u"DOUBLE"_s, JetType::Double},     {u"FLOAT"_s, JetType::Double},
        {u"FLOAT8"_s, JetType::Double},     {u"FLOAT4"_s, JetType::Double},
        {u"REAL"_s, JetType::Double},       {u"SINGLE"_s, JetType::Double},
        {u"NUMBER"_s, JetType::Double},     {u"NUMERIC"_s, JetType::Double},
        {u"DECIMAL"_s, JetType::Double},    {u"DOUBLE PRECISION"_s, JetType::Double},
        {u"BIT"_s, JetType::Boolean},       {u"YESNO"_s, JetType::Boolean},
        {u"LOGICAL"_s, JetType::Boolean},   {u"BOOLEAN"_s, JetType::Boolean},
        {u"BINARY"_s, JetType::Binary},     {u"VARBINARY"_s, JetType::Binary},
        {u"LONGBINARY"_s, JetType::Binary}, {u"OLEOBJECT"_s, JetType::Binary},
        {u"GENERAL"_s, JetType::Binary},    {u"IMAGE"_s, JetType::Binary},
    };
    const auto found = names.constFind(typeWords.join(u' '));
    if (found == names.constEnd()) {
        m_error = u"Syntax error in field definition: unknown type %1."_s.arg(typeWords.join(u' '));
        return false;
    }
    QString declared;
    switch (*found) {
    case JetType::Counter:
        declared = u"INTEGER PRIMARY KEY AUTOINCREMENT"_s;
        // The auto-number is the key already.
        if (word(p, u"PRIMARY") && word(p + 1, u"KEY") && p + 1 <= last) {
            remove(p);
            remove(p + 1);
        }
        break;
    case JetType::Memo:
        declared = u"MEMO TEXT COLLATE NOCASE"_s;
        break;
    case JetType::Text:
        declared = u"TEXT COLLATE NOCASE"_s;
        break;
    case JetType::Time:
        declared
            = u"TIME TEXT CHECK (%1 IS NULL OR (typeof(%1)='text' AND datetime(%1,'+0 seconds') IS %1))"_s.arg(column);
        break;
    case JetType::Currency:
        declared = u"CURRENCY INTEGER CHECK (%1 IS NULL OR typeof(%1)='integer')"_s.arg(column);
        break;
    case JetType::Integer:
        declared = u"INTEGER"_s;
        break;
    case JetType::Double:
        declared = u"DOUBLE"_s;
        break;
    case JetType::Boolean:
        declared = u"YESNO INTEGER"_s;
        break;
    case JetType::Binary:
        declared = u"BLOB"_s;
        break;
    case JetType::Unknown:
        break;
    }
    edit(typeFirst).replaced = true;
    edit(typeFirst).text = declared;
    for (int q = typeFirst + 1; q <= typeLast; ++q)
        remove(q);
    return true;
}

bool Rewriter::rewriteColumnDefinitions(int first, int last)
{
    int start = first;
    const int depth = valid(first) ? m_depth[first] : 0;
    for (int p = first; p <= last + 1; ++p) {
        if (p == last + 1 || (symbol(p, u",") && m_depth[p] == depth)) {
            if (start > p - 1 || !rewriteColumnDefinition(start, p - 1)) {
                if (m_error.isEmpty())
                    m_error = u"Syntax error in field definition."_s;
                return false;
            }
            start = p + 1;
        }
    }
    return true;
}

bool Rewriter::rewriteInsert()
{
    if (!word(1, u"INTO") || !isName(2))
        return true;
    const QString table = nameAt(2).toLower();
    QList<JetType> types;
    int p = 3;
    if (symbol(p, u"(")) {
        for (int q = p + 1; q < m_close[p]; ++q) {
            if (isName(q))
                types << typeOfName(nameAt(q));
        }
        p = m_close[p] + 1;
    } else {
        for (const JetColumn& column : m_tables.value(table))
            types << column.type;
    }
    if (!word(p, u"VALUES") || !symbol(p + 1, u"("))
        return true;
    const int open = p + 1;
    const int close = m_close[open];
    int start = open + 1;
    int index = 0;
    for (int q = start; q <= close; ++q) {
        if (q == close || (symbol(q, u",") && m_depth[q] == m_depth[open] + 1)) {
            if (index < types.size() && !storeValue(start, q - 1, types[index]))
                return false;
            ++index;
            start = q + 1;
        }
    }
    return true;
}

bool Rewriter::rewriteUpdate()
{
    if (!isName(1) || !word(2, u"SET"))
        return true;
    int end = 3;
    while (end < count() && !(word(end, u"WHERE") && m_depth[end] == 0))
        ++end;
    int start = 3;
    for (int q = 3; q <= end; ++q) {
        if (q == end || (symbol(q, u",") && m_depth[q] == 0)) {
            int column = start;
            if (symbol(column + 1, u".")) // a qualified name: table.column
                column += 2;
            if (column + 1 < q && isName(column) && symbol(column + 1, u"=")) {
                if (!storeValue(column + 2, q - 1, typeOfName(nameAt(column))))
                    return false;
            }
            start = q + 1;
        }
    }
    return true;
}

bool Rewriter::rewriteComparisons()
{
    static const QStringList unaryAfter
        = {u"AND"_s, u"OR"_s, u"NOT"_s,    u"BETWEEN"_s, u"WHERE"_s, u"SET"_s,  u"SELECT"_s, u"VALUES"_s,
           u"IN"_s,  u"ON"_s, u"HAVING"_s, u"WHEN"_s,    u"THEN"_s,  u"ELSE"_s, u"LIKE"_s,   u"IS"_s};
    auto signAllowedAt = [&](int p) {
        if (!valid(p - 1))
            return true;
        const Token& before = at(p - 1);
        if (before.kind == Kind::Symbol)
            return before.text != u")";
        return before.kind == Kind::Word && unaryAfter.contains(before.text.toString(), Qt::CaseInsensitive);
    };
    auto alone = [&](const Literal& l) { return !valid(l.last + 1) || !isBinding(at(l.last + 1)); };
    auto isTyped = [](JetType type) { return type == JetType::Time || type == JetType::Currency; };

    for (int p = 0; p < count(); ++p) {
        const JetType type = columnType(p);
        if (isTyped(type)) {
            int q = p + 1;
            if (valid(q) && isComparison(at(q))) {
                const auto literal = literalAt(q + 1, true);
                if (literal && alone(*literal) && !convert(*literal, type))
                    return false;
                continue;
            }
            if (word(q, u"NOT"))
                ++q;
            if (word(q, u"BETWEEN")) {
                const auto low = literalAt(q + 1, true);
                if (low && word(low->last + 1, u"AND")) {
                    const auto high = literalAt(low->last + 2, true);
                    if (high && alone(*high) && (!convert(*low, type) || !convert(*high, type)))
                        return false;
                }
            } else if (word(q, u"IN") && symbol(q + 1, u"(")) {
                const int close = m_close[q + 1];
                int start = q + 2;
                for (int r = start; r <= close; ++r) {
                    if (r == close || (symbol(r, u",") && m_depth[r] == m_depth[q + 1] + 1)) {
                        const auto literal = literalAt(start, true);
                        if (literal && literal->last == r - 1 && !convert(*literal, type))
                            return false;
                        start = r + 1;
                    }
                }
            }
            continue;
        }
        // A literal on the left: 'x' = column.
        const auto literal = literalAt(p, signAllowedAt(p));
        if (!literal || literal->isNull)
            continue;
        if (valid(p - 1) && isBinding(at(p - 1)) && !symbol(p - 1, u"(") && literal->first == literal->last) {
            p = literal->last;
            continue; // part of a larger expression
        }
        const int op = literal->last + 1;
        if (valid(op) && isComparison(at(op)) && isTyped(columnType(op + 1)) && !symbol(op + 2, u".")) {
            if (!convert(*literal, columnType(op + 1)))
                return false;
        }
        p = literal->last;
    }
    return true;
}

void Rewriter::rewriteRowid(JetDialect::Translation& result)
{
    if (!word(0, u"SELECT") || !symbol(1, u"*") || !word(2, u"FROM") || !isName(3))
        return;
    if (valid(4) && !(word(4, u"WHERE") || word(4, u"ORDER")))
        return;
    static const QStringList joined = {u"UNION"_s, u"GROUP"_s, u"JOIN"_s, u"DISTINCT"_s, u"HAVING"_s};
    for (int p = 4; p < count(); ++p) {
        if (m_depth[p] == 0 && at(p).kind == Kind::Word && joined.contains(at(p).text.toString(), Qt::CaseInsensitive))
            return;
    }
    edit(1).replaced = true;
    edit(1).text = u"_rowid_, *"_s;
    result.returnsRowid = true;
    result.rowidTable = nameAt(3);
}

QString Rewriter::assemble() const
{
    QString out;
    auto append = [&out](const QString& piece) {
        if (piece.isEmpty())
            return;
        if (!out.isEmpty()) {
            const QChar last = out.back();
            const QChar next = piece.front();
            // Never let two pieces run into a comment or into one word.
            if ((last == u'-' && next == u'-') || (last == u'/' && next == u'*')
                || (isWordPart(last) && isWordPart(next)))
                out += u' ';
        }
        out += piece;
    };
    for (size_t i = 0; i < m_tokens.size(); ++i) {
        const Token& t = m_tokens[i];
        const Edit& e = m_edits[i];
        append(e.before);
        if (e.replaced) {
            append(e.text);
        } else {
            switch (t.kind) {
            case Kind::String:
            case Kind::Date:
                append(SqlText::quoted(t.value));
                break;
            case Kind::Symbol:
                append(t.text == u"&" ? u"||"_s : t.text.toString());
                break;
            case Kind::Word:
                if (t.text.compare(u"TRUE", Qt::CaseInsensitive) == 0)
                    append(u"(-1)"_s);
                else if (t.text.compare(u"FALSE", Qt::CaseInsensitive) == 0)
                    append(u"0"_s);
                else
                    append(t.text.toString());
                break;
            case Kind::Space:
                out += t.text;
                break;
            default:
                append(t.text.toString());
            }
        }
        append(e.after);
    }
    return out.trimmed();
}

JetDialect::Translation Rewriter::run(bool withRowid)
{
    JetDialect::Translation result;
    auto refuse = [&result](const QString& why) {
        result.error = why;
        return result;
    };
    if (m_sig.empty())
        return refuse(u"The statement is empty."_s);
    if (!matchParentheses())
        return refuse(u"Syntax error: unbalanced parentheses."_s);

    const QStringList verbs = {u"SELECT"_s, u"INSERT"_s, u"UPDATE"_s, u"DELETE"_s, u"CREATE"_s, u"DROP"_s, u"ALTER"_s};
    if (at(0).kind != Kind::Word || !verbs.contains(at(0).text.toString(), Qt::CaseInsensitive))
        return refuse(u"Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."_s);

    collectTables();
    if (word(0, u"CREATE")) {
        result.changesSchema = true;
        if (word(1, u"TABLE")) {
            if (!isName(2) || !symbol(3, u"(") || m_close[3] != count() - 1)
                return refuse(u"Syntax error in CREATE TABLE statement."_s);
            if (!rewriteColumnDefinitions(4, count() - 2))
                return refuse(m_error);
        } else if (!(word(1, u"INDEX") || (word(1, u"UNIQUE") && word(2, u"INDEX")))) {
            return refuse(u"Syntax error in CREATE TABLE statement."_s);
        }
    } else if (word(0, u"DROP")) {
        result.changesSchema = true;
        if (!word(1, u"TABLE") && !word(1, u"INDEX"))
            return refuse(u"Syntax error in DROP TABLE or DROP INDEX."_s);
    } else if (word(0, u"ALTER")) {
        result.changesSchema = true;
        if (!word(1, u"TABLE") || !isName(2))
            return refuse(u"Syntax error in ALTER TABLE statement."_s);
        if (word(3, u"ADD")) {
            const int first = word(4, u"COLUMN") ? 5 : 4;
            if (!rewriteColumnDefinition(first, count() - 1))
                return refuse(m_error);
        }
    } else if (word(0, u"INSERT")) {
        if (!rewriteInsert())
            return refuse(m_error);
    } else if (word(0, u"UPDATE")) {
        if (!rewriteUpdate())
            return refuse(m_error);
    }
    if (!result.changesSchema && !rewriteComparisons())
        return refuse(m_error);
    if (withRowid)
        rewriteRowid(result);
    result.sql = assemble();
    result.ok = true;
    return result;
}

} // namespace

JetDialect::Translation JetDialect::translate(const QString& statement, const TableLookup& lookup, bool withRowid)
{
    Tokenized tokenized = tokenize(statement);
    if (!tokenized.error.isEmpty()) {
        Translation refused;
        refused.error = tokenized.error;
        return refused;
    }
    // Jet takes one statement: a closing semicolon may follow it, nothing else.
    auto& tokens = tokenized.tokens;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Kind::Symbol && tokens[i].text == u";") {
            for (size_t j = i + 1; j < tokens.size(); ++j) {
                if (tokens[j].kind != Kind::Space) {
                    Translation refused;
                    refused.error = u"Characters found after end of SQL statement."_s;
                    return refused;
                }
            }
            tokens.resize(i);
            break;
        }
    }
    return Rewriter(std::move(tokens), lookup).run(withRowid);
}

QString JetDialect::ticksLiteral(qint64 ticks)
{
    if (ticks == std::numeric_limits<qint64>::min())
        return u"(-9223372036854775807-1)"_s;
    return QString::number(ticks);
}

} // namespace ovelta
