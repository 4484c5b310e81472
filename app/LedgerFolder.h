#pragma once

#include <QByteArray>
#include <functional>

namespace ovelta {

/// Where the ledger file lives, and how start-up gets there. The file's name is relative, so start-up enters
/// the ledger's folder (makes it the current directory) once, and every open, creation and lock resolves in
/// it. Folders are handled by their native names: bytes, which need not be valid UTF-8 (a folder unpacked
/// from a Windows archive keeps its GBK name).
///
/// The ledger lies beside the program when the program's folder is writable by the user or already holds the
/// user's own file (portable use, a USB stick); otherwise in the user's data folder, $XDG_DATA_HOME/ovelta
/// (~/.local/share/ovelta by default), which is created with mode 0700. A program installed under /usr never
/// keeps its ledger beside itself, and a file there owned by another user (an administrator's run) is never
/// taken for the user's ledger: both go to the data folder, root's too.
class LedgerFolder
{
public:
    /// The folder that holds the running program file, as the system names it; empty when it cannot tell.
    static QByteArray programFolder();
    /// $XDG_DATA_HOME/ovelta, or ~/.local/share/ovelta when that variable is unset, empty or not an absolute
    /// path; empty when there is no home folder either.
    static QByteArray userDataFolder();

    using WritableCheck = std::function<bool(const QByteArray& folder)>;
    /// True when the user may create files in folder.
    static bool isWritable(const QByteArray& folder);
    /// Makes folder and any missing parents, each new one with mode 0700 whatever the umask. True when folder
    /// is a folder afterwards (made now or there already; one that exists keeps its mode).
    static bool makeFolder(const QByteArray& folder);
    /// Removes the folders makeFolder made in this process that are still empty, deepest first, so that a run
    /// that created no ledger (the user declined) leaves no trace. A folder that holds anything stays, and so do
    /// all above it.
    static void removeUnusedFolders();

    /// The folder that enter() makes current when nothing fails, found without making or entering anything.
    static QByteArray ledgerFolder();
    static QByteArray ledgerFolder(const QByteArray& programFolder, const QByteArray& dataFolder,
                                   const WritableCheck& writable = isWritable);

    /// The ledger file beside the program that ledgerFolder() passes over (an installed program's, or another
    /// user's), by its native path; empty when there is none or it is the one used.
    static QByteArray ignoredLedger(const QByteArray& programFolder, const QByteArray& dataFolder,
                                    const WritableCheck& writable = isWritable);

    /// Start-up: enters the program's folder, and from there the user's data folder when the ledger does not
    /// belong beside the program. When the program's folder cannot be entered it shows "无法进入程序所在的
    /// 文件夹,系统即将退出!", creates nothing and ends the program with exit code 0; false then. A data folder
    /// that cannot be made or entered leaves the program's folder current, where the database check reports
    /// what it cannot do there.
    static bool enter();
    static bool enter(const QByteArray& programFolder, const QByteArray& dataFolder,
                      const WritableCheck& writable = isWritable);
};

} // namespace ovelta
