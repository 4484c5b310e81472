#pragma once

#include "store/value/CsvTable.h"
#include "store/value/Failure.h"

#include <QByteArrayView>
#include <QStringList>
#include <memory>
#include <optional>

namespace ovelta {

/// A workbook of a spreadsheet program, .xlsx (Office Open XML) or .xls (the older binary format), read sheet by
/// sheet into the rows of texts that the CSV import reads: every cell as the text the import expects (dates as
/// YYYY-MM-DD, numbers as their plain decimal text, text cells with the CSV export's formula guard, which the
/// import takes off, so that a text cell "'=x" or "=x" comes in as typed), gaps filled with empty cells, rows without
/// any text left out, and each row's line its row number in the sheet.
///
/// Hostile files are refused with a message for the user, reading no more than the limits below: an entry that
/// unpacks to more than MaxEntryBytes (or all of them to more than MaxTotalBytes), a cell beyond Excel's last
/// column or row, more than MaxCells cells, a shared text that does not exist, an encrypted workbook.
class SheetReader
{
public:
    enum class Format { Text, Xlsx, Xls };

    static constexpr qint64 MaxEntryBytes = 256 * 1024 * 1024;
    static constexpr qint64 MaxTotalBytes = 512 * 1024 * 1024;
    static constexpr qsizetype MaxColumns = 16384;
    static constexpr qsizetype MaxRows = 1048576;
    static constexpr qsizetype MaxCells = 5000000;

    /// The format by the file's first bytes: a zip archive is an .xlsx, a compound document an .xls (or an
    /// encrypted .xlsx, which open() tells apart); anything else is read as text.
    static Format formatOf(QByteArrayView head);

    /// Opens the workbook at path in format (Xlsx or Xls) and reads the names of its sheets.
    static Result<std::unique_ptr<SheetReader>> open(const QString& path, Format format);

    virtual ~SheetReader() = default;

    /// The names of the sheets in the workbook's order; never empty.
    virtual QStringList sheetNames() const = 0;
    /// The rows of sheet index (of sheetNames()); a failure when the sheet cannot be read or holds nothing.
    Result<CsvTable> sheet(int index);

    /// A number's plain decimal text, as a spreadsheet shows it in full: at most 15 significant digits, never
    /// an exponent (1.2E+17 is 120000000000000000), no trailing zeros.
    static QString plainNumber(double value);
    /// The date of a spreadsheet's day number (days since 1899-12-30, with the 1900 leap day that never was, or
    /// since 1904-01-01): YYYY-MM-DD, with " HH:MM:SS" when it has a time of day. Empty for a number out of range.
    static QString dayText(double serial, bool from1904);

protected:
    SheetReader() = default;
    /// The rows of sheet index; empty with the reader's own text for the user in error.
    virtual std::optional<CsvTable> readSheet(int index, QString* error) = 0;
};

} // namespace ovelta
