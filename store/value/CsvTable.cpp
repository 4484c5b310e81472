#include "store/value/CsvTable.h"

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

/// The byte order of a UTF-16 file: from its byte-order mark, or, without one, from NUL bytes that stand only
/// in the high byte of each character (the ASCII commas, tabs, digits and line ends of a table), one of them
/// the high byte of a line end.
std::optional<QStringConverter::Encoding> utf16Order(QByteArrayView bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QStringConverter::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return QStringConverter::Utf16BE;
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    qsizetype evenNuls = 0;
    qsizetype oddNuls = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0')
            ++(i % 2 ? oddNuls : evenNuls);
    }
    const qsizetype characters = bytes.size() / 2;
    auto hasLineEnd = [bytes](bool littleEnd) {
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
            const char low = littleEnd ? bytes[i] : bytes[i + 1];
            const char high = littleEnd ? bytes[i + 1] : bytes[i];
            if (high == '\0' && (low == '\n' || low == '\r'))
                return true;
        }
        return false;
    };
    if (evenNuls == 0 && oddNuls > 0 && oddNuls >= characters / 10 && hasLineEnd(true))
        return QStringConverter::Utf16LE;
    if (oddNuls == 0 && evenNuls > 0 && evenNuls >= characters / 10 && hasLineEnd(false))
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

std::optional<QString> decode(const QByteArray& bytes, QString* encoding)
{
    QByteArrayView view(bytes);
    if (const auto order = utf16Order(view)) {
        // The decoder takes a byte-order mark of its order off by itself.
        QStringDecoder utf16(*order, QStringConverter::Flag::Stateless);
        QString text = utf16.decode(view);
        if (utf16.hasError())
            return std::nullopt;
        if (text.startsWith(u'\uFEFF'))
            text.remove(0, 1);
        *encoding = u"UTF-16"_s;
        return text;
    }
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

/// The separator of the fields: a tab when the first row holds more tabs than commas outside quotes (what a
/// spreadsheet's "Unicode 文本" and tab-separated text files are), else a comma.
QChar separatorOf(QStringView text)
{
    qsizetype tabs = 0;
    qsizetype commas = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && (c == u'\n' || c == u'\r'))
            break;
        else if (!quoted && c == u'\t')
            ++tabs;
        else if (!quoted && c == u',')
            ++commas;
    }
    return tabs > commas ? u'\t' : u',';
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
    CsvTable table;
    const bool utf16 = utf16Order(bytes).has_value();
    if (!utf16 && bytes.contains('\0'))
        return refuse(u"文件含有空字符（NUL），不是文本格式的CSV文件。"_s);
    const std::optional<QString> decoded = decode(bytes, &table.encoding);
    if (!decoded)
        return refuse(u"无法识别文件的编码（只能读取UTF-8、GBK或UTF-16编码的文本）。"_s);
    const QString& text = *decoded;
    if (text.contains(QChar(u'\0')))
        return refuse(u"文件含有空字符（NUL），不是文本格式的CSV文件。"_s);
    const QChar separator = separatorOf(text);
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
                if (next != separator && next != u'\n' && next != u'\r')
                    return refuse(u"第%1行的引号不成对：结束的引号后面还有文字。"_s.arg(line));
                quotedField = false;
                fieldStarted = true;
                continue;
            }
            if (c == u'\n' || (c == u'\r' && !(i + 1 < n && text[i + 1] == u'\n')))
                ++line;
            field.append(c);
        } else if (c == separator) {
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
        } else {
            // A quote inside a field that does not start with one is an ordinary character, as spreadsheets
            // read it.
            field.append(c);
        }
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
