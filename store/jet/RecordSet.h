#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace ovelta {

class DatabaseConnection;
class RowSnapshot;

/// 记录集: the program's one row set, bound to a DatabaseConnection. An open set is a static snapshot: its
/// row count is exact and it does not see changes made after it was opened. Opening closes the previous set.
///
/// An open on a table reads the first rows at once and the others when they are reached (a lazy RowSnapshot,
/// which shows the same rows); a find by the table's auto-number ("id=12") on such a set is answered by the
/// engine's key lookup, so that opening a whole ledger to find one record does not read every record. When
/// reading on fails later, the engine's message is reported then and the set ends with the rows read before.
class RecordSet : public QObject
{
    Q_OBJECT
public:
    using ErrorReporter = std::function<void(const QString& engineMessage)>;

    explicit RecordSet(QObject* parent = nullptr);
    ~RecordSet() override;

    /// The one message of the data layer: when the engine refuses an open, the reporter is called with the
    /// engine's error text (the program shows it in a box: default title, OK only, no icon).
    static void setErrorReporter(ErrorReporter reporter);

    bool bind(DatabaseConnection* connection);
    bool open(const QString& statement);
    bool openTable(const QString& table);
    /// Runs "select * from TABLE order by ORDER".
    bool openOrdered(const QString& table, const QString& order);
    void close();
    bool isOpen() const;

    bool moveFirst();
    bool moveNext();
    /// True when there is no row at or after the current position (also when nothing is open).
    bool atEnd() const;
    /// Rows of the open set; -1 when nothing is open.
    int rowCount() const;
    /// Criteria "COLUMN=NUMBER" (as "id=12"; see RowCriteria), searching forward from the current row, which
    /// it includes. Not found: false, and the position is past the last row. Only direction 1 is supported.
    bool find(const QString& criteria, int direction = 1);

    /// Reads of the current row by column name; false when nothing is open, past the end, no such column or
    /// the column kind does not fit (a text variable is then set to the empty text).
    bool readText(const QString& column, QString& value) const;
    bool readNumber(const QString& column, double& value) const;
    bool readInteger(const QString& column, qint64& value) const;
    bool readDateTime(const QString& column, QDateTime& value) const;
    /// The date part of a date-time column, without building a QDateTime (the grid keeps dates only).
    bool readDate(const QString& column, QDate& value) const;
    /// The same with the time of day as seconds since midnight, which orders records of one day.
    bool readDate(const QString& column, QDate& value, int& secondOfDay) const;
    /// The stored bytes (UTF-8) of a text value, without making a string of them; a NULL value gives no bytes.
    /// False, as readText would convert the value, for any other kind (and for the failures of the reads).
    /// The bytes stay valid until the set closes; those of a pending row or of a row that find() reached by its
    /// key, until the set moves.
    bool readUtf8(const QString& column, QByteArrayView& bytes) const;
    /// Exact read of a Currency column in ten-thousandths.
    bool readCurrency(const QString& column, qint64& ticks) const;
    /// True when the current row's value of that column is NULL (or the read is impossible).
    bool isNull(const QString& column) const;

    bool addRow();
    bool writeText(const QString& column, const QString& text);
    /// Saves the pending row; on failure the pending changes are cancelled. Moving, finding, filtering and
    /// closing cancel pending changes too (they are never saved on the side).
    bool saveRow();
    /// Deletes the current row at once.
    bool deleteCurrent();
    /// The same comparison as find ("id=12"), applied to the open set: rows that do not match are skipped and
    /// not counted; the position goes to the first matching row. The empty text removes the filter (true also
    /// when nothing is open). Closing the set removes its filter.
    bool setFilter(const QString& filter);

    /// Runs fn inside one engine transaction on the bound connection: committed when fn returns true, rolled
    /// back otherwise (or when the commit fails). False when anything failed. When a rolled-back fn changed rows
    /// through this set, the set is closed, since its rows no longer match the file.
    bool inTransaction(const std::function<bool()>& fn);

private:
    /// wholeTable: the statement is "select * from TABLE" (open on a table), read lazily.
    bool openSource(const QString& statement, bool wholeTable);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace ovelta
