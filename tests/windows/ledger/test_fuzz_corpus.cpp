// The fuzz target's seed corpus holds every statement the program builds, made by the statement unit itself,
// and the amount and date texts the windows read. Run with OVELTA_WRITE_FUZZ_CORPUS=1 to add what is missing.

#include "store/jet/LedgerStatements.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

QStringList programStatements()
{
    namespace S = LedgerStatements;
    QStringList s = S::createTables() + S::seedRows();
    const S::EntryValues gift{u"收礼"_s, u"张三"_s, QDate(2011, 6, 2), u"朋友"_s, u"结婚"_s, 2000000, {}};
    const S::EntryValues quoted{u"送礼"_s, u"O'Brien"_s, QDate(2012, 3, 3), u"同学"_s,
                                u"生日"_s, 666000,       u"it's ''ok''"_s};
    for (const auto& values : {gift, quoted})
        s << S::addRecord(values) << S::modifyRecord(values, u"12"_s);
    s << S::findRecord(u"12"_s) << S::deleteRecord(u"12"_s) << S::refill();
    for (const bool rangeOn : {false, true}) {
        for (const QString& direction : {S::anyDirection(), u"收礼"_s}) {
            for (const QString& name : {QString(), u"张"_s})
                s << S::search({rangeOn, QDate(2011, 5, 2), QDate(2011, 6, 2), direction, name});
        }
    }
    for (const auto list : {S::LookupList::Relations, S::LookupList::Occasions}) {
        s << S::listLookup(list) << S::findDuplicate(list, u"婚宴"_s) << S::addLookup(list, u"婚宴"_s)
          << S::deleteLookup(list, u"7"_s);
    }
    s << S::findAccount(u"admin"_s);
    for (const QString& table : {u"收送礼"_s, u"关系"_s, u"类型"_s, u"收送"_s, u"账号"_s})
        s << S::wholeTable(table);
    // What the amount box and the date texts give the parsers.
    s << u"200"_s << u"66.6"_s << u"12.50"_s << u"-20"_s << u"1.5e2"_s << u" 　8 "_s << u"１２.５"_s << u"1,000"_s
      << u"abc"_s << u"12345678901.25"_s << u"0.125"_s << u"2011-6-2"_s << u"#2011/6/2#"_s << u"2011/6/2 15:30:00"_s
      << u"6/2/2011"_s;
    return s;
}

QString seedName(const QByteArray& content)
{
    return u"seed-"_s
        + QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex().left(16));
}

} // namespace

class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpusHoldsEveryStatementTheProgramBuilds()
    {
        const QDir corpus(qEnvironmentVariable("OVELTA_SOURCE_DIR") + u"/tests/fuzz/corpus"_s);
        QVERIFY2(corpus.exists(), qPrintable(corpus.path()));
        const bool write = qEnvironmentVariableIsSet("OVELTA_WRITE_FUZZ_CORPUS");
        QStringList missing;
        for (const QString& statement : programStatements()) {
            const QByteArray content = statement.toUtf8();
            QFile file(corpus.filePath(seedName(content)));
            if (file.open(QIODevice::ReadOnly) && file.readAll() == content)
                continue;
            file.close();
            if (write && file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size())
                continue;
            missing << statement;
        }
        QVERIFY2(
            missing.isEmpty(),
            qPrintable(u"not in the seed corpus (OVELTA_WRITE_FUZZ_CORPUS=1 adds them):\n"_s + missing.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "test_fuzz_corpus.moc"
