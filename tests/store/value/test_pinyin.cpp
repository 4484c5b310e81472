// Names found as they are typed: by their characters, their full pinyin or its initials, with the readings that
// surnames have apart from the word (单 shàn, 曾 zēng, 长孙 zhǎngsūn), and rare characters of the extensions.

#include "store/value/Pinyin.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ovelta;

class TestPinyin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keys_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("common") << u"张伟"_s << QStringList{u"zhangwei"_s, u"zw"_s};
        QTest::newRow("surname 单 first, the word's reading too")
            << u"单雄信"_s << QStringList{u"shanxiongxin"_s, u"sxx"_s, u"danxiongxin"_s, u"dxx"_s};
        QTest::newRow("surname 曾") << u"曾国藩"_s << QStringList{u"zengguofan"_s, u"zgf"_s, u"cengguofan"_s, u"cgf"_s};
        QTest::newRow("compound surname 长孙") << u"长孙无忌"_s << QStringList{u"zhangsunwuji"_s, u"zswj"_s};
        QTest::newRow("a surname alone is a word") << u"单"_s << QStringList{u"dan"_s, u"d"_s};
        QTest::newRow("extension A") << u"刘䶮"_s << QStringList{u"liuyan"_s, u"ly"_s};
        QTest::newRow("a character read by the next one") << u"王重庆"_s << QStringList{u"wangchongqing"_s, u"wcq"_s};
        QTest::newRow("the same character alone") << u"王重"_s << QStringList{u"wangzhong"_s, u"wz"_s};
        QTest::newRow("沈 before 阳") << u"沈阳"_s << QStringList{u"shenyang"_s, u"sy"_s};
        QTest::newRow("latin letters first") << u"Tom张"_s << QStringList{u"tomzhang"_s, u"tz"_s};
        QTest::newRow("latin letters stay") << u"李Lei"_s << QStringList{u"lilei"_s, u"ll"_s};
        QTest::newRow("blanks around") << u" 王五　"_s << QStringList{u"wangwu"_s, u"ww"_s};
        QTest::newRow("nothing to type") << u"！"_s << QStringList();
    }
    void keys()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, keys);
        QCOMPARE(Pinyin::keysOf(name), keys);
    }

    void matches_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("found");
        QTest::newRow("initials") << u"张伟"_s << u"zw"_s << true;
        QTest::newRow("full pinyin begun") << u"张伟"_s << u"zhangw"_s << true;
        QTest::newRow("upper case and blanks") << u"张伟"_s << u" ZhangW "_s << true;
        QTest::newRow("characters") << u"张伟"_s << u"张"_s << true;
        QTest::newRow("not the start") << u"张伟"_s << u"wei"_s << false;
        QTest::newRow("other order") << u"张伟"_s << u"wz"_s << false;
        QTest::newRow("nothing typed") << u"张伟"_s << u" "_s << false;
        QTest::newRow("单 as a surname") << u"单雄信"_s << u"shanx"_s << true;
        QTest::newRow("单 as typed by habit") << u"单雄信"_s << u"dxx"_s << true;
        QTest::newRow("曾 as a surname") << u"曾国藩"_s << u"zg"_s << true;
        QTest::newRow("长孙") << u"长孙无忌"_s << u"zhangsun"_s << true;
        QTest::newRow("长孙 not chang") << u"长孙无忌"_s << u"changs"_s << false;
    }
    void matches()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(bool, found);
        QCOMPARE(Pinyin::matches(name, Pinyin::keysOf(name), typed), found);
    }
};

QTEST_GUILESS_MAIN(TestPinyin)
#include "test_pinyin.moc"
