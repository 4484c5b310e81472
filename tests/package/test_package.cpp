// The Debian package: made with cpack from this build folder, unpacked into a temporary root with dpkg-deb -x.
// Its files and control fields, the desktop entry and metainfo as their validators see them, and the unpacked
// program under a real X server: from a folder the user can write, the ledger lies beside it; run by a user
// who cannot write that folder, the ledger goes to the user's data folder.

#include "XSession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;
using ovelta::test::ProgramCopy;
using ovelta::test::XSession;

namespace {

struct Run
{
    int exitCode = -1;
    QString output; ///< standard output and error, as the tool wrote them
};

Run run(const QString& program, const QStringList& arguments, int timeoutMs = 120000)
{
    Run result;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) {
        result.output = program + u" did not end: "_s + p.errorString();
        return result;
    }
    result.exitCode = p.exitCode();
    result.output = QString::fromUtf8(p.readAll()).trimmed();
    return result;
}

const QString AppId = qEnvironmentVariable("OVELTA_APP_ID");
const QList<int> IconSizes = {16, 22, 24, 32, 36, 48, 64, 72, 96, 128, 192, 256, 512};
constexpr uid_t Nobody = 65534;

QFile::Permissions modeOf(const QString& path)
{
    return QFile::permissions(path)
        & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup
           | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
}

const QFile::Permissions Mode0600 = QFile::ReadOwner | QFile::WriteOwner;
const QFile::Permissions Mode0700 = Mode0600 | QFile::ExeOwner;

/// The value of key in the [Desktop Entry] group of a desktop file; empty when it has none.
QString desktopValue(const QString& path, const QString& key)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (line.startsWith(key + u'='))
            return line.mid(key.size() + 1);
    }
    return {};
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_deb;
    std::unique_ptr<XSession> m_x;

    QString root() const { return m_work.filePath(u"root"_s); }
    QString installed(const QString& path) const { return QDir(root()).filePath(path); }

    /// A fresh copy of the package's files under the work folder.
    QString unpack(const QString& name)
    {
        const QString target = m_work.filePath(name);
        const Run unpacked = run(u"dpkg-deb"_s, {u"-x"_s, m_deb, target});
        return unpacked.exitCode == 0 ? target : QString();
    }

    /// Answers the first-start question with Yes and waits for the box that follows: the creation's success
    /// ("提示") or its failure ("错误"). Returns the box's title and id, empty when neither came.
    std::pair<QString, QString> answerYesToTheQuestion(qint64 pid)
    {
        const QString question = m_x->waitForWindow(pid, u"信息："_s);
        if (question.isEmpty())
            return {};
        m_x->pressKeys(question, {u"Return"_s});
        for (int i = 0; i < 100; ++i) {
            for (const QString& title : {u"提示"_s, u"错误"_s}) {
                const QString box = m_x->waitForWindow(pid, title, 100);
                if (!box.isEmpty())
                    return {title, box};
            }
        }
        return {};
    }

    /// Logs in as admin from the login window and waits for the main window; false when it does not come.
    bool logIn(qint64 pid)
    {
        const QString login = m_x->waitForWindow(pid, u"Ovelta"_s);
        if (login.isEmpty())
            return false;
        m_x->typeText(login, u"kelpo"_s);
        m_x->pressKeys(login, {u"Return"_s});
        for (int i = 0; i < 40; ++i) {
            const QString window = m_x->waitForWindow(pid, u"Ovelta"_s, 500);
            if (!window.isEmpty() && m_x->windowSize(window).width() > 400)
                return m_x->windowsOf(pid).size() == 1;
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        QVERIFY2(!AppId.isEmpty(), "OVELTA_APP_ID is not set");
        const QString out = m_work.filePath(u"out"_s);
        const Run cpack = run(
            qEnvironmentVariable("OVELTA_CPACK"),
            {u"-G"_s, u"DEB"_s, u"-B"_s, out, u"--config"_s, qEnvironmentVariable("OVELTA_CPACK_CONFIG")}, 600000);
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
        const QStringList debs = QDir(out).entryList({u"*.deb"_s}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = QDir(out).filePath(debs.first());
        QCOMPARE(unpack(u"root"_s), root());
        m_x = std::make_unique<XSession>();
        QVERIFY2(m_x->isValid(), qPrintable(m_x->error()));
    }

    void theFileListIsThePrograms()
    {
        QStringList expected = {
            u"usr/bin/ovelta"_s,
            u"usr/share/applications/"_s + AppId + u".desktop"_s,
            u"usr/share/metainfo/"_s + AppId + u".metainfo.xml"_s,
            u"usr/share/icons/hicolor/scalable/apps/"_s + AppId + u".svg"_s,
            u"usr/share/doc/ovelta/copyright"_s,
        };
        for (int size : IconSizes) {
            const QString folder = u"usr/share/icons/hicolor/%1x%1"_s.arg(size);
            expected << folder + u"/apps/"_s + AppId + u".png"_s << folder + u"@2/apps/"_s + AppId + u".png"_s;
        }
        expected.sort();
        QStringList found;
        QDirIterator it(root(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(root()).relativeFilePath(it.next());
        found.sort();
        QCOMPARE(found, expected);
        QVERIFY(QFileInfo(installed(u"usr/bin/ovelta"_s)).isExecutable());
    }

    void everyIconHasItsSize()
    {
        for (int size : IconSizes) {
            for (int scale : {1, 2}) {
                const QString path = installed(
                    u"usr/share/icons/hicolor/%1x%1%2/apps/"_s.arg(size).arg(scale == 2 ? u"@2"_s : QString()) + AppId
                    + u".png"_s);
                const QImage image(path);
                QVERIFY2(!image.isNull(), qPrintable(path));
                QCOMPARE(image.size(), QSize(size * scale, size * scale));
                QVERIFY2(image.hasAlphaChannel(), qPrintable(path));
            }
        }
    }

    void everyEntryBelongsToRootUnderUsr()
    {
        const Run contents = run(u"dpkg-deb"_s, {u"--contents"_s, m_deb});
        QCOMPARE(contents.exitCode, 0);
        const QStringList lines = contents.output.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 30);
        for (const QString& line : lines) {
            const QStringList fields = line.simplified().split(u' ');
            QVERIFY2(fields.size() >= 6, qPrintable(line));
            QCOMPARE(fields.at(1), u"root/root"_s);
            QVERIFY2(fields.last() == u"./"_s || fields.last().startsWith(u"./usr/"_s), qPrintable(line));
        }
    }

    void controlFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("Package") << u"Package"_s << QStringList{u"ovelta"_s};
        QTest::newRow("Version") << u"Version"_s << QStringList{qEnvironmentVariable("OVELTA_VERSION")};
        QTest::newRow("Section") << u"Section"_s << QStringList{u"office"_s};
        // Found by dpkg-shlibdeps from the program itself, and what it loads without linking.
        QTest::newRow("Depends") << u"Depends"_s
                                 << QStringList{u"libqt6widgets6"_s, u"libqt6svg6"_s,      u"libsqlcipher0"_s,
                                                u"libc6"_s,          u"qt6-qpa-plugins"_s, u"qt6-translations-l10n"_s,
                                                u"libxlsxwriter4"_s};
        // Both faces, not one or the other: the second draws the rare characters of names that the first lacks.
        QTest::newRow("Recommends") << u"Recommends"_s << QStringList{u"fonts-wqy-microhei, fonts-noto-cjk"_s};
        QTest::newRow("Description") << u"Description"_s << QStringList{u"人情往来"_s, u"收礼"_s};
    }

    void controlFields()
    {
        QFETCH(QString, field);
        QFETCH(QStringList, parts);
        const Run value = run(u"dpkg-deb"_s, {u"--field"_s, m_deb, field});
        QCOMPARE(value.exitCode, 0);
        for (const QString& part : parts)
            QVERIFY2(value.output.contains(part), qPrintable(field + u": "_s + value.output));
    }

    void theDesktopEntryIsValid()
    {
        const QString entry = installed(u"usr/share/applications/"_s + AppId + u".desktop"_s);
        const Run validation = run(u"desktop-file-validate"_s, {entry});
        QVERIFY2(validation.exitCode == 0 && validation.output.isEmpty(), qPrintable(validation.output));
        QCOMPARE(desktopValue(entry, u"Name"_s), u"Ovelta"_s);
        QCOMPARE(desktopValue(entry, u"Name[zh_CN]"_s), u"Ovelta 人情账簿"_s);
        QCOMPARE(desktopValue(entry, u"Categories"_s), u"Office;Finance;"_s);
        QVERIFY(!desktopValue(entry, u"Comment"_s).isEmpty());
        QVERIFY(desktopValue(entry, u"Comment[zh_CN]"_s).contains(u"人情"_s));
        // The entry starts the installed program and names the icon that is installed.
        QCOMPARE(desktopValue(entry, u"Exec"_s), u"ovelta"_s);
        QCOMPARE(desktopValue(entry, u"Icon"_s), AppId);
    }

    void theMetainfoIsValid()
    {
        const QString metainfo = installed(u"usr/share/metainfo/"_s + AppId + u".metainfo.xml"_s);
        // With the network too: nothing in it points at a host that would have to answer.
        for (const QStringList& options : {QStringList{u"--no-net"_s}, QStringList{}}) {
            const Run validation
                = run(u"appstreamcli"_s, QStringList{u"validate"_s, u"--explain"_s} + options + QStringList{metainfo});
            QVERIFY2(validation.exitCode == 0, qPrintable(validation.output));
        }
        QFile f(metainfo);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.contains(u"<launchable type=\"desktop-id\">"_s + AppId + u".desktop</launchable>"_s));
        QVERIFY(text.contains(u"<p xml:lang=\"zh-CN\">"_s));
        QVERIFY(!text.contains(u"<url"_s));
        QVERIFY(!text.contains(u"<screenshot"_s));
        QVERIFY(!text.contains(u'@')); // every placeholder of the template was filled in
    }

    void theCopyrightFileIsMachineReadable()
    {
        QFile f(installed(u"usr/share/doc/ovelta/copyright"_s));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(modeOf(f.fileName()), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        // Paragraphs of "Field: value" lines, continued by lines that start with a blank, apart by empty lines.
        QList<QHash<QString, QString>> paragraphs(1);
        QString field;
        for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
            if (line.isEmpty()) {
                if (!paragraphs.last().isEmpty())
                    paragraphs.append(QHash<QString, QString>());
                field.clear();
            } else if (line.startsWith(u' ')) {
                QVERIFY2(!field.isEmpty(), qPrintable(line));
                paragraphs.last()[field] += u'\n' + line.mid(1);
            } else {
                const qsizetype colon = line.indexOf(u": "_s);
                QVERIFY2(colon > 0, qPrintable(line));
                field = line.left(colon);
                paragraphs.last().insert(field, line.mid(colon + 2));
            }
        }
        if (paragraphs.last().isEmpty())
            paragraphs.removeLast();
        QCOMPARE(paragraphs.size(), 3);
        QCOMPARE(paragraphs.at(0).value(u"Format"_s),
                 u"https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"_s);
        QCOMPARE(paragraphs.at(0).value(u"Upstream-Name"_s), u"Ovelta"_s);
        // Every file is covered, and each paragraph names its holder and a licence with its text or pointer.
        QCOMPARE(paragraphs.at(1).value(u"Files"_s), u"*"_s);
        for (qsizetype i = 1; i < paragraphs.size(); ++i) {
            QVERIFY(!paragraphs.at(i).value(u"Copyright"_s).isEmpty());
            QVERIFY(paragraphs.at(i).value(u"License"_s).contains(u'\n'));
        }
        // The metadata is free to copy, as the metainfo file itself says.
        QCOMPARE(paragraphs.at(2).value(u"Files"_s), u"usr/share/metainfo/org.ovelta.Ovelta.metainfo.xml"_s);
        const QString licence = paragraphs.at(2).value(u"License"_s);
        QVERIFY2(licence.startsWith(u"CC0-1.0\n"_s), qPrintable(licence));
        QVERIFY(licence.contains(u"/usr/share/common-licenses/CC0-1.0"_s));
        QVERIFY(QFile::exists(u"/usr/share/common-licenses/CC0-1.0"_s));
    }

    void fromAWritableFolderTheLedgerLiesBesideTheProgram()
    {
        const QString bin = installed(u"usr/bin"_s);
        QTemporaryDir data;
        QTemporaryDir runtime;
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        ProgramCopy copy(*m_x, bin, runtime.path(), m_work.path());
        qunsetenv("XDG_DATA_HOME");
        const auto [title, box] = answerYesToTheQuestion(copy.pid());
        QCOMPARE(title, u"提示"_s);
        m_x->pressKeys(box, {u"Return"_s});
        QVERIFY2(logIn(copy.pid()), "no main window after the login");
        const QString ledger = QDir(bin).filePath(u"lgbk.xc"_s);
        QVERIFY(QFile::exists(ledger));
        QCOMPARE(modeOf(ledger), Mode0600);
        QVERIFY(!QFile::exists(QDir(data.path()).filePath(u"ovelta"_s)));
    }

    void aUserWhoCannotWriteTheFolderGetsTheLedgerInTheDataFolder_data()
    {
        QTest::addColumn<bool>("dataHomeSet");
        QTest::newRow("XDG_DATA_HOME") << true;
        QTest::newRow("~/.local/share") << false;
    }

    void aUserWhoCannotWriteTheFolderGetsTheLedgerInTheDataFolder()
    {
        QFETCH(bool, dataHomeSet);
        const QString packageRoot = unpack(u"readonly-"_s + QString::number(dataHomeSet));
        QVERIFY(!packageRoot.isEmpty());
        const QString bin = QDir(packageRoot).filePath(u"usr/bin"_s);
        const QString home = m_work.filePath(u"home-"_s + QString::number(dataHomeSet));
        const QString runtime = home + u"/runtime"_s;
        const QString dataHome = dataHomeSet ? home + u"/data"_s : home + u"/.local/share"_s;
        QVERIFY(QDir().mkpath(runtime) && (!dataHomeSet || QDir().mkpath(dataHome)));

        QStringList command;
        if (::geteuid() == 0) {
            // root writes everywhere: the program runs as nobody, who may enter the work folder and owns its
            // home, but not the unpacked program's folder (root's, and read-only below).
            QVERIFY(QFile::setPermissions(m_work.path(), modeOf(m_work.path()) | QFile::ExeOther | QFile::ReadOther));
            for (const QString& path : {home, runtime, dataHomeSet ? dataHome : home})
                QVERIFY(::chown(QFile::encodeName(path).constData(), Nobody, Nobody) == 0);
            command << u"setpriv"_s << u"--reuid=%1"_s.arg(Nobody) << u"--regid=%1"_s.arg(Nobody) << u"--clear-groups"_s
                    << u"--"_s;
        }
        // Read-only for its owner too; given back at the end, so that the temporary folder can be removed.
        const QFile::Permissions writable = modeOf(bin);
        QVERIFY(QFile::setPermissions(bin, writable & ~(QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)));
        const auto giveBack = qScopeGuard([&] { QFile::setPermissions(bin, writable); });
        QVERIFY(QFile::setPermissions(runtime, Mode0700));
        command << QDir(bin).filePath(u"ovelta"_s);

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, m_x->display());
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"HOME"_s, home);
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        env.remove(u"XDG_DATA_HOME"_s);
        if (dataHomeSet)
            env.insert(u"XDG_DATA_HOME"_s, dataHome);
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(home);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(command.takeFirst(), command);
        QVERIFY(program.waitForStarted());
        const auto end = qScopeGuard([&] {
            program.kill();
            program.waitForFinished();
        });

        const auto [title, box] = answerYesToTheQuestion(program.processId());
        QVERIFY2(!title.isEmpty(), "no box after the first-start question");
        const QString folder = dataHome + u"/ovelta"_s;
        const QString ledger = folder + u"/lgbk.xc"_s;
        QCOMPARE(title, u"提示"_s);
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(modeOf(folder), Mode0700);
        QVERIFY(QFile::exists(ledger));
        QCOMPARE(modeOf(ledger), Mode0600);
        QVERIFY(!QFile::exists(QDir(bin).filePath(u"lgbk.xc"_s)));
        m_x->pressKeys(box, {u"Return"_s});
        QVERIFY2(logIn(program.processId()), "no main window after the login");
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "test_package.moc"
