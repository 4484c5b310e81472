#include "store/engine/EngineStatement.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/EngineMessage.h"

#include <sqlcipher/sqlite3.h>
#include <utility>

namespace ovelta {

EngineStatement::EngineStatement(EngineConnection& engine, std::string_view sql)
    : m_engine(&engine)
    , m_statement(engine.prepareUtf8(sql))
{
}

EngineStatement::EngineStatement(EngineConnection& engine, const QString& sql)
    : m_engine(&engine)
{
    const QByteArray utf8 = sql.toUtf8();
    m_statement = engine.prepareUtf8(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

EngineStatement::~EngineStatement()
{
    sqlite3_finalize(m_statement);
}

EngineStatement::EngineStatement(EngineStatement&& other) noexcept
    : m_engine(std::exchange(other.m_engine, nullptr))
    , m_statement(std::exchange(other.m_statement, nullptr))
{
}

EngineStatement& EngineStatement::operator=(EngineStatement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_statement);
        m_engine = std::exchange(other.m_engine, nullptr);
        m_statement = std::exchange(other.m_statement, nullptr);
    }
    return *this;
}

void EngineStatement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_statement, index, value);
}

void EngineStatement::bind(int index, double value)
{
    sqlite3_bind_double(m_statement, index, value);
}

void EngineStatement::bind(int index, QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void EngineStatement::bindUtf8(int index, std::string_view utf8)
{
    // An empty text is still a text, not NULL: the engine takes a null pointer for NULL.
    sqlite3_bind_text(m_statement, index, utf8.data() ? utf8.data() : "", int(utf8.size()), SQLITE_TRANSIENT);
}

void EngineStatement::bindUtf8Kept(int index, std::string_view utf8)
{
    sqlite3_bind_text(m_statement, index, utf8.data() ? utf8.data() : "", int(utf8.size()), SQLITE_STATIC);
}

void EngineStatement::bindNull(int index)
{
    sqlite3_bind_null(m_statement, index);
}

int EngineStatement::parameterCount() const
{
    return sqlite3_bind_parameter_count(m_statement);
}

EngineStatement::Step EngineStatement::step()
{
    switch (sqlite3_step(m_statement)) {
    case SQLITE_ROW:
        return Step::Row;
    case SQLITE_DONE:
        return Step::End;
    default:
        return failed();
    }
}

EngineStatement::Step EngineStatement::failed()
{
    m_engine->fail();
    return Step::Failed;
}

bool EngineStatement::run()
{
    Step result;
    while ((result = step()) == Step::Row) { }
    return result == Step::End;
}

void EngineStatement::reset()
{
    sqlite3_reset(m_statement);
}

int EngineStatement::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

EngineStatement::Type EngineStatement::type(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return Type::Integer;
    case SQLITE_FLOAT:
        return Type::Real;
    case SQLITE_TEXT:
        return Type::Text;
    case SQLITE_BLOB:
        return Type::Blob;
    default:
        return Type::Null;
    }
}

qint64 EngineStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double EngineStatement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QString EngineStatement::text(int column) const
{
    const std::string_view bytes = utf8(column);
    return bytes.data() ? QString::fromUtf8(bytes.data(), qsizetype(bytes.size())) : QString();
}

std::string_view EngineStatement::utf8(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return text ? std::string_view(text, std::size_t(sqlite3_column_bytes(m_statement, column))) : std::string_view();
}

QString EngineStatement::failure() const
{
    return m_engine ? m_engine->lastError() : EngineMessage::closed();
}

bool EngineStatement::overflowed() const
{
    sqlite3* db = m_engine ? m_engine->handle() : nullptr;
    return db && sqlite3_errcode(db) == SQLITE_ERROR && qstrcmp(sqlite3_errmsg(db), "integer overflow") == 0;
}

} // namespace ovelta
