// One ledger file, two engines: the store built over SQLCipher 3 (Debian 12's) and over SQLCipher 4.5.5 each
// open the ledger the other made, find the login's account, read its records and add one the other then reads.

#include "TempFolder.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct ProbeRun
{
    int exitCode = -1;
    QStringList lines; ///< standard output, one entry per line, the engine line left out
    QString engine;
    QString error;
};

/// Runs the probe program built against SQLCipher major version 3 or 4.
ProbeRun probe(int version, const QStringList& arguments)
{
    ProbeRun run;
    QProcess p;
    p.start(qEnvironmentVariable(version == 3 ? "OVELTA_PROBE_SQLCIPHER3" : "OVELTA_PROBE_SQLCIPHER4"), arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        run.error = u"the probe did not end: "_s + p.errorString();
        return run;
    }
    run.exitCode = p.exitCode();
    run.error = QString::fromUtf8(p.readAllStandardError()).trimmed();
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u"engine "_s))
            run.engine = line.mid(7);
        else
            run.lines << line;
    }
    return run;
}

const QString FirstRecord = u"record 收礼 张三 2024-05-01 8888800 婚礼 red envelope"_s;
const QString Account = u"account admin kelpo"_s;

} // namespace

class TestCipherVersions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachProbeRunsItsOwnEngine_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("engine");
        QTest::newRow("SQLCipher 3") << 3 << u"3."_s;
        QTest::newRow("SQLCipher 4") << 4 << u"4.5.5"_s;
    }

    void eachProbeRunsItsOwnEngine()
    {
        QFETCH(int, version);
        QFETCH(QString, engine);
        ovelta::test::TempFolder folder;
        const ProbeRun run = probe(version, {u"create"_s, folder.file(u"lgbk.xc"_s)});
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        QVERIFY2(run.engine.startsWith(engine), qPrintable(run.engine));
    }

    void aLedgerOpensInTheOtherBuild_data()
    {
        QTest::addColumn<int>("writer");
        QTest::addColumn<int>("reader");
        QTest::newRow("made by 3, opened by 4") << 3 << 4;
        QTest::newRow("made by 4, opened by 3") << 4 << 3;
        QTest::newRow("made by 3, opened by 3") << 3 << 3;
        QTest::newRow("made by 4, opened by 4") << 4 << 4;
    }

    void aLedgerOpensInTheOtherBuild()
    {
        QFETCH(int, writer);
        QFETCH(int, reader);
        ovelta::test::TempFolder folder;
        const QString file = folder.file(u"lgbk.xc"_s);
        ProbeRun run = probe(writer, {u"create"_s, file});
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));

        run = probe(reader, {u"read"_s, file});
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        QCOMPARE(run.lines, QStringList({Account, FirstRecord}));

        // A record the reader adds is read back by the writer, newest first: pages written by either engine.
        run = probe(reader, {u"add"_s, file, u"李四"_s});
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        run = probe(writer, {u"read"_s, file});
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        QCOMPARE(run.lines, QStringList({Account, u"record 送礼 李四 2025-10-02 100 "_s, FirstRecord}));
    }

    void aWrongPasswordStaysOut_data()
    {
        QTest::addColumn<int>("writer");
        QTest::addColumn<int>("reader");
        QTest::addColumn<QString>("password");
        QTest::newRow("3 to 4, another password") << 3 << 4 << u"kelpo"_s;
        QTest::newRow("4 to 3, another password") << 4 << 3 << u"kelpo"_s;
        QTest::newRow("4 to 3, one character short") << 4 << 3 << u"Qm_4Rtwpz8-2Hs"_s;
        QTest::newRow("4 to 4, one character short") << 4 << 4 << u"Qm_4Rtwpz8-2Hs"_s;
    }

    void aWrongPasswordStaysOut()
    {
        QFETCH(int, writer);
        QFETCH(int, reader);
        QFETCH(QString, password);
        ovelta::test::TempFolder folder;
        const QString file = folder.file(u"lgbk.xc"_s);
        QCOMPARE(probe(writer, {u"create"_s, file}).exitCode, 0);
        const ProbeRun run = probe(reader, {u"read"_s, file, password});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.lines, QStringList());
        // The file is unchanged by the refused open: the right password still reads it.
        QCOMPARE(probe(reader, {u"read"_s, file}).lines, QStringList({Account, FirstRecord}));
    }

    void aNewLedgerIsWrittenInSettingsSqlCipher3Reads()
    {
        ovelta::test::TempFolder folder;
        const QString file = folder.file(u"lgbk.xc"_s);
        QCOMPARE(probe(4, {u"create"_s, file}).exitCode, 0);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(!f.read(16).startsWith("SQLite format 3"));
        QCOMPARE(f.size() % 1024, 0);
        f.close();

        // SQLCipher 3's own shell, keyed with nothing but the password, reads it: no setting of the program's
        // own needed.
        if (QStandardPaths::findExecutable(u"sqlcipher"_s).isEmpty())
            QSKIP("the sqlcipher shell is not installed");
        QProcess shell;
        shell.start(u"sqlcipher"_s, {file});
        QVERIFY(shell.waitForStarted());
        shell.write("PRAGMA key='Qm_4Rtwpz8-2HsK';\nPRAGMA cipher_version;\nSELECT 用户 || ' ' || 密码 FROM 账号;\n"
                    "PRAGMA page_size;\n");
        shell.closeWriteChannel();
        QVERIFY(shell.waitForFinished(30000));
        const QStringList answer = QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(answer.size(), 3);
        QVERIFY2(answer.at(0).startsWith(u"3."_s), qPrintable(answer.at(0)));
        QCOMPARE(answer.at(1), u"admin kelpo"_s);
        QCOMPARE(answer.at(2), u"1024"_s);
    }
};

QTEST_GUILESS_MAIN(TestCipherVersions)
#include "test_cipher_versions.moc"
