// A store function's result: its value, or the failure whose sentence the user is shown.

#include "store/value/Failure.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ovelta;

class TestFailure : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sentences_data()
    {
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("text");
        QTest::newRow("no values") << Failure(Problem::RecordGone) << u"这条账目已经不在账簿中。"_s;
        QTest::newRow("the engine's text as it is") << Failure(Problem::Engine, {u"磁盘已满。"_s}) << u"磁盘已满。"_s;
        QTest::newRow("a value holding a placeholder is not filled in again")
            << Failure(Problem::ReadRecords, {u"%1 %2"_s}) << u"读取账目失败：\n%1 %2"_s;
        QTest::newRow("a value the sentence does not name is kept, not shown")
            << Failure(Problem::TotalsUnread, {u"disk I/O error"_s}) << u"读取账目失败，无法汇总。"_s;
    }
    void sentences()
    {
        QFETCH(Failure, failure);
        QFETCH(QString, text);
        QCOMPARE(failure.text(), text);
    }

    void resultHoldsOneOfTheTwo()
    {
        const Result<QString> value(u"甲"_s);
        QVERIFY(value.ok());
        QCOMPARE(*value, u"甲"_s);
        QVERIFY(value.errorText().isEmpty());

        const Result<QString> failed(Problem::Cancelled);
        QVERIFY(!failed && failed.cancelled());
        QCOMPARE(failed.valueOr(u"乙"_s), u"乙"_s);
        QCOMPARE(failed.optional(), std::nullopt);

        const Done done;
        QVERIFY(done.ok() && !done.cancelled());
        const Done gone(Problem::RecordGone);
        QCOMPARE(gone.errorText(), Failure(Problem::RecordGone).text());
    }
};

Q_DECLARE_METATYPE(ovelta::Failure)

QTEST_GUILESS_MAIN(TestFailure)
#include "test_failure.moc"
