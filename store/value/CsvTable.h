#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ovelta {

/// The rows of a CSV file (comma- or tab-separated, fields quoted with '"' and inner quotes doubled, rows ended
/// by CRLF, LF or CR), as spreadsheet programs write them. A quote inside a field that does not start with one
/// is an ordinary character. Pure text work; reading and writing files is the caller's.
class CsvTable
{
public:
    /// Limits beyond which a file is refused as no ledger table (a binary or hostile file). A single field may
    /// be as long as the file: a note of any length that the ledger holds comes back from its export.
    static constexpr qsizetype MaxFileBytes = 256 * 1024 * 1024;
    static constexpr qsizetype MaxColumns = 1000;

    QList<QStringList> rows;
    /// The line of the file (from 1) on which each row starts.
    QList<qsizetype> lines;
    /// "UTF-8", "GBK" or "UTF-16": how the file's bytes were read; "xlsx工作簿" or "xls工作簿" for a workbook's
    /// sheet (SheetReader).
    QString encoding;

    /// Reads a whole file's bytes: UTF-16 (little or big end first, with or without a byte-order mark, as a
    /// spreadsheet's "Unicode 文本" is), UTF-8 with or without a byte-order mark, else GBK (as older spreadsheet
    /// programs save). The fields are tab-separated when the first row has more tabs than commas. Rows of
    /// nothing but one empty field (blank lines) are left out. Empty with a message for the user in error when
    /// the file is empty, is no text, breaks the quoting or passes a limit.
    static std::optional<CsvTable> parse(const QByteArray& bytes, QString* error);

    /// One field as written: quoted when it holds a comma, quote, line break or blank at either end.
    static QString quoted(const QString& field);
    /// One row, its fields quoted as needed and joined by commas, ended by CRLF.
    static QString rowText(const QStringList& fields);

    /// Texts that a spreadsheet would run as a formula (starting with =, +, -, @, tab or carriage return) and
    /// texts that begin with apostrophes before such a character get one more apostrophe in front, which the
    /// spreadsheet takes as "show as text". unguarded() takes exactly that apostrophe away again.
    static QString guarded(const QString& text);
    static QString unguarded(const QString& text);
};

} // namespace ovelta
