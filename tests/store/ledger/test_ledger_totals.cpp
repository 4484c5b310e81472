// The store's sums over a ledger of known contents: per person, one person's records with the running
// balance, and the statistics per year, occasion and relation; names compared as the search compares them,
// records without a date, amount or name, four-decimal amounts summed exactly, and sums beyond 64 bits added exactly.

#include "KnownLedger.h"
#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "store/ledger/LedgerTotals.h"

#include <QFile>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

const PersonTotals* findPerson(const QList<PersonTotals>& people, const QString& key)
{
    for (const PersonTotals& p : people) {
        if (LedgerTotals::personKey(p.name) == key)
            return &p;
    }
    return nullptr;
}

const GroupTotals* findGroup(const QList<GroupTotals>& groups, const QString& key)
{
    for (const GroupTotals& g : groups) {
        if (LedgerTotals::personKey(g.key) == LedgerTotals::personKey(key))
            return &g;
    }
    return nullptr;
}

/// The exact decimal digits of a sum.
QString digits(Sum value)
{
    QString text;
    const bool negative = value < 0;
    do {
        const int digit = int(value % 10);
        text.prepend(QChar(u'0' + char16_t(negative ? -digit : digit)));
        value /= 10;
    } while (value != 0);
    return negative ? u"-"_s + text : text;
}

QStringList keys(const QList<GroupTotals>& groups)
{
    QStringList result;
    for (const GroupTotals& g : groups)
        result << g.key;
    return result;
}

} // namespace

class TestLedgerTotals : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempFolder> m_folder;
    std::shared_ptr<EngineConnection> m_engine;

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<test::TempFolder>();
        QVERIFY(LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()));
        m_engine = EngineConnection::open(LedgerFile::name(), LedgerFile::password());
        QVERIFY(m_engine);
        QVERIFY(test::addRecords(*m_engine, test::knownRecords()));
    }
    void cleanup()
    {
        m_engine.reset();
        m_folder.reset();
    }

    void personKeyTrimsBlanksAndFoldsAsciiCaseOnly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("key");
        QTest::newRow("plain") << u"张三"_s << u"张三"_s;
        QTest::newRow("ascii and full-width blanks") << u" 　张三 　"_s << u"张三"_s;
        QTest::newRow("inner blank stays") << u" Li  Lei "_s << u"li  lei"_s;
        QTest::newRow("tab is no blank") << u"\t张三"_s << u"\t张三"_s;
        QTest::newRow("non-ASCII case stays") << u"ÄBC"_s << u"Äbc"_s;
        QTest::newRow("only blanks") << u" 　 "_s << QString();
    }
    void personKeyTrimsBlanksAndFoldsAsciiCaseOnly()
    {
        QFETCH(QString, name);
        QFETCH(QString, key);
        QCOMPARE(LedgerTotals::personKey(name), key);
    }

    void totalsByPerson_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("relation");
        QTest::addColumn<qint64>("receivedCount");
        QTest::addColumn<qint64>("receivedTicks");
        QTest::addColumn<qint64>("givenCount");
        QTest::addColumn<qint64>("givenTicks");
        QTest::addColumn<qint64>("balance");
        QTest::addColumn<QDate>("latest");
        // Two records of one day: the later ID is the latest, and its relation and spelling are shown.
        QTest::newRow("blanks around the name") << u"张三"_s << u"张三"_s << u"亲戚"_s << qint64(2) << qint64(1000004)
                                                << qint64(1) << qint64(505000) << qint64(495004) << QDate(2021, 3, 1);
        // The record without a date or amount counts as a gift of nothing and is never the latest.
        QTest::newRow("case and blanks") << u"li lei"_s << u"li lei"_s << u"同事"_s << qint64(2) << qint64(2000000)
                                         << qint64(1) << qint64(3000005) << qint64(-1000005) << QDate(2022, 2, 2);
        QTest::newRow("no date at all") << u"王五"_s << u"王五"_s << u"邻居"_s << qint64(0) << qint64(0) << qint64(1)
                                        << qint64(100000) << qint64(-100000) << QDate();
        QTest::newRow("no name") << QString() << QString() << QString() << qint64(1) << qint64(10000) << qint64(0)
                                 << qint64(0) << qint64(10000) << QDate(2020, 6, 1);
        // 0.1 + 0.2 is 0.3 exactly.
        QTest::newRow("exact decimals") << u"赵六"_s << u"赵六"_s << u"朋友"_s << qint64(2) << qint64(3000) << qint64(0)
                                        << qint64(0) << qint64(3000) << QDate(2020, 12, 31);
    }
    void totalsByPerson()
    {
        QFETCH(QString, key);
        LedgerTotals totals(m_engine.get());
        const auto people = totals.totalsByPerson();
        QVERIFY2(people, qPrintable(people.errorText()));
        QCOMPARE(people->size(), 5);
        const PersonTotals* p = findPerson(*people, key);
        QVERIFY(p != nullptr);
        QTEST(p->name, "name");
        QTEST(p->relation, "relation");
        QTEST(p->received.count, "receivedCount");
        QTEST(qint64(p->received.ticks), "receivedTicks");
        QTEST(p->given.count, "givenCount");
        QTEST(qint64(p->given.ticks), "givenTicks");
        QTEST(qint64(p->balance), "balance");
        QTEST(p->latest, "latest");
    }

    // Spellings of one person: blanks (ASCII and full-width) at both ends and ASCII case do not matter, other
    // letters' case does; the person is named as the latest record spells it, a later time of the same day
    // and then a higher ID counting as later.
    void spellingsOfOnePersonAreAddedUp()
    {
        QVERIFY(m_engine->executeNative("DELETE FROM 收送礼"));
        QVERIFY(test::addRecords(*m_engine,
                                 {{u"收礼"_s, u"Li Lei"_s, u"2020-05-01 09:00:00"_s, u"同学"_s, u"结婚"_s, 100, {}},
                                  {u"收礼"_s, u"　li lei "_s, u"2020-05-01 18:30:00"_s, u"朋友"_s, u"生日"_s, 200, {}},
                                  {u"送礼"_s, u"LI LEI"_s, u"2019-01-01 00:00:00"_s, u"亲戚"_s, u"生日"_s, 50, {}},
                                  {u"收礼"_s, u"Ä"_s, u"2020-01-01 00:00:00"_s, u"朋友"_s, u"结婚"_s, 1, {}},
                                  {u"收礼"_s, u"ä"_s, u"2020-01-01 00:00:00"_s, u"朋友"_s, u"结婚"_s, 2, {}},
                                  {u"收礼"_s, u"Ä"_s, u"2020-01-01 00:00:00"_s, u"同事"_s, u"结婚"_s, 4, {}}}));
        LedgerTotals totals(m_engine.get());
        const auto people = totals.totalsByPerson();
        QVERIFY2(people, qPrintable(people.errorText()));
        const PersonTotals* li = findPerson(*people, u"li lei"_s);
        QVERIFY(li != nullptr);
        QCOMPARE(li->name, u"li lei"_s);
        QCOMPARE(li->relation, u"朋友"_s);
        QCOMPARE(li->received, (GiftSum{2, 300}));
        QCOMPARE(li->given, (GiftSum{1, 50}));
        QCOMPARE(li->latest, QDate(2020, 5, 1));
        // Only ASCII letters are folded; of two records of one day the one of the higher ID is the latest.
        const PersonTotals* upper = findPerson(*people, u"Ä"_s);
        QVERIFY(upper != nullptr);
        QCOMPARE(upper->received, (GiftSum{2, 5}));
        QCOMPARE(upper->relation, u"同事"_s);
        QVERIFY(findPerson(*people, u"ä"_s) != nullptr);
    }

    // More records than are handed over at once, so that the sums cross the batches they are read in.
    void manyRecordsAddUpExactly()
    {
        QVERIFY(m_engine->executeNative("DELETE FROM 收送礼"));
        QList<test::KnownRecord> records;
        for (int i = 0; i < 10001; ++i)
            records.append({i % 2 ? u"收礼"_s : u"送礼"_s,
                            i % 3 ? u"甲"_s : u"乙"_s,
                            u"2020-01-%1 00:00:00"_s.arg(1 + i % 28, 2, 10, QChar(u'0')),
                            u"朋友"_s,
                            u"结婚"_s,
                            qint64(1 + i % 7),
                            {}});
        QVERIFY(m_engine->executeNative("BEGIN"));
        QVERIFY(test::addRecords(*m_engine, records));
        QVERIFY(m_engine->executeNative("COMMIT"));
        LedgerTotals totals(m_engine.get());
        const auto people = totals.totalsByPerson();
        QVERIFY2(people, qPrintable(people.errorText()));
        qint64 count = 0, ticks = 0;
        for (const PersonTotals& p : *people) {
            count += p.received.count + p.given.count;
            ticks += p.received.ticks + p.given.ticks;
        }
        QCOMPARE(count, qint64(10001));
        qint64 expected = 0;
        for (int i = 0; i < 10001; ++i)
            expected += 1 + i % 7;
        QCOMPARE(ticks, expected);
        const auto cells = totals.statisticsCells();
        QVERIFY(cells);
        QCOMPARE(cells->size(), 1);
        QCOMPARE(cells->first().received.count + cells->first().given.count, qint64(10001));
        QCOMPARE(cells->first().received.ticks + cells->first().given.ticks, expected);
    }

    // Reading the sums changes nothing in the file: no index, no table, not a byte.
    void sumsLeaveTheFileAsItWas()
    {
        QVERIFY(test::addRecords(*m_engine,
                                 {{u"收礼"_s, u"甲"_s, u"2020-02-01 00:00:00"_s, u"朋友"_s, u"结婚"_s, 100, {}}}));
        auto schema = [this] {
            const auto statement = m_engine->prepareNative(u"SELECT group_concat(name) FROM sqlite_master"_s);
            return statement && sqlite3_step(statement.get()) == SQLITE_ROW
                ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)))
                : QString();
        };
        const QString before = schema();
        QFile file(LedgerFile::name());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        LedgerTotals totals(m_engine.get());
        QVERIFY(totals.totalsByPerson());
        QVERIFY(totals.statisticsCells());
        QCOMPARE(schema(), before);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == bytes);
    }

    void recordsOfPerson_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QList<qint64>>("ids");
        QTest::addColumn<QList<qint64>>("balances");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("given");
        // Same day: by ID.
        QTest::newRow("blanks asked") << u"　张三 "_s << QList<qint64>{1, 2, 3}
                                      << QList<qint64>{1000001, 495001, 495004} << qint64(1000004) << qint64(505000);
        // Without a date first; the gift without an amount leaves the balance.
        QTest::newRow("other case") << u"LI LEI"_s << QList<qint64>{6, 4, 5} << QList<qint64>{0, 2000000, -1000005}
                                    << qint64(2000000) << qint64(3000005);
        QTest::newRow("no name") << QString() << QList<qint64>{8} << QList<qint64>{10000} << qint64(10000) << qint64(0);
        QTest::newRow("blank name") << u" 　"_s << QList<qint64>{8} << QList<qint64>{10000} << qint64(10000)
                                    << qint64(0);
        // Pattern characters and quotes are plain text here.
        QTest::newRow("like pattern") << u"li_lei"_s << QList<qint64>{} << QList<qint64>{} << qint64(0) << qint64(0);
        QTest::newRow("percent") << u"%"_s << QList<qint64>{} << QList<qint64>{} << qint64(0) << qint64(0);
        QTest::newRow("quote") << u"O'Brien"_s << QList<qint64>{} << QList<qint64>{} << qint64(0) << qint64(0);
    }
    void recordsOfPerson()
    {
        QFETCH(QString, asked);
        QFETCH(QList<qint64>, ids);
        QFETCH(QList<qint64>, balances);
        QFETCH(qint64, received);
        QFETCH(qint64, given);
        // The same answers with and without the index that finds a person at once.
        for (const bool indexed : {false, true}) {
            LedgerTotals totals(m_engine.get());
            if (indexed)
                QVERIFY(totals.ensurePersonIndex());
            const auto history = totals.recordsOfPerson(asked);
            QVERIFY2(history, qPrintable(history.errorText()));
            QList<qint64> gotIds;
            QList<qint64> gotBalances;
            for (const PersonRecord& r : history->records) {
                gotIds << r.id;
                gotBalances << r.balance;
            }
            QCOMPARE(gotIds, ids);
            QCOMPARE(gotBalances, balances);
            QCOMPARE(history->received.ticks, received);
            QCOMPARE(history->given.ticks, given);
            QCOMPARE(history->balance, received - given);
            if (!balances.isEmpty())
                QCOMPARE(history->balance, balances.last());
        }
    }

    void recordFieldsAsStored()
    {
        LedgerTotals totals(m_engine.get());
        const auto history = totals.recordsOfPerson(u"li lei"_s);
        QVERIFY(history);
        QCOMPARE(history->records.size(), 3);
        const PersonRecord& undated = history->records.at(0);
        QCOMPARE(undated.name, u"LI LEI "_s);
        QVERIFY(!undated.time);
        QCOMPARE(undated.amount, std::nullopt);
        QCOMPARE(undated.occasion, u"探病"_s);
        QCOMPARE(undated.note, u"没有日期和金额"_s);
        const PersonRecord& given = history->records.at(2);
        QCOMPARE(given.direction, u"送礼"_s);
        QCOMPARE(given.time->date(), QDate(2022, 2, 2));
        QCOMPARE(given.relation, u"同事"_s);
        QCOMPARE(given.amount, qint64(3000005));
        QCOMPARE(history->received.count, qint64(2));
        QCOMPARE(history->given.count, qint64(1));
    }

    void statisticsPerYear()
    {
        LedgerTotals totals(m_engine.get());
        const auto cells = totals.statisticsCells();
        QVERIFY2(cells, qPrintable(cells.errorText()));
        const auto years = LedgerTotals::byYear(*cells);
        QVERIFY(years);
        QCOMPARE(keys(*years), (QStringList{u"2019"_s, u"2020"_s, u"2021"_s, u"2022"_s, QString()}));
        struct Expected
        {
            qint64 inCount, inTicks, outCount, outTicks, balance;
        };
        const QList<Expected> expected = {
            {1, 2000000, 0, 0, 2000000},  {4, 1013001, 0, 0, 1013001}, {1, 3, 1, 505000, -504997},
            {0, 0, 1, 3000005, -3000005}, {1, 0, 1, 100000, -100000},
        };
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const GroupTotals& g = years->at(i);
            const Expected& e = expected.at(i);
            QCOMPARE(g.received, (GiftSum{e.inCount, e.inTicks}));
            QCOMPARE(g.given, (GiftSum{e.outCount, e.outTicks}));
            QCOMPARE(g.balance, e.balance);
        }
        const auto all = LedgerTotals::overall(*years);
        QVERIFY(all);
        QCOMPARE(all->received, (GiftSum{7, 3013004}));
        QCOMPARE(all->given, (GiftSum{3, 3605005}));
        QCOMPARE(all->balance, qint64(-592001));
    }

    void statisticsPerKindAndRelation()
    {
        LedgerTotals totals(m_engine.get());
        const auto cells = totals.statisticsCells();
        QVERIFY(cells);

        const auto kinds = LedgerTotals::byOccasion(*cells, std::nullopt);
        QVERIFY(kinds);
        // "Tea" and "tea " are one occasion; the text order puts ASCII first and the empty key last.
        QCOMPARE(kinds->size(), 6);
        QCOMPARE(kinds->first().key.toLower(), u"tea"_s);
        QCOMPARE(kinds->first().given, (GiftSum{2, 3100005}));
        QVERIFY(kinds->last().key.isEmpty());
        QCOMPARE(kinds->last().received, (GiftSum{1, 10000}));
        QCOMPARE(findGroup(*kinds, u"结婚"_s)->received, (GiftSum{2, 3000001}));
        QCOMPARE(findGroup(*kinds, u"生日"_s)->received, (GiftSum{2, 3000}));
        QCOMPARE(findGroup(*kinds, u"生日"_s)->given, (GiftSum{1, 505000}));
        QCOMPARE(findGroup(*kinds, u"生日"_s)->balance, qint64(-502000));
        QCOMPARE(findGroup(*kinds, u"探病"_s)->received, (GiftSum{1, 0}));

        const auto kinds2021 = LedgerTotals::byOccasion(*cells, 2021);
        QVERIFY(kinds2021);
        QCOMPARE(keys(*kinds2021), (QStringList{u"乔迁"_s, u"生日"_s}));
        QCOMPARE(kinds2021->at(0).received, (GiftSum{1, 3}));
        QCOMPARE(kinds2021->at(1).given, (GiftSum{1, 505000}));
        QVERIFY(LedgerTotals::byOccasion(*cells, 1990)->isEmpty());

        const auto relations = LedgerTotals::byRelation(*cells, std::nullopt);
        QVERIFY(relations);
        QCOMPARE(relations->size(), 6);
        QCOMPARE(findGroup(*relations, u"朋友"_s)->received, (GiftSum{3, 1003001}));
        QCOMPARE(findGroup(*relations, u"同事"_s)->received, (GiftSum{2, 2000000}));
        QCOMPARE(findGroup(*relations, u"同事"_s)->given, (GiftSum{1, 3000005}));
        QCOMPARE(findGroup(*relations, u"邻居"_s)->given, (GiftSum{1, 100000}));
        QVERIFY(relations->last().key.isEmpty());
        // Every view adds up to the same whole.
        QCOMPARE(LedgerTotals::overall(*relations)->balance, qint64(-592001));
        QCOMPARE(LedgerTotals::overall(*kinds)->balance, qint64(-592001));
    }

    void otherDirectionsCountNowhere()
    {
        QVERIFY(test::addRecords(*m_engine,
                                 {{u"其他"_s, u"张三"_s, u"2023-01-01 00:00:00"_s, u"朋友"_s, u"结婚"_s, 990000, {}}}));
        LedgerTotals totals(m_engine.get());
        const auto people = totals.totalsByPerson();
        QVERIFY(people);
        const PersonTotals* p = findPerson(*people, u"张三"_s);
        QCOMPARE(p->received, (GiftSum{2, 1000004}));
        QCOMPARE(p->given, (GiftSum{1, 505000}));
        QCOMPARE(p->latest, QDate(2023, 1, 1));
        const auto history = totals.recordsOfPerson(u"张三"_s);
        QCOMPARE(history->records.size(), 4);
        QCOMPARE(history->records.last().balance, qint64(495004));
    }

    // Sums and balances beyond the 64-bit range of one amount are added exactly, the same in all three views.
    void sumsBeyondSixtyFourBitsAreExact_data()
    {
        const qint64 largest = std::numeric_limits<qint64>::max();
        const qint64 smallest = std::numeric_limits<qint64>::min();
        QTest::addColumn<QList<qint64>>("received");
        QTest::addColumn<QList<qint64>>("given");
        QTest::addColumn<QString>("receivedSum");
        QTest::addColumn<QString>("givenSum");
        QTest::addColumn<QString>("balance");
        QTest::newRow("received one beyond") << QList<qint64>{largest, 1} << QList<qint64>{} << u"9223372036854775808"_s
                                             << u"0"_s << u"9223372036854775808"_s;
        QTest::newRow("balance beyond, each sum within")
            << QList<qint64>{largest} << QList<qint64>{-1} << u"9223372036854775807"_s << u"-1"_s
            << u"9223372036854775808"_s;
        QTest::newRow("negative beyond") << QList<qint64>{smallest, smallest} << QList<qint64>{largest}
                                         << u"-18446744073709551616"_s << u"9223372036854775807"_s
                                         << u"-27670116110564327423"_s;
        QTest::newRow("many largest") << QList<qint64>{largest, largest, largest, largest} << QList<qint64>{smallest}
                                      << u"36893488147419103228"_s << u"-9223372036854775808"_s
                                      << u"46116860184273879036"_s;
    }
    void sumsBeyondSixtyFourBitsAreExact()
    {
        QFETCH(QList<qint64>, received);
        QFETCH(QList<qint64>, given);
        QFETCH(QString, receivedSum);
        QFETCH(QString, givenSum);
        QFETCH(QString, balance);
        QList<test::KnownRecord> records;
        int day = 0;
        for (const qint64 ticks : received)
            records.append(
                {u"收礼"_s, u"钱多"_s, u"2023-01-%1 00:00:00"_s.arg(++day, 2, 10, QChar(u'0')), {}, {}, ticks, {}});
        for (const qint64 ticks : given)
            records.append(
                {u"送礼"_s, u"钱多"_s, u"2024-01-%1 00:00:00"_s.arg(++day, 2, 10, QChar(u'0')), {}, {}, ticks, {}});
        QVERIFY(test::addRecords(*m_engine, records));
        const QStringList expected{receivedSum, givenSum, balance};
        auto texts = [](const GiftSum& in, const GiftSum& out, Sum difference) {
            return QStringList{digits(in.ticks), digits(out.ticks), digits(difference)};
        };

        LedgerTotals totals(m_engine.get());
        const auto people = totals.totalsByPerson();
        QVERIFY2(people, qPrintable(people.errorText()));
        const PersonTotals* p = findPerson(*people, u"钱多"_s);
        QVERIFY(p != nullptr);
        QCOMPARE(texts(p->received, p->given, p->balance), expected);
        QCOMPARE(p->received.count, received.size());

        const auto history = totals.recordsOfPerson(u"钱多"_s);
        QVERIFY2(history, qPrintable(history.errorText()));
        QCOMPARE(texts(history->received, history->given, history->balance), expected);
        QCOMPARE(history->given.count, given.size());
        QCOMPARE(digits(history->records.last().balance), balance);

        const auto cells = totals.statisticsCells();
        QVERIFY2(cells, qPrintable(cells.errorText()));
        const auto years = LedgerTotals::byYear(*cells);
        QVERIFY(years);
        // The known ledger's records are of other years.
        QList<GroupTotals> ours;
        for (const GroupTotals& g : *years) {
            if (g.key == u"2023"_s || g.key == u"2024"_s)
                ours << g;
        }
        const auto all = LedgerTotals::overall(ours);
        QVERIFY(all);
        QCOMPARE(texts(all->received, all->given, all->balance), expected);
    }

    void withoutConnection()
    {
        LedgerTotals totals(nullptr);
        const auto people = totals.totalsByPerson();
        QVERIFY(!people);
        QCOMPARE(people.failure().problem(), Problem::NoLedger);
        QVERIFY(!totals.recordsOfPerson(u"张三"_s));
        QVERIFY(!totals.statisticsCells());
        QVERIFY(!totals.ensurePersonIndex());
    }

    void emptyLedger()
    {
        QVERIFY(m_engine->executeNative("DELETE FROM 收送礼"));
        LedgerTotals totals(m_engine.get());
        QVERIFY(totals.totalsByPerson()->isEmpty());
        QVERIFY(totals.recordsOfPerson(u"张三"_s)->records.isEmpty());
        const auto cells = totals.statisticsCells();
        QVERIFY(cells && cells->isEmpty());
        QCOMPARE(LedgerTotals::overall(*LedgerTotals::byYear(*cells))->balance, qint64(0));
    }

    void daysOfOneYearAddUpInOneCell()
    {
        QVERIFY(test::addRecords(*m_engine,
                                 {{u"收礼"_s, u"甲"_s, u"2020-02-01 00:00:00"_s, u"朋友"_s, u"结婚"_s, 100, {}},
                                  {u"收礼"_s, u"乙"_s, u"2020-03-01 00:00:00"_s, u"朋友"_s, u"结婚"_s, 200, {}},
                                  {u"送礼"_s, u"丙"_s, u"2021-01-01 00:00:00"_s, u"朋友 "_s, u"结婚"_s, 300, {}}}));
        LedgerTotals totals(m_engine.get());
        const auto cells = totals.statisticsCells();
        QVERIFY(cells);
        int found = 0;
        for (const StatisticsCell& c : *cells) {
            if (c.occasion == u"结婚"_s && c.relation == u"朋友"_s && c.year == 2020) {
                ++found;
                QCOMPARE(c.received, (GiftSum{3, 1000301}));
            }
            if (c.occasion == u"结婚"_s && c.relation == u"朋友"_s && c.year == 2021) {
                ++found;
                QCOMPARE(c.given, (GiftSum{1, 300}));
            }
        }
        QCOMPARE(found, 2);
    }

    void theLedgerIsReadWithoutThePersonIndex()
    {
        LedgerTotals totals(m_engine.get());
        QVERIFY(totals.ensurePersonIndex());
        auto plan = [this](const QString& sql) {
            const auto statement = m_engine->prepareNative(u"EXPLAIN QUERY PLAN "_s + sql);
            QString detail;
            while (statement && sqlite3_step(statement.get()) == SQLITE_ROW)
                detail += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 3)));
            return detail;
        };
        // The ledger refill and the search go on reading the table itself.
        for (const QString& sql : {u"SELECT * FROM 收送礼 ORDER BY 时间 DESC"_s,
                                   u"SELECT * FROM 收送礼 WHERE 姓名 LIKE '%明%' ORDER BY 时间 DESC"_s}) {
            const QString ledger = plan(sql);
            QVERIFY2(!ledger.contains(u"INDEX"_s), qPrintable(ledger));
        }
    }

    void indexIsFoundByThePersonStatement()
    {
        LedgerTotals totals(m_engine.get());
        QVERIFY(totals.ensurePersonIndex());
        QVERIFY(totals.ensurePersonIndex()); // once made, asking again changes nothing
        const auto plan = m_engine->prepareNative(
            u"EXPLAIN QUERY PLAN SELECT ID FROM 收送礼 WHERE lower(trim(姓名,' 　'))=lower(trim(?3,' 　'))"_s);
        QVERIFY(plan);
        QString detail;
        while (sqlite3_step(plan.get()) == SQLITE_ROW)
            detail += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(plan.get(), 3)));
        QVERIFY2(detail.contains(u"收送礼_往来人"_s), qPrintable(detail));
    }
};

QTEST_GUILESS_MAIN(TestLedgerTotals)
#include "test_ledger_totals.moc"
