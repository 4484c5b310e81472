#include "FloorQuery.h"

#include <QFile>
#include <sqlcipher/sqlite3.h>

namespace ovelta::bench {

namespace {

/// Keeps the reads from being optimised away.
volatile quint64 sink = 0;

} // namespace

FloorQuery::FloorQuery(const QString& path, const QString& key)
{
    const QByteArray file = QFile::encodeName(path);
    if (sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_PRIVATECACHE, nullptr)
        != SQLITE_OK) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return;
    }
    const QByteArray secret = key.toUtf8();
    if (sqlite3_key(m_db, secret.constData(), int(secret.size())) != SQLITE_OK
        || run("SELECT 1 FROM sqlite_master") < 0) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

FloorQuery::~FloorQuery()
{
    sqlite3_close_v2(m_db);
}

qint64 FloorQuery::run(const QByteArray& sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        return -1;
    const int columns = sqlite3_column_count(statement);
    quint64 sum = 0;
    qint64 rows = 0;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(statement, c)) {
            case SQLITE_INTEGER:
                sum += quint64(sqlite3_column_int64(statement, c));
                break;
            case SQLITE_FLOAT:
                sum += quint64(sqlite3_column_double(statement, c));
                break;
            case SQLITE_TEXT: {
                const unsigned char* text = sqlite3_column_text(statement, c);
                const int size = sqlite3_column_bytes(statement, c);
                sum += quint64(size) + (size > 0 ? text[0] : 0);
                break;
            }
            case SQLITE_BLOB:
                sum += quint64(sqlite3_column_bytes(statement, c));
                break;
            default:
                break;
            }
        }
        ++rows;
    }
    sqlite3_finalize(statement);
    sink = sink + sum;
    return rc == SQLITE_DONE ? rows : -1;
}

} // namespace ovelta::bench
