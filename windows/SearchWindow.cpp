#include "windows/SearchWindow.h"

#include "ui/Catalogue.h"

namespace ovelta {

SearchWindow::SearchWindow(LedgerHost& host, QWidget* parent)
    : LedgerWindow(Catalogue::searchWindow(), parent)
    , m_host(host)
{
}

} // namespace ovelta
