#include "store/Money.h"

#include <QTest>
#include <limits>

using namespace Qt::StringLiterals;
using namespace ovelta;

constexpr qint64 Max = std::numeric_limits<qint64>::max();
constexpr qint64 Min = std::numeric_limits<qint64>::min();

class TestMoney : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseLiteral_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<qint64>("ticks");

        QTest::newRow("integer") << u"200"_s << true << qint64(2000000);
        QTest::newRow("no binary step") << u"66.6"_s << true << qint64(666000);
        QTest::newRow("one tick") << u"0.0001"_s << true << qint64(1);
        QTest::newRow("negative tick") << u"-0.0001"_s << true << qint64(-1);
        QTest::newRow("largest") << u"922337203685477.5807"_s << true << Max;
        QTest::newRow("one beyond the largest") << u"922337203685477.5808"_s << false << qint64(0);
        QTest::newRow("smallest") << u"-922337203685477.5808"_s << true << Min;
        QTest::newRow("one below the smallest") << u"-922337203685477.5809"_s << false << qint64(0);
        QTest::newRow("rounding up reaches the range end") << u"922337203685477.58075"_s << false << qint64(0);
        QTest::newRow("fifth decimal rounds half away") << u"0.00005"_s << true << qint64(1);
        QTest::newRow("fifth decimal rounds half away, negative") << u"-0.00005"_s << true << qint64(-1);
        QTest::newRow("below half") << u"0.000049999"_s << true << qint64(0);
        QTest::newRow("plus sign") << u"+12.5"_s << true << qint64(125000);
        QTest::newRow("leading point") << u".5"_s << true << qint64(5000);
        QTest::newRow("trailing point") << u"5."_s << true << qint64(50000);
        QTest::newRow("leading zeros") << u"000000000000000000000012"_s << true << qint64(120000);
        QTest::newRow("negative zero") << u"-0"_s << true << qint64(0);
        QTest::newRow("exponent") << u"1.5e3"_s << true << qint64(15000000);
        QTest::newRow("negative exponent") << u"5E-5"_s << true << qint64(1);
        QTest::newRow("huge exponent of zero") << u"0e999999999999"_s << true << qint64(0);
        QTest::newRow("huge exponent") << u"1e999999999999"_s << false << qint64(0);
        QTest::newRow("tiny exponent") << u"9e-999999999999"_s << true << qint64(0);
        QTest::newRow("many digits") << u"12345678901234567890"_s << false << qint64(0);
        QTest::newRow("float single-precision text") << u"66.59999847412"_s << true << qint64(666000);
        QTest::newRow("empty") << u""_s << false << qint64(0);
        QTest::newRow("point alone") << u"."_s << false << qint64(0);
        QTest::newRow("sign alone") << u"-"_s << false << qint64(0);
        QTest::newRow("letters") << u"abc"_s << false << qint64(0);
        QTest::newRow("thousands separator") << u"1,000"_s << false << qint64(0);
        QTest::newRow("two points") << u"1.2.3"_s << false << qint64(0);
        QTest::newRow("exponent without digits") << u"1e"_s << false << qint64(0);
        QTest::newRow("blank inside") << u"1 000"_s << false << qint64(0);
        QTest::newRow("blank around: not a literal") << u" 12"_s << false << qint64(0);
    }
    void parseLiteral()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(qint64, ticks);
        const auto parsed = Money::parseLiteral(text);
        QCOMPARE(parsed.has_value(), accepted);
        if (accepted)
            QCOMPARE(*parsed, ticks);
    }

    void parseUserAmount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<qint64>("ticks");

        QTest::newRow("plain") << u"12.50"_s << true << qint64(125000);
        QTest::newRow("ascii blanks around") << u"  200  "_s << true << qint64(2000000);
        QTest::newRow("full-width blanks around") << u"\u3000200\u3000"_s << true << qint64(2000000);
        QTest::newRow("full-width digits and point") << u"\uFF11\uFF12\uFF0E\uFF15"_s << true << qint64(125000);
        QTest::newRow("full-width minus") << u"\uFF0D5"_s << true << qint64(-50000);
        QTest::newRow("blanks only") << u"   "_s << false << qint64(0);
        QTest::newRow("trailing letters") << u"12abc"_s << false << qint64(0);
        QTest::newRow("thousands separator") << u"1,000"_s << false << qint64(0);
        QTest::newRow("out of range") << u"1e20"_s << false << qint64(0);
    }
    void parseUserAmount()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(qint64, ticks);
        const auto parsed = Money::parseUserAmount(text);
        QCOMPARE(parsed.has_value(), accepted);
        if (accepted)
            QCOMPARE(*parsed, ticks);
    }

    void formats_data()
    {
        QTest::addColumn<qint64>("ticks");
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QString>("twoDecimals");

        QTest::newRow("whole") << qint64(1000000) << u"100"_s << u"100.00"_s;
        QTest::newRow("one decimal") << qint64(666000) << u"66.6"_s << u"66.60"_s;
        QTest::newRow("zero") << qint64(0) << u"0"_s << u"0.00"_s;
        QTest::newRow("one tick") << qint64(1) << u"0.0001"_s << u"0.00"_s;
        QTest::newRow("negative tick") << qint64(-1) << u"-0.0001"_s << u"0.00"_s;
        QTest::newRow("half a cent rounds away") << qint64(1250) << u"0.125"_s << u"0.13"_s;
        QTest::newRow("negative half a cent") << qint64(-1250) << u"-0.125"_s << u"-0.13"_s;
        QTest::newRow("just below half a cent") << qint64(1249) << u"0.1249"_s << u"0.12"_s;
        QTest::newRow("negative amount") << qint64(-200000) << u"-20"_s << u"-20.00"_s;
        QTest::newRow("largest") << Max << u"922337203685477.5807"_s << u"922337203685477.58"_s;
        QTest::newRow("smallest") << Min << u"-922337203685477.5808"_s << u"-922337203685477.58"_s;
    }
    void formats()
    {
        QFETCH(qint64, ticks);
        QFETCH(QString, literal);
        QFETCH(QString, twoDecimals);
        QCOMPARE(Money::toLiteral(ticks), literal);
        QCOMPARE(Money::toTwoDecimals(ticks), twoDecimals);
        // What is written as a literal reads back as the same amount.
        QCOMPARE(Money::parseLiteral(literal), std::optional<qint64>(ticks));
    }

    void toDouble()
    {
        QCOMPARE(Money::toDouble(666000), 66.6);
        QCOMPARE(Money::toDouble(-1), -0.0001);
    }
};

QTEST_APPLESS_MAIN(TestMoney)
#include "test_money.moc"
