#include "windows/PasswordWindow.h"

#include "ui/Catalogue.h"

namespace ovelta {

PasswordWindow::PasswordWindow(LedgerHost& host, QWidget* parent)
    : LedgerWindow(Catalogue::passwordWindow(), parent)
    , m_host(host)
{
}

} // namespace ovelta
