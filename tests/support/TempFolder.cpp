#include "TempFolder.h"

#include <QDir>

namespace ovelta::test {

TempFolder::TempFolder()
    : m_previous(QDir::currentPath())
{
    if (m_dir.isValid())
        QDir::setCurrent(m_dir.path());
}

TempFolder::~TempFolder()
{
    QDir::setCurrent(m_previous);
}

} // namespace ovelta::test
