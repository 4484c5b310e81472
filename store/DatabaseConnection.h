#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace ovelta {

class EngineConnection;

/// 数据库连接: the connection through which every statement that changes data runs.
/// Failures are reported by the result only; nothing here shows a message.
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
    /// True when the engine accepted and ran the statement (a statement that touches no row is a success).
    bool execute(const QString& statement);
    void close();
    bool isOpen() const;
    QString lastConnectionText() const { return m_connectionText; }

    /// The engine connection underneath (null when closed); for the record set bound to this connection.
    std::shared_ptr<EngineConnection> engine() const { return m_engine; }

Q_SIGNALS:
    /// Emitted after close() or a reconnect replaced the engine connection.
    void engineChanged();

private:
    std::shared_ptr<EngineConnection> m_engine;
    QString m_connectionText;
};

} // namespace ovelta
