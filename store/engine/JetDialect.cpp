#include "store/engine/JetDialect.h"

#include "store/value/JetDateTime.h"
#include "store/value/Money.h"
#include "store/value/SqlText.h"

#include <QHash>
#include <limits>
#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

enum class Kind { Space, Word, String, Number, Date, Symbol };

struct Token
{
    Kind kind;
    QStringView text; ///< as written
    QString value; ///< String: the decoded text; Date: the canonical text
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
        } else if (c == u'\'') {
            // A doubled quote stands for one.
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
        } else if (c == u'"' || c == u'[' || c == u'`' || c == u'&' || c == u';') {
            // Double-quoted texts, names in brackets or backticks, the & of joined texts and a statement end are
            // no part of the program's statements; the engine would read most of them otherwise than Jet.
            r.error = u"Syntax error: '%1' is not accepted in a statement."_s.arg(c);
            return r;
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
    static const char16_t* const ops[] = {u"+", u"-", u"*", u"/", u"||", u"%", u"^", u".", u"("};
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
    bool isName(int p) const { return valid(p) && at(p).kind == Kind::Word; }
    QString nameAt(int p) const { return at(p).text.toString(); }
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
    bool refuseWords();
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
    // A column is a name and one of the four types of the ledger's tables, nothing else.
    if (first + 1 != last || !isName(first) || at(last).kind != Kind::Word) {
        m_error = u"Syntax error in field definition."_s;
        return false;
    }
    const QString column = at(first).text.toString();
    const QString type = at(last).text.toString().toUpper();
    QString declared;
    if (type == u"COUNTER") {
        declared = u"INTEGER PRIMARY KEY AUTOINCREMENT"_s;
    } else if (type == u"MEMO") {
        declared = u"MEMO TEXT COLLATE NOCASE"_s;
    } else if (type == u"TIME") {
        declared
            = u"TIME TEXT CHECK (%1 IS NULL OR (typeof(%1)='text' AND datetime(%1,'+0 seconds') IS %1))"_s.arg(column);
    } else if (type == u"CURRENCY") {
        declared = u"CURRENCY INTEGER CHECK (%1 IS NULL OR typeof(%1)='integer')"_s.arg(column);
    } else {
        m_error = u"Syntax error in field definition: unknown type %1."_s.arg(type);
        return false;
    }
    edit(last).replaced = true;
    edit(last).text = declared;
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
    QList<JetType> types;
    int p = 3;
    if (!symbol(p, u"("))
        return true; // without a column list the typed columns' own checks refuse what does not fit
    for (int q = p + 1; q < m_close[p]; ++q) {
        if (isName(q))
            types << typeOfName(nameAt(q));
    }
    p = m_close[p] + 1;
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
            const int column = start;
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
    // A Time or Currency column compared with a literal of its own (=, <>, <, >, <=, >=): the literal is
    // converted to the stored form. A literal that is part of a larger expression is left to the engine.
    for (int p = 0; p < count(); ++p) {
        const JetType type = columnType(p);
        if (type != JetType::Time && type != JetType::Currency)
            continue;
        if (!valid(p + 1) || !isComparison(at(p + 1)))
            continue;
        const auto literal = literalAt(p + 2, true);
        if (literal && (!valid(literal->last + 1) || !isBinding(at(literal->last + 1))) && !convert(*literal, type))
            return false;
    }
    return true;
}

bool Rewriter::refuseWords()
{
    // Jet's True is -1, the engine's 1: neither is part of the program's statements.
    for (int p = 0; p < count(); ++p) {
        if (word(p, u"TRUE") || word(p, u"FALSE")) {
            m_error = u"Syntax error: %1 is not accepted in a statement."_s.arg(at(p).text);
            return false;
        }
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

    const QStringList verbs = {u"SELECT"_s, u"INSERT"_s, u"UPDATE"_s, u"DELETE"_s, u"CREATE"_s};
    if (at(0).kind != Kind::Word || !verbs.contains(at(0).text.toString(), Qt::CaseInsensitive))
        return refuse(u"Invalid SQL statement; expected 'DELETE', 'INSERT', 'SELECT', 'UPDATE' or 'CREATE TABLE'."_s);
    if (!refuseWords())
        return refuse(m_error);

    collectTables();
    if (word(0, u"CREATE")) {
        result.changesSchema = true;
        if (!word(1, u"TABLE") || !isName(2) || !symbol(3, u"(") || m_close[3] != count() - 1)
            return refuse(u"Syntax error in CREATE TABLE statement."_s);
        if (!rewriteColumnDefinitions(4, count() - 2))
            return refuse(m_error);
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
    auto& tokens = tokenized.tokens;
    return Rewriter(std::move(tokens), lookup).run(withRowid);
}

QString JetDialect::ticksLiteral(qint64 ticks)
{
    if (ticks == std::numeric_limits<qint64>::min())
        return u"(-9223372036854775807-1)"_s;
    return QString::number(ticks);
}

} // namespace ovelta
