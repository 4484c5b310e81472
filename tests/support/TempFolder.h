#pragma once

#include <QString>
#include <QTemporaryDir>

namespace ovelta::test {

/// A fresh temporary folder that is also the current directory while the object lives, so the database file
/// "lgbk.xc" of the code under test lands inside it. The previous current directory comes back at the end.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace ovelta::test
