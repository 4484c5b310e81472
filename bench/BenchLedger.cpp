#include "BenchLedger.h"

#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"

#include <QDate>
#include <QStringList>
#include <random>
#include <sqlcipher/sqlite3.h>

using namespace Qt::StringLiterals;

namespace ovelta::bench {

namespace {

// The hundred most common surnames, a few double surnames, and characters of given names.
const QStringList Surnames
    = u"王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 韩 冯 邓 曹 彭 曾 肖 田 "
      u"董 袁 潘 于 蒋 蔡 余 杜 叶 程 苏 魏 吕 丁 任 沈 姚 卢 姜 崔 钟 谭 陆 汪 范 金 石 廖 贾 夏 韦 付 方 "
      u"白 邹 孟 熊 秦 邱 江 尹 薛 闫 段 雷 侯 龙 史 陶 黎 贺 顾 毛 郝 龚 邵 万 钱 严 覃 武 戴 莫 孔 向 汤 "
      u"欧阳 司马 诸葛 上官"_s.split(u' ');
const QStringList GivenChars = u"伟 芳 娜 敏 静 丽 强 磊 军 洋 勇 艳 杰 娟 涛 明 超 兰 霞 平 刚 英 华 建 国 文 辉 力 "
                               u"玉 萍 红 桂 燕 志 宇 鹏 浩 俊 晓 飞 鑫 波 斌 宁 琳 颖 婷 雪 梅 鹤 云 海 亮 成 庆 春 "
                               u"秀 凤 德 荣 林 新 东 嘉 欣 子 怡 思 睿 博 豪 轩 涵 然 晨 阳 瑶"_s.split(u' ');
const QStringList Relations = {u"亲戚"_s, u"朋友"_s, u"同学"_s, u"同事"_s, u"其他"_s};
const QStringList Kinds = {u"结婚"_s, u"生日"_s, u"升职"_s, u"乔迁"_s, u"探病"_s, u"丧礼"_s};
const QStringList Notes = {
    u"婚宴随礼"_s,           u"孩子满月酒"_s,       u"老人八十大寿"_s, u"乔迁新居请客"_s,
    u"住院探望，买了水果"_s, u"升职请吃饭"_s,       u"回礼"_s,         u"礼金已还"_s,
    u"另送红包一个"_s,       u"补记去年的账"_s,     u"微信转账"_s,     u"现金，托人带去"_s,
    u"表哥结婚"_s,           u"同学聚会顺便随礼"_s, u"春节拜年"_s,     u"孩子考上大学，办升学宴"_s,
};
// Amounts in whole yuan as people give them; a few carry jiao and fen, a few are zero.
const int Amounts[] = {50,  100,  100,  200,  200,  200,  300,  500,  500,  600,  666,  800,
                       888, 1000, 1000, 1200, 1314, 1500, 2000, 3000, 5000, 6666, 8888, 10000};

QByteArray pick(std::mt19937_64& random, const QStringList& list)
{
    return list.at(qsizetype(random() % quint64(list.size()))).toUtf8();
}

} // namespace

QString BenchLedger::namePart()
{
    return u"明"_s;
}

bool BenchLedger::create(const QString& path, qint64 count)
{
    if (!LedgerSchema::createFile(path, LedgerFile::password()))
        return false;
    const auto engine = EngineConnection::open(path, LedgerFile::password());
    if (!engine || !engine->executeNative("PRAGMA cache_size=-65536") || !engine->executeNative("BEGIN IMMEDIATE"))
        return false;
    const EngineConnection::Statement insert
        = engine->prepareNative(u"INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) VALUES(?,?,?,?,?,?,?)"_s);
    if (!insert)
        return false;

    std::mt19937_64 random(20240601 + quint64(count));
    const qint64 firstDay = QDate(1995, 1, 1).toJulianDay();
    const qint64 days = QDate(2024, 12, 31).toJulianDay() - firstDay + 1;
    const QByteArray received = u"收礼"_s.toUtf8();
    const QByteArray given = u"送礼"_s.toUtf8();
    for (qint64 i = 0; i < count; ++i) {
        const QByteArray& direction = (random() % 2) ? received : given;
        QByteArray name = pick(random, Surnames) + pick(random, GivenChars);
        if (random() % 3 != 0)
            name += pick(random, GivenChars);
        const QDate date = QDate::fromJulianDay(firstDay + qint64(random() % quint64(days)));
        const QByteArray when = date.toString(u"yyyy-MM-dd 00:00:00"_s).toLatin1();
        const QByteArray relation = pick(random, Relations);
        const QByteArray kind = pick(random, Kinds);
        qint64 ticks = qint64(Amounts[random() % std::size(Amounts)]) * 10000;
        const quint64 roll = random() % 100;
        if (roll == 0)
            ticks = 0;
        else if (roll < 6)
            ticks += qint64(random() % 100) * 100; // jiao and fen
        const QByteArray note = (random() % 10 < 4) ? QByteArray() : pick(random, Notes);

        sqlite3_stmt* s = insert.get();
        sqlite3_bind_text(s, 1, direction.constData(), int(direction.size()), SQLITE_STATIC);
        sqlite3_bind_text(s, 2, name.constData(), int(name.size()), SQLITE_STATIC);
        sqlite3_bind_text(s, 3, when.constData(), int(when.size()), SQLITE_STATIC);
        sqlite3_bind_text(s, 4, relation.constData(), int(relation.size()), SQLITE_STATIC);
        sqlite3_bind_text(s, 5, kind.constData(), int(kind.size()), SQLITE_STATIC);
        sqlite3_bind_int64(s, 6, ticks);
        sqlite3_bind_text(s, 7, note.constData(), int(note.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            return false;
    }
    return engine->executeNative("COMMIT");
}

} // namespace ovelta::bench
