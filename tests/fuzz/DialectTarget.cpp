// Fuzz target over the Jet dialect and the amount parser: one input, read as UTF-8 text, is
//  - translated as a statement of its own, with and without the row keys;
//  - read as an amount (as typed and as a literal), as a date-time and as find criteria, each of which must
//    read back what it writes;
//  - put as the user's text into every statement the windows build, each translated and run in a ledger
//    file: a text is stored and read back exactly, and never changes the statement around it (only a text
//    with a NUL is refused: the engine takes a statement up to its first NUL).
// A broken property aborts with the input in hex. Built with libFuzzer (-DOVELTA_FUZZ=ON, clang) or with the
// replay driver of the test command.

#include "store/engine/EngineConnection.h"
#include "store/engine/JetDialect.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "store/jet/RowCriteria.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/value/JetDateTime.h"
#include "store/value/Money.h"
#include "store/value/SqlText.h"

#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

[[noreturn]] void broken(const char* property, const QString& input)
{
    std::fprintf(stderr, "fuzz: broken: %s\ninput (UTF-8, hex): %s\n", property, input.toUtf8().toHex().constData());
    std::abort();
}

#define CHECK(property)                                                                                                \
    do {                                                                                                               \
        if (!(property))                                                                                               \
            broken(#property, input);                                                                                  \
    } while (false)

/// A ledger file of its own, created once; every input's writes are rolled back.
struct Ledger
{
    QTemporaryDir folder;
    DatabaseConnection connection;
    RecordSet records;

    Ledger()
    {
        const QString file = folder.filePath(LedgerFile::name());
        if (!LedgerSchema::createFile(file, LedgerFile::password()) || !connection.connect(file, LedgerFile::password())
            || !records.bind(&connection))
            std::abort();
        // Speed over durability: nothing of this file is ever kept.
        connection.engine()->executeNative("PRAGMA journal_mode=MEMORY");
        connection.engine()->executeNative("PRAGMA synchronous=OFF");
    }
};

Ledger& ledger()
{
    static Ledger instance;
    return instance;
}

/// The first column of the first row of an engine query, read through the engine itself: the reads that check
/// the program's writes do not go through the program.
QString stored(const QString& sql)
{
    const EngineConnection::Statement statement = ledger().connection.engine()->prepareNative(sql);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW)
        return u"(no row)"_s;
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)),
                             sqlite3_column_bytes(statement.get(), 0));
}

void translations(const QString& input)
{
    const JetDialect::TableLookup lookup = ledger().connection.engine()->tableLookup();
    for (const bool withRowid : {false, true}) {
        const JetDialect::Translation t = JetDialect::translate(input, lookup, withRowid);
        CHECK(t.ok == t.error.isEmpty());
        CHECK(t.ok || t.sql.isEmpty());
        CHECK(!t.ok || !t.sql.trimmed().isEmpty());
        CHECK(!t.returnsRowid || (withRowid && !t.rowidTable.isEmpty()));
        // The engine would cut a statement at a NUL: the translation never makes one.
        CHECK(input.contains(QChar(u'\0')) || !t.sql.contains(QChar(u'\0')));
        const JetDialect::Translation again = JetDialect::translate(input, lookup, withRowid);
        CHECK(again.ok == t.ok && again.sql == t.sql && again.error == t.error);
    }
}

void amounts(const QString& input)
{
    for (const auto& ticks : {Money::parseLiteral(input), Money::parseUserAmount(input)}) {
        if (!ticks)
            continue;
        CHECK(Money::parseLiteral(Money::toLiteral(*ticks)) == ticks);
        const std::optional<qint64> cents = Money::parseLiteral(Money::toTwoDecimals(*ticks));
        CHECK(cents && *cents % 100 == 0 && std::abs(double(*cents) - double(*ticks)) <= 50.0);
        // The dialect stores the same amount from a literal in a statement.
        const JetDialect::Translation t
            = JetDialect::translate(u"update 收送礼 set 金额='"_s + Money::toLiteral(*ticks) + u"'"_s,
                                    ledger().connection.engine()->tableLookup());
        CHECK(t.ok && t.sql.contains(JetDialect::ticksLiteral(*ticks)));
    }
}

void datesAndCriteria(const QString& input)
{
    if (const auto when = JetDateTime::parse(input)) {
        CHECK(JetDateTime::parse(when->canonical()) == when);
        const QByteArray canonical = when->canonical().toLatin1();
        CHECK(JetDateTime::fromCanonical(canonical.constData(), canonical.size()) == when);
        CHECK(JetDateTime::fromPacked(when->packed()) == when);
    }
    if (const auto criteria = RowCriteria::parse(input))
        CHECK(!criteria->column().isEmpty());
}

/// The input as the user's text in every statement the windows build, run in the ledger file.
void userText(const QString& input)
{
    Ledger& l = ledger();
    DatabaseConnection& connection = l.connection;
    RecordSet& records = l.records;
    // A statement cut at a NUL is refused by the engine, and refused as a whole.
    const bool storable = !input.contains(QChar(u'\0'));

    LedgerStatements::EntryValues values{u"收礼"_s, input, QDate(2011, 6, 2), input, input, 123456, input};
    records.inTransaction([&] {
        CHECK(connection.execute(LedgerStatements::addRecord(values)) == storable);
        if (!storable)
            return false;
        const QString id = QString::number(connection.engine()->lastInsertRowid());
        CHECK(stored(u"SELECT 姓名||'|'||关系||'|'||类型||'|'||说明||'|'||金额 FROM 收送礼 WHERE ID="_s + id)
              == QStringList({input, input, input, input, u"123456"_s}).join(u'|'));
        values.name = input + input;
        values.amountTicks = -7;
        CHECK(connection.execute(LedgerStatements::modifyRecord(values, id)));
        CHECK(stored(u"SELECT 姓名||'|'||说明||'|'||金额||'|'||count(*) FROM 收送礼"_s)
              == QStringList({input + input, input, u"-7"_s, u"1"_s}).join(u'|'));

        for (const auto list : {LedgerStatements::LookupList::Relations, LedgerStatements::LookupList::Occasions}) {
            const QString table = LedgerStatements::lookupTable(list);
            CHECK(records.open(LedgerStatements::findDuplicate(list, input)));
            records.close();
            CHECK(connection.execute(LedgerStatements::addLookup(list, input)));
            const QString added = QString::number(connection.engine()->lastInsertRowid());
            CHECK(stored(u"SELECT "_s + table + u" FROM "_s + table + u" WHERE ID="_s + added) == input);
            CHECK(connection.execute(LedgerStatements::deleteLookup(list, added)));
        }
        CHECK(records.open(LedgerStatements::findAccount(input)));
        records.close();
        return false;
    });

    for (const bool rangeOn : {false, true}) {
        for (const QString& direction : {LedgerStatements::anyDirection(), input}) {
            const QString statement
                = LedgerStatements::search({rangeOn, QDate(2011, 5, 2), QDate(2011, 6, 2), direction, input});
            // A like pattern is limited to 50,000 bytes in the engine; beyond that the search is refused.
            if (storable && SqlText::escaped(input).toUtf8().size() < 49000)
                CHECK(records.open(statement));
            else
                records.open(statement);
            records.close();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    translations(input);
    amounts(input);
    datesAndCriteria(input);
    userText(input);
    return 0;
}
