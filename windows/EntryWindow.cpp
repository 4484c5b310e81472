#include "windows/EntryWindow.h"

#include "ui/Catalogue.h"

namespace ovelta {

EntryWindow::EntryWindow(LedgerHost& host, QWidget* parent)
    : LedgerWindow(Catalogue::entryWindow(), parent)
    , m_host(host)
{
}

} // namespace ovelta
