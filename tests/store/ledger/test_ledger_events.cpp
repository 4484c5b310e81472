// The events of a ledger of known contents (records that share a date, an occasion and a direction), their
// records, and the gift book's writes: each add, update and delete changes exactly the one record it names.
// Records stored by the record entry window's statements belong to the events as well. The events and their
// records read the same with the index of events in the file as without it.

#include "KnownLedger.h"
#include "TempFolder.h"
#include "store/engine/EngineConnection.h"
#include "store/jet/LedgerStatements.h"
#include "store/ledger/LedgerEvents.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QMap>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

constexpr qint64 Big = qint64(1) << 62;

/// The records after the known ones (IDs 11 to 16): two of them through the entry window's own statements.
void addEventRecords(EngineConnection& engine)
{
    const auto entry = [&engine](const QString& name, const QString& relation, qint64 ticks, const QString& note) {
        LedgerStatements::EntryValues values{u"收礼"_s, name, QDate(2026, 10, 1), relation, u"结婚"_s, ticks, note};
        QVERIFY2(engine.execute(LedgerStatements::addRecord(values)), qPrintable(engine.lastError()));
    };
    entry(u"张伟"_s, u"朋友"_s, 2000000, {});
    QVERIFY(test::addRecords(
        engine, {{u"收礼"_s, u"李娜"_s, u"2026-10-01 18:30:00"_s, u"同学"_s, u"结婚"_s, 1234567, u"晚到"_s}}));
    entry(u"王芳"_s, u"亲戚"_s, 5000, u"红包"_s);
    QVERIFY(test::addRecords(engine,
                             {
                                 {u"送礼"_s, u"张伟"_s, u"2026-10-01 00:00:00"_s, u"朋友"_s, u"结婚"_s, 5000000, {}},
                                 {u"收礼"_s, u"甲"_s, u"2025-05-05 00:00:00"_s, u"朋友"_s, u"生日"_s, Big, {}},
                                 {u"收礼"_s, u"乙"_s, u"2025-05-05 00:00:00"_s, u"朋友"_s, u"生日"_s, Big, {}},
                             }));
}

/// Every record of the ledger by ID, as one text of all its columns (NULL as ∅).
QMap<qint64, QString> table(EngineConnection& engine)
{
    QMap<qint64, QString> rows;
    const auto s = engine.prepareNative(u"SELECT ID,收送,姓名,时间,关系,类型,金额,说明 FROM 收送礼"_s);
    while (s && sqlite3_step(s.get()) == SQLITE_ROW) {
        QStringList cells;
        for (int c = 1; c < 8; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), c));
            cells << (text ? QString::fromUtf8(text) : u"∅"_s);
        }
        rows.insert(sqlite3_column_int64(s.get(), 0), cells.join(u'|'));
    }
    return rows;
}

QString digits(Sum value)
{
    QString text;
    do {
        text.prepend(QChar(u'0' + char16_t(value % 10)));
        value /= 10;
    } while (value != 0);
    return text;
}

QList<qint64> ids(const QList<GiftRecord>& records)
{
    QList<qint64> result;
    for (const GiftRecord& r : records)
        result << r.id;
    return result;
}

const EventKey Wedding{QDate(2026, 10, 1), u"结婚"_s, u"收礼"_s};

} // namespace

Q_DECLARE_METATYPE(EventKey)

class TestLedgerEvents : public QObject
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
        addEventRecords(*m_engine);
    }
    void cleanup()
    {
        m_engine.reset();
        m_folder.reset();
    }

    void eventsNewestFirstWithCountsTotalsAndRecords_data()
    {
        QTest::addColumn<bool>("indexed");
        QTest::addColumn<int>("daysPerPage");
        QTest::newRow("every record read") << false << 366;
        QTest::newRow("with the indexes") << true << 366;
        // Pages that end between the events of one day, and before the events without a date.
        QTest::newRow("a day at a time") << true << 1;
        QTest::newRow("two days at a time, every record read") << false << 2;
    }
    void eventsNewestFirstWithCountsTotalsAndRecords()
    {
        QFETCH(bool, indexed);
        QFETCH(int, daysPerPage);
        LedgerEvents store(m_engine.get());
        // Made once; asked again, they are there already.
        for (int i = 0; indexed && i < 2; ++i)
            QVERIFY2(store.ensureIndexes(), qPrintable(store.ensureIndexes().errorText()));
        const auto index = m_engine->prepareNative(u"SELECT count(*) FROM sqlite_master WHERE type='index' AND "
                                                   u"name IN ('收送礼_酒席','收送礼_姓名')"_s);
        QVERIFY(index && sqlite3_step(index.get()) == SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(index.get(), 0), indexed ? 2 : 0);
        const auto events = store.events(daysPerPage);
        QVERIFY2(events, qPrintable(events.errorText()));
        struct Expected
        {
            QString event; ///< date kind direction
            qint64 count;
            QString total;
            QList<qint64> records; ///< newest first
        };
        // Newest date first; one date's events by their newest record; the events without a date last. The two
        // amounts of 2^62 add up beyond 64 bits; the entry window's records and one with a time of day share
        // their date's event.
        const QList<Expected> expected{
            {u"2026-10-01 结婚 送礼"_s, 1, u"5000000"_s, {14}},
            {u"2026-10-01 结婚 收礼"_s, 3, u"3239567"_s, {12, 13, 11}},
            {u"2025-05-05 生日 收礼"_s, 2, u"9223372036854775808"_s, {16, 15}},
            {u"2022-02-02 Tea 送礼"_s, 1, u"3000005"_s, {5}},
            {u"2021-03-01 乔迁 收礼"_s, 1, u"3"_s, {3}},
            {u"2021-03-01 生日 送礼"_s, 1, u"505000"_s, {2}},
            {u"2020-12-31 生日 收礼"_s, 2, u"3000"_s, {10, 9}},
            {u"2020-06-01  收礼"_s, 1, u"10000"_s, {8}},
            {u"2020-01-05 结婚 收礼"_s, 1, u"1000001"_s, {1}},
            {u"2019-07-07 结婚 收礼"_s, 1, u"2000000"_s, {4}},
            {u" tea  送礼"_s, 1, u"100000"_s, {7}},
            {u" 探病 收礼"_s, 1, u"0"_s, {6}},
        };
        QCOMPARE(events->size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const GiftEvent& e = events->at(i);
            const QString shown = e.key.date.toString(Qt::ISODate) + u' ' + e.key.occasion + u' ' + e.key.direction;
            QCOMPARE(shown, expected[i].event);
            QCOMPARE(e.count, expected[i].count);
            QCOMPARE(digits(e.total), expected[i].total);
            const auto records = store.records(e.key);
            QVERIFY2(records, qPrintable(records.errorText()));
            QCOMPARE(ids(*records), expected[i].records);
        }
        const auto wedding = store.records(Wedding);
        QVERIFY(wedding);
        QCOMPARE(wedding->at(1).line.name, u"王芳"_s);
        QCOMPARE(wedding->at(1).line.relation, u"亲戚"_s);
        QCOMPARE(wedding->at(1).line.ticks, 5000);
        QCOMPARE(wedding->at(1).line.note, u"红包"_s);
    }

    void eachWriteChangesExactlyTheRecordItNames_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<EventKey>("event");
        QTest::addColumn<qint64>("id");
        QTest::addColumn<bool>("done");
        QTest::addColumn<QString>("changed"); ///< the one record's row afterwards; empty when it is gone
        QTest::addColumn<QList<qint64>>("eventRecords"); ///< the event's records afterwards, newest first
        const GiftLine line{u"赵敏'"_s, u"同学"_s, 888888, u"双份"_s};
        QTest::newRow("add") << u"add"_s << Wedding << qint64(17) << true
                             << u"收礼|赵敏'|2026-10-01 00:00:00|同学|结婚|888888|双份"_s
                             << QList<qint64>{12, 17, 13, 11};
        QTest::newRow("add without a date") << u"add"_s << EventKey{QDate(), u"探病"_s, u"收礼"_s} << qint64(17) << true
                                            << u"收礼|赵敏'|∅|同学|探病|888888|双份"_s << QList<qint64>{17, 6};
        QTest::newRow("update") << u"update"_s << Wedding << qint64(13) << true
                                << u"收礼|赵敏'|2026-10-01 00:00:00|同学|结婚|888888|双份"_s
                                << QList<qint64>{12, 13, 11};
        QTest::newRow("update of no record")
            << u"update"_s << Wedding << qint64(99) << false << QString() << QList<qint64>{12, 13, 11};
        QTest::newRow("remove") << u"remove"_s << Wedding << qint64(11) << true << QString() << QList<qint64>{12, 13};
        QTest::newRow("remove of no record")
            << u"remove"_s << Wedding << qint64(99) << false << QString() << QList<qint64>{12, 13, 11};
    }
    void eachWriteChangesExactlyTheRecordItNames()
    {
        QFETCH(QString, operation);
        QFETCH(EventKey, event);
        QFETCH(qint64, id);
        QFETCH(bool, done);
        QFETCH(QString, changed);
        QFETCH(QList<qint64>, eventRecords);
        const GiftLine line{u"赵敏'"_s, u"同学"_s, 888888, u"双份"_s};
        QMap<qint64, QString> expected = table(*m_engine);
        LedgerEvents store(m_engine.get());
        QString error;
        if (operation == u"add"_s) {
            const auto added = store.add(event, line);
            QCOMPARE(added.optional(), std::optional<qint64>(id));
            error = added.errorText();
        } else {
            const Done changedOne = operation == u"update"_s ? store.update(id, line) : store.remove(id);
            QCOMPARE(changedOne.ok(), done);
            error = changedOne.errorText();
        }
        QCOMPARE(error.isEmpty(), done);
        if (done && changed.isEmpty())
            expected.remove(id);
        else if (done)
            expected.insert(id, changed);
        QCOMPARE(table(*m_engine), expected);
        QVERIFY(!m_engine->inTransaction());
        QCOMPARE(ids(*store.records(event)), eventRecords);
    }

    void namesAndWhatTheLedgerKnowsOfAPerson_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("except");
        QTest::addColumn<bool>("known");
        QTest::addColumn<QString>("relation");
        QTest::addColumn<qint64>("largest"); ///< -1: none
        // The latest record by date, then ID, gives the relation; the largest amount of either direction.
        QTest::newRow("blanks around a name") << u"张三"_s << qint64(0) << true << u"亲戚"_s << qint64(1000001);
        QTest::newRow("case and blanks") << u" li LEI"_s << qint64(0) << true << u"同事"_s << qint64(3000005);
        QTest::newRow("only undated records") << u"王五"_s << qint64(0) << true << u"邻居"_s << qint64(100000);
        QTest::newRow("given too") << u"张伟"_s << qint64(0) << true << u"朋友"_s << qint64(5000000);
        QTest::newRow("one record left out") << u"张伟"_s << qint64(14) << true << u"朋友"_s << qint64(2000000);
        QTest::newRow("its only record left out") << u"李娜"_s << qint64(12) << false << QString() << qint64(-1);
        QTest::newRow("unknown") << u"无名"_s << qint64(0) << false << QString() << qint64(-1);
    }
    void namesAndWhatTheLedgerKnowsOfAPerson()
    {
        QFETCH(QString, name);
        QFETCH(qint64, except);
        QFETCH(bool, known);
        QFETCH(QString, relation);
        QFETCH(qint64, largest);
        LedgerEvents store(m_engine.get());
        const auto facts = store.personFacts(name, except);
        QVERIFY2(facts, qPrintable(facts.errorText()));
        QCOMPARE(facts->known, known);
        QCOMPARE(facts->relation, relation);
        QCOMPARE(facts->largest.value_or(-1), largest);

        // Every person once, without blanks at both ends, whatever the spellings of their records.
        const auto names = store.names();
        QVERIFY(names);
        QStringList people;
        for (const QString& n : *names)
            people << LedgerTotals::personKey(n);
        QCOMPARE(people,
                 (QStringList{u"li lei"_s, u"乙"_s, u"张三"_s, u"张伟"_s, u"李娜"_s, u"王五"_s, u"王芳"_s, u"甲"_s,
                              u"赵六"_s}));
    }
};

QTEST_GUILESS_MAIN(TestLedgerEvents)
#include "test_ledger_events.moc"
