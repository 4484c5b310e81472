#pragma once

#include "store/value/Failure.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace ovelta {

class EngineConnection;
class JetDateTime;

/// An Excel workbook (.xlsx) written row by row with libxlsxwriter in its constant-memory mode: each row goes
/// to the disk when the next one starts, so that a table of any length takes the same memory. Texts are text
/// cells (an ID number, "0012" or a leading "=" stay exactly as they are), amounts numbers with a ￥ format,
/// dates date cells shown as 2026年12月8日; the header row is bold and frozen, the columns are as wide as their
/// contents, and the print fits the page width.
///
/// The workbook is written under a temporary name beside the file it replaces (the file itself, or the one a
/// symbolic link there points to) and renamed into place by commit(), so that the file holds the old content
/// or the whole new one. A workbook dropped without commit() leaves no trace.
class XlsxBook
{
public:
    /// The most characters (UTF-16 units) a cell holds; longer texts are cut to this and counted.
    static constexpr qsizetype MaxCellText = 32767;
    /// The rows of one sheet, the header included; longer tables go on in further sheets.
    static constexpr int MaxRows = 1048576;

    /// A workbook to replace the file at path; rowsPerSheet (the header included) below MaxRows for tests.
    explicit XlsxBook(const QString& path, int rowsPerSheet = MaxRows);
    ~XlsxBook();
    XlsxBook(const XlsxBook&) = delete;
    XlsxBook& operator=(const XlsxBook&) = delete;

    /// Creates the temporary file and the first sheet with its header row.
    Done open(const QString& sheetName, const QStringList& header);

    /// The cells of the current row; a column left unset, or given the empty text, stays empty.
    void text(int column, const QString& value);
    /// UTF-8 bytes followed by a zero, as the engine hands its texts out.
    void text(int column, const char* utf8, qsizetype bytes);
    /// An amount in ten-thousandths: a number shown with ￥ and two decimals (four when it has parts of a fen).
    /// An amount a spreadsheet's number cannot hold exactly (more than 15 digits) is written as its exact text.
    void amount(int column, qint64 ticks);
    /// An exact decimal text as amount() writes it; any other text goes as text.
    void amount(int column, const QString& exactDecimal);
    /// A whole number (a count) in the general format.
    void number(int column, qint64 value);
    /// A date cell shown as 2026年12月8日 (with the time of day when it is not midnight). Dates before 1 March 1900,
    /// which spreadsheets cannot show as dates, are written as text (YYYY-MM-DD).
    void date(int column, const JetDateTime& time);
    void date(int column, const QDate& date);
    /// Ends the current row; the next cells go on the next row (of a further sheet, with the header again, when
    /// this one is full).
    void nextRow();

    /// Finishes the workbook, writes it to the disk and renames it into place. When any step fails the old file
    /// is unchanged and the temporary file gone.
    Done commit();

    /// The texts cut to MaxCellText.
    qint64 cutTexts() const { return m_cut; }

private:
    struct Private;
    std::unique_ptr<Private> d;
    qint64 m_cut = 0;
};

/// The ledger's export to a workbook: the columns of the CSV export (LedgerTransfer::header()), in its order.
namespace LedgerXlsx {

/// Told the number of records written so far, every few thousand records; false cancels the export.
using Progress = std::function<bool(qint64 written)>;

/// What a finished export wrote.
struct Written
{
    qint64 records = 0;
    qint64 cutTexts = 0; ///< notes or names longer than a cell holds, cut
};

/// About the most records held and sorted at a time (in memory) for the export of the whole ledger.
constexpr qint64 WindowRecords = 200000;

/// Writes every record (newest first, as the grid lists them), or only the records of ids in that order, to a
/// workbook at path. The records are read by stepping statements, never all at once: the whole ledger in spans
/// of whole days of about windowRecords records each, newest first, then the records without a date. A cancel
/// (Cancelled) or failure leaves the file at path as it was.
Result<Written> write(EngineConnection& engine, const QString& path, const std::optional<QList<qint64>>& ids,
                      const Progress& progress = {}, qint64 windowRecords = WindowRecords);

} // namespace LedgerXlsx
} // namespace ovelta
