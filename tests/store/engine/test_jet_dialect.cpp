// The dialect translator and its pure helpers, without an engine.

#include "store/engine/JetDialect.h"
#include "store/jet/ConnectionText.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/ExternalDatabase.h"
#include "store/jet/RowCriteria.h"
#include "store/value/JetDateTime.h"
#include "store/value/SqlText.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

/// The ledger's tables as the engine would describe them.
std::optional<QList<JetColumn>> ledgerTables(const QString& table)
{
    if (table == u"收送礼"_s)
        return QList<JetColumn>{{u"ID"_s, JetType::Counter},    {u"收送"_s, JetType::Memo}, {u"姓名"_s, JetType::Memo},
                                {u"时间"_s, JetType::Time},     {u"关系"_s, JetType::Memo}, {u"类型"_s, JetType::Memo},
                                {u"金额"_s, JetType::Currency}, {u"说明"_s, JetType::Memo}};
    if (table == u"关系"_s)
        return QList<JetColumn>{{u"ID"_s, JetType::Counter}, {u"关系"_s, JetType::Memo}};
    return std::nullopt;
}

JetDialect::Translation translate(const QString& statement, bool withRowid = false)
{
    return JetDialect::translate(statement, ledgerTables, withRowid);
}

QString sql(const QString& statement)
{
    const auto t = translate(statement);
    if (!t.ok)
        qWarning("refused: %s (%s)", qUtf8Printable(statement), qUtf8Printable(t.error));
    return t.ok ? t.sql : u"<refused>"_s;
}

RowSnapshot::Cell integerCell(qint64 v)
{
    return {RowSnapshot::Kind::Integer, v, {}};
}

} // namespace

class TestJetDialect : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void createTableKeepsJetTypesInDeclaredTypes()
    {
        const auto t = translate(
            u"CREATE TABLE 收送礼 (ID Counter,收送 Memo,姓名 Memo,时间 Time,关系 Memo,类型 Memo,金额 Currency,说明 Memo)"_s);
        QVERIFY(t.ok);
        QVERIFY(t.changesSchema);
        QVERIFY2(t.sql.startsWith(
                     u"CREATE TABLE 收送礼 (ID INTEGER PRIMARY KEY AUTOINCREMENT,收送 MEMO TEXT COLLATE NOCASE"_s),
                 qPrintable(t.sql));
        QVERIFY(t.sql.contains(u"时间 TIME TEXT CHECK (时间 IS NULL OR"_s));
        QVERIFY(t.sql.contains(u"金额 CURRENCY INTEGER CHECK (金额 IS NULL OR typeof(金额)='integer')"_s));
        QVERIFY(t.sql.endsWith(u"说明 MEMO TEXT COLLATE NOCASE)"_s));
    }

    void refusedStatements_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("unknown type") << u"CREATE TABLE t (a Widget)"_s;
        QTest::newRow("no type") << u"CREATE TABLE t (a)"_s;
        QTest::newRow("unclosed") << u"CREATE TABLE t (a Memo"_s;
        QTest::newRow("type synonym") << u"CREATE TABLE t (a Text)"_s;
        QTest::newRow("size") << u"CREATE TABLE t (a Memo(50))"_s;
        QTest::newRow("constraint") << u"CREATE TABLE t (a Counter PRIMARY KEY)"_s;
        QTest::newRow("trigger") << u"CREATE TRIGGER x AFTER INSERT ON t BEGIN SELECT 1; END"_s;
        QTest::newRow("view") << u"CREATE VIEW v AS SELECT 1"_s;
        QTest::newRow("index") << u"CREATE INDEX i ON 关系 (关系)"_s;
        QTest::newRow("drop") << u"DROP TABLE 关系"_s;
        QTest::newRow("alter") << u"ALTER TABLE 关系 ADD COLUMN d Currency"_s;
        QTest::newRow("double-quoted text") << u"select * from 关系 where 关系 = \"it's\""_s;
        QTest::newRow("bracket name") << u"select [关系] from [关系]"_s;
        QTest::newRow("backtick name") << u"select * from `关系`"_s;
        QTest::newRow("joined texts") << u"select 'a' & 'b' from 关系"_s;
        QTest::newRow("true") << u"select * from 关系 where True"_s;
        QTest::newRow("false") << u"update 关系 set 关系='x' where false"_s;
        QTest::newRow("month/day/year") << u"select * from 收送礼 where 时间 > #5/2/2011#"_s;
        QTest::newRow("date serial") << u"update 收送礼 set 时间=40696"_s;
        QTest::newRow("closing semicolon") << u"select * from 关系;"_s;
        QTest::newRow("unclosed text") << u"select * from 关系 where 关系 = 'open"_s;
    }
    void refusedStatements()
    {
        QFETCH(QString, statement);
        const auto t = translate(statement);
        QVERIFY2(!t.ok, qPrintable(t.sql));
        QVERIFY(!t.error.isEmpty());
    }

    void valuesStoredIntoTimeAndCurrencyConvertExactly()
    {
        // The record entry window's INSERT: every value quoted, the date without leading zeros.
        QCOMPARE(
            sql(u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','张三','2011-6-2','朋友','结婚','200','')"_s),
            u"insert into 收送礼(收送,姓名,时间,关系,类型,金额,说明) values('收礼','张三','2011-06-02 00:00:00','朋友','结婚',2000000,'')"_s);
        // Its UPDATE: the amount stands bare and must not pass through a double.
        QCOMPARE(
            sql(u"update 收送礼 set 时间='2012-3-3',收送='送礼',姓名='李四',关系='同事',类型='生日',金额=66.6,说明='x' where ID=12"_s),
            u"update 收送礼 set 时间='2012-03-03 00:00:00',收送='送礼',姓名='李四',关系='同事',类型='生日',金额=666000,说明='x' where ID=12"_s);
        QCOMPARE(sql(u"update 收送礼 set 金额=922337203685477.5807"_s),
                 u"update 收送礼 set 金额=9223372036854775807"_s);
        QCOMPARE(sql(u"update 收送礼 set 金额=-922337203685477.5808"_s),
                 u"update 收送礼 set 金额=(-9223372036854775807-1)"_s);
        QCOMPARE(sql(u"update 收送礼 set 金额=(0.0001), 时间=#2011/5/2 15:30#"_s),
                 u"update 收送礼 set 金额=(1), 时间='2011-05-02 15:30:00'"_s);
        QCOMPARE(sql(u"update 收送礼 set 金额=NULL"_s), u"update 收送礼 set 金额=NULL"_s);
        // The UPDATE of a record whose untouched columns go back as stored: a time of day, four decimals, NULL.
        QCOMPARE(
            sql(u"update 收送礼 set 时间='2020-05-01 14:30:00',收送='收礼',姓名=NULL,关系='朋友',类型='结婚',金额=12.3456,说明=NULL where ID=5"_s),
            u"update 收送礼 set 时间='2020-05-01 14:30:00',收送='收礼',姓名=NULL,关系='朋友',类型='结婚',金额=123456,说明=NULL where ID=5"_s);
        QCOMPARE(sql(u"update 收送礼 set 时间=NULL,金额=-0.0001 where ID=5"_s),
                 u"update 收送礼 set 时间=NULL,金额=-1 where ID=5"_s);
    }

    void valuesThatDoNotConvertRefuseTheStatement_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("text into Time") << u"insert into 收送礼(时间) values('abc')"_s;
        QTest::newRow("no such day") << u"insert into 收送礼(时间) values('2011-2-30')"_s;
        QTest::newRow("no such hour") << u"update 收送礼 set 时间='2011-2-3 24:00:00'"_s;
        QTest::newRow("text into Currency") << u"insert into 收送礼(金额) values('abc')"_s;
        QTest::newRow("beyond the range") << u"insert into 收送礼(金额) values('922337203685477.5808')"_s;
        QTest::newRow("bare, beyond the range") << u"update 收送礼 set 金额=922337203685477.5808 where ID=1"_s;
        QTest::newRow("date into Currency") << u"update 收送礼 set 金额=#2011/1/1#"_s;
        QTest::newRow("comparison with a non-date") << u"select * from 收送礼 where 时间 = 'soon'"_s;
        QTest::newRow("invalid date literal") << u"select * from 收送礼 where 时间 > #2011/2/30#"_s;
        QTest::newRow("unterminated date literal") << u"select * from 收送礼 where 时间 > #2011/2/3"_s;
    }
    void valuesThatDoNotConvertRefuseTheStatement()
    {
        QFETCH(QString, statement);
        const auto t = translate(statement);
        QVERIFY2(!t.ok, qPrintable(t.sql));
        QVERIFY(!t.error.isEmpty());
    }

    void otherExpressionsStoredIntoTypedColumnsAreConvertedByTheEngine()
    {
        QCOMPARE(sql(u"update 收送礼 set 时间=说明, 金额=金额*2 where ID=1"_s),
                 u"update 收送礼 set 时间=ovelta_time(说明), 金额=ovelta_currency(金额*2) where ID=1"_s);
        QCOMPARE(sql(u"insert into 收送礼(时间,金额) values(说明 || '', (1+1))"_s),
                 u"insert into 收送礼(时间,金额) values(ovelta_time(说明 || ''), ovelta_currency((1+1)))"_s);
    }

    void dateLiterals_data()
    {
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("year/month/day") << u"#2011/5/2#"_s << u"'2011-05-02 00:00:00'"_s;
        QTest::newRow("year-month-day") << u"#2011-5-2#"_s << u"'2011-05-02 00:00:00'"_s;
        QTest::newRow("with time") << u"#2011-5-2 15:30:07#"_s << u"'2011-05-02 15:30:07'"_s;
        QTest::newRow("leading zeros") << u"#2011/05/02#"_s << u"'2011-05-02 00:00:00'"_s;
        QTest::newRow("leap day") << u"#2012/2/29#"_s << u"'2012-02-29 00:00:00'"_s;
    }
    void dateLiterals()
    {
        QFETCH(QString, literal);
        QFETCH(QString, canonical);
        QCOMPARE(sql(u"select * from 收送礼 where 时间 > "_s + literal),
                 u"select * from 收送礼 where 时间 > "_s + canonical);
    }

    void searchStatementsKeepTheirShape()
    {
        // Exactly as the search window writes them, blanks included.
        QCOMPARE(
            sql(u"select * from 收送礼 where 时间 between #2011/5/2# and #2011/6/2# and 收送='收礼'and 姓名 like'%张%' order by 时间 desc"_s),
            u"select * from 收送礼 where 时间 between '2011-05-02 00:00:00' and '2011-06-02 00:00:00' and 收送='收礼'and 姓名 like'%张%' order by 时间 desc"_s);
        QCOMPARE(sql(u"select * from 收送礼 where 收送 like '%送%' and 姓名 like '%_%' order by 时间 desc"_s),
                 u"select * from 收送礼 where 收送 like '%送%' and 姓名 like '%_%' order by 时间 desc"_s);
        QCOMPARE(sql(u"select * from 类型 "_s), u"select * from 类型"_s);
        QCOMPARE(sql(u"delete from 收送礼 where ID=12"_s), u"delete from 收送礼 where ID=12"_s);
    }

    void comparisonsWithTypedColumnsConvertTheirLiterals()
    {
        QCOMPARE(sql(u"select * from 收送礼 where 金额 > 100 and 金额 <= -0.5"_s),
                 u"select * from 收送礼 where 金额 > 1000000 and 金额 <= -5000"_s);
        QCOMPARE(sql(u"select * from 收送礼 where 时间 >= '2011-6-2'"_s),
                 u"select * from 收送礼 where 时间 >= '2011-06-02 00:00:00'"_s);
        // Literals inside larger expressions are left to the engine.
        QCOMPARE(sql(u"select * from 收送礼 where 金额 * 2 > 100 and 金额 = 3 - 1"_s),
                 u"select * from 收送礼 where 金额 * 2 > 100 and 金额 = 3 - 1"_s);
        // Other columns and unknown tables are untouched.
        QCOMPARE(sql(u"select * from 收送礼 where ID = '12' and 姓名 = '66.6'"_s),
                 u"select * from 收送礼 where ID = '12' and 姓名 = '66.6'"_s);
        QCOMPARE(sql(u"select * from 别处 where 金额 = 1.5"_s), u"select * from 别处 where 金额 = 1.5"_s);
    }

    void texts()
    {
        // Doubled quotes stay doubled, Chinese names pass unchanged.
        QCOMPARE(sql(u"insert into 关系(关系) values('O''Brien')"_s), u"insert into 关系(关系) values('O''Brien')"_s);
        QCOMPARE(sql(u"select * from 关系 where 关系 = 'say \"hi\" & [go]'"_s),
                 u"select * from 关系 where 关系 = 'say \"hi\" & [go]'"_s);
    }

    void oneStatementOnly()
    {
        QVERIFY(!translate(u"select * from 关系; drop table 关系"_s).ok);
        QVERIFY(!translate(u"select * from 关系 where ID=?"_s).ok);
        QVERIFY(!translate(u"select * from 关系 where ID=:id"_s).ok);
        QVERIFY(!translate(u""_s).ok);
        QVERIFY(!translate(u"   "_s).ok);
        QVERIFY(!translate(u"select (1 from 关系"_s).ok);
        QVERIFY(!translate(u"select 1) from 关系"_s).ok);
        QVERIFY(!translate(QStringLiteral("select 1\u0000")).ok);
        for (const QString& verb : {u"PRAGMA key='x'"_s, u"ATTACH 'x' AS y"_s, u"VACUUM"_s, u"BEGIN"_s})
            QVERIFY2(!translate(verb).ok, qPrintable(verb));
    }

    void commentsCannotBeFormed()
    {
        // Jet has no comments: two minus signs are two operators, never the start of a comment.
        QCOMPARE(sql(u"select 5--3 from 关系"_s), u"select 5- -3 from 关系"_s);
        QCOMPARE(sql(u"select 4/*2 from 关系"_s), u"select 4/ *2 from 关系"_s);
        QCOMPARE(sql(u"delete from 关系 where ID=5 -- and 1=0"_s), u"delete from 关系 where ID=5 - - and 1=0"_s);
    }

    void rowidOnlyForPlainTableSelects()
    {
        auto t = translate(u"select * from 关系 where 关系='x' order by ID"_s, true);
        QVERIFY(t.returnsRowid);
        QCOMPARE(t.rowidTable, u"关系"_s);
        QCOMPARE(t.sql, u"select _rowid_, * from 关系 where 关系='x' order by ID"_s);
        for (const QString& s :
             {u"select count(*) from 关系"_s, u"select * from 关系, 类型"_s, u"select * from 关系 join 类型 on 1=1"_s,
              u"select * from 关系 union select * from 类型"_s, u"select * from 关系 group by 关系"_s}) {
            t = translate(s, true);
            QVERIFY2(t.ok && !t.returnsRowid, qPrintable(s));
        }
        QVERIFY(!translate(u"select * from 关系"_s).returnsRowid);
    }

    void dateTimeParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: refused
        QTest::newRow("date") << u"2011-6-2"_s << u"2011-06-02 00:00:00"_s;
        QTest::newRow("date and time") << u"2011-6-2 15:30:00"_s << u"2011-06-02 15:30:00"_s;
        QTest::newRow("minutes only") << u"2011/6/2 7:05"_s << u"2011-06-02 07:05:00"_s;
        QTest::newRow("T separator") << u"2011-06-02T23:59:59"_s << u"2011-06-02 23:59:59"_s;
        QTest::newRow("blanks around") << u"  2011-6-2  "_s << u"2011-06-02 00:00:00"_s;
        QTest::newRow("time alone") << u"15:30"_s << u"1899-12-30 15:30:00"_s;
        QTest::newRow("year 100") << u"100-1-1"_s << u"0100-01-01 00:00:00"_s;
        QTest::newRow("February 30") << u"2011-2-30"_s << QString();
        QTest::newRow("February 29, not leap") << u"2011-2-29"_s << QString();
        QTest::newRow("month 13") << u"2011-13-1"_s << QString();
        QTest::newRow("hour 24") << u"2011-1-1 24:00"_s << QString();
        QTest::newRow("minute 60") << u"2011-1-1 10:60"_s << QString();
        QTest::newRow("year 99") << u"99-1-1"_s << QString();
        QTest::newRow("mixed separators") << u"2011-6/2"_s << QString();
        QTest::newRow("two-digit year last") << u"6/2/11"_s << QString();
        QTest::newRow("month/day/year") << u"6/2/2011"_s << QString();
        QTest::newRow("trailing text") << u"2011-6-2x"_s << QString();
        QTest::newRow("letters") << u"abc"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void dateTimeParsing()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        const auto parsed = JetDateTime::parse(text);
        QCOMPARE(parsed.has_value(), !canonical.isEmpty());
        if (!parsed)
            return;
        QCOMPARE(parsed->canonical(), canonical);
        // The packed and the canonical forms carry the same value.
        QCOMPARE(JetDateTime::fromPacked(parsed->packed()), parsed);
        const QByteArray bytes = canonical.toLatin1();
        QCOMPARE(JetDateTime::fromCanonical(bytes.constData(), bytes.size()), parsed);
    }

    void dateTimeConversions()
    {
        QCOMPARE(JetDateTime::parse(u"2011-6-2 15:30:07"_s)->toDateTime(),
                 QDateTime(QDate(2011, 6, 2), QTime(15, 30, 7)));
        const QByteArray nonCanonical = "2011-6-2 00:00:00";
        QVERIFY(!JetDateTime::fromCanonical(nonCanonical.constData(), nonCanonical.size()));
        // Packed values order like the dates they stand for.
        QVERIFY(JetDateTime::parse(u"2011-12-1"_s)->packed() < JetDateTime::parse(u"2012-1-15"_s)->packed());
    }

    void quoteHelper()
    {
        QCOMPARE(SqlText::escaped(u"O'Brien"_s), u"O''Brien"_s);
        QCOMPARE(SqlText::quoted(u"O'Brien"_s), u"'O''Brien'"_s);
        QCOMPARE(SqlText::quoted(u"''"_s), u"''''''"_s);
        QCOMPARE(SqlText::quoted(QString()), u"''"_s);
        QCOMPARE(SqlText::quoted(u"%_张"_s), u"'%_张'"_s);
        // The quoted text is one literal however it is built.
        const auto t
            = translate(u"update 收送礼 set 说明="_s + SqlText::quoted(u"', 金额=0 where 1=1 --"_s) + u" where ID=1"_s);
        QVERIFY(t.ok);
        QCOMPARE(t.sql, u"update 收送礼 set 说明=''', 金额=0 where 1=1 --' where ID=1"_s);
    }

    void criteria()
    {
        auto c = RowCriteria::parse(u"id=12"_s);
        QVERIFY(c);
        QCOMPARE(c->column(), u"id"_s);
        QVERIFY(c->matches(integerCell(12)));
        QVERIFY(!c->matches(integerCell(13)));
        QVERIFY(!c->matches(RowSnapshot::Cell{}));
        QVERIFY(RowCriteria::parse(u" ID = 12 "_s)->matches(integerCell(12)));
        QVERIFY(!RowCriteria::parse(u"id=12.5"_s)->matches(integerCell(12)));
        QVERIFY(RowCriteria::parse(u"id<>5"_s)->matches(integerCell(6)));
        QVERIFY(RowCriteria::parse(u"id>=5"_s)->matches(integerCell(5)));
        QVERIFY(RowCriteria::parse(u"金额=66.6"_s)->matches({RowSnapshot::Kind::Currency, 666000, {}}));
        QVERIFY(!RowCriteria::parse(u"金额=66.6001"_s)->matches({RowSnapshot::Kind::Currency, 666000, {}}));
        QVERIFY(RowCriteria::parse(u"姓名='ab''c'"_s)->matches({RowSnapshot::Kind::Text, 0, "AB'C"}));
        QVERIFY(RowCriteria::parse(u"时间=#2011/6/2#"_s)
                    ->matches({RowSnapshot::Kind::DateTime, JetDateTime::parse(u"2011-6-2"_s)->packed(), {}}));
        for (const QString& bad : {u"id="_s, u"id"_s, u"=5"_s, u"id=abc"_s, u"id='a'b'"_s, u"id=#2011/2/30#"_s, u""_s})
            QVERIFY2(!RowCriteria::parse(bad), qPrintable(bad));
    }

    void connectionTexts()
    {
        QCOMPARE(
            DatabaseConnection::connectionText(u"lgbk.xc"_s, u"Qm_4Rtwpz8-2HsK"_s),
            u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=lgbk.xc;Jet OLEDB:Database Password=Qm_4Rtwpz8-2HsK;"_s);
        QCOMPARE(DatabaseConnection::connectionText(u"lgbk.xc"_s, QString()),
                 u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=lgbk.xc"_s);
        QCOMPARE(ExternalDatabase::connectionText(u"lgbk.xc"_s, QString(), u"Qm_4Rtwpz8-2HsK"_s),
                 u"ODBC;DBQ=lgbk.xc;Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access;PWD=Qm_4Rtwpz8-2HsK;"_s);
        QCOMPARE(
            ExternalDatabase::connectionText(u"C:\\data\\lgbk.xc"_s, u"me"_s, QString()),
            u"ODBC;DBQ=C:\\data\\lgbk.xc;DefaultDir=C:\\data;Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access;UID=me;"_s);

        auto fields = ConnectionText::fields(
            u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=lgbk.xc;Jet OLEDB:Database Password=Qm_4Rtwpz8-2HsK;"_s);
        QCOMPARE(fields.value(u"data source"_s), u"lgbk.xc"_s);
        QCOMPARE(fields.value(u"jet oledb:database password"_s), u"Qm_4Rtwpz8-2HsK"_s);
        fields = ConnectionText::fields(
            u"ODBC;DBQ=lgbk.xc;Driver={Microsoft Access Driver (*.mdb)};FIL=MS Access;PWD=Qm_4Rtwpz8-2HsK;"_s);
        QCOMPARE(fields.value(u"dbq"_s), u"lgbk.xc"_s);
        QCOMPARE(fields.value(u"driver"_s), u"{Microsoft Access Driver (*.mdb)}"_s);
        QCOMPARE(fields.value(u"pwd"_s), u"Qm_4Rtwpz8-2HsK"_s);
        QVERIFY(!fields.contains(u"odbc"_s));
    }
};

QTEST_APPLESS_MAIN(TestJetDialect)
#include "test_jet_dialect.moc"
