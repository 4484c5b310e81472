#include "store/jet/ExternalDatabase.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/RowSnapshot.h"
#include "store/jet/ConnectionText.h"
#include "store/value/JetDateTime.h"
#include "store/value/Money.h"

#include <QDateTime>
#include <map>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

struct RowSet
{
    std::unique_ptr<RowSnapshot> rows;
    qsizetype position = 0;
};

QVariant valueOf(const RowSnapshot::Cell& cell)
{
    using Kind = RowSnapshot::Kind;
    switch (cell.kind) {
    case Kind::Integer:
        return QVariant(qlonglong(cell.value));
    case Kind::Double:
        return QVariant(cell.real());
    case Kind::Currency:
        return QVariant(Money::toDouble(cell.value));
    case Kind::DateTime:
        if (const auto when = JetDateTime::fromPacked(cell.value))
            return QVariant(when->toDateTime());
        break;
    case Kind::Text:
        return QVariant(QString::fromUtf8(cell.bytes));
    case Kind::Boolean:
        return QVariant(cell.value != 0);
    case Kind::Blob:
        return QVariant(cell.bytes.toByteArray());
    case Kind::Null:
        break;
    }
    return QVariant(QString());
}

} // namespace

struct ExternalDatabase::Private
{
    std::shared_ptr<EngineConnection> engine;
    QString connectionText;
    std::map<int, RowSet> rowSets;
    int lastHandle = 0;

    const RowSet* find(int handle) const
    {
        const auto it = rowSets.find(handle);
        return it == rowSets.end() ? nullptr : &it->second;
    }
    RowSet* find(int handle)
    {
        const auto it = rowSets.find(handle);
        return it == rowSets.end() ? nullptr : &it->second;
    }
    QVariant read(int handle, int column) const
    {
        const RowSet* set = find(handle);
        if (set == nullptr || set->position >= set->rows->rowCount() || column < 0
            || column >= set->rows->columnCount())
            return QVariant(QString());
        return valueOf(set->rows->cell(set->position, column));
    }
};

ExternalDatabase::ExternalDatabase(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
}

ExternalDatabase::~ExternalDatabase() = default;

QString ExternalDatabase::connectionText(const QString& file, const QString& user, const QString& password)
{
    QString text = u"ODBC;DBQ="_s + file;
    const qsizetype backslash = file.lastIndexOf(u'\\');
    if (backslash >= 0)
        text += u";DefaultDir="_s + file.left(backslash);
    text += u";Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access"_s;
    if (!user.isEmpty())
        text += u";UID="_s + user;
    if (!password.isEmpty())
        text += u";PWD="_s + password;
    return text + u';';
}

bool ExternalDatabase::connect(const QString& file, const QString& user, const QString& password, bool readOnly,
                               bool noDialog)
{
    Q_UNUSED(noDialog); // the engine never shows a dialog of its own
    const QString text = connectionText(file, user, password);
    // The engine is opened with what the connection text carries; a name or password it cannot carry
    // unchanged (a ";" inside) does not connect.
    const QHash<QString, QString> fields = ConnectionText::fields(text);
    const QString path = fields.value(u"dbq"_s);
    const QString key = fields.value(u"pwd"_s);
    if (path != file || key != password)
        return false;
    EngineConnection::Options options;
    options.readOnly = readOnly;
    auto engine = EngineConnection::open(path, key, options);
    if (!engine)
        return false;
    d->rowSets.clear();
    d->engine = std::move(engine);
    d->connectionText = text;
    return true;
}

bool ExternalDatabase::isOpen() const
{
    return d->engine != nullptr;
}

void ExternalDatabase::disconnect()
{
    d->rowSets.clear();
    d->engine.reset();
}

QString ExternalDatabase::lastConnectionText() const
{
    return d->connectionText;
}

int ExternalDatabase::query(const QString& statement)
{
    if (!d->engine || statement.isEmpty() || openRowSets() >= MaxRowSets)
        return 0;
    std::unique_ptr<RowSnapshot> rows = d->engine->query(statement);
    if (!rows)
        return 0;
    // Handles are never given twice, so a stale handle cannot reach a newer row set.
    do {
        d->lastHandle = d->lastHandle == std::numeric_limits<int>::max() ? 1 : d->lastHandle + 1;
    } while (d->rowSets.contains(d->lastHandle));
    d->rowSets[d->lastHandle] = RowSet{std::move(rows), 0};
    return d->lastHandle;
}

void ExternalDatabase::moveFirst(int handle)
{
    if (RowSet* set = d->find(handle))
        set->position = 0;
}

void ExternalDatabase::moveNext(int handle)
{
    if (RowSet* set = d->find(handle); set && set->position < set->rows->rowCount())
        ++set->position;
}

bool ExternalDatabase::atEnd(int handle) const
{
    const RowSet* set = d->find(handle);
    return set == nullptr || set->position >= set->rows->rowCount();
}

QVariant ExternalDatabase::read(int handle, const QString& column) const
{
    const RowSet* set = d->find(handle);
    return set ? d->read(handle, set->rows->columnIndex(column)) : QVariant(QString());
}

QVariant ExternalDatabase::read(int handle, int column) const
{
    return d->read(handle, column - 1);
}

void ExternalDatabase::close(int handle)
{
    d->rowSets.erase(handle);
}

bool ExternalDatabase::execute(const QString& statement)
{
    return d->engine && d->engine->execute(statement);
}

int ExternalDatabase::openRowSets() const
{
    return int(d->rowSets.size());
}

} // namespace ovelta
