#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace ovelta {

class EngineConnection;

/// 数据库连接: the connection through which every statement that changes data runs.
/// Failures are reported by the result only; nothing here shows a message. lastError() has the text for the user.
///
/// A connect that failed because another program held the file locked past the wait leaves the connection
/// closed; the next operation on it (execute, or an open of a record set bound to it) connects once more by
/// itself, with the same file and password, before it gives up.
class DatabaseConnection : public QObject
{
    Q_OBJECT
public:
    explicit DatabaseConnection(QObject* parent = nullptr);
    ~DatabaseConnection() override;

    /// "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + file [+ ";Jet OLEDB:Database Password=" + pw + ";"]
    static QString connectionText(const QString& file, const QString& password);

    /// Closes an open connection first (also when the new open fails). True when the file opened with the key.
    bool connect(const QString& file, const QString& password);
    /// True when the engine accepted and ran the statement (a statement that touches no row is a success:
    /// changedRows() tells how many rows it changed).
    bool execute(const QString& statement);
    /// Rows the last execute inserted, updated or deleted; -1 when it failed.
    int changedRows() const { return m_changedRows; }
    void close();
    bool isOpen() const;
    QString lastConnectionText() const { return m_connectionText; }
    /// Why the last connect or execute failed, as the program shows it (EngineMessage); empty after a success.
    QString lastError() const { return m_lastError; }
    /// True when the last connect failed because another program held the file locked past the wait.
    bool isLockedOut() const { return m_lockedOut; }

    /// The engine connection underneath (null when closed); for the record set bound to this connection.
    std::shared_ptr<EngineConnection> engine() const { return m_engine; }
    /// The engine connection to run an operation on: when a lock of another program left the connection
    /// closed, it connects once more first. Null, with lastError(), when there is none.
    std::shared_ptr<EngineConnection> ready();

Q_SIGNALS:
    /// Emitted after close() or a reconnect replaced the engine connection.
    void engineChanged();

private:
    std::shared_ptr<EngineConnection> m_engine;
    QString m_connectionText;
    QString m_file;
    QString m_password;
    QString m_lastError;
    int m_changedRows = -1;
    bool m_lockedOut = false;
};

} // namespace ovelta
