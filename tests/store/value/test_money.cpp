#include "store/value/Money.h"

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

    // Capitals as banks write them: zeros inside and at the ends of groups, 万 and 亿 groups, jiao without fen and
    // fen without jiao, four decimals rounded to fen.
    void capitals_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("capitals");
        QTest::addColumn<bool>("rounded");
        QTest::newRow("zero") << u"0"_s << u"零元整"_s << false;
        QTest::newRow("one yuan") << u"1"_s << u"壹元整"_s << false;
        QTest::newRow("a leading ten") << u"10"_s << u"壹拾元整"_s << false;
        QTest::newRow("fifteen") << u"15"_s << u"壹拾伍元整"_s << false;
        QTest::newRow("hundred") << u"100"_s << u"壹佰元整"_s << false;
        QTest::newRow("zero inside") << u"101"_s << u"壹佰零壹元整"_s << false;
        QTest::newRow("zero at the end") << u"110"_s << u"壹佰壹拾元整"_s << false;
        QTest::newRow("thousand") << u"1000"_s << u"壹仟元整"_s << false;
        QTest::newRow("two zeros inside") << u"1001"_s << u"壹仟零壹元整"_s << false;
        QTest::newRow("zeros inside and at the end") << u"1010"_s << u"壹仟零壹拾元整"_s << false;
        QTest::newRow("twelve hundred") << u"1200"_s << u"壹仟贰佰元整"_s << false;
        QTest::newRow("ten thousand") << u"10000"_s << u"壹万元整"_s << false;
        QTest::newRow("a skipped group of digits") << u"10005"_s << u"壹万零伍元整"_s << false;
        QTest::newRow("hundred thousand") << u"100000"_s << u"壹拾万元整"_s << false;
        QTest::newRow("zero at the wan place") << u"101000"_s << u"壹拾万零壹仟元整"_s << false;
        QTest::newRow("zeros across the wan group") << u"1001000"_s << u"壹佰万零壹仟元整"_s << false;
        QTest::newRow("zero inside the wan group") << u"10010000"_s << u"壹仟零壹万元整"_s << false;
        QTest::newRow("hundred million") << u"100000000"_s << u"壹亿元整"_s << false;
        QTest::newRow("yi with the rest skipped") << u"100000001"_s << u"壹亿零壹元整"_s << false;
        QTest::newRow("yi and wan") << u"100010000"_s << u"壹亿零壹万元整"_s << false;
        QTest::newRow("yi and qian wan") << u"120000000"_s << u"壹亿贰仟万元整"_s << false;
        QTest::newRow("wan yi") << u"1000000000000"_s << u"壹万亿元整"_s << false;
        QTest::newRow("wan yi with the rest skipped") << u"1000000000005"_s << u"壹万亿零伍元整"_s << false;
        QTest::newRow("fen alone") << u"0.05"_s << u"伍分"_s << false;
        QTest::newRow("jiao alone") << u"0.5"_s << u"伍角"_s << false;
        QTest::newRow("jiao and fen") << u"0.55"_s << u"伍角伍分"_s << false;
        QTest::newRow("jiao without fen") << u"1000.5"_s << u"壹仟元伍角"_s << false;
        QTest::newRow("fen without jiao") << u"1.05"_s << u"壹元零伍分"_s << false;
        QTest::newRow("ten and fen") << u"10.05"_s << u"壹拾元零伍分"_s << false;
        QTest::newRow("every place") << u"1234.56"_s << u"壹仟贰佰叁拾肆元伍角陆分"_s << false;
        QTest::newRow("negative") << u"-100"_s << u"负壹佰元整"_s << false;
        QTest::newRow("negative fen") << u"-0.05"_s << u"负伍分"_s << false;
        QTest::newRow("four decimals round to fen") << u"12.3456"_s << u"壹拾贰元叁角伍分"_s << true;
        QTest::newRow("half a fen rounds up") << u"0.005"_s << u"壹分"_s << true;
        QTest::newRow("below half a fen is zero") << u"0.0049"_s << u"零元整"_s << true;
        QTest::newRow("a negative rounded to zero has no sign") << u"-0.0049"_s << u"零元整"_s << true;
        QTest::newRow("rounding carries into yuan") << u"9.995"_s << u"壹拾元整"_s << true;
        QTest::newRow("largest") << u"922337203685477.5807"_s
                                 << u"玖佰贰拾贰万叁仟叁佰柒拾贰亿零叁佰陆拾捌万伍仟肆佰柒拾柒元伍角捌分"_s << true;
    }
    void capitals()
    {
        QFETCH(QString, amount);
        QFETCH(QString, capitals);
        QFETCH(bool, rounded);
        const std::optional<qint64> ticks = Money::parseLiteral(amount);
        QVERIFY(ticks);
        bool wasRounded = !rounded;
        QCOMPARE(Money::toCapitals(*ticks, &wasRounded), capitals);
        QCOMPARE(wasRounded, rounded);
        // The smallest amount has no positive twin; it reads as the largest does, negative.
        if (*ticks == Max)
            QCOMPARE(Money::toCapitals(Min), u"负"_s + capitals);
    }

    void toDouble()
    {
        QCOMPARE(Money::toDouble(666000), 66.6);
        QCOMPARE(Money::toDouble(-1), -0.0001);
    }
};

QTEST_APPLESS_MAIN(TestMoney)
#include "test_money.moc"
