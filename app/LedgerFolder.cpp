#include "app/LedgerFolder.h"

#include "store/ledger/LedgerFile.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

bool isFolder(const QByteArray& path)
{
    struct stat info;
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

/// False when the administrator would keep a ledger in another user's folder: a HOME or XDG_DATA_HOME that sudo
/// kept names the user's folders, and a file root made there would lock that user out of their own ledger.
bool mayBeOwn(const QByteArray& path)
{
    struct stat info;
    return ::geteuid() != 0 || ::stat(path.constData(), &info) != 0 || info.st_uid == 0;
}

QByteArray homeFolder()
{
    QByteArray home = qgetenv("HOME");
    if (home.startsWith('/') && mayBeOwn(home))
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        home = entry->pw_dir;
    return home.startsWith('/') ? home : QByteArray();
}

/// The folders makeFolder made in this process, in the order made (parents first).
QList<QByteArray>& madeFolders()
{
    static QList<QByteArray> made;
    return made;
}

QByteArray withoutTrailingSlashes(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

} // namespace

QByteArray LedgerFolder::programFolder()
{
    // The link names the program file by its bytes; Qt's own answer is decoded text, which loses every name
    // that is not valid UTF-8.
    QByteArray path(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), size_t(path.size()));
        if (length < 0) {
            path = QFile::encodeName(QCoreApplication::applicationFilePath());
            break;
        }
        if (length < path.size()) {
            path.truncate(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {};
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray LedgerFolder::userDataFolder()
{
    QByteArray base = qgetenv("XDG_DATA_HOME");
    if (!base.startsWith('/') || !mayBeOwn(base)) {
        const QByteArray home = homeFolder();
        if (home.isEmpty())
            return {};
        base = withoutTrailingSlashes(home) + "/.local/share";
    }
    base = withoutTrailingSlashes(base);
    return (base == "/" ? QByteArray() : base) + "/ovelta";
}

bool LedgerFolder::isWritable(const QByteArray& folder)
{
    return ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool LedgerFolder::makeFolder(const QByteArray& folder)
{
    if (folder.isEmpty())
        return false;
    if (isFolder(folder))
        return true;
    const qsizetype slash = withoutTrailingSlashes(folder).lastIndexOf('/');
    if (slash > 0 && !makeFolder(folder.left(slash)))
        return false;
    if (::mkdir(folder.constData(), S_IRWXU) != 0)
        return errno == EEXIST && isFolder(folder);
    madeFolders().append(folder);
    // A umask that takes the owner's own rights would leave a folder the user cannot use.
    return ::chmod(folder.constData(), S_IRWXU) == 0;
}

void LedgerFolder::removeUnusedFolders()
{
    QList<QByteArray>& made = madeFolders();
    while (!made.isEmpty() && ::rmdir(made.constLast().constData()) == 0)
        made.removeLast();
    made.clear();
}

namespace {

enum class Holds { Nothing, Own, Foreign };

/// Whether folder holds the ledger file, or something of its name that must not be taken for a missing one,
/// and whether that is the user's own or another user's (a ledger an administrator's run left there).
Holds holdsLedger(const QByteArray& folder)
{
    struct stat info;
    const QByteArray ledger = folder + '/' + QFile::encodeName(LedgerFile::name());
    if (::lstat(ledger.constData(), &info) != 0)
        return errno == ENOENT ? Holds::Nothing : Holds::Own;
    return info.st_uid == ::geteuid() ? Holds::Own : Holds::Foreign;
}

/// A program installed with the system (under /usr) keeps no ledger beside itself, whoever runs it: a run as
/// the administrator would otherwise put one there for every user.
bool isInstalled(const QByteArray& programFolder)
{
    return programFolder == "/usr" || programFolder.startsWith("/usr/");
}

} // namespace

QByteArray LedgerFolder::ledgerFolder()
{
    return ledgerFolder(programFolder(), userDataFolder());
}

QByteArray LedgerFolder::ledgerFolder(const QByteArray& programFolder, const QByteArray& dataFolder,
                                      const WritableCheck& writable)
{
    if (programFolder.isEmpty() || dataFolder.isEmpty())
        return programFolder;
    if (isInstalled(programFolder))
        return dataFolder;
    switch (holdsLedger(programFolder)) {
    case Holds::Own:
        return programFolder;
    case Holds::Foreign:
        // Another user's ledger is never taken for this user's, also not where this user may write.
        return dataFolder;
    case Holds::Nothing:
        break;
    }
    return writable(programFolder) ? programFolder : dataFolder;
}

QByteArray LedgerFolder::ignoredLedger(const QByteArray& programFolder, const QByteArray& dataFolder,
                                       const WritableCheck& writable)
{
    const QByteArray folder = ledgerFolder(programFolder, dataFolder, writable);
    if (folder == programFolder || holdsLedger(programFolder) == Holds::Nothing)
        return {};
    return programFolder + '/' + QFile::encodeName(LedgerFile::name());
}

bool LedgerFolder::enter()
{
    return enter(programFolder(), userDataFolder());
}

bool LedgerFolder::enter(const QByteArray& programFolder, const QByteArray& dataFolder, const WritableCheck& writable)
{
    if (programFolder.isEmpty() || ::chdir(programFolder.constData()) != 0) {
        MessageBox::show(u"无法进入程序所在的文件夹,系统即将退出!"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        Program::end(0);
        return false;
    }
    const QByteArray folder = ledgerFolder(programFolder, dataFolder, writable);
    if (folder == programFolder)
        return true;
    // When the data folder cannot be made or entered, the program's folder stays current, and the database check
    // tells the user what cannot be done there.
    if (makeFolder(folder))
        (void)!::chdir(folder.constData());
    // A ledger beside the program that is not taken is named once, while the user has no ledger of their own: it
    // explains why the program does not show it.
    const QByteArray ignored = ignoredLedger(programFolder, dataFolder, writable);
    if (!ignored.isEmpty() && holdsLedger(QByteArrayLiteral(".")) == Holds::Nothing) {
        MessageBox::show(u"程序所在文件夹中的账簿文件“%1”属于已安装的程序或其他用户,本程序不会使用它。\n"
                         u"您自己的账簿放在“%2”。"_s.arg(QFile::decodeName(ignored), QFile::decodeName(folder)),
                         u"信息提示"_s, MessageBox::OkOnly, MessageBox::Information);
    }
    return true;
}

} // namespace ovelta
