#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <string_view>

struct sqlite3_stmt;

namespace ovelta {

class EngineConnection;

/// One prepared statement in the engine's own SQL, finalized when dropped: values are bound by position (from
/// 1), columns are read by index (from 0). False when the engine refused it. A refusal or a failed step sets the
/// connection's lastError(), which failure() returns.
///
/// Stepping does not first complete the process's lazy row snapshots, as EngineConnection::run() does: the
/// store's reads use it directly, and its writes through run().
class EngineStatement
{
public:
    enum class Step { Row, End, Failed };
    enum class Type { Null, Integer, Real, Text, Blob };

    EngineStatement() = default;
    EngineStatement(EngineConnection& engine, std::string_view sql);
    EngineStatement(EngineConnection& engine, const char* sql)
        : EngineStatement(engine, std::string_view(sql))
    {
    }
    EngineStatement(EngineConnection& engine, const QString& sql);
    ~EngineStatement();
    EngineStatement(EngineStatement&& other) noexcept;
    EngineStatement& operator=(EngineStatement&& other) noexcept;
    EngineStatement(const EngineStatement&) = delete;
    EngineStatement& operator=(const EngineStatement&) = delete;

    explicit operator bool() const { return m_statement != nullptr; }

    void bind(int index, qint64 value);
    void bind(int index, double value);
    /// A copy of the text.
    void bind(int index, QStringView text);
    /// A copy of the bytes, as they are.
    void bindUtf8(int index, std::string_view utf8);
    /// The bytes as they are, not copied: they must stay until the statement is dropped or bound again.
    void bindUtf8Kept(int index, std::string_view utf8);
    void bindNull(int index);
    int parameterCount() const;

    Step step();
    /// Steps to the end, reading no row; false when a step failed.
    bool run();
    /// Makes the statement ready to run again; bound values stay.
    void reset();

    int columnCount() const;
    Type type(int column) const;
    bool isNull(int column) const { return type(column) == Type::Null; }
    qint64 integer(int column) const;
    double real(int column) const;
    QString text(int column) const;
    /// The column's text as the engine holds it, valid until the next step.
    std::string_view utf8(int column) const;

    /// The text for the user of the last failure (EngineMessage).
    QString failure() const;
    /// True when the last failure was a sum that went past the engine's 64-bit integers.
    bool overflowed() const;

private:
    friend class RowSnapshot;
    Step failed();

    EngineConnection* m_engine = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace ovelta
