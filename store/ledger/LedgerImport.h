#pragma once

#include "store/ledger/LedgerTransfer.h"
#include "store/value/CsvTable.h"

#include <QSet>
#include <array>
#include <functional>

namespace ovelta {

/// Which column of a CSV file holds each field of a record (-1: none), and whether the first row is a header.
struct ColumnMapping
{
    enum Field { Direction, Name, Time, Relation, Kind, Amount, Note, FieldCount };
    std::array<int, FieldCount> columns{-1, -1, -1, -1, -1, -1, -1};
    bool headerRow = false;

    bool isEmpty() const;
    friend bool operator==(const ColumnMapping&, const ColumnMapping&) = default;
};

/// Checking the rows of a CSV file as the record entry window checks a record, and adding the good ones to
/// the ledger in one transaction. Every statement binds its values.
namespace LedgerImport {

/// The mapping of a file in the export's own format: its first row is the export's header (a last column
/// "错误原因", as the saved rejected rows carry, is allowed). Empty optional for any other file.
std::optional<ColumnMapping> exportMapping(const QStringList& firstRow);
/// A first guess for another file: columns whose header names a field, in the export's words or others that
/// ledgers kept by hand use (日期 for 时间, 名字 or 宾客 for 姓名, 礼金 or 钱数 for 金额, 备注 for 说明, 事由 for
/// 类型, 收/送 for 收送); otherwise nothing chosen.
ColumnMapping guessMapping(const QStringList& firstRow);

/// Rows above the header that arrange() passes over at most: a workbook's title and notes.
constexpr qsizetype MaxTitleRows = 10;
/// Readies a table for the mapping. The header is the first row that names at least two fields (see
/// guessMapping); the rows above it, a title such as "2025年张家婚礼礼单", are left out. A table without such a
/// row stays as it is. When the header has neither 收送 nor 金额 but two amount columns 收礼 and 送礼, every row
/// gets two columns more, 收送 and 金额, from the one of the two that is filled ("收礼和送礼", which no list
/// holds, when both are).
void arrange(CsvTable& table);

/// The lookup lists a record must fit.
struct Lists
{
    QStringList directions;
    QStringList relations;
    QStringList occasions;
};
Result<Lists> readLists(EngineConnection& engine);

/// What makes two records the same for the import: direction, name, date (the day) and amount.
QString duplicateKey(const LedgerRecord& record);
/// The duplicate keys of every record in the ledger.
Result<QSet<QString>> existingKeys(EngineConnection& engine);

/// Amount text of a file: blanks around, a leading ￥ or ¥, full-width digits and thousands separators in
/// groups of three are accepted; empty optional for anything else, the empty text too (the caller tells an
/// empty field, which is no amount, from a wrong one).
std::optional<qint64> parseAmount(const QString& text);
/// Date text of a file: the forms the entry window and the engine read (2011-6-2, 2011/6/2, with a time of
/// day), and 2011年6月2日.
std::optional<JetDateTime> parseDate(const QString& text);

struct Problem
{
    qsizetype line = 0; ///< the file's line on which the row starts
    QString reason;
    QStringList fields; ///< the row as it was read
};

struct Candidate
{
    LedgerRecord record;
    qsizetype line = 0;
    bool duplicate = false; ///< equal to a record of the ledger (duplicateKey)
};

struct Checked
{
    std::vector<Candidate> candidates;
    QList<Problem> problems;
    QStringList newRelations; ///< in the order of their first row
    QStringList newOccasions;
    qsizetype duplicates = 0;
};

/// Checks every row but the header: 收送 one of the list's entries; 关系 and 类型 not blank (entries not in
/// their lists yet are collected as new); 金额 empty or an amount; 时间 empty or a date. Texts have the export's
/// formula guard taken off.
Checked check(const CsvTable& table, const ColumnMapping& mapping, const Lists& lists, const QSet<QString>& existing);

/// Adds the new list entries and then the records, all in one transaction: every record or none. progress is
/// called now and then with the number of records written so far; when it answers false the import stops,
/// Cancelled, and nothing stays.
Done write(EngineConnection& engine, const std::vector<LedgerRecord>& records, const QStringList& newRelations,
           const QStringList& newOccasions, const std::function<bool(qsizetype written)>& progress);

/// The rejected rows as a CSV file for fixing: UTF-8 with a byte-order mark, the file's header (or the
/// export's) with a last column 错误原因, then each row with its reason. Texts are guarded against formulas as
/// the export guards them, and import again as they were read.
QByteArray problemsCsv(const QStringList& headerFields, const QList<Problem>& problems);

} // namespace LedgerImport
} // namespace ovelta
