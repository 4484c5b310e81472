#pragma once

#include <QString>

namespace ovelta {

/// A database file being built: an empty keyed database under a temporary name in the folder of its target,
/// mode 0600, that becomes the target in one step when everything is in. Removed (with any journal of its own)
/// when dropped uncommitted, so a failed creation leaves nothing behind.
///
/// The temporary name is "." + the target's file name + ".new-" + six letters or digits. While a PendingFile
/// lives it holds an exclusive flock() on its temporary file; a creation whose process was killed leaves its
/// file unlocked, and the next PendingFile of the same target removes such leftovers (see removeLeftovers).
class PendingFile
{
public:
    /// Creates the temporary file; isValid() is false when the target exists already (in any form) or the
    /// folder does not take a new file.
    PendingFile(const QString& target, const QString& key);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool isValid() const { return !m_temporary.isEmpty(); }
    QString temporaryPath() const { return m_temporary; }
    QString target() const { return m_target; }

    /// Flushes the file to the disk and gives it the target's name without ever replacing an existing file;
    /// the folder entry is flushed too. A journal of the target's name left without its database is removed
    /// first, so that it is never played into the new file. Every connection to the temporary file must be
    /// closed first.
    bool commit();

    /// Removes the temporary files (and their journals) that creations of target cut off by a crash left in
    /// its folder: only names of the form above, only regular files, and only those no live process holds
    /// locked. The target itself and every other name are never touched, and nothing is removed through a
    /// symbolic link (a folder that is one is left alone). Returns the number removed.
    static int removeLeftovers(const QString& target);
    /// True when name is the form of a temporary file of a target named targetName (its journal not included).
    static bool isTemporaryName(QStringView name, QStringView targetName);

private:
    void discard();
    void unlock();

    QString m_target;
    QString m_temporary;
    int m_lock = -1; ///< the descriptor that holds the flock() on the temporary file
};

} // namespace ovelta
