#include "store/ledger/LedgerXlsx.h"

#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerTransfer.h"
#include "store/value/JetDateTime.h"
#include "store/value/Money.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>
#include <xlsxwriter.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// Widths in the spreadsheet's units (about one Latin character); a wide (CJK) character counts two.
constexpr int MinWidth = 6;
constexpr int MaxWidth = 60;
/// Wider than this in all, the sheet is printed across the page.
constexpr int PortraitWidth = 100;
/// The A4 paper of the spreadsheet's page setup.
constexpr uint8_t PaperA4 = 9;

/// The width of UTF-8 text as shown: its longest line, a character of three or four bytes from U+1000 on
/// (CJK, full-width forms and the like) counting two.
int shownWidth(const char* text, qsizetype bytes)
{
    int widest = 0;
    int line = 0;
    for (qsizetype i = 0; i < bytes; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            widest = std::max(widest, line);
            line = 0;
        } else if (c < 0x80) {
            ++line;
        } else if (c >= 0xE1) {
            line += 2; // lead byte of U+1000 and beyond
        } else if (c >= 0xC0) {
            ++line; // lead byte of a two-byte character
        }
    }
    return std::max(widest, line);
}

/// A spreadsheet reads "_x0041_" in a text as an escaped character; such a sequence that is part of the text
/// itself gets its "_" escaped ("_x005F_"), so that it reads back as written.
bool hasEscapeLook(const char* text, qsizetype bytes)
{
    const char* end = text + bytes;
    for (const char* p = static_cast<const char*>(std::memchr(text, '_', size_t(bytes))); p != nullptr;
         p = static_cast<const char*>(std::memchr(p + 1, '_', size_t(end - p - 1)))) {
        if (end - p >= 7 && p[1] == 'x' && std::isxdigit(static_cast<unsigned char>(p[2]))
            && std::isxdigit(static_cast<unsigned char>(p[3])) && std::isxdigit(static_cast<unsigned char>(p[4]))
            && std::isxdigit(static_cast<unsigned char>(p[5])) && p[6] == '_')
            return true;
        if (end - p <= 1)
            break;
    }
    return false;
}

QByteArray escapeLook(const char* text, qsizetype bytes)
{
    QByteArray out;
    out.reserve(bytes + 16);
    for (qsizetype i = 0; i < bytes; ++i) {
        if (text[i] == '_' && hasEscapeLook(text + i, std::min<qsizetype>(7, bytes - i)))
            out += "_x005F";
        out += text[i];
    }
    return out;
}

/// True when a spreadsheet's number (a double shown to 15 digits) holds the amount exactly.
bool fitsNumber(qint64 ticks)
{
    // Fewer than 16 digits always fit; longer ones only when their last digits are zeros.
    constexpr qint64 AlwaysExact = 1000000000000000;
    if (ticks > -AlwaysExact && ticks < AlwaysExact)
        return true;
    const double value = Money::toDouble(ticks);
    return Money::parseLiteral(QString::number(value, 'g', 15)) == ticks;
}

quint32 littleEndian(const unsigned char* bytes, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

/// Whether the sheets 1 to count of the workbook at path are whole: each sheet's XML in the archive ends with
/// its closing tag. -1 when they are; else the cause (an errno, or 0 when the file itself is damaged).
int wholeSheets(const QByteArray& path, int count)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return errno;
    // The end of the central directory: the library writes no archive comment.
    const qint64 size = file.size();
    unsigned char end[22];
    if (size < 22 || !file.seek(size - 22) || file.read(reinterpret_cast<char*>(end), 22) != 22
        || littleEndian(end, 4) != 0x06054b50)
        return 0;
    const int entries = int(littleEndian(end + 10, 2));
    const qint64 directorySize = littleEndian(end + 12, 4);
    if (!file.seek(littleEndian(end + 16, 4)))
        return 0;
    const QByteArray directory = file.read(directorySize);
    if (directory.size() != directorySize)
        return 0;
    const auto* at = reinterpret_cast<const unsigned char*>(directory.constData());
    const auto* stop = at + directory.size();
    int whole = 0;
    for (int i = 0; i < entries; ++i) {
        if (stop - at < 46 || littleEndian(at, 4) != 0x02014b50)
            return 0;
        const int method = int(littleEndian(at + 10, 2));
        const qint64 packed = littleEndian(at + 20, 4);
        const qint64 unpacked = littleEndian(at + 24, 4);
        const int nameLength = int(littleEndian(at + 28, 2));
        const qint64 local = littleEndian(at + 42, 4);
        const QByteArray name(reinterpret_cast<const char*>(at + 46), std::min<qint64>(nameLength, stop - at - 46));
        at += 46 + nameLength + littleEndian(at + 30, 2) + littleEndian(at + 32, 2);
        if (!name.startsWith("xl/worksheets/sheet") || !name.endsWith(".xml"))
            continue;
        unsigned char header[30];
        if (!file.seek(local) || file.read(reinterpret_cast<char*>(header), 30) != 30
            || !file.seek(local + 30 + littleEndian(header + 26, 2) + littleEndian(header + 28, 2)))
            return 0;
        // Only the end matters, but a deflated stream is read from its start.
        QByteArray tail;
        if (method == 0) {
            if (!file.seek(file.pos() + std::max<qint64>(0, packed - 32)))
                return 0;
            tail = file.read(std::min<qint64>(32, packed));
        } else {
            z_stream stream{};
            if (method != 8 || inflateInit2(&stream, -MAX_WBITS) != Z_OK)
                return 0;
            std::vector<unsigned char> in(1 << 18), out(1 << 18);
            qint64 left = packed, total = 0;
            int rc = Z_OK;
            while (rc == Z_OK) {
                if (stream.avail_in == 0 && left > 0) {
                    const qint64 n
                        = file.read(reinterpret_cast<char*>(in.data()), std::min<qint64>(left, qint64(in.size())));
                    if (n <= 0)
                        break;
                    left -= n;
                    stream.next_in = in.data();
                    stream.avail_in = uInt(n);
                }
                stream.next_out = out.data();
                stream.avail_out = uInt(out.size());
                rc = inflate(&stream, Z_NO_FLUSH);
                const qint64 produced = qint64(out.size()) - stream.avail_out;
                total += produced;
                tail = (tail + QByteArray(reinterpret_cast<const char*>(out.data()), produced)).right(32);
                if (rc == Z_BUF_ERROR && stream.avail_in == 0 && left == 0)
                    break;
            }
            inflateEnd(&stream);
            if (rc != Z_STREAM_END || total != unpacked)
                return 0;
        }
        if (!tail.trimmed().endsWith("</worksheet>"))
            return 0;
        ++whole;
    }
    return whole == count ? -1 : 0;
}

/// What failed, with the system's reason, or with the file found incomplete when the system gave none.
Failure writeError(Problem what, int cause)
{
    return Failure(what, {cause != 0 ? systemErrorText(cause) : Failure(Problem::FileIncomplete).text()});
}

} // namespace

struct XlsxBook::Private
{
    QString path;
    QByteArray target;
    QByteArray folder;
    QByteArray temporary;
    bool replacing = false;
    mode_t oldMode = 0;

    lxw_workbook* book = nullptr;
    lxw_worksheet* sheet = nullptr;
    lxw_format* bold = nullptr;
    lxw_format* yuan = nullptr;
    lxw_format* yuanFen = nullptr;
    lxw_format* day = nullptr;
    lxw_format* dayTime = nullptr;

    QString sheetName;
    QStringList header;
    int sheets = 0;
    lxw_row_t rowsPerSheet = MaxRows;
    lxw_row_t row = 0;
    std::vector<int> widths;
    /// The first error of the writing functions; their files are written at commit().
    lxw_error failure = LXW_NO_ERROR;
    int failureErrno = 0;

    void note(lxw_error error)
    {
        if (error != LXW_NO_ERROR && failure == LXW_NO_ERROR) {
            failure = error;
            failureErrno = errno;
        }
    }

    /// The library writes each sheet's rows to a temporary file and does not look at the outcome: a full disk
    /// would end in a workbook cut short without a word. The file's state is checked here instead.
    bool rowsWritten()
    {
        if (sheet == nullptr || sheet->optimize_tmpfile == nullptr || failure != LXW_NO_ERROR)
            return failure == LXW_NO_ERROR;
        errno = 0;
        if (std::fflush(sheet->optimize_tmpfile) != 0 || std::ferror(sheet->optimize_tmpfile)) {
            failure = LXW_ERROR_CREATING_TMPFILE;
            failureErrno = errno;
            return false;
        }
        return true;
    }

    /// True when the current row can take cells: a full sheet is finished and the next one started first.
    bool ready()
    {
        if (sheet != nullptr && row >= rowsPerSheet) {
            finishSheet();
            if (!startSheet() && failure == LXW_NO_ERROR) {
                failure = LXW_ERROR_MEMORY_MALLOC_FAILED;
                failureErrno = errno;
            }
        }
        return sheet != nullptr;
    }

    void widen(int column, int width)
    {
        if (column >= 0 && size_t(column) < widths.size())
            widths[size_t(column)] = std::max(widths[size_t(column)], width);
    }

    bool startSheet()
    {
        ++sheets;
        const QString name = sheets == 1 ? sheetName : u"%1 (%2)"_s.arg(sheetName).arg(sheets);
        sheet = workbook_add_worksheet(book, name.toUtf8().constData());
        if (sheet == nullptr)
            return false;
        widths.assign(size_t(header.size()), MinWidth);
        for (int column = 0; column < int(header.size()); ++column) {
            const QByteArray title = header[column].toUtf8();
            note(worksheet_write_string(sheet, 0, lxw_col_t(column), title.constData(), bold));
            widen(column, shownWidth(title.constData(), title.size()) + 2);
        }
        worksheet_freeze_panes(sheet, 1, 0);
        note(worksheet_repeat_rows(sheet, 0, 0));
        worksheet_fit_to_pages(sheet, 1, 0);
        worksheet_set_paper(sheet, PaperA4);
        row = 1;
        return true;
    }

    void finishSheet()
    {
        if (sheet == nullptr)
            return;
        rowsWritten();
        int total = 0;
        for (size_t column = 0; column < widths.size(); ++column) {
            const int width = std::min(widths[column] + 1, MaxWidth);
            total += width;
            note(worksheet_set_column(sheet, lxw_col_t(column), lxw_col_t(column), width, nullptr));
        }
        if (total > PortraitWidth)
            worksheet_set_landscape(sheet);
        sheet = nullptr;
    }

    void discard()
    {
        if (book != nullptr) {
            lxw_workbook_free(book);
            book = nullptr;
        }
        if (!temporary.isEmpty()) {
            ::unlink(temporary.constData());
            temporary.clear();
        }
    }
};

XlsxBook::XlsxBook(const QString& path, int rowsPerSheet)
    : d(std::make_unique<Private>())
{
    d->path = path;
    d->rowsPerSheet = lxw_row_t(std::clamp(rowsPerSheet, 2, MaxRows));
}

XlsxBook::~XlsxBook()
{
    d->discard();
}

Done XlsxBook::open(const QString& sheetName, const QStringList& header)
{
    d->target = LedgerTransfer::replacedFile(d->path);
    const qsizetype slash = d->target.lastIndexOf('/');
    d->folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : d->target.first(slash);
    const QByteArray name = d->target.sliced(slash + 1);
    struct stat old;
    d->replacing = ::stat(d->target.constData(), &old) == 0;
    d->oldMode = d->replacing ? old.st_mode & 07777 : 0;
    // The name is taken at once, so that a folder without room or rights is told before any record is read.
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        d->temporary
            = d->folder + "/." + name + ".new-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(d->temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int cause = errno;
        d->temporary.clear();
        return Failure(Problem::FileNotCreated, {QFileInfo(d->path).absolutePath(), systemErrorText(cause)});
    }
    ::close(fd);
    // The library's own temporary files (the rows of each sheet) lie beside the target as well, not in a /tmp
    // that may be memory.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = d->folder.data();
    d->book = workbook_new_opt(d->temporary.constData(), &options);
    if (d->book == nullptr)
        return Problem::WorkbookNoMemory;
    d->bold = workbook_add_format(d->book);
    format_set_bold(d->bold);
    d->yuan = workbook_add_format(d->book);
    format_set_num_format(d->yuan, "\"￥\"#,##0.00");
    d->yuanFen = workbook_add_format(d->book);
    format_set_num_format(d->yuanFen, "\"￥\"#,##0.0000");
    d->day = workbook_add_format(d->book);
    format_set_num_format(d->day, "yyyy\"年\"m\"月\"d\"日\"");
    d->dayTime = workbook_add_format(d->book);
    format_set_num_format(d->dayTime, "yyyy\"年\"m\"月\"d\"日\" hh:mm:ss");
    d->sheetName = sheetName;
    d->header = header;
    if (!d->startSheet()) {
        const Failure failure = writeError(Problem::WorkbookNotCreated, errno);
        d->discard();
        return failure;
    }
    return {};
}

void XlsxBook::text(int column, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    text(column, utf8.constData(), utf8.size());
}

void XlsxBook::text(int column, const char* utf8, qsizetype bytes)
{
    if (bytes == 0 || !d->ready())
        return;
    QByteArray copy;
    if (hasEscapeLook(utf8, bytes))
        copy = escapeLook(utf8, bytes);
    const qsizetype length = copy.isNull() ? bytes : copy.size();
    // Only a text of more UTF-8 bytes than a cell's characters can be too long; it is cut at a character.
    if (length > MaxCellText) {
        const QString whole = QString::fromUtf8(copy.isNull() ? QByteArray(utf8, bytes) : copy);
        if (whole.size() > MaxCellText) {
            qsizetype keep = MaxCellText;
            if (whole.at(keep - 1).isHighSurrogate())
                --keep;
            copy = whole.first(keep).toUtf8();
            ++m_cut;
        }
    }
    const char* cell = copy.isNull() ? utf8 : copy.constData();
    d->note(worksheet_write_string(d->sheet, d->row, lxw_col_t(column), cell, nullptr));
    d->widen(column, std::min(shownWidth(utf8, bytes), MaxWidth));
}

void XlsxBook::amount(int column, qint64 ticks)
{
    if (!d->ready())
        return;
    if (!fitsNumber(ticks)) {
        text(column, Money::toLiteral(ticks));
        return;
    }
    const bool fen = ticks % 100 != 0;
    d->note(worksheet_write_number(d->sheet, d->row, lxw_col_t(column), Money::toDouble(ticks),
                                   fen ? d->yuanFen : d->yuan));
    // The sign, ￥, the yuan in groups of three digits, the point and the decimals.
    int digits = 1;
    for (qint64 yuan = ticks / Money::TicksPerUnit; yuan >= 10 || yuan <= -10; yuan /= 10)
        ++digits;
    d->widen(column, (ticks < 0 ? 1 : 0) + 2 + digits + (digits - 1) / 3 + (fen ? 5 : 3));
}

void XlsxBook::amount(int column, const QString& exactDecimal)
{
    // Digits with an optional sign and at most four decimals, within an amount's range: exactly an amount.
    static const QRegularExpression decimal(u"^-?[0-9]+(\\.[0-9]{1,4})?$"_s);
    const std::optional<qint64> ticks
        = decimal.match(exactDecimal).hasMatch() ? Money::parseLiteral(exactDecimal) : std::nullopt;
    if (ticks)
        amount(column, *ticks);
    else
        text(column, exactDecimal);
}

void XlsxBook::number(int column, qint64 value)
{
    if (!d->ready())
        return;
    d->note(worksheet_write_number(d->sheet, d->row, lxw_col_t(column), double(value), nullptr));
    d->widen(column, int(QString::number(value).size()));
}

void XlsxBook::date(int column, const JetDateTime& time)
{
    if (!d->ready())
        return;
    // YYYYMMDDHHMMSS: the fields without the toolkit's calendar and time zone work, once per record.
    const qint64 packed = time.packed();
    if (packed < 19000301000000) {
        text(column, LedgerTransfer::dateText(time));
        return;
    }
    const auto field = [packed](qint64 unit, int modulo) { return int(packed / unit % modulo); };
    lxw_datetime cell{int(packed / 10000000000), field(100000000, 100), field(1000000, 100),
                      field(10000, 100),         field(100, 100),       double(field(1, 100))};
    const bool midnight = packed % 1000000 == 0;
    d->note(worksheet_write_datetime(d->sheet, d->row, lxw_col_t(column), &cell, midnight ? d->day : d->dayTime));
    d->widen(column, 13 + (midnight ? 0 : 9));
}

void XlsxBook::date(int column, const QDate& value)
{
    if (value.isValid()) {
        if (const auto time = JetDateTime::fromDateTime(value.startOfDay()))
            date(column, *time);
    }
}

void XlsxBook::nextRow()
{
    if (d->sheet != nullptr && ++d->row % 4096 == 0)
        d->rowsWritten();
}

Done XlsxBook::commit()
{
    const auto fail = [&](Problem what, int cause) {
        const Failure failure = writeError(what, cause);
        d->discard();
        return failure;
    };
    if (d->book == nullptr)
        return fail(Problem::WorkbookNotCreated, 0);
    d->finishSheet();
    if (d->failure != LXW_NO_ERROR)
        return fail(Problem::FileNotWritten, d->failureErrno);
    const int sheets = d->sheets;
    errno = 0;
    const lxw_error closed = workbook_close(d->book);
    d->book = nullptr;
    if (closed != LXW_NO_ERROR)
        return fail(Problem::FileNotWritten, errno);
    // The library assembles each sheet in one more temporary file, again without looking at the outcome: every
    // sheet of the finished file must end as a sheet ends.
    if (const int cause = wholeSheets(d->temporary, sheets); cause >= 0)
        return fail(Problem::FileNotWritten, cause);
    // The library closed the file; its contents must be on the disk before the rename.
    const int fd = ::open(d->temporary.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return fail(Problem::FileNotSaved, errno);
    if (d->replacing)
        ::fchmod(fd, d->oldMode);
    if (::fsync(fd) != 0) {
        const int cause = errno;
        ::close(fd);
        return fail(Problem::FileNotSaved, cause);
    }
    ::close(fd);
    if (::rename(d->temporary.constData(), d->target.constData()) != 0)
        return fail(Problem::FileNotSaved, errno);
    d->temporary.clear();
    const int folderFd = ::open(d->folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return {};
}

namespace LedgerXlsx {

namespace {

constexpr const char* RecordColumns = "SELECT 收送,姓名,时间,关系,类型,金额,说明";
/// Progress is told after this many records.
constexpr qint64 ProgressStep = 4096;

/// The records of one read: all of them (from, to empty: time descending, then ID), the records of one span of
/// time (from and to canonical texts, both included), or those without a time (to empty, from "-").
struct Window
{
    QByteArray from;
    QByteArray to;
    qint64 records = 0; ///< of a span of time
};

/// The reads that give every record newest first (时间 descending, then ID), as the grid and the CSV export list
/// them, each holding about windowRecords records to sort (more when one day has more). Records are sorted in
/// memory (the engine's temporary store is memory too, so that no record reaches the disk unencrypted), so one
/// sorted read of the whole ledger would take memory in proportion to the ledger; spans of days of about that many
/// records keep it the same for any size. One plain read of the times counts the records of each day first. A single
/// read of everything when a time is not in the engine's canonical form (whose text order is the time order); empty
/// when the read fails.
std::optional<std::vector<Window>> newestFirst(EngineConnection& engine, qint64 windowRecords)
{
    EngineStatement statement(engine, "SELECT 时间 FROM 收送礼");
    if (!statement)
        return std::nullopt;
    std::unordered_map<qint64, qint64> counted; // YYYYMMDD to the number of its records
    qint64 undated = 0;
    bool canonical = true;
    EngineStatement::Step step;
    while ((step = statement.step()) == EngineStatement::Step::Row) {
        const EngineStatement::Type type = statement.type(0);
        if (type == EngineStatement::Type::Null) {
            ++undated;
            continue;
        }
        const std::string_view bytes = statement.utf8(0);
        // The canonical form is read strictly: its text order is the order of the packed number.
        const auto time = type == EngineStatement::Type::Text
            ? JetDateTime::fromCanonical(bytes.data(), qsizetype(bytes.size()))
            : std::nullopt;
        if (!time)
            canonical = false;
        else
            ++counted[time->packed() / 1000000];
    }
    if (step != EngineStatement::Step::End)
        return std::nullopt;
    if (!canonical)
        return std::vector<Window>{Window{}};
    const auto dayText = [](qint64 day, const char* clock) {
        return QByteArray::number(day / 10000).rightJustified(4, '0') + '-'
            + QByteArray::number(day / 100 % 100).rightJustified(2, '0') + '-'
            + QByteArray::number(day % 100).rightJustified(2, '0') + clock;
    };
    std::vector<std::pair<qint64, qint64>> days(counted.begin(), counted.end());
    std::sort(days.begin(), days.end(), std::greater<>()); // newest first
    std::vector<Window> windows;
    qint64 inWindow = 0;
    qint64 newest = 0;
    for (auto day = days.begin(); day != days.end(); ++day) {
        if (inWindow == 0)
            newest = day->first;
        inWindow += day->second;
        const auto next = std::next(day);
        if (inWindow >= windowRecords || next == days.end()) {
            windows.push_back({dayText(day->first, " 00:00:00"), dayText(newest, " 23:59:59"), inWindow});
            inWindow = 0;
        }
    }
    if (undated > 0)
        windows.push_back({QByteArray("-"), QByteArray()});
    return windows;
}

/// The cells of one record as the engine gives them: a text (with a zero after it) or, for 金额, the number;
/// null for an empty cell.
struct RecordCells
{
    static constexpr int Columns = 7;
    const char* text[Columns] = {};
    qsizetype bytes[Columns] = {};
    qint64 amount = 0;

    void read(const EngineStatement& statement)
    {
        for (int column = 0; column < Columns; ++column) {
            text[column] = nullptr;
            if (statement.isNull(column))
                continue;
            if (column == 5) {
                amount = statement.integer(column);
                text[column] = "";
            } else {
                const std::string_view cell = statement.utf8(column);
                text[column] = cell.data();
                bytes[column] = qsizetype(cell.size());
            }
        }
    }
};

void writeRow(XlsxBook& book, const RecordCells& cells)
{
    for (int column = 0; column < RecordCells::Columns; ++column) {
        if (cells.text[column] == nullptr)
            continue;
        if (column == 2) {
            if (const auto time = JetDateTime::fromCanonical(cells.text[column], cells.bytes[column]))
                book.date(column, *time);
        } else if (column == 5) {
            book.amount(column, cells.amount);
        } else {
            book.text(column, cells.text[column], cells.bytes[column]);
        }
    }
    book.nextRow();
}

/// The records of one span of days, held in memory to be put in order: the engine's sort of whole records
/// takes more memory and time than this, so that a span holds more records in the same memory. Each record's
/// cells lie one after another in blocks of memory that are used again for the next span (never moved, so that
/// the memory is the span's bytes and a block at most): per column its length plus one in 7-bit groups (0 for an
/// empty cell) and its bytes (a text with a zero after it, the amount's eight bytes).
class HeldSpan
{
public:
    void clear(qint64 expected)
    {
        m_block = 0;
        m_used = 0;
        m_records.clear();
        m_records.reserve(size_t(expected));
    }

    /// Holds the current row of statement (its columns those of RecordColumns, then ID); its 时间 canonical.
    void hold(const EngineStatement& statement)
    {
        RecordCells cells;
        cells.read(statement);
        size_t size = 0;
        for (int column = 0; column < RecordCells::Columns; ++column) {
            const size_t length = cells.text[column] == nullptr ? 0
                : column == 5                                   ? sizeof cells.amount
                                                                : size_t(cells.bytes[column]) + 1;
            size += lengthBytes(length + 1) + length;
        }
        char* at = room(size);
        const auto when = cells.text[2] ? JetDateTime::fromCanonical(cells.text[2], cells.bytes[2]) : std::nullopt;
        m_records.push_back({when ? when->packed() : 0, statement.integer(7), at});
        for (int column = 0; column < RecordCells::Columns; ++column) {
            if (cells.text[column] == nullptr) {
                at = put(at, 0);
            } else if (column == 5) {
                at = put(at, sizeof cells.amount + 1);
                std::memcpy(at, &cells.amount, sizeof cells.amount);
                at += sizeof cells.amount;
            } else {
                const auto length = size_t(cells.bytes[column]);
                at = put(at, length + 2);
                std::memcpy(at, cells.text[column], length);
                at[length] = '\0';
                at += length + 1;
            }
        }
    }

    /// Newest first, then by ID, as the engine orders them (the canonical text's order is its time's).
    void sort()
    {
        std::sort(m_records.begin(), m_records.end(),
                  [](const Held& a, const Held& b) { return a.time != b.time ? a.time > b.time : a.id < b.id; });
    }

    size_t size() const { return m_records.size(); }

    void cells(size_t index, RecordCells& cells) const
    {
        const char* at = m_records[index].at;
        for (int column = 0; column < RecordCells::Columns; ++column) {
            size_t length = 0;
            for (int shift = 0;; shift += 7) {
                const auto byte = static_cast<unsigned char>(*at++);
                length |= size_t(byte & 0x7F) << shift;
                if (byte < 0x80)
                    break;
            }
            cells.text[column] = nullptr;
            if (length-- == 0)
                continue;
            if (column == 5) {
                std::memcpy(&cells.amount, at, sizeof cells.amount);
                cells.text[column] = "";
            } else {
                cells.text[column] = at;
                cells.bytes[column] = qsizetype(length) - 1; // without the zero
            }
            at += length;
        }
    }

private:
    static constexpr size_t BlockBytes = 1 << 20;

    struct Held
    {
        qint64 time;
        qint64 id;
        const char* at;
    };
    struct Block
    {
        std::unique_ptr<char[]> bytes;
        size_t size = 0;
    };

    static size_t lengthBytes(size_t length)
    {
        size_t bytes = 1;
        for (; length >= 0x80; length >>= 7)
            ++bytes;
        return bytes;
    }
    static char* put(char* at, size_t length)
    {
        for (; length >= 0x80; length >>= 7)
            *at++ = char(0x80 | (length & 0x7F));
        *at++ = char(length);
        return at;
    }
    /// Room for size bytes: in the current block, else in the next one (made when there is none, or too small).
    char* room(size_t size)
    {
        if (m_block < m_blocks.size() && m_used + size > m_blocks[m_block].size) {
            ++m_block;
            m_used = 0;
        }
        if (m_block < m_blocks.size() && m_blocks[m_block].size < size)
            m_blocks.erase(m_blocks.begin() + qsizetype(m_block), m_blocks.end());
        if (m_block == m_blocks.size()) {
            const size_t bytes = std::max(BlockBytes, size);
            m_blocks.push_back({std::make_unique<char[]>(bytes), bytes});
        }
        char* at = m_blocks[m_block].bytes.get() + m_used;
        m_used += size;
        return at;
    }

    std::vector<Block> m_blocks;
    size_t m_block = 0; ///< the block being filled
    size_t m_used = 0; ///< its bytes in use
    std::vector<Held> m_records;
};

} // namespace

Result<Written> write(EngineConnection& engine, const QString& path, const std::optional<QList<qint64>>& ids,
                      const Progress& progress, qint64 windowRecords)
{
    Written result;
    const auto readFailed = [&] { return Failure(Problem::ReadRecords, {engine.lastError()}); };
    std::vector<Window> windows;
    if (!ids) {
        auto planned = newestFirst(engine, windowRecords);
        if (!planned)
            return readFailed();
        windows = std::move(*planned);
    }
    const QString columns = QString::fromUtf8(RecordColumns);
    const QString select = columns + u" FROM 收送礼"_s;
    EngineStatement byId(engine, select + u" WHERE ID=?"_s);
    EngineStatement all(engine, select + u" ORDER BY 时间 DESC, ID"_s);
    EngineStatement span(engine, columns + u",ID FROM 收送礼 WHERE 时间 BETWEEN ? AND ?"_s);
    EngineStatement undated(engine, select + u" WHERE 时间 IS NULL ORDER BY ID"_s);
    if (!byId || !all || !span || !undated)
        return readFailed();
    XlsxBook book(path);
    if (const Done opened = book.open(u"人情账目"_s, LedgerTransfer::header()); !opened)
        return opened.failure();
    // False when the user cancels.
    const auto tell = [&] { return result.records % ProgressStep != 0 || !progress || progress(result.records); };
    RecordCells cells;
    // Steps the statement to its end, writing each row; false when cancelled or failed.
    const auto writeAll = [&](EngineStatement& statement, bool* failed) {
        EngineStatement::Step step;
        while ((step = statement.step()) == EngineStatement::Step::Row) {
            cells.read(statement);
            writeRow(book, cells);
            ++result.records;
            if (!tell())
                return false;
        }
        *failed = step != EngineStatement::Step::End;
        return !*failed;
    };
    // Two spans: while one span's records are written into the workbook on a thread of their own, the next one
    // is read from the ledger and put in order here, where progress is told. The writing of a span is waited for
    // before the next one begins and before anything else is written; the future waits for it when it goes.
    HeldSpan held[2];
    int heldNext = 0;
    std::future<void> writing;
    const auto written = [&] {
        if (writing.valid())
            writing.get();
    };
    // Reads a span's records and puts them in order, then starts their writing; false when cancelled or failed.
    const auto writeSpan = [&](EngineStatement& statement, qint64 expected, bool* failed) {
        HeldSpan& filled = held[heldNext];
        heldNext = 1 - heldNext;
        filled.clear(expected);
        EngineStatement::Step step;
        while ((step = statement.step()) == EngineStatement::Step::Row) {
            filled.hold(statement);
            ++result.records;
            if (!tell())
                return false;
        }
        *failed = step != EngineStatement::Step::End;
        if (*failed)
            return false;
        filled.sort();
        written();
        writing = std::async(std::launch::async, [&book, &filled] {
            RecordCells spanCells;
            for (size_t i = 0; i < filled.size(); ++i) {
                filled.cells(i, spanCells);
                writeRow(book, spanCells);
            }
        });
        return true;
    };
    bool failed = false;
    if (ids) {
        for (const qint64 id : *ids) {
            byId.reset();
            byId.bind(1, id);
            if (!writeAll(byId, &failed))
                return failed ? readFailed() : Failure(Problem::Cancelled);
        }
    }
    for (const Window& window : windows) {
        EngineStatement* statement = &all;
        bool done = false;
        if (window.from == "-") {
            statement = &undated;
            written();
            done = writeAll(*statement, &failed);
        } else if (!window.from.isEmpty()) {
            statement = &span;
            statement->bindUtf8Kept(1, std::string_view(window.from.constData(), std::size_t(window.from.size())));
            statement->bindUtf8Kept(2, std::string_view(window.to.constData(), std::size_t(window.to.size())));
            done = writeSpan(*statement, window.records, &failed);
        } else {
            done = writeAll(*statement, &failed);
        }
        if (!done)
            return failed ? readFailed() : Failure(Problem::Cancelled);
        statement->reset();
    }
    written();
    if (progress && !progress(result.records))
        return Problem::Cancelled;
    if (const Done saved = book.commit(); !saved)
        return saved.failure();
    result.cutTexts = book.cutTexts();
    return result;
}

} // namespace LedgerXlsx
} // namespace ovelta
