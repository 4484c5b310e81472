#pragma once

#include <QString>

namespace ovelta {

/// A database file being built: an empty keyed database under a temporary name in the folder of its target,
/// mode 0600, that becomes the target in one step when everything is in. Removed (with any journal of its own)
/// when dropped uncommitted, so a failed creation leaves nothing behind.
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
    /// the folder entry is flushed too. Every connection to the temporary file must be closed first.
    bool commit();

private:
    void discard();

    QString m_target;
    QString m_temporary;
};

} // namespace ovelta
