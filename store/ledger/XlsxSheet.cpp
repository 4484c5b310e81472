#include "store/ledger/XlsxSheet.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTime>
#include <QXmlStreamReader>
#include <cmath>
#include <future>
#include <unzip.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// A text as a spreadsheet means it: "_xHHHH_" stands for the UTF-16 unit HHHH (how a carriage return or another
/// control character is kept in the file, whose XML would turn "\r\n" into "\n"), and "_x005F_" for "_".
QString unescapedText(const QString& text)
{
    if (!text.contains(u"_x"_s))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            bool ok = false;
            const uint unit = QStringView(text).sliced(i + 2, 4).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(unit));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

/// What a cell's number is by its number format.
enum class Shown : char { Number, Date, Time };

/// The kind of a number format's code: dates name years or days (or months alone), times hours or seconds.
/// Quoted texts, escaped characters, [colours and locales], and the characters after _ and * are no part of it.
Shown kindOfCode(const QString& code)
{
    bool year = false, day = false, hour = false, second = false, month = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u';')
            break;
        if (c == u'"') {
            const qsizetype end = code.indexOf(u'"', i + 1);
            i = end < 0 ? code.size() : end;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype end = code.indexOf(u']', i + 1);
            const QString inside = code.mid(i + 1, end < 0 ? -1 : end - i - 1).toLower();
            // Elapsed hours, minutes and seconds: [h]:mm:ss.
            if (!inside.isEmpty() && (inside.front() == u'h' || inside.front() == u's'))
                hour = true;
            i = end < 0 ? code.size() : end;
        } else {
            switch (c.toLower().unicode()) {
            case u'y':
                year = true;
                break;
            case u'd':
                day = true;
                break;
            case u'h':
                hour = true;
                break;
            case u's':
                second = true;
                break;
            case u'm':
                month = true;
                break;
            default:
                break;
            }
        }
    }
    if (year || day)
        return Shown::Date;
    if (hour || second)
        return Shown::Time;
    return month ? Shown::Date : Shown::Number;
}

/// The formats every spreadsheet program knows by number alone (including those of Chinese, Japanese and
/// Korean settings).
Shown kindOfBuiltIn(int id)
{
    if ((id >= 14 && id <= 17) || id == 22 || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
        return Shown::Date;
    if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47))
        return Shown::Time;
    return Shown::Number;
}

QString timeText(double serial)
{
    const double fraction = serial - std::floor(serial);
    const qint64 seconds = qRound64(fraction * 86400.0) % 86400;
    return QTime(0, 0).addSecs(int(seconds)).toString(u"HH:mm:ss"_s);
}

/// True for a number's text that is its plain decimal text already: an optional minus, digits without a
/// leading zero, decimals without a trailing one, fifteen digits at most (what spreadsheet programs write for
/// the numbers people type).
bool isPlainNumber(QStringView text)
{
    auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    qsizetype i = text.startsWith(u'-') ? 1 : 0;
    const qsizetype whole = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    const qsizetype wholeDigits = i - whole;
    if (wholeDigits == 0 || (wholeDigits > 1 && text[whole] == u'0'))
        return false;
    qsizetype decimals = 0;
    if (i < text.size()) {
        if (text[i] != u'.')
            return false;
        const qsizetype first = ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        decimals = i - first;
        if (i != text.size() || decimals == 0 || text[i - 1] == u'0')
            return false;
    }
    const bool minusZero = whole == 1 && wholeDigits == 1 && text[whole] == u'0' && decimals == 0;
    return wholeDigits + decimals <= 15 && !minusZero;
}

/// A cell's type (its attribute t): a number unless it says otherwise.
enum class CellType : char { Number, Shared, Inline, Boolean, Date, Text, Error };

CellType cellType(QStringView t)
{
    if (t == u"s")
        return CellType::Shared;
    if (t == u"inlineStr")
        return CellType::Inline;
    if (t == u"b")
        return CellType::Boolean;
    if (t == u"d")
        return CellType::Date;
    if (t == u"str")
        return CellType::Text;
    if (t == u"e")
        return CellType::Error;
    return CellType::Number;
}

/// The text of the element the reader is at, as readElementText() with SkipChildElements gives it, appended
/// to text (whose buffer is used again).
void elementText(QXmlStreamReader& xml, QString& text)
{
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            text.append(xml.text());
            break;
        case QXmlStreamReader::StartElement:
            xml.skipCurrentElement();
            break;
        case QXmlStreamReader::EndElement:
        case QXmlStreamReader::Invalid:
            return;
        default:
            break;
        }
    }
}

QString megabytes(qint64 bytes)
{
    return QString::number(bytes / (1024 * 1024));
}

/// The column of a cell reference ("B3" is 1) from 0; -1 without letters; MaxColumns or more beyond the last.
qsizetype columnOf(QStringView reference)
{
    qsizetype column = 0;
    qsizetype letters = 0;
    for (const QChar c : reference) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'Z')
            break;
        ++letters;
        column = column * 26 + (u - u'A' + 1);
        if (column > SheetReader::MaxColumns)
            return SheetReader::MaxColumns;
    }
    return letters == 0 ? -1 : column - 1;
}

/// The letters of a column from 0 ("B" for 1), as a cell reference begins.
QString columnLetters(qsizetype column)
{
    QString letters;
    for (qsizetype n = column + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + char16_t((n - 1) % 26)));
    return letters;
}

/// The shared texts of a workbook as read on a thread of their own.
struct SharedTexts
{
    bool ok = false;
    QString error;
    QStringList strings;
    qint64 bytes = 0; ///< unpacked
};

class XlsxReader final : public SheetReader
{
public:
    ~XlsxReader() override
    {
        if (m_zip)
            unzClose(m_zip);
    }

    static std::unique_ptr<SheetReader> open(const QString& path, QString* error)
    {
        std::unique_ptr<XlsxReader> reader(new XlsxReader);
        reader->m_error = error;
        reader->m_path = path;
        reader->m_zip = unzOpen64(QFile::encodeName(path).constData());
        if (!reader->m_zip) {
            reader->fail(u"文件已损坏：不是完整的zip压缩文件，也就不是xlsx工作簿。"_s);
            return nullptr;
        }
        if (!reader->readWorkbook())
            return nullptr;
        return reader;
    }

    QStringList sheetNames() const override
    {
        QStringList names;
        for (const SheetPart& sheet : m_sheets)
            names << sheet.name;
        return names;
    }

    std::optional<CsvTable> readSheet(int index, QString* error) override
    {
        m_error = error;
        if (index < 0 || index >= m_sheets.size())
            return std::nullopt;
        std::future<SharedTexts> shared;
        if (!m_partsRead) {
            m_strings.clear();
            m_shown.clear();
            if (!readStyles())
                return std::nullopt;
            // The shared texts are read on a thread of their own, through a second handle on the file, while the
            // sheet is read here; its cells take their texts afterwards.
            shared = std::async(std::launch::async, [path = m_path, entry = m_stringsEntry, used = m_bytesRead] {
                SharedTexts texts;
                XlsxReader reader;
                reader.m_error = &texts.error;
                reader.m_stringsEntry = entry;
                reader.m_bytesRead = used;
                reader.m_zip = unzOpen64(QFile::encodeName(path).constData());
                if (reader.m_zip == nullptr)
                    texts.error = u"文件已损坏：不是完整的zip压缩文件，也就不是xlsx工作簿。"_s;
                else
                    texts.ok = reader.readStrings();
                texts.strings = std::move(reader.m_strings);
                texts.bytes = reader.m_bytesRead - used;
                return texts;
            });
        }
        std::vector<SharedCell> cells;
        auto table = readSheet(m_sheets[index], cells);
        if (shared.valid()) {
            // The shared texts' failure is told first, as they come first in the workbook.
            SharedTexts texts = shared.get();
            if (!texts.ok) {
                fail(texts.error);
                return std::nullopt;
            }
            m_strings = std::move(texts.strings);
            m_bytesRead += texts.bytes;
            m_partsRead = true;
            if (m_bytesRead > MaxTotalBytes) {
                fail(u"工作簿的内容解压后共超过%1MB"_s.arg(megabytes(MaxTotalBytes))
                     + u"，不是账目表格（可能是特意构造的有害文件），没有读取。"_s);
                return std::nullopt;
            }
        }
        if (table && !fillShared(*table, cells, m_sheets[index].name))
            return std::nullopt;
        return table;
    }

private:
    struct SheetPart
    {
        QString name;
        QString entry;
    };
    /// A cell of a shared text, as the sheet gives it (its text is filled in once the shared texts are read): where
    /// it is and the number of its text.
    struct SharedCell
    {
        qsizetype row; ///< in the table
        qsizetype column;
        qint64 rowNumber; ///< in the sheet
        bool referenced; ///< the cell names its place ("B3")
        qsizetype index; ///< -1 when its value is no number
        QString value; ///< that value, only then
    };
    /// Stands in a shared text's cell until the texts are read, so that the row keeps its length.
    static const QString& placeholder()
    {
        static const QString text(QChar(0xFFFF));
        return text;
    }

    /// Gives the cells of shared texts their texts; rows left without any text go. False, with the reason told,
    /// when a cell's text does not exist.
    bool fillShared(CsvTable& table, const std::vector<SharedCell>& cells, const QString& sheetName)
    {
        std::vector<qsizetype> touched;
        for (const SharedCell& cell : cells) {
            if (cell.index < 0 || cell.index >= m_strings.size()) {
                const QString reference
                    = cell.referenced ? columnLetters(cell.column) + QString::number(cell.rowNumber) : QString();
                const QString value = cell.index < 0 ? cell.value : QString::number(cell.index);
                return fail(u"工作簿已损坏：工作表“%1”的单元格%2引用的共享文字（序号%3）不存在，工作簿中只有%4条。"_s
                                .arg(sheetName, reference, value)
                                .arg(m_strings.size()));
            }
            QString text = CsvTable::guarded(m_strings[cell.index]);
            if (text.isEmpty() && (touched.empty() || touched.back() != cell.row))
                touched.push_back(cell.row);
            table.rows[cell.row][cell.column] = std::move(text);
        }
        // A row whose last cells were empty shared texts ends before them, and goes when nothing is left.
        qsizetype gone = 0;
        for (const qsizetype at : touched) {
            QStringList& row = table.rows[at - gone];
            while (!row.isEmpty() && row.back().isEmpty())
                row.removeLast();
            if (row.isEmpty()) {
                table.rows.removeAt(at - gone);
                table.lines.removeAt(at - gone);
                ++gone;
            }
        }
        if (table.rows.isEmpty())
            return fail(u"工作表“%1”是空的。"_s.arg(sheetName));
        return true;
    }
    enum class Read { Done, Missing, Failed };

    XlsxReader() = default;

    bool fail(const QString& message)
    {
        if (m_error)
            *m_error = message;
        return false;
    }

    /// The unpacked bytes of the archive's entry name, within the limits.
    Read readEntry(const QString& name, QByteArray& bytes)
    {
        bytes.clear();
        if (unzLocateFile(m_zip, name.toUtf8().constData(), 2) != UNZ_OK)
            return Read::Missing;
        auto failed = [this](const QString& message) {
            fail(message);
            return Read::Failed;
        };
        const QString damaged = u"工作簿已损坏：无法解压其中的“%1”。"_s.arg(name);
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(m_zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            return failed(damaged);
        if (info.flag & 1)
            return failed(encryptedWorkbookMessage());
        const qint64 limit = std::min(MaxEntryBytes, MaxTotalBytes - m_bytesRead);
        const QString tooBig
            = (limit == MaxEntryBytes ? u"工作簿中的“%1”解压后超过%2MB"_s.arg(name, megabytes(MaxEntryBytes))
                                      : u"工作簿的内容解压后共超过%1MB"_s.arg(megabytes(MaxTotalBytes)))
            + u"，不是账目表格（可能是特意构造的有害文件），没有读取。"_s;
        if (info.uncompressed_size > quint64(limit))
            return failed(tooBig);
        if (unzOpenCurrentFile(m_zip) != UNZ_OK)
            return failed(damaged);
        // Deflate packs at most about a thousand to one: room for more than that is never needed.
        bytes.reserve(qsizetype(std::min<quint64>(info.uncompressed_size, info.compressed_size * 1100 + 65536)));
        char buffer[1 << 16];
        int n = 0;
        while ((n = unzReadCurrentFile(m_zip, buffer, sizeof buffer)) > 0) {
            // The size the archive states may be a lie: the bytes are counted as they come.
            if (bytes.size() + n > limit) {
                unzCloseCurrentFile(m_zip);
                bytes.clear();
                return failed(tooBig);
            }
            bytes.append(buffer, n);
        }
        if (unzCloseCurrentFile(m_zip) != UNZ_OK || n < 0) {
            bytes.clear();
            return failed(damaged);
        }
        m_bytesRead += bytes.size();
        return Read::Done;
    }

    bool xmlFailed(const QString& entry, const QXmlStreamReader& xml)
    {
        return fail(u"工作簿已损坏：“%1”的第%2行不是正确的XML。"_s.arg(entry).arg(xml.lineNumber()));
    }

    /// The relationships of a part: ID to the entry it points at (resolved from the part's folder) and the
    /// entries by their type's last word.
    bool readRelations(const QString& part, QHash<QString, QString>& byId, QHash<QString, QString>& byType)
    {
        const qsizetype slash = part.lastIndexOf(u'/');
        const QString folder = slash < 0 ? QString() : part.first(slash + 1);
        const QString entry = folder + u"_rels/"_s + part.sliced(slash + 1) + u".rels"_s;
        QByteArray bytes;
        const Read read = readEntry(entry, bytes);
        if (read == Read::Failed)
            return false;
        if (read == Read::Missing)
            return true;
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Relationship")
                continue;
            const auto attributes = xml.attributes();
            const QString target = attributes.value(u"Target"_s).toString();
            const QString resolved = QDir::cleanPath(target.startsWith(u'/') ? target.sliced(1) : folder + target);
            byId.insert(attributes.value(u"Id"_s).toString(), resolved);
            const QString type = attributes.value(u"Type"_s).toString();
            byType.insert(type.sliced(type.lastIndexOf(u'/') + 1), resolved);
        }
        return xml.hasError() ? xmlFailed(entry, xml) : true;
    }

    bool readWorkbook()
    {
        QHash<QString, QString> rootIds, rootTypes;
        if (!readRelations(QString(), rootIds, rootTypes))
            return false;
        const QString workbook = rootTypes.value(u"officeDocument"_s, u"xl/workbook.xml"_s);
        QByteArray bytes;
        const Read read = readEntry(workbook, bytes);
        if (read == Read::Missing)
            return fail(u"这个压缩文件不是Excel工作簿（里面没有工作簿的内容）。"_s);
        if (read == Read::Failed)
            return false;
        QHash<QString, QString> ids, types;
        if (!readRelations(workbook, ids, types))
            return false;
        const QString folder = workbook.first(workbook.lastIndexOf(u'/') + 1);
        m_stringsEntry = types.value(u"sharedStrings"_s, folder + u"sharedStrings.xml"_s);
        m_stylesEntry = types.value(u"styles"_s, folder + u"styles.xml"_s);
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const auto attributes = xml.attributes();
            if (xml.name() == u"workbookPr") {
                const auto value = attributes.value(u"date1904"_s);
                m_from1904 = value == u"1" || value == u"true";
            } else if (xml.name() == u"sheet") {
                QString id;
                for (const QXmlStreamAttribute& attribute : attributes) {
                    if (attribute.name() == u"id")
                        id = attribute.value().toString();
                }
                // Chart sheets and dialogs hold no cells.
                const QString entry = ids.value(id);
                if (!entry.isEmpty() && !entry.contains(u"chartsheet"_s) && !entry.contains(u"dialogsheet"_s))
                    m_sheets.append({attributes.value(u"name"_s).toString(), entry});
            }
        }
        if (xml.hasError())
            return xmlFailed(workbook, xml);
        if (m_sheets.isEmpty())
            return fail(u"这个xlsx工作簿中没有工作表。"_s);
        return true;
    }

    bool readStrings()
    {
        QByteArray bytes;
        const Read read = readEntry(m_stringsEntry, bytes);
        if (read != Read::Done)
            return read == Read::Missing;
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"si")
                continue;
            QString text;
            // Runs of rich text, without their phonetic guides.
            while (xml.readNext() != QXmlStreamReader::Invalid && !(xml.isEndElement() && xml.name() == u"si")) {
                if (xml.isStartElement() && xml.name() == u"t")
                    text += xml.readElementText(QXmlStreamReader::SkipChildElements);
                else if (xml.isStartElement() && xml.name() == u"rPh")
                    xml.skipCurrentElement();
            }
            if (m_strings.size() >= MaxCells)
                return fail(u"工作簿中的文字超过%1条，不是账目表格。"_s.arg(MaxCells));
            m_strings.append(unescapedText(text));
        }
        return xml.hasError() ? xmlFailed(m_stringsEntry, xml) : true;
    }

    bool readStyles()
    {
        QByteArray bytes;
        const Read read = readEntry(m_stylesEntry, bytes);
        if (read != Read::Done)
            return read == Read::Missing;
        QHash<int, Shown> custom;
        QXmlStreamReader xml(bytes);
        bool inCellFormats = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == u"cellXfs")
                inCellFormats = false;
            if (!xml.isStartElement())
                continue;
            const auto attributes = xml.attributes();
            if (xml.name() == u"numFmt") {
                custom.insert(attributes.value(u"numFmtId"_s).toInt(),
                              kindOfCode(attributes.value(u"formatCode"_s).toString()));
            } else if (xml.name() == u"cellXfs") {
                inCellFormats = true;
            } else if (inCellFormats && xml.name() == u"xf") {
                const int id = attributes.value(u"numFmtId"_s).toInt();
                m_shown.push_back(custom.contains(id) ? custom.value(id) : kindOfBuiltIn(id));
                if (qsizetype(m_shown.size()) > MaxCells)
                    return fail(u"工作簿中的格式超过%1种，不是账目表格。"_s.arg(MaxCells));
            }
        }
        return xml.hasError() ? xmlFailed(m_stylesEntry, xml) : true;
    }

    /// The sheet's cells; the cells of shared texts are put in shared, to be filled by fillShared().
    std::optional<CsvTable> readSheet(const SheetPart& part, std::vector<SharedCell>& shared)
    {
        auto refuse = [this](const QString& message) {
            fail(message);
            return std::optional<CsvTable>();
        };
        QByteArray bytes;
        const Read read = readEntry(part.entry, bytes);
        if (read == Read::Missing)
            return refuse(u"工作簿已损坏：找不到工作表“%1”的内容。"_s.arg(part.name));
        if (read == Read::Failed)
            return std::nullopt;
        CsvTable table;
        table.encoding = u"xlsx工作簿"_s;
        QXmlStreamReader xml(bytes);
        qsizetype cells = 0;
        qint64 rowNumber = 0;
        QStringList row;
        qsizetype column = -1;
        bool inRow = false;
        QString value;
        QString referenceText;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == u"row") {
                inRow = false;
                while (!row.isEmpty() && row.back().isEmpty())
                    row.removeLast();
                if (!row.isEmpty()) {
                    table.rows.append(row);
                    table.lines.append(qsizetype(rowNumber));
                }
                continue;
            }
            if (!xml.isStartElement())
                continue;
            if (xml.name() == u"row") {
                const auto r = xml.attributes().value(u"r"_s);
                rowNumber = r.isEmpty() ? rowNumber + 1 : r.toLongLong();
                if (rowNumber < 1 || rowNumber > MaxRows)
                    return refuse(u"工作表“%1”的行号“%2”超出了1到%3，不是账目表格。"_s.arg(part.name, r).arg(MaxRows));
                row.clear();
                column = -1;
                inRow = true;
                continue;
            }
            if (xml.name() != u"c" || !inRow)
                continue;
            // The reader's attributes are looked at in place, never held: a copy kept while the reader goes on
            // would make it build a new list for every element.
            const QStringView reference = xml.attributes().value(u"r"_s);
            referenceText.resize(0);
            referenceText.append(reference);
            const qsizetype at = columnOf(reference);
            column = at >= 0 ? at : column + 1;
            if (column >= MaxColumns)
                return refuse(
                    u"工作表“%1”第%2行的列数超过%3，不是账目表格。"_s.arg(part.name).arg(rowNumber).arg(MaxColumns));
            if (column >= row.size()) {
                cells += column + 1 - row.size();
                if (cells > MaxCells)
                    return refuse(u"工作表“%1”的单元格超过%2个，不是账目表格。"_s.arg(part.name).arg(MaxCells));
                row.resize(column + 1);
            }
            const CellType type = cellType(xml.attributes().value(u"t"_s));
            const qsizetype style = xml.attributes().value(u"s"_s).toLongLong();
            // The value's text goes into the same buffer cell after cell: a shared text's number needs no copy.
            value.resize(0);
            QString inlineText;
            while (xml.readNext() != QXmlStreamReader::Invalid && !(xml.isEndElement() && xml.name() == u"c")) {
                if (!xml.isStartElement())
                    continue;
                if (xml.name() == u"v") {
                    value.resize(0);
                    elementText(xml, value);
                } else if (xml.name() == u"is") {
                    while (xml.readNext() != QXmlStreamReader::Invalid
                           && !(xml.isEndElement() && xml.name() == u"is")) {
                        if (xml.isStartElement() && xml.name() == u"t")
                            inlineText += xml.readElementText(QXmlStreamReader::SkipChildElements);
                        else if (xml.isStartElement() && xml.name() == u"rPh")
                            xml.skipCurrentElement();
                    }
                } else {
                    xml.skipCurrentElement(); // a formula: its result is the value
                }
            }
            if (type == CellType::Shared) {
                bool ok = false;
                const qsizetype index = value.toLongLong(&ok);
                const bool number = ok && index >= 0;
                shared.push_back({table.rows.size(), column, rowNumber, !referenceText.isEmpty() && at >= 0,
                                  number ? index : -1, number ? QString() : value});
                row[column] = placeholder();
            } else if (type == CellType::Inline) {
                row[column] = CsvTable::guarded(unescapedText(inlineText));
            } else if (type == CellType::Boolean) {
                row[column] = value == u"1" ? u"TRUE"_s : u"FALSE"_s;
            } else if (type == CellType::Date) {
                // An ISO 8601 date and time.
                const QString day = value.left(10);
                const QString time = value.mid(11, 8);
                row[column] = time.isEmpty() || time == u"00:00:00" ? day : day + u' ' + time;
            } else if (type == CellType::Text) {
                row[column] = CsvTable::guarded(unescapedText(value));
            } else if (type == CellType::Error) {
                row[column] = value;
            } else {
                row[column] = numberText(value, style);
            }
        }
        if (xml.hasError()) {
            xmlFailed(part.entry, xml);
            return std::nullopt;
        }
        if (table.rows.isEmpty())
            return refuse(u"工作表“%1”是空的。"_s.arg(part.name));
        return table;
    }

    QString numberText(const QString& value, qsizetype style) const
    {
        const Shown shown = style >= 0 && style < qsizetype(m_shown.size()) ? m_shown[size_t(style)] : Shown::Number;
        if (value.isEmpty() || (shown == Shown::Number && isPlainNumber(value)))
            return value;
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok)
            return value;
        if (shown == Shown::Date) {
            const QString day = dayText(number, m_from1904);
            if (!day.isEmpty())
                return day;
        } else if (shown == Shown::Time && number >= 0 && number < 1) {
            return timeText(number);
        }
        return plainNumber(number);
    }

    unzFile m_zip = nullptr;
    QString m_path;
    QString* m_error = nullptr;
    qint64 m_bytesRead = 0;
    QList<SheetPart> m_sheets;
    bool m_from1904 = false;
    QString m_stringsEntry;
    QString m_stylesEntry;
    bool m_partsRead = false;
    QStringList m_strings;
    std::vector<Shown> m_shown;
};

} // namespace

std::unique_ptr<SheetReader> openXlsx(const QString& path, QString* error)
{
    return XlsxReader::open(path, error);
}

} // namespace ovelta
