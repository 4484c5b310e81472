#include "store/jet/DatabaseConnection.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/EngineMessage.h"
#include "store/jet/ConnectionText.h"

using namespace Qt::StringLiterals;

namespace ovelta {

DatabaseConnection::DatabaseConnection(QObject* parent)
    : QObject(parent)
{
}

DatabaseConnection::~DatabaseConnection() = default;

QString DatabaseConnection::connectionText(const QString& file, const QString& password)
{
    QString text = u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source="_s + file;
    if (!password.isEmpty())
        text += u";Jet OLEDB:Database Password="_s + password + u';';
    return text;
}

bool DatabaseConnection::connect(const QString& file, const QString& password)
{
    // The same file with the same key: the open engine serves as a new one, without deriving the key again.
    std::shared_ptr<EngineConnection> previous
        = m_engine && file == m_file && password == m_password ? m_engine : nullptr;
    close();
    m_file = file;
    m_password = password;
    m_lockedOut = false;
    m_connectionText = connectionText(file, password);
    // The engine is opened with what the connection text carries; a file name or password that the text
    // cannot carry unchanged (a ";" inside) does not connect.
    const QHash<QString, QString> fields = ConnectionText::fields(m_connectionText);
    const QString path = fields.value(u"data source"_s);
    const QString key = fields.value(u"jet oledb:database password"_s);
    if (path != file || key != password) {
        m_lastError = EngineMessage::cannotOpen();
        return false;
    }
    EngineConnection::Failure failure;
    const auto renewal = previous ? previous->renew(path, &failure) : EngineConnection::Renewal::NotTheSame;
    if (renewal == EngineConnection::Renewal::Renewed)
        m_engine = std::move(previous);
    else if (renewal == EngineConnection::Renewal::NotTheSame)
        m_engine = EngineConnection::open(path, key, EngineConnection::Options(), &failure);
    if (!m_engine) {
        m_lastError = failure.message;
        m_lockedOut = failure.isTransient();
        return false;
    }
    Q_EMIT engineChanged();
    return true;
}

std::shared_ptr<EngineConnection> DatabaseConnection::ready()
{
    if (!m_engine && m_lockedOut)
        connect(m_file, m_password);
    if (!m_engine && m_lastError.isEmpty())
        m_lastError = EngineMessage::closed();
    return m_engine;
}

bool DatabaseConnection::execute(const QString& statement)
{
    m_changedRows = -1;
    const std::shared_ptr<EngineConnection> engine = ready();
    if (!engine)
        return false;
    // The count of the statement itself: a statement that changes nothing leaves the engine's last count as
    // it was.
    const qint64 before = engine->totalChanges();
    if (!engine->execute(statement)) {
        m_lastError = engine->lastError();
        return false;
    }
    m_lastError.clear();
    m_changedRows = engine->totalChanges() == before ? 0 : engine->changes();
    return true;
}

void DatabaseConnection::close()
{
    m_lockedOut = false;
    m_lastError.clear();
    if (!m_engine)
        return;
    m_engine.reset();
    Q_EMIT engineChanged();
}

bool DatabaseConnection::isOpen() const
{
    return m_engine != nullptr;
}

} // namespace ovelta
