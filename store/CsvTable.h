#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ovelta {

/// The rows of a CSV file (comma-separated, fields quoted with '"' and inner quotes doubled, rows ended by
/// CRLF, LF or CR), as spreadsheet programs write them. Pure text work; reading and writing files is the
/// caller's.
class CsvTable
{
public:
    /// Limits beyond which a file is refused as no ledger table (a binary or hostile file).
    static constexpr qsizetype MaxFileBytes = 256 * 1024 * 1024;
    static constexpr qsizetype MaxFieldChars = 100000;
    static constexpr qsizetype MaxColumns = 1000;

    QList<QStringList> rows;
    /// The line of the file (from 1) on which each row starts.
    QList<qsizetype> lines;
    /// "UTF-8" or "GBK": how the file's bytes were read.
    QString encoding;

    /// Reads a whole file's bytes: UTF-8 with or without a byte-order mark, else GBK (as older spreadsheet
    /// programs save). Rows of nothing but one empty field (blank lines) are left out. Empty with a message for
    /// the user in error when the file is empty, is no text, breaks the quoting or passes a limit.
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
