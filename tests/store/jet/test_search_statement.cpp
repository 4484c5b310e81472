// The SELECT of the search window for every combination of range, direction and name, as exact texts.

#include "store/jet/LedgerStatements.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using LedgerStatements::SearchInput;

Q_DECLARE_METATYPE(SearchInput)

namespace {

SearchInput input(bool rangeOn, const QString& direction, const QString& name)
{
    return SearchInput{rangeOn, QDate(2011, 5, 2), QDate(2011, 6, 2), direction, name};
}

} // namespace

class TestSearchStatement : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void searchDateLiteral_data();
    void searchDateLiteral();
    void search_data();
    void search();
};

void TestSearchStatement::searchDateLiteral_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");
    QTest::newRow("no leading zeros") << QDate(2011, 5, 2) << u"#2011/5/2#"_s;
    QTest::newRow("two digits") << QDate(2011, 12, 31) << u"#2011/12/31#"_s;
}

void TestSearchStatement::searchDateLiteral()
{
    QFETCH(QDate, date);
    QFETCH(QString, text);
    QCOMPARE(LedgerStatements::searchDateLiteral(date), text);
}

void TestSearchStatement::search_data()
{
    QTest::addColumn<SearchInput>("in");
    QTest::addColumn<QString>("statement");

    const QString range = u"select * from 收送礼 where 时间 between #2011/5/2# and #2011/6/2#"_s;
    const QString all = u"全部"_s;

    // The eight forms.
    QTest::newRow("on, any direction, any name (the ledger's example)")
        << input(true, all, QString())
        << u"select * from 收送礼 where 时间 between #2011/5/2# and #2011/6/2# order by 时间 desc"_s;
    QTest::newRow("on, any direction, name")
        << input(true, all, u"张"_s) << range + u" and 姓名 like'%张%' order by 时间 desc"_s;
    QTest::newRow("on, direction, any name")
        << input(true, u"收礼"_s, QString()) << range + u" and 收送='收礼' order by 时间 desc"_s;
    QTest::newRow("on, direction, name") << input(true, u"送礼"_s, u"张"_s)
                                         << range + u" and 收送='送礼'and 姓名 like'%张%' order by 时间 desc"_s;
    QTest::newRow("off, any direction, any name (the defaults)")
        << input(false, all, QString()) << u"select * from 收送礼 order by 时间 desc"_s;
    QTest::newRow("off, any direction, name")
        << input(false, all, u"张"_s) << u"select * from 收送礼 where 姓名 like '%张%' order by 时间 desc"_s;
    QTest::newRow("off, direction, any name")
        << input(false, u"收礼"_s, QString()) << u"select * from 收送礼 where 收送 like '%收礼%' order by 时间 desc"_s;
    QTest::newRow("off, direction, name")
        << input(false, u"收礼"_s, u"张"_s)
        << u"select * from 收送礼 where 收送 like '%收礼%' and 姓名 like '%张%' order by 时间 desc"_s;

    // The name's blanks.
    QTest::newRow("full-width blank before, ASCII blank after")
        << input(false, all, u"　张 "_s) << u"select * from 收送礼 where 姓名 like '%张%' order by 时间 desc"_s;
    QTest::newRow("inner blanks stay") << input(false, all, u" 张　三 "_s)
                                       << u"select * from 收送礼 where 姓名 like '%张　三%' order by 时间 desc"_s;
    QTest::newRow("blanks only is no name") << input(true, all, u" 　 "_s) << range + u" order by 时间 desc"_s;
    QTest::newRow("a tab is no blank") << input(false, all, u"\t"_s)
                                       << u"select * from 收送礼 where 姓名 like '%\t%' order by 时间 desc"_s;

    // Quotes doubled, patterns kept.
    QTest::newRow("apostrophe searched literally")
        << input(true, all, u"O'Brien"_s) << range + u" and 姓名 like'%O''Brien%' order by 时间 desc"_s;
    QTest::newRow("injection stays inside the pattern")
        << input(false, all, u"' or 1=1 --"_s)
        << u"select * from 收送礼 where 姓名 like '%'' or 1=1 --%' order by 时间 desc"_s;
    QTest::newRow("% and _ are patterns")
        << input(false, all, u"张%_"_s) << u"select * from 收送礼 where 姓名 like '%张%_%' order by 时间 desc"_s;
    QTest::newRow("direction quotes doubled, range on")
        << input(true, u"收'礼"_s, QString()) << range + u" and 收送='收''礼' order by 时间 desc"_s;
    QTest::newRow("direction quotes doubled, range off")
        << input(false, u"收'礼"_s, QString())
        << u"select * from 收送礼 where 收送 like '%收''礼%' order by 时间 desc"_s;

    // "全部" is compared exactly.
    QTest::newRow("全部 with a blank is a direction")
        << input(false, u"全部 "_s, QString())
        << u"select * from 收送礼 where 收送 like '%全部 %' order by 时间 desc"_s;
}

void TestSearchStatement::search()
{
    QFETCH(SearchInput, in);
    QFETCH(QString, statement);
    QCOMPARE(LedgerStatements::search(in), statement);
}

QTEST_GUILESS_MAIN(TestSearchStatement)
#include "test_search_statement.moc"
