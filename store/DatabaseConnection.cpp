#include "DatabaseConnection.h"

#include "ConnectionText.h"
#include "EngineConnection.h"

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
    close();
    m_connectionText = connectionText(file, password);
    // The engine is opened with what the connection text carries; a file name or password that the text
    // cannot carry unchanged (a ";" inside) does not connect.
    const QHash<QString, QString> fields = ConnectionText::fields(m_connectionText);
    const QString path = fields.value(u"data source"_s);
    const QString key = fields.value(u"jet oledb:database password"_s);
    if (path != file || key != password)
        return false;
    m_engine = EngineConnection::open(path, key);
    if (!m_engine)
        return false;
    Q_EMIT engineChanged();
    return true;
}

bool DatabaseConnection::execute(const QString& statement)
{
    return m_engine && m_engine->execute(statement);
}

void DatabaseConnection::close()
{
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
