#include "store/ledger/SheetReader.h"

#include "store/ledger/XlsxSheet.h"

#include <QDate>
#include <QFile>
#include <QTime>
#include <cmath>
#include <freexl.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// True when the compound document at path holds the streams of an encrypted Office Open XML workbook: the
/// directory names them in UTF-16.
bool holdsEncryptedPackage(const QString& path)
{
    static const QByteArray name = [] {
        const QString text = u"EncryptedPackage"_s;
        return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    }();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray tail;
    while (!file.atEnd()) {
        const QByteArray chunk = tail + file.read(1 << 20);
        if (chunk.size() == tail.size())
            break;
        if (chunk.contains(name))
            return true;
        tail = chunk.right(name.size());
    }
    return false;
}

/// The older binary workbooks, through FreeXL: its texts come as UTF-8, its dates as YYYY-MM-DD texts.
class XlsReader final : public SheetReader
{
public:
    ~XlsReader() override
    {
        if (m_handle)
            freexl_close(m_handle);
    }

    static std::unique_ptr<SheetReader> open(const QString& path, QString* error)
    {
        auto refuse = [error](const QString& message) {
            if (error)
                *error = message;
            return std::unique_ptr<SheetReader>();
        };
        if (holdsEncryptedPackage(path))
            return refuse(encryptedWorkbookMessage());
        auto openFailed = [&refuse](int opened) {
            return refuse(opened == FREEXL_CRAFTED_FILE ? u"工作簿已损坏，或是特意构造的有害文件，没有读取。"_s
                                                        : u"无法读取这个xls工作簿：文件已损坏，或不是Excel工作簿。"_s);
        };
        const QByteArray local = QFile::encodeName(path);
        // FreeXL makes room for every cell of every sheet as the sheets state their sizes: these are looked at
        // first, without the cells.
        {
            XlsReader outline;
            const int opened = freexl_open_info(local.constData(), &outline.m_handle);
            if (opened != FREEXL_OK)
                return openFailed(opened);
            unsigned int info = 0;
            if (freexl_get_info(outline.m_handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK
                && info == FREEXL_BIFF_OBFUSCATED)
                return refuse(encryptedWorkbookMessage());
            unsigned int sheets = 0;
            freexl_get_info(outline.m_handle, FREEXL_BIFF_SHEET_COUNT, &sheets);
            qint64 cells = 0;
            for (unsigned int i = 0; i < sheets && i <= 0xFFFF; ++i) {
                unsigned int rows = 0;
                unsigned short columns = 0;
                if (freexl_select_active_worksheet(outline.m_handle, static_cast<unsigned short>(i)) == FREEXL_OK
                    && freexl_worksheet_dimensions(outline.m_handle, &rows, &columns) == FREEXL_OK)
                    cells += qint64(rows) * columns;
            }
            if (cells > MaxCells)
                return refuse(u"工作簿的单元格超过%1个，不是账目表格。"_s.arg(MaxCells));
        }
        std::unique_ptr<XlsReader> reader(new XlsReader);
        if (const int opened = freexl_open(local.constData(), &reader->m_handle); opened != FREEXL_OK)
            return openFailed(opened);
        unsigned int sheets = 0;
        freexl_get_info(reader->m_handle, FREEXL_BIFF_SHEET_COUNT, &sheets);
        for (unsigned int i = 0; i < sheets && i <= 0xFFFF; ++i) {
            const char* name = nullptr;
            if (freexl_get_worksheet_name(reader->m_handle, static_cast<unsigned short>(i), &name) != FREEXL_OK)
                name = nullptr;
            reader->m_names << (name ? QString::fromUtf8(name) : u"工作表%1"_s.arg(i + 1));
        }
        if (reader->m_names.isEmpty())
            return refuse(u"这个xls工作簿中没有工作表。"_s);
        return reader;
    }

    QStringList sheetNames() const override { return m_names; }

    std::optional<CsvTable> readSheet(int index, QString* error) override
    {
        auto refuse = [error](const QString& message) {
            if (error)
                *error = message;
            return std::optional<CsvTable>();
        };
        const QString name = m_names.value(index);
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_select_active_worksheet(m_handle, static_cast<unsigned short>(index)) != FREEXL_OK
            || freexl_worksheet_dimensions(m_handle, &rows, &columns) != FREEXL_OK)
            return refuse(u"无法读取工作表“%1”：工作簿已损坏。"_s.arg(name));
        if (qint64(rows) * columns > MaxCells)
            return refuse(u"工作表“%1”的单元格超过%2个，不是账目表格。"_s.arg(name).arg(MaxCells));
        CsvTable table;
        table.encoding = u"xls工作簿"_s;
        for (unsigned int r = 0; r < rows; ++r) {
            QStringList row;
            row.reserve(columns);
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue cell;
                if (freexl_get_cell_value(m_handle, r, c, &cell) != FREEXL_OK)
                    return refuse(u"无法读取工作表“%1”第%2行：工作簿已损坏。"_s.arg(name).arg(r + 1));
                row << cellText(cell);
            }
            while (!row.isEmpty() && row.back().isEmpty())
                row.removeLast();
            if (!row.isEmpty()) {
                table.rows << row;
                table.lines << qsizetype(r) + 1;
            }
        }
        if (table.rows.isEmpty())
            return refuse(u"工作表“%1”是空的。"_s.arg(name));
        return table;
    }

private:
    XlsReader() = default;

    static QString cellText(const FreeXL_CellValue& cell)
    {
        switch (cell.type) {
        case FREEXL_CELL_INT:
            return QString::number(cell.value.int_value);
        case FREEXL_CELL_DOUBLE:
            return plainNumber(cell.value.double_value);
        case FREEXL_CELL_DATETIME: {
            // A date whose time of day is midnight is a day, as in the other formats.
            const QString text = QString::fromUtf8(cell.value.text_value);
            return text.endsWith(u" 00:00:00"_s) ? text.first(text.size() - 9) : text;
        }
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
            // A text cell is text as typed: it goes on as a CSV file guards such a text against formulas, which
            // the import takes off again ("'=x" stays "'=x").
            return cell.value.text_value ? CsvTable::guarded(QString::fromUtf8(cell.value.text_value)) : QString();
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_TIME:
            return cell.value.text_value ? QString::fromUtf8(cell.value.text_value) : QString();
        default:
            return QString();
        }
    }

    const void* m_handle = nullptr;
    QStringList m_names;
};

} // namespace

QString encryptedWorkbookMessage()
{
    return u"工作簿已加密（设有打开密码），无法读取。请在表格程序中去掉密码另存一份，再导入那一份。"_s;
}

SheetReader::Format SheetReader::formatOf(QByteArrayView head)
{
    if (head.startsWith("PK\x03\x04"))
        return Format::Xlsx;
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return Format::Xls;
    return Format::Text;
}

Result<std::unique_ptr<SheetReader>> SheetReader::open(const QString& path, Format format)
{
    QString error;
    std::unique_ptr<SheetReader> reader;
    switch (format) {
    case Format::Xlsx:
        reader = openXlsx(path, &error);
        break;
    case Format::Xls:
        reader = XlsReader::open(path, &error);
        break;
    case Format::Text:
        return Problem::NotAWorkbook;
    }
    if (!reader)
        return Failure(Problem::WorkbookUnreadable, {error});
    return reader;
}

Result<CsvTable> SheetReader::sheet(int index)
{
    QString error;
    std::optional<CsvTable> table = readSheet(index, &error);
    if (!table)
        return Failure(Problem::WorkbookUnreadable, {error});
    return std::move(*table);
}

QString SheetReader::plainNumber(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    // Fifteen significant digits, as spreadsheets keep them; then the exponent is worked into the digits.
    QString text = QString::number(value, 'g', 15);
    const bool negative = text.startsWith(u'-');
    if (negative)
        text.remove(0, 1);
    qsizetype exponent = 0;
    if (const qsizetype e = text.indexOf(u'e'); e >= 0) {
        exponent = text.sliced(e + 1).toInt();
        text.truncate(e);
    }
    QString digits = text;
    qsizetype point = text.indexOf(u'.');
    if (point >= 0)
        digits.remove(point, 1);
    else
        point = text.size();
    point += exponent;
    QString whole;
    QString fraction;
    if (point <= 0) {
        whole = u"0"_s;
        fraction = QString(-point, u'0') + digits;
    } else if (point >= digits.size()) {
        whole = digits + QString(point - digits.size(), u'0');
    } else {
        whole = digits.first(point);
        fraction = digits.sliced(point);
    }
    while (whole.size() > 1 && whole.front() == u'0')
        whole.remove(0, 1);
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    const QString plain = fraction.isEmpty() ? whole : whole + u'.' + fraction;
    return negative && plain != u"0"_s ? u'-' + plain : plain;
}

QString SheetReader::dayText(double serial, bool from1904)
{
    // The last day a spreadsheet has: 9999-12-31.
    if (!std::isfinite(serial) || serial < 0 || serial >= (from1904 ? 2957004 : 2958466))
        return QString();
    qint64 days = qint64(std::floor(serial));
    qint64 seconds = qRound64((serial - double(days)) * 86400.0);
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    QDate date;
    if (from1904)
        date = QDate(1904, 1, 1).addDays(days);
    else if (days != 60)
        date = (days < 60 ? QDate(1899, 12, 31) : QDate(1899, 12, 30)).addDays(days);
    // Written digit by digit: the toolkit's formatting by a pattern costs more than the rest of a cell.
    char16_t text[19];
    const auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char16_t(u'0' + value % 10);
    };
    // Day 60 is the day 1900 spreadsheets count that never was; the import refuses it as no date.
    put(0, date.isValid() ? date.year() : 1900, 4);
    text[4] = u'-';
    put(5, date.isValid() ? date.month() : 2, 2);
    text[7] = u'-';
    put(8, date.isValid() ? date.day() : 29, 2);
    if (seconds == 0)
        return QString(reinterpret_cast<const QChar*>(text), 10);
    text[10] = u' ';
    put(11, int(seconds / 3600), 2);
    text[13] = u':';
    put(14, int(seconds / 60 % 60), 2);
    text[16] = u':';
    put(17, int(seconds % 60), 2);
    return QString(reinterpret_cast<const QChar*>(text), 19);
}

} // namespace ovelta
