#include "CsvTable.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

bool isFormulaStart(QChar c)
{
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

/// True when a spreadsheet would read the text as a formula, or the text is such a text with apostrophes in
/// front (which must get one more, so that taking one away on reading is never ambiguous).
bool needsGuard(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u'\'')
        ++i;
    return i < text.size() && isFormulaStart(text[i]);
}

std::optional<QString> decode(const QByteArray& bytes, QString* encoding)
{
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError()) {
        *encoding = u"UTF-8"_s;
        return text;
    }
    // GB18030 reads every GBK file the same way and fails on what is no Chinese text at all.
    QStringDecoder gbk("GB18030", QStringConverter::Flag::Stateless);
    if (!gbk.isValid())
        return std::nullopt;
    text = gbk.decode(view);
    if (gbk.hasError())
        return std::nullopt;
    *encoding = u"GBK"_s;
    return text;
}

bool isControlOfBinary(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r' && u != 0x0C;
}

} // namespace

std::optional<CsvTable> CsvTable::parse(const QByteArray& bytes, QString* error)
{
    auto refuse = [error](const QString& message) {
        if (error)
            *error = message;
        return std::optional<CsvTable>();
    };
    if (bytes.isEmpty() || bytes == "\xEF\xBB\xBF")
        return refuse(u"文件是空的。"_s);
    if (bytes.size() > MaxFileBytes)
        return refuse(u"文件太大（超过256MB），不是账目表格。"_s);
    if (bytes.contains('\0'))
        return refuse(u"文件含有空字符（NUL），不是文本格式的CSV文件。"_s);
    CsvTable table;
    const std::optional<QString> decoded = decode(bytes, &table.encoding);
    if (!decoded)
        return refuse(u"无法识别文件的编码（只能读取UTF-8或GBK编码的文本）。"_s);
    const QString& text = *decoded;
    qsizetype controls = 0;
    for (const QChar c : text)
        controls += isControlOfBinary(c) ? 1 : 0;
    if (controls > 8 && controls > text.size() / 100)
        return refuse(u"文件含有大量控制字符，不是文本格式的CSV文件。"_s);

    qsizetype line = 1;
    qsizetype rowLine = 1;
    QStringList row;
    QString field;
    bool quotedField = false;
    bool fieldStarted = false;
    const qsizetype n = text.size();
    auto endField = [&]() -> bool {
        row.append(field);
        field.clear();
        quotedField = false;
        fieldStarted = false;
        return row.size() <= MaxColumns;
    };
    auto endRow = [&] {
        if (!(row.size() == 1 && row.front().isEmpty()))
            table.rows.append(row), table.lines.append(rowLine);
        row.clear();
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quotedField) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    field.append(u'"');
                    ++i;
                    continue;
                }
                // The closing quote: only a comma or the end of the row may follow.
                const QChar next = i + 1 < n ? text[i + 1] : u'\n';
                if (next != u',' && next != u'\n' && next != u'\r')
                    return refuse(u"第%1行的引号不成对：结束的引号后面还有文字。"_s.arg(line));
                quotedField = false;
                fieldStarted = true;
                continue;
            }
            if (c == u'\n' || (c == u'\r' && !(i + 1 < n && text[i + 1] == u'\n')))
                ++line;
            field.append(c);
        } else if (c == u',') {
            if (!endField())
                return refuse(u"第%1行的列数超过%2，不是账目表格。"_s.arg(rowLine).arg(MaxColumns));
            continue;
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            if (!endField())
                return refuse(u"第%1行的列数超过%2，不是账目表格。"_s.arg(rowLine).arg(MaxColumns));
            endRow();
            ++line;
            rowLine = line;
            continue;
        } else if (c == u'"' && !fieldStarted && field.isEmpty()) {
            quotedField = true;
            fieldStarted = true;
            continue;
        } else if (c == u'"') {
            return refuse(u"第%1行的引号不成对：字段中间出现了引号。"_s.arg(line));
        } else {
            field.append(c);
        }
        if (field.size() > MaxFieldChars)
            return refuse(u"第%1行有一个字段超过%2个字符，不是账目表格。"_s.arg(rowLine).arg(MaxFieldChars));
    }
    if (quotedField)
        return refuse(u"第%1行开始的引号没有结束。"_s.arg(rowLine));
    if (fieldStarted || !field.isEmpty() || !row.isEmpty()) {
        if (!endField())
            return refuse(u"第%1行的列数超过%2，不是账目表格。"_s.arg(rowLine).arg(MaxColumns));
        endRow();
    }
    if (table.rows.isEmpty())
        return refuse(u"文件是空的。"_s);
    return table;
}

QString CsvTable::quoted(const QString& field)
{
    const bool needsQuotes = field.contains(u',') || field.contains(u'"') || field.contains(u'\n')
        || field.contains(u'\r') || (!field.isEmpty() && (field.front().isSpace() || field.back().isSpace()));
    if (!needsQuotes)
        return field;
    QString text = field;
    text.replace(u'"', u"\"\""_s);
    return u'"' + text + u'"';
}

QString CsvTable::rowText(const QStringList& fields)
{
    QString text;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            text += u',';
        text += quoted(fields[i]);
    }
    return text + u"\r\n"_s;
}

QString CsvTable::guarded(const QString& text)
{
    return needsGuard(text) ? u'\'' + text : text;
}

QString CsvTable::unguarded(const QString& text)
{
    return text.startsWith(u'\'') && needsGuard(QStringView(text).sliced(1)) ? text.sliced(1) : text;
}

} // namespace ovelta
