#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>

namespace ovelta {

/// 外部数据库: the second path to the file, for the login, the lookup lists and the seed rows. Holds up to 30
/// row sets at once, each known by a non-zero handle; 0 stands for none.
class ExternalDatabase : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxRowSets = 30;

    explicit ExternalDatabase(QObject* parent = nullptr);
    ~ExternalDatabase() override;

    /// "ODBC;DBQ=" + file [";DefaultDir=" + dir] + ";Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access"
    /// [";UID=" + user] [";PWD=" + password] + ";"
    static QString connectionText(const QString& file, const QString& user, const QString& password);

    /// On success the previous connection and all its row sets are replaced; on failure they stay.
    bool connect(const QString& file, const QString& user, const QString& password, bool readOnly = false,
                 bool noDialog = false);
    bool isOpen() const;
    /// Closes the connection and all its row sets (the main window's objects end this way too).
    void disconnect();
    QString lastConnectionText() const;

    /// Handle of a new row set on its first row; 0 on failure, for an empty statement, or with 30 open.
    int query(const QString& statement);
    void moveFirst(int handle);
    void moveNext(int handle);
    /// True past the last row, and for 0 or any handle that is not an open row set.
    bool atEnd(int handle) const;
    /// Typed value of the current row after its column's kind: integers as qlonglong, floating and Currency
    /// values as double, texts as QString, date-times as QDateTime, yes/no as bool, byte arrays as QByteArray;
    /// NULL and every failure (invalid handle, past the end, no such column) as an empty QString.
    QVariant read(int handle, const QString& column) const;
    /// By 1-based column number.
    QVariant read(int handle, int column) const;
    void close(int handle);
    bool execute(const QString& statement);
    int openRowSets() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace ovelta
