#pragma once

#include <QString>
#include <QtGlobal>

struct sqlite3;

namespace ovelta::bench {

/// The engine alone: one keyed SQLCipher connection through the sqlite3 API and nothing else (no dialect, no
/// functions, no settings), which steps a statement to its end and reads every column of every row.
class FloorQuery
{
public:
    FloorQuery(const QString& path, const QString& key);
    ~FloorQuery();
    FloorQuery(const FloorQuery&) = delete;
    FloorQuery& operator=(const FloorQuery&) = delete;

    bool isValid() const { return m_db != nullptr; }
    /// Prepares, steps to the end reading every column, finalizes. The number of rows, -1 on failure.
    qint64 run(const QByteArray& sql);

private:
    sqlite3* m_db = nullptr;
};

} // namespace ovelta::bench
